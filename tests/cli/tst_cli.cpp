#include "files/FileCommands.h"
#include "files/FileModule.h"
#include "files/ParameterText.h"
#include "link/ComSupport.h"
#include "link/QMXModule.h"
#include "shell/MainModule.h"
#include "tests/support/Protocol.h"
#include "tests/support/Scripted.h"
#include "tests/support/SimHarness.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using testing::SimProcess;

namespace {

struct CliResult {
    int code = -1;
    QString out;
    QString err;
};

QString CliProgram() {
    return qEnvironmentVariable("QMX_BUILD_DIR") + QStringLiteral("/qmxcli");
}

// outFile: where standard output goes instead of the pipe; input: standard input.
CliResult RunCli(const QStringList& arguments, const QString& outFile = {},
                 const QByteArray& input = {}, const QString& workingFolder = {}) {
    QProcess process;
    if (!outFile.isEmpty())
        process.setStandardOutputFile(outFile);
    process.setWorkingDirectory(workingFolder);
    process.start(CliProgram(), arguments);
    process.write(input);
    process.closeWriteChannel();
    CliResult result;
    if (!process.waitForFinished(60000))
        return result;
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList LogLines(const QString& path) {
    return QString::fromLatin1(ReadAll(path)).split(u'\n', Qt::SkipEmptyParts);
}

// The record's lines, each parsed.
QList<QJsonObject> RecordLines(const QString& path) {
    QList<QJsonObject> lines;
    for (const QByteArray& line : ReadAll(path).split('\n'))
        if (!line.isEmpty())
            lines << QJsonDocument::fromJson(line).object();
    return lines;
}

// The setting commands a simulator's log holds, the identification's "Z:IE0" not counted.
qsizetype SettingsSent(const QString& log) {
    const QStringList lines = LogLines(log);
    return lines.filter(QRegularExpression("^(Z:|S:N)")).size() - lines.count("Z:IE0") -
           lines.count("Z:UW");
}

// The bytes of a file image other than its two dates.
QByteArray WithoutDates(QByteArray image) {
    image.replace(FileModule::kCreatedOffset, 16, QByteArray(16, '\0'));
    return image;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void info();
    void lateReplies_data();
    void lateReplies();
    void portMapping();
    void lineSpeedAndPort_data();
    void lineSpeedAndPort();
    void writeVerify_data();
    void writeVerify();
    void textRoundTrip_data();
    void textRoundTrip();
    void importRefuses_data();
    void importRefuses();
    void jsonOutputs_data();
    void jsonOutputs();
    void manyControllers();
    void workersThatDie_data();
    void workersThatDie();
    void interrupted_data();
    void interrupted();
    void recordAppendsWhole();
    void textEdges();
    void unprivileged_data();
    void unprivileged();
    void outputFailures();
    void readMatchesWindowSaveAs();
    void writeStoresTheFile();
    void showFactoryDefaults();
    void diffListsChangedFields();
    void failures_data();
    void failures();
    void unwritableSettingsAndTrace();

private:
    // Starts qmx-sim with extra arguments, logging to log.txt in the temporary folder.
    bool StartSim(SimProcess& sim, const QStringList& extra = {});
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QStringList Device(const SimProcess& sim) const {
        return {"--device", sim.PtyPath(), "--lang", "en"};
    }

    QTemporaryDir dir_;
    QMap<QString, QMap<QString, int>> shapes_; // JSON documents: command -> key -> type
};

void TestCli::initTestCase() {
    if (testing::SimProgram().isEmpty() || !QFile::exists(CliProgram()))
        QSKIP("qmx-sim or qmxcli not built");
    QVERIFY(dir_.isValid());
    // The qmxcli processes keep their settings (the port mapping) here.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(Path("config")));
}

bool TestCli::StartSim(SimProcess& sim, const QStringList& extra) {
    QFile::remove(Path("log.txt"));
    QString error;
    const bool ok = sim.Start(QStringList{"--log", Path("log.txt")} + extra, &error);
    if (!ok)
        qWarning("qmx-sim: %s", qPrintable(error));
    return ok;
}

void TestCli::info() {
    SimProcess sim;
    QVERIFY(StartSim(sim, {"--serial", "AB12345678", "--firmware", "REV1.30", "--revision", "R7",
                           "--build-date", "20250101"}));
    const CliResult r = RunCli(Device(sim) + QStringList{"--trace", "info"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QString("name = QMX001-SIM\n"
                            "serial number = AB12345678\n"
                            "version = 1.30\n"
                            "revision = R7\n"
                            "build date = 20250101\n"));
    QCOMPARE(LogLines(Path("log.txt")), testing::kIdentifyCommands);
    // A path with a slash is a path from the working folder, also through a link.
    QVERIFY(QDir(dir_.path()).mkpath("dev"));
    QFile::remove(Path("dev/c1"));
    QVERIFY(QFile::link(sim.PtyPath(), Path("dev/c1")));
    const CliResult relative = RunCli({"--device", "dev/c1", "info"}, {}, {}, dir_.path());
    QCOMPARE(relative.code, 0);
    // The wire trace: each line out, and each reply taken.
    for (const char* line : {"> Z:IE0", "= OK", "> ?:N", "= QMX001-SIM", "> ?:B", "= 20250101",
                             "> ?:S", "= AB12345678", "> ?:V", "= REV1.30", "> ?:-", "= R7"})
        QVERIFY2(r.err.contains(QLatin1String(line)), line);
}

void TestCli::lateReplies_data() {
    QTest::addColumn<QString>("late");     // the command answered 250 ms late
    QTest::addColumn<QStringList>("call"); // @dir: the test's folder
    QTest::addColumn<QString>("check");    // what to compare with the controller afterwards
    QTest::addColumn<int>("sent");         // times the late command went out
    QTest::addColumn<int>("readings");     // times every parameter was read

    // Late but whole: nothing is read again. The serial number is asked twice. A store with
    // trouble reads every parameter back, once: that is its verify.
    QTest::newRow("identification") << "?:S" << QStringList{"info"} << "" << 4 << 0;
    QTest::newRow("load") << "?:IS" << QStringList{"read", "@dir/late.QMX"} << "@dir/late.QMX" << 2
                          << 1;
    QTest::newRow("store, verified by its read-back")
        << "Z:IS1" << QStringList{"--yes", "--json", "write", "--verify", "@dir/factory.QMX"}
        << "@dir/factory.QMX" << 2 << 1;
}

// One reply 250 ms late (the others 30 ms after their command): the right values, success.
void TestCli::lateReplies() {
    QFETCH(QString, late);
    QFETCH(QStringList, call);
    QFETCH(QString, check);
    QFETCH(int, sent);
    QFETCH(int, readings);
    QVERIFY(RunCli({"defaults", Path("factory.QMX")}).code == 0 ||
            QFile::exists(Path("factory.QMX")));
    QFile::remove(Path("late.QMX"));
    QVERIFY(WriteFile(Path("late-state.txt"), "IS=2\nD0=700\n"));
    SimProcess sim;
    QVERIFY(StartSim(
        sim, {"--state", Path("late-state.txt"), "--processing", "30", "--late", late + "=250"}));
    for (QString& argument : call)
        argument.replace("@dir", dir_.path());
    const CliResult r = RunCli(Device(sim) + call);
    QCOMPARE(r.code, 0);
    QCOMPARE(LogLines(Path("log.txt")).count(late), sent);
    QCOMPARE(LogLines(Path("log.txt")).count("?:D0"), readings);
    if (call.contains("--verify"))
        QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8())["verified"], QJsonValue(true));
    if (check.isEmpty()) {
        QVERIFY(r.out.contains("serial number = SIM0000001\n"));
        return;
    }
    const CliResult diff =
        RunCli(Device(sim) + QStringList{"diff", check.replace("@dir", dir_.path())});
    QCOMPARE(diff.out, QString("no differences\n"));
}

void TestCli::lineSpeedAndPort_data() {
    QTest::addColumn<QStringList>("call"); // @ stands for the simulator's device
    QTest::addColumn<int>("code");
    QTest::newRow("--speed 4800") << QStringList{"--device", "@", "--speed", "4800", "info"} << 0;
    QTest::newRow("the default 9600") << QStringList{"--device", "@", "info"} << 3;
    QTest::newRow("--com 2") << QStringList{"--com", "2", "--speed", "4800", "info"} << 0;
    QTest::newRow("--com 16") << QStringList{"--com", "16", "--speed", "4800", "info"} << 0;
}

// A controller at 4800 bit/s answers only a host at 4800 bit/s.
void TestCli::lineSpeedAndPort() {
    QFETCH(QStringList, call);
    QFETCH(int, code);
    SimProcess sim;
    QVERIFY(StartSim(sim, {"--baud", "4800"}));
    qputenv("QMX_COM2", QFile::encodeName(sim.PtyPath()));
    qputenv("QMX_COM16", QFile::encodeName(sim.PtyPath()));
    call.replaceInStrings(QRegularExpression("^@$"), sim.PtyPath());
    const CliResult r = RunCli(call + QStringList{"--lang", "en"});
    qunsetenv("QMX_COM2");
    qunsetenv("QMX_COM16");
    QCOMPARE(r.code, code);
    QCOMPARE(r.out.startsWith("name = QMX001-SIM\n"), code == 0);
}

// ports --map keeps COM 3 in the settings file; --com 3 then finds the controller by it.
void TestCli::portMapping() {
    SimProcess sim;
    QVERIFY(StartSim(sim));
    qunsetenv("QMX_COM3");
    const CliResult map = RunCli({"ports", "--map", "3", sim.PtyPath()});
    QCOMPARE(map.code, 0);
    QCOMPARE(map.out, QStringLiteral("COM3 -> %1\n").arg(sim.PtyPath()));
    const CliResult list = RunCli({"ports"});
    QVERIFY2(
        list.out.contains(QRegularExpression(QStringLiteral("COM3 +%1 +settings file +present")
                                                 .arg(QRegularExpression::escape(sim.PtyPath())))),
        qPrintable(list.out));
    const CliResult info = RunCli({"--com", "3", "--lang", "en", "info"});
    QCOMPARE(info.code, 0);
    QVERIFY(info.out.startsWith("name = QMX001-SIM\n"));
    QCOMPARE(RunCli({"ports", "--unmap", "3"}).code, 0);
    QVERIFY(RunCli({"ports"}).out.contains("COM3  /dev/ttyS2 "));
}

void TestCli::readMatchesWindowSaveAs() {
    // A controller whose parameters differ from the factory set.
    QVERIFY(WriteFile(Path("state.txt"), "D0=700\nN=-250\nML1=-1\nCR=1000\nMT=1\n"));
    SimProcess sim;
    QVERIFY(StartSim(sim, {"--state", Path("state.txt")}));

    const CliResult r = RunCli(Device(sim) + QStringList{"read", Path("cli.QMX")});
    QCOMPARE(r.code, 0);
    const QByteArray cli = ReadAll(Path("cli.QMX"));
    QCOMPARE(cli.size(), FileModule::kFileSize);

    // What the window does: CONNECT, LOAD, then Save As.
    Program program;
    MainModule::InitProgram(program, "/L:E");
    FileModule files(program);
    qputenv("QMX_COM1", sim.PtyPath().toLocal8Bit());
    ComSupport link(program.Lang());
    QTimer* ticks = MakeTickTimer(&link);
    link.UseTicksOf(ticks);
    ticks->start();
    link.ComInit(1, 1);
    testing::ScriptedMessageBoxes boxes;
    testing::ScriptedFileDialogs dialogs;
    QVERIFY(link.ComOpen());
    QVERIFY(testing::Await(QMXModule::ConnectController(link, program.State, nullptr)));
    program.State.IsConnected = kTrue;
    QVERIFY(testing::Await(QMXModule::LoadConfigFromController(link, program.Config, nullptr)));
    link.ComClose();
    testing::ScriptedFileView view(dialogs, boxes);
    dialogs.names.enqueue(Path("window.QMX"));
    FileCommands(program, files, link, view).FileSaveAs();
    QVERIFY(boxes.shown.isEmpty());

    QCOMPARE(WithoutDates(cli), WithoutDates(ReadAll(Path("window.QMX"))));
    QCOMPARE(cli.mid(FileModule::kSerialOffset, 10), QByteArray("SIM0000001"));
    QCOMPARE(program.Config.originOffset, -250);
}

void TestCli::writeStoresTheFile() {
    Program program;
    MainModule::InitProgram(program, "");
    ConfigRecord& r = program.Config;
    r.defaultSpeedMin = 300;
    r.originOffset = -250;
    r.jogAccelTime = 0;
    r.jogDialPulses = 0;
    r.limitSensorMode = {0, -1};
    r.runCurrent = 660;
    r.stopCurrent = 330;
    program.State.CurrentFileName = Path("edited.QMX");
    QFile::remove(Path("edited.QMX"));
    testing::ScriptedMessageBoxes boxes;
    FileModule files(program);
    QVERIFY(files.CreateConfigFile(Path("edited.QMX"), [&boxes](const Question& question) {
        return testing::AskInBox(boxes, question);
    }));

    SimProcess sim;
    QVERIFY(StartSim(sim, {"--state", Path("written-state.txt")}));
    // The file carries "0000000000": the serial-number question needs --yes.
    CliResult r1 = RunCli(Device(sim) + QStringList{"write", Path("edited.QMX")});
    QCOMPARE(r1.code, 2);
    QVERIFY(r1.err.contains("Mismuch QMX and Config file,Contiue load file ?"));
    QVERIFY(r1.err.contains("give --yes"));
    const CliResult r2 = RunCli(Device(sim) + QStringList{"--yes", "write", Path("edited.QMX")});
    QCOMPARE(r2.code, 0);

    const QStringList expected{
        "Z:D0100",   "Z:D130000", "Z:D0300", "Z:D15000", "Z:D2200", "Z:J0100",
        "Z:J130000", "Z:J0500",   "Z:J1500", "Z:J20",    "Z:O0100", "Z:O130000",
        "Z:O0500",   "Z:O15000",  "Z:O2200", "Z:EP1",    "Z:EA0",   "Z:EF1",
        "Z:EJ1",     "Z:IS1",     "Z:IF1",   "Z:MO0",    "S:N-250", "Z:ML00",
        "Z:ML1-1",   "Z:MD0",     "Z:MS1",   "Z:CR4095", "Z:CS0",   "Z:CR1375",
        "Z:CS688",   "Z:CT4",     "Z:MT0",   "Z:ED0",    "Z:EM10",  "Z:UW"};
    const QStringList log = LogLines(Path("log.txt"));
    QCOMPARE(log.mid(log.size() - 36), expected);

    // The controller now holds the file's parameters.
    const CliResult diff = RunCli(Device(sim) + QStringList{"diff", Path("edited.QMX")});
    QCOMPARE(diff.code, 1);
    // jogDialPulses 0 is stored as the controller's 10: the one field that reads back otherwise.
    QCOMPARE(diff.out, QString("jogDialPulses: controller 10 pulses, file 0 pulses\n"));
}

void TestCli::showFactoryDefaults() {
    const CliResult made = RunCli({"defaults", Path("shown.QMX")});
    QCOMPARE(made.code, 0);
    const CliResult r = RunCli({"show", Path("shown.QMX")});
    QCOMPARE(r.code, 0);
    // The header: dates in local time, then the fields.
    const QString date = QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d");
    const QRegularExpression header(QStringLiteral("^created = %1\nupdated = %1\nversion = 1.23\n"
                                                   "serial number = 0000000000\n")
                                        .arg(date));
    QVERIFY2(header.match(r.out).hasMatch(), qPrintable(r.out));
    QCOMPARE(r.out.section(u'\n', 4), QString("defaultSpeedMin = 500 pulses/s\n"
                                              "defaultSpeedMax = 5000 pulses/s\n"
                                              "defaultAccelTime = 200 ms\n"
                                              "originSpeedMin = 500 pulses/s\n"
                                              "originSpeedMax = 5000 pulses/s\n"
                                              "originAccelTime = 200 ms\n"
                                              "jogSpeedMin = 500 pulses/s\n"
                                              "jogSpeedMax = 500 pulses/s\n"
                                              "jogAccelTime = 0 ms\n"
                                              "excitationAtStartUp = True\n"
                                              "autoExcitation = False\n"
                                              "excitationAtEmergencyStop = True\n"
                                              "jogInputEnabled = True\n"
                                              "reservedSwitch = 0\n"
                                              "comSpeedIndex = 1\n"
                                              "comFlowControl = True\n"
                                              "originMode = 0\n"
                                              "originOffset = 0\n"
                                              "limitSensorMode(0) = 0\n"
                                              "limitSensorMode(1) = 0\n"
                                              "reverseDirection = False\n"
                                              "stepMode = 1\n"
                                              "runCurrent = 350 mA\n"
                                              "stopCurrent = 175 mA\n"
                                              "ctValue = 20\n"
                                              "rotationStage = False\n"
                                              "jogDialEnabled = False\n"
                                              "jogDialPulses = 10 pulses\n"));
    // Dates that are no dates (NaN, and 1e300) say so.
    QByteArray damaged = ReadAll(Path("shown.QMX"));
    damaged.replace(FileModule::kCreatedOffset, 8, QByteArray::fromHex("000000000000f87f"));
    damaged.replace(FileModule::kUpdatedOffset, 8, QByteArray::fromHex("9c7500883ce4377e"));
    QVERIFY(WriteFile(Path("damaged.QMX"), damaged));
    const CliResult d = RunCli({"show", Path("damaged.QMX")});
    QVERIFY2(d.out.startsWith("created = invalid date\nupdated = invalid date\n"),
             qPrintable(d.out));
}

void TestCli::diffListsChangedFields() {
    QVERIFY(RunCli({"defaults", Path("base.QMX")}).code == 0 || QFile::exists(Path("base.QMX")));
    QVERIFY(WriteFile(Path("diff-state.txt"), "O1=8000\nMD=1\nCS=500\n"));
    SimProcess sim;
    QVERIFY(StartSim(sim, {"--state", Path("diff-state.txt")}));
    const CliResult r = RunCli(Device(sim) + QStringList{"diff", Path("base.QMX")});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QString("originSpeedMax: controller 8000 pulses/s, file 5000 pulses/s\n"
                            "reverseDirection: controller True, file False\n"
                            "stopCurrent: controller 240 mA, file 175 mA\n"));
    // Booleans compare by meaning: 1 in a file is True, as the controller's -1 is.
    QByteArray ones = ReadAll(Path("base.QMX"));
    ones.replace(158, 2, QByteArray::fromHex("0100")); // excitationAtStartUp
    QVERIFY(WriteFile(Path("ones.QMX"), ones));
    SimProcess plain;
    QVERIFY(StartSim(plain));
    QCOMPARE(RunCli(Device(plain) + QStringList{"diff", Path("ones.QMX")}).out,
             QString("no differences\n"));
}

