#include "files/FileCommands.h"

#include "files/FileModule.h"
#include "link/ComSupport.h"

#include <QFileInfo>

namespace {

bool SameFile(const QString& a, const QString& b) {
    return !a.isEmpty() && !b.isEmpty() && QFileInfo(a) == QFileInfo(b);
}

} // namespace

// Runs a file operation on name, which becomes the current file when it succeeds. A failure
// on the current file itself ends it: a file refused or not replaced is never the one Save
// writes to.
bool FileCommands::RunFileOperation(const QString& name, Operation operation) {
    const auto ask = [this](const Question& question) {
        return view_.Ask(question);
    };
    if (Succeeded((files_.*operation)(name, ask), view_)) {
        program_.State.CurrentFileName = name;
        return true;
    }
    if (SameFile(name, program_.State.CurrentFileName))
        FileClose();
    return false;
}

QString FileCommands::OpenTitle(Language language) {
    return language.JaEn(QStringLiteral("開く"), QStringLiteral("OPEN"));
}

QString FileCommands::SaveAsTitle(Language language) {
    return language.JaEn(QStringLiteral("新規作成"), QStringLiteral("CREATE"));
}

QString FileCommands::DialogFilter(Language language) {
    return language.JaEn(QStringLiteral("QMX設定ファイル名 (*.QMX)|*.QMX"),
                         QStringLiteral("QMX config file (*.QMX)|*.QMX"));
}

bool FileCommands::FileOpen() {
    const Language lang = program_.Lang();
    const QString name = view_.AskFileName(false, OpenTitle(lang), DialogFilter(lang));
    if (name.isEmpty() || !RunFileOperation(name, &FileModule::LoadConfigFile))
        return false;
    view_.DispConfigData();
    view_.SetFileEntriesEnabled(true);
    view_.DispStatusMsg(StatusMsg::LoadedFromFile);
    return true;
}

void FileCommands::FileClose() {
    program_.State.CurrentFileName.clear();
    view_.SetFileEntriesEnabled(false);
}

bool FileCommands::FileSave() {
    if (!Succeeded(files_.SaveConfigFile(), view_))
        return false;
    view_.DispStatusMsg(StatusMsg::StoredToFile);
    return true;
}

bool FileCommands::FileSaveAs() {
    const Language lang = program_.Lang();
    const QString name = view_.AskFileName(true, SaveAsTitle(lang), DialogFilter(lang));
    if (name.isEmpty() || !RunFileOperation(name, &FileModule::CreateConfigFile))
        return false;
    view_.SetFileEntriesEnabled(true);
    view_.DispStatusMsg(StatusMsg::StoredToFile);
    return true;
}

void FileCommands::FileExit() {
    link_.ComClose();
    view_.UnloadMainWindow();
}
