#include "tests/support/Scripted.h"

#include "link/Series.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace testing {

platform::MsgAnswer ScriptedMessageBoxes::Show(const QString& text, const QString& title,
                                               platform::MsgIcon icon, platform::MsgButtons buttons,
                                               const QString& details) {
    shown.append({text, title, icon, buttons, details});
    if (buttons == platform::MsgButtons::Ok)
        return platform::MsgAnswer::Ok;
    return answers.isEmpty() ? platform::MsgAnswer::No : answers.dequeue();
}

void AddLanguageRows() {
    QTest::addColumn<bool>("english");
    QTest::newRow("japanese") << false;
    QTest::newRow("english") << true;
}

void ShowInBox(platform::MessageBoxes& boxes, const Failure& failure) {
    boxes.Show(failure.text, failure.title, platform::MsgIcon::Critical, platform::MsgButtons::Ok);
}

bool AskInBox(platform::MessageBoxes& boxes, const Question& question) {
    return boxes.Show(question.text, question.title,
                      question.warning ? platform::MsgIcon::Warning : platform::MsgIcon::None,
                      platform::MsgButtons::YesNo, question.details) == platform::MsgAnswer::Yes;
}

bool Boxed(platform::MessageBoxes& boxes, const Result& result) {
    if (result.failure() && result.failure()->kind != FailureKind::Declined)
        ShowInBox(boxes, *result.failure());
    return bool(result);
}

QString ScriptedFileView::AskFileName(bool save, const QString& title, const QString& filter) {
    return save ? dialogs_.SaveFileName(title, filter) : dialogs_.OpenFileName(title, filter);
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

// The waits end with the signal: a wait that polled would hold fast ticks to its own pace.
Result Await(Series* series, const std::function<void()>& keep, int timeoutMs) {
    std::optional<Result> result;
    QSignalSpy finished(series, &Series::Finished);
    QObject::connect(series, &Series::Finished, [&result, &keep](const Result& r) {
        if (keep)
            keep();
        result = r;
    });
    if (!result && !finished.wait(timeoutMs))
        return Failure{QStringLiteral("test"), QStringLiteral("the series did not finish"),
                       FailureKind::NoReply};
    return *result;
}

ControllerCommands::Report Await(ControllerCommands& commands, const std::function<void()>& start,
                                 int timeoutMs) {
    std::optional<ControllerCommands::Report> report;
    const QMetaObject::Connection done =
        QObject::connect(&commands, &ControllerCommands::Finished,
                         [&report](const ControllerCommands::Report& r) { report = r; });
    QSignalSpy spy(&commands, &ControllerCommands::Finished);
    start();
    const bool finished = report.has_value() || spy.wait(timeoutMs);
    QObject::disconnect(done);
    if (!finished)
        return {Failure{QStringLiteral("test"), QStringLiteral("the command did not finish"),
                        FailureKind::NoReply}};
    return *report;
}

void UseTemporarySettings() {
    static QTemporaryDir dir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
}

} // namespace testing
