#include "ui/main/frmMain.h"

#include "shell/ConfigRecord.h"
#include "shell/EditRules.h"
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

// Presenting the record, and the reactions to the operator's edits: each reads the control,
// hands it to its rule in the core and presents the record that comes back.

namespace {

using EditRules::Choice;
using EditRules::SpeedGroup;
using EditRules::Switch;
using MainModule::Config;

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

// The box holds what the operator is typing: the entry is taken when the focus leaves it, and
// until then nothing else may overwrite it. The window's own focus widget counts also while
// another program is in front.
bool HoldsPendingEntry(const QLineEdit* box) {
    return box->isModified() && box->window()->focusWidget() == box;
}

// Only a text that differs is written, so a box the operator has just tabbed into keeps its
// selection; the font always follows the text shown.
void ShowValue(QLineEdit* box, qint64 value) {
    if (HoldsPendingEntry(box))
        return;
    const QString text = Numbers::ShowNumber(value);
    FitNumber(box, text);
    if (box->text() != text)
        box->setText(text);
}

void ShowValue(QLabel* label, qint64 value) {
    const QString text = Numbers::ShowNumber(value);
    FitNumber(label, text);
    label->setText(text);
}

void ShowSpeedGroup(const std::array<QLineEdit*, 3>& boxes, qint32 s, qint32 f, qint16 time) {
    ShowValue(boxes[0], s);
    ShowValue(boxes[1], f);
    ShowValue(boxes[2], time);
}

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
    ShowValue(MotorInfo[0], c.runCurrent);
    ShowValue(MotorInfo[1], c.stopCurrent);
    SetSliderQuietly(0, c.runCurrent);
    SetSliderQuietly(1, c.stopCurrent);
    JogCheck->setChecked(c.jogInputEnabled == kTrue);
    ShowValue(JogSpeedText, c.jogSpeedMax);
    for (int i = 0; i < 2; ++i) {
        const qint16 mode = c.limitSensorMode[size_t(i)];
        SetSensorEnabled(i, mode != -1);
        LSOption[2 * size_t(i) + (mode == 0 || mode == -1 ? 0 : 1)]->setChecked(true);
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
    ShowSpeedGroup(DefSpeedText, c.defaultSpeedMin, c.defaultSpeedMax, c.defaultAccelTime);
    ShowSpeedGroup(OrgSpeedText, c.originSpeedMin, c.originSpeedMax, c.originAccelTime);
    ShowSpeedGroup(DefJOGSpeedText, c.jogSpeedMin, c.jogSpeedMax, c.jogAccelTime);
}

void frmMain::CmdInit_Click() {
    TakePendingEntry();
    if (sequenceRunning_)
        return;
    MainModule::ResetToFactoryDefaults();
    DispConfigData();
}

void frmMain::SetOriginModeEnabled(bool offsetEditable) {
    OrgLabel[0]->setEnabled(offsetEditable);
    OrgOffsetText->setEnabled(offsetEditable);
}

void frmMain::SetSensorEnabled(int sensor, bool used) {
    LSFrame[size_t(sensor)]->setEnabled(used);
    LSOption[2 * size_t(sensor)]->setEnabled(used);
    LSOption[2 * size_t(sensor) + 1]->setEnabled(used);
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

// Every reaction: silent while presenting; the rule's record (unless it refused), then the
// window shows the record.
void frmMain::React(const EditRule& rule) {
    if (presenting_)
        return;
    if (const std::optional<ConfigRecord> edited = rule(Config))
        Config = *edited;
    DispConfigData();
}

void frmMain::StageMode_Click(int index) {
    React([index](const ConfigRecord& r) { return Choose(r, Choice::StageType, index); });
}

void frmMain::DirOption_Click(int index) {
    React([index](const ConfigRecord& r) { return Choose(r, Choice::Direction, index); });
}

void frmMain::SplitOption_Click(int index) {
    React([index](const ConfigRecord& r) { return Choose(r, Choice::StepMode, index); });
}

void frmMain::OrgModeOption_Click(int index) {
    React([index](const ConfigRecord& r) { return Choose(r, Choice::OriginMode, index); });
}

void frmMain::LSOption_Click(int index) {
    React([index](const ConfigRecord& r) { return Choose(r, Choice::LimitSensorLogic, index); });
}

void frmMain::ComSpeedOption_Click(int index) {
    React([index](const ConfigRecord& r) { return Choose(r, Choice::LineSpeed, index); });
}

void frmMain::Check_Click(Switch which, const QCheckBox* box) {
    const bool ticked = box->isChecked();
    React([which, ticked](const ConfigRecord& r) { return Toggle(r, which, ticked); });
}

void frmMain::MotorCmd_Click(int index) {
    React([index](const ConfigRecord& r) { return EditRules::PressCurrentPreset(r, index); });
}

void frmMain::MotorSlider_Change(int index) {
    const int position = MotorSlider[size_t(index)]->value();
    React([index, position](const ConfigRecord& r) {
        return EditRules::MoveCurrentSlider(r, index, position);
    });
}

void frmMain::SpeedText_LostFocus(SpeedGroup group, const QLineEdit* box, int index) {
    const QString text = box->text();
    React([group, index, &text](const ConfigRecord& r) {
        return EditRules::EnterSpeed(r, group, index, text);
    });
}

void frmMain::JogSpeedText_LostFocus() {
    const QString text = JogSpeedText->text();
    React([&text](const ConfigRecord& r) { return EditRules::EnterJogSpeed(r, text); });
}

void frmMain::OrgOffsetText_LostFocus() {
    const QString text = OrgOffsetText->text();
    React([&text](const ConfigRecord& r) { return EditRules::EnterOriginOffset(r, text); });
}

void frmMain::ExtJDialPulse_LostFocus() {
    const QString text = ExtJDialPulse->text();
    React([&text](const ConfigRecord& r) { return EditRules::EnterJogDialPulses(r, text); });
}
