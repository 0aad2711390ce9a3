#include "cli/Cli.h"

#include "files/ParameterText.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

#include <algorithm>
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

bool& AnswerYes() {
    static bool yes = false;
    return yes;
}

// A kept message on standard error: "prefix: text", its further lines indented.
void PrintMessage(const QString& prefix, const QString& text) {
    QString shown = text;
    shown.replace(u'\n', QStringLiteral("\n  "));
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(prefix), qUtf8Printable(shown));
}

// The text of what the core says about a file, naming the file when the text does not.
QString About(const QString& fileName, const QString& text) {
    return MessageText(fileName.isEmpty() || text.contains(fileName)
                           ? text
                           : ParameterText::Printable(fileName, 200) + QStringLiteral(": ") + text);
}

} // namespace

QString CodeMeaning(int code, const QString& command) {
    if (code == kDifferent && command == u"diff")
        return QStringLiteral("differences found");
    if (code > kSignalBase)
        return QStringLiteral("interrupted");
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

QJsonObject JsonSkeleton(const Invocation& call) {
    const QString& command = call.command;
    const QString none;
    if (!call.targets.isEmpty())
        return {{QStringLiteral("ports"), QJsonArray()}};
    if (command == u"info")
        return {{QStringLiteral("name"), none},
                {QStringLiteral("serialNumber"), none},
                {QStringLiteral("version"), none},
                {QStringLiteral("revision"), none},
                {QStringLiteral("buildDate"), none}};
    if (command == u"write")
        return RecordStart(PortName(call), call.files.value(0), call.verify);
    if (command == u"read" || command == u"defaults")
        return {{QStringLiteral("file"), call.files.value(0)}};
    if (command == u"import")
        return {{QStringLiteral("file"), call.files.value(1)},
                {QStringLiteral("warnings"), QJsonArray()}};
    if (command == u"export")
        return {{QStringLiteral("file"), call.files.value(1, QStringLiteral("-"))},
                {QStringLiteral("text"), none},
                {QStringLiteral("warnings"), QJsonArray()}};
    if (command == u"show")
        return {{QStringLiteral("header"), QJsonObject{{QStringLiteral("created"), none},
                                                       {QStringLiteral("updated"), none},
                                                       {QStringLiteral("version"), none},
                                                       {QStringLiteral("serialNumber"), none}}},
                {QStringLiteral("parameters"), QJsonObject()}};
    if (command == u"diff")
        return {{QStringLiteral("differences"), QJsonObject()}};
    if (command == u"ports" && call.mapPort != 0)
        return {{QStringLiteral("port"), call.mapPort},
                {QStringLiteral("device"), call.unmap ? none : call.files.value(0)},
                {QStringLiteral("source"), none},
                {QStringLiteral("present"), false}};
    if (command == u"ports")
        return {{QStringLiteral("devices"), QJsonArray()},
                {QStringLiteral("comPorts"), QJsonArray()},
                {QStringLiteral("settingsFile"), none}};
    return {};
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
    Complain(
        QStringLiteral("cannot write to standard output: %1").arg(StandardOutput().errorString()));
    return false;
}

void PrintJson(const QJsonObject& document) {
    for (auto it = document.begin(); it != document.end(); ++it)
        Pending().insert(it.key(), it.value());
}

void PrintJsonDocument(const Invocation& call, int exitCode) {
    QJsonObject document = JsonSkeleton(call);
    for (auto it = Pending().begin(); it != Pending().end(); ++it)
        document.insert(it.key(), it.value());
    document.insert(QStringLiteral("exitCode"), exitCode);
    const bool result =
        exitCode == kOk || CodeMeaning(exitCode, call.command) == u"differences found";
    if (!result) {
        const QStringList messages = Complaints().isEmpty()
                                         ? QStringList{CodeMeaning(exitCode, call.command)}
                                         : Complaints();
        document.insert(
            QStringLiteral("error"),
            QJsonObject{{QStringLiteral("message"), messages.last()},
                        {QStringLiteral("messages"), QJsonArray::fromStringList(messages)}});
    }
    Out() << QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
}

void Complain(const QString& message) {
    const QString shown = MessageText(message);
    Kept() << shown;
    PrintMessage(QStringLiteral("qmxcli"), shown);
}

QString MessageText(const QString& message, qsizetype maxLength) {
    QStringList lines;
    for (const QString& line : message.split(u'\n')) {
        lines << ParameterText::Printable(line, std::max<qsizetype>(maxLength, 1));
        maxLength -= line.size() + 1;
        if (maxLength <= 0)
            break;
    }
    return lines.join(u'\n');
}

const QStringList& Complaints() {
    return Kept();
}

void AnswerQuestions(bool yes) {
    AnswerYes() = yes;
}

void ShowFailure(const Failure& failure, const QString& fileName) {
    const QString shown = About(fileName, failure.text);
    PrintMessage(MessageText(failure.title, 100), shown);
    Kept() << shown;
}

bool Succeeded(const Result& result, const QString& fileName) {
    if (result.failure() && !result.Is(FailureKind::Declined) && !StopSignal())
        ShowFailure(*result.failure(), fileName);
    return bool(result);
}

// A question answered No says how to answer Yes.
bool Ask(const Question& question, const QString& fileName) {
    const QString shown = About(fileName, question.text);
    PrintMessage(MessageText(question.title, 100), shown);
    if (AnswerYes()) {
        std::fprintf(stderr, "-> Yes\n");
        return true;
    }
    Kept() << shown + QStringLiteral(" -> No (give --yes to answer Yes)");
    std::fprintf(stderr, "-> No (give --yes to answer Yes and go on)\n");
    return false;
}

} // namespace cli
