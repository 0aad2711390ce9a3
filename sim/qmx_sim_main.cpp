// qmx-sim: a simulated QMX-001 served on a pseudo-terminal. The first line on standard output
// is the terminal's device path; point the program's COM port at it ($QMX_COM1).

#include "sim/DeviceModel.h"
#include "sim/SimEndpoint.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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
    const QList<QCommandLineOption> options{
        {QStringLiteral("link"),
         QStringLiteral("Also place a symbolic link to the terminal at PATH "
                        "(removed at exit)."),
         QStringLiteral("PATH")},
        {QStringLiteral("log"),
         QStringLiteral("Append every command line received to FILE (default: standard error)."),
         QStringLiteral("FILE")},
        {QStringLiteral("state"),
         QStringLiteral("Load the parameters from FILE if it exists; write them there on Z:UW."),
         QStringLiteral("FILE")},
        {QStringLiteral("name"), QStringLiteral("Reply to ?:N (default QMX001-SIM)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("serial"), QStringLiteral("Reply to ?:S (default SIM0000001)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("firmware"), QStringLiteral("Reply to ?:V (default V1.23)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("build-date"), QStringLiteral("Reply to ?:B (default 20261207)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("revision"), QStringLiteral("Reply to ?:- (default A01)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("silent-after"),
         QStringLiteral("Answer only the first N command lines, then keep silent."),
         QStringLiteral("N")},
        {QStringLiteral("silent-at"),
         QStringLiteral("Keep silent from the first command line equal to COMMAND on."),
         QStringLiteral("COMMAND")},
        {QStringLiteral("reply"),
         QStringLiteral("Answer TEXT to COMMAND instead of carrying it out (repeatable)."),
         QStringLiteral("COMMAND=TEXT")},
        {QStringLiteral("late"),
         QStringLiteral("Answer COMMAND MS later, as one whole line (repeatable)."),
         QStringLiteral("COMMAND=MS")},
        {QStringLiteral("processing"),
         QStringLiteral("Take MS to process every command, one command after the other."),
         QStringLiteral("MS")},
        {QStringLiteral("ignore-setting"),
         QStringLiteral("Answer OK to settings of parameter CODE (e.g. D0) but keep the old "
                        "value (repeatable)."),
         QStringLiteral("CODE")},
        {QStringLiteral("split-crlf"),
         QStringLiteral("Send each reply's CR and LF in two deliveries, --split-gap apart.")},
        {QStringLiteral("split-gap"),
         QStringLiteral("Gap between CR and LF for --split-crlf, in ms (default 100)."),
         QStringLiteral("MS")},
        {QStringLiteral("double-cr"), QStringLiteral("End replies with CR CR LF.")},
        {QStringLiteral("second-line"),
         QStringLiteral("Follow every reply with a second line TEXT."), QStringLiteral("TEXT")},
        {QStringLiteral("baud"),
         QStringLiteral("Emulate the line speed: one byte per 10 bits at N bit/s; a host "
                        "that set another speed gets no answer."),
         QStringLiteral("N")},
        {QStringLiteral("byte-delay"),
         QStringLiteral("Time of one byte on the line, in ms (fractions allowed)."),
         QStringLiteral("MS")},
    };
    parser.addOptions(options);
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        Fail(QStringLiteral("unexpected argument %1 (see --help)")
                 .arg(parser.positionalArguments().first()));
        return 2;
    }

    sim::DeviceModel model;
    model.logLimit = 0; // the log goes to a file
    sim::Identity& id = model.identity;
    if (parser.isSet(QStringLiteral("name")))
        id.name = parser.value(QStringLiteral("name"));
    if (parser.isSet(QStringLiteral("serial")))
        id.serialNo = parser.value(QStringLiteral("serial"));
    if (parser.isSet(QStringLiteral("firmware")))
        id.version = parser.value(QStringLiteral("firmware"));
    if (parser.isSet(QStringLiteral("build-date")))
        id.buildDate = parser.value(QStringLiteral("build-date"));
    if (parser.isSet(QStringLiteral("revision")))
        id.revision = parser.value(QStringLiteral("revision"));

    sim::Faults& faults = model.faults;
    int baud = 0;
    if (!ReadInt(parser, QStringLiteral("silent-after"), 0, faults.silentAfter) ||
        !ReadInt(parser, QStringLiteral("split-gap"), 0, faults.splitGapMs) ||
        !ReadInt(parser, QStringLiteral("baud"), 1, baud) ||
        !ReadInt(parser, QStringLiteral("processing"), 0, faults.processingMs))
        return 2;
    for (const QString& pair : parser.values(QStringLiteral("late"))) {
        const qsizetype eq = pair.lastIndexOf(u'=');
        bool ok = false;
        const int ms = eq > 0 ? pair.mid(eq + 1).toInt(&ok) : 0;
        if (!ok || ms < 0) {
            Fail(QStringLiteral("--late needs COMMAND=MS, got %1").arg(pair));
            return 2;
        }
        faults.lateMs.insert(pair.left(eq), ms);
    }
    for (const QString& code : parser.values(QStringLiteral("ignore-setting")))
        faults.ignoredSettings.insert(code);
    faults.silentAt = parser.value(QStringLiteral("silent-at"));
    for (const QString& pair : parser.values(QStringLiteral("reply"))) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq <= 0) {
            Fail(QStringLiteral("--reply needs COMMAND=TEXT, got %1").arg(pair));
            return 2;
        }
        faults.replies.insert(pair.left(eq), pair.mid(eq + 1));
    }
    faults.splitCrLf = parser.isSet(QStringLiteral("split-crlf"));
    faults.doubleCr = parser.isSet(QStringLiteral("double-cr"));
    faults.secondLine = parser.value(QStringLiteral("second-line"));
    if (baud > 0)
        faults.byteDelayMs = sim::ByteDelayForBaud(baud);
    if (parser.isSet(QStringLiteral("byte-delay"))) {
        bool ok = false;
        faults.byteDelayMs = parser.value(QStringLiteral("byte-delay")).toDouble(&ok);
        if (!ok || !(faults.byteDelayMs >= 0.0) || faults.byteDelayMs > 10000.0) {
            Fail(QStringLiteral("--byte-delay needs a number of ms from 0 to 10000"));
            return 2;
        }
    }

    // The command log.
    QFile logFile;
    if (parser.isSet(QStringLiteral("log"))) {
        logFile.setFileName(parser.value(QStringLiteral("log")));
        if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            Fail(QStringLiteral("cannot open log %1: %2")
                     .arg(logFile.fileName(), logFile.errorString()));
            return 1;
        }
    } else if (!logFile.open(stderr, QIODevice::WriteOnly | QIODevice::Text)) {
        return 1;
    }
    model.onCommand = [&logFile](const QString& command) {
        logFile.write(command.toLatin1() + '\n');
        logFile.flush();
    };

    // The kept parameters.
    const QString statePath = parser.value(QStringLiteral("state"));
    if (!statePath.isEmpty() && QFile::exists(statePath)) {
        QFile state(statePath);
        QString error;
        if (!state.open(QIODevice::ReadOnly)) {
            Fail(QStringLiteral("cannot read %1: %2").arg(statePath, state.errorString()));
            return 1;
        }
        if (!model.LoadStateText(state.readAll(), &error)) {
            Fail(QStringLiteral("%1: %2").arg(statePath, error));
            return 1;
        }
    }
    model.onPersist = [&model, statePath] {
        if (statePath.isEmpty())
            return true;
        QSaveFile state(statePath);
        if (state.open(QIODevice::WriteOnly) && state.write(model.StateText()) >= 0 &&
            state.commit())
            return true;
        Fail(QStringLiteral("cannot write %1: %2").arg(statePath, state.errorString()));
        return false;
    };

    // Signals end the run through the event loop, so the link is removed on the way out.
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        Fail(ErrnoText("pipe"));
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app,
                     [] { QCoreApplication::quit(); });

    Pty pty;
    QString error;
    if (!OpenPty(pty, error)) {
        Fail(error);
        return 1;
    }
    const QByteArray linkPath = QFile::encodeName(parser.value(QStringLiteral("link")));
    if (!linkPath.isEmpty() && !PlaceLink(linkPath, pty.slavePath, error)) {
        Fail(error);
        return 1;
    }

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
            if (n < 0 && errno == EINTR)
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

    const int status = app.exec();

    if (!linkPath.isEmpty())
        RemoveLink(linkPath, pty.slavePath);
    close(pty.slave);
    close(pty.master);
    return status;
}
