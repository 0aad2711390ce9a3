// qmxcli: identify, read, write and compare QMX-001 controllers and .QMX files from the
// command line, on the same core as the window.

#include "cli/FieldTable.h"
#include "files/FileModule.h"
#include "link/ComSupport.h"
#include "link/QMXModule.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgressDisplay.h"
#include "shell/MainModule.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define QMX_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define QMX_ISATTY(fd) isatty(fd)
#endif

namespace {

enum ExitCode { kOk = 0, kBadArguments = 1, kFailed = 2, kNoController = 3 };

const char* const kUsage =
    R"(Usage: qmxcli [--com N | --device PATH] [--speed 4800|9600|19200|38400]
              [--lang en|ja] [--yes] COMMAND [ARGS]

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

Options:
  --com N              serial port COM N, 1 to 16 (default 1)
  --device PATH        use this serial device as the port (for example /dev/ttyUSB0)
  --speed BPS          line speed: 4800, 9600 (default), 19200 or 38400
  --lang en|ja         language of the messages (default ja)
  --yes                answer Yes to every question (default: No)
  -h, --help           show this help

Messages go to standard error; progress too, when it is a terminal.

Exit codes:
  0  success
  1  bad arguments
  2  operation failed (port cannot be opened, no reply, refused reply, file error)
  3  controller not found or refused (no answer to identification, wrong name, old version)
)";

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

QTextStream& Out() {
    static QTextStream out(stdout);
    return out;
}

int Connect() {
    if (!ComSupport::ComOpen())
        return kFailed;
    if (!QMXModule::ConnectController()) {
        ComSupport::ComClose();
        return kNoController;
    }
    MainModule::State.IsConnected = kTrue;
    return kOk;
}

void Disconnect() {
    ComSupport::ComClose();
    MainModule::State.IsConnected = kFalse;
}

// Opens a file while no controller is connected: no serial-number question.
bool OpenFile(const QString& file) {
    MainModule::State.CurrentFileName = file;
    return FileModule::LoadConfigFile();
}

int Info() {
    if (const int rc = Connect())
        return rc;
    const ProgramState& s = MainModule::State;
    Out() << "name = " << s.ControllerName << '\n'
          << "serial number = " << s.ControllerSerialNo << '\n'
          << "version = " << s.ControllerVersionText << '\n'
          << "revision = " << s.ControllerRevision << '\n'
          << "build date = " << s.ControllerBuildDate << '\n';
    Disconnect();
    return kOk;
}

int Read(const QString& file) {
    if (const int rc = Connect())
        return rc;
    const bool ok = QMXModule::LoadConfigFromController();
    if (ok)
        MainModule::State.CurrentFileName = file;
    const bool saved = ok && FileModule::CreateConfigFile();
    Disconnect();
    return saved ? kOk : kFailed;
}

int Write(const QString& file) {
    if (const int rc = Connect())
        return rc;
    MainModule::State.CurrentFileName = file;
    const bool ok = FileModule::LoadConfigFile() && QMXModule::StoreConfigToController();
    Disconnect();
    return ok ? kOk : kFailed;
}

int Show(const QString& file) {
    if (!OpenFile(file))
        return kFailed;
    for (const FieldRow& row : FileFields())
        Out() << row.name << " = " << ShowField(row, MainModule::Config) << '\n';
    return kOk;
}

int Defaults(const QString& file) {
    MainModule::ResetToFactoryDefaults();
    MainModule::State.CurrentFileName = file;
    return FileModule::CreateConfigFile() ? kOk : kFailed;
}

int Diff(const QString& file) {
    if (!OpenFile(file))
        return kFailed;
    const ConfigRecord fromFile = MainModule::Config;
    if (const int rc = Connect())
        return rc;
    const bool ok = QMXModule::LoadConfigFromController();
    Disconnect();
    if (!ok)
        return kFailed;
    int differences = 0;
    for (const FieldRow& row : FileFields()) {
        if (row.value(MainModule::Config) == row.value(fromFile))
            continue;
        ++differences;
        Out() << row.name << ": controller " << ShowField(row, MainModule::Config) << ", file "
              << ShowField(row, fromFile) << '\n';
    }
    if (differences == 0)
        Out() << "no differences\n";
    return kOk;
}

