#include "cli/Cli.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

// A signal handler may only note the signal and wake the event loop; the stop itself happens
// there, between two transactions of the run's link (the action the run gave OnStopSignal).

namespace cli {

namespace {

volatile std::sig_atomic_t received = 0;

std::function<void(int)>& Action() {
    static std::function<void(int)> action;
    return action;
}

#ifdef Q_OS_UNIX
int wakeUp[2] = {-1, -1};

extern "C" void NoteSignal(int signal) {
    received = signal;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeUp[1], &byte, 1);
}

bool OpenWakeUpPipe() {
    if (::pipe(wakeUp) != 0)
        return false;
    for (const int fd : wakeUp) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC); // the workers get signals, not this pipe
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return true;
}

void Stop() {
    char bytes[16];
    while (::read(wakeUp[0], bytes, sizeof bytes) > 0) {
    }
    if (Action())
        Action()(received);
}
#endif

} // namespace

void IgnoreBrokenPipe() {
#ifdef Q_OS_UNIX
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void CatchStopSignals() {
#ifdef Q_OS_UNIX
    if (wakeUp[0] >= 0 || !OpenWakeUpPipe())
        return;
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM})
        sigaction(signal, &action, nullptr);
    auto* notifier =
        new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { Stop(); });
#endif
}

int StopSignal() {
    return received;
}

void OnStopSignal(std::function<void(int)> action) {
    Action() = std::move(action);
}

void PassSignalOn(qint64 pid, int signal) {
#ifdef Q_OS_UNIX
    if (pid > 0)
        ::kill(pid_t(pid), signal);
#else
    Q_UNUSED(pid);
    Q_UNUSED(signal);
#endif
}

} // namespace cli
