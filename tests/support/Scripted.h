#pragma once

#include "files/FileCommands.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgressDisplay.h"
#include "shell/Result.h"

#include <QList>
#include <QQueue>
#include <QString>

// Test stand-ins for the operator: questions are answered from a queue (No when it runs dry),
// every box, dialog and progress value is recorded, and nothing ever blocks.
namespace testing {

struct ShownBox {
    QString text;
    QString title;
    platform::MsgIcon icon;
    platform::MsgButtons buttons;
};

class ScriptedMessageBoxes : public platform::MessageBoxes {
public:
    ScriptedMessageBoxes() { platform::SetMessageBoxes(this); }
    ~ScriptedMessageBoxes() override { platform::SetMessageBoxes(nullptr); }

    platform::MsgAnswer Show(const QString& text, const QString& title, platform::MsgIcon icon,
                             platform::MsgButtons buttons) override;

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
    ScriptedFileDialogs() { platform::SetFileDialogs(this); }
    ~ScriptedFileDialogs() override { platform::SetFileDialogs(nullptr); }

    QString OpenFileName(const QString& title, const QString& filter) override;
    QString SaveFileName(const QString& title, const QString& filter) override;

    QList<ShownDialog> shown;
    QQueue<QString> names; // an empty name, or a dry queue, cancels
};

class RecordingProgress : public platform::ProgressDisplay {
public:
    RecordingProgress() { platform::SetProgressDisplay(this); }
    ~RecordingProgress() override { platform::SetProgressDisplay(nullptr); }

    void ShowProgress(int value) override;
    void SetProgress(int value) override;
    void HideProgress() override;

    bool visible = false;
    QList<int> values; // every value set, in order
};

// The core's failures and questions as the window shows them: a failure in an error box, a
// question in a Yes/No box, so that the scripted boxes record them.
void ShowInBox(const Failure& failure);
bool AskInBox(const Question& question);
// The result, its failure shown in a box; true when it succeeded.
bool Boxed(const Result& result);

// A File menu view that asks through the scripted dialogs and boxes, and shows nothing else.
struct ScriptedFileView : FileCommandsView {
    void DispConfigData() override {}
    void SetFileEntriesEnabled(bool) override {}
    void DispStatusMsg(StatusMsg) override {}
    void UnloadMainWindow() override {}
    QString AskFileName(bool save, const QString& title, const QString& filter) override;
    bool Ask(const Question& question) override { return AskInBox(question); }
    void ShowFailure(const Failure& failure) override { ShowInBox(failure); }
};

// A test run in both languages: the column "english" with the rows "japanese" and "english".
void AddLanguageRows();

// Points the per-user settings store at a fresh temporary folder for this process.
void UseTemporarySettings();

} // namespace testing
