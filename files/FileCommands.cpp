#include "files/FileCommands.h"

#include "files/FileModule.h"
#include "link/ComSupport.h"
#include "platform/FileDialogs.h"
#include "shell/MainModule.h"

#include <QFileInfo>

namespace FileCommands {

namespace {

bool SameFile(const QString& a, const QString& b) {
    return !a.isEmpty() && !b.isEmpty() && QFileInfo(a) == QFileInfo(b);
}

// Runs a file operation on name, which becomes the current file when it succeeds. A failure
// on the current file itself ends it: a file refused or not replaced is never the one Save
// writes to.
bool RunFileOperation(const QString& name, bool (*operation)(const QString&),
                      FileCommandsView& view) {
    if (operation(name)) {
        MainModule::State.CurrentFileName = name;
        return true;
    }
    if (SameFile(name, MainModule::State.CurrentFileName))
        FileClose(view);
    return false;
}

} // namespace

QString OpenTitle() {
    return MainModule::JaEn(QStringLiteral("開く"), QStringLiteral("OPEN"));
}

QString SaveAsTitle() {
    return MainModule::JaEn(QStringLiteral("新規作成"), QStringLiteral("CREATE"));
}

QString DialogFilter() {
    return MainModule::JaEn(QStringLiteral("QMX設定ファイル名 (*.QMX)|*.QMX"),
                            QStringLiteral("QMX config file (*.QMX)|*.QMX"));
}

void FileOpen(FileCommandsView& view) {
    const QString name = platform::Dialogs().OpenFileName(OpenTitle(), DialogFilter());
    if (name.isEmpty() || !RunFileOperation(name, FileModule::LoadConfigFile, view))
        return;
    view.DispConfigData();
    view.SetFileEntriesEnabled(true);
    view.DispStatusMsg(StatusMsg::LoadedFromFile);
}

void FileClose(FileCommandsView& view) {
    MainModule::State.CurrentFileName.clear();
    view.SetFileEntriesEnabled(false);
}

void FileSave(FileCommandsView& view) {
    if (FileModule::SaveConfigFile())
        view.DispStatusMsg(StatusMsg::StoredToFile);
}

void FileSaveAs(FileCommandsView& view) {
    const QString name = platform::Dialogs().SaveFileName(SaveAsTitle(), DialogFilter());
    if (name.isEmpty() || !RunFileOperation(name, FileModule::CreateConfigFile, view))
        return;
    view.SetFileEntriesEnabled(true);
    view.DispStatusMsg(StatusMsg::StoredToFile);
}

void FileExit(FileCommandsView& view) {
    ComSupport::ComClose();
    view.UnloadMainWindow();
}

} // namespace FileCommands
