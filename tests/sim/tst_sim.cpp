#include "link/QMXModule.h"
#include "shell/ConfigRecord.h"
#include "shell/Numbers.h"
#include "sim/DeviceModel.h"
#include "sim/SimEndpoint.h"
#include "tests/support/SimHarness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using sim::DeviceModel;

class TestSim : public QObject {
    Q_OBJECT
private slots:
    void factoryValues_data();
    void factoryValues();
    void settings_data();
    void settings();
    void storeRecord_data();
    void storeRecord();
    void answerFaults_data();
    void answerFaults();
    void framing_data();
    void framing();
    void endpointDeliversLater();
    void endpointProcessesOneAtATime();
    void endpointBusyController_data();
    void endpointBusyController();
    void logStaysBounded();
    void stateText_data();
    void stateText();
    void ptySession();
    void ptyOptions_data();
    void ptyOptions();
};

void TestSim::factoryValues_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("reply");
    const QList<QPair<const char*, const char*>> rows{
        {"?:N", "QMX001-SIM"}, {"?:B", "20261207"}, {"?:S", "SIM0000001"}, {"?:V", "V1.23"},
        {"?:-", "A01"},        {"?:D0", "500"},     {"?:D1", "5000"},      {"?:D2", "200"},
        {"?:O0", "500"},       {"?:O1", "5000"},    {"?:O2", "200"},       {"?:J0", "500"},
        {"?:J1", "500"},       {"?:J2", "0"},       {"?:EP", "1"},         {"?:EA", "0"},
        {"?:EF", "1"},         {"?:EJ", "1"},       {"?:IS", "1"},         {"?:IF", "1"},
        {"?:MO", "0"},         {"V:N", "0"},        {"?:ML0", "0"},        {"?:ML1", "0"},
        {"?:MD", "0"},         {"?:MS", "1"},       {"?:CF", "480"},       {"?:CC", "5"},
        {"?:CR", "729"},       {"?:CS", "365"},     {"?:CT", "4"},         {"?:CH", "800"},
        {"?:CL", "100"},       {"?:MT", "0"},       {"?:ED", "0"},         {"?:EM", "10"},
    };
    for (const auto& [command, reply] : rows)
        QTest::newRow(command) << command << reply;
}

void TestSim::factoryValues() {
    QFETCH(QString, command);
    QFETCH(QString, reply);
    DeviceModel model;
    QCOMPARE(model.Respond(command), std::optional<QString>(reply));
}

