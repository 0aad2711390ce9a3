// qmx-sim: a simulated QMX-001 served on a pseudo-terminal. The first line on standard output
// is the terminal's device path; point the program's COM port at it ($QMX_COM1).

#include "sim/DeviceModel.h"
#include "sim/SimEndpoint.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
}

void Fail(const QString& text) {
    std::fprintf(stderr, "qmx-sim: %s\n", qPrintable(text));
}

QString ErrnoText(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

struct Pty {
    int master = -1;
    int slave = -1;
    QByteArray slavePath;
};

// Opens a pseudo-terminal in raw mode. The slave stays open here as well, so the master keeps
// working while no client has it open and after a client closes it.
bool OpenPty(Pty& pty, QString& error) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0) {
        error = ErrnoText("posix_openpt");
        return false;
    }
    if (grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) {
        error = ErrnoText("grantpt/unlockpt");
        return false;
    }
    const char* name = ptsname(pty.master);
    if (!name) {
        error = ErrnoText("ptsname");
        return false;
    }
    pty.slavePath = name;
    pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0) {
        error = ErrnoText("open slave");
        return false;
    }
    termios tio{};
    if (tcgetattr(pty.slave, &tio) != 0) {
        error = ErrnoText("tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(pty.slave, TCSANOW, &tio) != 0) {
        error = ErrnoText("tcsetattr");
        return false;
    }
    const int flags = fcntl(pty.master, F_GETFL);
    if (flags < 0 || fcntl(pty.master, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = ErrnoText("fcntl");
        return false;
    }
    return true;
}

// Places a symbolic link to the slave; a stale link from an earlier run is replaced, anything
// else at that path is left alone.
bool PlaceLink(const QByteArray& linkPath, const QByteArray& target, QString& error) {
    struct stat st {};
    if (lstat(linkPath.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = QStringLiteral("%1 exists and is not a symbolic link")
                        .arg(QString::fromLocal8Bit(linkPath));
            return false;
        }
        unlink(linkPath.constData());
    }
    if (symlink(target.constData(), linkPath.constData()) != 0) {
        error = ErrnoText("symlink");
        return false;
    }
    return true;
}

// Removes the link only while it still points at this run's terminal.
void RemoveLink(const QByteArray& linkPath, const QByteArray& target) {
    char buffer[4096];
    const ssize_t n = readlink(linkPath.constData(), buffer, sizeof buffer - 1);
    if (n >= 0 && QByteArray(buffer, n) == target)
        unlink(linkPath.constData());
}

// Writes as much as the terminal takes. With nobody reading, its buffer fills and the rest is
// dropped, as a line with no listener would.
void WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return;
    }
}

speed_t SpeedCode(int baud) {
    switch (baud) {
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    default:
        return B0;
    }
}

// The speed the host set on its end of the line. At another speed than the controller's,
// what the host sends arrives as garbage, which the controller cannot answer.
bool HostSpeedMatches(int slave, int baud) {
    termios tio{};
    return baud <= 0 || (tcgetattr(slave, &tio) == 0 && cfgetospeed(&tio) == SpeedCode(baud));
}

