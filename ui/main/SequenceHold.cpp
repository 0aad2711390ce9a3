#include "ui/main/SequenceHold.h"

#include "shell/MainModule.h"

#include <QAction>
#include <QGuiApplication>
#include <QPushButton>

SequenceHold::SequenceHold(SequenceControls controls, QPushButton* running,
                           const ProgramState& state)
    : controls_(std::move(controls)), state_(state) {
    focus_ = controls_.connect->window()->focusWidget();
    // Each keeps its own state (a page greyed for want of "/EXT", Save without a file), to
    // have it back afterwards.
    for (QWidget* editor : controls_.editors) {
        editorsEnabled_.emplace_back(editor, !editor->testAttribute(Qt::WA_ForceDisabled));
        editor->setEnabled(false);
    }
    for (QAction* command : controls_.commands) {
        commandsEnabled_.emplace_back(command, command->isEnabled());
        command->setEnabled(false);
    }
    controls_.options->setEnabled(false);
    controls_.compare->setEnabled(false);
    for (QPushButton* button : {controls_.connect, controls_.load, controls_.store})
        if (button != running)
            button->setEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
}

SequenceHold::~SequenceHold() {
    QGuiApplication::restoreOverrideCursor();
    for (const auto& [editor, enabled] : editorsEnabled_)
        if (editor)
            editor->setEnabled(enabled);
    for (const auto& [command, enabled] : commandsEnabled_)
        if (command)
            command->setEnabled(enabled);
    const bool connected = IsTrue(state_.IsConnected);
    controls_.options->setEnabled(!connected);
    controls_.compare->setEnabled(connected);
    controls_.connect->setEnabled(true);
    controls_.load->setEnabled(connected);
    controls_.store->setEnabled(connected);
    MoveFocusToSafety();
}

// Qt passes the focus of a control being disabled along the Tab chain; the operator's next
// Space must not land on whatever comes next there.
void SequenceHold::MoveFocusToSafety() const {
    if (!focus_)
        return;
    QWidget* target =
        focus_->isEnabled() && focus_->isVisible() ? focus_.data() : controls_.connect;
    if (target->window()->focusWidget() != target)
        target->setFocus(Qt::OtherFocusReason);
}
