// qmxcli: identify, read, write and compare QMX-001 controllers and .QMX files from the
// command line, on the same core as the window.

#include "cli/Cli.h"
#include "files/ParameterText.h"
#include "link/ComSupport.h"
#include "link/WireTrace.h"
#include "platform/Ports.h"
#include "platform/ProgressDisplay.h"
#include "shell/LineSpeeds.h"
#include "shell/MainModule.h"
#include "shell/Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <optional>

#ifdef Q_OS_WIN
#include <io.h>
#define QMX_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define QMX_ISATTY(fd) isatty(fd)
#endif

namespace {

using namespace cli;

const char* const kUsage =
    R"(Usage: qmxcli [--com N[,N...] | --device PATH ...] [--speed 4800|9600|19200|38400]
              [--lang en|ja] [--yes] [--json] [--trace] COMMAND [ARGS]

Commands:
  info                   identify the controller: name, serial number, version, revision,
                         build date
  read FILE.QMX          load every parameter from the controller and save it as a new file
                         (refuses to replace a file unless --yes)
  write [--verify] [--record LOG] FILE.QMX
                         open the file (serial-number check as in the window, answered by
                         --yes) and store it into the controller; --verify reads every
                         parameter back and compares it with what was sent; --record
                         appends one JSON line per controller to LOG
  show FILE.QMX          print the file's header and every field, one "name = value" line each
  defaults FILE.QMX      write a file with the factory defaults
  diff FILE.QMX          read the controller and list the fields where it differs from the file
                         (exit 1 when it does)
  export FILE.QMX [OUT]  write the parameters as text (name = value lines) to OUT, or to
                         stdout without OUT or with - (refuses to replace a file unless --yes)
  import [--base FILE.QMX | --defaults] TEXT FILE.QMX
                         build a .QMX from such text (TEXT - reads stdin); every parameter
                         must be given unless --base or --defaults says where the others come
                         from (refuses to replace a file unless --yes)
  ports                  list the serial devices present and the device behind COM 1 to 16
  ports --map N PATH     make COM N mean PATH (kept in the settings file)
  ports --unmap N        forget the mapping of COM N

Options:
  --com N[,N...]         serial port COM N, 1 to 16 (default 1); several: see below
  --device PATH          use this serial device as the port (for example /dev/ttyUSB0);
                         give it several times for several controllers
  --speed BPS            line speed: 4800, 9600 (default), 19200 or 38400
  --lang en|ja           language of the messages (default ja)
  --yes                  answer Yes to every question (default: No)
  --json                 one JSON document on standard output, also on failure:
                         {..., "exitCode": N, "error": {"message": ...}}
  --verify               write: read every parameter back and compare
  --record LOG           write: append one JSON line per controller to LOG
  --base FILE.QMX        import: take the parameters the text omits from this file
  --defaults             import: take the parameters the text omits from the factory set
  --trace                write every line sent and received to standard error
  --version              show the version
  -h, --help             show this help

info, write and diff take several ports at once (--com 1,2,3 or --device A --device B):
each port gets its own qmxcli process, all run at the same time, and one result line per
port follows; the exit code is the worst of them: a controller not written (1, 2, 3, the
highest of these) before one written with differences (4), and that before 0.

COM N is the device named by $QMX_COM<N>, else by the "Ports" section of the settings file,
else /dev/ttyS<N-1>. QMX_TRACE=FILE writes the wire trace to FILE.
Messages go to standard error; progress too, when it is a terminal.

Exit codes:
  0  success
  1  bad arguments, a text file that import refuses, or diff found differences
  2  operation failed (port cannot be opened, no reply, refused reply, file error)
  3  controller not found or refused (no answer to identification, wrong name, old version)
  4  write: the controller holds other values than were sent (found by --verify, or by
     the read-back of a store that met trouble)
  130, 143  stopped by SIGINT or SIGTERM between two commands; says what each controller holds
)";

// A command runs at once without the link, or as a task on a controller.
struct Command {
    const char* name;
    int minFiles; // file arguments taken
    int maxFiles;
    bool manyPorts; // may run on several ports at once
    int (*run)(Run& run, const Invocation& call);
    std::unique_ptr<Task> (*task)(const LinkContext& context);
};

