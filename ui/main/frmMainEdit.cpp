#include "ui/main/frmMain.h"

#include "ui/main/MainControls.h"
#include "ui/main/RecordStep.h"

#include "shell/ConfigRecord.h"
#include "shell/EditRules.h"
#include "shell/Numbers.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QUndoStack>

// Presenting the record, and the reactions to the operator's edits: each reads the control,
// hands it to its rule in the core and presents the record that comes back.

namespace {

using EditRules::Choice;
using EditRules::Number;
using EditRules::Switch;
using What = MainControls::Drive::What;

// Only a move to another control of this window takes an entry: the box's own context menu
// (Paste, Select All), the menu bar and another program's window are no move away from it,
// and the box keeps the focus within its window meanwhile.
bool LeavesForAnotherControl(const QFocusEvent& event) {
    switch (event.reason()) {
    case Qt::PopupFocusReason:
    case Qt::MenuBarFocusReason:
    case Qt::ActiveWindowFocusReason:
        return false;
    default:
        return true;
    }
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

} // namespace

void frmMain::DispConfigData() {
    // Setting controls here is no edit: the reactions stay silent meanwhile.
    const QScopedValueRollback<bool> presenting(presenting_, true);
    // Enabling first: a focused box that presenting disables lets its entry go before it
    // shows the record's value.
    const ConfigRecord& c = program_.Config;
    const int origin = Chosen(c, Choice::OriginMode);
    if (origin >= 0)
        SetOriginModeEnabled(origin == 0);
    SetSensorEnabled(0, Ticked(c, Switch::LimitSensorPlusUsed));
    SetSensorEnabled(1, Ticked(c, Switch::LimitSensorMinusUsed));
    SetJogDialEnabled(Ticked(c, Switch::JogDial));
    PresentRows();
    if (Chosen(c, Choice::LineSpeed) < 0)
        SetComSpeedButtons(-1);
    if (tabMarks_)
        DispChanges();
}

// Each control shows what the record holds for it: the button the rule's inverse picks, the
// state of the box, the number.
void frmMain::PresentRows() {
    const ConfigRecord& c = program_.Config;
    const auto rows = MainControls::Controls();
    for (size_t i = 0; i < rows.size(); ++i) {
        const MainControls::Drive& drive = rows[i].drive;
        QWidget* control = rowControls_[i];
        const int index = rows[i].index;
        switch (drive.what) {
        case What::Choice:
            if (Chosen(c, Choice(drive.which), index / 2) == index)
                static_cast<QRadioButton*>(control)->setChecked(true);
            break;
        case What::Switch:
            static_cast<QCheckBox*>(control)->setChecked(Ticked(c, Switch(drive.which)));
            break;
        case What::Number:
            if (auto* box = qobject_cast<QLineEdit*>(control))
                ShowValue(box, Shown(c, Number(drive.which)));
            else
                ShowValue(static_cast<QLabel*>(control), Shown(c, Number(drive.which)));
            break;
        case What::Slider:
            SetSliderQuietly(index, int(Shown(c, Number(drive.which))));
            break;
        case What::Preset:
        case What::Nothing:
            break;
        }
    }
}

// One walk over the rows: each control calls its rule with its index. Number boxes take their
// entry when the focus moves on (eventFilter).
void frmMain::ConnectRows() {
    const auto rows = MainControls::Controls();
    for (size_t i = 0; i < rows.size(); ++i) {
        const MainControls::Drive drive = rows[i].drive;
        QWidget* control = rowControls_[i];
        const int index = rows[i].index;
        const auto* button = qobject_cast<QAbstractButton*>(control);
        switch (drive.what) {
        case What::Choice:
            connect(button, &QAbstractButton::clicked, this, [this, drive, index, control] {
                Choice_Click(Choice(drive.which), index, control);
            });
            break;
        case What::Switch:
            connect(button, &QAbstractButton::clicked, this, [this, drive, control] {
                Check_Click(Switch(drive.which), static_cast<QCheckBox*>(control));
            });
            break;
        case What::Preset:
            connect(button, &QAbstractButton::clicked, this,
                    [this, index, control] { MotorCmd_Click(index, control); });
            break;
        case What::Slider:
            connect(static_cast<QSlider*>(control), &QAbstractSlider::valueChanged, this,
                    [this, index] { MotorSlider_Change(index); });
            connect(static_cast<QSlider*>(control), &QAbstractSlider::sliderPressed, this,
                    [this] { ++sliderDrag_; });
            break;
        case What::Number:
            if (auto* box = qobject_cast<QLineEdit*>(control)) {
                entryReactions_.insert(
                    box, [this, drive, box] { Number_LostFocus(Number(drive.which), box); });
                box->installEventFilter(this);
            }
            break;
        case What::Nothing:
            break;
        }
    }
}

// INITIALIZED DEFAULT: the factory defaults, a step that can be undone. A running series holds
// the button.
void frmMain::CmdInit_Click() {
    TakePendingEntry();
    React([](const ConfigRecord&) { return FactoryDefaults(); }, CmdInit);
}

void frmMain::ShowRecord(const ConfigRecord& record) {
    program_.Config = record;
    DispConfigData();
}

void frmMain::AddStep(const ConfigRecord& before, const QString& name) {
    if (before != program_.Config)
        undoStack_->push(new RecordStep([this](const ConfigRecord& r) { ShowRecord(r); }, before,
                                        program_.Config, name));
}

// A step is named as a screen reader names its control.
QString frmMain::StepName(const QWidget* source) const {
    if (!source->accessibleName().isEmpty())
        return source->accessibleName();
    if (const auto* button = qobject_cast<const QAbstractButton*>(source))
        return QString(button->text()).remove(u'&');
    return source->objectName();
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

// Every reaction: silent while presenting; the rule's record becomes a step of its own, unless
// the rule refused or nothing changed; then the window shows the record.
void frmMain::React(const EditRule& rule, const QWidget* source, int slider, int drag) {
    if (presenting_)
        return;
    const std::optional<ConfigRecord> edited = rule(program_.Config);
    if (!edited || *edited == program_.Config)
        return DispConfigData();
    undoStack_->push(new RecordStep([this](const ConfigRecord& r) { ShowRecord(r); },
                                    program_.Config, *edited, StepName(source), slider, drag));
}

void frmMain::Choice_Click(Choice choice, int index, const QWidget* button) {
    React([choice, index](const ConfigRecord& r) { return Choose(r, choice, index); }, button);
}

void frmMain::Check_Click(Switch which, const QCheckBox* box) {
    const bool ticked = box->isChecked();
    React([which, ticked](const ConfigRecord& r) { return Toggle(r, which, ticked); }, box);
}

void frmMain::MotorCmd_Click(int index, const QWidget* button) {
    React([index](const ConfigRecord& r) { return EditRules::PressCurrentPreset(r, index); },
          button);
}

// The moves of one drag are one step; each move by key or wheel is one.
void frmMain::MotorSlider_Change(int index) {
    const QSlider* slider = MotorSlider[size_t(index)];
    const int position = slider->value();
    React([index, position](
              const ConfigRecord& r) { return EditRules::MoveCurrentSlider(r, index, position); },
          slider, index, slider->isSliderDown() ? sliderDrag_ : 0);
}

void frmMain::Number_LostFocus(Number number, const QLineEdit* box) {
    const QString text = box->text();
    React([number, &text](const ConfigRecord& r) { return Enter(r, number, text); }, box);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut &&
        LeavesForAnotherControl(*static_cast<QFocusEvent*>(event)))
        TakeEntry(watched);
    if (event->type() == QEvent::ShortcutOverride && !UndoesTyping(watched, event)) {
        event->ignore(); // the Edit menu's undo and redo take the key
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// A number box undoes and redoes what the operator typed into it; once there is nothing of that
// to undo or redo, the keys undo and redo the record's steps.
bool frmMain::UndoesTyping(QObject* watched, QEvent* event) const {
    const auto* box = qobject_cast<const QLineEdit*>(watched);
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (!box || !entryReactions_.contains(const_cast<QObject*>(watched)))
        return true;
    if (key->matches(QKeySequence::Undo))
        return box->isModified() && box->isUndoAvailable();
    if (key->matches(QKeySequence::Redo))
        return box->isModified() && box->isRedoAvailable();
    return true;
}

// The box need not hold the focus: a menu opened from the keyboard has it meanwhile.
void frmMain::TakePendingEntry() {
    for (auto box = entryReactions_.keyBegin(); box != entryReactions_.keyEnd(); ++box)
        TakeEntry(*box);
}

// Only what the operator typed is an entry: a box passed through, untouched since it was
// last shown, changes nothing (its value may not be one the box would accept, such as a
// loaded speed that is no multiple of 100).
void frmMain::TakeEntry(QObject* box) {
    const auto reaction = entryReactions_.constFind(box);
    auto* edit = qobject_cast<QLineEdit*>(box);
    if (reaction == entryReactions_.constEnd() || !edit || !edit->isModified())
        return;
    edit->setModified(false);
    reaction.value()();
}