// The simulator's options: what it says about itself, its faults, its log and its state.
QList<QCommandLineOption> Options() {
    const auto option = [](const char* name, const char* help, const char* value = nullptr) {
        return value ? QCommandLineOption(QLatin1String(name), QLatin1String(help),
                                          QLatin1String(value))
                     : QCommandLineOption(QLatin1String(name), QLatin1String(help));
    };
    return {
        option("link", "Also place a symbolic link to the terminal at PATH (removed at exit).",
               "PATH"),
        option("log", "Append every command line received to FILE (default: standard error).",
               "FILE"),
        option("state", "Load the parameters from FILE if it exists; write them there on Z:UW.",
               "FILE"),
        option("name", "Reply to ?:N (default QMX001-SIM).", "TEXT"),
        option("serial", "Reply to ?:S (default SIM0000001).", "TEXT"),
        option("firmware", "Reply to ?:V (default V1.23).", "TEXT"),
        option("build-date", "Reply to ?:B (default 20261207).", "TEXT"),
        option("revision", "Reply to ?:- (default A01).", "TEXT"),
        option("silent-after", "Answer only the first N command lines, then keep silent.", "N"),
        option("silent-at", "Keep silent from the first command line equal to COMMAND on.",
               "COMMAND"),
        option("reply", "Answer TEXT to COMMAND instead of carrying it out (repeatable).",
               "COMMAND=TEXT"),
        option("late", "Answer COMMAND MS later, as one whole line (repeatable).", "COMMAND=MS"),
        option("processing", "Take MS to process every command, one command after the other.",
               "MS"),
        option("ignore-setting",
               "Answer OK to settings of parameter CODE (e.g. D0) but keep the old value "
               "(repeatable).",
               "CODE"),
        option("split-crlf", "Send each reply's CR and LF in two deliveries, --split-gap apart."),
        option("split-gap", "Gap between CR and LF for --split-crlf, in ms (default 100).", "MS"),
        option("double-cr", "End replies with CR CR LF."),
        option("second-line", "Follow every reply with a second line TEXT.", "TEXT"),
        option("baud",
               "Emulate the line speed: one byte per 10 bits at N bit/s; a host that set another "
               "speed gets no answer.",
               "N"),
        option("byte-delay", "Time of one byte on the line, in ms (fractions allowed).", "MS"),
        option("stall",
               "The first time COMMAND arrives, stall MS before answering it, then answer the "
               "commands that came meanwhile straight after (repeatable).",
               "COMMAND=MS"),
        option("chunk", "Hand each reply over N bytes at a time, --chunk-gap apart.", "N"),
        option("chunk-gap", "Gap between chunks for --chunk, in ms (default 16).", "MS"),
        option("noise-before",
               "Send the bytes HEX (e.g. 00, ff, 23) just before the first reply to COMMAND "
               "(repeatable).",
               "COMMAND=HEX"),
        option("noise-after", "Send the bytes HEX just after the first reply to COMMAND.",
               "COMMAND=HEX"),
        option("empty-line", "Send an empty line before the first reply to COMMAND (repeatable).",
               "COMMAND"),
        option("stale-before",
               "When COMMAND arrives, send the reply before it again at once (repeatable).",
               "COMMAND"),
        option("repeat-after",
               "A busy controller: the second time COMMAND arrives (the host's repeat), answer it "
               "MS after the reply before it; a negative MS never answers it (repeatable).",
               "COMMAND=MS"),
        option("twice", "Send the first reply to COMMAND a second time, MS after it (repeatable).",
               "COMMAND=MS"),
        option("busy",
               "The first time COMMAND arrives, answer WORD (e.g. BUSY) instead of its reply "
               "(repeatable).",
               "COMMAND=WORD"),
        option("flood",
               "Just before the first reply to COMMAND, send N characters C without a line end "
               "(repeatable).",
               "COMMAND=N:C"),
        option("restart-at",
               "Restart the first time COMMAND arrives: answer nothing for --restart-commands "
               "command lines or --restart-ms, whichever lasts longer, then answer from the "
               "parameters of the last Z:UW (or --restart-to factory).",
               "COMMAND"),
        option("restart-commands", "Command lines a restart leaves unanswered (default 1).", "N"),
        option("restart-ms", "How long a restart answers nothing, in ms (default 0).", "MS"),
        option("restart-to", "What a restart comes back with: stored (default) or factory.",
               "WHAT"),
    };
}

bool ReadInt(const QCommandLineParser& parser, const QString& name, int min, int& out) {
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < min) {
        Fail(QStringLiteral("--%1 needs a whole number of at least %2").arg(name).arg(min));
        return false;
    }
    out = value;
    return true;
}

void ApplyIdentity(const QCommandLineParser& parser, sim::Identity& id) {
    const std::pair<const char*, QString*> texts[] = {{"name", &id.name},
                                                      {"serial", &id.serialNo},
                                                      {"firmware", &id.version},
                                                      {"build-date", &id.buildDate},
                                                      {"revision", &id.revision}};
    for (const auto& [name, text] : texts)
        if (parser.isSet(QLatin1String(name)))
            *text = parser.value(QLatin1String(name));
}

// COMMAND=VALUE pairs of a repeatable option; false after telling which one is malformed.
bool ReadPairs(const QCommandLineParser& parser, const char* name,
               const std::function<bool(const QString&, const QString&)>& take) {
    for (const QString& pair : parser.values(QLatin1String(name))) {
        const qsizetype eq = pair.lastIndexOf(u'=');
        if (eq <= 0 || !take(pair.left(eq), pair.mid(eq + 1))) {
            Fail(QStringLiteral("--%1 needs COMMAND=VALUE, got %2").arg(QLatin1String(name), pair));
            return false;
        }
    }
    return true;
}

bool ApplyLineFaults(const QCommandLineParser& parser, sim::Faults& faults, int& baud) {
    faults.splitCrLf = parser.isSet(QStringLiteral("split-crlf"));
    faults.doubleCr = parser.isSet(QStringLiteral("double-cr"));
    faults.secondLine = parser.value(QStringLiteral("second-line"));
    if (baud > 0)
        faults.byteDelayMs = sim::ByteDelayForBaud(baud);
    if (!parser.isSet(QStringLiteral("byte-delay")))
        return true;
    bool ok = false;
    faults.byteDelayMs = parser.value(QStringLiteral("byte-delay")).toDouble(&ok);
    if (!ok || !(faults.byteDelayMs >= 0.0) || faults.byteDelayMs > 10000.0) {
        Fail(QStringLiteral("--byte-delay needs a number of ms from 0 to 10000"));
        return false;
    }
    return true;
}

