#include "cli/Cli.h"

#include "files/ParameterText.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTextStream>

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
    bool done = false;
    bool started = false; // it may have sent something
    int exitCode = -1;    // its own, when it ended normally
    int code = -1;        // as the run counts it
    QString failure;      // why it did not end normally: not started, crashed, killed
    QString out;
    QString err;
};

// A worker that ended on its own with a write's outcome has appended its record line itself.
bool Recorded(const Child& child) {
    const int c = child.exitCode;
    return child.failure.isEmpty() &&
           (c == kOk || c == kFailed || c == kNoController || c == kMismatch || c > kSignalBase);
}

// A worker that is gone, or ended otherwise than a run of qmxcli ends, wrote no controller:
// it counts as 2. A worker stopped by the run's own signal keeps its 130 or 143.
void Ended(Child& child) {
    QProcess& p = *child.process;
    child.done = true;
    child.out = QString::fromUtf8(p.readAllStandardOutput());
    child.err = QString::fromUtf8(p.readAllStandardError());
    child.code = kFailed;
    if (p.error() == QProcess::FailedToStart) {
        child.started = false;
        child.failure = QStringLiteral("could not start: %1").arg(p.errorString());
    } else if (p.exitStatus() != QProcess::NormalExit) {
        child.failure =
            QStringLiteral("ended abnormally (killed or crashed, signal %1)").arg(p.exitCode());
    } else {
        child.exitCode = p.exitCode();
        if (child.exitCode <= kMismatch || (child.exitCode > kSignalBase && StopSignal()))
            child.code = child.exitCode;
    }
}

// Everything a child wrote to standard error, each line under its port.
void RelayErrors(const Child& child) {
    for (const QString& line : child.err.split(u'\n', Qt::SkipEmptyParts))
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(child.target), qUtf8Printable(line));
}

// Why a child failed, in one short phrase: its last message (without the lines that go on
// from it or answer a question).
QString Reason(const Child& child) {
    if (!child.failure.isEmpty())
        return child.failure;
    QStringList lines = child.err.split(u'\n', Qt::SkipEmptyParts);
    while (!lines.isEmpty() &&
           (lines.last().startsWith(QLatin1String("->")) || lines.last().startsWith(u' ')))
        lines.removeLast();
    if (lines.isEmpty())
        return CodeMeaning(child.code);
    QString last = lines.last();
    if (last.startsWith(QLatin1String("qmxcli: ")))
        last.remove(0, 8);
    return ParameterText::Printable(last, 200);
}

QJsonObject JsonResult(const Invocation& call, const Child& child) {
    const QJsonDocument output = QJsonDocument::fromJson(child.out.toUtf8());
    return {{QStringLiteral("port"), child.target},
            {QStringLiteral("exitCode"), child.code},
            {QStringLiteral("result"), CodeMeaning(child.code, call.command)},
            {QStringLiteral("reason"), child.code == kOk ? QString() : Reason(child)},
            {QStringLiteral("output"), output.isObject() ? output.object() : QJsonObject()}};
}

void PrintResult(const Invocation& call, const Child& child) {
    Out() << ParameterText::Printable(child.target, 200) << ": "
          << CodeMeaning(child.code, call.command);
    if (child.code != kOk)
        Out() << " (exit " << child.code << "): " << Reason(child);
    Out() << '\n';
    for (const QString& line : child.out.split(u'\n', Qt::SkipEmptyParts))
        Out() << "  " << line << '\n';
}

// A worker that never started, or died, wrote no line of its own: the run writes it. What a
// dead worker had sent is not known.
bool RecordForChild(RecordFile& record, const Invocation& call, const Child& child) {
    QJsonObject line = RecordStart(child.target, call.files.value(0), call.verify);
    if (child.started)
        line.insert(QStringLiteral("written"),
                    QJsonObject{{QStringLiteral("settings"), QJsonValue::Null},
                                {QStringLiteral("total"),
                                 line.value(QStringLiteral("written"))[QStringLiteral("total")]},
                                {QStringLiteral("commit"), QStringLiteral("unknown")}});
    line.insert(QStringLiteral("time"), RecordTime());
    line.insert(QStringLiteral("interrupted"), StopSignal() != 0);
    line.insert(QStringLiteral("exitCode"), child.code);
    line.insert(QStringLiteral("reason"), Reason(child));
    QString error;
    if (record.Append(line, error))
        return true;
    Complain(QStringLiteral("cannot add the line of %1 to the record: %2")
                 .arg(ParameterText::Printable(child.target, 200), error));
    return false;
}

