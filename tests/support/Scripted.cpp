#include "tests/support/Scripted.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace testing {

platform::MsgAnswer ScriptedMessageBoxes::Show(const QString& text, const QString& title,
                                               platform::MsgIcon icon,
                                               platform::MsgButtons buttons) {
    shown.append({text, title, icon, buttons});
    if (buttons == platform::MsgButtons::Ok)
        return platform::MsgAnswer::Ok;
    return answers.isEmpty() ? platform::MsgAnswer::No : answers.dequeue();
}

void AddLanguageRows() {
    QTest::addColumn<bool>("english");
    QTest::newRow("japanese") << false;
    QTest::newRow("english") << true;
}

void ShowInBox(const Failure& failure) {
    platform::MsgBox(failure.text, failure.title, platform::MsgIcon::Critical);
}

bool AskInBox(const Question& question) {
    return platform::MsgBox(question.text, question.title,
                            question.warning ? platform::MsgIcon::Warning : platform::MsgIcon::None,
                            platform::MsgButtons::YesNo) == platform::MsgAnswer::Yes;
}

bool Boxed(const Result& result) {
    if (!result && result.failure())
        ShowInBox(*result.failure());
    return bool(result);
}

QString ScriptedFileView::AskFileName(bool save, const QString& title, const QString& filter) {
    return save ? platform::Dialogs().SaveFileName(title, filter)
                : platform::Dialogs().OpenFileName(title, filter);
}

QString ScriptedFileDialogs::OpenFileName(const QString& title, const QString& filter) {
    shown.append({false, title, filter});
    return names.isEmpty() ? QString() : names.dequeue();
}

QString ScriptedFileDialogs::SaveFileName(const QString& title, const QString& filter) {
    shown.append({true, title, filter});
    return names.isEmpty() ? QString() : names.dequeue();
}

void RecordingProgress::ShowProgress(int value) {
    visible = true;
    values.append(value);
}

void RecordingProgress::SetProgress(int value) {
    values.append(value);
}

void RecordingProgress::HideProgress() {
    visible = false;
}

void UseTemporarySettings() {
    static QTemporaryDir dir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
}

} // namespace testing
