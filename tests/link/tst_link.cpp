#include "link/ComSupport.h"
#include "link/ControllerCommands.h"
#include "link/QMXModule.h"
#include "link/WireTrace.h"
#include "platform/Ports.h"
#include "platform/QtSerialControl.h"
#include "shell/ConfigRecord.h"
#include "shell/MainModule.h"
#include "sim/DeviceModel.h"
#include "sim/SimSerialControl.h"
#include "tests/support/Protocol.h"
#include "tests/support/Reset.h"
#include "tests/support/Scripted.h"
#include "tests/support/SimHarness.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <ctime>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

using namespace ComSupport;

namespace {

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Wall and CPU time of one call.
struct Cost {
    double wall = 0.0;
    double cpu = 0.0;
};

template <typename F> Cost Measure(F&& call) {
    QElapsedTimer wall;
    const double cpu = CpuSeconds();
    wall.start();
    call();
    return {double(wall.nsecsElapsed()) / 1e9, CpuSeconds() - cpu};
}

ConfigRecord Record(std::initializer_list<std::pair<qint32 ConfigRecord::*, qint32>> longs,
                    std::initializer_list<std::pair<qint16 ConfigRecord::*, qint16>> shorts) {
    ConfigRecord r = FactoryDefaults();
    for (const auto& [field, value] : longs)
        r.*field = value;
    for (const auto& [field, value] : shorts)
        r.*field = value;
    return r;
}

// Differs from the factory values after the speed fields; reservedSwitch is never loaded.
ConfigRecord RecordBeforeLoad() {
    ConfigRecord r = FactoryDefaults();
    r.excitationAtStartUp = kFalse;
    r.jogDialPulses = 77;
    r.runCurrent = 600;
    r.originOffset = 5;
    r.reservedSwitch = 3;
    return r;
}

const QStringList& kIdentify = testing::kIdentifyCommands;
const QStringList kFactoryStore = testing::FactoryStoreCommands();

} // namespace

// What the controller commands showed, for rows that run them without a window.
struct RecordingView final : ControllerCommandsView {
    QStringList calls;
    void DispConfigData() override { calls << "present"; }
    void DispControllerInfo(bool identified) override {
        calls << (identified ? "info" : "placeholders");
    }
    void SetConnectedControls(bool on) override { calls << (on ? "connected" : "disconnected"); }
    void SetOptionsEnabled(bool on) override { calls << (on ? "options on" : "options off"); }
    void DispStatusMsg(StatusMsg message) override {
        calls << QStringLiteral("status %1").arg(int(message));
    }
    bool Ask(const Question& question) override { return testing::AskInBox(question); }
    void ShowFailure(const Failure& failure) override { testing::ShowInBox(failure); }
};

class TestLink : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void transaction_data();
    void transaction();
    void noControllerGivesUpAfterFiveAttempts();
    void ctsNeverAsserted();
    void closeOnClosedPort();
    void openSettings_data();
    void openSettings();
    void openFailureBox_data();
    void openFailureBox();
    void deviceGoneMidTransaction();
    void lateRepliesThatDisagreeFail_data();
    void lateRepliesThatDisagreeFail();
    void traceShowsTheLine_data();
    void traceShowsTheLine();
    void traceFileIsAppendedTo();
    void verifyFailsOnAShiftedReply();
    void storeCommandsOfZeros();

    void connectController_data();
    void connectController();
    void store_data();
    void store();
    void load_data();
    void load();

    void endToEnd_data();
    void endToEnd();
    void endToEndConnectLoadStore();
    void endToEndOpenFailure_data();
    void endToEndOpenFailure();
    void simulatorKilledMidTransaction();
    void waitingForNoReplyCostsLittleCpu();

private:
    void OpenSim();
    void UseFastTicksUnlessTimed();
    QTimer* ticks_ = nullptr;
    bool OpenPty(testing::SimProcess& sim, const QStringList& args);
    QString PlaceOpenObstacle(const QString& why, testing::SimProcess& sim, QSerialPort& holder,
                              const QTemporaryDir& dir, QStringList& placed, QString& skip);

    std::unique_ptr<sim::DeviceModel> model_;
    std::unique_ptr<sim::SimSerialControl> control_;
    std::unique_ptr<platform::QtSerialControl> port_;
    testing::ScriptedMessageBoxes boxes_;
    testing::RecordingProgress progress_;
};

void TestLink::initTestCase() {
    ticks_ = CreateTickTimer(this);
}

// The in-process controller answers at once: a short tick keeps rows quick without changing
// what the link counts, unless the row times its faults by the clock.
void TestLink::UseFastTicksUnlessTimed() {
    const sim::Faults& f = model_->faults;
    const bool timed = !f.lateMs.isEmpty() || !f.stallMs.isEmpty() || f.processingMs > 0 ||
                       f.byteDelayMs > 0.0 || f.splitCrLf || f.chunkBytes > 0 ||
                       !f.repeatAfterMs.isEmpty() || !f.twiceGapMs.isEmpty();
    ticks_->setInterval(timed ? kTickMs : 2);
}

void TestLink::init() {
    ticks_->setInterval(kTickMs);
    model_ = std::make_unique<sim::DeviceModel>();
    control_ = std::make_unique<sim::SimSerialControl>(*model_);
    testing::ResetCore("/L:E");
    SetSerialControl(control_.get());
    boxes_.shown.clear();
    progress_.values.clear();
}

void TestLink::cleanup() {
    ComClose();
    SetSerialControl(nullptr);
    port_.reset();
    control_.reset();
    model_.reset();
    testing::ResetCore();
}

void TestLink::OpenSim() {
    QVERIFY(ComOpen());
}