void TestSim::settings_data() {
    QTest::addColumn<QStringList>("before"); // accepted settings first
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("value"); // the query's reply afterwards

    const QStringList none;
    QTest::newRow("speed S") << none << "Z:D0600"
                             << "OK"
                             << "?:D0"
                             << "600";
    QTest::newRow("S above F") << none << "Z:D06000"
                               << "NG"
                               << "?:D0"
                               << "500";
    QTest::newRow("S after widening F") << QStringList{"Z:D130000"} << "Z:D08000"
                                        << "OK"
                                        << "?:D0"
                                        << "8000";
    QTest::newRow("F below S") << none << "Z:D1499"
                               << "NG"
                               << "?:D1"
                               << "5000";
    QTest::newRow("F equal to S") << none << "Z:D1500"
                                  << "OK"
                                  << "?:D1"
                                  << "500";
    QTest::newRow("S below 100") << QStringList{"Z:D0100"} << "Z:D099"
                                 << "NG"
                                 << "?:D0"
                                 << "100";
    QTest::newRow("F above 30000") << none << "Z:D130001"
                                   << "NG"
                                   << "?:D1"
                                   << "5000";
    QTest::newRow("origin S above F") << none << "Z:O05001"
                                      << "NG"
                                      << "?:O0"
                                      << "500";
    QTest::newRow("jog S above F") << none << "Z:J0600"
                                   << "NG"
                                   << "?:J0"
                                   << "500";
    QTest::newRow("jog F") << none << "Z:J1600"
                           << "OK"
                           << "?:J1"
                           << "600";
    QTest::newRow("groups apart") << QStringList{"Z:O130000"} << "Z:D06000"
                                  << "NG"
                                  << "?:D0"
                                  << "500";
    QTest::newRow("accel 1000") << none << "Z:D21000"
                                << "OK"
                                << "?:D2"
                                << "1000";
    QTest::newRow("accel 1001") << none << "Z:O21001"
                                << "NG"
                                << "?:O2"
                                << "200";
    QTest::newRow("accel negative") << none << "Z:J2-1"
                                    << "NG"
                                    << "?:J2"
                                    << "0";
    QTest::newRow("boolean 0") << none << "Z:EP0"
                               << "OK"
                               << "?:EP"
                               << "0";
    QTest::newRow("boolean 2") << none << "Z:EA2"
                               << "NG"
                               << "?:EA"
                               << "0";
    QTest::newRow("boolean -1") << none << "Z:MD-1"
                                << "NG"
                                << "?:MD"
                                << "0";
    QTest::newRow("IS 3") << none << "Z:IS3"
                          << "OK"
                          << "?:IS"
                          << "3";
    QTest::newRow("IS 4") << none << "Z:IS4"
                          << "NG"
                          << "?:IS"
                          << "1";
    QTest::newRow("MO 1") << none << "Z:MO1"
                          << "OK"
                          << "?:MO"
                          << "1";
    QTest::newRow("MO 2") << none << "Z:MO2"
                          << "NG"
                          << "?:MO"
                          << "0";
    QTest::newRow("ML0 -1") << none << "Z:ML0-1"
                            << "OK"
                            << "?:ML0"
                            << "-1";
    QTest::newRow("ML1 1") << none << "Z:ML11"
                           << "OK"
                           << "?:ML1"
                           << "1";
    QTest::newRow("ML1 -2") << none << "Z:ML1-2"
                            << "NG"
                            << "?:ML1"
                            << "0";
    QTest::newRow("ML2") << none << "Z:ML21"
                         << "NG"
                         << "?:ML0"
                         << "0";
    QTest::newRow("MS 0") << none << "Z:MS0"
                          << "OK"
                          << "?:MS"
                          << "0";
    QTest::newRow("MS 2") << none << "Z:MS2"
                          << "NG"
                          << "?:MS"
                          << "1";
    QTest::newRow("EM 9999") << none << "Z:EM9999"
                             << "OK"
                             << "?:EM"
                             << "9999";
    QTest::newRow("EM 0") << none << "Z:EM0"
                          << "NG"
                          << "?:EM"
                          << "10";
    QTest::newRow("EM 10000") << none << "Z:EM10000"
                              << "NG"
                              << "?:EM"
                              << "10";
    QTest::newRow("offset -1000") << none << "S:N-1000"
                                  << "OK"
                                  << "V:N"
                                  << "-1000";
    QTest::newRow("offset -1001") << none << "S:N-1001"
                                  << "NG"
                                  << "V:N"
                                  << "0";
    QTest::newRow("offset max") << none << "S:N16777215"
                                << "OK"
                                << "V:N"
                                << "16777215";
    QTest::newRow("offset above max") << none << "S:N16777216"
                                      << "NG"
                                      << "V:N"
                                      << "0";
    QTest::newRow("offset through Z:") << none << "Z:N5"
                                       << "NG"
                                       << "V:N"
                                       << "0";
    QTest::newRow("run current 4095") << none << "Z:CR4095"
                                      << "OK"
                                      << "?:CR"
                                      << "4095";
    QTest::newRow("run current 4096") << none << "Z:CR4096"
                                      << "NG"
                                      << "?:CR"
                                      << "729";
    QTest::newRow("run below stop") << none << "Z:CR364"
                                    << "NG"
                                    << "?:CR"
                                    << "729";
    QTest::newRow("stop equal to run") << none << "Z:CS729"
                                       << "OK"
                                       << "?:CS"
                                       << "729";
    QTest::newRow("stop above run") << none << "Z:CS730"
                                    << "NG"
                                    << "?:CS"
                                    << "365";
    QTest::newRow("stop after widening") << QStringList{"Z:CR4095"} << "Z:CS4000"
                                         << "OK"
                                         << "?:CS"
                                         << "4000";
    QTest::newRow("stop without digits") << none << "Z:CS"
                                         << "OK"
                                         << "?:CS"
                                         << "0";
    QTest::newRow("speed without digits") << none << "Z:D0"
                                          << "NG"
                                          << "?:D0"
                                          << "500";
    QTest::newRow("CT") << none << "Z:CT10"
                        << "OK"
                        << "?:CT"
                        << "10";
    QTest::newRow("CT negative") << none << "Z:CT-1"
                                 << "NG"
                                 << "?:CT"
                                 << "4";
    QTest::newRow("letters") << none << "Z:D0abc"
                             << "NG"
                             << "?:D0"
                             << "500";
    QTest::newRow("blank inside") << none << "Z:D0 600"
                                  << "NG"
                                  << "?:D0"
                                  << "500";
    QTest::newRow("fraction") << none << "Z:D0600.5"
                              << "NG"
                              << "?:D0"
                              << "500";
    QTest::newRow("plus sign") << none << "Z:D0+600"
                               << "NG"
                               << "?:D0"
                               << "500";
    QTest::newRow("lone minus") << none << "Z:ML0-"
                                << "NG"
                                << "?:ML0"
                                << "0";
    QTest::newRow("huge") << none << "Z:D29999999999999999"
                          << "NG"
                          << "?:D2"
                          << "200";
    QTest::newRow("read-only CF") << none << "Z:CF500"
                                  << "NG"
                                  << "?:CF"
                                  << "480";
    QTest::newRow("read-only CC") << none << "Z:CC1"
                                  << "NG"
                                  << "?:CC"
                                  << "5";
    QTest::newRow("read-only CH") << none << "Z:CH1"
                                  << "NG"
                                  << "?:CH"
                                  << "800";
    QTest::newRow("read-only CL") << none << "Z:CL1"
                                  << "NG"
                                  << "?:CL"
                                  << "100";
    QTest::newRow("unknown setting") << none << "Z:XX1"
                                     << "NG"
                                     << "?:XX"
                                     << "NG";
    QTest::newRow("lower case") << none << "z:d0600"
                                << "NG"
                                << "?:D0"
                                << "500";
    QTest::newRow("empty line") << none << ""
                                << "NG"
                                << "?:D0"
                                << "500";
    QTest::newRow("IE0") << none << "Z:IE0"
                         << "OK"
                         << "?:D0"
                         << "500";
    QTest::newRow("UW") << QStringList{"Z:D2300"} << "Z:UW"
                        << "OK"
                        << "?:D2"
                        << "300";
}

