#include "cli/Cli.h"

#include "files/ParameterText.h"

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

// How bad a child's end is: a controller that was not written (1, 2, 3; a child that did not
// end normally counts as 2) comes before one written with differences (4).
int Severity(int code) {
    return code == kOk ? 0 : code == kMismatch ? 1 : 2 + code;
}

struct Child {
    QString target;
    std::unique_ptr<QProcess> process;
    int code = -1;
    bool crashed = false;
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
    child.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : kFailed;
    child.crashed = p.exitStatus() != QProcess::NormalExit;
    child.out = QString::fromUtf8(p.readAllStandardOutput());
    child.err = QString::fromUtf8(p.readAllStandardError());
}

// Everything a child wrote to standard error, each line under its port.
void RelayErrors(const Child& child) {
    for (const QString& line : child.err.split(u'\n', Qt::SkipEmptyParts))
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(child.target), qUtf8Printable(line));
}

// Why a child failed, in one short phrase: its last message.
QString Reason(const Child& child) {
    if (child.crashed)
        return QStringLiteral("ended abnormally (killed or crashed)");
    QStringList lines = child.err.split(u'\n', Qt::SkipEmptyParts);
    while (!lines.isEmpty() && lines.last().startsWith(QLatin1String("->")))
        lines.removeLast();
    return lines.isEmpty() ? CodeMeaning(child.code) : ParameterText::Printable(lines.last(), 100);
}

QJsonObject JsonResult(const Child& child) {
    QJsonObject result{{QStringLiteral("port"), child.target},
                       {QStringLiteral("exitCode"), child.code},
                       {QStringLiteral("result"), CodeMeaning(child.code)}};
    if (child.code != kOk)
        result.insert(QStringLiteral("reason"), Reason(child));
    const QJsonDocument output = QJsonDocument::fromJson(child.out.toUtf8());
    if (output.isObject())
        result.insert(QStringLiteral("output"), output.object());
    return result;
}

void PrintResult(const Child& child) {
    Out() << child.target << ": " << CodeMeaning(child.code);
    if (child.code != kOk)
        Out() << " (exit " << child.code << "): " << Reason(child);
    Out() << '\n';
    for (const QString& line : child.out.split(u'\n', Qt::SkipEmptyParts))
        Out() << "  " << line << '\n';
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
        if (Severity(child.code) > Severity(worst))
            worst = child.code;
        if (call.json)
            results.append(JsonResult(child));
        else
            PrintResult(child);
    }
    if (call.json)
        PrintJson({{QStringLiteral("ports"), results}});
    return worst;
}

} // namespace cli
