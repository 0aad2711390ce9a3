// qmxcli: identify, read, write and compare QMX-001 controllers and .QMX files from the
// command line, on the same core as the window.

#include "cli/Cli.h"
#include "link/ComSupport.h"
#include "link/WireTrace.h"
#include "platform/MessageBoxes.h"
#include "platform/Ports.h"
#include "platform/ProgressDisplay.h"
#include "shell/MainModule.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <algorithm>
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
    R"(Usage: qmxcli [--com N | --device PATH] [--speed 4800|9600|19200|38400]
              [--lang en|ja] [--yes] [--trace] COMMAND [ARGS]

Commands:
  info                 identify the controller: name, serial number, version, revision,
                       build date
  read FILE.QMX        load every parameter from the controller and save it as a new file
                       (refuses to replace a file unless --yes)
  write FILE.QMX       open the file (serial-number check as in the window, answered by
                       --yes) and store it into the controller
  show FILE.QMX        print every field the file holds, one "name = value" line each
  defaults FILE.QMX    write a file with the factory defaults
  diff FILE.QMX        read the controller and list the fields where it differs from the file
  ports                list the serial devices present and the device behind COM 1 to 16
  ports --map N PATH   make COM N mean PATH (kept in the settings file)
  ports --unmap N      forget the mapping of COM N

Options:
  --com N              serial port COM N, 1 to 16 (default 1)
  --device PATH        use this serial device as the port (for example /dev/ttyUSB0)
  --speed BPS          line speed: 4800, 9600 (default), 19200 or 38400
  --lang en|ja         language of the messages (default ja)
  --yes                answer Yes to every question (default: No)
  --trace              write every line sent and received to standard error
  -h, --help           show this help

COM N is the device named by $QMX_COM<N>, else by the "Ports" section of the settings file,
else /dev/ttyS<N-1>. QMX_TRACE=FILE writes the wire trace to FILE.
Messages go to standard error; progress too, when it is a terminal.

Exit codes:
  0  success
  1  bad arguments
  2  operation failed (port cannot be opened, no reply, refused reply, file error)
  3  controller not found or refused (no answer to identification, wrong name, old version)
)";

struct Command {
    const char* name;
    int files; // file arguments taken
    bool needsLink;
    int (*run)(const Invocation& call);
};

const Command kCommands[] = {
    {"info", 0, true, Info},    {"read", 1, true, Read},          {"write", 1, true, Write},
    {"show", 1, false, Show},   {"defaults", 1, false, Defaults}, {"diff", 1, true, Diff},
    {"ports", 0, false, Ports},
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

int BadArguments(const QString& why) {
    std::fprintf(stderr, "qmxcli: %s\n\n%s", qUtf8Printable(why), kUsage);
    return kBadArguments;
}

struct Options {
    QCommandLineOption com{QStringLiteral("com"), {}, QStringLiteral("N")};
    QCommandLineOption device{QStringLiteral("device"), {}, QStringLiteral("PATH")};
    QCommandLineOption speed{QStringLiteral("speed"), {}, QStringLiteral("BPS")};
    QCommandLineOption lang{QStringLiteral("lang"), {}, QStringLiteral("LANG")};
    QCommandLineOption yes{QStringLiteral("yes")};
    QCommandLineOption trace{QStringLiteral("trace")};
    QCommandLineOption map{QStringLiteral("map"), {}, QStringLiteral("N")};
    QCommandLineOption unmap{QStringLiteral("unmap"), {}, QStringLiteral("N")};
    QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")}};
};

std::optional<int> PortNumber(const QString& text) {
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 1 || port > platform::kComPorts)
        return std::nullopt;
    return port;
}

// The port, speed and language options into the program options; an error text when one is
// not acceptable.
QString ApplyLinkOptions(const QCommandLineParser& parser, const Options& o, Invocation& call) {
    ProgramOptions& options = MainModule::Options;
    if (parser.isSet(o.com)) {
        const auto port = PortNumber(parser.value(o.com));
        if (!port)
            return QStringLiteral("--com takes a port number from 1 to 16");
        options.ComPort = static_cast<qint16>(*port);
    }
    if (parser.isSet(o.device)) {
        if (parser.isSet(o.com))
            return QStringLiteral("give --com or --device, not both");
        call.device = parser.value(o.device);
        if (call.device.isEmpty())
            return QStringLiteral("--device takes the path of a serial device");
    }
    if (parser.isSet(o.speed)) {
        const QStringList speeds{"4800", "9600", "19200", "38400"};
        const qsizetype index = speeds.indexOf(parser.value(o.speed));
        if (index < 0)
            return QStringLiteral("--speed takes 4800, 9600, 19200 or 38400");
        options.ComSpeed = static_cast<qint16>(index);
    }
    if (parser.isSet(o.lang)) {
        const QString value = parser.value(o.lang);
        if (value != u"en" && value != u"ja")
            return QStringLiteral("--lang takes en or ja");
        MainModule::State.UILanguage = value == u"en" ? 1 : 0;
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
        return QStringLiteral("unknown command: %1").arg(call.command);
    if (call.command == u"ports")
        return {};
    if (call.files.size() != command->files)
        return command->files == 1 ? QStringLiteral("%1 takes one file name").arg(call.command)
                                   : QStringLiteral("%1 takes no argument").arg(call.command);
    return {};
}

// --trace on standard error; QMX_TRACE=FILE otherwise.
bool StartTrace(bool toStandardError) {
    static QFile standardError;
    if (toStandardError) {
        if (!standardError.isOpen())
            standardError.open(stderr, QIODevice::WriteOnly);
        WireTrace::Start(&standardError);
        return true;
    }
    const QString path = qEnvironmentVariable("QMX_TRACE");
    QString error;
    if (!path.isEmpty() && !WireTrace::StartFile(path, error)) {
        std::fprintf(stderr, "qmxcli: cannot write the trace: %s\n", qUtf8Printable(error));
        return false;
    }
    return true;
}

int Run(const Command& command, const Invocation& call, bool trace) {
    platform::ConsoleMessageBoxes boxes(call.yes);
    platform::SetMessageBoxes(&boxes);
    TerminalProgress progress;
    if (QMX_ISATTY(2) && !trace)
        platform::SetProgressDisplay(&progress);
    if (command.needsLink) {
        ComSupport::CreateTickTimer(QCoreApplication::instance());
        ComSupport::ComInit(MainModule::Options.ComPort, MainModule::Options.ComSpeed);
    }
    const int rc = command.run(call);
    Out().flush();
    WireTrace::Stop();
    platform::SetProgressDisplay(nullptr);
    platform::SetMessageBoxes(nullptr);
    return rc;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qmxcli"));

    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const Options o;
    parser.addOptions({o.com, o.device, o.speed, o.lang, o.yes, o.trace, o.map, o.unmap, o.help});
    if (!parser.parse(app.arguments()))
        return BadArguments(parser.errorText());
    if (parser.isSet(o.help)) {
        std::fputs(kUsage, stdout);
        return kOk;
    }

    MainModule::InitProgram(QString());
    Invocation call;
    call.yes = parser.isSet(o.yes);
    const Command* command = nullptr;
    for (const QString& error :
         {TakeCommand(parser.positionalArguments(), call, command),
          ApplyLinkOptions(parser, o, call), ApplyMapOptions(parser, o, call)})
        if (!error.isEmpty())
            return BadArguments(error);
    if (!StartTrace(parser.isSet(o.trace)))
        return kBadArguments;
    return Run(*command, call, parser.isSet(o.trace));
}
