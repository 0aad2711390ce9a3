#include "platform/QtSerialControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <cstring>
#include <optional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#endif

namespace platform {

namespace {

struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// "9600,N,8,1": speed, parity letter, data bits, stop bits.
std::optional<LineSettings> ParseSettings(const QString& settings) {
    const QStringList parts = settings.split(u',');
    if (parts.size() != 4)
        return std::nullopt;
    LineSettings s;
    bool ok = false;
    s.baudRate = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baudRate <= 0)
        return std::nullopt;
    const QString parity = parts[1].trimmed().toUpper();
    if (parity == u"N")
        s.parity = QSerialPort::NoParity;
    else if (parity == u"E")
        s.parity = QSerialPort::EvenParity;
    else if (parity == u"O")
        s.parity = QSerialPort::OddParity;
    else
        return std::nullopt;
    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return std::nullopt;
    s.dataBits = static_cast<QSerialPort::DataBits>(bits);
    const QString stop = parts[3].trimmed();
    if (stop == u"1")
        s.stopBits = QSerialPort::OneStop;
    else if (stop == u"2")
        s.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return s;
}

// A lock file another program holds on the device.
struct Lock {
    QString path;
    QString program;
    qint64 pid = 0;
};

#ifdef Q_OS_UNIX
// The device a path leads to, links followed; none when it is no character device.
std::optional<dev_t> DeviceNumber(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return std::nullopt;
    return st.st_rdev;
}

// The process in a lock file: the first line holds its id, padded to ten characters by cu and
// UUCP; older programs write it as a 4-byte binary number.
qint64 LockPid(const QByteArray& content) {
    bool ok = false;
    const qint64 pid = content.left(content.indexOf('\n')).trimmed().toLongLong(&ok);
    if (ok)
        return pid;
    qint32 binary = 0;
    if (content.size() == qsizetype(sizeof binary)) {
        std::memcpy(&binary, content.constData(), sizeof binary);
        return binary;
    }
    return 0;
}

bool ProcessAlive(qint64 pid) {
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// The program's name: the lock file's second line (where Qt keeps it), else the process's.
QString LockProgram(const QByteArray& content, qint64 pid) {
    const QList<QByteArray> lines = content.split('\n');
    if (lines.size() > 1 && !lines[1].trimmed().isEmpty())
        return QString::fromLocal8Bit(lines[1].trimmed());
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed())
                                          : QString();
}

// A lock named LCK..NAME stands for /dev/NAME, "_" for "/"; it locks the device when both
// names lead to the same device, whatever links lie between.
bool LocksDevice(const QString& lockName, const QString& device) {
    const std::optional<dev_t> target = DeviceNumber(device);
    const QString name = lockName.mid(5);
    const QString plain = QString(device).remove(QRegularExpression(QStringLiteral("^/dev/")));
    if (!target)
        return name == QString(plain).replace(u'/', u'_');
    for (const QString& candidate : {QStringLiteral("/dev/") + QString(name).replace(u'_', u'/'),
                                     QStringLiteral("/dev/") + name})
        if (DeviceNumber(candidate) == target)
            return true;
    return false;
}

std::optional<Lock> FindLock(const QString& device) {
    for (const char* dir : {"/var/lock", "/run/lock", "/etc/locks", "/var/spool/locks",
                            "/var/spool/uucp", "/tmp", "/var/tmp", "/var/lock/lockdev"}) {
        const QDir lockDir{QLatin1String(dir)};
        for (const QString& name : lockDir.entryList({QStringLiteral("LCK..*")},
                                                     QDir::Files | QDir::System | QDir::Hidden)) {
            if (!LocksDevice(name, device))
                continue;
            QFile file(lockDir.filePath(name));
            const QByteArray content = file.open(QIODevice::ReadOnly) ? file.read(4096) : "";
            const qint64 pid = LockPid(content);
            if (pid > 0 && !ProcessAlive(pid))
                continue; // stale: its program has ended
            return Lock{file.fileName(), pid > 0 ? LockProgram(content, pid) : QString(), pid};
        }
    }
    return std::nullopt;
}
#else
std::optional<Lock> FindLock(const QString&) {
    return std::nullopt;
}
#endif

} // namespace

QtSerialControl::QtSerialControl(QObject* parent) : SerialControl(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialControl::Received);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialControl::OnError);
}

