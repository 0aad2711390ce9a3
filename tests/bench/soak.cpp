// Repeats CONNECT, LOAD, STORE and disconnect against qmx-sim on a pseudo-terminal through the
// real serial port, and shows whether memory or open descriptors grow with the cycles.
//
//   QMX_BUILD_DIR=build build/qmx-soak [cycles]

#include "link/ComSupport.h"
#include "link/QMXModule.h"
#include "platform/QtSerialControl.h"
#include "shell/MainModule.h"
#include "tests/support/Scripted.h"
#include "tests/support/SimHarness.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Usage {
    qint64 rssKiB = -1;
    qint64 descriptors = -1;
};

// VmRSS and the number of open descriptors of a process, from /proc.
Usage UsageOf(qint64 pid) {
    Usage usage;
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    QFile status(proc + QStringLiteral("status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                usage.rssKiB = line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    const QDir fds(proc + QStringLiteral("fd"));
    if (fds.exists())
        usage.descriptors = fds.entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size();
    return usage;
}

void PrintUsage(const char* when, qint64 soakPid, qint64 simPid) {
    const Usage soak = UsageOf(soakPid);
    const Usage sim = UsageOf(simPid);
    std::printf("%-6s qmx-soak: RSS %6lld KiB, %3lld fds   qmx-sim: RSS %6lld KiB, %3lld fds\n",
                when, soak.rssKiB, soak.descriptors, sim.rssKiB, sim.descriptors);
}

// Lets the event loop run until the series has finished; whether it succeeded.
bool Finished(Series* series) {
    return bool(testing::Await(series));
}

// One operator session: open the port, identify, load, store, close.
bool RunCycle(ComSupport& link, Program& program) {
    bool ok = bool(link.ComOpen());
    ok = ok && Finished(QMXModule::ConnectController(link, program.State, nullptr));
    ok = ok && Finished(QMXModule::LoadConfigFromController(link, program.Config, nullptr));
    ok = ok && Finished(QMXModule::StoreConfigToController(link, program.Config, nullptr));
    link.ComClose();
    return ok;
}

void PrintTimes(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    std::printf("%zu cycles: min %.3f s, median %.3f s, max %.3f s per cycle\n", seconds.size(),
                seconds.front(), seconds[seconds.size() / 2], seconds.back());
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // Progress lines appear as they come, also when the output goes to a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;

    QTemporaryDir dir;
    testing::SimProcess sim;
    QString error;
    const QString state = dir.filePath(QStringLiteral("sim-state.txt"));
    if (!sim.Start({"--state", state, "--log", "/dev/null"}, &error)) {
        std::fprintf(stderr, "cannot start qmx-sim (set QMX_BUILD_DIR): %s\n", qPrintable(error));
        return 1;
    }
    qputenv("QMX_COM1", sim.PtyPath().toLocal8Bit());
    Program program;
    MainModule::InitProgram(program, QStringLiteral("/L:E"));
    platform::QtSerialControl serial;
    ComSupport link(program.Lang());
    link.SetSerialControl(&serial);
    QTimer* ticks = MakeTickTimer(&app);
    link.UseTicksOf(ticks);
    ticks->start();
    link.ComInit(1, 1);

    const qint64 self = QCoreApplication::applicationPid();
    // The first cycle warms up the libraries and the port, so the start is measured after it.
    if (!RunCycle(link, program)) {
        std::fprintf(stderr, "the first cycle failed\n");
        return 1;
    }
    PrintUsage("start", self, sim.Pid());
    std::vector<double> seconds;
    const int every = std::max(1, cycles / 10);
    for (int i = 1; i <= cycles; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!RunCycle(link, program)) {
            std::fprintf(stderr, "cycle %d failed\n", i);
            return 1;
        }
        seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
        if (i % every == 0 && i < cycles)
            PrintUsage(qPrintable(QString::number(i)), self, sim.Pid());
    }
    PrintUsage("end", self, sim.Pid());
    PrintTimes(seconds);
    return 0;
}