void TestSim::settings() {
    QFETCH(QStringList, before);
    QFETCH(QString, setting);
    QFETCH(QString, reply);
    QFETCH(QString, query);
    QFETCH(QString, value);
    DeviceModel model;
    for (const QString& command : before)
        QCOMPARE(model.Respond(command), std::optional<QString>("OK"));
    QCOMPARE(model.Respond(setting), std::optional<QString>(reply));
    QCOMPARE(model.Respond(query), std::optional<QString>(value));
}

void TestSim::storeRecord_data() {
    QTest::addColumn<ConfigRecord>("record");
    const ConfigRecord factory = FactoryDefaults();
    QTest::newRow("factory defaults") << factory;

    ConfigRecord fast = factory;
    fast.defaultSpeedMin = 20000;
    fast.defaultSpeedMax = 30000;
    fast.originSpeedMin = 9000;
    fast.originSpeedMax = 9000;
    fast.jogSpeedMin = 100;
    fast.jogSpeedMax = 100;
    QTest::newRow("speeds beyond the old F and below the old S") << fast;

    ConfigRecord currents = factory;
    currents.runCurrent = 750;
    currents.stopCurrent = 375;
    QTest::newRow("higher currents") << currents;

    ConfigRecord zeros = factory;
    zeros.stopCurrent = 0; // sent as "Z:CS" without digits
    zeros.jogDialPulses = 0;
    zeros.defaultAccelTime = 0;
    zeros.comSpeedIndex = 0;
    QTest::newRow("zeros") << zeros;

    ConfigRecord other = factory;
    other.originOffset = -250;
    other.limitSensorMode = {-1, 1};
    other.stepMode = 0;
    other.reverseDirection = kTrue;
    other.excitationAtStartUp = kFalse;
    other.rotationStage = kTrue;
    other.jogDialEnabled = kTrue;
    other.jogDialPulses = 9999;
    other.comSpeedIndex = 3;
    other.originMode = 1;
    QTest::newRow("every switch turned") << other;
}

