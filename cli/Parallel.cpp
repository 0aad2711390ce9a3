#include "cli/Cli.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

// Several controllers at once: one qmxcli process per port, so that each has its own link,
// lock and state, and a slow or failing controller holds up no other.

namespace cli {

namespace {

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

struct Child {
    QString target;
    std::unique_ptr<QProcess> process;
    int code = -1;
    QString out;
    QString err;
};

std::unique_ptr<QProcess> Start(const Invocation& call, const QString& target) {
    auto process = std::make_unique<QProcess>();
    QStringList arguments = call.passOn;
    arguments << (call.targetsAreComPorts ? QStringLiteral("--com") : QStringLiteral("--device"))
              << target;
    arguments << call.command << call.files;
    process->start(QCoreApplication::applicationFilePath(), arguments);
    return process;
}

void Finish(Child& child) {
    QProcess& p = *child.process;
    p.waitForFinished(-1);
    child.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    child.out = QString::fromUtf8(p.readAllStandardOutput());
    child.err = QString::fromUtf8(p.readAllStandardError());
}

// Everything a child wrote to standard error, each line under its port.
void RelayErrors(const Child& child) {
    for (const QString& line : child.err.split(u'\n', Qt::SkipEmptyParts))
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(child.target), qUtf8Printable(line));
}

QJsonObject JsonResult(const Child& child) {
    QJsonObject result{{QStringLiteral("port"), child.target},
                       {QStringLiteral("exitCode"), child.code},
                       {QStringLiteral("result"), CodeMeaning(child.code)}};
    const QJsonDocument output = QJsonDocument::fromJson(child.out.toUtf8());
    if (output.isObject())
        result.insert(QStringLiteral("output"), output.object());
    return result;
}

} // namespace

int RunInParallel(const Invocation& call) {
    std::vector<Child> children;
    for (const QString& target : call.targets) {
        children.emplace_back();
        children.back().target = target;
        children.back().process = Start(call, target);
    }
    int worst = kOk;
    QJsonArray results;
    for (Child& child : children) {
        Finish(child);
        RelayErrors(child);
        worst = std::max(worst, child.code < 0 ? kFailed : child.code);
        if (call.json) {
            results.append(JsonResult(child));
            continue;
        }
        Out() << child.target << ": " << CodeMeaning(child.code);
        if (child.code != kOk)
            Out() << " (exit " << child.code << ')';
        Out() << '\n';
        for (const QString& line : child.out.split(u'\n', Qt::SkipEmptyParts))
            Out() << "  " << line << '\n';
    }
    if (call.json)
        PrintJson({{QStringLiteral("ports"), results}});
    return worst;
}

} // namespace cli
