#pragma once

#include "files/FileCommands.h"
#include "link/ControllerCommands.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgressDisplay.h"
#include "shell/Result.h"

#include <QList>
#include <QQueue>
#include <QString>

#include <functional>

class Series;

// Test stand-ins for the operator: questions are answered from a queue (No when it runs dry),
// every box, dialog and progress value is recorded, and nothing ever blocks. Each test owns
// its own and passes them to what it runs.
namespace testing {

struct ShownBox {
    QString text;
    QString title;
    platform::MsgIcon icon;
    platform::MsgButtons buttons;
    QString details{};
};

class ScriptedMessageBoxes : public platform::MessageBoxes {
public:
    platform::MsgAnswer Show(const QString& text, const QString& title, platform::MsgIcon icon,
                             platform::MsgButtons buttons, const QString& details = {}) override;

    QList<ShownBox> shown;
    QQueue<platform::MsgAnswer> answers;
};

struct ShownDialog {
    bool save;
    QString title;
    QString filter;
};

class ScriptedFileDialogs : public platform::FileDialogs {
public:
    QString OpenFileName(const QString& title, const QString& filter) override;
    QString SaveFileName(const QString& title, const QString& filter) override;

    QList<ShownDialog> shown;
    QQueue<QString> names; // an empty name, or a dry queue, cancels
};

class RecordingProgress : public platform::ProgressDisplay {
public:
    void ShowProgress(int value) override;
    void SetProgress(int value) override;
    void HideProgress() override;

    bool visible = false;
    QList<int> values; // every value set, in order
};

// The core's failures and questions as the window shows them: a failure in an error box, a
// question in a Yes/No box, so that the scripted boxes record them.
void ShowInBox(platform::MessageBoxes& boxes, const Failure& failure);
bool AskInBox(platform::MessageBoxes& boxes, const Question& question);
// The result, its failure shown in a box; true when it succeeded.
bool Boxed(platform::MessageBoxes& boxes, const Result& result);

// An operator who answers in the scripted boxes.
class BoxedOperator : public OperatorView {
public:
    explicit BoxedOperator(platform::MessageBoxes& boxes) : boxes_(boxes) {}
    bool Ask(const Question& question) override { return AskInBox(boxes_, question); }
    void ShowFailure(const Failure& failure) override { ShowInBox(boxes_, failure); }

private:
    platform::MessageBoxes& boxes_;
};

// A File menu view that asks through the scripted dialogs and boxes, and shows nothing else.
class ScriptedFileView : public FileCommandsView {
public:
    ScriptedFileView(ScriptedFileDialogs& dialogs, platform::MessageBoxes& boxes)
        : dialogs_(dialogs), boxes_(boxes) {}
    void DispConfigData() override {}
    void SetFileEntriesEnabled(bool) override {}
    void DispStatusMsg(StatusMsg) override {}
    void UnloadMainWindow() override {}
    QString AskFileName(bool save, const QString& title, const QString& filter) override;
    bool Ask(const Question& question) override { return AskInBox(boxes_, question); }
    void ShowFailure(const Failure& failure) override { ShowInBox(boxes_, failure); }

private:
    ScriptedFileDialogs& dialogs_;
    platform::MessageBoxes& boxes_;
};

// Lets the event loop run until the series has finished (a test may wait in a loop of its
// own); its result, or a failure after timeoutMs. keep is called when it finishes, before it
// goes, to take what it holds.
Result Await(Series* series, const std::function<void()>& keep = {}, int timeoutMs = 60000);
// Starts a command with start and waits for the commands' Finished; its report.
ControllerCommands::Report Await(ControllerCommands& commands, const std::function<void()>& start,
                                 int timeoutMs = 60000);

// A test run in both languages: the column "english" with the rows "japanese" and "english".
void AddLanguageRows();

// Points the per-user settings store at a fresh temporary folder for this process.
void UseTemporarySettings();

} // namespace testing
