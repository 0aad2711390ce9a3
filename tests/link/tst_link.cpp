#include "link/ComSupport.h"
#include "link/ControllerCommands.h"
#include "link/QMXModule.h"
#include "link/WireTrace.h"
#include "platform/Ports.h"
#include "platform/QtSerialControl.h"
#include "shell/ConfigRecord.h"
#include "shell/MainModule.h"
#include "shell/RecordFields.h"
#include "sim/DeviceModel.h"
#include "sim/SimSerialControl.h"
#include "tests/support/Protocol.h"
#include "tests/support/Records.h"
#include "tests/support/Scripted.h"
#include "tests/support/SimHarness.h"
#include "tests/support/Waiting.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kTickMs = ComSupport::kTickMs;
constexpr int kAttempts = ComSupport::kAttempts;

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

// What the controller commands showed, for rows that run them without a window; questions
// and failures go to the scripted boxes, the bar to the recorded progress.
class RecordingView final : public ControllerCommandsView {
public:
    RecordingView(testing::ScriptedMessageBoxes& boxes, testing::RecordingProgress& progress)
        : boxes_(boxes), progress_(progress) {}
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
    bool Ask(const Question& question) override { return testing::AskInBox(boxes_, question); }
    void ShowFailure(const Failure& failure) override { testing::ShowInBox(boxes_, failure); }
    void ShowProgress(int value) override { progress_.ShowProgress(value); }
    void SetProgress(int value) override { progress_.SetProgress(value); }
    void HideProgress() override { progress_.HideProgress(); }

private:
    testing::ScriptedMessageBoxes& boxes_;
    testing::RecordingProgress& progress_;
};

class TestLink : public QObject {
    Q_OBJECT
private slots:
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
    void readingsJudged_data();
    void readingsJudged();
    void storedAsLoaded_data();
    void storedAsLoaded();
    void knownValues();
    void storeQuestions_data();
    void storeQuestions();
    void storeAcrossRestart();
    void verify_data();
    void verify();
    void loadStartedFromASlotReturnsAtOnce();
    void twoLinksInOneProcess();
    void linkDestroyedMidTransaction();

    void endToEnd_data();
    void endToEnd();
    void endToEndConnectLoadStore();
    void endToEndOpenFailure_data();
    void endToEndOpenFailure();
    void simulatorKilledMidTransaction();
    void waitingForNoReplyCostsLittleCpu();

private:
    void MakeLink(Language language);
    void OpenSim();
    void UseFastTicksUnlessTimed();
    bool OpenPty(testing::SimProcess& sim, const QStringList& args);
    QString PlaceOpenObstacle(const QString& why, testing::SimProcess& sim, QSerialPort& holder,
                              const QTemporaryDir& dir, QStringList& placed, QString& skip);
    bool Query(const QString& command, QString& reply, const ReplyShape& shape = ReplyKind::Line);
    Result Run(Series* series, const std::function<void()>& keep = {});

    // Each test's own: made in init, gone in cleanup.
    std::unique_ptr<Program> program_;
    std::unique_ptr<sim::DeviceModel> model_;
    std::unique_ptr<sim::SimSerialControl> control_;
    std::unique_ptr<platform::QtSerialControl> port_;
    std::unique_ptr<ComSupport> link_;
    QTimer* ticks_ = nullptr; // the link's
    std::unique_ptr<testing::ScriptedMessageBoxes> boxes_;
    std::unique_ptr<testing::RecordingProgress> progress_;
    QueryReport last_; // of the last Query
};

// The in-process controller answers at once: a short tick keeps rows quick without changing
// what the link counts, unless the row times its faults by the clock.
void TestLink::UseFastTicksUnlessTimed() {
    const sim::Faults& f = model_->faults;
    const bool timed = !f.lateMs.isEmpty() || !f.stallMs.isEmpty() || f.processingMs > 0 ||
                       f.byteDelayMs > 0.0 || f.splitCrLf || f.chunkBytes > 0 ||
                       !f.repeatAfterMs.isEmpty() || !f.twiceGapMs.isEmpty() ||
                       !f.lineAfter.isEmpty() || f.restartSilentMs > 0;
    ticks_->setInterval(timed ? kTickMs : 2);
}

// A link on the in-process controller, counting the ticks of a timer of its own.
void TestLink::MakeLink(Language language) {
    if (link_)
        link_->ComClose();
    link_ = std::make_unique<ComSupport>(language);
    ticks_ = MakeTickTimer(link_.get());
    link_->UseTicksOf(ticks_);
    ticks_->start();
    link_->SetSerialControl(control_.get());
    link_->ComInit(program_->Options.ComPort, program_->Options.ComSpeed);
}

void TestLink::init() {
    program_ = std::make_unique<Program>();
    MainModule::InitProgram(*program_, "/L:E");
    model_ = std::make_unique<sim::DeviceModel>();
    control_ = std::make_unique<sim::SimSerialControl>(*model_);
    boxes_ = std::make_unique<testing::ScriptedMessageBoxes>();
    progress_ = std::make_unique<testing::RecordingProgress>();
    MakeLink(program_->Lang());
    last_ = {};
}

void TestLink::cleanup() {
    link_->ComClose();
    link_.reset();
    port_.reset();
    control_.reset();
    model_.reset();
    progress_.reset();
    boxes_.reset();
    program_.reset();
}

void TestLink::OpenSim() {
    QVERIFY(link_->ComOpen());
}