// Starts a worker per port and returns; each worker's end is counted, and the run ends with
// the last. A stop signal is passed on to every worker still running.
class ParallelRun final : public Task {
    Q_OBJECT
public:
    ParallelRun(Run& run, const Invocation& call) : run_(run), call_(call) {}
    ~ParallelRun() override { OnStopSignal(nullptr); }
    void Start() override;

private:
    void StartWorker(Child& child);
    void WorkerEnded(Child& child);
    void OneLess();
    void PassOn(int signal);
    int Summarize();

    Run& run_;
    const Invocation& call_;
    std::vector<Child> children_;
    int running_ = 0;
};

void ParallelRun::Start() {
    QString error;
    if (!call_.record.isEmpty() && !run_.record.Open(call_.record, error)) {
        Complain(QStringLiteral("cannot open the record %1: %2; nothing was sent")
                     .arg(ParameterText::Printable(call_.record, 200), error));
        emit Done(kFailed);
        return;
    }
    children_.resize(size_t(call_.targets.size()));
    for (qsizetype i = 0; i < call_.targets.size(); ++i)
        children_[size_t(i)].target = call_.targets.at(i);
    OnStopSignal([this](int signal) { PassOn(signal); });
    // Counted as one more worker while they start: one that fails at once ends nothing yet.
    ++running_;
    for (Child& child : children_) {
        if (StopSignal()) {
            child.done = true;
            child.code = kSignalBase + StopSignal();
            child.failure = QStringLiteral("not started: interrupted");
            continue;
        }
        StartWorker(child);
    }
    OneLess();
}

void ParallelRun::StartWorker(Child& child) {
    child.process = std::make_unique<QProcess>();
    QProcess& process = *child.process;
    connect(&process, &QProcess::finished, this, [this, &child] { WorkerEnded(child); });
    connect(&process, &QProcess::errorOccurred, this, [this, &child](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            WorkerEnded(child);
    });
    QStringList arguments = call_.passOn;
    arguments << (call_.targetsAreComPorts ? QStringLiteral("--com") : QStringLiteral("--device"))
              << child.target << call_.command << call_.files;
    ++running_;
    child.started = true;
    process.start(QCoreApplication::applicationFilePath(), arguments);
}

void ParallelRun::WorkerEnded(Child& child) {
    if (child.done)
        return;
    Ended(child);
    OneLess();
}

void ParallelRun::OneLess() {
    if (--running_ > 0)
        return;
    OnStopSignal(nullptr);
    emit Done(Summarize());
}

void ParallelRun::PassOn(int signal) {
    for (Child& child : children_)
        if (!child.done && child.process && child.process->state() != QProcess::NotRunning)
            PassSignalOn(child.process->processId(), signal);
}

// One result line per worker, the record's lines of those that wrote none, and the worst code.
int ParallelRun::Summarize() {
    int worst = kOk;
    const Child* worstChild = nullptr;
    QJsonArray results;
    for (const Child& child : children_) {
        RelayErrors(child);
        if (run_.record.IsOpen() && !Recorded(child) && !RecordForChild(run_.record, call_, child))
            worst = kFailed;
        if (Severity(child.code) > Severity(worst)) {
            worst = child.code;
            worstChild = &child;
        }
        if (call_.json)
            results.append(JsonResult(call_, child));
        else
            PrintResult(call_, child);
    }
    if (call_.json)
        PrintJson({{QStringLiteral("ports"), results}});
    if (StopSignal())
        Complain(QStringLiteral("interrupted: passed on to every port; each says above what its "
                                "controller holds"));
    else if (worstChild)
        Complain(QStringLiteral("%1: %2 (exit %3): %4")
                     .arg(ParameterText::Printable(worstChild->target, 200),
                          CodeMeaning(worst, call_.command))
                     .arg(worst)
                     .arg(Reason(*worstChild)));
    return worst;
}

} // namespace

std::unique_ptr<Task> ParallelTask(Run& run, const Invocation& call) {
    return std::make_unique<ParallelRun>(run, call);
}

} // namespace cli

#include "Parallel.moc"
