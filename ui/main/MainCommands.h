#pragma once

#include "files/FileCommands.h"
#include "link/ControllerCommands.h"
#include "ui/main/SequenceHold.h"

#include <QObject>

#include <functional>
#include <memory>

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
    ~MainCommands() override;

    // A connect, load or store is running.
    bool SequenceRunning() const;
    ControllerCommands& Controller() { return controller_; }

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
    void ShowProgress(int value) override;
    void SetProgress(int value) override;
    void HideProgress() override;
    QString FieldCaption(int field) const override;
    QString FieldValue(int field, const ConfigRecord& record) const override;

    // The operator has edited the record since it was last loaded, stored, opened or saved.
    bool EditsPending() const;

signals:
    // A connect, load or store has ended and the window is free again.
    void SequenceEnded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Starts a controller command as one series: its button stays available, the other
    // commands and the editing controls are held until it ends.
    void RunControllerCommand(const std::function<void()>& start, QPushButton* button);
    void ControllerCommandEnded(const ControllerCommands::Report& report);
    void TakeOutcome(const ControllerCommands::Report& report);
    void RunFileCommand(const std::function<void()>& command);
    void Open();
    // Asks before edits would be lost; true when there are none or the operator answers Yes.
    bool ConfirmLosingEdits();
    void Exit();
    void OpenOptions();
    void OpenAbout();
    SequenceControls HeldBySequence() const;

    frmMain& window_;
    ControllerCommands controller_;
    FileCommands files_;
    std::unique_ptr<SequenceHold> hold_; // while a series runs
    bool closeRequested_ = false;        // held back until the running series ends
    bool exitRequested_ = false;         // File > Exit, likewise
    bool exitConfirmed_ = false;         // the operator agreed to lose the edits
    ConfigRecord clean_;                 // edits are pending while the record differs from it
    ConfigRecord before_;                // the record when the running command began
    QPushButton* running_ = nullptr;     // the running command's button; none: Compare
    bool wasConnected_ = false;
};
