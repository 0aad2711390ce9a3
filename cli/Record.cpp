#include "cli/Cli.h"

#include "link/QMXModule.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#else
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

// The provisioning record: one JSON line per controller, appended by several processes at
// once. A line is never left torn: a short write is finished, or the file is cut back to
// where the line began.

namespace cli {

namespace {

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

#ifdef Q_OS_UNIX
// Readable too where allowed, so that an append can see how the file ends.
int OpenForAppending(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EACCES)
        return fd;
    return ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
}

bool Lock(int fd, int operation) {
    while (::flock(fd, operation) != 0)
        if (errno != EINTR)
            return false;
    return true;
}

// The bytes at the end of the file; 0, or the errno of the write that failed.
int WriteAll(int fd, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return n < 0 ? errno : ENOSPC;
    }
    // Reported only once it is on the disk; a device or a pipe cannot be synced, and need not.
    return ::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS ? errno : 0;
}

int AppendLocked(int fd, QByteArray bytes) {
    if (!Lock(fd, LOCK_EX))
        return errno;
    const off_t start = ::lseek(fd, 0, SEEK_END);
    // A fragment left by a process killed while appending stays on a line of its own.
    char last = '\n';
    if (start > 0 && ::pread(fd, &last, 1, start - 1) == 1 && last != '\n')
        bytes.prepend('\n');
    const int error = WriteAll(fd, bytes);
    // Cut back to where the line began; should even that fail, the next append still starts a
    // line of its own.
    if (error != 0 && start >= 0) {
        [[maybe_unused]] const int cut = ::ftruncate(fd, start);
    }
    Lock(fd, LOCK_UN);
    return error;
}

void CloseFile(int fd) {
    ::close(fd);
}
#else
int OpenForAppending(const QByteArray& path) {
    return ::_open(path.constData(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
}

// No lock here: concurrent runs are a POSIX production line's concern.
int AppendLocked(int fd, const QByteArray& bytes) {
    const qint64 start = ::_lseeki64(fd, 0, SEEK_END);
    for (qsizetype done = 0; done < bytes.size();) {
        const int n = ::_write(fd, bytes.constData() + done, unsigned(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        const int error = n < 0 ? errno : ENOSPC;
        if (start >= 0)
            ::_chsize_s(fd, start);
        return error;
    }
    return 0;
}

void CloseFile(int fd) {
    ::_close(fd);
}
#endif

QJsonObject NothingWritten() {
    const auto commands = QMXModule::StoreCommands(FactoryDefaults());
    return {{QStringLiteral("settings"), 0},
            {QStringLiteral("total"), commands ? int(commands->size()) : 0},
            {QStringLiteral("commit"), QStringLiteral("not sent")}};
}

} // namespace

RecordFile::~RecordFile() {
    if (fd_ >= 0)
        CloseFile(fd_);
}

bool RecordFile::Open(const QString& path, QString& error) {
    if (fd_ >= 0)
        return true;
    fd_ = OpenForAppending(QFile::encodeName(path));
    if (fd_ < 0)
        error = SystemError(errno);
    return fd_ >= 0;
}

bool RecordFile::IsOpen() const {
    return fd_ >= 0;
}

bool RecordFile::Append(const QJsonObject& line, QString& error) {
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    const int failure = fd_ < 0 ? EBADF : AppendLocked(fd_, bytes);
    if (failure != 0)
        error = SystemError(failure);
    return failure == 0;
}

QString RecordTime() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QJsonObject RecordStart(const QString& port, const QString& fileName, bool verify) {
    QJsonObject line{{QStringLiteral("time"), QString()},
                     {QStringLiteral("port"), port},
                     {QStringLiteral("name"), QString()},
                     {QStringLiteral("serialNumber"), QString()},
                     {QStringLiteral("version"), QString()},
                     {QStringLiteral("revision"), QString()},
                     {QStringLiteral("buildDate"), QString()},
                     {QStringLiteral("file"),
                      fileName.isEmpty() ? QString() : QFileInfo(fileName).absoluteFilePath()},
                     {QStringLiteral("sha256"), QString()},
                     {QStringLiteral("written"), NothingWritten()},
                     {QStringLiteral("differences"), QJsonObject()},
                     {QStringLiteral("warnings"), QJsonArray()},
                     {QStringLiteral("interrupted"), false},
                     {QStringLiteral("exitCode"), 0},
                     {QStringLiteral("reason"), QString()}};
    if (verify)
        line.insert(QStringLiteral("verified"), false);
    return line;
}

QString HoldsText(const QJsonObject& written) {
    const int settings = written.value(QStringLiteral("settings")).toInt();
    const int beforeCommit = written.value(QStringLiteral("total")).toInt() - 1;
    const QString commit = written.value(QStringLiteral("commit")).toString();
    if (commit == u"ok")
        return QStringLiteral("the controller holds every parameter, stored");
    if (commit == u"uncertain")
        return QStringLiteral("the controller holds every setting, but whether \"Z:UW\" stored "
                              "them is not known: write again");
    if (settings == 0)
        return QStringLiteral("nothing was written: the controller holds what it held");
    return QStringLiteral("the controller holds %1 of the %2 settings, without \"Z:UW\": write "
                          "again")
        .arg(settings)
        .arg(beforeCommit);
}

} // namespace cli
