#include "ui/main/frmMain.h"

#include "shell/ConfigRecord.h"
#include "shell/Numbers.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionFrame>

#include <optional>

namespace {

using MainModule::Config;

// The whole number typed into a box; none for text that is not a number or does not fit 32 bits.
std::optional<qint32> ReadEntry(const QLineEdit* box) {
    const std::optional<double> value = Numbers::ParseEntry(box->text());
    if (!value)
        return std::nullopt;
    return Numbers::ToLong(*value);
}

qint64 RoundToHundreds(qint32 value) {
    return static_cast<qint64>(Numbers::RoundHalfEven(value / 100.0)) * 100;
}

// The width a box or label has for its text.
int TextRoom(const QWidget* widget) {
    if (const auto* box = qobject_cast<const QLineEdit*>(widget)) {
        QStyleOptionFrame option;
        option.initFrom(box);
        option.rect = box->rect();
        option.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box);
        const QRect contents =
            box->style()->subElementRect(QStyle::SE_LineEditContents, &option, box);
        const QMargins margins = box->textMargins();
        constexpr int kLineEditMargins = 2 * 2 + 1; // Qt's own margins and the cursor
        return contents.width() - margins.left() - margins.right() - kLineEditMargins;
    }
    const auto* label = static_cast<const QLabel*>(widget);
    return label->contentsRect().width() - 2 * label->margin();
}

// A number wider than its box is drawn in a smaller font, so that its sign and every digit
// stay in view while the box keeps its size.
void FitNumber(QWidget* widget, const QString& text) {
    QFont font = frmMain::UiFont(12.0, true);
    const int room = TextRoom(widget);
    while (QFontMetrics(font).horizontalAdvance(text) > room && font.pointSizeF() > 5.0)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    widget->setFont(font);
}

void ShowValue(QLineEdit* box, qint64 value) {
    const QString text = Numbers::ShowNumber(value);
    FitNumber(box, text);
    box->setText(text);
}

void ShowValue(QLabel* label, qint64 value) {
    const QString text = Numbers::ShowNumber(value);
    FitNumber(label, text);
    label->setText(text);
}

// One speed group: S, F and the acceleration time, edited through boxes 0, 1 and 2.
// Returns true when the entry was stored.
bool EditSpeedGroup(const std::array<QLineEdit*, 3>& boxes, int index, qint32& speedMin,
                    qint32& speedMax, qint16& accelTime) {
    const std::optional<qint32> entry = ReadEntry(boxes[size_t(index)]);
    bool stored = false;
    if (entry) {
        switch (index) {
        case 0:
            if (const qint64 value = RoundToHundreds(*entry);
                value >= ConfigLimits::kSpeedMin && value <= speedMax) {
                speedMin = static_cast<qint32>(value);
                stored = true;
            }
            break;
        case 1:
            if (const qint64 value = RoundToHundreds(*entry);
                value >= speedMin && value <= ConfigLimits::kSpeedMax) {
                speedMax = static_cast<qint32>(value);
                stored = true;
            }
            break;
        default:
            if (*entry >= ConfigLimits::kAccelTimeMin && *entry <= ConfigLimits::kAccelTimeMax) {
                accelTime = static_cast<qint16>(*entry);
                stored = true;
            }
            break;
        }
    }
    const qint64 shown = index == 0 ? speedMin : index == 1 ? speedMax : accelTime;
    ShowValue(boxes[size_t(index)], shown);
    return stored;
}

struct CurrentPreset {
    qint16 run;
    qint16 stop;
};
constexpr std::array<CurrentPreset, 3> kCurrentPresets{{{350, 175}, {660, 330}, {750, 375}}};

} // namespace

