#pragma once

#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgressDisplay.h"

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

// Points the per-user settings store at a fresh temporary folder for this process.
void UseTemporarySettings();

} // namespace testing
