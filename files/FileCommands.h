#pragma once

#include "shell/Result.h"
#include "shell/StatusMessages.h"

#include <QString>

// What the File menu commands need of the main window; test fakes implement it too. The
// commands ask and tell the operator only through it.
class FileCommandsView {
public:
    virtual ~FileCommandsView() = default;
    virtual void DispConfigData() = 0;
    virtual void SetFileEntriesEnabled(bool enabled) = 0; // mnuFileClose and mnuFileSave
    virtual void DispStatusMsg(StatusMsg message) = 0;
    virtual void UnloadMainWindow() = 0; // Exit's last step
    // The file to open, or to save into (save); empty when the operator cancels.
    virtual QString AskFileName(bool save, const QString& title, const QString& filter) = 0;
    // True when the operator answers Yes.
    virtual bool Ask(const Question& question) = 0;
    virtual void ShowFailure(const Failure& failure) = 0;
};

// The File menu: choose the file, keep the current file name, run the file operations and
// report success. A command that fails or is refused leaves the current file and the menu
// as they were, unless it was about the current file itself: then no file is current any
// more. So Save only ever writes a file that was loaded or saved successfully.
namespace FileCommands {

void FileOpen(FileCommandsView& view);
void FileClose(FileCommandsView& view);
void FileSave(FileCommandsView& view);
void FileSaveAs(FileCommandsView& view);
void FileExit(FileCommandsView& view); // ComSupport::ComClose() then view.UnloadMainWindow()

// Texts of the two file dialogs, in the chosen language.
QString OpenTitle();
QString SaveAsTitle();
QString DialogFilter();

} // namespace FileCommands