// The 36 store commands are all accepted in order, and afterwards the controller holds the
// record in its own units.
void TestSim::storeRecord() {
    QFETCH(ConfigRecord, record);
    const auto commands = QMXModule::StoreCommands(record);
    QVERIFY(commands);
    QCOMPARE(commands->size(), 36);
    DeviceModel model;
    for (const QString& command : *commands)
        QVERIFY2(model.Respond(command) == std::optional<QString>("OK"), qPrintable(command));
    QCOMPARE(model.Log(), *commands);

    const auto bool01 = [](Boolean b) {
        return qint64(IsTrue(b) ? 1 : 0);
    };
    const QList<QPair<const char*, qint64>> expected{
        {"D0", record.defaultSpeedMin},
        {"D1", record.defaultSpeedMax},
        {"D2", record.defaultAccelTime},
        {"O0", record.originSpeedMin},
        {"O1", record.originSpeedMax},
        {"O2", record.originAccelTime},
        {"J0", record.jogSpeedMin},
        {"J1", record.jogSpeedMax},
        {"J2", record.jogAccelTime},
        {"EP", bool01(record.excitationAtStartUp)},
        {"EF", bool01(record.excitationAtEmergencyStop)},
        {"IS", record.comSpeedIndex},
        {"MO", record.originMode},
        {"N", record.originOffset},
        {"ML0", record.limitSensorMode[0]},
        {"ML1", record.limitSensorMode[1]},
        {"MD", bool01(record.reverseDirection)},
        {"MS", record.stepMode},
        {"CR", *Numbers::CurrentToController(record.runCurrent, record.currentScale)},
        {"CS", *Numbers::CurrentToController(record.stopCurrent, record.currentScale)},
        {"CT", *Numbers::CtToController(record.ctValue, record.ctScale)},
        {"MT", bool01(record.rotationStage)},
        {"EM", record.jogDialPulses == 0 ? 10 : record.jogDialPulses},
    };
    for (const auto& [code, value] : expected)
        QVERIFY2(model.Parameter(code) == value, code);
}

void TestSim::answerFaults_data() {
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<sim::Identity>("identity");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("replies"); // "-" for no reply
    QTest::addColumn<QString>("d0");          // "?:D0" straight afterwards, faults cleared

    const sim::Identity id;
    const QStringList three{"?:N", "Z:D0600", "?:D0"};
    sim::Faults f;
    QTest::newRow("none") << f << id << three << QStringList{"QMX001-SIM", "OK", "600"} << "600";
    f.silentAfter = 0;
    QTest::newRow("silent from the start")
        << f << id << three << QStringList{"-", "-", "-"} << "500";
    f.silentAfter = 1;
    QTest::newRow("silent after one")
        << f << id << three << QStringList{"QMX001-SIM", "-", "-"} << "500";
    f = {};
    f.silentAt = "Z:D0600";
    QTest::newRow("silent at a command") << f << id << QStringList{"?:N", "Z:D0600", "?:N"}
                                         << QStringList{"QMX001-SIM", "-", "-"} << "500";
    f = {};
    f.replies.insert("Z:D0600", "NG");
    f.replies.insert("?:N", "V 1.23");
    QTest::newRow("scripted replies are not carried out")
        << f << id << three << QStringList{"V 1.23", "NG", "500"} << "500";
    f = {};
    f.ignoredSettings = {"D0"};
    QTest::newRow("OK without effect")
        << f << id << three << QStringList{"QMX001-SIM", "OK", "500"} << "500";
    sim::Identity other;
    other.name = "ABC";
    other.version = "V0.95";
    other.serialNo = "X123456789";
    QTest::newRow("another identity") << sim::Faults{} << other << QStringList{"?:N", "?:V", "?:S"}
                                      << QStringList{"ABC", "V0.95", "X123456789"} << "500";
    f = {};
    f.busyFirst = {{"?:S", "BUSY"}};
    QTest::newRow("busy once") << f << id << QStringList{"?:S", "?:S"}
                               << QStringList{"BUSY", "SIM0000001"} << "500";
    // A restart loses what came while it was quiet and comes back with the values last stored
    // (the factory ones here), or the factory ones.
    f = {};
    f.restartAt = "?:N";
    f.restartSilentCommands = 2;
    QTest::newRow("restart for two commands")
        << f << id << QStringList{"Z:D0600", "?:N", "Z:D0700", "?:D0"}
        << QStringList{"OK", "-", "-", "500"} << "500";
}