const Command kCommands[] = {
    {"info", 0, 0, true, nullptr, InfoTask},      {"read", 1, 1, false, nullptr, ReadTask},
    {"write", 1, 1, true, nullptr, WriteTask},    {"show", 1, 1, false, Show, nullptr},
    {"defaults", 1, 1, false, Defaults, nullptr}, {"diff", 1, 1, true, nullptr, DiffTask},
    {"export", 1, 2, false, Export, nullptr},     {"import", 2, 2, false, Import, nullptr},
    {"ports", 0, 0, false, Ports, nullptr},
};

// Progress on standard error, only when a person watches it.
class TerminalProgress : public platform::ProgressDisplay {
public:
    void ShowProgress(int value) override { SetProgress(value); }
    void SetProgress(int value) override {
        std::fprintf(stderr, "\r%3d%%", value);
        std::fflush(stderr);
    }
    void HideProgress() override {
        std::fprintf(stderr, "\r    \r");
        std::fflush(stderr);
    }
};

// One line and where to read more; the argument escaped, never the whole usage.
int BadArguments(const QString& why, const Invocation& call = {}) {
    Complain(ParameterText::Printable(why, 300) + QStringLiteral("; see qmxcli --help"));
    if (QCoreApplication::arguments().contains(QLatin1String("--json"))) {
        PrintJsonDocument(call, kBadArguments);
        FinishOutput();
    }
    return kBadArguments;
}

// The first valid UTF-8 character at `at`: its length in bytes, 0 when there is none.
int Utf8Length(const QByteArray& bytes, qsizetype at) {
    for (int n = 1; n <= 4 && at + n <= bytes.size(); ++n) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString character = decoder(bytes.mid(at, n));
        if (!decoder.hasError() && !character.isEmpty())
            return n;
    }
    return 0;
}

// Bytes as text, each byte that is no part of a UTF-8 character as \xNN.
QString EscapedBytes(const QByteArray& bytes) {
    QString shown;
    for (qsizetype i = 0; i < bytes.size();) {
        if (const int n = Utf8Length(bytes, i)) {
            shown += ParameterText::Printable(QString::fromUtf8(bytes.mid(i, n)));
            i += n;
        } else {
            shown += QStringLiteral("\\x%1").arg(uchar(bytes.at(i++)), 2, 16, QLatin1Char('0'));
        }
    }
    return shown;
}

// An argument that is not UTF-8 (a file name from another system, say) would be read as
// another name: it is refused, shown with its odd bytes escaped.
QString NotUtf8(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        [[maybe_unused]] const QString text = decoder(argument);
        if (decoder.hasError())
            return QStringLiteral("\"%1\" is not UTF-8; rename the file, or give its name in UTF-8")
                .arg(EscapedBytes(argument));
    }
    return {};
}

struct Options {
    QCommandLineOption com{QStringLiteral("com"), {}, QStringLiteral("N")};
    QCommandLineOption device{QStringLiteral("device"), {}, QStringLiteral("PATH")};
    QCommandLineOption speed{QStringLiteral("speed"), {}, QStringLiteral("BPS")};
    QCommandLineOption lang{QStringLiteral("lang"), {}, QStringLiteral("LANG")};
    QCommandLineOption yes{QStringLiteral("yes")};
    QCommandLineOption trace{QStringLiteral("trace")};
    QCommandLineOption json{QStringLiteral("json")};
    QCommandLineOption verify{QStringLiteral("verify")};
    QCommandLineOption version{QStringLiteral("version")};
    QCommandLineOption map{QStringLiteral("map"), {}, QStringLiteral("N")};
    QCommandLineOption unmap{QStringLiteral("unmap"), {}, QStringLiteral("N")};
    QCommandLineOption base{QStringLiteral("base"), {}, QStringLiteral("FILE")};
    QCommandLineOption defaults{QStringLiteral("defaults")};
    QCommandLineOption record{QStringLiteral("record"), {}, QStringLiteral("FILE")};
    QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")}};
};

std::optional<int> PortNumber(const QString& text) {
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 1 || port > platform::kComPorts)
        return std::nullopt;
    return port;
}

// The same port named twice, by number or by any path to the same device: two processes on
// one line would garble each other's commands.
QString NamedTwice(const Invocation& call) {
    QHash<QString, QString> seen; // device -> the name it was given by
    for (const QString& given : call.targets) {
        const QString target = given.trimmed();
        const QFileInfo device(call.targetsAreComPorts ? platform::ComPortDeviceName(target.toInt())
                                                       : target);
        const QString same =
            device.exists() ? device.canonicalFilePath() : device.absoluteFilePath();
        const QString first = seen.value(same);
        if (first == target)
            return QStringLiteral("%1 is named twice; name each port once")
                .arg(ParameterText::Printable(target, 200));
        if (!first.isNull())
            return QStringLiteral("%1 and %2 are the same port (%3); name each port once")
                .arg(ParameterText::Printable(first, 200), ParameterText::Printable(target, 200),
                     ParameterText::Printable(same, 200));
        seen.insert(same, target);
    }
    return {};
}

