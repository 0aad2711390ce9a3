#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

class QTextStream;

// qmxcli's commands on the core. Each returns the process's exit code.
namespace cli {

enum ExitCode { kOk = 0, kBadArguments = 1, kFailed = 2, kNoController = 3, kMismatch = 4 };
// diff: the controller holds other values than the file (1, as diff(1) says so).
inline constexpr int kDifferent = 1;

// What the command line asked for, once checked.
struct Invocation {
    QString command;
    QStringList files;               // the command's file arguments
    QString device;                  // empty: the device behind COM Options.ComPort
    QStringList targets;             // several ports: one child process each
    bool targetsAreComPorts = false; // else device paths
    QStringList passOn;              // the options the children get besides their port
    bool yes = false;
    bool json = false;
    bool verify = false;
    bool trace = false;
    int mapPort = 0; // ports --map N / --unmap N
    bool unmap = false;
    QString base; // import --base FILE: where the parameters the text omits come from
    bool baseIsDefaults = false; // import --defaults
    QString record;              // write --record FILE: one JSON line per controller appended
};

// "ok", "failed", "controller not found or refused"...
QString CodeMeaning(int code);

// Standard output; FinishOutput tells whether everything written to it arrived.
QTextStream& Out();
bool FinishOutput();
// With --json: keys for the one document the run prints at its end (with "exitCode", and
// "error" when it fails).
void PrintJson(const QJsonObject& document);
// Prints the pending document with the exit code and what went wrong.
void PrintJsonDocument(int exitCode);

// "qmxcli: ..." on standard error, kept for the JSON error; control characters escaped.
void Complain(const QString& message);
// The messages of the run so far (own and message boxes).
const QStringList& Complaints();
// The message boxes of a run: on standard error, questions answered by --yes, and kept.
void InstallMessageBoxes(bool yes);

int Info(const Invocation& call);
int Read(const Invocation& call);
int Write(const Invocation& call);
int Show(const Invocation& call);
int Defaults(const Invocation& call);
int Diff(const Invocation& call);
int Export(const Invocation& call);
int Import(const Invocation& call);
int Ports(const Invocation& call);

// The same command on every target at once, one child process each; one result line per
// target, and the worst exit code.
int RunInParallel(const Invocation& call);

} // namespace cli
