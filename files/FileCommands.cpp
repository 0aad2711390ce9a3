#include "files/FileCommands.h"

#include "files/FileModule.h"
#include "link/ComSupport.h"
#include "shell/MainModule.h"

#include <QFileInfo>

namespace FileCommands {

namespace {

bool SameFile(const QString& a, const QString& b) {
    return !a.isEmpty() && !b.isEmpty() && QFileInfo(a) == QFileInfo(b);
}

// The failure, shown; true when there was none.
bool Succeeded(const Result& result, FileCommandsView& view) {
    if (!result && result.failure())
        view.ShowFailure(*result.failure());
    return bool(result);
}

using FileOperation = Result (*)(const QString&, const AskOperator&);

// Runs a file operation on name, which becomes the current file when it succeeds. A failure
// on the current file itself ends it: a file refused or not replaced is never the one Save
// writes to.
bool RunFileOperation(const QString& name, FileOperation operation, FileCommandsView& view) {
    const auto ask = [&view](const Question& question) {
        return view.Ask(question);
    };
    if (Succeeded(operation(name, ask), view)) {
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
    const QString name = view.AskFileName(false, OpenTitle(), DialogFilter());
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
    if (Succeeded(FileModule::SaveConfigFile(), view))
        view.DispStatusMsg(StatusMsg::StoredToFile);
}

void FileSaveAs(FileCommandsView& view) {
    const QString name = view.AskFileName(true, SaveAsTitle(), DialogFilter());
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
