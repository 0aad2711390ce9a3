#include "cli/Cli.h"

#include "files/ParameterText.h"
#include "platform/MessageBoxes.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

#include <cstdio>

// What a run tells its caller: standard output checked to the last byte, messages escaped
// and kept, and with --json one document whatever happened.

namespace cli {

namespace {

QFile& StandardOutput() {
    static QFile file;
    if (!file.isOpen())
        file.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    return file;
}

QJsonObject& Pending() {
    static QJsonObject document;
    return document;
}

QStringList& Kept() {
    static QStringList messages;
    return messages;
}

// Message boxes on standard error. A question answered No says how to answer Yes.
class CliMessageBoxes : public platform::MessageBoxes {
public:
    explicit CliMessageBoxes(bool yes) : yes_(yes) {}
    platform::MsgAnswer Show(const QString& text, const QString& title, platform::MsgIcon,
                             platform::MsgButtons buttons) override {
        const QString shown = ParameterText::Printable(text, 400);
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(shown));
        if (buttons != platform::MsgButtons::YesNo) {
            Kept() << shown;
            return platform::MsgAnswer::Ok;
        }
        if (yes_) {
            std::fprintf(stderr, "-> Yes\n");
            return platform::MsgAnswer::Yes;
        }
        Kept() << shown + QStringLiteral(" -> No (give --yes to answer Yes)");
        std::fprintf(stderr, "-> No (give --yes to answer Yes and go on)\n");
        return platform::MsgAnswer::No;
    }

private:
    bool yes_;
};

} // namespace

QString CodeMeaning(int code) {
    switch (code) {
    case kOk:
        return QStringLiteral("ok");
    case kBadArguments:
        return QStringLiteral("bad arguments");
    case kFailed:
        return QStringLiteral("failed");
    case kNoController:
        return QStringLiteral("controller not found or refused");
    case kMismatch:
        return QStringLiteral("verify found differences");
    default:
        return QStringLiteral("ended abnormally");
    }
}

QTextStream& Out() {
    static QTextStream out(&StandardOutput());
    return out;
}

bool FinishOutput() {
    Out().flush();
    std::fflush(stdout);
    if (Out().status() == QTextStream::Ok && StandardOutput().error() == QFileDevice::NoError &&
        !std::ferror(stdout))
        return true;
    std::fprintf(stderr, "qmxcli: cannot write to standard output: %s\n",
                 qUtf8Printable(StandardOutput().errorString()));
    return false;
}

void PrintJson(const QJsonObject& document) {
    for (auto it = document.begin(); it != document.end(); ++it)
        Pending().insert(it.key(), it.value());
}

void PrintJsonDocument(int exitCode) {
    QJsonObject document = Pending();
    document.insert(QStringLiteral("exitCode"), exitCode);
    if (exitCode != kOk && !document.contains(QStringLiteral("error"))) {
        const QStringList& messages = Complaints();
        document.insert(
            QStringLiteral("error"),
            QJsonObject{{QStringLiteral("message"),
                         messages.isEmpty() ? CodeMeaning(exitCode) : messages.last()},
                        {QStringLiteral("messages"), QJsonArray::fromStringList(messages)}});
    }
    Out() << QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
}

void Complain(const QString& message) {
    const QString shown = ParameterText::Printable(message, 400);
    Kept() << shown;
    std::fprintf(stderr, "qmxcli: %s\n", qUtf8Printable(shown));
}

const QStringList& Complaints() {
    return Kept();
}

void InstallMessageBoxes(bool yes) {
    static CliMessageBoxes boxes(yes);
    boxes = CliMessageBoxes(yes);
    platform::SetMessageBoxes(&boxes);
}

} // namespace cli