void TestSim::answerFaults() {
    QFETCH(sim::Faults, faults);
    QFETCH(sim::Identity, identity);
    QFETCH(QStringList, commands);
    QFETCH(QStringList, replies);
    QFETCH(QString, d0);
    DeviceModel model;
    model.faults = faults;
    model.identity = identity;
    for (qsizetype i = 0; i < commands.size(); ++i) {
        const std::optional<QString> reply = model.Respond(commands[i]);
        QCOMPARE(reply.value_or(QStringLiteral("-")), replies[i]);
    }
    // Silent or not, every line is logged.
    QCOMPARE(model.Log(), commands);
    model.faults = {};
    model.ResetCounters();
    QCOMPARE(model.Respond("?:D0"), std::optional<QString>(d0));
}

void TestSim::framing_data() {
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<QStringList>("deliveries"); // "ms:bytes" with CR and LF as \r and \n

    sim::Faults f;
    QTest::newRow("plain") << f << QStringList{"0:OK\\r\\n"};
    f.doubleCr = true;
    QTest::newRow("CR CR LF") << f << QStringList{"0:OK\\r\\r\\n"};
    f = {};
    f.secondLine = "X";
    QTest::newRow("second line") << f << QStringList{"0:OK\\r\\nX\\r\\n"};
    f = {};
    f.splitCrLf = true;
    QTest::newRow("split") << f << QStringList{"0:OK\\r", "100:\\n"};
    f.secondLine = "X";
    QTest::newRow("split, second line") << f << QStringList{"0:OK\\r", "100:\\nX\\r\\n"};
    f = {};
    f.byteDelayMs = 1.0;
    QTest::newRow("per byte") << f << QStringList{"7:O", "8:K", "9:\\r", "10:\\n"};
    f.splitCrLf = true;
    f.splitGapMs = 50;
    QTest::newRow("per byte, split") << f << QStringList{"7:O", "8:K", "9:\\r", "60:\\n"};
    f = {};
    f.chunkBytes = 3;
    f.chunkGapMs = 10;
    QTest::newRow("3-byte chunks") << f << QStringList{"0:OK\\r", "10:\\n"};
}

void TestSim::framing() {
    QFETCH(sim::Faults, faults);
    QFETCH(QStringList, deliveries);
    QStringList shown;
    // The reply to a 4-character command: 6 bytes on the line before it.
    for (const sim::Delivery& d : sim::FrameReply("OK", faults, 6)) {
        QString bytes = QString::fromLatin1(d.bytes);
        bytes.replace("\r", "\\r").replace("\n", "\\n");
        shown.append(QStringLiteral("%1:%2").arg(qRound(d.atMs)).arg(bytes));
    }
    QCOMPARE(shown, deliveries);
}

void TestSim::endpointDeliversLater() {
    DeviceModel model;
    sim::SimEndpoint endpoint(model);
    QSignalSpy output(&endpoint, &sim::SimEndpoint::Output);
    // Two lines in one write, the second in pieces; a bare LF ends a line too.
    endpoint.Input("?:D0\r\n?:D");
    endpoint.Input("1\r");
    endpoint.Input("\n?:EM\n");
    QCOMPARE(output.count(), 0);
    QTRY_COMPARE(output.count(), 3);
    QCOMPARE(output[0][0].toByteArray(), QByteArray("500\r\n"));
    QCOMPARE(output[1][0].toByteArray(), QByteArray("5000\r\n"));
    QCOMPARE(output[2][0].toByteArray(), QByteArray("10\r\n"));
    QCOMPARE(model.Log(), (QStringList{"?:D0", "?:D1", "?:EM"}));

    // Noise without a line end is dropped; a reset forgets what is on its way.
    endpoint.Input(QByteArray(1000, 'x') + "\r\n");
    endpoint.Input("?:D0\r\n");
    QVERIFY(endpoint.HasPendingOutput());
    endpoint.Reset();
    QVERIFY(!endpoint.HasPendingOutput());
    QTest::qWait(50);
    QCOMPARE(output.count(), 3);
    QCOMPARE(model.Log(), (QStringList{"?:D0", "?:D1", "?:EM", "?:D0"}));
}