void TestCli::failures_data() {
    QTest::addColumn<QStringList>("simArguments"); // empty: no simulator
    QTest::addColumn<QStringList>("cliArguments"); // @ stands for the simulator's device
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    const QStringList none;
    QTest::newRow("no command") << none << QStringList{} << 1 << "no command given";
    QTest::newRow("unknown command") << none << QStringList{"flash"} << 1 << "unknown command";
    QTest::newRow("missing file") << none << QStringList{"show"} << 1 << "takes one file name";
    QTest::newRow("port out of range")
        << none << QStringList{"--com", "17", "info"} << 1 << "--com takes";
    QTest::newRow("odd speed") << none << QStringList{"--speed", "1200", "info"} << 1
                               << "--speed takes";
    QTest::newRow("odd language") << none << QStringList{"--lang", "de", "info"} << 1
                                  << "--lang takes";
    QTest::newRow("empty device") << none << QStringList{"--device", "", "info"} << 1
                                  << "--device takes";
    QTest::newRow("map out of range")
        << none << QStringList{"ports", "--map", "17", "/dev/x"} << 1 << "--map and --unmap take";
    QTest::newRow("port cannot be opened")
        << none << QStringList{"--device", "/nonexistent/tty", "--lang", "en", "info"} << 2
        << "QMX-001 LINK: /nonexistent/tty: No such file or directory\n  Check the cable";
    QTest::newRow("show missing file")
        << none << QStringList{"--lang", "en", "show", "/nonexistent/x.QMX"} << 2
        << "Load QMX-001 config file: ";
    QTest::newRow("no controller") << QStringList{"--silent-after", "0"}
                                   << QStringList{"--device", "@", "--lang", "en", "info"} << 3
                                   << "QMX-001 LINK: cannot connect QMX-001.";
    QTest::newRow("foreign device")
        << QStringList{"--name", "XYZ001"} << QStringList{"--device", "@", "--lang", "en", "info"}
        << 3 << "cannot connect QMX-001.";
    QTest::newRow("old version") << QStringList{"--firmware", "V1.09"}
                                 << QStringList{"--device", "@", "--lang", "en", "info"} << 3
                                 << "Cannot use old QMX-001 version.";
    QTest::newRow("japanese message")
        << QStringList{"--firmware", "V0.95"} << QStringList{"--device", "@", "info"} << 3
        << QString::fromUtf8("QMX-001通信: 古いバージョンのQMX-001は接続できません。");
    QTest::newRow("load stops") << QStringList{"--silent-at", "?:EP"}
                                << QStringList{"--device", "@",    "--lang",
                                               "en",       "read", "@dir/stopped.QMX"}
                                << 2 << "cannot connect QMX-001.";
    QTest::newRow("late OK, then NG to Z:UW")
        << QStringList{"--late", "Z:IS1=250", "--reply", "Z:UW=NG"}
        << QStringList{"--device", "@", "--lang", "en", "--yes", "write", "@dir/factory.QMX"} << 2
        << "cannot connect QMX-001.\nqmxcli: write stopped: the controller answered \"NG\" to "
           "\"Z:UW\"";
    QTest::newRow("stale OK, then NG to Z:UW")
        << QStringList{"--stale-before", "Z:UW", "--reply", "Z:UW=NG", "--late", "Z:UW=100"}
        << QStringList{"--device", "@", "--lang", "en", "--yes", "write", "@dir/factory.QMX"} << 2
        << "may or may not be kept. Store again.";
    QTest::newRow("store refused")
        << QStringList{"--reply", "Z:EP1=NG"}
        << QStringList{"--device", "@", "--lang", "en", "--yes", "write", "@dir/factory.QMX"} << 2
        << "write stopped: the controller answered \"NG\" to \"Z:EP1\"";
    QTest::newRow("file exists, nothing sent")
        << QStringList{} << QStringList{"--device", "@", "--lang", "en", "read", "@dir/factory.QMX"}
        << 2 << "factory.QMX exists; give --yes to replace it";
    QTest::newRow("diff of a file that does not load")
        << QStringList{} << QStringList{"--device", "@", "--lang", "en", "diff", "/nonexistent/x"}
        << 2 << "Load QMX-001 config file: ";
    QTest::newRow("export onto its source")
        << none << QStringList{"--yes", "export", "@dir/factory.QMX", "@dir/factory.QMX"} << 2
        << "is the file being read";
    QTest::newRow("export onto a device")
        << none << QStringList{"--yes", "export", "@dir/factory.QMX", "/dev/null"} << 2
        << "/dev/null is not a regular file";
    QTest::newRow("export onto a file without --yes")
        << none << QStringList{"export", "@dir/factory.QMX", "@dir/existing.txt"} << 2
        << "existing.txt exists; give --yes";
    QTest::newRow("--record with another command")
        << none << QStringList{"--record", "@dir/r.log", "info"} << 1 << "--record FILE goes";
    QTest::newRow("an escape sequence as the command")
        << none << QStringList{"\x1b[2Jflash"} << 1 << "unknown command \"\\x1b[2Jflash\"";
    QTest::newRow("an escape sequence in a file name")
        << none << QStringList{"--lang", "en", "show", "@dir/\x1b[31mx.QMX"} << 2
        << "Load QMX-001 config file: @dir/\\x1b[31mx.QMX: ";
    QTest::newRow("an escape sequence in a name the file module says")
        << none << QStringList{"--lang", "en", "show", "@dir/\x1b[31mfolder.QMX"} << 2
        << "\\x1b[31mfolder.QMX is not a regular file";
    QTest::newRow("the same port twice, nothing sent")
        << QStringList{} << QStringList{"--device", "@", "--device", "@", "info"} << 1
        << "is named twice";
    const QStringList write{"--device", "@", "--lang", "en", "--yes", "write", "--record"};
    QTest::newRow("a record in no folder, nothing sent")
        << QStringList{} << write + QStringList{"@dir/none/r.log", "@dir/factory.QMX"} << 2
        << "cannot open the record @dir/none/r.log: No such file or directory; nothing was sent";
    QTest::newRow("a record that cannot take the line")
        << QStringList{} << write + QStringList{"/dev/full", "@dir/factory.QMX"} << 2
        << "cannot add to the record /dev/full: No space left on device";
    QTest::newRow("read into no folder, nothing sent")
        << QStringList{} << QStringList{"--device", "@", "read", "@dir/none/x.QMX"} << 2
        << "cannot write into the folder @dir/none: No such file or directory";
    QTest::newRow("read through a link to nothing, nothing sent")
        << QStringList{} << QStringList{"--device", "@", "read", "@dir/dangling.QMX"} << 2
        << "dangling.QMX is a symbolic link to @dir/nowhere.QMX, which does not exist; give --yes";
    QTest::newRow("export through a link to nothing")
        << none << QStringList{"export", "@dir/factory.QMX", "@dir/dangling.QMX"} << 2
        << "which does not exist; give --yes to write through it";
}

