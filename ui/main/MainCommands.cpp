#include "ui/main/MainCommands.h"

#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "shell/MainModule.h"
#include "ui/about/frmAbout.h"
#include "ui/main/frmMain.h"
#include "ui/options/frmOptions.h"

#include <QAction>
#include <QEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <utility>

MainCommands::MainCommands(frmMain& window) : QObject(&window), window_(window) {
    setObjectName(QStringLiteral("MainCommands"));
    window.installEventFilter(this);
    const auto controller = [this](QPushButton* button, void (*command)(ControllerCommandsView&)) {
        connect(button, &QAbstractButton::clicked, this,
                [this, button, command] { RunControllerCommand(command, button); });
    };
    controller(window.CmdConnect, ControllerCommands::ConnectOrDisconnect);
    controller(window.CmdLoad, [](ControllerCommandsView& v) { ControllerCommands::Load(v); });
    controller(window.CmdStore, [](ControllerCommandsView& v) { ControllerCommands::Store(v); });
    const auto file = [this](QAction* entry, void (*command)(FileCommandsView&)) {
        connect(entry, &QAction::triggered, this, [this, command] { RunFileCommand(command); });
    };
    file(window.mnuFileOpen, FileCommands::FileOpen);
    file(window.mnuFileClose, FileCommands::FileClose);
    file(window.mnuFileSave, FileCommands::FileSave);
    file(window.mnuFileSaveAs, FileCommands::FileSaveAs);
    connect(window.mnuFileExit, &QAction::triggered, this, &MainCommands::Exit);
    connect(window.mnuToolsOptions, &QAction::triggered, this, &MainCommands::OpenOptions);
    connect(window.mnuHelpAbout, &QAction::triggered, this, &MainCommands::OpenAbout);
}

bool MainCommands::SequenceRunning() const {
    return sequenceRunning_;
}

void MainCommands::DispConfigData() {
    window_.DispConfigData();
}

void MainCommands::DispControllerInfo(bool identified) {
    window_.DispControllerInfo(identified);
}

void MainCommands::SetConnectedControls(bool connected) {
    window_.SetConnectedControls(connected);
}

void MainCommands::SetOptionsEnabled(bool enabled) {
    window_.mnuToolsOptions->setEnabled(enabled);
}

void MainCommands::SetFileEntriesEnabled(bool enabled) {
    window_.SetFileEntriesEnabled(enabled);
}

void MainCommands::DispStatusMsg(StatusMsg message) {
    window_.DispStatusMsg(message);
}

void MainCommands::UnloadMainWindow() {
    window_.close();
}

QString MainCommands::AskFileName(bool save, const QString& title, const QString& filter) {
    return save ? platform::Dialogs().SaveFileName(title, filter)
                : platform::Dialogs().OpenFileName(title, filter);
}

bool MainCommands::Ask(const Question& question) {
    return platform::MsgBox(question.text, question.title,
                            question.warning ? platform::MsgIcon::Warning : platform::MsgIcon::None,
                            platform::MsgButtons::YesNo) == platform::MsgAnswer::Yes;
}

void MainCommands::ShowFailure(const Failure& failure) {
    platform::MsgBox(failure.text, failure.title, platform::MsgIcon::Critical);
}

// Closing the window during a series waits for its end: the series still uses the window.
bool MainCommands::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::Close && sequenceRunning_) {
        closeRequested_ = true;
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void MainCommands::RunControllerCommand(void (*command)(ControllerCommandsView&),
                                        QPushButton* button) {
    window_.TakePendingEntry();
    if (sequenceRunning_)
        return;
    sequenceRunning_ = true;
    {
        const SequenceHold hold(HeldBySequence(), button);
        command(*this);
    }
    sequenceRunning_ = false;
    if (std::exchange(exitRequested_, false))
        QTimer::singleShot(0, this, &MainCommands::Exit);
    else if (std::exchange(closeRequested_, false))
        QTimer::singleShot(0, &window_, &QWidget::close);
}

void MainCommands::RunFileCommand(void (*command)(FileCommandsView&)) {
    window_.TakePendingEntry();
    if (!sequenceRunning_)
        command(*this);
}

// Like the window's close box: held back until the running series ends.
void MainCommands::Exit() {
    if (sequenceRunning_) {
        exitRequested_ = true;
        return;
    }
    RunFileCommand(FileCommands::FileExit);
}

void MainCommands::OpenOptions() {
    window_.TakePendingEntry();
    if (!sequenceRunning_ && !IsTrue(MainModule::State.IsConnected))
        frmOptions::ShowModal(&window_);
}

void MainCommands::OpenAbout() {
    window_.TakePendingEntry();
    if (!sequenceRunning_)
        frmAbout::ShowModal(&window_);
}

// Exit stays. The About box is modal: open, it would keep the series from going on.
SequenceControls MainCommands::HeldBySequence() const {
    SequenceControls held;
    for (int page = 0; page < window_.MainTab->count(); ++page)
        held.editors.push_back(window_.MainTab->widget(page));
    held.editors.push_back(window_.CmdInit);
    held.commands = {window_.mnuFileOpen, window_.mnuFileClose, window_.mnuFileSave,
                     window_.mnuFileSaveAs, window_.mnuHelpAbout};
    held.options = window_.mnuToolsOptions;
    held.connect = window_.CmdConnect;
    held.load = window_.CmdLoad;
    held.store = window_.CmdStore;
    return held;
}