// Processing time and a late command: replies come one after the other, each after its own
// processing, so a slow command delays those behind it.
// A busy controller: the repeat of a command answered a set time after the reply before it
// (or never), a reply sent twice; the commands behind wait their turn.
void TestSim::endpointBusyController_data() {
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<QList<int>>("sendAt");   // ms at which "?:D0" goes in (then "?:D1", ...)
    QTest::addColumn<QStringList>("replies"); // in order of delivery
    QTest::addColumn<QList<int>>("earliest"); // ms, each reply not before
    QTest::addColumn<QList<int>>("latest");   // ms, each reply not after

    sim::Faults f;
    f.lateMs = {{"?:D0", 100}};
    f.repeatAfterMs = {{"?:D0", 300}};
    QTest::newRow("late, the repeat 300 ms after it")
        << f << QList<int>{0, 20} << QStringList{"500", "500"} << QList<int>{100, 400}
        << QList<int>{250, 650};
    f.repeatAfterMs = {{"?:D0", -1}};
    QTest::newRow("late, the repeat dropped")
        << f << QList<int>{0, 20} << QStringList{"500"} << QList<int>{100} << QList<int>{250};
    f = {};
    f.twiceGapMs = {{"?:D0", 80}};
    QTest::newRow("twice, then the next command")
        << f << QList<int>{0, -1} << QStringList{"500", "500", "5000"} << QList<int>{0, 80, 80}
        << QList<int>{150, 230, 230};
}

void TestSim::endpointBusyController() {
    QFETCH(sim::Faults, faults);
    QFETCH(QList<int>, sendAt);
    QFETCH(QStringList, replies);
    QFETCH(QList<int>, earliest);
    QFETCH(QList<int>, latest);
    DeviceModel model;
    model.faults = faults;
    sim::SimEndpoint endpoint(model);
    QStringList got;
    QList<qint64> at;
    QElapsedTimer clock;
    connect(&endpoint, &sim::SimEndpoint::Output, this, [&](const QByteArray& bytes) {
        got << QString::fromLatin1(bytes).trimmed();
        at << clock.elapsed();
    });
    clock.start();
    // -1: the next command straight after the one before; both repeats are "?:D0".
    for (qsizetype i = 0; i < sendAt.size(); ++i) {
        if (sendAt[i] >= 0)
            QTest::qWait(int(std::max<qint64>(0, sendAt[i] - clock.elapsed())));
        endpoint.Input(sendAt[i] >= 0 ? "?:D0\r\n" : "?:D1\r\n");
    }
    QTest::qWait(700);
    QCOMPARE(got, replies);
    for (qsizetype i = 0; i < at.size(); ++i)
        QVERIFY2(at[i] >= earliest[i] && at[i] <= latest[i],
                 qPrintable(QStringLiteral("reply %1 at %2 ms").arg(i).arg(at[i])));
}

void TestSim::endpointProcessesOneAtATime() {
    DeviceModel model;
    model.faults.processingMs = 30;
    model.faults.lateMs = {{"?:D1", 100}};
    sim::SimEndpoint endpoint(model);
    QList<qint64> at;
    QElapsedTimer clock;
    connect(&endpoint, &sim::SimEndpoint::Output, this, [&] { at << clock.elapsed(); });
    clock.start();
    endpoint.Input("?:D0\r\n?:D1\r\n?:D2\r\n");
    QTRY_COMPARE(at.size(), 3);
    QVERIFY2(at[0] >= 30 && at[1] >= 160 && at[2] >= 190 && at[2] < 400,
             qPrintable(QStringLiteral("%1 %2 %3").arg(at[0]).arg(at[1]).arg(at[2])));
}