void TestCli::failures() {
    QFETCH(QStringList, simArguments);
    QFETCH(QStringList, cliArguments);
    QFETCH(int, code);
    QFETCH(QString, message);

    QVERIFY(RunCli({"defaults", Path("factory.QMX")}).code == 0 ||
            QFile::exists(Path("factory.QMX")));
    SimProcess sim;
    const bool needsSim = cliArguments.contains("@");
    if (needsSim)
        QVERIFY(StartSim(sim, simArguments));
    for (QString& argument : cliArguments) {
        if (argument == u"@")
            argument = sim.PtyPath();
        argument.replace("@dir", dir_.path());
    }
    QVERIFY(WriteFile(Path("existing.txt"), "kept"));
    QFile::remove(Path("dangling.QMX"));
    QVERIFY(QFile::link(Path("nowhere.QMX"), Path("dangling.QMX")));
    QVERIFY(QDir(dir_.path()).mkpath("\x1b[31mfolder.QMX"));
    message.replace("@dir", dir_.path());
    const CliResult r = RunCli(cliArguments);
    QCOMPARE(r.code, code);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY2(!r.err.contains(QChar(0x1b)), qPrintable(r.err));
    if (code == 3 || code == 2)
        QVERIFY(r.out.isEmpty());
    // An argument error: one line with a hint, never the whole usage.
    if (code == 1)
        QVERIFY2(r.err.count(u'\n') == 1 && r.err.contains("; see qmxcli --help\n"),
                 qPrintable(r.err));
    QVERIFY(!QFile::exists(Path("stopped.QMX")) && !QFile::exists(Path("nowhere.QMX")));
    QCOMPARE(ReadAll(Path("existing.txt")), QByteArray("kept"));
    // Refused before a word to the controller.
    static const QRegularExpression upFront("give --yes|nothing was sent|into the folder|twice");
    if (needsSim && upFront.match(message).hasMatch())
        QCOMPARE(LogLines(Path("log.txt")), QStringList());
}

