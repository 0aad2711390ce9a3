#include "tests/support/SimHarness.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace testing {

QString SimProgram() {
    const QString dir = qEnvironmentVariable("QMX_BUILD_DIR");
    if (dir.isEmpty())
        return {};
    const QString program = QDir(dir).filePath(QStringLiteral("qmx-sim"));
    return QFileInfo(program).isExecutable() ? program : QString();
}

SimProcess::SimProcess() {
    process_.setStandardErrorFile(QProcess::nullDevice());
}

SimProcess::~SimProcess() {
    Terminate();
}

bool SimProcess::Start(const QStringList& arguments, QString* error) {
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        Kill();
        return false;
    };
    const QString program = SimProgram();
    if (program.isEmpty())
        return fail(QStringLiteral("qmx-sim not found"));
    process_.start(program, arguments);
    if (!process_.waitForStarted(5000))
        return fail(process_.errorString());
    const QDeadlineTimer deadline(5000);
    while (!process_.canReadLine()) {
        if (deadline.hasExpired() || process_.state() != QProcess::Running)
            return fail(QStringLiteral("no terminal path from qmx-sim"));
        process_.waitForReadyRead(int(deadline.remainingTime()));
    }
    ptyPath_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    return !ptyPath_.isEmpty();
}

int SimProcess::Terminate() {
    if (process_.state() == QProcess::NotRunning)
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
        return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

void SimProcess::Kill() {
    if (process_.state() != QProcess::NotRunning)
        process_.kill();
}

bool PtyClient::Open(const QString& path) {
    Close();
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) {
        Close();
        return false;
    }
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    tcflush(fd_, TCIOFLUSH);
    return true;
}

void PtyClient::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool PtyClient::Send(const QString& command) {
    const QByteArray line = command.toLatin1() + "\r\n";
    return fd_ >= 0 && ::write(fd_, line.constData(), size_t(line.size())) == line.size();
}

QByteArray PtyClient::Receive(int lines, int timeoutMs) {
    QByteArray received;
    const QDeadlineTimer deadline(timeoutMs);
    while (fd_ >= 0 && received.count('\n') < lines && !deadline.hasExpired()) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, int(deadline.remainingTime())) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0)
            received.append(buffer, n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    return received;
}

QByteArray PtyClient::Transact(const QString& command, int lines, int timeoutMs) {
    if (!Send(command))
        return {};
    return Receive(lines, timeoutMs);
}

} // namespace testing