// A simulator that runs for days keeps only the newest command lines.
void TestSim::logStaysBounded() {
    DeviceModel model;
    model.logLimit = 10;
    for (int i = 0; i < 1000; ++i)
        model.Respond(QStringLiteral("?:D%1").arg(i % 3));
    QVERIFY(model.Log().size() <= 10);
    QCOMPARE(model.Log().last(), QStringLiteral("?:D0"));
    QCOMPARE(model.CommandCount(), 1000);
}

void TestSim::stateText_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QString>("d0"); // "?:D0" afterwards

    QTest::newRow("one line") << QByteArray("D0=600\n") << true << "600";
    QTest::newRow("comments and blanks") << QByteArray("# kept\n\n D0 = 700 \n") << true << "700";
    QTest::newRow("empty") << QByteArray() << true << "500";
    QTest::newRow("unknown code") << QByteArray("D0=600\nXX=1\n") << false << "500";
    QTest::newRow("not a number") << QByteArray("D0=abc\n") << false << "500";
    QTest::newRow("out of range") << QByteArray("D0=99\n") << false << "500";
    QTest::newRow("no equals sign") << QByteArray("D0 600\n") << false << "500";
    QTest::newRow("no value") << QByteArray("D0=\n") << false << "500";
}

void TestSim::stateText() {
    QFETCH(QByteArray, text);
    QFETCH(bool, loads);
    QFETCH(QString, d0);
    DeviceModel model;
    QString error;
    QCOMPARE(model.LoadStateText(text, &error), loads);
    QCOMPARE(error.isEmpty(), loads);
    QCOMPARE(model.Respond("?:D0"), std::optional<QString>(d0));

    // What a model writes, another one reads back whole.
    model.Respond("S:N-7");
    model.Respond("Z:ML1-1");
    DeviceModel copy;
    QVERIFY(copy.LoadStateText(model.StateText()));
    QCOMPARE(copy.StateText(), model.StateText());
}