// ports --map fails when the settings file cannot be written; QMX_TRACE matters only to the
// commands that use the line, and a trace that cannot be written only earns a warning.
void TestCli::unwritableSettingsAndTrace() {
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/dev/null/config");
    const CliResult map = RunCli({"ports", "--map", "3", "/dev/ttyS9"});
    qputenv("XDG_CONFIG_HOME", config);
    QCOMPARE(map.code, 2);
    QVERIFY2(map.err.contains("cannot write the settings file"), qPrintable(map.err));

    SimProcess sim;
    QVERIFY(StartSim(sim, {}));
    qputenv("QMX_TRACE", "/dev/null/trace");
    const CliResult defaults = RunCli({"defaults", Path("traced.QMX")});
    const CliResult info = RunCli({"--device", sim.PtyPath(), "info"});
    qunsetenv("QMX_TRACE");
    QCOMPARE(defaults.code, 0);
    QCOMPARE(defaults.err, QString());
    QCOMPARE(info.code, 0);
    QVERIFY2(info.err.contains("warning: cannot write the trace"), qPrintable(info.err));
}

void TestCli::writeVerify_data() {
    QTest::addColumn<QStringList>("simArguments"); // @dir: the test's folder
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("commit"); // the record's written.commit
    QTest::addColumn<int>("settings");   // settings answered OK
    QTest::addColumn<int>("sent");       // setting commands in the controller's log; -1: any
    QTest::addColumn<int>("readings");   // times every parameter was read back
    const QStringList verify{"--verify"};
    QTest::newRow("holds what was sent")
        << QStringList{} << verify << 0 << "verify: the controller holds every parameter sent\n"
        << "ok" << 35 << 35 << 1;
    QTest::newRow("OK but keeps its old run current")
        << QStringList{"--ignore-setting", "CR"} << verify << 4
        << "verify: runCurrent: sent 660 mA, read back 350 mA (controller 1375, 729)\n"
        << "ok" << 35 << 35 << 2;
    QTest::newRow("the same, as JSON")
        << QStringList{"--ignore-setting", "CR"} << QStringList{"--json", "--verify"} << 4 << ""
        << "ok" << 35 << 35 << 2;
    QTest::newRow("store refused: nothing verified")
        << QStringList{"--reply", "Z:EP1=NG"} << verify << 2 << ""
        << "not sent" << 15 << 16 << 0;
    QTest::newRow("store refused at Z:UW") << QStringList{"--reply", "Z:UW=NG"} << verify << 2 << ""
                                           << "refused" << 35 << 35 << 0;
    QTest::newRow("Z:UW unanswered") << QStringList{"--silent-at", "Z:UW"} << verify << 2 << ""
                                     << "unanswered" << 35 << 35 << 0;
    QTest::newRow("a stale OK to Z:UW, then its NG")
        << QStringList{"--stale-before", "Z:UW", "--reply", "Z:UW=NG", "--late", "Z:UW=100"}
        << verify << 2 << ""
        << "uncertain" << 35 << 35 << 0;
    QTest::newRow("read-back unanswered: a failure, not a mismatch")
        << QStringList{"--silent-at", "?:MS"} << verify << 2 << ""
        << "ok" << 35 << 35 << 1;
    QTest::newRow("a restart mid-store: back with its stored values, without --verify")
        << QStringList{"--state", "@dir/restart.txt", "--restart-at",
                       "Z:IS1",   "--restart-ms",     "300"}
        << QStringList{} << 4
        << "verify: defaultSpeedMin: sent 500 pulses/s, read back 700 pulses/s (controller 500, "
           "700)\n"
        << "ok" << 35 << -1 << 2;
}

// The exit code, the report, and the record's line: what the controller holds, as its own log
// shows it, and verified only when every value read back matched.
void TestCli::writeVerify() {
    QFETCH(QStringList, simArguments);
    QFETCH(QStringList, options);
    QFETCH(int, code);
    QFETCH(QString, report);
    QFETCH(QString, commit);
    QFETCH(int, settings);
    QFETCH(int, sent);
    QFETCH(int, readings);
    const bool json = options.contains("--json");
    QVERIFY(WriteFile(Path("660.txt"), "runCurrent = 660\nstopCurrent = 330\n"));
    QVERIFY(WriteFile(Path("restart.txt"), "D0=700\n"));
    for (const char* name : {"660.QMX", "base.QMX", "verify.log"})
        QFile::remove(Path(name));
    QCOMPARE(RunCli({"defaults", Path("base.QMX")}).code, 0);
    QCOMPARE(RunCli({"import", "--base", Path("base.QMX"), Path("660.txt"), Path("660.QMX")}).code,
             0);
    SimProcess sim;
    QVERIFY(StartSim(sim, simArguments.replaceInStrings("@dir", dir_.path())));
    const QStringList call{"--yes", "write", "--record", Path("verify.log"), Path("660.QMX")};
    const CliResult r = RunCli(Device(sim) + options + call);
    QCOMPARE(r.code, code);
    const QList<QJsonObject> record = RecordLines(Path("verify.log"));
    QCOMPARE(record.size(), 1);
    QCOMPARE(record[0].value("exitCode").toInt(), code);
    QCOMPARE(record[0].contains("verified"), options.contains("--verify"));
    QCOMPARE(record[0].value("verified").toBool(), code == 0);
    QCOMPARE(record[0].value("reason").toString().isEmpty(), code == 0);
    QCOMPARE(record[0].value("differences").toObject().size(), code == 4 ? 1 : 0);
    const QJsonObject written = record[0].value("written").toObject();
    QCOMPARE(written.value("commit").toString(), commit);
    QCOMPARE(written.value("settings").toInt(), settings);
    if (sent >= 0)
        QCOMPARE(SettingsSent(Path("log.txt")), sent);
    QCOMPARE(LogLines(Path("log.txt")).count("?:D0"), readings);
    QCOMPARE(record[0].value("warnings").toArray(), QJsonArray()); // at the file's line speed
    if (code == 2 && commit != "ok")
        QVERIFY2(r.err.contains(commit == "uncertain"
                                    ? QString("whether \"Z:UW\" stored them is not known")
                                    : QString("holds %1 of the 35 settings").arg(settings)),
                 qPrintable(r.err));
    if (!json) {
        QCOMPARE(r.out, report);
        return;
    }
    const QJsonObject document = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(document.value("verified").toBool(true), false);
    QCOMPARE(document.value("exitCode").toInt(), 4);
    QCOMPARE(document.value("written").toObject(), written);
    const QJsonObject run = document.value("differences").toObject().value("runCurrent").toObject();
    QCOMPARE(run.value("sent").type(), run.value("readBack").type());
    QCOMPARE(run.value("sent").toInt(), 660);
    QCOMPARE(run.value("readBack").toInt(), 350);
    QCOMPARE(run.value("raw").toObject().value("readBack").toString(), QString("729"));
}