// COMMAND=MS pairs of a repeatable option, each MS at least min.
bool ReadMsPairs(const QCommandLineParser& parser, const char* name, int min,
                 QMap<QString, int>& into) {
    return ReadPairs(parser, name, [&into, min](const QString& command, const QString& ms) {
        bool ok = false;
        const int value = ms.toInt(&ok);
        into.insert(command, value);
        return ok && value >= min;
    });
}

// The faults that stall, chop or garble the line around chosen replies.
bool ApplyReplyFaults(const QCommandLineParser& parser, sim::Faults& faults) {
    if (!ReadInt(parser, QStringLiteral("chunk"), 1, faults.chunkBytes) ||
        !ReadInt(parser, QStringLiteral("chunk-gap"), 0, faults.chunkGapMs))
        return false;
    for (const QString& command : parser.values(QStringLiteral("empty-line")))
        faults.emptyLineBefore.insert(command);
    for (const QString& command : parser.values(QStringLiteral("stale-before")))
        faults.stalePrevious.insert(command);
    const auto noise = [](QMap<QString, QByteArray>& into) {
        return [&into](const QString& command, const QString& hex) {
            const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
            into.insert(command, bytes);
            return !bytes.isEmpty() && bytes.toHex() == hex.toLower().toLatin1();
        };
    };
    return ReadMsPairs(parser, "stall", 0, faults.stallMs) &&
           ReadMsPairs(parser, "repeat-after", INT_MIN, faults.repeatAfterMs) &&
           ReadMsPairs(parser, "twice", 0, faults.twiceGapMs) &&
           ReadPairs(parser, "noise-before", noise(faults.noiseBefore)) &&
           ReadPairs(parser, "noise-after", noise(faults.noiseAfter));
}

// N copies of a character: "10000:9".
bool TakeFlood(QMap<QString, QByteArray>& into, const QString& command, const QString& value) {
    const qsizetype colon = value.indexOf(u':');
    bool ok = false;
    const int count = value.left(colon).toInt(&ok);
    if (colon <= 0 || !ok || count < 1 || count > 1000000 || value.size() != colon + 2)
        return false;
    into.insert(command, into.value(command) + QByteArray(count, value.back().toLatin1()));
    return true;
}

// A restart and the words a busy controller gives.
bool ApplyRestartFaults(const QCommandLineParser& parser, sim::Faults& faults) {
    faults.restartAt = parser.value(QStringLiteral("restart-at"));
    const QString to = parser.value(QStringLiteral("restart-to"));
    if (!to.isEmpty() && to != u"stored" && to != u"factory") {
        Fail(QStringLiteral("--restart-to takes stored or factory"));
        return false;
    }
    faults.restartToFactory = to == u"factory";
    return ReadInt(parser, QStringLiteral("restart-commands"), 1, faults.restartSilentCommands) &&
           ReadInt(parser, QStringLiteral("restart-ms"), 0, faults.restartSilentMs) &&
           ReadPairs(parser, "busy",
                     [&faults](const QString& command, const QString& word) {
                         faults.busyFirst.insert(command, word);
                         return !word.isEmpty();
                     }) &&
           ReadPairs(parser, "flood", [&faults](const QString& command, const QString& value) {
               return TakeFlood(faults.noiseBefore, command, value);
           });
}

bool ApplyFaults(const QCommandLineParser& parser, sim::Faults& faults, int& baud) {
    if (!ApplyReplyFaults(parser, faults) || !ApplyRestartFaults(parser, faults) ||
        !ReadInt(parser, QStringLiteral("silent-after"), 0, faults.silentAfter) ||
        !ReadInt(parser, QStringLiteral("split-gap"), 0, faults.splitGapMs) ||
        !ReadInt(parser, QStringLiteral("baud"), 1, baud) ||
        !ReadInt(parser, QStringLiteral("processing"), 0, faults.processingMs))
        return false;
    faults.silentAt = parser.value(QStringLiteral("silent-at"));
    for (const QString& code : parser.values(QStringLiteral("ignore-setting")))
        faults.ignoredSettings.insert(code);
    const bool pairsOk = ReadPairs(parser, "reply",
                                   [&](const QString& command, const QString& text) {
                                       faults.replies.insert(command, text);
                                       return true;
                                   }) &&
                         ReadMsPairs(parser, "late", 0, faults.lateMs);
    return pairsOk && ApplyLineFaults(parser, faults, baud);
}

