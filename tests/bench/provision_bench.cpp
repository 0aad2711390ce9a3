// Times qmxcli writing (and verifying) one file into one simulated controller, then into
// several in one call (4 by default), into 16 and into 32, each qmx-sim at 9600 bit/s over a
// pseudo-terminal. A production line wants 32 to take less than 1.5 times one.
//
//   QMX_BUILD_DIR=build build/provision-bench [controllers]

#include "tests/support/SimHarness.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

QString Cli() {
    return QDir(qEnvironmentVariable("QMX_BUILD_DIR")).filePath(QStringLiteral("qmxcli"));
}

// Runs qmxcli; the seconds it took, or a negative number when it failed.
double Run(const QStringList& arguments) {
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(Cli(), arguments);
    if (!cli.waitForFinished(120000) || cli.exitStatus() != QProcess::NormalExit ||
        cli.exitCode() != 0) {
        std::fprintf(stderr, "%s", cli.readAllStandardError().constData());
        return -1.0;
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(2, std::atoi(argv[1])) : 4;
    const int most = std::max(count, 32);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("stage.QMX"));
    if (Run({"defaults", file}) < 0)
        return 1;

    std::vector<std::unique_ptr<testing::SimProcess>> sims;
    QStringList devices;
    for (int i = 0; i < most; ++i) {
        sims.push_back(std::make_unique<testing::SimProcess>());
        QString error;
        if (!sims.back()->Start({"--baud", "9600", "--log", "/dev/null"}, &error)) {
            std::fprintf(stderr, "cannot start qmx-sim (set QMX_BUILD_DIR): %s\n",
                         qPrintable(error));
            return 1;
        }
        devices << QStringLiteral("--device") << sims.back()->PtyPath();
    }
    const QStringList write{"--lang", "en", "--yes", "write", "--verify", file};
    const double one = Run(devices.mid(0, 2) + write);
    if (one < 0)
        return 1;
    std::printf("write --verify into 1 controller:   %6.3f s\n", one);
    for (const int n : {count, 16, 32}) {
        const double all = Run(devices.mid(0, 2 * n) + write);
        if (all < 0)
            return 1;
        std::printf("write --verify into %2d controllers: %6.3f s  (%.2f x one)\n", n, all,
                    all / one);
    }
    return 0;
}