bool TestLink::OpenPty(testing::SimProcess& sim, const QStringList& args) {
    QString error;
    if (!sim.Start(args, &error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    qputenv("QMX_COM1", sim.PtyPath().toLocal8Bit());
    port_ = std::make_unique<platform::QtSerialControl>();
    SetSerialControl(port_.get());
    ComInit(1, 1);
    return testing::Boxed(ComOpen());
}

// ---- The transaction, in-process --------------------------------------------------------

void TestLink::transaction_data() {
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("attempts"); // command lines the controller received
    // The reply to "?:EM" straight afterwards: "" when that query must fail, because a line
    // was waiting before it went out; "-" when it is not tried.
    QTest::addColumn<QString>("next");

    sim::Faults f;
    QTest::newRow("OK") << f << "Z:D0600" << true << "OK" << 1 << "10";
    QTest::newRow("number") << f << "?:D0" << true << "500" << 1 << "10";
    f.replies.insert("?:V", "V 1.23");
    QTest::newRow("blanks dropped") << f << "?:V" << true << "V1.23" << 1 << "10";
    f.replies.insert("?:V", " V1\b.2 3 ");
    QTest::newRow("backspaces dropped") << f << "?:V" << true << "V1.23" << 1 << "10";
    f = {};
    f.replies.insert("?:V", "");
    QTest::newRow("empty reply") << f << "?:V" << true << "" << 1 << "10";
    f = {};
    f.splitCrLf = true;
    QTest::newRow("split between CR and LF") << f << "?:D0" << true << "500" << 1 << "10";
    f = {};
    f.doubleCr = true;
    QTest::newRow("CR CR LF") << f << "?:D0" << false << "" << 5 << "-";
    f = {};
    f.doubleCrFirst = 1;
    QTest::newRow("CR CR LF, then a good retry") << f << "?:D0" << true << "500" << 2 << "10";
    f = {};
    f.secondLine = "EXTRA";
    QTest::newRow("a line more than owed") << f << "?:D0" << false << "" << 1 << "-";
    f = {};
    f.processingMs = 30;
    f.lateMs.insert("?:D0", 250);
    QTest::newRow("late reply, then the repeat's") << f << "?:D0" << true << "500" << 2 << "10";
    f.lateMs = {{"Z:D0600", 450}};
    QTest::newRow("setting answered two time-outs late")
        << f << "Z:D0600" << true << "OK" << 3 << "10";
    // A busy controller answers the repeat long after the late first answer: still owed.
    f = {};
    f.lateMs = {{"?:D0", 250}};
    f.repeatAfterMs = {{"?:D0", 700}};
    QTest::newRow("late, the repeat 0.7 s after it") << f << "?:D0" << true << "500" << 2 << "10";
    f.repeatAfterMs = {{"?:D0", -1}};
    QTest::newRow("late, the repeat never answered") << f << "?:D0" << true << "500" << 2 << "10";
    // Each owed line that comes allows as long again for the next.
    f.lateMs = {{"?:D0", 450}};
    f.repeatAfterMs = {{"?:D0", 700}};
    QTest::newRow("two time-outs late, the repeats 0.7 s and 0.45 s apart")
        << f << "?:D0" << true << "500" << 3 << "10";
    f = {};
    f.stallMs = {{"?:D0", 250}};
    QTest::newRow("stalled, replies back to back") << f << "?:D0" << true << "500" << 2 << "10";
    f.twiceGapMs = {{"?:D0", 30}};
    QTest::newRow("stalled, and a copy: one line more than owed")
        << f << "?:D0" << false << "" << 2 << "10";
    f.twiceGapMs.clear();
    f.stallMs = {{"?:D0", 700}};
    QTest::newRow("stalled 0.7 s") << f << "?:D0" << true << "500" << 4 << "10";
    // Its five replies are waited out, not taken by the next command.
    f.stallMs = {{"Z:D0600", 1100}};
    QTest::newRow("stalled past the last attempt") << f << "Z:D0600" << false << "" << 5 << "10";
    // The copy comes after the reply was taken: the next command must not take it.
    f = {};
    f.twiceGapMs = {{"?:D0", 60}};
    QTest::newRow("the reply twice, 60 ms apart") << f << "?:D0" << true << "500" << 1 << "";
    f = {};
    f.chunkBytes = 2;
    QTest::newRow("2 bytes every 16 ms") << f << "?:N" << true << "QMX001-SIM" << 1 << "10";
    f.chunkBytes = 1;
    f.chunkGapMs = 10;
    f.noiseAfter.insert("?:N", "\xff");
    QTest::newRow("1 byte every 10 ms, noise after")
        << f << "?:N" << true << "QMX001-SIM" << 1 << "10";
    // Digits without a line end would make a number of the next reply.
    f = {};
    f.noiseAfter.insert("?:N", "12");
    QTest::newRow("digits after, no line end") << f << "?:N" << true << "QMX001-SIM" << 1 << "10";
    f = {};
    f.silentAfter = 0;
    QTest::newRow("no controller") << f << "?:D0" << false << "" << 5 << "-";
    f = {};
    f.byteDelayMs = sim::ByteDelayForBaud(9600);
    QTest::newRow("9600 bit/s") << f << "?:D1" << true << "5000" << 1 << "10";
    f.byteDelayMs = sim::ByteDelayForBaud(4800);
    QTest::newRow("4800 bit/s") << f << "?:N" << true << "QMX001-SIM" << 1 << "10";
}

void TestLink::transaction() {
    QFETCH(sim::Faults, faults);
    QFETCH(QString, command);
    QFETCH(bool, ok);
    QFETCH(QString, reply);
    QFETCH(int, attempts);
    QFETCH(QString, next);
    model_->faults = faults;
    UseFastTicksUnlessTimed();
    OpenSim();
    QString got = "stale";
    QCOMPARE(ComQuery(command, got), ok);
    QCOMPARE(got, reply);
    QCOMPARE(model_->Log(), QStringList(QList<QString>(attempts, command)));
    QCOMPARE(control_->Written(), (command.toLatin1() + "\r\n").repeated(attempts));
    if (next == u"-")
        return;
    // The next transaction starts clean, whatever came before. Noise still on its way may
    // stand in front of its first line, which is then no number: the load's shape refuses it.
    // A line that came after the transaction ended fails it: the replies have shifted.
    if (next.isEmpty()) {
        QTRY_VERIFY(!control_->ReplyPending());
        QTest::qWait(3 * kTickMs);
    }
    QCOMPARE(ComQuery("?:EM", got, ReplyShape::Number), !next.isEmpty());
    QCOMPARE(got, next);
    QCOMPARE(LastQuery().outcome,
             next.isEmpty() ? QueryReport::Outcome::Shifted : QueryReport::Outcome::Answered);
}

void TestLink::noControllerGivesUpAfterFiveAttempts() {
    model_->faults.silentAfter = 0;
    OpenSim();
    QString reply;
    bool ok = true;
    const Cost cost = Measure([&] { ok = ComQuery("?:N", reply); });
    QVERIFY(!ok);
    QCOMPARE(model_->Log().size(), kAttempts);
    // Five time-outs of 10 ticks: about a second.
    QVERIFY2(cost.wall > 0.7 && cost.wall < 3.0, qPrintable(QString::number(cost.wall)));
}

void TestLink::ctsNeverAsserted() {
    model_->faults.ctsLow = true;
    OpenSim();
    QString reply;
    bool ok = true;
    const Cost cost = Measure([&] { ok = ComQuery("?:N", reply); });
    QVERIFY(!ok);
    QCOMPARE(reply, QString());
    QVERIFY(control_->Written().isEmpty());
    QVERIFY(model_->Log().isEmpty());
    QVERIFY2(cost.wall < 0.5, qPrintable(QString::number(cost.wall)));
}

void TestLink::closeOnClosedPort() {
    OpenSim();
    ComClose();
    QVERIFY(!control_->IsOpen());
    QCOMPARE(Link.PortIsOpen, kFalse);
    // A second close must not reach the control: the lines set by hand stay as they are.
    control_->SetRts(true);
    control_->SetDtr(true);
    ComClose();
    QVERIFY(control_->Rts() && control_->Dtr());
    QCOMPARE(Link.PortIsOpen, kFalse);
}

void TestLink::openSettings_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("speed");
    QTest::addColumn<QString>("settings");
    QTest::newRow("COM1 4800") << 1 << 0 << "4800,N,8,1";
    QTest::newRow("COM2 9600") << 2 << 1 << "9600,N,8,1";
    QTest::newRow("COM9 19200") << 9 << 2 << "19200,N,8,1";
    QTest::newRow("COM16 38400") << 16 << 3 << "38400,N,8,1";
}

void TestLink::openSettings() {
    QFETCH(int, port);
    QFETCH(int, speed);
    QFETCH(QString, settings);
    ComInit(port, speed);
    QVERIFY(ComOpen());
    QCOMPARE(Link.PortIsOpen, kTrue);
    QCOMPARE(control_->Device(), platform::ComPortDeviceName(port));
    QCOMPARE(control_->Settings(), settings);
    QVERIFY(control_->Rts() && control_->Dtr());
    QVERIFY(boxes_.shown.isEmpty());
    ComClose();
    QVERIFY(!control_->IsOpen() && !control_->Rts() && !control_->Dtr());
    QCOMPARE(Link.PortIsOpen, kFalse);
}

void TestLink::openFailureBox_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("title");
    QTest::newRow("Japanese") << 0 << QString::fromUtf8("QMX-001通信");
    QTest::newRow("English") << 1 << "QMX-001 LINK";
}

