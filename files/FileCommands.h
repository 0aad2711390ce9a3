#pragma once

#include "shell/MainModule.h"
#include "shell/Result.h"
#include "shell/StatusMessages.h"

#include <QString>

class ComSupport;
class FileModule;

// What the File menu commands need of the main window; test fakes implement it too. The
// commands ask and tell the operator only through it.
class FileCommandsView : public OperatorView {
public:
    virtual void DispConfigData() = 0;
    virtual void SetFileEntriesEnabled(bool enabled) = 0; // mnuFileClose and mnuFileSave
    virtual void DispStatusMsg(StatusMsg message) = 0;
    virtual void UnloadMainWindow() = 0; // Exit's last step
    // The file to open, or to save into (save); empty when the operator cancels.
    virtual QString AskFileName(bool save, const QString& title, const QString& filter) = 0;
};

// The File menu of one program: choose the file, keep the current file name, run the file
// operations and report success. A command that fails or is refused leaves the current file
// and the menu as they were, unless it was about the current file itself: then no file is
// current any more. So Save only ever writes a file that was loaded or saved successfully.
class FileCommands {
public:
    FileCommands(Program& program, FileModule& files, ComSupport& link, FileCommandsView& view)
        : program_(program), files_(files), link_(link), view_(view) {}

    // Each says whether the file operation succeeded (false also when the operator cancels).
    bool FileOpen();
    void FileClose();
    bool FileSave();
    bool FileSaveAs();
    void FileExit(); // closes the port, then view.UnloadMainWindow()

    // Texts of the two file dialogs.
    static QString OpenTitle(Language language);
    static QString SaveAsTitle(Language language);
    static QString DialogFilter(Language language);

private:
    using Operation = Result (FileModule::*)(const QString&, const AskOperator&);
    bool RunFileOperation(const QString& name, Operation operation);

    Program& program_;
    FileModule& files_;
    ComSupport& link_;
    FileCommandsView& view_;
};