// The command log: a file (appended to when it is a regular one), else standard error.
bool OpenLog(const QString& path, QFile& log) {
    if (path.isEmpty())
        return log.open(stderr, QIODevice::WriteOnly | QIODevice::Text);
    log.setFileName(path);
    const QFileInfo info(path);
    const auto append = !info.exists() || info.isFile() ? QIODevice::Append : QIODevice::NotOpen;
    if (log.open(QIODevice::WriteOnly | QIODevice::Text | append))
        return true;
    Fail(QStringLiteral("cannot open log %1: %2").arg(path, log.errorString()));
    return false;
}

// The parameters kept in the state file, loaded now and written on every "Z:UW".
bool KeepState(const QString& path, sim::DeviceModel& model) {
    if (!path.isEmpty() && QFile::exists(path)) {
        QFile state(path);
        QString error;
        if (!state.open(QIODevice::ReadOnly)) {
            Fail(QStringLiteral("cannot read %1: %2").arg(path, state.errorString()));
            return false;
        }
        if (!model.LoadStateText(state.readAll(), &error)) {
            Fail(QStringLiteral("%1: %2").arg(path, error));
            return false;
        }
    }
    model.onPersist = [&model, path] {
        if (path.isEmpty())
            return true;
        QSaveFile state(path);
        if (state.open(QIODevice::WriteOnly) && state.write(model.StateText()) >= 0 &&
            state.commit())
            return true;
        Fail(QStringLiteral("cannot write %1: %2").arg(path, state.errorString()));
        return false;
    };
    return true;
}

// Signals end the run through the event loop, so the link is removed on the way out.
bool QuitOnSignals(QSocketNotifier*& notifier) {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        Fail(ErrnoText("pipe"));
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] { QCoreApplication::quit(); });
    return true;
}

// Feeds what the host writes to the controller, and its replies back, until the run ends.
int Serve(const Pty& pty, sim::DeviceModel& model, int baud) {
    sim::SimEndpoint endpoint(model);
    QObject::connect(&endpoint, &sim::SimEndpoint::Output,
                     [&pty](const QByteArray& bytes) { WriteAll(pty.master, bytes); });
    QSocketNotifier input(pty.master, QSocketNotifier::Read);
    QTimer resume;
    resume.setSingleShot(true);
    QObject::connect(&resume, &QTimer::timeout, &input, [&input] { input.setEnabled(true); });
    QObject::connect(&input, &QSocketNotifier::activated, &endpoint, [&] {
        char buffer[512];
        for (;;) {
            const ssize_t n = read(pty.master, buffer, sizeof buffer);
            if (n > 0) {
                if (HostSpeedMatches(pty.slave, baud))
                    endpoint.Input(QByteArray(buffer, n));
                continue;
            }
            if (n < 0 && (errno == EINTR))
                continue;
            if (n < 0 && errno == EAGAIN)
                return;
            // No slave side to read from (should not happen while it is held open here):
            // look again later instead of spinning on the error.
            input.setEnabled(false);
            resume.start(100);
            return;
        }
    });
    std::fprintf(stdout, "%s\n", pty.slavePath.constData());
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qmx-sim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated QMX-001 controller on a pseudo-terminal.\n"
        "Prints the terminal's device path as its first line on standard output, then answers\n"
        "command lines until SIGINT or SIGTERM. Parameters start from the factory values (or\n"
        "the state file) and are kept in the state file on \"Z:UW\"."));
    parser.addHelpOption();
    parser.addOptions(Options());
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        Fail(QStringLiteral("unexpected argument %1 (see --help)")
                 .arg(parser.positionalArguments().first()));
        return 2;
    }

    sim::DeviceModel model;
    model.logLimit = 0; // the log goes to a file
    ApplyIdentity(parser, model.identity);
    int baud = 0;
    if (!ApplyFaults(parser, model.faults, baud))
        return 2;
    QFile log;
    if (!OpenLog(parser.value(QStringLiteral("log")), log))
        return 1;
    model.onCommand = [&log](const QString& command) {
        log.write(command.toLatin1() + '\n');
        log.flush();
    };
    QSocketNotifier* signalNotifier = nullptr;
    if (!KeepState(parser.value(QStringLiteral("state")), model) || !QuitOnSignals(signalNotifier))
        return 1;

    Pty pty;
    QString error;
    const QByteArray linkPath = QFile::encodeName(parser.value(QStringLiteral("link")));
    if (!OpenPty(pty, error) ||
        (!linkPath.isEmpty() && !PlaceLink(linkPath, pty.slavePath, error))) {
        Fail(error);
        return 1;
    }
    const int status = Serve(pty, model, baud);
    if (!linkPath.isEmpty())
        RemoveLink(linkPath, pty.slavePath);
    close(pty.slave);
    close(pty.master);
    return status;
}