void TestCli::textRoundTrip_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("shows"); // a line show prints of the imported file
    QTest::newRow("factory defaults") << QByteArray() << "jogDialPulses = 10 pulses";
    QTest::newRow("upper ends")
        << QByteArray(
               "defaultSpeedMin = 30000\ndefaultSpeedMax = 30000\ndefaultAccelTime = 1000\n"
               "originSpeedMin = 30000\noriginSpeedMax = 30000\noriginAccelTime = 1000\n"
               "jogSpeedMin = 30000\njogSpeedMax = 30000\njogAccelTime = 1000\n"
               "excitationAtStartUp = 32767\nautoExcitation = True\nexcitationAtEmergencyStop = "
               "-32768\n"
               "jogInputEnabled = True\nreservedSwitch = 0\ncomSpeedIndex = 3\ncomFlowControl = "
               "True\n"
               "originMode = 1\noriginOffset = 16777215\nlimitSensorMode(0) = 1\n"
               "limitSensorMode(1) = 1\nreverseDirection = True\nstepMode = 1\nrunCurrent = 799\n"
               "stopCurrent = 799\nctValue = 32767\nrotationStage = True\njogDialEnabled = True\n"
               "jogDialPulses = 9999\n")
        << "originOffset = 16777215";
    QTest::newRow("lower ends, as show prints them")
        << QByteArray(
               "created = 2026-12-07 10:00:00\nserial number = 0000000000\n"
               "defaultSpeedMin = 100 pulses/s\ndefaultSpeedMax = 100 pulses/s\n"
               "defaultAccelTime = 0 ms\noriginSpeedMin = 100 pulses/s\noriginSpeedMax = 100\n"
               "originAccelTime = 0\njogSpeedMin = 100\njogSpeedMax = 100\njogAccelTime = 0\n"
               "excitationAtStartUp = False\nautoExcitation = False\n"
               "excitationAtEmergencyStop = False\njogInputEnabled = False\ncomSpeedIndex = 0\n"
               "comFlowControl = False\noriginMode = 0\noriginOffset = -1000\n"
               "limitSensorMode(0) = -1\nlimitSensorMode(1) = -1\nreverseDirection = False\n"
               "stepMode = 0\nrunCurrent = 100 mA\nstopCurrent = 100 mA\nctValue = -32768\n"
               "rotationStage = False\njogDialEnabled = False\njogDialPulses = 1 pulses\n"
               "reservedSwitch = 0\n")
        << "ctValue = -32768";
    ConfigRecord tuned = FactoryDefaults();
    tuned.runCurrent = 660;
    tuned.stopCurrent = 330;
    tuned.defaultSpeedMax = 12000;
    tuned.comSpeedIndex = 3;
    QTest::newRow("old Mac line ends (CR only)")
        << ParameterText::Export(tuned, {"tuned # set"}).replace(u'\n', u'\r').toUtf8()
        << "runCurrent = 660 mA";
}

// export -> import -> show: the same field bytes, whatever the values.
void TestCli::textRoundTrip() {
    QFETCH(QByteArray, text);
    QFETCH(QString, shows);
    for (const char* name : {"a.QMX", "b.QMX", "a.txt"})
        QFile::remove(Path(name));
    if (text.isEmpty())
        QCOMPARE(RunCli({"defaults", Path("a.QMX")}).code, 0);
    else
        QVERIFY(WriteFile(Path("given.txt"), text));
    if (!text.isEmpty())
        QCOMPARE(RunCli({"import", Path("given.txt"), Path("a.QMX")}).code, 0);
    QCOMPARE(RunCli({"export", Path("a.QMX"), Path("a.txt")}).code, 0);
    QCOMPARE(RunCli({"export", Path("a.QMX")}).out.toUtf8(), ReadAll(Path("a.txt")));
    const CliResult imported = RunCli({"import", Path("a.txt"), Path("b.QMX")});
    QCOMPARE(imported.code, 0);
    QVERIFY2(imported.err.isEmpty(), qPrintable(imported.err)); // every field was given
    QCOMPARE(ReadAll(Path("b.QMX")).mid(128).toHex(), ReadAll(Path("a.QMX")).mid(128).toHex());
    const CliResult shown = RunCli({"show", Path("b.QMX")});
    QCOMPARE(shown.out.section(u'\n', 4), RunCli({"show", Path("a.QMX")}).out.section(u'\n', 4));
    QVERIFY2(shown.out.contains(shows + u'\n'), qPrintable(shown.out));
}

void TestCli::importRefuses_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("messages"); // lines on standard error
    const QStringList base{"--defaults"};
    const QByteArray whole = ParameterText::Export(FactoryDefaults(), {}).toUtf8();
    QTest::newRow("unknown name") << QByteArray("# set\nspeed = 5\n") << base
                                  << "line 2: unknown parameter" << 1;
    QTest::newRow("no file field") << QByteArray("currentScale = 480\n") << base
                                   << "line 1: unknown parameter \"currentScale\"" << 1;
    QTest::newRow("given twice") << QByteArray("ctValue = 1\n\nctValue = 2\n") << base
                                 << "line 3: ctValue given again (first on line 1)" << 1;
    QTest::newRow("too wide") << QByteArray("ctValue = 40000\n") << base
                              << "line 1: ctValue = 40000 does not fit" << 1;
    QTest::newRow("no value") << QByteArray("stepMode = half\n") << base
                              << "line 1: \"half\" is no value" << 1;
    QTest::newRow("a fraction") << QByteArray("ctValue = 12.5\n") << base << "\"12.5\" is no" << 1;
    QTest::newRow("an exponent") << QByteArray("ctValue = 1e2\n") << base << "\"1e2\" is no" << 1;
    QTest::newRow("other digits") << QByteArray("runCurrent = \u2460\u24ea\u24ea\n") << base
                                  << "is no value of runCurrent" << 1;
    QTest::newRow("bad value, no pair error")
        << QByteArray("runCurrent = 400x\nstopCurrent = 500\n") << base << "\"400x\" is no" << 1;
    QTest::newRow("escape sequences shown escaped")
        << QByteArray("\x1b[2Jspeed = 1\n") << base << "\"\\x1b[2Jspeed\"" << 1;
    QTest::newRow("a huge value, cut")
        << "ctValue = " + QByteArray(100000, '7') << base << "ctValue = 777777" << 1;
    QTest::newRow("cut between the halves of a character")
        << "ctValue = " + QByteArray(39, 'x') + "\xf0\x9f\x98\x80\n"
        << base << QString(39, u'x') + "...\"" << 1;
    QTest::newRow("200000 bad lines: 20 and a count")
        << QByteArray(400000, 'x').replace("xx", "x\n") << base << "line 20: expected" << 21;
    QTest::newRow("too large") << QByteArray(ParameterText::kMaxTextSize + 1, '#') << base
                               << "larger than 1048576 bytes" << 1;
    QTest::newRow("UTF-16") << QByteArray::fromHex("fffe63007400") << base << "not UTF-8" << 1;
    QTest::newRow("a NUL byte") << QByteArray("ctValue = 20\n# a comment\0\n", 26) << base
                                << "a NUL byte on line 2" << 1;
    QTest::newRow("True stored as 0")
        << QByteArray("autoExcitation = True (stored as 0)\n") << base
        << "line 1: \"True (stored as 0)\" is no value of autoExcitation" << 1;
    QTest::newRow("empty") << QByteArray() << QStringList{} << "not given: defaultSpeedMin," << 1;
    QTest::newRow("one missing") << QByteArray(whole).replace("ctValue = 20\n", "") << QStringList{}
                                 << "not given: ctValue (give every" << 1;
    QTest::newRow("truncated") << whole.left(whole.indexOf("originMode")) << QStringList{}
                               << "not given: originMode, originOffset," << 1;
}

// Refused with the line named, exit 1, and nothing written; every message short and escaped.
void TestCli::importRefuses() {
    QFETCH(QByteArray, text);
    QFETCH(QStringList, options);
    QFETCH(QString, error);
    QFETCH(int, messages);
    QFile::remove(Path("refused.QMX"));
    QVERIFY(WriteFile(Path("refused.txt"), text));
    const CliResult r =
        RunCli(options + QStringList{"import", Path("refused.txt"), Path("refused.QMX")});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    QCOMPARE(r.err.count(u'\n'), messages);
    QVERIFY(r.err.size() < 4000 && !r.err.contains(QChar(0x1b)));
    QVERIFY(!QFile::exists(Path("refused.QMX")));
}

