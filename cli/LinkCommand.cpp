#include "cli/LinkCommand.h"

#include "platform/ProgressDisplay.h"

namespace cli {

bool QuietView::Ask(const Question& question) {
    return cli::Ask(question);
}

// Once a signal stopped the run, the run itself says what the controller holds.
void QuietView::ShowFailure(const Failure& failure) {
    if (!StopSignal())
        cli::ShowFailure(failure);
}

void QuietView::ShowProgress(int value) {
    if (progress_)
        progress_->ShowProgress(value);
}

void QuietView::SetProgress(int value) {
    if (progress_)
        progress_->SetProgress(value);
}

void QuietView::HideProgress() {
    if (progress_)
        progress_->HideProgress();
}

LinkCommand::LinkCommand(const LinkContext& context)
    : run_(context.run), program_(context.run.program), link_(context.link), call_(context.call),
      view_(context.progress), commands_(context.link, context.run.program, view_, this) {
    connect(&commands_, &ControllerCommands::Finished, this, &LinkCommand::Identified);
}

void LinkCommand::Connect() {
    ProgramState& s = program_.State;
    for (QString* text : {&s.ControllerName, &s.ControllerSerialNo, &s.ControllerVersionText,
                          &s.ControllerRevision, &s.ControllerBuildDate})
        text->clear();
    // A signal that came before the port opened: the open would forget the stop asked for.
    if (StopSignal())
        return Connected(kFailed);
    commands_.Connect(call_.device);
}

void LinkCommand::Identified(const ControllerCommands::Report& report) {
    switch (report.connect) {
    case ControllerCommands::ConnectResult::Connected:
        return Connected(kOk);
    case ControllerCommands::ConnectResult::NotIdentified:
        return Connected(kNoController);
    case ControllerCommands::ConnectResult::NotOpened:
    case ControllerCommands::ConnectResult::NotLoaded:
        break;
    }
    Connected(kFailed);
}

void LinkCommand::Disconnect() {
    commands_.Disconnect();
}

void LinkCommand::End(int code) {
    Disconnect();
    emit Done(code);
}

} // namespace cli