// The port, speed and language options into the program options; an error text when one is
// not acceptable.
QString ApplyLinkOptions(const QCommandLineParser& parser, const Options& o, Invocation& call,
                         Program& program) {
    ProgramOptions& options = program.Options;
    if (parser.isSet(o.com) && parser.isSet(o.device))
        return QStringLiteral("give --com or --device, not both");
    const QStringList coms = parser.values(o.com).join(u',').split(u',');
    for (const QString& com : parser.isSet(o.com) ? coms : QStringList()) {
        const auto port = PortNumber(com.trimmed());
        if (!port)
            return QStringLiteral("--com takes port numbers from 1 to 16");
        options.ComPort = static_cast<qint16>(*port);
        call.comPort = *port;
    }
    QStringList devices = parser.values(o.device);
    if (devices.contains(QString()))
        return QStringLiteral("--device takes the path of a serial device");
    // A path with a slash is a path (relative to the working folder); a bare name is a device
    // under /dev, as the serial port takes it.
    for (QString& device : devices)
        if (device.contains(u'/') && QDir::isRelativePath(device))
            device = QFileInfo(device).absoluteFilePath();
    if (devices.size() == 1)
        call.device = devices.first();
    call.targetsAreComPorts = parser.isSet(o.com);
    call.targets = parser.isSet(o.com) ? coms : devices;
    if (call.targets.size() < 2)
        call.targets.clear();
    if (QString twice = NamedTwice(call); !twice.isEmpty())
        return twice;
    if (parser.isSet(o.speed)) {
        const int index = LineSpeedIndex(parser.value(o.speed));
        if (index < 0)
            return QStringLiteral("--speed takes 4800, 9600, 19200 or 38400");
        options.ComSpeed = static_cast<qint16>(index);
    }
    if (parser.isSet(o.lang)) {
        const QString value = parser.value(o.lang);
        if (value != u"en" && value != u"ja")
            return QStringLiteral("--lang takes en or ja");
        program.State.UILanguage = value == u"en" ? 1 : 0;
    }
    return {};
}

// ports --map N PATH and ports --unmap N.
QString ApplyMapOptions(const QCommandLineParser& parser, const Options& o, Invocation& call) {
    if (!parser.isSet(o.map) && !parser.isSet(o.unmap))
        return call.command == u"ports" && !call.files.isEmpty()
                   ? QStringLiteral("ports takes no argument other than --map N PATH or --unmap N")
                   : QString();
    if (call.command != u"ports" || (parser.isSet(o.map) && parser.isSet(o.unmap)))
        return QStringLiteral("--map and --unmap go with the command ports, one at a time");
    call.unmap = parser.isSet(o.unmap);
    call.mapPort = -1; // asked for, whatever the number
    const auto port = PortNumber(parser.value(call.unmap ? o.unmap : o.map));
    if (!port)
        return QStringLiteral("--map and --unmap take a port number from 1 to 16");
    call.mapPort = *port;
    const qsizetype wanted = call.unmap ? 0 : 1;
    if (call.files.size() != wanted || (!call.unmap && call.files.at(0).isEmpty()))
        return call.unmap ? QStringLiteral("ports --unmap N takes no further argument")
                          : QStringLiteral("ports --map N takes the path of a serial device");
    return {};
}

// --json, --verify and several ports go with some commands only; the children of a parallel
// run get every option but their port.
QString ApplyOutputOptions(const QCommandLineParser& parser, const Options& o,
                           const Command& command, Invocation& call) {
    call.json = parser.isSet(o.json);
    call.verify = parser.isSet(o.verify);
    call.trace = parser.isSet(o.trace);
    if (call.verify && call.command != u"write")
        return QStringLiteral("--verify goes with write");
    if (!call.targets.isEmpty() && !command.manyPorts)
        return QStringLiteral("%1 takes one port").arg(call.command);
    for (const QCommandLineOption* option : {&o.speed, &o.lang, &o.record})
        if (parser.isSet(*option))
            call.passOn << QStringLiteral("--") + option->names().first() << parser.value(*option);
    for (const QCommandLineOption* option : {&o.yes, &o.json, &o.verify, &o.trace})
        if (parser.isSet(*option))
            call.passOn << QStringLiteral("--") + option->names().first();
    return {};
}