void TestCli::jsonOutputs_data() {
    QTest::addColumn<QString>("shape");    // the runs of one shape give the same keys and types
    QTest::addColumn<QStringList>("call"); // @ and @2: two simulators' devices; @dir: the folder
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("value"); // "path.to.key=JSON", checked when given
    const QStringList a{"--device", "@"};
    const QStringList none{"--device", "/nonexistent/tty"};
    const QString file = "@dir/json.QMX";
    QTest::newRow("info") << "info" << a + QStringList{"info"} << 0
                          << "serialNumber=\"SIM0000001\"";
    QTest::newRow("info, no port") << "info" << none + QStringList{"info"} << 2 << "";
    QTest::newRow("info, bad argument") << "info" << a + QStringList{"info", "x"} << 1 << "";
    QTest::newRow("read") << "read" << a + QStringList{"--yes", "read", "@dir/r.QMX"} << 0 << "";
    QTest::newRow("read, file exists") << "read" << a + QStringList{"read", file} << 2 << "";
    QTest::newRow("write") << "write" << a + QStringList{"--yes", "write", file} << 0
                           << "written.commit=\"ok\"";
    QTest::newRow("write at another speed than the file's: warned, written")
        << "write" << a + QStringList{"--speed", "4800", "--yes", "write", file} << 0
        << "warnings=[\"the file sets the controller's line speed to 9600 bit/s, but this run "
           "talks at 4800 bit/s: after it restarts, the controller may answer only at 9600 "
           "bit/s; give --speed 9600 then\"]";
    QTest::newRow("write, no port")
        << "write" << none + QStringList{"--yes", "write", file} << 2 << "written.settings=0";
    QTest::newRow("write, bad argument") << "write" << a + QStringList{"write"} << 1 << "";
    QTest::newRow("write --verify, differences")
        << "write --verify" << a + QStringList{"--yes", "write", "--verify", file} << 4
        << "differences.reverseDirection.readBack=true";
    QTest::newRow("write --verify, no port")
        << "write --verify" << none + QStringList{"--yes", "write", "--verify", file} << 2
        << "verified=false";
    QTest::newRow("show") << "show" << QStringList{"show", file} << 0
                          << "parameters.defaultSpeedMax=5000";
    QTest::newRow("show, no file") << "show" << QStringList{"show", "@dir/none.QMX"} << 2 << "";
    QTest::newRow("show, a folder with an escape in its name")
        << "show" << QStringList{"show", "@dir/\x1b[31mfolder.QMX"} << 2 << "";
    QTest::newRow("defaults") << "defaults" << QStringList{"--yes", "defaults", "@dir/d.QMX"} << 0
                              << "";
    QTest::newRow("defaults, no folder")
        << "defaults" << QStringList{"defaults", "@dir/none/d.QMX"} << 2 << "";
    QTest::newRow("diff: differences are a result")
        << "diff" << a + QStringList{"diff", file} << 1
        << "differences.reverseDirection.controller=true";
    QTest::newRow("diff, no port") << "diff" << none + QStringList{"diff", file} << 2 << "";
    QTest::newRow("export") << "export" << QStringList{"export", file} << 0 << "file=\"-\"";
    QTest::newRow("export to a file")
        << "export" << QStringList{"--yes", "export", file, "@dir/e.txt"} << 0 << "";
    QTest::newRow("export, no file")
        << "export" << QStringList{"export", "@dir/none.QMX"} << 2 << "";
    QTest::newRow("import") << "import"
                            << QStringList{"--yes", "import", "@dir/given.txt", "@dir/i.QMX"} << 0
                            << "warnings=[]";
    QTest::newRow("import refused")
        << "import" << QStringList{"--yes", "import", "@dir/bad.txt", "@dir/i.QMX"} << 1 << "";
    QTest::newRow("ports") << "ports" << QStringList{"ports"} << 0 << "comPorts.15.port=16";
    QTest::newRow("ports --map") << "ports --map" << QStringList{"ports", "--map", "5", "/dev/x"}
                                 << 0 << "device=\"/dev/x\"";
    QTest::newRow("ports --unmap")
        << "ports --map" << QStringList{"ports", "--unmap", "5"} << 0 << "device=\"/dev/ttyS4\"";
    QTest::newRow("ports --map, no port number")
        << "ports --map" << QStringList{"ports", "--map", "17", "/dev/x"} << 1 << "";
    QTest::newRow("several ports") << "several" << a + QStringList{"--device", "@2", "info"} << 0
                                   << "ports.1.output.serialNumber=\"SIM0000001\"";
    QTest::newRow("several ports, one fails")
        << "several" << a + none + QStringList{"info"} << 2 << "ports.1.output.exitCode=2";
    QTest::newRow("several ports, bad argument")
        << "several" << a + QStringList{"--device", "@2", "read", "x.QMX"} << 1 << "";
    QTest::newRow("no command") << "none" << QStringList{} << 1 << "";
    QTest::newRow("unknown command") << "none" << QStringList{"\x1b[2J"} << 1
                                     << "error.message=\"unknown command \\\"\\\\x1b[2J\\\"; see "
                                        "qmxcli --help\"";
}

// Every --json output of every command, success and failure: one document, its exit code in
// it, an error exactly when the command failed, and for one command the same keys with the
// same types.
void TestCli::jsonOutputs() {
    QFETCH(QString, shape);
    QFETCH(QStringList, call);
    QFETCH(int, code);
    QFETCH(QString, value);
    QVERIFY(RunCli({"defaults", Path("json.QMX")}).code == 0 || QFile::exists(Path("json.QMX")));
    QVERIFY(WriteFile(Path("given.txt"), ParameterText::Export(FactoryDefaults(), {}).toUtf8()));
    QVERIFY(WriteFile(Path("bad.txt"), "speed = 1\n"));
    QVERIFY(QDir(dir_.path()).mkpath("\x1b[31mfolder.QMX"));
    SimProcess a;
    SimProcess b;
    QVERIFY(StartSim(a, {"--reply", "?:MD=1"}) && StartSim(b));
    for (QString& argument : call) {
        argument = argument == u"@" ? a.PtyPath() : argument == u"@2" ? b.PtyPath() : argument;
        argument.replace("@dir", dir_.path());
    }
    const CliResult r = RunCli(QStringList{"--json", "--lang", "en"} + call);
    QCOMPARE(r.code, code);
    QJsonParseError parsing;
    const QJsonDocument parsed = QJsonDocument::fromJson(r.out.toUtf8(), &parsing);
    QVERIFY2(parsing.error == QJsonParseError::NoError && parsed.isObject(), qPrintable(r.out));
    QJsonObject document = parsed.object();
    QCOMPARE(document.take("exitCode"), QJsonValue(code));
    const bool failed = code != 0 && !(shape == "diff" && code == 1);
    const QJsonObject error = document.take("error").toObject();
    QCOMPARE(!error.isEmpty(), failed);
    if (failed) {
        const QJsonArray messages = error.value("messages").toArray();
        QVERIFY(!messages.isEmpty() && messages.contains(error.value("message")));
        for (const QJsonValue& message : messages)
            QVERIFY(!message.toString().contains(QChar(0x1b)));
    }
    for (const QJsonValue& warning : document.value("warnings").toArray())
        QVERIFY2(r.err.contains("warning: " + warning.toString()), qPrintable(r.err));
    QMap<QString, int> types;
    for (auto it = document.begin(); it != document.end(); ++it)
        types.insert(it.key(), int(it.value().type()));
    if (!shapes_.contains(shape))
        shapes_.insert(shape, types);
    QCOMPARE(types, shapes_.value(shape));
    if (value.isEmpty())
        return;
    QJsonValue at = parsed.object();
    for (const QString& key : value.section(u'=', 0, 0).split(u'.'))
        at = at.isArray() ? at.toArray().at(key.toInt()) : at.toObject().value(key);
    const QString expected = value.section(u'=', 1);
    QCOMPARE(QJsonDocument::fromJson("[" + expected.toUtf8() + "]").array().first(), at);
}