void TestSim::ptySession() {
    QMX_SKIP_WITHOUT_SIM();
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString state = dir.filePath("state.txt");
    const QString log = dir.filePath("sim.log");
    const QString link = dir.filePath("ttyQMX");
    const QStringList args{"--state", state, "--log", log, "--link", link};

    {
        testing::SimProcess sim;
        QString error;
        QVERIFY2(sim.Start(args, &error), qPrintable(error));
        QVERIFY(sim.PtyPath().startsWith("/dev/"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.PtyPath());

        testing::PtyClient client;
        QVERIFY(client.Open(link));
        QCOMPARE(client.Transact("?:N"), QByteArray("QMX001-SIM\r\n"));
        QCOMPARE(client.Transact("?:V"), QByteArray("V1.23\r\n"));
        QCOMPARE(client.Transact("?:S"), QByteArray("SIM0000001\r\n"));
        QCOMPARE(client.Transact("?:D0"), QByteArray("500\r\n"));
        QCOMPARE(client.Transact("Z:D0600"), QByteArray("OK\r\n"));
        QCOMPARE(client.Transact("Z:D040000"), QByteArray("NG\r\n"));
        // Closing and opening again keeps the terminal working.
        client.Close();
        QVERIFY(client.Open(sim.PtyPath()));
        QCOMPARE(client.Transact("Z:UW"), QByteArray("OK\r\n"));
        QCOMPARE(client.Transact("Z:D2300"), QByteArray("OK\r\n")); // not kept: no Z:UW after
        client.Close();
        QCOMPARE(sim.Terminate(), 0);
    }
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    QFile logFile(log);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    QCOMPARE(logFile.readAll(),
             QByteArray("?:N\n?:V\n?:S\n?:D0\nZ:D0600\nZ:D040000\nZ:UW\nZ:D2300\n"));

    // A restart takes the parameters kept by the last Z:UW.
    testing::SimProcess sim;
    QVERIFY(sim.Start(args));
    testing::PtyClient client;
    QVERIFY(client.Open(sim.PtyPath()));
    QCOMPARE(client.Transact("?:D0"), QByteArray("600\r\n"));
    QCOMPARE(client.Transact("?:D2"), QByteArray("200\r\n"));
    client.Close();
    QCOMPARE(sim.Terminate(), 0);
}

void TestSim::ptyOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QByteArray>("received"); // everything after the last command
    QTest::addColumn<int>("lines");           // line ends to wait for

    QTest::newRow("name") << QStringList{"--name", "ABC"} << QStringList{"?:N"}
                          << QByteArray("ABC\r\n") << 1;
    QTest::newRow("firmware") << QStringList{"--firmware", "V1.09"} << QStringList{"?:V"}
                              << QByteArray("V1.09\r\n") << 1;
    QTest::newRow("scripted reply") << QStringList{"--reply", "?:D0=V 1.23"} << QStringList{"?:D0"}
                                    << QByteArray("V 1.23\r\n") << 1;
    QTest::newRow("silent after one")
        << QStringList{"--silent-after", "1"} << QStringList{"?:N", "?:D0"} << QByteArray() << 1;
    QTest::newRow("silent at") << QStringList{"--silent-at", "?:D0"} << QStringList{"?:D0"}
                               << QByteArray() << 1;
    QTest::newRow("CR CR LF") << QStringList{"--double-cr"} << QStringList{"?:D0"}
                              << QByteArray("500\r\r\n") << 1;
    QTest::newRow("second line") << QStringList{"--second-line", "X"} << QStringList{"?:D0"}
                                 << QByteArray("500\r\nX\r\n") << 2;
    QTest::newRow("split") << QStringList{"--split-crlf", "--split-gap", "50"}
                           << QStringList{"?:D0"} << QByteArray("500\r\n") << 1;
    QTest::newRow("line speed") << QStringList{"--baud", "9600"} << QStringList{"?:D0"}
                                << QByteArray("500\r\n") << 1;
    QTest::newRow("late, after processing")
        << QStringList{"--processing", "20", "--late", "?:D0=100"} << QStringList{"?:D0"}
        << QByteArray("500\r\n") << 1;
    QTest::newRow("OK without effect")
        << QStringList{"--ignore-setting", "D0"} << QStringList{"Z:D0600", "?:D0"}
        << QByteArray("500\r\n") << 1;
    QTest::newRow("noise around the first reply")
        << QStringList{"--noise-before", "?:D0=00ff", "--noise-after", "?:D0=23"}
        << QStringList{"?:D0"}
        << QByteArray("\x00\xff"
                      "500\r\n#",
                      8)
        << 1;
    QTest::newRow("stale reply") << QStringList{"--stale-before", "?:D1"}
                                 << QStringList{"?:D0", "?:D1"} << QByteArray("500\r\n5000\r\n")
                                 << 2;
    QTest::newRow("busy word") << QStringList{"--busy", "?:D0=BUSY"} << QStringList{"?:D0"}
                               << QByteArray("BUSY\r\n") << 1;
    QTest::newRow("flood") << QStringList{"--flood", "?:D0=3:9"} << QStringList{"?:D0"}
                           << QByteArray("999500\r\n") << 1;
    QTest::newRow("restart to factory")
        << QStringList{"--restart-at", "?:N", "--restart-to", "factory"}
        << QStringList{"Z:D0600", "?:N", "?:D0"} << QByteArray("500\r\n") << 1;
    QTest::newRow("reply twice") << QStringList{"--twice", "?:D0=50"} << QStringList{"?:D0"}
                                 << QByteArray("500\r\n500\r\n") << 2;
    QTest::newRow("repeat answered later")
        << QStringList{"--late", "?:D0=50", "--repeat-after", "?:D0=100"}
        << QStringList{"?:D0", "?:D0"} << QByteArray("500\r\n") << 1;
    QTest::newRow("repeat never answered") << QStringList{"--repeat-after", "?:D0=-1"}
                                           << QStringList{"?:D0", "?:D0"} << QByteArray() << 1;
}

void TestSim::ptyOptions() {
    QMX_SKIP_WITHOUT_SIM();
    QFETCH(QStringList, args);
    QFETCH(QStringList, commands);
    QFETCH(QByteArray, received);
    QFETCH(int, lines);
    testing::SimProcess sim;
    QVERIFY(sim.Start(args));
    testing::PtyClient client;
    QVERIFY(client.Open(sim.PtyPath()));
    QByteArray last;
    for (const QString& command : commands)
        last = client.Transact(command, lines, received.isEmpty() ? 300 : 2000);
    QCOMPARE(last, received);
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