void TestLink::openFailureBox() {
    QFETCH(int, language);
    QFETCH(QString, title);
    MainModule::State.UILanguage = qint16(language);
    control_->SetOpenError("COM1: Permission denied");
    QVERIFY(!testing::Boxed(ComOpen()));
    QCOMPARE(Link.PortIsOpen, kFalse);
    QCOMPARE(boxes_.shown.size(), 1);
    QCOMPARE(boxes_.shown[0].text, QString("COM1: Permission denied"));
    QCOMPARE(boxes_.shown[0].title, title);
    QCOMPARE(boxes_.shown[0].icon, platform::MsgIcon::Critical);
    QCOMPARE(boxes_.shown[0].buttons, platform::MsgButtons::Ok);
}

// The device vanishes while a reply is awaited: the transaction fails without writing to the
// closed port again.
void TestLink::deviceGoneMidTransaction() {
    model_->faults.silentAt = "?:D0";
    OpenSim();
    QSignalSpy lost(control_.get(), &platform::SerialControl::Lost);
    QTimer::singleShot(60, control_.get(), &sim::SimSerialControl::Unplug);
    QString reply;
    QVERIFY(!ComQuery("?:D0", reply));
    QCOMPARE(lost.count(), 1);
    QCOMPARE(model_->Log(), QStringList{"?:D0"});
    ComClose();
    QCOMPARE(Link.PortIsOpen, kFalse);
}

// The controller's value changes between the attempts: which reply belongs to which attempt
// cannot be told, so the transaction fails, wherever in the drain the odd line comes.
void TestLink::lateRepliesThatDisagreeFail_data() {
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<QList<int>>("values"); // D0 from 100 ms on, from 300 ms on
    QTest::addColumn<int>("attempts");
    sim::Faults f;
    f.lateMs.insert("?:D0", 250);
    QTest::newRow("late, the second differs") << f << QList<int>{700} << 2;
    f = {};
    f.stallMs.insert("?:D0", 450);
    QTest::newRow("stalled, the middle one differs") << f << QList<int>{700, 500} << 3;
}

void TestLink::lateRepliesThatDisagreeFail() {
    QFETCH(sim::Faults, faults);
    QFETCH(QList<int>, values);
    QFETCH(int, attempts);
    QBuffer trace;
    QVERIFY(trace.open(QIODevice::WriteOnly));
    WireTrace::Start(&trace);
    const auto stop = qScopeGuard([] { WireTrace::Stop(); });
    model_->faults = faults;
    OpenSim();
    for (qsizetype i = 0; i < values.size(); ++i)
        QTimer::singleShot(100 + 200 * i, this,
                           [this, v = values[i]] { model_->SetParameter("D0", v); });
    QString reply;
    QVERIFY(!ComQuery("?:D0", reply));
    QCOMPARE(reply, QString());
    QCOMPARE(LastQuery().outcome, QueryReport::Outcome::Disagreed);
    QCOMPARE(model_->Log(), QStringList(attempts, "?:D0"));
    QVERIFY(ComQuery("?:D1", reply));
    QCOMPARE(reply, QString("5000"));
    QVERIFY(trace.data().contains("(differs from the reply taken)"));
}