// import --base/--defaults and write --record.
QString ApplyFileOptions(const QCommandLineParser& parser, const Options& o, Invocation& call) {
    call.base = parser.value(o.base);
    call.baseIsDefaults = parser.isSet(o.defaults);
    call.record = parser.value(o.record);
    if ((parser.isSet(o.base) || call.baseIsDefaults) && call.command != u"import")
        return QStringLiteral("--base and --defaults go with import");
    if (parser.isSet(o.base) && (call.base.isEmpty() || call.baseIsDefaults))
        return QStringLiteral("give --base FILE.QMX or --defaults, not both");
    if (parser.isSet(o.record) && (call.command != u"write" || call.record.isEmpty()))
        return QStringLiteral("--record FILE goes with write");
    return {};
}

const Command* FindCommand(const QString& name) {
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const Command& c) { return name == c.name; });
    return found == std::end(kCommands) ? nullptr : found;
}

// The command and its arguments; an error text when they do not fit.
QString TakeCommand(const QStringList& args, Invocation& call, const Command*& command) {
    if (args.isEmpty())
        return QStringLiteral("no command given");
    call.command = args.first();
    call.files = args.mid(1);
    command = FindCommand(call.command);
    if (!command)
        return QStringLiteral("unknown command \"%1\"")
            .arg(ParameterText::Printable(call.command, 40));
    if (call.command == u"ports")
        return {};
    if (call.files.size() < command->minFiles || call.files.size() > command->maxFiles) {
        if (command->maxFiles == 0)
            return QStringLiteral("%1 takes no argument").arg(call.command);
        return command->minFiles == 2 ? QStringLiteral("%1 takes two file names").arg(call.command)
                                      : QStringLiteral("%1 takes one file name").arg(call.command);
    }
    return {};
}

// --trace on standard error; QMX_TRACE=FILE otherwise. A trace that cannot be written is
// no reason to leave the controller alone: the command runs without it.
void StartTrace(WireTrace& trace, QFile& standardError, bool toStandardError) {
    if (toStandardError) {
        if (!standardError.isOpen())
            standardError.open(stderr, QIODevice::WriteOnly);
        trace.Start(&standardError);
        return;
    }
    const QString path = qEnvironmentVariable("QMX_TRACE");
    QString error;
    if (!path.isEmpty() && !trace.StartFile(path, error))
        std::fprintf(stderr, "qmxcli: warning: cannot write the trace, going on without: %s\n",
                     qUtf8Printable(MessageText(error)));
}

// Starts the task from the application's event loop and runs that loop until it is done.
int RunTask(Task& task) {
    int code = kFailed;
    QObject::connect(&task, &Task::Done, &task, [&code](int exitCode) {
        code = exitCode;
        QCoreApplication::exit(exitCode);
    });
    QMetaObject::invokeMethod(
        &task, [&task] { task.Start(); }, Qt::QueuedConnection);
    QCoreApplication::exec();
    return code;
}

// One port: the run's one link, counting the ticks of a timer of its own; a stop signal asks
// it to stop before its next command.
int RunOnLink(Run& run, const Command& command, const Invocation& call) {
    QFile standardError;
    ComSupport link(run.program.Lang());
    StartTrace(link.Trace(), standardError, call.trace);
    AnswerQuestions(call.yes);
    TerminalProgress progress;
    const bool watched = QMX_ISATTY(2) && !call.trace;
    QTimer* ticks = MakeTickTimer(&link);
    link.UseTicksOf(ticks);
    ticks->start();
    link.ComInit(run.program.Options.ComPort, run.program.Options.ComSpeed);
    OnStopSignal([&link](int) { link.RequestStop(); });
    const std::unique_ptr<Task> task =
        command.task({run, link, call, watched ? &progress : nullptr});
    const int rc = RunTask(*task);
    OnStopSignal(nullptr);
    link.Trace().Stop();
    return rc;
}

int RunHere(Run& run, const Command& command, const Invocation& call) {
    if (command.run) {
        AnswerQuestions(call.yes);
        return command.run(run, call);
    }
    // Before the first byte goes to any controller.
    CatchStopSignals();
    if (call.targets.isEmpty())
        return RunOnLink(run, command, call);
    const std::unique_ptr<Task> task = ParallelTask(run, call);
    return RunTask(*task);
}