void frmMain::DispConfigData() {
    // Setting controls here is no edit: the reactions stay silent meanwhile.
    const QScopedValueRollback<bool> presenting(presenting_, true);
    const ConfigRecord& c = Config;

    StageMode[c.rotationStage == kTrue ? 1 : 0]->setChecked(true);
    DirOption[c.reverseDirection == kTrue ? 1 : 0]->setChecked(true);
    SplitOption[c.stepMode != 0 ? 0 : 1]->setChecked(true);
    if (c.originMode == 0 || c.originMode == 1) {
        OrgModeOption[size_t(c.originMode)]->setChecked(true);
        SetOriginModeEnabled(c.originMode == 0);
    }
    ShowValue(OrgOffsetText, c.originOffset);
    DispCurrents();
    SetSliderQuietly(0, c.runCurrent);
    SetSliderQuietly(1, c.stopCurrent);
    JogCheck->setChecked(c.jogInputEnabled == kTrue);
    ShowValue(JogSpeedText, c.jogSpeedMax);
    for (int i = 0; i < 2; ++i) {
        const qint16 mode = c.limitSensorMode[size_t(i)];
        SetSensorEnabled(i, mode != -1);
        LSOption[size_t(2 * i + (mode == 0 || mode == -1 ? 0 : 1))]->setChecked(true);
    }
    SetComSpeedButtons(c.comSpeedIndex);
    ComFlowCheck->setChecked(c.comFlowControl == kTrue);
    EmgPowerCheck->setChecked(c.excitationAtEmergencyStop != kTrue);
    PowerUpCheck->setChecked(c.excitationAtStartUp == kTrue);
    AutoPowerCheck->setChecked(c.autoExcitation == kTrue);
    ExtLSCheck[0]->setChecked(c.limitSensorMode[0] != -1);
    ExtLSCheck[1]->setChecked(c.limitSensorMode[1] != -1);
    ExtJDialCheck->setChecked(c.jogDialEnabled == kTrue);
    SetJogDialEnabled(c.jogDialEnabled == kTrue);
    ShowValue(ExtJDialPulse, c.jogDialPulses);
    ShowValue(DefSpeedText[0], c.defaultSpeedMin);
    ShowValue(DefSpeedText[1], c.defaultSpeedMax);
    ShowValue(DefSpeedText[2], c.defaultAccelTime);
    ShowValue(OrgSpeedText[0], c.originSpeedMin);
    ShowValue(OrgSpeedText[1], c.originSpeedMax);
    ShowValue(OrgSpeedText[2], c.originAccelTime);
    ShowValue(DefJOGSpeedText[0], c.jogSpeedMin);
    ShowValue(DefJOGSpeedText[1], c.jogSpeedMax);
    ShowValue(DefJOGSpeedText[2], c.jogAccelTime);
}

void frmMain::CmdInit_Click() {
    TakePendingEntry();
    if (sequenceRunning_)
        return;
    MainModule::ResetToFactoryDefaults();
    DispConfigData();
}

void frmMain::DispCurrents() {
    ShowValue(MotorInfo[0], Config.runCurrent);
    ShowValue(MotorInfo[1], Config.stopCurrent);
}

void frmMain::SetOriginModeEnabled(bool offsetEditable) {
    OrgLabel[0]->setEnabled(offsetEditable);
    OrgOffsetText->setEnabled(offsetEditable);
}

void frmMain::SetSensorEnabled(int sensor, bool used) {
    LSFrame[size_t(sensor)]->setEnabled(used);
    LSOption[size_t(2 * sensor)]->setEnabled(used);
    LSOption[size_t(2 * sensor + 1)]->setEnabled(used);
}

void frmMain::SetJogDialEnabled(bool enabled) {
    ExtJdialLabel[0]->setEnabled(enabled);
    ExtJdialLabel[1]->setEnabled(enabled);
    ExtJDialPulse->setEnabled(enabled);
}

// Moves made by the program put the slider at a stored value; a current outside the slider's
// range leaves it at the nearest end.
void frmMain::SetSliderQuietly(int index, int value) {
    QSlider* slider = MotorSlider[size_t(index)];
    const QSignalBlocker blocker(slider);
    slider->setValue(value);
}

void frmMain::SetComSpeedButtons(int index) {
    if (index >= 0 && index < int(ComSpeedOption.size())) {
        ComSpeedOption[size_t(index)]->setChecked(true);
        return;
    }
    // An exclusive group refuses to clear its last button; lift that for a moment.
    comSpeedGroup_->setExclusive(false);
    for (QRadioButton* button : ComSpeedOption)
        button->setChecked(false);
    comSpeedGroup_->setExclusive(true);
}

void frmMain::StageMode_Click(int index) {
    if (presenting_)
        return;
    Config.rotationStage = ToBoolean(index == 1);
}

void frmMain::DirOption_Click(int index) {
    if (presenting_)
        return;
    Config.reverseDirection = ToBoolean(index == 1);
}

void frmMain::SplitOption_Click(int index) {
    if (presenting_)
        return;
    Config.stepMode = index == 0 ? 1 : 0;
}

void frmMain::OrgModeOption_Click(int index) {
    if (presenting_)
        return;
    Config.originMode = static_cast<qint16>(index);
    SetOriginModeEnabled(index == 0);
}

void frmMain::LSOption_Click(int index) {
    if (presenting_)
        return;
    Config.limitSensorMode[size_t(index / 2)] = static_cast<qint16>(index % 2);
}

void frmMain::ComSpeedOption_Click(int index) {
    if (presenting_)
        return;
    Config.comSpeedIndex = static_cast<qint16>(index);
}

void frmMain::JogCheck_Click() {
    if (presenting_)
        return;
    Config.jogInputEnabled = ToBoolean(JogCheck->isChecked());
}

void frmMain::ComFlowCheck_Click() {
    if (presenting_)
        return;
    Config.comFlowControl = ToBoolean(ComFlowCheck->isChecked());
}

void frmMain::EmgPowerCheck_Click() {
    if (presenting_)
        return;
    // The box asks for the motor to be freed, the opposite of the field.
    Config.excitationAtEmergencyStop = ToBoolean(!EmgPowerCheck->isChecked());
}