// The trace shows what a person needs to follow the line: the port's path, the lines set
// aside and why, the drain and the quiet waits with what came in them, and every byte in a
// form that can be told apart.
void TestLink::traceShowsTheLine_data() {
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<QString>("series"); // "load", "store" or the queries, blank-separated
    QTest::addColumn<QStringList>("shows");
    QTest::addColumn<QStringList>("lacks");

    sim::Faults f;
    f.replies.insert("?:V", "V1\\2\x7f");
    f.emptyLineBefore.insert("?:D0");
    f.stallMs.insert("?:D0", 250);
    QTest::newRow("odd bytes, an empty line, an owed line")
        << f << "?:V ?:D0"
        << QStringList{"/dev/ttyS0  > ?:V",
                       "V1\\\\2\\x7f",
                       "noise set aside, not a reply: \n",
                       "= 500  (reply, attempt 2, taken after a line set aside)",
                       "waiting for 1 owed line",
                       "owed line of an attempt that timed out: 500\n",
                       "drain done: the lines that came agree"}
        << QStringList{"differs"};
    QTest::newRow("a plain load") << sim::Faults{} << "load" << QStringList{"= 10  (reply"}
                                  << QStringList{"quiet wait", "~ "};
    f = {};
    f.lateMs = {{"?:D0", 250}};
    f.repeatAfterMs = {{"?:D0", -1}};
    QTest::newRow("an owed line never comes")
        << f << "load"
        << QStringList{"# 1 owed line(s) did not come: taken as dropped",
                       "quiet wait, 50 ticks: the series had trouble",
                       "quiet wait done: nothing came"}
        << QStringList{"in the quiet wait"};
    f.processingMs = 100;
    f.lateMs = {{"?:D0", 150}};
    f.repeatAfterMs = {{"?:D0", 1050}};
    QTest::newRow("a reply too late shifts the next")
        << f << "?:D0 ?:D1"
        << QStringList{"~ line in the quiet wait: 5000  (a late reply: the replies have shifted)"}
        << QStringList{"quiet wait done"};
    f = {};
    f.replies = {{"?:EP", "NG"}};
    QTest::newRow("a query refused")
        << f << "load" << QStringList{"~ refusal set aside, a number is due: NG"}
        << QStringList{"noise set aside"};
    f.replies = {{"Z:EP1", "NG"}};
    QTest::newRow("a setting refused")
        << f << "store" << QStringList{"! Z:EP1 refused by the controller: NG"}
        << QStringList{"> Z:EA"};
    f = {};
    f.stalePrevious = {"Z:UW"};
    f.replies = {{"Z:UW", "NG"}};
    f.lateMs = {{"Z:UW", 100}};
    QTest::newRow("a stale OK taken at the commit")
        << f << "store"
        << QStringList{"= OK  (reply, attempt 1)\n", "quiet wait, ",
                       "~ line in the quiet wait: NG  (after the reply taken, which may have "
                       "been stale)"}
        << QStringList{"quiet wait done"};
}

void TestLink::traceShowsTheLine() {
    QFETCH(sim::Faults, faults);
    QFETCH(QString, series);
    QFETCH(QStringList, shows);
    QFETCH(QStringList, lacks);
    QBuffer trace;
    QVERIFY(trace.open(QIODevice::WriteOnly));
    WireTrace::Start(&trace);
    const auto stop = qScopeGuard([] { WireTrace::Stop(); });
    model_->faults = faults;
    UseFastTicksUnlessTimed();
    OpenSim();
    if (series == u"load") {
        testing::Boxed(QMXModule::LoadConfigFromController());
    } else if (series == u"store") {
        testing::Boxed(QMXModule::StoreConfigToController());
    } else {
        BeginSeries();
        QString reply;
        for (const QString& query : series.split(' '))
            QVERIFY(
                ComQuery(query, reply, query == u"?:V" ? ReplyShape::Line : ReplyShape::Number));
        SeriesEndsQuiet();
    }
    const QString text = QString::fromLatin1(trace.data());
    for (const QString& part : shows)
        QVERIFY2(text.contains(part), qPrintable(part + "\n" + text));
    for (const QString& part : lacks)
        QVERIFY2(!text.contains(part), qPrintable(part + "\n" + text));
}

// A trace file is appended to: several runs, or several programs, share one.
void TestLink::traceFileIsAppendedTo() {
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.txt");
    QFile earlier(path);
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("an earlier run\n");
    earlier.close();
    QString error;
    QVERIFY(WireTrace::StartFile(path, error));
    WireTrace::Note("this run");
    WireTrace::Stop();
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    const QByteArray text = earlier.readAll();
    QVERIFY2(text.startsWith("an earlier run\n") && text.contains("# this run\n"), text);
    QVERIFY(!WireTrace::StartFile(dir.filePath("missing/trace.txt"), error));
    QVERIFY(error.contains("missing/trace.txt"));
}

// Reading back what a store sent: a reply later than the link takes shifts the rest, and the
// verify fails, whatever the values it shifted.
void TestLink::verifyFailsOnAShiftedReply() {
    model_->faults.processingMs = 100;
    model_->faults.lateMs = {{"?:ED", 150}};
    model_->faults.repeatAfterMs = {{"?:ED", 1050}};
    OpenSim();
    QList<QMXModule::StoreDifference> differences;
    QVERIFY(!testing::Boxed(QMXModule::VerifyStore(FactoryDefaults(), differences)));
    QCOMPARE(boxes_.shown.size(), 1);
    QVERIFY(!progress_.visible);
}

// A count of 0 goes out without digits; no dial pulses as the controller's default of 10.
void TestLink::storeCommandsOfZeros() {
    ConfigRecord r = FactoryDefaults();
    r.ctValue = 0;
    r.jogDialPulses = 0;
    const std::optional<QStringList> commands = QMXModule::StoreCommands(r);
    QVERIFY(commands);
    QCOMPARE(commands->mid(31, 4), (QStringList{"Z:CT", "Z:MT0", "Z:ED0", "Z:EM10"}));
}

// ---- Identification, load and store against the in-process controller -------------------

void TestLink::connectController_data() {
    QTest::addColumn<sim::Identity>("identity");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("sent");
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<QString>("again"); // a command sent more than once
    QTest::addColumn<int>("times");

    const sim::Identity id;
    const sim::Faults none;
    QTest::newRow("simulator") << id << true << "" << 6 << none << "" << 1;
    sim::Faults f;
    f.lateMs = {{"?:S", 250}};
    QTest::newRow("late serial number") << id << true << "" << 6 << f << "?:S" << 2;
    f.lateMs = {{"Z:IE0", 250}};
    QTest::newRow("late Z:IE0") << id << true << "" << 6 << f << "Z:IE0" << 2;
    f = {};
    f.stallMs = {{"Z:IE0", 1100}}; // its five OKs must not reach the name
    QTest::newRow("Z:IE0 more than 1 s late") << id << true << "" << 6 << f << "Z:IE0" << 5;
    f = {};
    f.noiseBefore = {{"?:S", "#"}};
    QTest::newRow("noise before the serial number") << id << true << "" << 6 << f << "?:S" << 2;
    f = {};
    f.emptyLineBefore = {"?:S"};
    QTest::newRow("empty line before the serial number") << id << true << "" << 6 << f << "" << 1;
    f = {};
    f.noiseBefore = {{"?:N", "#\r\n"}};
    QTest::newRow("noise line before the name") << id << true << "" << 6 << f << "" << 1;
    f = {};
    f.lateMs = {{"?:S", 250}};
    f.repeatAfterMs = {{"?:S", 700}};
    QTest::newRow("late serial number, the repeat 0.7 s after")
        << id << true << "" << 6 << f << "?:S" << 2;
    // Slow throughout, and busy once: the repeat's reply would shift every later one.
    f.processingMs = 100;
    f.lateMs = {{"?:B", 150}};
    f.repeatAfterMs = {{"?:B", 1050}};
    QTest::newRow("slow, the repeat of ?:B 1.05 s late")
        << id << false << "cannot connect QMX-001." << 6 << f << "?:B" << 2;
    sim::Identity i = id;
    i.name = "QMX001 rev B"; // blanks dropped on the way
    QTest::newRow("more after QMX001") << i << true << "" << 6 << none << "" << 1;
    i = id;
    i.name = "QMX002";
    QTest::newRow("foreign name") << i << false << "cannot connect QMX-001." << 2 << none << ""
                                  << 1;
    i = id;
    i.version = "V1.10";
    QTest::newRow("version 1.10") << i << true << "" << 6 << none << "" << 1;
    i.version = "V1.09";
    QTest::newRow("version 1.09") << i << false << "Cannot use old QMX-001 version." << 6 << none
                                  << "" << 1;
    i.version = "V1.2";
    QTest::newRow("version not numeric")
        << i << false << "Cannot use old QMX-001 version." << 6 << none << "" << 1;
}

