// Times CONNECT, LOAD and STORE against qmx-sim at 9600 bit/s over a pseudo-terminal with the
// real serial stack, next to the floor the protocol itself sets, and the CPU time they use.
//
//   QMX_BUILD_DIR=build build/link-bench [rounds]

#include "link/ComSupport.h"
#include "link/QMXModule.h"
#include "shell/MainModule.h"
#include "sim/DeviceModel.h"
#include "tests/support/Protocol.h"
#include "tests/support/Scripted.h"
#include "tests/support/SimHarness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

constexpr int kBaud = 9600;

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Floor {
    double shortest; // the receive wait at its shortest: one whole tick and a sliver
    double longest;  // two whole ticks
};

// What the protocol itself costs: each command line on the wire, then the reply, which the
// receive event reads a 2-tick wait after its first character. The wait overlaps the rest of
// the reply and lasts one to two tick periods, depending on where the first tick falls.
Floor FloorSeconds(const QStringList& commands) {
    sim::DeviceModel model;
    const double byteSeconds = sim::ByteDelayForBaud(kBaud) / 1000.0;
    const double tick = ComSupport::kTickMs / 1000.0;
    Floor floor{0.0, 0.0};
    for (const QString& command : commands) {
        const QString reply = model.Respond(command).value_or(QString());
        const double out = (command.size() + 2) * byteSeconds;
        const double back = (reply.size() + 2) * byteSeconds;
        floor.shortest += out + byteSeconds + std::max(back - byteSeconds, tick);
        floor.longest += out + byteSeconds + std::max(back - byteSeconds, 2 * tick);
    }
    return floor;
}

// Lets the event loop run until the series has finished; whether it succeeded.
bool Finished(Series* series) {
    return bool(testing::Await(series));
}

// A series, made and started anew on each run, as a run that tells whether it succeeded.
template <typename Make> std::function<bool()> Run(Make make) {
    return [make] {
        return Finished(make());
    };
}

// One transaction, waited for; whether it was answered.
bool Answered(ComSupport& link, const QString& command) {
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&link, &ComSupport::QueryFinished, &loop,
                     [&loop, &ok](const QueryReport& report) {
                         ok = report.Answered();
                         loop.quit();
                     });
    link.ComQuery(command);
    loop.exec();
    return ok;
}

void Measure(const char* name, int rounds, Floor floor, const std::function<bool()>& run) {
    double wall = 0.0;
    double cpu = 0.0;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        const double cpuStart = CpuSeconds();
        timer.start();
        if (!run()) {
            std::printf("%-26s failed\n", name);
            return;
        }
        wall += double(timer.nsecsElapsed()) / 1e9;
        cpu += CpuSeconds() - cpuStart;
    }
    std::printf("%-26s %7.3f s   floor %.3f .. %.3f s   cpu %6.3f s (%4.1f %%)\n", name,
                wall / rounds, floor.shortest, floor.longest, cpu / rounds, 100.0 * cpu / wall);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    testing::SimProcess sim;
    QString error;
    if (!sim.Start({"--baud", QString::number(kBaud), "--log", "/dev/null"}, &error)) {
        std::fprintf(stderr, "cannot start qmx-sim (set QMX_BUILD_DIR): %s\n", qPrintable(error));
        return 1;
    }
    qputenv("QMX_COM1", sim.PtyPath().toLocal8Bit());
    Program program;
    MainModule::InitProgram(program, "/L:E");
    ComSupport link(program.Lang());
    QTimer* ticks = MakeTickTimer(&app);
    link.UseTicksOf(ticks);
    ticks->start();
    link.ComInit(1, 1);
    if (!link.ComOpen())
        return 1;

    const auto identify =
        Run([&] { return QMXModule::ConnectController(link, program.State, nullptr); });
    const auto load =
        Run([&] { return QMXModule::LoadConfigFromController(link, program.Config, nullptr); });
    const auto store =
        Run([&] { return QMXModule::StoreConfigToController(link, program.Config, nullptr); });
    std::printf("qmx-sim at %d bit/s, mean of %d rounds\n", kBaud, rounds);
    Measure("connect", rounds, FloorSeconds(testing::kIdentifyCommands), identify);
    Measure("load", rounds, FloorSeconds(testing::kLoadQueries), load);
    // The store waits after the OK to "Z:UW" until five time-outs after it went out: a stale
    // OK would be followed by the real answer. Above the floor by that guard.
    Measure("store", rounds, FloorSeconds(*QMXModule::StoreCommands(program.Config)), store);
    link.ComClose();

    // The same load from controllers that misbehave once at "?:IS"; each such load had
    // trouble, so it ends with a quiet wait of five time-outs.
    const QStringList slowArgs{"--baud", QString::number(kBaud), "--log", "/dev/null"};
    const auto measureSlow = [&](const char* name, const QStringList& faults, int runs,
                                 const std::function<bool()>& series, const QStringList& floor) {
        testing::SimProcess slow;
        if (!slow.Start(slowArgs + faults, &error)) {
            std::fprintf(stderr, "cannot start qmx-sim: %s\n", qPrintable(error));
            return false;
        }
        qputenv("QMX_COM1", slow.PtyPath().toLocal8Bit());
        if (!link.ComOpen())
            return false;
        Measure(name, runs, FloorSeconds(floor), series);
        link.ComClose();
        return true;
    };
    const auto measureSlowLoad = [&](const char* name, const QStringList& faults, int runs) {
        return measureSlow(name, faults, runs, load, testing::kLoadQueries);
    };
    // Answered 250 ms late: one time-out, the repeat, and the wait for the repeat's reply.
    // Stalled 250 ms: both replies back to back, in one read. Answered 250 ms late and the
    // repeat 0.7 s after that (a busy controller): the owed line is awaited that long.
    if (!measureSlowLoad("load, ?:IS 250 ms late", {"--late", "?:IS=250"}, rounds) ||
        !measureSlowLoad("load, ?:IS stalls 250 ms", {"--stall", "?:IS=250"}, 1) ||
        !measureSlowLoad("load, ?:IS repeat +0.7 s",
                         {"--late", "?:IS=250", "--repeat-after", "?:IS=700"}, 1))
        return 1;
    // A restart (0.3 s without an answer) from the 10th query on, back with its factory values:
    // the first reading lost lines and differs from the next, so a third is read. A restart
    // from the 16th setting on, back with the values it had stored: the store reads back what
    // it sent, which the controller holds again here.
    if (!measureSlowLoad("load, restart 0.3 s mid-load",
                         {"--restart-at", "?:EP", "--restart-ms", "300", "--restart-to", "factory"},
                         1) ||
        !measureSlow("store, restart mid-store", {"--restart-at", "Z:EP1", "--restart-ms", "300"},
                     1, store, *QMXModule::StoreCommands(program.Config)))
        return 1;

    // A controller that never answers: five time-outs of 9 to 10 ticks each, then one more
    // in which a late reply would be waited out, spent sleeping in the event loop.
    testing::SimProcess silent;
    if (!silent.Start({"--silent-after", "0", "--log", "/dev/null"}, &error))
        return 1;
    qputenv("QMX_COM1", silent.PtyPath().toLocal8Bit());
    if (!link.ComOpen())
        return 1;
    Measure("no reply", 1, Floor{1.1, 1.2},
            [&link] { return !Answered(link, QStringLiteral("?:N")); });
    link.ComClose();
    return 0;
}
