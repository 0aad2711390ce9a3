#include "ui/main/frmMain.h"

#include "files/FileCommands.h"
#include "link/ControllerCommands.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "shell/MainModule.h"
#include "ui/about/frmAbout.h"
#include "ui/main/SequenceHold.h"
#include "ui/options/frmOptions.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <utility>

// The controller, file, Options and About commands. Each first takes over a number the
// operator is still typing, so the command works on what the window shows.

namespace {

using MainModule::JaEn;
using MainModule::State;

bool AskInBox(const Question& question) {
    return platform::MsgBox(question.text, question.title,
                            question.warning ? platform::MsgIcon::Warning : platform::MsgIcon::None,
                            platform::MsgButtons::YesNo) == platform::MsgAnswer::Yes;
}

void ShowInBox(const Failure& failure) {
    platform::MsgBox(failure.text, failure.title, platform::MsgIcon::Critical);
}

// The File menu commands reach the window through this.
class WindowFileView final : public FileCommandsView {
public:
    explicit WindowFileView(frmMain& window) : window_(window) {}
    void DispConfigData() override { window_.DispConfigData(); }
    void SetFileEntriesEnabled(bool enabled) override { window_.SetFileEntriesEnabled(enabled); }
    void DispStatusMsg(StatusMsg message) override { window_.DispStatusMsg(int(message)); }
    void UnloadMainWindow() override { window_.UnloadMainWindow(); }
    QString AskFileName(bool save, const QString& title, const QString& filter) override {
        return save ? platform::Dialogs().SaveFileName(title, filter)
                    : platform::Dialogs().OpenFileName(title, filter);
    }
    bool Ask(const Question& question) override { return AskInBox(question); }
    void ShowFailure(const Failure& failure) override { ShowInBox(failure); }

private:
    frmMain& window_;
};

// The controller commands reach the window through this.
class WindowControllerView final : public ControllerCommandsView {
public:
    explicit WindowControllerView(frmMain& window) : window_(window) {}
    void DispConfigData() override { window_.DispConfigData(); }
    void DispControllerInfo(bool identified) override { window_.DispControllerInfo(identified); }
    void SetConnectedControls(bool connected) override { window_.SetConnectedControls(connected); }
    void SetOptionsEnabled(bool enabled) override { window_.mnuToolsOptions->setEnabled(enabled); }
    void DispStatusMsg(StatusMsg message) override { window_.DispStatusMsg(int(message)); }
    bool Ask(const Question& question) override { return AskInBox(question); }
    void ShowFailure(const Failure& failure) override { ShowInBox(failure); }

private:
    frmMain& window_;
};

void RunFileCommand(frmMain& window, void (*command)(FileCommandsView&)) {
    window.TakePendingEntry();
    if (window.SequenceRunning())
        return;
    WindowFileView view(window);
    command(view);
}

} // namespace

// A connect, load or store lets the window's events run while it waits for the controller.
// Until it ends, the commands that would start a second series or pull the port or the
// window away are ignored, and closing the window is held back.
class frmMain::Sequence {
public:
    explicit Sequence(frmMain& window) : window_(window) { window_.sequenceRunning_ = true; }
    ~Sequence() {
        window_.sequenceRunning_ = false;
        if (std::exchange(window_.exitRequested_, false))
            QTimer::singleShot(0, &window_, &frmMain::mnuFileExit_Click);
        else if (std::exchange(window_.closeRequested_, false))
            QTimer::singleShot(0, &window_, &QWidget::close);
    }
    Sequence(const Sequence&) = delete;
    Sequence& operator=(const Sequence&) = delete;

private:
    frmMain& window_;
};

bool frmMain::SequenceRunning() const {
    return sequenceRunning_;
}

void frmMain::RunControllerCommand(void (*command)(ControllerCommandsView&), QPushButton* button) {
    TakePendingEntry();
    if (sequenceRunning_)
        return;
    const Sequence sequence(*this);
    const SequenceHold hold(HeldBySequence(), button);
    WindowControllerView view(*this);
    command(view);
}

// Exit stays. The About box is modal: open, it would keep the series from going on.
SequenceControls frmMain::HeldBySequence() const {
    SequenceControls held;
    for (int page = 0; page < MainTab->count(); ++page)
        held.editors.push_back(MainTab->widget(page));
    held.editors.push_back(CmdInit);
    held.commands = {mnuFileOpen, mnuFileClose, mnuFileSave, mnuFileSaveAs, mnuHelpAbout};
    held.options = mnuToolsOptions;
    held.connect = CmdConnect;
    held.load = CmdLoad;
    held.store = CmdStore;
    return held;
}

void frmMain::DispControllerInfo(bool identified) {
    infoLabel[3]->setText(identified ? State.ControllerSerialNo : QStringLiteral("xxxxxxxxxx"));
    infoLabel[4]->setText(identified ? State.ControllerVersionText : QStringLiteral("x.xx"));
    infoLabel[5]->setText(identified ? State.ControllerRevision : QStringLiteral("xxx"));
    infoLabel[7]->setText(identified ? State.ControllerBuildDate : QStringLiteral("xxxxxx"));
}

void frmMain::SetConnectedControls(bool connected) {
    SetLamp(connected);
    CmdConnect->setText(connected ? JaEn(QStringLiteral("切断"), QStringLiteral("DISCONNECT"))
                                  : JaEn(QStringLiteral("接続"), QStringLiteral("CONNECT")));
    CmdLoad->setEnabled(connected);
    CmdStore->setEnabled(connected);
}

void frmMain::CmdConnect_Click() {
    RunControllerCommand(ControllerCommands::ConnectOrDisconnect, CmdConnect);
}

void frmMain::Disconnect() {
    WindowControllerView view(*this);
    ControllerCommands::Disconnect(view);
}

void frmMain::CmdLoad_Click() {
    RunControllerCommand([](ControllerCommandsView& view) { ControllerCommands::Load(view); },
                         CmdLoad);
}

void frmMain::CmdStore_Click() {
    RunControllerCommand([](ControllerCommandsView& view) { ControllerCommands::Store(view); },
                         CmdStore);
}

void frmMain::mnuFileOpen_Click() {
    RunFileCommand(*this, FileCommands::FileOpen);
}

void frmMain::mnuFileClose_Click() {
    RunFileCommand(*this, FileCommands::FileClose);
}

void frmMain::mnuFileSave_Click() {
    RunFileCommand(*this, FileCommands::FileSave);
}

void frmMain::mnuFileSaveAs_Click() {
    RunFileCommand(*this, FileCommands::FileSaveAs);
}

void frmMain::mnuFileExit_Click() {
    // Like the window's close box: held back until the running sequence ends.
    if (sequenceRunning_) {
        exitRequested_ = true;
        return;
    }
    RunFileCommand(*this, FileCommands::FileExit);
}

void frmMain::mnuToolsOptions_Click() {
    TakePendingEntry();
    if (sequenceRunning_ || IsTrue(State.IsConnected))
        return;
    frmOptions::ShowModal(this);
}

void frmMain::mnuHelpAbout_Click() {
    TakePendingEntry();
    frmAbout::ShowModal(this);
}