void TestLink::connectController() {
    QFETCH(sim::Identity, identity);
    QFETCH(bool, accepted);
    QFETCH(QString, box);
    QFETCH(int, sent);
    QFETCH(sim::Faults, faults);
    QFETCH(QString, again);
    QFETCH(int, times);
    model_->identity = identity;
    model_->faults = faults;
    UseFastTicksUnlessTimed();
    RecordingView view;
    const auto result = ControllerCommands::Connect(view);
    QCOMPARE(result == ControllerCommands::ConnectResult::Connected, accepted);
    QCOMPARE(IsTrue(MainModule::State.IsConnected), accepted);
    const QStringList shown{"info", "options off", "connected", "status 1"};
    QCOMPARE(view.calls, accepted ? shown : QStringList());
    QStringList expected = kIdentify.first(sent);
    for (int i = 1; i < times; ++i)
        expected.insert(expected.indexOf(again), again);
    QCOMPARE(model_->Log(), expected);
    QCOMPARE(boxes_.shown.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
        QCOMPARE(boxes_.shown[0].text, box);
        QCOMPARE(boxes_.shown[0].title, QString("QMX-001 LINK"));
        QCOMPARE(boxes_.shown[0].icon, platform::MsgIcon::Critical);
    }
    QVERIFY(!progress_.visible);
    if (accepted) {
        const ProgramState& s = MainModule::State;
        QCOMPARE(s.ControllerName, QString(identity.name).remove(' '));
        QCOMPARE(s.ControllerSerialNo, identity.serialNo);
        QCOMPARE(s.ControllerVersionText, identity.version.right(4));
        QCOMPARE(s.ControllerRevision, identity.revision);
        QCOMPARE(s.ControllerBuildDate, identity.buildDate);
        QCOMPARE(progress_.values.last(), 100);
    }
}

void TestLink::store_data() {
    using Commit = QMXModule::StoreReport::Commit;
    using Why = QMXModule::StoreReport::Why;
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QMXModule::StoreReport>("report"); // how far it got, and why it stopped
    const auto report = [](Commit commit, int settings, const QString& command = {},
                           const QString& reply = {}, Why why = Why::Refused) {
        QMXModule::StoreReport r;
        r.commit = commit;
        r.settings = settings;
        r.failedCommand = command;
        r.failedReply = reply;
        r.why = why;
        return r;
    };
    const auto untrusted = report(Commit::Uncertain, 35, "Z:UW", "NG", Why::Unconfirmed);

    const QStringList& all = kFactoryStore;
    sim::Faults f;
    QTest::newRow("all accepted") << f << true << all << report(Commit::Ok, 35);
    for (const char* refusal : {"NG", "ERR", "OKK"}) {
        f.replies = {{"Z:EP1", refusal}};
        QTest::newRow(qPrintable(QStringLiteral("Z:EP1 answered '%1'").arg(refusal)))
            << f << false << all.first(16) << report(Commit::NotSent, 15, "Z:EP1", refusal);
    }
    f.replies = {{"Z:EP1", ""}}; // no answer at all: repeated
    QTest::newRow("Z:EP1 answered ''") << f << false << all.first(15) + QStringList(5, "Z:EP1")
                                       << report(Commit::NotSent, 15, "Z:EP1", "", Why::Unanswered);
    // The refusing line is named, not the last one seen.
    f.replies = {{"Z:CT4", "NG"}};
    f.noiseAfter = {{"Z:CT4", "OK\r\n"}};
    QTest::newRow("Z:CT4 answered NG, then OK")
        << f << false << all.first(32)
        << report(Commit::NotSent, 31, "Z:CT4", "NG", Why::Disagreed);
    f.replies.clear();
    f.noiseAfter = {{"Z:CT4", "NG\r\n"}};
    QTest::newRow("Z:CT4 answered OK, then NG")
        << f << false << all.first(32)
        << report(Commit::NotSent, 31, "Z:CT4", "NG", Why::Disagreed);
    f = {};
    f.silentAt = "Z:UW";
    QTest::newRow("no reply to Z:UW")
        << f << false << all + QStringList(4, "Z:UW")
        << report(Commit::Unanswered, 35, "Z:UW", "", Why::Unanswered);
    f = {};
    f.lateMs = {{"Z:IS1", 250}};
    QStringList repeated = all;
    repeated.insert(19, "Z:IS1");
    QTest::newRow("late OK") << f << true << repeated << report(Commit::Ok, 35);
    f.replies = {{"Z:UW", "NG"}};
    QTest::newRow("late OK, then NG to Z:UW")
        << f << false << repeated << report(Commit::Refused, 35, "Z:UW", "NG");
    f = {};
    f.stallMs = {{"Z:IS1", 300}};
    QTest::newRow("stalled, OK twice in one read")
        << f << true << repeated << report(Commit::Ok, 35);
    f = {};
    f.lateMs = {{"Z:UW", 250}};
    f.repeatAfterMs = {{"Z:UW", 150}};
    QTest::newRow("Z:UW late, its repeat 150 ms after")
        << f << true << all + QStringList{"Z:UW"} << report(Commit::Ok, 35);
    // A stale OK goes out first when Z:UW arrives; the real answer follows, up to 0.5 s later,
    // whole, in 1-byte pieces, or only in part.
    f = {};
    f.stalePrevious = {"Z:UW"};
    f.replies = {{"Z:UW", "NG"}};
    for (const int late : {100, 400}) {
        f.lateMs = {{"Z:UW", late}};
        QTest::newRow(qPrintable(QStringLiteral("stale OK, then NG to Z:UW %1 ms later").arg(late)))
            << f << false << all << untrusted;
    }
    f.chunkBytes = 1;
    f.chunkGapMs = 10;
    f.lateMs = {{"Z:UW", 300}};
    QTest::newRow("stale OK, then NG in 1-byte pieces") << f << false << all << untrusted;
    f = {};
    f.noiseAfter = {{"Z:UW", "NG"}};
    QTest::newRow("OK to Z:UW, then part of a line") << f << false << all << untrusted;
    f.noiseAfter = {{"Z:UW", "NG\r\n"}};
    QTest::newRow("OK and NG to Z:UW at once")
        << f << false << all << report(Commit::Uncertain, 35, "Z:UW", "NG", Why::Disagreed);
    // The reply to Z:EM twice, or its repeat answered late: the copy is taken for Z:UW's.
    f = {};
    f.twiceGapMs = {{"Z:EM10", 60}};
    f.replies = {{"Z:UW", "NG"}};
    f.lateMs = {{"Z:UW", 400}};
    QTest::newRow("OK to Z:EM10 twice, NG to Z:UW 0.4 s later") << f << false << all << untrusted;
    f.twiceGapMs.clear();
    f.lateMs = {{"Z:EM10", 250}, {"Z:UW", 500}};
    f.repeatAfterMs = {{"Z:EM10", 1100}};
    QStringList emTwice = all;
    emTwice.insert(34, "Z:EM10");
    QTest::newRow("Z:EM10's repeat answered 1.1 s late, NG to Z:UW 0.5 s after")
        << f << false << emTwice << untrusted;
}

