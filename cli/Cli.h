#pragma once

#include "files/FileModule.h"
#include "shell/MainModule.h"
#include "shell/Result.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class ComSupport;
class QJsonValue;
class QTextStream;
struct RecordField;

namespace platform {
class ProgressDisplay;
} // namespace platform

// qmxcli's commands on the core. Each ends with the process's exit code: at once when it needs
// no link, else as a task in the application's event loop.
namespace cli {

enum ExitCode { kOk = 0, kBadArguments = 1, kFailed = 2, kNoController = 3, kMismatch = 4 };
// diff: the controller holds other values than the file (1, as diff(1) says so).
inline constexpr int kDifferent = 1;
// A run stopped by a signal exits with 128 + its number: 130 for SIGINT, 143 for SIGTERM.
inline constexpr int kSignalBase = 128;

// What the command line asked for, once checked.
struct Invocation {
    QString command;
    QStringList files;               // the command's file arguments
    QString device;                  // empty: the device behind COM comPort
    int comPort = 1;                 // as the program options hold it, 1..16
    QStringList targets;             // several ports: one child process each
    bool targetsAreComPorts = false; // else device paths
    QStringList passOn;              // the options the children get besides their port
    bool yes = false;
    bool json = false;
    bool verify = false;
    bool trace = false;
    int mapPort = 0; // ports --map N / --unmap N; -1 while N is not a port number
    bool unmap = false;
    QString base; // import --base FILE: where the parameters the text omits come from
    bool baseIsDefaults = false; // import --defaults
    QString record;              // write --record FILE: one JSON line per controller appended
};

// "ok", "failed", "controller not found or refused"... of this command ("differences found"
// for diff's 1).
QString CodeMeaning(int code, const QString& command = {});

// The keys of a command's JSON document, each with its empty value, so that success and
// failure give the same keys and types.
QJsonObject JsonSkeleton(const Invocation& call);

// A field's value for JSON: a number, or true/false for a Boolean (by meaning).
QJsonValue JsonValue(const RecordField& field, double value);

// Standard output; FinishOutput tells whether everything written to it arrived.
QTextStream& Out();
bool FinishOutput();
// With --json: keys for the one document the run prints at its end (with "exitCode", and
// "error" when it fails).
void PrintJson(const QJsonObject& document);
// Prints the pending document over the command's skeleton, with the exit code and, when the
// run failed, what went wrong (diff's differences are its result, no failure).
void PrintJsonDocument(const Invocation& call, int exitCode);

// "qmxcli: ..." on standard error, kept for the JSON error. Control characters are escaped,
// except line breaks, which start an indented line.
void Complain(const QString& message);
// The form Complain prints a message in (without the indentation).
QString MessageText(const QString& message, qsizetype maxLength = 400);
// The messages of the run so far (own and the core's).
const QStringList& Complaints();
// What the core tells and asks, on standard error under its title, and kept; a text about a
// file names it. Questions are answered Yes only after AnswerQuestions(true) (--yes).
void AnswerQuestions(bool yes);
void ShowFailure(const Failure& failure, const QString& fileName = {});
bool Ask(const Question& question, const QString& fileName = {});
// The result's failure shown, unless the operator declined or a signal stopped the run (the
// run then says what the controller holds); true when there was none.
bool Succeeded(const Result& result, const QString& fileName = {});
// The file module's Open and Save As on one file, its messages naming it.
bool LoadFile(FileModule& files, const QString& fileName);
bool CreateFile(FileModule& files, const QString& fileName);

// A standard output that is gone (a closed pipe) is a write error, not the end of the run.
void IgnoreBrokenPipe();
// SIGINT and SIGTERM stop the run between two commands, never inside one. From now on a signal
// runs, from the event loop, the action given to OnStopSignal: a run on one port asks its link
// to stop, a run on several passes the signal on to its workers.
void CatchStopSignals();
// The signal that stopped the run; 0 while none came.
int StopSignal();
void OnStopSignal(std::function<void(int signal)> action);
// Passes the signal on to a worker process.
void PassSignalOn(qint64 pid, int signal);

// The provisioning record: opened for appending before any controller is touched; each line
// is appended whole or not at all, under an exclusive lock on the file, so concurrent runs
// never tear or mix their lines.
class RecordFile {
public:
    RecordFile() = default;
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;
    ~RecordFile();
    bool Open(const QString& path, QString& error);
    bool IsOpen() const;
    // One JSON line; false with the system's reason when it could not be added whole.
    bool Append(const QJsonObject& line, QString& error);

private:
    int fd_ = -1;
};

// The record line of one controller, before it was reached: no identification, nothing
// written, no result yet.
QJsonObject RecordStart(const QString& port, const QString& fileName, bool verify);
// "2026-12-07T21:03:53.123+01:00": local time with its offset from UTC.
QString RecordTime();
// What a controller holds after a store that got as far as the record's "written" says.
QString HoldsText(const QJsonObject& written);

// "NAME exists; give --yes to replace it", or that it is a link to nothing.
QString ExistsText(const QString& fileName);

// What one run owns and passes to its commands: the program (state, options, record), the file
// module on it, and write --record's file with the line waiting to be appended when the run
// ends (empty when none).
struct Run {
    Program program;
    FileModule files{program};
    RecordFile record;
    QJsonObject pendingLine;
};

// The commands that need no link; each returns the exit code.
int Show(Run& run, const Invocation& call);
int Defaults(Run& run, const Invocation& call);
int Export(Run& run, const Invocation& call);
int Import(Run& run, const Invocation& call);
int Ports(Run& run, const Invocation& call);

// A command that runs in the application's event loop: Start is called from it and returns
// once the first request is under way; Done tells the exit code when the command has ended.
class Task : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void Start() = 0;

signals:
    void Done(int exitCode);
};

// What a command on one controller is given: the run, the run's one link, the call, and the
// progress display on the terminal (none when nobody watches).
struct LinkContext {
    Run& run;
    ComSupport& link;
    const Invocation& call;
    platform::ProgressDisplay* progress;
};

std::unique_ptr<Task> InfoTask(const LinkContext& context);
std::unique_ptr<Task> ReadTask(const LinkContext& context);
std::unique_ptr<Task> WriteTask(const LinkContext& context);
std::unique_ptr<Task> DiffTask(const LinkContext& context);

// The same command on every target at once, one worker process each; one result line per
// target, and the worst exit code.
std::unique_ptr<Task> ParallelTask(Run& run, const Invocation& call);
// The port a single-port run talks to, as the record names it.
QString PortName(const Invocation& call);

} // namespace cli