// Several controllers in one call: each gets the file, one result line each, the worst code.
void TestCli::manyControllers() {
    QVERIFY(RunCli({"defaults", Path("many.QMX")}).code == 0 || QFile::exists(Path("many.QMX")));
    QFile::remove(Path("record.log"));
    SimProcess a;
    SimProcess b;
    SimProcess refusing;
    QVERIFY(StartSim(a, {"--state", Path("a-state.txt"), "--serial", "SER0"}) &&
            StartSim(b, {"--state", Path("b-state.txt"), "--serial", "SER1"}) &&
            StartSim(refusing, {"--serial", "SER2", "--reply", "Z:EP1=NG"}));
    const QStringList ports{a.PtyPath(), b.PtyPath(), refusing.PtyPath(), "/nonexistent/tty"};
    const CliResult r = RunCli({"--device", ports[0], "--device", ports[1], "--device", ports[2],
                                "--device", ports[3], "--lang", "en", "--yes", "write", "--verify",
                                "--record", Path("record.log"), Path("many.QMX")});
    QCOMPARE(r.code, 2);
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts).filter(": ");
    QCOMPARE(lines.filter(QRegularExpression("^/")).size(), 4);
    QVERIFY(r.out.contains(a.PtyPath() + ": ok\n") && r.out.contains(b.PtyPath() + ": ok\n"));
    QVERIFY2(r.out.contains("/nonexistent/tty: failed (exit 2): QMX-001 LINK: /nonexistent/tty"),
             qPrintable(r.out));
    QVERIFY(r.err.contains("/nonexistent/tty: QMX-001 LINK: /nonexistent/tty"));
    QVERIFY(QFile::exists(Path("a-state.txt")) && QFile::exists(Path("b-state.txt")));
    // The record: four whole lines, each with its port's serial number and exit code.
    const QByteArray sha =
        QCryptographicHash::hash(ReadAll(Path("many.QMX")), QCryptographicHash::Sha256).toHex();
    const QList<QByteArray> record = ReadAll(Path("record.log")).split('\n');
    QCOMPARE(record.size(), 5); // four lines and the end of the last
    for (const QByteArray& line : record.first(4)) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        const qsizetype port = ports.indexOf(entry.value("port").toString());
        QCOMPARE(entry.value("serialNumber").toString(),
                 port < 3 ? QString("SER%1").arg(port) : "");
        QCOMPARE(entry.value("exitCode").toInt(), port < 2 ? 0 : 2);
        QCOMPARE(entry.value("sha256").toString().toLatin1(), sha);
        QCOMPARE(entry.value("verified").toBool(), port < 2);
        QCOMPARE(entry.value("written").toObject().value("commit").toString(),
                 port < 2 ? "ok" : "not sent");
        QCOMPARE(entry.value("written").toObject().value("settings").toInt(), port < 2    ? 35
                                                                              : port == 2 ? 15
                                                                                          : 0);
        static const QRegularExpression withOffset(
            "T\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)$");
        QVERIFY(withOffset.match(entry.value("time").toString()).hasMatch());
    }
    // read makes one file: one port only.
    QCOMPARE(RunCli({"--device", "a", "--device", "b", "read", Path("x.QMX")}).code, 1);

    // The failing port first, then one written with a difference: not written (2) wins over 4.
    SimProcess keeps;
    QVERIFY(StartSim(keeps, {"--reply", "?:MD=1"}));
    const CliResult worst =
        RunCli({"--device", "/nonexistent/tty", "--device", keeps.PtyPath(), "--lang", "en",
                "--yes", "write", "--verify", Path("many.QMX")});
    QCOMPARE(worst.code, 2);
    QVERIFY2(worst.out.contains(keeps.PtyPath() + ": verify found differences (exit 4)"),
             qPrintable(worst.out));
}

// The pids of a process's children, once there are `count` of them; empty when /proc cannot
// tell.
QList<qint64> ChildrenOf(qint64 pid, int count) {
    const QString path = QStringLiteral("/proc/%1/task/%1/children").arg(pid);
    QList<qint64> pids;
    for (int i = 0; i < 250 && pids.size() < count; ++i) {
        QTest::qWait(20);
        pids.clear();
        for (const QByteArray& p : ReadAll(path).split(' '))
            if (p.toLongLong() > 0)
                pids << p.toLongLong();
    }
    return pids;
}

void TestCli::workersThatDie_data() {
    QTest::addColumn<bool>("killed"); // else: no worker can start (too few open files)
    QTest::newRow("a worker killed") << true;
    QTest::newRow("no worker starts") << false;
}

// A worker that is killed, or never starts, is exit 2 with its reason, and has its record line.
void TestCli::workersThatDie() {
    QFETCH(bool, killed);
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers need descriptors of their own to check memory: without any, they report
    // faults that are none.
    if (!killed)
        QSKIP("no spare file descriptors for the sanitizers");
#endif
    QVERIFY(RunCli({"defaults", Path("die.QMX")}).code == 0 || QFile::exists(Path("die.QMX")));
    for (const char* name : {"die.log", "a.log", "b.log"})
        QFile::remove(Path(name));
    SimProcess a;
    SimProcess b;
    QVERIFY(StartSim(a, {"--processing", "150", "--log", Path("a.log")}) &&
            StartSim(b, {"--processing", "150", "--log", Path("b.log")}));
    QProcess parent;
    if (!killed)
        parent.setChildProcessModifier([] {
            const rlimit few{14, 14};
            setrlimit(RLIMIT_NOFILE, &few);
        });
    parent.start(CliProgram(), {"--device", a.PtyPath(), "--device", b.PtyPath(), "--lang", "en",
                                "--yes", "write", "--record", Path("die.log"), Path("die.QMX")});
    QVERIFY(parent.waitForStarted());
    if (killed) {
        const QList<qint64> pids = ChildrenOf(parent.processId(), 2);
        if (pids.isEmpty())
            QSKIP("no /proc children list");
        QCOMPARE(::kill(pid_t(pids.first()), SIGKILL), 0);
    }
    QVERIFY(parent.waitForFinished(30000));
    QCOMPARE(parent.exitCode(), 2);
    const QString out = QString::fromUtf8(parent.readAllStandardOutput());
    QCOMPARE(out.count(killed ? "ended abnormally" : "failed (exit 2): could not start"),
             killed ? 1 : 2);
    QVERIFY2(!out.contains(": ok\n") || killed, qPrintable(out));
    const QList<QJsonObject> record = RecordLines(Path("die.log"));
    QCOMPARE(record.size(), 2);
    for (const QJsonObject& line : record) {
        const bool died = line.value("exitCode").toInt() == 2;
        QCOMPARE(line.value("reason").toString().contains(killed ? "ended abnormally" : "start"),
                 died);
        if (died)
            QCOMPARE(line.value("written").toObject().value("commit").toString(),
                     killed ? "unknown" : "not sent");
    }
    if (!killed)
        QVERIFY(LogLines(Path("a.log")).isEmpty() && LogLines(Path("b.log")).isEmpty());
}

void TestCli::interrupted_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("ports");
    QTest::newRow("SIGINT, one port") << int(SIGINT) << 1;
    QTest::newRow("SIGTERM, two ports") << int(SIGTERM) << 2;
}

// A signal stops every controller between two commands: one interrupted line each, saying what
// the controller's own log shows it got, and nothing running or sending afterwards.
void TestCli::interrupted() {
    QFETCH(int, signal);
    QFETCH(int, ports);
    QVERIFY(RunCli({"defaults", Path("stop.QMX")}).code == 0 || QFile::exists(Path("stop.QMX")));
    QFile::remove(Path("stop.log"));
    std::vector<std::unique_ptr<SimProcess>> sims;
    QStringList call{"--lang", "en", "--yes", "write", "--verify", "--record", Path("stop.log")};
    QHash<QString, QString> logs; // port -> its log
    for (int i = 0; i < ports; ++i) {
        const QString log = Path(QStringLiteral("stop%1.log").arg(i));
        QFile::remove(log);
        sims.push_back(std::make_unique<SimProcess>());
        QVERIFY(StartSim(*sims.back(), {"--processing", "60", "--log", log}));
        logs.insert(sims.back()->PtyPath(), log);
        call = QStringList{"--device", sims.back()->PtyPath()} + call;
    }
    QProcess run;
    run.start(CliProgram(), call << Path("stop.QMX"));
    QVERIFY(run.waitForStarted());
    const QList<qint64> workers = ports > 1 ? ChildrenOf(run.processId(), ports) : QList<qint64>{};
    for (int i = 0; i < 500 && SettingsSent(logs.cbegin().value()) < 5; ++i)
        QTest::qWait(10);
    QCOMPARE(::kill(pid_t(run.processId()), signal), 0);
    QVERIFY(run.waitForFinished(30000));
    QCOMPARE(run.exitCode(), 128 + signal);
    const QString err = QString::fromUtf8(run.readAllStandardError());
    QVERIFY2(err.contains(signal == SIGINT ? "interrupted by SIGINT: the controller holds "
                                           : "interrupted by SIGTERM: the controller holds "),
             qPrintable(err));
    for (const qint64 pid : workers)
        QVERIFY(::kill(pid_t(pid), 0) != 0);
    QHash<QString, qsizetype> sizes;
    for (const QString& log : logs)
        sizes.insert(log, ReadAll(log).size());
    QTest::qWait(500);
    const QList<QJsonObject> record = RecordLines(Path("stop.log"));
    QCOMPARE(record.size(), ports);
    for (const QJsonObject& line : record) {
        const QString log = logs.value(line.value("port").toString());
        QCOMPARE(ReadAll(log).size(), sizes.value(log)); // nothing sent since
        QCOMPARE(line.value("interrupted").toBool(), true);
        QCOMPARE(line.value("exitCode").toInt(), 128 + signal);
        QCOMPARE(line.value("verified").toBool(), false);
        const QJsonObject written = line.value("written").toObject();
        QCOMPARE(written.value("settings").toInt(), SettingsSent(log));
        QCOMPARE(written.value("commit").toString(), QString("not sent"));
        const qsizetype sent = SettingsSent(log); // a slow worker may not have begun
        QVERIFY(line.value("reason").toString().contains(
            sent == 0 ? QStringLiteral("nothing was written: the controller holds what it held")
                      : QStringLiteral("holds %1 of the 35 settings, without \"Z:UW\"").arg(sent)));
    }
}