void TestLink::store() {
    QFETCH(sim::Faults, faults);
    QFETCH(bool, ok);
    QFETCH(QStringList, sent);
    QFETCH(QMXModule::StoreReport, report);
    model_->faults = faults;
    UseFastTicksUnlessTimed();
    OpenSim();
    QCOMPARE(testing::Boxed(QMXModule::StoreConfigToController()), ok);
    QCOMPARE(model_->Log(), sent);
    QCOMPARE(boxes_.shown.size(), ok ? 0 : 1);
    QVERIFY(!progress_.visible);
    if (ok)
        QCOMPARE(progress_.values.last(), 100);
    else if (report.commit == QMXModule::StoreReport::Commit::Uncertain)
        QVERIFY(boxes_.shown[0].text.contains("may or may not be kept. Store again."));
    else
        QCOMPARE(boxes_.shown[0].text, QString("cannot connect QMX-001."));
    const QMXModule::StoreReport& got = QMXModule::LastStoreReport();
    QCOMPARE(got.commit, report.commit);
    QCOMPARE(got.settings, report.settings);
    QCOMPARE(got.total, 36);
    QCOMPARE(got.failedCommand, report.failedCommand);
    QCOMPARE(got.failedReply, report.failedReply);
    if (!report.failedCommand.isEmpty())
        QCOMPARE(got.why, report.why);
    QVERIFY(!got.interrupted);
}

void TestLink::load_data() {
    QTest::addColumn<QStringList>("parameters"); // CODE=VALUE set in the controller
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<ConfigRecord>("expected");

    const QStringList params{"D0=600", "D1=7000", "J2=50",  "EF=0", "N=-250",
                             "ML0=-1", "CR=1000", "CS=500", "CT=6", "EM=20"};
    ConfigRecord loaded = Record({{&ConfigRecord::defaultSpeedMin, 600},
                                  {&ConfigRecord::defaultSpeedMax, 7000},
                                  {&ConfigRecord::originOffset, -250}},
                                 {{&ConfigRecord::jogAccelTime, 50},
                                  {&ConfigRecord::excitationAtEmergencyStop, kFalse},
                                  {&ConfigRecord::runCurrent, 480},
                                  {&ConfigRecord::stopCurrent, 240},
                                  {&ConfigRecord::ctValue, 30},
                                  {&ConfigRecord::jogDialPulses, 20},
                                  {&ConfigRecord::reservedSwitch, 3}});
    loaded.limitSensorMode[0] = -1;
    QTest::newRow("takes the controller's values") << params << sim::Faults{} << true << loaded;

    sim::Faults f;
    f.processingMs = 30;
    f.lateMs = {{"?:IS", 250}};
    ConfigRecord lateLoaded = loaded;
    lateLoaded.comSpeedIndex = 2;
    QTest::newRow("late reply at ?:IS") << params + QStringList{"IS=2"} << f << true << lateLoaded;
    f = {};
    f.lateMs = {{"?:IS", 250}};
    f.repeatAfterMs = {{"?:IS", 700}};
    QTest::newRow("?:IS late, its repeat 0.7 s after")
        << params + QStringList{"IS=2"} << f << true << lateLoaded;
    // A controller busy elsewhere may drop the repeat: the load still goes through.
    f.lateMs = {{"?:D0", 250}};
    f.repeatAfterMs = {{"?:D0", -1}};
    QTest::newRow("?:D0 late, its repeat never answered") << params << f << true << loaded;
    // Taken as dropped, the repeat's reply comes after all: every later reply is shifted by
    // one, and the last one comes when the load has ended.
    f.processingMs = 100;
    f.lateMs = {{"?:CH", 150}};
    f.repeatAfterMs = {{"?:CH", 1050}};
    QTest::newRow("slow, ?:CH late, its repeat 1.05 s after")
        << params << f << false << RecordBeforeLoad();
    f = {};
    f.stallMs = {{"?:EM", 700}};
    f.noiseBefore = {{"?:D0", QByteArray(1, '\0')}};
    f.emptyLineBefore = {"?:J2"};
    f.replies = {{"?:EF", "00"}}; // any number but 0 is True
    ConfigRecord odd = loaded;
    odd.excitationAtEmergencyStop = kTrue;
    QTest::newRow("stall, noise, empty line, 00") << params << f << true << odd;
    f = {};
    f.replies = {{"?:EP", "NG"}};
    QTest::newRow("NG to a query") << params << f << false << RecordBeforeLoad();
    // A load that stops early takes nothing over.
    for (const char* silentAt : {"?:D0", "?:EP", "?:EM"}) {
        f = {};
        f.silentAt = silentAt;
        QTest::newRow(qPrintable(QStringLiteral("no reply at %1").arg(silentAt)))
            << params << f << false << RecordBeforeLoad();
    }
}