bool QtSerialControl::Open(const QString& device, const QString& settings) {
    const auto line = ParseSettings(settings);
    failure_ = OpenFailure{};
    failure_.device = device;
    if (!line) {
        errorText_ = QStringLiteral("Invalid port settings: %1").arg(settings);
        failure_.kind = OpenFailure::Kind::BadSettings;
        failure_.reason = errorText_;
        return false;
    }
    if (port_.isOpen())
        port_.close();
    if (device.isEmpty()) {
        errorText_ = QStringLiteral("No serial device given.");
        failure_.kind = OpenFailure::Kind::NoDevice;
        failure_.reason = errorText_;
        return false;
    }
    // A live program's lock, under whatever name of the device it was taken and in whatever
    // form: QSerialPort sees only its own kind under this name.
    const std::optional<Lock> lock = FindLock(device);
    if (lock && lock->pid > 0 && lock->pid != QCoreApplication::applicationPid()) {
        errorText_ = QStringLiteral("%1: the device is locked by another program").arg(device);
        failure_.kind = OpenFailure::Kind::Busy;
        failure_.reason = QStringLiteral("Locked by another program");
        failure_.lockFile = lock->path;
        failure_.holder = lock->program;
        failure_.holderPid = lock->pid;
        return false;
    }
    port_.setPortName(device);
    port_.setBaudRate(line->baudRate);
    port_.setParity(line->parity);
    port_.setDataBits(line->dataBits);
    port_.setStopBits(line->stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        errorText_ = QStringLiteral("%1: %2").arg(device, port_.errorString());
        failure_ = ExplainOpenFailure(device, port_.error(), port_.errorString());
        return false;
    }
    return true;
}

void QtSerialControl::Close() {
    if (port_.isOpen())
        port_.close();
}

bool QtSerialControl::IsOpen() const {
    return port_.isOpen();
}

// A pseudo-terminal has no modem lines; the failure is harmless there.
void QtSerialControl::SetRts(bool on) {
    if (port_.isOpen())
        port_.setRequestToSend(on);
}

void QtSerialControl::SetDtr(bool on) {
    if (port_.isOpen())
        port_.setDataTerminalReady(on);
}

bool QtSerialControl::CtsHolding() {
    if (!port_.isOpen())
        return false;
    const QSerialPort::PinoutSignals pins = port_.pinoutSignals();
    if (port_.error() == QSerialPort::UnsupportedOperationError) {
        port_.clearError();
        return true;
    }
    return pins.testFlag(QSerialPort::ClearToSendSignal);
}

bool QtSerialControl::Write(const QByteArray& data) {
    if (!port_.isOpen())
        return false;
    return port_.write(data) == data.size();
}

QByteArray QtSerialControl::ReadAll() {
    return port_.isOpen() ? port_.readAll() : QByteArray();
}

QString QtSerialControl::ErrorText() const {
    return errorText_;
}

void QtSerialControl::OnError(QSerialPort::SerialPortError error) {
    // A vanished device (or the far end of a pty closing) raises these over and over:
    // close at once so the link fails its attempt instead of spinning.
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
        error == QSerialPort::WriteError) {
        errorText_ = port_.errorString();
        if (port_.isOpen()) {
            port_.close();
            emit Lost();
        }
    }
}

} // namespace platform

namespace platform {

OpenFailure ExplainOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                               const QString& platformText) {
    OpenFailure failure;
    failure.device = device;
    failure.reason = platformText;
    if (error == QSerialPort::DeviceNotFoundError) {
        failure.kind = OpenFailure::Kind::Missing;
        return failure;
    }
    if (error != QSerialPort::PermissionError)
        return failure;
    failure.kind = OpenFailure::Kind::Busy;
    if (const std::optional<Lock> lock = FindLock(device)) {
        failure.lockFile = lock->path;
        failure.holder = lock->program;
        failure.holderPid = lock->pid;
        return failure;
    }
    const QFileInfo info(device);
    if (info.exists() && !(info.isReadable() && info.isWritable())) {
        failure.kind = OpenFailure::Kind::NoPermission;
        failure.group = info.group();
        // Joining root's group is no remedy, and a group without read and write is none.
        failure.groupHasAccess = !failure.group.isEmpty() && failure.group != u"root" &&
                                 info.permission(QFile::ReadGroup) &&
                                 info.permission(QFile::WriteGroup);
    }
    return failure;
}

} // namespace platform
