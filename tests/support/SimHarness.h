#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// Helpers for tests that talk to qmx-sim over its pseudo-terminal (POSIX only).
namespace testing {

// qmx-sim in the build folder named by $QMX_BUILD_DIR; empty when it is not there.
QString SimProgram();

// Skips the running test when there is no qmx-sim to talk to.
#define QMX_SKIP_WITHOUT_SIM()                                                                     \
    do {                                                                                           \
        if (testing::SimProgram().isEmpty())                                                       \
            QSKIP("qmx-sim not built (QMX_BUILD_DIR unset)");                                      \
    } while (false)

// One qmx-sim process; terminated (and waited for) when destroyed.
class SimProcess {
public:
    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts qmx-sim and waits for the terminal path on its first line.
    bool Start(const QStringList& arguments, QString* error = nullptr);
    QString PtyPath() const { return ptyPath_; }
    // SIGTERM and wait; the exit code, or -1 when it did not end normally.
    int Terminate();
    // SIGKILL, not waited for.
    void Kill();
    qint64 Pid() const { return process_.processId(); }

private:
    QProcess process_;
    QString ptyPath_;
};

// A plain terminal client: open, raw mode, write lines, read with a deadline.
class PtyClient {
public:
    ~PtyClient() { Close(); }
    bool Open(const QString& path);
    void Close();
    bool Send(const QString& command); // adds CR LF
    // Reads until `lines` LFs have arrived or timeoutMs has passed.
    QByteArray Receive(int lines, int timeoutMs);
    QByteArray Transact(const QString& command, int lines = 1, int timeoutMs = 2000);

private:
    int fd_ = -1;
};

} // namespace testing