void TestLink::load() {
    QFETCH(QStringList, parameters);
    QFETCH(sim::Faults, faults);
    QFETCH(bool, ok);
    QFETCH(ConfigRecord, expected);
    for (const QString& p : parameters)
        QVERIFY(model_->SetParameter(p.section('=', 0, 0), p.section('=', 1).toLongLong()));
    model_->faults = faults;
    MainModule::Config = RecordBeforeLoad();
    UseFastTicksUnlessTimed();
    OpenSim();
    QCOMPARE(testing::Boxed(QMXModule::LoadConfigFromController()), ok);
    QVERIFY(MainModule::Config == expected);
    if (!ok && !faults.silentAt.isEmpty())
        QCOMPARE(model_->Log().last(kAttempts), QStringList(kAttempts, faults.silentAt));
    QCOMPARE(boxes_.shown.size(), ok ? 0 : 1);
    QVERIFY(!progress_.visible);
}

// ---- End to end: qmx-sim on a pseudo-terminal, the real serial control --------------------

void TestLink::endToEnd_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("reply");

    QTest::newRow("OK") << QStringList{} << "Z:D0600" << true << "OK";
    QTest::newRow("blanks dropped")
        << QStringList{"--reply", "?:V=V 1.23"} << "?:V" << true << "V1.23";
    QTest::newRow("split between CR and LF")
        << QStringList{"--split-crlf"} << "?:D0" << true << "500";
    QTest::newRow("CR CR LF") << QStringList{"--double-cr"} << "?:D0" << false << "";
    QTest::newRow("a line more than owed")
        << QStringList{"--second-line", "EXTRA"} << "?:D1" << false << "";
    QTest::newRow("no controller") << QStringList{"--silent-after", "0"} << "?:D0" << false << "";
    QTest::newRow("9600 bit/s") << QStringList{"--baud", "9600"} << "?:N" << true << "QMX001-SIM";
    QTest::newRow("late reply") << QStringList{"--processing", "30", "--late", "?:D0=250"} << "?:D0"
                                << true << "500";
    QTest::newRow("stalled, replies back to back")
        << QStringList{"--stall", "?:D0=300"} << "?:D0" << true << "500";
    QTest::newRow("2 bytes every 16 ms")
        << QStringList{"--chunk", "2", "--chunk-gap", "16"} << "?:N" << true << "QMX001-SIM";
    QTest::newRow("NUL before, empty line")
        << QStringList{"--noise-before", "?:D0=00", "--empty-line", "?:D0"} << "?:D0" << true
        << "500";
}

void TestLink::endToEnd() {
    QMX_SKIP_WITHOUT_SIM();
    QFETCH(QStringList, args);
    QFETCH(QString, command);
    QFETCH(bool, ok);
    QFETCH(QString, reply);
    testing::SimProcess sim;
    QVERIFY(OpenPty(sim, args));
    QString got = "stale";
    QCOMPARE(ComQuery(command, got, command == u"?:D0" ? ReplyShape::Number : ReplyShape::Line),
             ok);
    QCOMPARE(got, reply);
    ComClose();
    QVERIFY(!port_->IsOpen());
    QVERIFY(boxes_.shown.isEmpty());
    // Nothing of the late reply is left for the next command.
    if (ok) {
        QVERIFY(ComOpen());
        QVERIFY(ComQuery("?:EM", got));
        QCOMPARE(got, QString("10"));
    }
}

void TestLink::endToEndConnectLoadStore() {
    QMX_SKIP_WITHOUT_SIM();
    QTemporaryDir dir;
    const QString log = dir.filePath("sim.log");
    testing::SimProcess sim;
    QVERIFY(OpenPty(sim, {"--log", log}));
    QVERIFY(QMXModule::ConnectController());
    MainModule::Config.defaultSpeedMin = 1;
    QVERIFY(QMXModule::LoadConfigFromController());
    QVERIFY(MainModule::Config == FactoryDefaults());

    // An edited record, with speeds beyond the controller's F, goes in whole.
    MainModule::Config.defaultSpeedMin = 8000;
    MainModule::Config.defaultSpeedMax = 9000;
    MainModule::Config.runCurrent = 660;
    MainModule::Config.stopCurrent = 330;
    QVERIFY(QMXModule::StoreConfigToController());
    QString reply;
    QVERIFY(ComQuery("?:D0", reply));
    QCOMPARE(reply, QString("8000"));
    ComClose();

    // Closed and opened again, the terminal still answers.
    QVERIFY(ComOpen());
    QVERIFY(ComQuery("?:CR", reply));
    QCOMPARE(reply, QString("1375"));
    ComClose();
    QVERIFY(boxes_.shown.isEmpty());

    QCOMPARE(sim.Terminate(), 0);
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 6 + 31 + 36 + 2);
    QCOMPARE(lines.first(6), kIdentify);
    QStringList stored = kFactoryStore;
    stored.replace(2, "Z:D08000");
    stored.replace(3, "Z:D19000");
    stored.replace(29, "Z:CR1375");
    stored.replace(30, "Z:CS688");
    QCOMPARE(lines.mid(37, 36), stored);
}

void TestLink::endToEndOpenFailure_data() {
    QTest::addColumn<QString>("why");
    // Parts of the box's text, "%pid" standing for the lock holder's process id; "!" before a
    // part it must not hold. None: the port opens.
    QTest::addColumn<QStringList>("explains");
    const QStringList lockedBySim{"in use by another program", "(qmx-sim %pid)"};
    QTest::newRow("not there") << "missing" << QStringList{"/nonexistent/ttyQMX", "qmxcli ports"};
    QTest::newRow("in use") << "busy" << QStringList{"in use by another program", "LCK.."};
    QTest::newRow("cu-style lock of a live process") << "cu-lock" << lockedBySim;
    QTest::newRow("binary lock of a live process") << "binary-lock" << lockedBySim;
    QTest::newRow("lock under a device name with _") << "underscore-lock" << lockedBySim;
    QTest::newRow("locked, opened through a link")
        << "cu-lock-link" << QStringList{"in use by another program", "LCK.."};
    QTest::newRow("stale lock of an ended process") << "stale-lock" << QStringList{};
    QTest::newRow("lock holding this program's own id") << "own-lock" << QStringList{};
    // The file's group has no access either: joining it would not help.
    QTest::newRow("no permission") << "permission" << QStringList{"no access", "udev", "!usermod"};
    QTest::newRow("no permission, the group may")
        << "permission-group" << QStringList{"belongs to group", "usermod"};
    // Joining root's group is no remedy to offer.
    QTest::newRow("no permission, the group is root")
        << "permission-root" << QStringList{"no access", "udev", "!usermod", "!\"root\""};
}