// What an interrupted run leaves behind; rc: the command's own exit code.
QString InterruptedText(const Run& run, const Invocation& call, int signal, int rc) {
    QString by = QStringLiteral("interrupted by %1")
                     .arg(signal == SIGINT    ? QStringLiteral("SIGINT")
                          : signal == SIGTERM ? QStringLiteral("SIGTERM")
                                              : QStringLiteral("signal %1").arg(signal));
    const QJsonObject& line = run.pendingLine;
    if (call.command == u"read")
        return by + QStringLiteral("; no file was written");
    if (call.command != u"write" || line.isEmpty())
        return by;
    if (rc == kMismatch)
        return by + QStringLiteral(": the controller holds other values than were sent: write "
                                   "again");
    const QJsonObject written = line.value(QStringLiteral("written")).toObject();
    const bool notVerified = call.verify && !line.value(QStringLiteral("verified")).toBool();
    return by + QStringLiteral(": ") + HoldsText(written) +
           (notVerified && written.value(QStringLiteral("commit")).toString() == u"ok"
                ? QStringLiteral("; not verified")
                : QString());
}

// write: the controller's line, with the run's final exit code and why it is not 0, into the
// record and the JSON document.
int AppendRecordLine(Run& run, const Invocation& call, int rc) {
    QJsonObject& line = run.pendingLine;
    if (line.isEmpty())
        return rc;
    const auto settle = [&line](int code) {
        line.insert(QStringLiteral("exitCode"), code);
        line.insert(QStringLiteral("reason"), code == kOk              ? QString()
                                              : Complaints().isEmpty() ? CodeMeaning(code)
                                                                       : Complaints().last());
    };
    line.insert(QStringLiteral("time"), RecordTime());
    line.insert(QStringLiteral("interrupted"), StopSignal() != 0);
    settle(rc);
    QString error;
    if (run.record.IsOpen() && !run.record.Append(line, error)) {
        Complain(QStringLiteral("cannot add to the record %1: %2")
                     .arg(ParameterText::Printable(call.record, 200), error));
        rc = StopSignal() ? rc : kFailed;
        settle(rc);
    }
    PrintJson(line);
    return rc;
}

// The end of a run, in this order so that each tells the final exit code: an interruption
// said, the text on standard output checked, the record's line appended, the JSON document
// printed. Output that does not arrive is exit 2, whatever the result; only a signal's code
// stands above it.
int Finish(Run& run, const Invocation& call, int rc) {
    if (const int signal = StopSignal()) {
        if (call.targets.isEmpty())
            Complain(InterruptedText(run, call, signal, rc));
        rc = kSignalBase + signal;
    }
    if (!call.json && !FinishOutput() && !StopSignal())
        rc = kFailed;
    rc = AppendRecordLine(run, call, rc);
    if (call.json) {
        PrintJsonDocument(call, rc);
        if (!FinishOutput() && !StopSignal())
            rc = kFailed;
    }
    return rc;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qmxcli"));
    IgnoreBrokenPipe();
    if (const QString odd = NotUtf8(argc, argv); !odd.isEmpty())
        return BadArguments(odd);

    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const Options o;
    parser.addOptions({o.com, o.device, o.speed, o.lang, o.yes, o.trace, o.json, o.verify,
                       o.version, o.map, o.unmap, o.base, o.defaults, o.record, o.help});
    if (!parser.parse(QCoreApplication::arguments()))
        return BadArguments(parser.errorText());
    if (parser.isSet(o.help) || parser.isSet(o.version)) {
        std::fputs(parser.isSet(o.help) ? kUsage : "qmxcli " QMX_VERSION "\n", stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? kOk : kFailed;
    }

    Run run;
    MainModule::InitProgram(run.program, QString());
    Invocation call;
    call.yes = parser.isSet(o.yes);
    const Command* command = nullptr;
    for (const QString& error : {TakeCommand(parser.positionalArguments(), call, command),
                                 ApplyLinkOptions(parser, o, call, run.program)})
        if (!error.isEmpty())
            return BadArguments(error, command ? call : Invocation());
    for (const QString& error :
         {ApplyMapOptions(parser, o, call), ApplyOutputOptions(parser, o, *command, call),
          ApplyFileOptions(parser, o, call)})
        if (!error.isEmpty())
            return BadArguments(error, call);
    return Finish(run, call, RunHere(run, *command, call));
}
