#pragma once

#include "files/FileCommands.h"
#include "link/ControllerCommands.h"
#include "ui/main/SequenceHold.h"

#include <QObject>

class frmMain;
class QPushButton;

// The main window's commands: CONNECT, LOAD and STORE, the File menu, Tools > Options and Help
// > About. It is what the controller and file commands see of the window: it presents through
// the window and asks and tells the operator in message boxes and file dialogs. While a
// connect, load or store talks to the controller it holds the window still, ignores commands
// that would start another series, and holds back closing the window until the series ends.
// Each command first takes over a number the operator is still typing, so that it works on
// what the window shows.
class MainCommands final : public QObject, public ControllerCommandsView, public FileCommandsView {
    Q_OBJECT
public:
    // Wires the window's command controls; owned by the window.
    explicit MainCommands(frmMain& window);

    // A connect, load or store is running.
    bool SequenceRunning() const;

    // ControllerCommandsView and FileCommandsView
    void DispConfigData() override;
    void DispControllerInfo(bool identified) override;
    void SetConnectedControls(bool connected) override;
    void SetOptionsEnabled(bool enabled) override;
    void SetFileEntriesEnabled(bool enabled) override;
    void DispStatusMsg(StatusMsg message) override;
    void UnloadMainWindow() override;
    QString AskFileName(bool save, const QString& title, const QString& filter) override;
    bool Ask(const Question& question) override;
    void ShowFailure(const Failure& failure) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs a controller command as one series: its button stays available, the other
    // commands and the editing controls are held.
    void RunControllerCommand(void (*command)(ControllerCommandsView&), QPushButton* button);
    void RunFileCommand(void (*command)(FileCommandsView&));
    void Exit();
    void OpenOptions();
    void OpenAbout();
    SequenceControls HeldBySequence() const;

    frmMain& window_;
    bool sequenceRunning_ = false;
    bool closeRequested_ = false; // held back until the running series ends
    bool exitRequested_ = false;  // File > Exit, likewise
};