namespace {

// A lock file as cu and UUCP write it: the process id padded to ten characters.
QByteArray CuLock(qint64 pid) {
    return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
}

// The id of a process that has ended.
qint64 EndedPid() {
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

} // namespace

// Places what the row's open meets: a holder, a lock file, a device without access. Returns
// the device to open; sets skip when this machine or user cannot set it up. Every file placed
// outside dir goes into placed, to be removed.
QString TestLink::PlaceOpenObstacle(const QString& why, testing::SimProcess& sim,
                                    QSerialPort& holder, const QTemporaryDir& dir,
                                    QStringList& placed, QString& skip) {
    if (why.startsWith(u"permission")) {
        if (geteuid() == 0) {
            skip = "root opens any device";
            return {};
        }
        if (why == u"permission-root") {
            // Only root can make a file of group root: the unprivileged run provides one.
            const QString path = qEnvironmentVariable("QMX_TEST_ROOT_GROUP_FILE");
            skip = path.isEmpty() ? "no file of group root (run tst_link_unprivileged)" : "";
            return path;
        }
        const QString device = dir.filePath("ttyLocked");
        QFile locked(device);
        if (!locked.open(QIODevice::WriteOnly) ||
            !locked.setPermissions(why == u"permission"
                                       ? QFileDevice::Permissions()
                                       : QFileDevice::ReadGroup | QFileDevice::WriteGroup))
            skip = "cannot make " + device;
        return device;
    }
    if (why == u"missing")
        return "/nonexistent/ttyQMX";
    if (testing::SimProgram().isEmpty() || !sim.Start({})) {
        skip = "qmx-sim not built (QMX_BUILD_DIR unset)";
        return {};
    }
    QString device = sim.PtyPath();
    if (why == u"busy") {
        holder.setPortName(device);
        skip = holder.open(QIODevice::ReadWrite) ? "" : "cannot hold " + device;
        return device;
    }
    QString lockName = device.mid(5).replace('/', '_');
    if (why == u"underscore-lock") {
        // Such a name stands for itself as well as for a path: /dev/ttyQMX_1 or /dev/ttyQMX/1.
        const QString named = QStringLiteral("/dev/ttyQMX_%1").arg(getpid());
        if (geteuid() != 0 || !QFile::link(device, named)) {
            skip = "only root may name a device under /dev";
            return {};
        }
        placed << named;
        lockName = named.mid(5);
    }
    QByteArray content = CuLock(sim.Pid());
    if (why == u"binary-lock") {
        const auto pid = qint32(sim.Pid()); // older programs: the id as 4 bytes, no line end
        content = QByteArray(reinterpret_cast<const char*>(&pid), sizeof pid);
    } else if (why == u"stale-lock") {
        content = CuLock(EndedPid());
    } else if (why == u"own-lock") {
        content = CuLock(QCoreApplication::applicationPid());
    }
    QFile lock("/run/lock/LCK.." + lockName);
    if (!lock.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        skip = "cannot place a lock file in /run/lock";
        return {};
    }
    placed << lock.fileName();
    lock.write(content);
    if (why == u"cu-lock-link") {
        device = dir.filePath("by-id-link");
        QFile::link(sim.PtyPath(), device);
    }
    return device;
}

void TestLink::endToEndOpenFailure() {
    QFETCH(QString, why);
    QFETCH(QStringList, explains);
    QTemporaryDir dir;
    testing::SimProcess sim;
    QSerialPort holder;
    QStringList placed;
    const auto removePlaced = qScopeGuard([&placed] {
        for (const QString& path : std::as_const(placed))
            QFile::remove(path);
    });
    QString skip;
    const QString device = PlaceOpenObstacle(why, sim, holder, dir, placed, skip);
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    port_ = std::make_unique<platform::QtSerialControl>();
    SetSerialControl(port_.get());
    ComInit(1, 1);
    const bool opens = explains.isEmpty();
    QCOMPARE(testing::Boxed(ComOpenDevice(device)), opens);
    QCOMPARE(Link.PortIsOpen, opens ? kTrue : kFalse);
    QCOMPARE(boxes_.shown.size(), opens ? 0 : 1);
    if (opens) {
        ComClose(); // before the lock files go: the port's own lock replaced the stale one
        return;
    }
    const QString text = boxes_.shown[0].text;
    for (QString part : QStringList{device} + explains) {
        part.replace("%pid", QString::number(sim.Pid()));
        if (part.startsWith('!'))
            QVERIFY2(!text.contains(part.mid(1)), qPrintable(text));
        else
            QVERIFY2(text.contains(part), qPrintable(text));
    }
    QCOMPARE(boxes_.shown[0].title, QString("QMX-001 LINK"));
    QCOMPARE(boxes_.shown[0].icon, platform::MsgIcon::Critical);
}

void TestLink::simulatorKilledMidTransaction() {
    QMX_SKIP_WITHOUT_SIM();
    testing::SimProcess sim;
    QVERIFY(OpenPty(sim, {"--silent-at", "?:D0"}));
    QString reply;
    QVERIFY(ComQuery("?:N", reply));
    QTimer::singleShot(100, [&sim] { sim.Kill(); });
    bool ok = true;
    const Cost cost = Measure([&] { ok = ComQuery("?:D0", reply); });
    QVERIFY(!ok);
    QCOMPARE(reply, QString());
    QVERIFY(!port_->IsOpen());
    QVERIFY2(cost.wall < 3.0, qPrintable(QString::number(cost.wall)));
    QVERIFY2(cost.cpu < 0.5 * cost.wall,
             qPrintable(QStringLiteral("cpu %1 s of %2 s").arg(cost.cpu).arg(cost.wall)));
    // Later transactions fail at once; closing is harmless.
    QVERIFY(!ComQuery("?:N", reply));
    ComClose();
    QCOMPARE(Link.PortIsOpen, kFalse);
}

void TestLink::waitingForNoReplyCostsLittleCpu() {
    QMX_SKIP_WITHOUT_SIM();
    testing::SimProcess sim;
    QVERIFY(OpenPty(sim, {"--silent-after", "0"}));
    QString reply;
    bool ok = true;
    const Cost cost = Measure([&] { ok = ComQuery("?:N", reply); });
    QVERIFY(!ok);
    QVERIFY2(cost.wall > 0.7, qPrintable(QString::number(cost.wall)));
    QVERIFY2(cost.cpu < 0.2 * cost.wall,
             qPrintable(QStringLiteral("cpu %1 s of %2 s").arg(cost.cpu).arg(cost.wall)));
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