struct Command {
    const char* name;
    bool withFile;
    int (*run)(const QString& file);
};

const Command kCommands[] = {
    {"info", false,
     [](const QString&) {
         return Info();
     }},
    {"read", true, Read},
    {"write", true, Write},
    {"show", true, Show},
    {"defaults", true, Defaults},
    {"diff", true, Diff},
};

int BadArguments(const QString& why) {
    std::fprintf(stderr, "qmxcli: %s\n\n%s", qUtf8Printable(why), kUsage);
    return kBadArguments;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qmxcli"));

    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption com(QStringLiteral("com"), {}, QStringLiteral("N"));
    const QCommandLineOption device(QStringLiteral("device"), {}, QStringLiteral("PATH"));
    const QCommandLineOption speed(QStringLiteral("speed"), {}, QStringLiteral("BPS"));
    const QCommandLineOption lang(QStringLiteral("lang"), {}, QStringLiteral("LANG"));
    const QCommandLineOption yes(QStringLiteral("yes"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOptions({com, device, speed, lang, yes, help});
    if (!parser.parse(app.arguments()))
        return BadArguments(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(kUsage, stdout);
        return kOk;
    }

    MainModule::InitProgram(QString());
    ProgramOptions& options = MainModule::Options;
    if (parser.isSet(com)) {
        bool ok = false;
        const int port = parser.value(com).toInt(&ok);
        if (!ok || port < 1 || port > 16)
            return BadArguments(QStringLiteral("--com takes a port number from 1 to 16"));
        options.ComPort = static_cast<qint16>(port);
    }
    if (parser.isSet(device)) {
        if (parser.isSet(com))
            return BadArguments(QStringLiteral("give --com or --device, not both"));
        qputenv(QByteArray("QMX_COM") + QByteArray::number(options.ComPort),
                parser.value(device).toLocal8Bit());
    }
    if (parser.isSet(speed)) {
        const QStringList speeds{"4800", "9600", "19200", "38400"};
        const qsizetype index = speeds.indexOf(parser.value(speed));
        if (index < 0)
            return BadArguments(QStringLiteral("--speed takes 4800, 9600, 19200 or 38400"));
        options.ComSpeed = static_cast<qint16>(index);
    }
    if (parser.isSet(lang)) {
        const QString value = parser.value(lang);
        if (value != u"en" && value != u"ja")
            return BadArguments(QStringLiteral("--lang takes en or ja"));
        MainModule::State.UILanguage = value == u"en" ? 1 : 0;
    }

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return BadArguments(QStringLiteral("no command given"));
    const QString name = args.first();
    const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                      [&](const Command& c) { return name == c.name; });
    if (command == std::end(kCommands))
        return BadArguments(QStringLiteral("unknown command: %1").arg(name));
    if (args.size() != (command->withFile ? 2 : 1))
        return BadArguments(command->withFile ? QStringLiteral("%1 takes one file name").arg(name)
                                              : QStringLiteral("%1 takes no argument").arg(name));

    platform::ConsoleMessageBoxes boxes(parser.isSet(yes));
    platform::SetMessageBoxes(&boxes);
    TerminalProgress progress;
    if (QMX_ISATTY(2))
        platform::SetProgressDisplay(&progress);
    ComSupport::CreateTickTimer(&app);
    ComSupport::ComInit(options.ComPort, options.ComSpeed);

    const int rc = command->run(command->withFile ? args.at(1) : QString());
    Out().flush();
    platform::SetProgressDisplay(nullptr);
    platform::SetMessageBoxes(nullptr);
    return rc;
}