void frmMain::PowerUpCheck_Click() {
    if (presenting_)
        return;
    Config.excitationAtStartUp = ToBoolean(PowerUpCheck->isChecked());
}

void frmMain::AutoPowerCheck_Click() {
    if (presenting_)
        return;
    Config.autoExcitation = ToBoolean(AutoPowerCheck->isChecked());
}

void frmMain::ExtLSCheck_Click(int index) {
    if (presenting_)
        return;
    // A sensor taken back into use always starts as Normal Close.
    const bool used = ExtLSCheck[size_t(index)]->isChecked();
    SetSensorEnabled(index, used);
    LSOption[size_t(2 * index)]->setChecked(true);
    Config.limitSensorMode[size_t(index)] = used ? 0 : -1;
}

void frmMain::ExtJDialCheck_Click() {
    if (presenting_)
        return;
    const bool enabled = ExtJDialCheck->isChecked();
    Config.jogDialEnabled = ToBoolean(enabled);
    SetJogDialEnabled(enabled);
}

void frmMain::MotorCmd_Click(int index) {
    if (presenting_)
        return;
    const CurrentPreset& preset = kCurrentPresets[size_t(index)];
    if (Config.runCurrent == preset.run)
        return;
    Config.runCurrent = preset.run;
    Config.stopCurrent = preset.stop;
    DispCurrents();
    SetSliderQuietly(0, Config.runCurrent);
    SetSliderQuietly(1, Config.stopCurrent);
}

void frmMain::MotorSlider_Change(int index) {
    if (presenting_)
        return;
    const int position = MotorSlider[size_t(index)]->value();
    if (index == 0) {
        if (position < Config.stopCurrent) {
            SetSliderQuietly(0, Config.runCurrent);
            return;
        }
        if (position != Config.runCurrent) {
            Config.runCurrent = static_cast<qint16>(position);
            DispCurrents();
        }
    } else {
        if (position > Config.runCurrent) {
            SetSliderQuietly(1, Config.stopCurrent);
            return;
        }
        if (position != Config.stopCurrent) {
            Config.stopCurrent = static_cast<qint16>(position);
            DispCurrents();
        }
    }
}

void frmMain::DefSpeedText_LostFocus(int index) {
    if (presenting_)
        return;
    EditSpeedGroup(DefSpeedText, index, Config.defaultSpeedMin, Config.defaultSpeedMax,
                   Config.defaultAccelTime);
}

void frmMain::OrgSpeedText_LostFocus(int index) {
    if (presenting_)
        return;
    EditSpeedGroup(OrgSpeedText, index, Config.originSpeedMin, Config.originSpeedMax,
                   Config.originAccelTime);
}

void frmMain::DefJOGSpeedText_LostFocus(int index) {
    if (presenting_)
        return;
    if (EditSpeedGroup(DefJOGSpeedText, index, Config.jogSpeedMin, Config.jogSpeedMax,
                       Config.jogAccelTime) &&
        index == 1)
        ShowValue(JogSpeedText, Config.jogSpeedMax);
}

void frmMain::JogSpeedText_LostFocus() {
    if (presenting_)
        return;
    // One box for a constant jog speed; the limits apply to the entry before rounding.
    const std::optional<qint32> entry = ReadEntry(JogSpeedText);
    if (entry && *entry >= ConfigLimits::kSpeedMin && *entry <= ConfigLimits::kSpeedMax) {
        const auto value = static_cast<qint32>(RoundToHundreds(*entry));
        if (value != Config.jogSpeedMax) {
            Config.jogSpeedMin = value;
            Config.jogSpeedMax = value;
            Config.jogAccelTime = 0;
            ShowValue(DefJOGSpeedText[0], Config.jogSpeedMin);
            ShowValue(DefJOGSpeedText[1], Config.jogSpeedMax);
            ShowValue(DefJOGSpeedText[2], Config.jogAccelTime);
        }
    }
    ShowValue(JogSpeedText, Config.jogSpeedMax);
}

void frmMain::OrgOffsetText_LostFocus() {
    if (presenting_)
        return;
    const std::optional<qint32> entry = ReadEntry(OrgOffsetText);
    if (entry && *entry >= ConfigLimits::kOffsetMin && *entry <= ConfigLimits::kOffsetMax)
        Config.originOffset = *entry;
    ShowValue(OrgOffsetText, Config.originOffset);
}

void frmMain::ExtJDialPulse_LostFocus() {
    if (presenting_)
        return;
    const std::optional<qint32> entry = ReadEntry(ExtJDialPulse);
    if (entry && *entry >= ConfigLimits::kJogDialPulsesMin &&
        *entry <= ConfigLimits::kJogDialPulsesMax)
        Config.jogDialPulses = static_cast<qint16>(*entry);
    ShowValue(ExtJDialPulse, Config.jogDialPulses);
}