bool TestLink::OpenPty(testing::SimProcess& sim, const QStringList& args) {
    QString error;
    if (!sim.Start(args, &error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    qputenv("QMX_COM1", sim.PtyPath().toLocal8Bit());
    port_ = std::make_unique<platform::QtSerialControl>();
    link_->SetSerialControl(port_.get());
    link_->ComInit(1, 1);
    return testing::Boxed(*boxes_, link_->ComOpen());
}

// One transaction, waited for: true when answered, with the reply taken (empty otherwise);
// its report in last_.
bool TestLink::Query(const QString& command, QString& reply, const ReplyShape& shape) {
    std::optional<QueryReport> report;
    const QMetaObject::Connection done = connect(link_.get(), &ComSupport::QueryFinished,
                                                 [&report](const QueryReport& r) { report = r; });
    link_->ComQuery(command, shape);
    (void)testing::RunUntil([&report] { return report.has_value(); }, 30000);
    disconnect(done);
    if (!report)
        QTest::qFail(qPrintable(command + " never finished"), __FILE__, __LINE__);
    last_ = report.value_or(QueryReport{command, QueryReport::Outcome::Busy});
    reply = last_.Answered() ? last_.taken : QString();
    return last_.Answered();
}

// A series run to its end, its progress recorded; keep runs as it finishes, to read what it
// holds. A series that never finishes, or is not gone after it, fails the test.
Result TestLink::Run(Series* series, const std::function<void()>& keep) {
    const QPointer<Series> alive(series);
    connect(series, &Series::Progress, this, [this](int value) { progress_->SetProgress(value); });
    std::optional<Result> result;
    connect(series, &Series::Finished, this, [&result, &keep](const Result& r) {
        if (keep)
            keep();
        result = r;
    });
    if (!testing::RunUntil([&result] { return result.has_value(); }, 60000)) {
        QTest::qFail("the series never finished", __FILE__, __LINE__);
        delete series;
        return Failure{QStringLiteral("test"), QStringLiteral("the series never finished")};
    }
    if (!testing::RunUntil([&alive] { return alive.isNull(); }, 5000))
        QTest::qFail("the series is not gone after it finished", __FILE__, __LINE__);
    return *result;
}

namespace {

// Starts a command and lets the event loop run until the commands have finished; a command
// that never finishes fails the test.
ControllerCommands::Report Await(ControllerCommands& commands, const std::function<void()>& start) {
    std::optional<ControllerCommands::Report> report;
    const QMetaObject::Connection done =
        QObject::connect(&commands, &ControllerCommands::Finished,
                         [&report](const ControllerCommands::Report& r) { report = r; });
    start();
    (void)testing::RunUntil([&report] { return report.has_value(); }, 60000);
    QObject::disconnect(done);
    if (!report)
        QTest::qFail("the command never finished", __FILE__, __LINE__);
    return report.value_or(ControllerCommands::Report{
        Failure{QStringLiteral("test"), QStringLiteral("the command never finished")}});
}

} // namespace

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
    // A busy controller answers the repeat long after the late first answer: still owed. The
    // first answer is 1.5 time-outs late: late still when a loaded machine skips a few ticks.
    f = {};
    f.lateMs = {{"?:D0", 300}};
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
    // No reply is longer than 64 characters: a longer line is noise, and its end no reply.
    f = {};
    f.replies.insert("?:V", QString(64, 'A'));
    QTest::newRow("a line of 64 characters") << f << "?:V" << true << QString(64, 'A') << 1 << "10";
    f.replies.insert("?:V", QString(65, 'A'));
    QTest::newRow("a line of 65 characters") << f << "?:V" << false << "" << 5 << "-";
    f = {};
    f.noiseBefore.insert("?:V", QByteArray(10000, 'A'));
    QTest::newRow("10,000 letters, then the reply") << f << "?:V" << true << "V1.23" << 2 << "10";
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
    QCOMPARE(Query(command, got), ok);
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
    QCOMPARE(Query("?:EM", got, ReplyKind::Number), !next.isEmpty());
    QCOMPARE(got, next);
    QCOMPARE(last_.outcome,
             next.isEmpty() ? QueryReport::Outcome::Shifted : QueryReport::Outcome::Answered);
}

void TestLink::noControllerGivesUpAfterFiveAttempts() {
    model_->faults.silentAfter = 0;
    OpenSim();
    QString reply;
    bool ok = true;
    const Cost cost = Measure([&] { ok = Query("?:N", reply); });
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
    const Cost cost = Measure([&] { ok = Query("?:N", reply); });
    QVERIFY(!ok);
    QCOMPARE(reply, QString());
    QVERIFY(control_->Written().isEmpty());
    QVERIFY(model_->Log().isEmpty());
    QVERIFY2(cost.wall < 0.5, qPrintable(QString::number(cost.wall)));
}

void TestLink::closeOnClosedPort() {
    OpenSim();
    link_->ComClose();
    QVERIFY(!control_->IsOpen());
    QVERIFY(!link_->PortIsOpen());
    // A second close must not reach the control: the lines set by hand stay as they are.
    control_->SetRts(true);
    control_->SetDtr(true);
    link_->ComClose();
    QVERIFY(control_->Rts() && control_->Dtr());
    QVERIFY(!link_->PortIsOpen());
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
    link_->ComInit(port, speed);
    QVERIFY(link_->ComOpen());
    QVERIFY(link_->PortIsOpen());
    QCOMPARE(control_->Device(), platform::ComPortDeviceName(port));
    QCOMPARE(control_->Settings(), settings);
    QVERIFY(control_->Rts() && control_->Dtr());
    QVERIFY(boxes_->shown.isEmpty());
    link_->ComClose();
    QVERIFY(!control_->IsOpen() && !control_->Rts() && !control_->Dtr());
    QVERIFY(!link_->PortIsOpen());
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
    program_->State.UILanguage = qint16(language);
    MakeLink(program_->Lang());
    control_->SetOpenError("COM1: Permission denied");
    QVERIFY(!testing::Boxed(*boxes_, link_->ComOpen()));
    QVERIFY(!link_->PortIsOpen());
    QCOMPARE(boxes_->shown.size(), 1);
    QCOMPARE(boxes_->shown[0].text, QString("COM1: Permission denied"));
    QCOMPARE(boxes_->shown[0].title, title);
    QCOMPARE(boxes_->shown[0].icon, platform::MsgIcon::Critical);
    QCOMPARE(boxes_->shown[0].buttons, platform::MsgButtons::Ok);
}

// The device vanishes while a reply is awaited: the transaction ends at once, without writing
// to the closed port again.
void TestLink::deviceGoneMidTransaction() {
    model_->faults.silentAt = "?:D0";
    OpenSim();
    QSignalSpy lost(control_.get(), &platform::SerialControl::Lost);
    QTimer::singleShot(60, control_.get(), &sim::SimSerialControl::Unplug);
    QString reply = "stale";
    bool ok = true;
    const Cost cost = Measure([&] { ok = Query("?:D0", reply); });
    QVERIFY(!ok);
    QCOMPARE(reply, QString());
    QCOMPARE(last_.outcome, QueryReport::Outcome::PortLost);
    // As the device goes, not after the attempts and the owed line (a second and more).
    QVERIFY2(cost.wall < 0.5, qPrintable(QString::number(cost.wall)));
    QCOMPARE(lost.count(), 1);
    QCOMPARE(model_->Log(), QStringList{"?:D0"});
    link_->ComClose();
    QVERIFY(!link_->PortIsOpen());
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
    link_->Trace().Start(&trace);
    const auto stop = qScopeGuard([this] { link_->Trace().Stop(); });
    model_->faults = faults;
    OpenSim();
    for (qsizetype i = 0; i < values.size(); ++i)
        QTimer::singleShot(100 + 200 * i, this,
                           [this, v = values[i]] { model_->SetParameter("D0", v); });
    QString reply;
    QVERIFY(!Query("?:D0", reply));
    QCOMPARE(reply, QString());
    QCOMPARE(last_.outcome, QueryReport::Outcome::Disagreed);
    QCOMPARE(model_->Log(), QStringList(attempts, "?:D0"));
    QVERIFY(Query("?:D1", reply));
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
    link_->Trace().Start(&trace);
    const auto stop = qScopeGuard([this] { link_->Trace().Stop(); });
    model_->faults = faults;
    UseFastTicksUnlessTimed();
    OpenSim();
    if (series == u"load") {
        testing::Boxed(*boxes_,
                       Run(QMXModule::LoadConfigFromController(*link_, program_->Config, nullptr)));
    } else if (series == u"store") {
        testing::Boxed(*boxes_,
                       Run(QMXModule::StoreConfigToController(*link_, program_->Config, nullptr)));
    } else {
        // The queries as a series sends them, ending quiet after trouble.
        link_->BeginSeries();
        Troubles trouble;
        QString reply;
        for (const QString& query : series.split(' ')) {
            QVERIFY(Query(query, reply, query == u"?:V" ? ReplyKind::Line : ReplyKind::Number));
            trouble |= last_.trouble;
        }
        if (trouble) {
            bool ended = false;
            const QMetaObject::Connection done =
                connect(link_.get(), &ComSupport::QuietFinished, [&ended] { ended = true; });
            link_->ComEndsQuiet();
            (void)testing::RunUntil([&ended] { return ended; }, 10000);
            disconnect(done);
            QVERIFY(ended);
        }
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
    WireTrace trace;
    QVERIFY(trace.StartFile(path, error));
    trace.Note("this run");
    trace.Stop();
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    const QByteArray text = earlier.readAll();
    QVERIFY2(text.startsWith("an earlier run\n") && text.contains("# this run\n"), text);
    QVERIFY(!trace.StartFile(dir.filePath("missing/trace.txt"), error));
    QVERIFY(error.contains("missing/trace.txt"));
}

// Reading back what a store sent: a reply later than the link takes shifts the rest, and the
// verify fails, whatever the values it shifted.
void TestLink::verifyFailsOnAShiftedReply() {
    model_->faults.processingMs = 100;
    model_->faults.lateMs = {{"?:ED", 150}};
    model_->faults.repeatAfterMs = {{"?:ED", 1050}};
    OpenSim();
    QVERIFY(
        !testing::Boxed(*boxes_, Run(QMXModule::VerifyStore(*link_, FactoryDefaults(), nullptr))));
    QCOMPARE(boxes_->shown.size(), 1);
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
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<QStringList>("log"); // what the controller received

    // A reading with this command sent extra times more, after its first sending.
    const auto with = [](QStringList commands, const QString& command, int extra) {
        commands.insert(commands.indexOf(command), extra, command);
        return commands;
    };
    // A reading that had trouble is read again, without "Z:IE0".
    const QStringList again = kIdentify.mid(1);
    const sim::Identity id;
    const sim::Faults none;
    QTest::newRow("simulator") << id << true << "" << none << kIdentify;
    sim::Faults f;
    f.lateMs = {{"?:S", 250}}; // both of its questions; late but whole: nothing is read again
    const QStringList lateSerial = with(kIdentify, "?:S", 2);
    QTest::newRow("late serial number") << id << true << "" << f << lateSerial;
    f.lateMs = {{"Z:IE0", 250}};
    QTest::newRow("late Z:IE0") << id << true << "" << f << with(kIdentify, "Z:IE0", 1);
    f = {};
    f.stallMs = {{"Z:IE0", 1100}}; // its five OKs must not reach the name
    QTest::newRow("Z:IE0 more than 1 s late")
        << id << true << "" << f << with(kIdentify, "Z:IE0", 4) + again;
    f = {};
    f.noiseBefore = {{"?:S", "#"}};
    QTest::newRow("noise before the serial number")
        << id << true << "" << f << with(kIdentify, "?:S", 1) + again;
    f = {};
    f.emptyLineBefore = {"?:S"};
    QTest::newRow("empty line before the serial number")
        << id << true << "" << f << kIdentify + again;
    f = {};
    f.noiseBefore = {{"?:N", "#\r\n"}};
    QTest::newRow("noise line before the name") << id << true << "" << f << kIdentify + again;
    f = {};
    f.lateMs = {{"?:S", 250}};
    f.repeatAfterMs = {{"?:S", 700}};
    QTest::newRow("late serial number, the repeat 0.7 s after")
        << id << true << "" << f << lateSerial;
    // Slow throughout, and busy once: the repeat's reply would shift every later one.
    f.processingMs = 100;
    f.lateMs = {{"?:B", 150}};
    f.repeatAfterMs = {{"?:B", 1050}};
    QTest::newRow("slow, the repeat of ?:B 1.05 s late")
        << id << false << "cannot connect QMX-001." << f
        << with(with(kIdentify, "?:B", 1), "?:S", 1);
    sim::Identity i = id;
    i.name = "QMX001 rev B"; // blanks dropped on the way
    QTest::newRow("more after QMX001") << i << true << "" << none << kIdentify;
    i = id;
    i.name = "QMX002";
    QTest::newRow("foreign name") << i << false << "cannot connect QMX-001." << none
                                  << kIdentify.first(2);
    i = id;
    i.version = "V1.10";
    QTest::newRow("version 1.10") << i << true << "" << none << kIdentify;
    i.version = "V1.09";
    QTest::newRow("version 1.09") << i << false << "Cannot use old QMX-001 version." << none
                                  << kIdentify;
    i.version = "V1.2";
    QTest::newRow("version V1.2") << i << true << "" << none << kIdentify;
    // Words of the protocol are no facts; the serial number is taken when two answers agree.
    f = {};
    f.busyFirst = {{"?:S", "BUSY"}};
    QTest::newRow("BUSY to the serial number")
        << id << true << "" << f << with(kIdentify, "?:S", 1) + again;
    f.busyFirst = {{"?:S", "SIM0000009"}};
    QTest::newRow("another serial number once")
        << id << true << "" << f << with(kIdentify, "?:S", 1);
    f = {};
    // A line that echoes the command is no answer, and no trouble: nothing is read again.
    f.noiseBefore = {{"?:N", "?:N\r\n"}};
    QTest::newRow("the command echoed") << id << true << "" << f << kIdentify;
}

void TestLink::connectController() {
    QFETCH(sim::Identity, identity);
    QFETCH(bool, accepted);
    QFETCH(QString, box);
    QFETCH(sim::Faults, faults);
    QFETCH(QStringList, log);
    model_->identity = identity;
    model_->faults = faults;
    UseFastTicksUnlessTimed();
    RecordingView view(*boxes_, *progress_);
    ControllerCommands commands(*link_, *program_, view);
    const ControllerCommands::Report report = Await(commands, [&commands] { commands.Connect(); });
    QCOMPARE(report.connect == ControllerCommands::ConnectResult::Connected, accepted);
    QCOMPARE(bool(report.result), accepted);
    QCOMPARE(IsTrue(program_->State.IsConnected), accepted);
    const QStringList shown{"info", "options off", "connected", "status 1"};
    QCOMPARE(view.calls, accepted ? shown : QStringList());
    QCOMPARE(model_->Log(), log);
    QCOMPARE(boxes_->shown.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
        QCOMPARE(boxes_->shown[0].text, box);
        QCOMPARE(boxes_->shown[0].title, QString("QMX-001 LINK"));
        QCOMPARE(boxes_->shown[0].icon, platform::MsgIcon::Critical);
    }
    QVERIFY(!progress_->visible);
    if (accepted) {
        const ProgramState& s = program_->State;
        QCOMPARE(s.ControllerName, QString(identity.name).remove(' '));
        QCOMPARE(s.ControllerSerialNo, identity.serialNo);
        QCOMPARE(s.ControllerVersionText, identity.version.mid(1));
        QCOMPARE(s.ControllerRevision, identity.revision);
        QCOMPARE(s.ControllerBuildDate, identity.buildDate);
        QCOMPARE(progress_->values.last(), 100);
    }
}

void TestLink::store_data() {
    using Commit = StoreReport::Commit;
    using Why = StoreReport::Why;
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<StoreReport>("report"); // how far it got, and why it stopped
    const auto report = [](Commit commit, int settings, const QString& command = {},
                           const QString& reply = {}, Why why = Why::Refused) {
        StoreReport r;
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
    // A store that had trouble reads back what it sent; these came through whole.
    StoreReport readBack = report(Commit::Ok, 35);
    readBack.readBack = StoreReport::ReadBack::Matched;
    const QStringList& back = testing::kReadBackQueries;
    QTest::newRow("late OK") << f << true << repeated + back << readBack;
    f.replies = {{"Z:UW", "NG"}};
    QTest::newRow("late OK, then NG to Z:UW")
        << f << false << repeated << report(Commit::Refused, 35, "Z:UW", "NG");
    f = {};
    f.stallMs = {{"Z:IS1", 300}};
    QTest::newRow("stalled, OK twice in one read") << f << true << repeated + back << readBack;
    f = {};
    f.lateMs = {{"Z:UW", 250}};
    f.repeatAfterMs = {{"Z:UW", 150}};
    QTest::newRow("Z:UW late, its repeat 150 ms after")
        << f << true << all + QStringList{"Z:UW"} + back << readBack;
    // A read-back that cannot be made leaves the store unconfirmed: it may or may not be kept.
    f = {};
    f.lateMs = {{"Z:IS1", 250}};
    f.silentAt = "?:D0";
    StoreReport unread = report(Commit::Uncertain, 35);
    unread.readBack = StoreReport::ReadBack::Failed;
    QTest::newRow("late OK, the read-back unanswered")
        << f << false << repeated + QStringList(kAttempts, "?:D0") << unread;
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
    f.replies = {{"Z:UW", "NG"}};
    f.noiseAfter = {{"Z:UW", "OK\r\n"}};
    QTest::newRow("NG and OK to Z:UW at once")
        << f << false << all << report(Commit::Uncertain, 35, "Z:UW", "NG", Why::Disagreed);
    // The guard after the OK runs a second from the OK taken, not only from Z:UW sent.
    f = {};
    f.lateMs = {{"Z:UW", 150}};
    f.lineAfter = {{"Z:UW", {950, "NG"}}};
    QTest::newRow("OK to Z:UW 150 ms late, NG 0.95 s after it") << f << false << all << untrusted;
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
    QFETCH(StoreReport, report);
    model_->faults = faults;
    UseFastTicksUnlessTimed();
    OpenSim();
    StoreSeries* store = QMXModule::StoreConfigToController(*link_, program_->Config, nullptr);
    StoreReport got;
    QCOMPARE(testing::Boxed(*boxes_, Run(store, [&got, store] { got = store->Report(); })), ok);
    QCOMPARE(model_->Log(), sent);
    QCOMPARE(boxes_->shown.size(), ok ? 0 : 1);
    if (ok)
        QCOMPARE(progress_->values.last(), 100);
    else if (report.commit == StoreReport::Commit::Uncertain)
        QVERIFY(boxes_->shown[0].text.contains("may or may not be kept. Store again."));
    else
        QCOMPARE(boxes_->shown[0].text, QString("cannot connect QMX-001."));
    QCOMPARE(got.commit, report.commit);
    QCOMPARE(got.settings, report.settings);
    QCOMPARE(got.total, 36);
    QCOMPARE(got.failedCommand, report.failedCommand);
    QCOMPARE(got.failedReply, report.failedReply);
    if (!report.failedCommand.isEmpty())
        QCOMPARE(got.why, report.why);
    QCOMPARE(got.readBack, report.readBack);
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
    // Numbers that are no value of their field are no reply: never 0, never cut to fit.
    for (const char* odd : {"1e3", "0x10", "9999999999999999999999999999999999999999"}) {
        f.replies = {{"?:D1", odd}};
        QTest::newRow(qPrintable(QStringLiteral("?:D1 answered %1").arg(odd)))
            << params << f << false << RecordBeforeLoad();
    }
    // A controller that restarts mid-load answers from its factory values after it: the
    // readings differ, and the load takes the factory values, none of the values before.
    ConfigRecord factory = FactoryDefaults();
    factory.reservedSwitch = RecordBeforeLoad().reservedSwitch;
    f = {};
    f.restartAt = "?:EP";
    f.restartToFactory = true;
    f.restartSilentCommands = 3;
    QTest::newRow("restart at ?:EP, 3 commands unanswered") << params << f << true << factory;
    f.restartSilentCommands = 1;
    f.restartSilentMs = 300;
    QTest::newRow("restart at ?:EP, 0.3 s unanswered") << params << f << true << factory;
    // A line set aside is trouble: the surplus number after the last reply is seen.
    f = {};
    f.noiseBefore = {{"?:D0", "X\r\n"}};
    f.twiceGapMs = {{"?:EM", 500}};
    QTest::newRow("noise line, then a surplus line 0.5 s after the last reply")
        << params << f << false << RecordBeforeLoad();
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
    program_->Config = RecordBeforeLoad();
    UseFastTicksUnlessTimed();
    OpenSim();
    QCOMPARE(testing::Boxed(*boxes_, Run(QMXModule::LoadConfigFromController(
                                         *link_, program_->Config, nullptr))),
             ok);
    QVERIFY2(program_->Config == expected,
             qPrintable(testing::Differences(program_->Config, expected).join(' ')));
    if (!ok && !faults.silentAt.isEmpty())
        QCOMPARE(model_->Log().last(kAttempts), QStringList(kAttempts, faults.silentAt));
    QCOMPARE(boxes_->shown.size(), ok ? 0 : 1);
}

// ---- End to end: qmx-sim on a pseudo-terminal, the real serial control --------------------

void TestLink::readingsJudged_data() {
    using Verdict = Series::Verdict;
    QTest::addColumn<int>("reading");
    QTest::addColumn<int>("trouble"); // Troubles
    QTest::addColumn<bool>("agrees"); // with the reading before
    QTest::addColumn<Verdict>("verdict");
    const int timeOut = int(Trouble::TimeOut);
    const int lost = int(Trouble::TimeOut | Trouble::OwedLineDropped);
    QTest::newRow("first, plain") << 1 << 0 << false << Verdict::Take;
    QTest::newRow("first, late but whole") << 1 << timeOut << false << Verdict::Take;
    QTest::newRow("first, lost a line") << 1 << lost << false << Verdict::ReadAgain;
    QTest::newRow("first, a line set aside")
        << 1 << int(Trouble::SetAside) << false << Verdict::ReadAgain;
    QTest::newRow("first, went on after a failure")
        << 1 << int(Trouble::TransactionFailed) << false << Verdict::ReadAgain;
    QTest::newRow("second, agrees") << 2 << 0 << true << Verdict::Take;
    QTest::newRow("second, agrees after a late line") << 2 << timeOut << true << Verdict::Take;
    QTest::newRow("second, agrees but lost a line") << 2 << lost << true << Verdict::ReadAgain;
    QTest::newRow("second, differs") << 2 << 0 << false << Verdict::ReadAgain;
    QTest::newRow("third, agrees") << 3 << 0 << true << Verdict::Take;
    QTest::newRow("third, lost a line") << 3 << lost << true << Verdict::Fail;
    QTest::newRow("third, differs") << 3 << 0 << false << Verdict::Fail;
}

// When a reading is taken, read again, or given up: a restart or a lost line must not pass.
void TestLink::readingsJudged() {
    QFETCH(int, reading);
    QFETCH(int, trouble);
    QFETCH(bool, agrees);
    QFETCH(Series::Verdict, verdict);
    QCOMPARE(Series::Judge(reading, Troubles::fromInt(trouble), agrees), verdict);
}

// A restart mid-store loses the settings before it: the read-back finds them, and the store
// is no success.
void TestLink::storeAcrossRestart() {
    QVERIFY(model_->LoadStateText("D0=700\nD1=9000\nCR=1000\n"));
    model_->faults.restartAt = "Z:EP1"; // the 16th setting
    model_->faults.restartSilentMs = 300;
    OpenSim();
    StoreSeries* store = QMXModule::StoreConfigToController(*link_, program_->Config, nullptr);
    StoreReport report;
    const Result result = Run(store, [&report, store] { report = store->Report(); });
    QVERIFY(result.Is(FailureKind::Differs));
    QVERIFY2(result.failure()->text.contains("defaultSpeedMin, defaultSpeedMax"),
             qPrintable(result.failure()->text));
    QCOMPARE(report.commit, StoreReport::Commit::Ok);
    QCOMPARE(report.readBack, StoreReport::ReadBack::Differs);
    QStringList differing;
    for (const StoreDifference& d : report.differences)
        differing << RecordFields::Name(RecordFields::Row(d.field));
    QCOMPARE(differing, (QStringList{"defaultSpeedMin", "defaultSpeedMax"}));
    QCOMPARE(model_->Log().mid(model_->Log().size() - testing::kReadBackQueries.size()),
             testing::kReadBackQueries);
}

void TestLink::verify_data() {
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("differing");
    sim::Faults f;
    QTest::newRow("holds what was sent") << f << true << QStringList{};
    // A read-back that is no value at all differs, whatever it reads as.
    f.replies = {{"?:D2", "99999999999"}, {"?:EA", "99999999999"}};
    QTest::newRow("numbers beyond every field")
        << f << true << QStringList{"defaultAccelTime", "autoExcitation"};
    f.replies = {{"?:D2", "1e400"}};
    QTest::newRow("no decimal number") << f << false << QStringList{};
}

void TestLink::verify() {
    QFETCH(sim::Faults, faults);
    QFETCH(bool, ok);
    QFETCH(QStringList, differing);
    model_->faults = faults;
    OpenSim();
    VerifySeries* verify = QMXModule::VerifyStore(*link_, FactoryDefaults(), nullptr);
    QStringList found;
    const Result result = Run(verify, [&found, verify] {
        for (const StoreDifference& d : verify->Differences())
            found << RecordFields::Name(RecordFields::Row(d.field));
    });
    QCOMPARE(bool(result), ok);
    QCOMPARE(found, differing);
}

// A load started from a slot returns to the event loop before any reply is taken.
void TestLink::loadStartedFromASlotReturnsAtOnce() {
    OpenSim();
    bool returned = false;
    std::optional<bool> returnedAtFirstReply;
    connect(link_.get(), &ComSupport::QueryFinished, this, [&](const QueryReport&) {
        if (!returnedAtFirstReply)
            returnedAtFirstReply = returned;
    });
    Series* load = nullptr;
    QTimer::singleShot(0, this, [&] {
        load = QMXModule::LoadConfigFromController(*link_, program_->Config, nullptr);
        returned = true;
    });
    QVERIFY(testing::RunUntil([&load] { return load != nullptr; }, 5000));
    QVERIFY(Run(load));
    QCOMPARE(returnedAtFirstReply, std::optional<bool>(true));
}

// Two controllers, each on a link of its own in one process: the slow one holds up nothing.
void TestLink::twoLinksInOneProcess() {
    sim::DeviceModel slowModel;
    slowModel.faults.processingMs = 100;
    sim::SimSerialControl slowLine(slowModel);
    ComSupport slow(Language::English());
    QTimer* slowTicks = MakeTickTimer(&slow);
    slow.UseTicksOf(slowTicks);
    slowTicks->start();
    slow.SetSerialControl(&slowLine);
    QVERIFY(slow.ComOpen() && link_->ComOpen());
    ConfigRecord fastRecord = FactoryDefaults();
    ConfigRecord slowRecord = FactoryDefaults();
    const Cost alone = Measure(
        [&] { QVERIFY(Run(QMXModule::LoadConfigFromController(*link_, fastRecord, nullptr))); });

    int slowProgress = 0;
    LoadSeries* slowLoad = QMXModule::LoadConfigFromController(slow, slowRecord, nullptr);
    connect(slowLoad, &Series::Progress, this,
            [&slowProgress](int value) { slowProgress = value; });
    std::optional<Result> slowResult;
    connect(slowLoad, &Series::Finished, this, [&slowResult](const Result& r) { slowResult = r; });
    int slowProgressAtFastEnd = -1;
    const Cost together = Measure([&] {
        QVERIFY(Run(QMXModule::LoadConfigFromController(*link_, fastRecord, nullptr)));
        slowProgressAtFastEnd = slowProgress;
    });
    QVERIFY2(slowProgressAtFastEnd < 50, qPrintable(QString::number(slowProgressAtFastEnd)));
    QVERIFY2(
        together.wall < 1.1 * alone.wall,
        qPrintable(QStringLiteral("%1 s alone, %2 s beside").arg(alone.wall).arg(together.wall)));
    QVERIFY(testing::RunUntil([&slowResult] { return slowResult.has_value(); }, 30000));
    QVERIFY(*slowResult);
    slow.ComClose();
}

// A link that goes in the middle of a transaction ends its series as a lost port.
void TestLink::linkDestroyedMidTransaction() {
    model_->faults.processingMs = 50;
    OpenSim();
    ConfigRecord record = program_->Config;
    LoadSeries* load = QMXModule::LoadConfigFromController(*link_, record, nullptr);
    std::optional<Result> result;
    connect(load, &Series::Finished, this, [&result](const Result& r) { result = r; });
    QTimer::singleShot(200, this, [this] { link_.reset(); });
    QVERIFY(testing::RunUntil([&result] { return result.has_value(); }, 5000));
    QVERIFY(result->Is(FailureKind::PortLost));
    QCOMPARE(record, program_->Config);
    MakeLink(program_->Lang()); // for cleanup
}

void TestLink::storedAsLoaded_data() {
    QTest::addColumn<QStringList>("set"); // FIELD=VALUE, the last one checked
    QTest::addColumn<double>("loaded");   // as a load reads it back once stored
    QTest::addColumn<int>("changed");     // fields that differ in meaning from what was set
    QTest::newRow("a current the controller keeps") << QStringList{"runCurrent=351"} << 351.0 << 0;
    // 4 mA a unit: both currents come back rounded to the controller's units.
    QTest::newRow("a current at a coarse scale")
        << QStringList{"currentScale=4000", "stopCurrent=101"} << 100.0 << 2;
    QTest::newRow("0 dial pulses") << QStringList{"jogDialPulses=0"} << 10.0 << 1;
    QTest::newRow("a Boolean stored as 1") << QStringList{"rotationStage=1"} << double(kTrue) << 0;
    QTest::newRow("a field no store sends") << QStringList{"chValue=123"} << 123.0 << 0;
}

// What the controller is known to hold after a store: the values sent, as a load reads them.
void TestLink::storedAsLoaded() {
    QFETCH(QStringList, set);
    QFETCH(double, loaded);
    QFETCH(int, changed);
    ConfigRecord record = FactoryDefaults();
    const RecordField* row = nullptr;
    for (const QString& edit : set) {
        row = RecordFields::Named(edit.section('=', 0, 0));
        row->set(record, edit.section('=', 1).toDouble());
    }
    const std::optional<ConfigRecord> known = QMXModule::AsLoaded(record);
    QVERIFY(known);
    QCOMPARE(row->get(*known), loaded);
    QCOMPARE(QMXModule::ChangedFields(record, *known).size(), changed);
}

// The controller's values are known after a load and a store, forgotten after a failure and
// when a connect starts, kept by DISCONNECT.
void TestLink::knownValues() {
    RecordingView view(*boxes_, *progress_);
    ControllerCommands commands(*link_, *program_, view);
    QVERIFY(Await(commands, [&] { commands.Connect(); }).result);
    QVERIFY(!commands.Known());
    QVERIFY(model_->SetParameter("D0", 700));
    QVERIFY(Await(commands, [&] { commands.Load(); }).result);
    QCOMPARE(commands.Known(), std::optional(program_->Config));
    program_->Options.ConfirmStore = kFalse;
    program_->Config.runCurrent = 351;
    QVERIFY(Await(commands, [&] { commands.Store(); }).result);
    QCOMPARE(commands.Known(), QMXModule::AsLoaded(program_->Config));
    commands.Disconnect();
    QVERIFY(commands.Known());
    QVERIFY(Await(commands, [&] { commands.Connect(); }).result);
    QVERIFY(!commands.Known());
    QVERIFY(Await(commands, [&] { commands.Compare(); }).result);
    QVERIFY(commands.Known());
    model_->faults.silentAt = "?:D0";
    QVERIFY(!Await(commands, [&] { commands.Load(); }).result);
    QVERIFY(!commands.Known());
}

void TestLink::storeQuestions_data() {
    QTest::addColumn<QStringList>("edits"); // FIELD=VALUE in the record after the load
    QTest::addColumn<bool>("speedAsked");
    QTest::addColumn<QString>("details"); // STORE's further text
    QTest::newRow("nothing changed") << QStringList{} << false << "";
    QTest::newRow("two changes")
        << QStringList{"defaultSpeedMin=600", "runCurrent=660"} << false
        << "defaultSpeedMin: 500 pulses/s → 600 pulses/s\nrunCurrent: 350 mA → 660 mA";
    QTest::newRow("the line speed")
        << QStringList{"comSpeedIndex=3"} << true << "comSpeedIndex: 1 → 3";
    QTest::newRow("the flow control")
        << QStringList{"comFlowControl=0"} << true << "comFlowControl: True → False";
    const QStringList speeds{"defaultSpeedMax=9000", "defaultAccelTime=10", "jogSpeedMax=900",
                             "jogAccelTime=10",      "originSpeedMax=9000", "originAccelTime=10",
                             "autoExcitation=-1",    "originMode=1",        "originOffset=5",
                             "reverseDirection=-1",  "stepMode=0",          "rotationStage=-1"};
    QStringList lines{"defaultSpeedMax: 5000 pulses/s → 9000 pulses/s",
                      "defaultAccelTime: 200 ms → 10 ms",
                      "jogSpeedMax: 500 pulses/s → 900 pulses/s",
                      "jogAccelTime: 0 ms → 10 ms",
                      "originSpeedMax: 5000 pulses/s → 9000 pulses/s",
                      "originAccelTime: 200 ms → 10 ms",
                      "autoExcitation: False → True",
                      "originMode: 0 → 1",
                      "originOffset: 0 → 5",
                      "reverseDirection: False → True",
                      "and 2 more"};
    QTest::newRow("twelve changes") << speeds << false << lines.join('\n');
}

// STORE lists what it changes in its question, and asks first when it changes the line.
void TestLink::storeQuestions() {
    QFETCH(QStringList, edits);
    QFETCH(bool, speedAsked);
    QFETCH(QString, details);
    RecordingView view(*boxes_, *progress_);
    ControllerCommands commands(*link_, *program_, view);
    program_->Options.LoadOnConnect = kTrue;
    QVERIFY(Await(commands, [&] { commands.Connect(); }).result);
    for (const QString& edit : edits)
        RecordFields::Named(edit.section('=', 0, 0))
            ->set(program_->Config, edit.section('=', 1).toDouble());
    const qsizetype sent = model_->Log().size();
    boxes_->answers << platform::MsgAnswer::No;
    QVERIFY(Await(commands, [&] { commands.Store(); }).result.Is(FailureKind::Declined));
    QCOMPARE(model_->Log().size(), sent); // No sends nothing
    QCOMPARE(boxes_->shown.size(), 1);
    const testing::ShownBox& box = boxes_->shown[0];
    QCOMPARE(box.icon, speedAsked ? platform::MsgIcon::Warning : platform::MsgIcon::None);
    QCOMPARE(box.text.contains("Store anyway?"), speedAsked);
    QCOMPARE(box.details, speedAsked ? QString() : details);
    if (!speedAsked)
        return;
    boxes_->answers << platform::MsgAnswer::Yes << platform::MsgAnswer::No;
    QVERIFY(Await(commands, [&] { commands.Store(); }).result.Is(FailureKind::Declined));
    QCOMPARE(boxes_->shown.last().details, details); // then the store's own question
}

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
    QCOMPARE(Query(command, got, command == u"?:D0" ? ReplyKind::Number : ReplyKind::Line), ok);
    QCOMPARE(got, reply);
    link_->ComClose();
    QVERIFY(!port_->IsOpen());
    QVERIFY(boxes_->shown.isEmpty());
    // Nothing of the late reply is left for the next command.
    if (ok) {
        QVERIFY(link_->ComOpen());
        QVERIFY(Query("?:EM", got));
        QCOMPARE(got, QString("10"));
    }
}

void TestLink::endToEndConnectLoadStore() {
    QMX_SKIP_WITHOUT_SIM();
    QTemporaryDir dir;
    const QString log = dir.filePath("sim.log");
    testing::SimProcess sim;
    QVERIFY(OpenPty(sim, {"--log", log}));
    QVERIFY(Run(QMXModule::ConnectController(*link_, program_->State, nullptr)));
    ConfigRecord& config = program_->Config;
    config.defaultSpeedMin = 1;
    QVERIFY(Run(QMXModule::LoadConfigFromController(*link_, config, nullptr)));
    QVERIFY2(config == FactoryDefaults(),
             qPrintable(testing::Differences(config, FactoryDefaults()).join(' ')));

    // An edited record, with speeds beyond the controller's F, goes in whole.
    config.defaultSpeedMin = 8000;
    config.defaultSpeedMax = 9000;
    config.runCurrent = 660;
    config.stopCurrent = 330;
    QVERIFY(Run(QMXModule::StoreConfigToController(*link_, config, nullptr)));
    QString reply;
    QVERIFY(Query("?:D0", reply));
    QCOMPARE(reply, QString("8000"));
    link_->ComClose();

    // Closed and opened again, the terminal still answers.
    QVERIFY(link_->ComOpen());
    QVERIFY(Query("?:CR", reply));
    QCOMPARE(reply, QString("1375"));
    link_->ComClose();
    QVERIFY(boxes_->shown.isEmpty());

    QCOMPARE(sim.Terminate(), 0);
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), kIdentify.size() + 31 + 36 + 2);
    QCOMPARE(lines.first(kIdentify.size()), kIdentify);
    QStringList stored = kFactoryStore;
    stored.replace(2, "Z:D08000");
    stored.replace(3, "Z:D19000");
    stored.replace(29, "Z:CR1375");
    stored.replace(30, "Z:CS688");
    QCOMPARE(lines.mid(kIdentify.size() + 31, 36), stored);
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
    link_->SetSerialControl(port_.get());
    link_->ComInit(1, 1);
    const bool opens = explains.isEmpty();
    QCOMPARE(testing::Boxed(*boxes_, link_->ComOpenDevice(device)), opens);
    QCOMPARE(link_->PortIsOpen(), opens);
    QCOMPARE(boxes_->shown.size(), opens ? 0 : 1);
    if (opens) {
        link_->ComClose(); // before the lock files go: the port's own lock replaced the stale one
        return;
    }
    const QString text = boxes_->shown[0].text;
    for (QString part : QStringList{device} + explains) {
        part.replace("%pid", QString::number(sim.Pid()));
        if (part.startsWith('!'))
            QVERIFY2(!text.contains(part.mid(1)), qPrintable(text));
        else
            QVERIFY2(text.contains(part), qPrintable(text));
    }
    QCOMPARE(boxes_->shown[0].title, QString("QMX-001 LINK"));
    QCOMPARE(boxes_->shown[0].icon, platform::MsgIcon::Critical);
}