// A line that does not fit on the disk is cut back whole; a fragment left by a process killed
// while appending stays on a line of its own; the next line parses.
void TestCli::recordAppendsWhole() {
    QVERIFY(RunCli({"defaults", Path("rec.QMX")}).code == 0 || QFile::exists(Path("rec.QMX")));
    QFile::remove(Path("whole.log"));
    SimProcess sim;
    QVERIFY(StartSim(sim));
    const QStringList write =
        Device(sim) + QStringList{"--yes", "write", "--record", Path("whole.log"), Path("rec.QMX")};
    QCOMPARE(RunCli(write).code, 0);
    const qsizetype size = ReadAll(Path("whole.log")).size();
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit old = limit;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = rlim_t(size + 100); // room for a quarter of the next line
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    const CliResult full = RunCli(write);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QCOMPARE(full.code, 2);
    QVERIFY2(
        full.err.contains("cannot add to the record " + Path("whole.log") + ": File too large"),
        qPrintable(full.err));
    QCOMPARE(ReadAll(Path("whole.log")).size(), size);
    QFile log(Path("whole.log"));
    QVERIFY(log.open(QIODevice::Append) && log.write("{\"torn") == 6);
    log.close();
    QCOMPARE(RunCli(write).code, 0);
    const QList<QByteArray> lines = ReadAll(Path("whole.log")).split('\n');
    QCOMPARE(lines.size(), 4); // the first line, the fragment, the new line, the end
    QCOMPARE(lines[1], QByteArray("{\"torn"));
    for (const int i : {0, 2})
        QVERIFY(QJsonDocument::fromJson(lines[i]).isObject());

    // Another run holds the record: the line waits for its lock, then goes on whole.
    const int held = ::open(QFile::encodeName(Path("whole.log")).constData(), O_RDWR | O_CLOEXEC);
    QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
    const qsizetype before = ReadAll(Path("whole.log")).size();
    const qsizetype commits = LogLines(Path("log.txt")).count("Z:UW");
    QProcess waiting;
    waiting.start(CliProgram(), write);
    QVERIFY(
        QTest::qWaitFor([&] { return LogLines(Path("log.txt")).count("Z:UW") > commits; }, 20000));
    QVERIFY(!waiting.waitForFinished(2500)); // the store is done, the record is not
    QCOMPARE(ReadAll(Path("whole.log")).size(), before);
    ::close(held);
    QVERIFY(waiting.waitForFinished(10000));
    QCOMPARE(waiting.exitCode(), 0);
    QCOMPARE(ReadAll(Path("whole.log")).split('\n').size(), 5);
}

// "-" and pipes for standard input and output, file names that are not UTF-8, reserved bytes
// the text does not carry.
void TestCli::textEdges() {
    QFile::remove(Path("-"));
    QCOMPARE(RunCli({"defaults", Path("edge.QMX")}).code == 0 || QFile::exists(Path("edge.QMX")),
             true);
    const CliResult dash = RunCli({"export", Path("edge.QMX"), "-"}, {}, {}, dir_.path());
    QCOMPARE(dash.code, 0);
    QCOMPARE(dash.out, RunCli({"export", Path("edge.QMX")}).out);
    QVERIFY(!QFile::exists(Path("-")));
    for (const char* input : {"-", "/dev/stdin"}) {
        QFile::remove(Path("piped.QMX"));
        const CliResult piped = RunCli({"import", input, Path("piped.QMX")}, {}, dash.out.toUtf8());
        QVERIFY2(piped.code == 0, qPrintable(piped.err));
        QCOMPARE(ReadAll(Path("piped.QMX")).mid(128), ReadAll(Path("edge.QMX")).mid(128));
    }
    // A file name that is not UTF-8 cannot be passed through QProcess's strings: a shell does.
    QProcess shell;
    shell.setWorkingDirectory(dir_.path());
    shell.start("/bin/sh",
                {"-c", "exec \"$0\" defaults \"$(printf 'n\\377x.QMX')\"", CliProgram()});
    QVERIFY(shell.waitForFinished(30000));
    QCOMPARE(shell.exitCode(), 1);
    QVERIFY2(shell.readAllStandardError().contains("\"n\\xffx.QMX\" is not UTF-8"), "");
    QCOMPARE(QDir(dir_.path()).entryList({"n*x.QMX"}), QStringList());
    // Reserved bytes: said, not silently dropped.
    QByteArray odd = ReadAll(Path("edge.QMX"));
    odd[200] = '\x5a';
    QVERIFY(WriteFile(Path("odd.QMX"), odd));
    const CliResult reserved = RunCli({"export", Path("odd.QMX")});
    QCOMPARE(reserved.code, 0);
    QVERIFY2(reserved.err.contains("reserved bytes other than 0; the text does not carry them"),
             qPrintable(reserved.err));
}

void TestCli::unprivileged_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("a read-only record file: nothing sent") << "record";
    QTest::newRow("a save onto another user's file in a sticky folder") << "sticky";
}

// Refusals only a user without root's rights meets. The sticky row needs a world-writable file
// of another user in a sticky folder, named by $QMX_TEST_FOREIGN_FILE (run-unprivileged.sh
// makes one).
void TestCli::unprivileged() {
    QFETCH(QString, kind);
    if (geteuid() == 0)
        QSKIP("root may write any file");
    QVERIFY(RunCli({"defaults", Path("own.QMX")}).code == 0 || QFile::exists(Path("own.QMX")));
    if (kind == "record") {
        QVERIFY(WriteFile(Path("readonly.log"), ""));
        QVERIFY(QFile::setPermissions(Path("readonly.log"), QFileDevice::ReadOwner));
        SimProcess sim;
        QVERIFY(StartSim(sim));
        const CliResult r =
            RunCli(Device(sim) + QStringList{"--yes", "write", "--record", Path("readonly.log"),
                                             Path("own.QMX")});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("Permission denied; nothing was sent"), qPrintable(r.err));
        QCOMPARE(LogLines(Path("log.txt")), QStringList());
        return;
    }
    const QString foreign = qEnvironmentVariable("QMX_TEST_FOREIGN_FILE");
    const QFileInfo info(foreign);
    if (foreign.isEmpty() || !info.isWritable() || info.ownerId() == geteuid())
        QSKIP("set QMX_TEST_FOREIGN_FILE to another user's world-writable file in a sticky folder");
    const QByteArray before = ReadAll(foreign);
    const CliResult r = RunCli({"--lang", "en", "--yes", "defaults", foreign});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("Store QMX-001 config file: "), qPrintable(r.err));
    QCOMPARE(ReadAll(foreign), before);
}

// A write that fails is exit 2 with a message, and keeps the old file.
void TestCli::outputFailures() {
    QVERIFY(RunCli({"defaults", Path("out.QMX")}).code == 0 || QFile::exists(Path("out.QMX")));
    QVERIFY(WriteFile(Path("kept.txt"), "kept"));
    // The disk "fills" after 64 bytes of any file the child writes.
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit old = limit;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = 64;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    const CliResult full = RunCli({"--yes", "export", Path("out.QMX"), Path("kept.txt")});
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY2(full.code == 2 && full.err.startsWith("qmxcli: "), qPrintable(full.err));
    QCOMPARE(ReadAll(Path("kept.txt")), QByteArray("kept"));
    // Whatever the result, also differences found.
    SimProcess sim;
    QVERIFY(StartSim(sim, {"--reply", "?:MD=1"}));
    for (const char* call : {"export", "show", "--json show", "@ diff", "@ --json diff"}) {
        QStringList arguments = QString(call).split(u' ') + QStringList{Path("out.QMX")};
        if (arguments.first() == u"@")
            arguments = Device(sim) + arguments.mid(1);
        const CliResult r = RunCli(arguments, "/dev/full");
        QVERIFY2(r.code == 2 && r.err.contains("qmxcli: cannot write to standard output"),
                 qPrintable(r.err));
    }
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
