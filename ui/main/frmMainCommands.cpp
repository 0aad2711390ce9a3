#include "ui/main/frmMain.h"

#include "files/FileCommands.h"
#include "link/ComSupport.h"
#include "link/QMXModule.h"
#include "platform/MessageBoxes.h"
#include "shell/MainModule.h"
#include "ui/about/frmAbout.h"
#include "ui/options/frmOptions.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <utility>

// The controller, file, Options and About commands. Each first takes over a number the
// operator is still typing, so the command works on what the window shows.

namespace {

using MainModule::JaEn;
using MainModule::Options;
using MainModule::State;

// The File menu commands reach the window through this.
class WindowFileView final : public FileCommandsView {
public:
    explicit WindowFileView(frmMain& window) : window_(window) {}
    void DispConfigData() override { window_.DispConfigData(); }
    void SetFileEntriesEnabled(bool enabled) override { window_.SetFileEntriesEnabled(enabled); }
    void DispStatusMsg(int number) override { window_.DispStatusMsg(number); }
    void UnloadMainWindow() override { window_.UnloadMainWindow(); }

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

void frmMain::CmdConnect_Click() {
    TakePendingEntry();
    if (sequenceRunning_)
        return;
    const Sequence sequence(*this);
    if (IsTrue(State.IsConnected)) {
        Disconnect();
        return;
    }
    bool ok = ComSupport::ComOpen();
    bool identified = false;
    if (ok) {
        ok = identified = QMXModule::ConnectController();
        if (ok) {
            infoLabel[3]->setText(State.ControllerSerialNo);
            infoLabel[4]->setText(State.ControllerVersionText);
            infoLabel[5]->setText(State.ControllerRevision);
            infoLabel[7]->setText(State.ControllerBuildDate);
            mnuToolsOptions->setEnabled(false);
        }
    }
    if (ok && IsTrue(Options.LoadOnConnect)) {
        ok = QMXModule::LoadConfigFromController();
        if (ok)
            DispConfigData();
    }
    if (ok) {
        SetLamp(true);
        CmdConnect->setText(JaEn(QStringLiteral("切断"), QStringLiteral("DISCONNECT")));
        CmdLoad->setEnabled(true);
        CmdStore->setEnabled(true);
        State.IsConnected = kTrue;
        DispStatusMsg(IsTrue(Options.LoadOnConnect) ? 2 : 1);
    } else if (identified) {
        // The load on connect failed: show the disconnected state, Options menu included.
        Disconnect();
    } else {
        ComSupport::ComClose();
    }
}

void frmMain::Disconnect() {
    ComSupport::ComClose();
    infoLabel[3]->setText(QStringLiteral("xxxxxxxxxx"));
    infoLabel[4]->setText(QStringLiteral("x.xx"));
    infoLabel[5]->setText(QStringLiteral("xxx"));
    infoLabel[7]->setText(QStringLiteral("xxxxxx"));
    SetLamp(false);
    CmdConnect->setText(JaEn(QStringLiteral("接続"), QStringLiteral("CONNECT")));
    CmdLoad->setEnabled(false);
    CmdStore->setEnabled(false);
    mnuToolsOptions->setEnabled(true);
    DispStatusMsg(5);
    State.IsConnected = kFalse;
}

void frmMain::CmdLoad_Click() {
    TakePendingEntry();
    if (sequenceRunning_ || !IsTrue(State.IsConnected))
        return;
    const Sequence sequence(*this);
    if (QMXModule::LoadConfigFromController()) {
        DispConfigData();
        DispStatusMsg(3);
    } else {
        Disconnect();
    }
}

void frmMain::CmdStore_Click() {
    TakePendingEntry();
    if (sequenceRunning_ || !IsTrue(State.IsConnected))
        return;
    const Sequence sequence(*this);
    if (IsTrue(Options.ConfirmStore)) {
        const platform::MsgAnswer answer = platform::MsgBox(
            JaEn(QStringLiteral("設定値をQMXに書込みますか？"),
                 QStringLiteral("Store Config data ?")),
            ComSupport::LinkTitle(), platform::MsgIcon::None, platform::MsgButtons::YesNo);
        if (answer != platform::MsgAnswer::Yes)
            return;
    }
    if (QMXModule::StoreConfigToController())
        DispStatusMsg(4);
    else
        Disconnect();
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