void TestLink::simulatorKilledMidTransaction() {
    QMX_SKIP_WITHOUT_SIM();
    testing::SimProcess sim;
    QVERIFY(OpenPty(sim, {"--silent-at", "?:D0"}));
    QString reply;
    QVERIFY(Query("?:N", reply));
    QTimer::singleShot(100, [&sim] { sim.Kill(); });
    bool ok = true;
    const Cost cost = Measure([&] { ok = Query("?:D0", reply); });
    QVERIFY(!ok);
    QCOMPARE(reply, QString());
    QCOMPARE(last_.outcome, QueryReport::Outcome::PortLost);
    QVERIFY(!port_->IsOpen());
    // As the device goes, not after the attempts.
    QVERIFY2(cost.wall < 0.6, qPrintable(QString::number(cost.wall)));
    QVERIFY2(cost.cpu < 0.5 * cost.wall,
             qPrintable(QStringLiteral("cpu %1 s of %2 s").arg(cost.cpu).arg(cost.wall)));
    // Later transactions fail at once; closing is harmless.
    QVERIFY(!Query("?:N", reply));
    link_->ComClose();
    QVERIFY(!link_->PortIsOpen());
}

void TestLink::waitingForNoReplyCostsLittleCpu() {
    QMX_SKIP_WITHOUT_SIM();
    testing::SimProcess sim;
    QVERIFY(OpenPty(sim, {"--silent-after", "0"}));
    QString reply;
    bool ok = true;
    const Cost cost = Measure([&] { ok = Query("?:N", reply); });
    QVERIFY(!ok);
    QVERIFY2(cost.wall > 0.7, qPrintable(QString::number(cost.wall)));
    QVERIFY2(cost.cpu < 0.2 * cost.wall,
             qPrintable(QStringLiteral("cpu %1 s of %2 s").arg(cost.cpu).arg(cost.wall)));
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
