#include "files/FileModule.h"
#include "link/ComSupport.h"
#include "link/QMXModule.h"
#include "shell/ConfigRecord.h"
#include "shell/MainModule.h"
#include "sim/DeviceModel.h"
#include "sim/SimSerialControl.h"
#include "tests/support/Protocol.h"
#include "tests/support/Records.h"
#include "tests/support/Scripted.h"
#include "tests/support/SimHarness.h"
#include "tests/support/WindowDriver.h"
#include "ui/main/MainCommands.h"
#include "ui/main/StartUp.h"
#include "ui/main/frmCompare.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <array>
#include <memory>

// The main window's CONNECT, LOAD, STORE and DISCONNECT, clicked as the operator would: end to
// end against qmx-sim on a pseudo-terminal through the real serial port, and in-process against
// the same simulated controller for the failures, one step at a time.

Q_DECLARE_METATYPE(ConfigRecord)

namespace {

using testing::Click;
using testing::Mismatch;
using testing::Perform;
using testing::Reveal;
using testing::Type;

// In-process the controller answers at once; a short tick keeps the many no-reply rows quick
// without changing what the link counts.
constexpr int kFastTickMs = 2;

using testing::FactoryStoreCommands;
using testing::kFactoryStore;
using testing::kLoadQueries;
const QStringList& kIdentify = testing::kIdentifyCommands;

// A controller whose every parameter differs from the factory values.
const QByteArray kControllerState = "D0=1200\nD1=8000\nD2=350\n"
                                    "O0=300\nO1=2000\nO2=50\n"
                                    "J0=200\nJ1=900\nJ2=150\n"
                                    "EP=0\nEA=1\nEF=0\nEJ=0\nIS=3\nIF=0\n"
                                    "MO=1\nN=-250\nML0=1\nML1=-1\nMD=1\nMS=0\n"
                                    "CF=400\nCC=4\nCR=1500\nCS=750\nCT=6\nCH=700\nCL=90\n"
                                    "MT=1\nED=1\nEM=25\n";

// That controller's parameters in program units.
ConfigRecord ControllerRecord() {
    ConfigRecord r = FactoryDefaults();
    r.defaultSpeedMin = 1200;
    r.defaultSpeedMax = 8000;
    r.defaultAccelTime = 350;
    r.originSpeedMin = 300;
    r.originSpeedMax = 2000;
    r.originAccelTime = 50;
    r.jogSpeedMin = 200;
    r.jogSpeedMax = 900;
    r.jogAccelTime = 150;
    r.excitationAtStartUp = kFalse;
    r.autoExcitation = kTrue;
    r.excitationAtEmergencyStop = kFalse;
    r.jogInputEnabled = kFalse;
    r.comSpeedIndex = 3;
    r.comFlowControl = kFalse;
    r.originMode = 1;
    r.originOffset = -250;
    r.limitSensorMode = {1, -1};
    r.reverseDirection = kTrue;
    r.stepMode = 0;
    r.currentScale = 400;
    r.ctScale = 4.0;
    r.runCurrent = 600;  // 1500 x 400 / 1000
    r.stopCurrent = 300; // 750 x 400 / 1000
    r.ctValue = 24;      // 4 x 6
    r.chValue = 700;
    r.clValue = 90;
    r.rotationStage = kTrue;
    r.jogDialEnabled = kTrue;
    r.jogDialPulses = 25;
    return r;
}

// How the window presents that controller.
const QStringList kControllerShown{
    "DefSpeedText(0)=text:1200",   "DefSpeedText(1)=text:8000",   "DefSpeedText(2)=text:350",
    "OrgSpeedText(0)=text:300",    "OrgSpeedText(1)=text:2000",   "OrgSpeedText(2)=text:50",
    "DefJOGSpeedText(0)=text:200", "DefJOGSpeedText(1)=text:900", "DefJOGSpeedText(2)=text:150",
    "JogSpeedText=text:900",       "OrgOffsetText=text:-250",     "OrgOffsetText=disabled",
    "OrgModeOption(1)=checked",    "StageMode(1)=checked",        "DirOption(1)=checked",
    "SplitOption(1)=checked",      "MotorInfo(0)=text:600",       "MotorInfo(1)=text:300",
    "MotorSlider(0)=value:600",    "MotorSlider(1)=value:300",    "JogCheck=unchecked",
    "ExtLSCheck(0)=checked",       "LSOption(1)=checked",         "ExtLSCheck(1)=unchecked",
    "LSOption(2)=checked",         "LSFrame(1)=disabled",         "ComSpeedOption(3)=checked",
    "ComFlowCheck=unchecked",      "EmgPowerCheck=checked",       "PowerUpCheck=unchecked",
    "AutoPowerCheck=checked",      "ExtJDialCheck=checked",       "ExtJDialPulse=text:25",
    "ExtJDialPulse=enabled"};

// A few controls that still show the factory record.
const QStringList kFactoryShown{"DefSpeedText(0)=text:500",  "OrgOffsetText=text:0",
                                "MotorInfo(0)=text:350",     "ExtJDialPulse=text:10",
                                "ComSpeedOption(1)=checked", "StageMode(0)=checked"};

QString Text(bool english, const char* japanese, const char* inEnglish) {
    return QString::fromUtf8(english ? inEnglish : japanese);
}

QString CannotConnect(bool english) {
    return Text(english, "QMX-001との接続ができません。", "cannot connect QMX-001.");
}

QString LinkTitle(bool english) {
    return Text(english, "QMX-001通信", "QMX-001 LINK");
}

QString StatusMessage(int number, bool english) {
    switch (number) {
    case 0:
        return Text(english, "QMX-001設定プログラムへようこそ", "Welcome QMX-001 configuration.");
    case 1:
        return Text(english, "QMX-001が接続されました。", "Connected QMX-001.");
    case 2:
        return Text(english, "QMX-001が接続され、設定値が読み込まれました。",
                    "Connected QMX-001,with load config data.");
    case 3:
        return Text(english, "QMX-001から設定値を読込みました。",
                    "Load complete config data from QMX-001.");
    case 4:
        return Text(english, "QMX-001に設定値を書込みました。", "Store complete config data.");
    case 5:
        return Text(english, "QMX-001が切断されました。", "Disconnected QMX-001.");
    default:
        return {};
    }
}

QStringList Mismatches(frmMain& window, const QStringList& expectations) {
    QStringList out;
    for (const QString& expectation : expectations)
        if (const QString problem = Mismatch(window, expectation); !problem.isEmpty())
            out << problem;
    return out;
}

enum class LinkView { Start, Connected, Disconnected };

// Everything the operator sees of the link, plus the port, against one of its three states.
// labels: the four value labels when connected.
QStringList LinkProblems(frmMain& w, LinkView link, bool english, const QStringList& labels = {}) {
    QStringList out;
    const auto expect = [&out](bool ok, const char* what) {
        if (!ok)
            out << QLatin1String(what);
    };
    const bool connected = link == LinkView::Connected;
    const QString caption =
        connected ? Text(english, "切断", "DISCONNECT") : Text(english, "接続", "CONNECT");
    if (w.CmdConnect->text() != caption)
        out << QStringLiteral("CONNECT caption %1").arg(w.CmdConnect->text());
    expect(w.Shape->FillColor() == (connected ? QColor(0, 255, 0) : QColor(255, 0, 0)), "lamp");
    expect(w.CmdLoad->isEnabled() == connected, "LOAD enabled");
    expect(w.CmdStore->isEnabled() == connected, "STORE enabled");
    expect(w.mnuToolsOptions->isEnabled() == !connected, "Options enabled");
    expect(IsTrue(w.program().State.IsConnected) == connected, "IsConnected");
    expect(w.Link().PortIsOpen() == connected, "port open");
    expect(!w.ProgressBar->isVisible(), "progress bar hidden");
    expect(w.mnuToolsCompare->isEnabled() == connected, "Compare enabled");
    // Held and given back, the EXTEND pages stay unavailable without /EXT, their controls too.
    if (!IsTrue(w.program().State.ExtendedMode))
        for (const QWidget* extended :
             {w.MainTab->widget(3), w.MainTab->widget(4), static_cast<QWidget*>(w.ExtLSCheck[0]),
              static_cast<QWidget*>(w.DefSpeedText[0])})
            expect(!extended->isEnabled(), "an EXTEND control available without /EXT");
    QStringList shown{w.infoLabel[3]->text(), w.infoLabel[4]->text(), w.infoLabel[5]->text(),
                      w.infoLabel[7]->text()};
    const QStringList wanted =
        link == LinkView::Start          ? QStringList{"----------", "-.--", "---", "------"}
        : link == LinkView::Disconnected ? QStringList{"xxxxxxxxxx", "x.xx", "xxx", "xxxxxx"}
                                         : labels;
    if (shown != wanted)
        out << QStringLiteral("labels ") + shown.join(u' ');
    return out;
}

// The window while a sequence runs (held) or after it, connected, with a current file.
QStringList HoldProblems(frmMain& w, const QPushButton* running, bool held) {
    QStringList out;
    const auto expect = [&out](bool ok, const QString& what) {
        if (!ok)
            out << what;
    };
    for (int page = 0; page < w.MainTab->count(); ++page)
        expect(w.MainTab->widget(page)->isEnabled() != held, QStringLiteral("page %1").arg(page));
    expect(w.MainTab->tabBar()->isEnabled(), "the page tabs");
    expect(w.CmdInit->isEnabled() != held, "INITIALIZED DEFAULT");
    for (const QAction* command :
         {w.mnuFileOpen, w.mnuFileClose, w.mnuFileSave, w.mnuFileSaveAs, w.mnuHelpAbout})
        expect(command->isEnabled() != held, command->objectName());
    expect(w.mnuFileExit->isEnabled(), "Exit");
    expect(!w.mnuToolsOptions->isEnabled(), "Options");
    for (const QPushButton* button : {w.CmdConnect, w.CmdLoad, w.CmdStore})
        expect(button->isEnabled() == (!held || button == running), button->objectName());
    const QCursor* cursor = QGuiApplication::overrideCursor();
    expect(held ? cursor && cursor->shape() == Qt::BusyCursor : !cursor, "busy pointer");
    return out;
}

// An operator's edits at a held window: a preset, a wheel turn, a typed offset, a check box.
void TryToEdit(frmMain& w) {
    w.MainTab->setCurrentIndex(0);
    QTest::mouseClick(w.MotorCmd[2], Qt::LeftButton);
    Perform(w, QStringLiteral("wheel MotorSlider(0) 3"));
    QTest::mouseClick(w.OrgOffsetText, Qt::LeftButton);
    QTest::keyClicks(w.OrgOffsetText, QStringLiteral("77"));
    QTest::keyClick(w.OrgOffsetText, Qt::Key_Tab);
    Click(w, w.EmgPowerCheck);
}

QStringList Repeated(const QString& command, int times) {
    QStringList out;
    for (int i = 0; i < times; ++i)
        out << command;
    return out;
}

} // namespace

class TestUiLink : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    // End to end: qmx-sim, the real serial port, the real window.
    void connectShowsController_data();
    void connectShowsController();
    void load_data();
    void load();
    void store_data();
    void store();
    void storeLateReply_data();
    void storeLateReply();
    void storeAnsweredNo_data();
    void storeAnsweredNo();
    void disconnectSendsNothing_data();
    void disconnectSendsNothing();

    // In-process controller with faults.
    void identifyNoReply_data();
    void identifyNoReply();
    void identifyReplies_data();
    void identifyReplies();
    void loadOnConnectFails_data();
    void loadOnConnectFails();
    void loadStepFails_data();
    void loadStepFails();
    void storeStepRefused_data();
    void storeStepRefused();
    void storeRecordRefused_data();
    void storeRecordRefused();
    void sequenceHoldsOtherCommands_data();
    void sequenceHoldsOtherCommands();
    void focusGoesToConnect_data();
    void focusGoesToConnect();
    void progressDuringConnect();

    // What the window knows the controller holds: markers, undo, Compare, Exit.
    void markersAndUndo();
    void openMarksWhatDiffers();
    void compareWithController();
    void exitAsksWhileEditsPending_data();
    void exitAsksWhileEditsPending();
    void windowGoneMidSeries();

private:
    enum class Ticks { Real, Fast };
    frmMain* StartWindow(const QString& commandLine, Ticks ticks);
    bool StartSim(const QStringList& arguments, const QByteArray& state = {});
    QStringList SimLog() const;
    void UseInProcessController();
    bool ClickToEnd(QPushButton* button);
    bool Connected() const;
    bool ClickConnect();

    ConfigRecord loadedController_{}; // what one successful load made of the controller

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<testing::SimProcess> sim_;
    std::unique_ptr<sim::DeviceModel> model_;
    std::unique_ptr<sim::SimSerialControl> serial_;
    std::unique_ptr<testing::ScriptedMessageBoxes> boxes_;
    std::unique_ptr<testing::ScriptedFileDialogs> dialogs_;
    std::unique_ptr<frmMain> window_;
};

void TestUiLink::initTestCase() {
    testing::UseTemporarySettings();
    QApplication::setFont(frmMain::UiFont());

    // One successful load: the expectation for every partial load below.
    init();
    UseInProcessController();
    QVERIFY(model_->LoadStateText(kControllerState));
    frmMain* window = StartWindow(QString(), Ticks::Fast);
    QVERIFY(ClickConnect());
    QVERIFY(ClickToEnd(window->CmdLoad));
    QVERIFY(boxes_->shown.isEmpty());
    loadedController_ = window->Config();
    cleanup();
}

void TestUiLink::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    boxes_ = std::make_unique<testing::ScriptedMessageBoxes>();
    dialogs_ = std::make_unique<testing::ScriptedFileDialogs>();
}

void TestUiLink::cleanup() {
    if (window_)
        window_->Link().ComClose();
    window_.reset();
    serial_.reset();
    model_.reset();
    sim_.reset();
    dialogs_.reset();
    boxes_.reset();
    dir_.reset();
}

// The program's own start-up with this test's boxes and dialogs, on the in-process controller
// when the test has one, else on the real port of COM 1.
frmMain* TestUiLink::StartWindow(const QString& commandLine, Ticks ticks) {
    window_.reset(StartProgram(commandLine, WindowSeams{boxes_.get(), dialogs_.get()}));
    if (serial_)
        window_->Link().SetSerialControl(serial_.get());
    if (ticks == Ticks::Fast)
        window_->Timer1->setInterval(kFastTickMs);
    window_->activateWindow();
    if (!QTest::qWaitForWindowActive(window_.get()))
        qWarning("window did not become active");
    return window_.get();
}

// qmx-sim with its command log and state file in this test's folder, on COM 1.
bool TestUiLink::StartSim(const QStringList& arguments, const QByteArray& state) {
    const QString statePath = dir_->filePath(QStringLiteral("state.txt"));
    if (!state.isEmpty()) {
        QFile file(statePath);
        if (!file.open(QIODevice::WriteOnly) || file.write(state) != state.size())
            return false;
    }
    sim_ = std::make_unique<testing::SimProcess>();
    QString error;
    const QStringList all =
        QStringList{"--log", dir_->filePath(QStringLiteral("sim.log")), "--state", statePath} +
        arguments;
    if (!sim_->Start(all, &error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    qputenv("QMX_COM1", sim_->PtyPath().toLocal8Bit());
    return true;
}

// Every command line qmx-sim received. It logs a line before answering it, so everything
// answered so far is there.
QStringList TestUiLink::SimLog() const {
    QFile file(dir_->filePath(QStringLiteral("sim.log")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromLatin1(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

void TestUiLink::UseInProcessController() {
    model_ = std::make_unique<sim::DeviceModel>();
    serial_ = std::make_unique<sim::SimSerialControl>(*model_);
}

// Clicks a controller button and waits until the series it started has ended.
bool TestUiLink::ClickToEnd(QPushButton* button) {
    Click(*window_, button);
    return testing::AwaitSequenceEnd(*window_);
}

bool TestUiLink::Connected() const {
    return IsTrue(window_->program().State.IsConnected);
}

// CONNECT to its end; whether connected then.
bool TestUiLink::ClickConnect() {
    return ClickToEnd(window_->CmdConnect) && Connected();
}

// ---- End to end ------------------------------------------------------------------------------

void TestUiLink::connectShowsController_data() {
    QTest::addColumn<bool>("english");
    QTest::addColumn<bool>("loadOnConnect");
    QTest::newRow("japanese") << false << false;
    QTest::newRow("english") << true << false;
    QTest::newRow("japanese, load on connect") << false << true;
    QTest::newRow("english, load on connect") << true << true;
}

void TestUiLink::connectShowsController() {
    QMX_SKIP_WITHOUT_SIM();
    QFETCH(bool, english);
    QFETCH(bool, loadOnConnect);
    QVERIFY(StartSim({"--serial", "QX12345678", "--firmware", "FW-2.05", "--revision", "B07",
                      "--build-date", "20250102"},
                     kControllerState));
    frmMain* window =
        StartWindow(english ? QStringLiteral("/L:E /EXT") : QStringLiteral("/EXT"), Ticks::Real);
    window->program().Options.LoadOnConnect = ToBoolean(loadOnConnect);

    QVERIFY(ClickConnect());
    const QStringList problems = LinkProblems(*window, LinkView::Connected, english,
                                              {"QX12345678", "2.05", "B07", "20250102"});
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QCOMPARE(window->StatusText(), StatusMessage(loadOnConnect ? 2 : 1, english));
    QCOMPARE(SimLog(), loadOnConnect ? kIdentify + kLoadQueries : kIdentify);
    QVERIFY(boxes_->shown.isEmpty());
    if (loadOnConnect) {
        QVERIFY2(window->Config() == ControllerRecord(),
                 qPrintable(testing::Differences(window->Config(), ControllerRecord()).join(u' ')));
        const QStringList shown = Mismatches(*window, kControllerShown);
        QVERIFY2(shown.isEmpty(), qPrintable(shown.join(u'\n')));
    } else {
        // Connecting alone leaves the record and what the window shows.
        QVERIFY(window->Config() == FactoryDefaults());
        const QStringList shown = Mismatches(*window, kFactoryShown);
        QVERIFY2(shown.isEmpty(), qPrintable(shown.join(u'\n')));
    }
}

void TestUiLink::load_data() {
    testing::AddLanguageRows();
}

void TestUiLink::load() {
    QMX_SKIP_WITHOUT_SIM();
    QFETCH(bool, english);
    QVERIFY(StartSim({}, kControllerState));
    frmMain* window =
        StartWindow(english ? QStringLiteral("/L:E /EXT") : QStringLiteral("/EXT"), Ticks::Real);
    QVERIFY(ClickConnect());
    window->Config().reservedSwitch = 7; // never read from the controller

    QVERIFY(ClickToEnd(window->CmdLoad));
    ConfigRecord expected = ControllerRecord();
    expected.reservedSwitch = 7;
    QVERIFY2(window->Config() == expected,
             qPrintable(testing::Differences(window->Config(), expected).join(u' ')));
    const QStringList shown = Mismatches(*window, kControllerShown);
    QVERIFY2(shown.isEmpty(), qPrintable(shown.join(u'\n')));
    QCOMPARE(window->StatusText(), StatusMessage(3, english));
    QCOMPARE(SimLog(), kIdentify + kLoadQueries);
    QVERIFY(boxes_->shown.isEmpty());
    const QStringList problems = LinkProblems(*window, LinkView::Connected, english,
                                              {"SIM0000001", "1.23", "A01", "20261207"});
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
}

void TestUiLink::store_data() {
    QTest::addColumn<bool>("english");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<bool>("zeroPulses");     // set jogDialPulses to 0 behind the window's back
    QTest::addColumn<ConfigRecord>("edited"); // the record after the edits
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<ConfigRecord>("stored"); // what a fresh load reads back
    // The edits change the controller's line speed: STORE asks first, whatever the option.
    QTest::addColumn<bool>("speedAsked");

    QTest::newRow("factory defaults, confirmed")
        << false << true << QStringList{} << false << FactoryDefaults() << FactoryStoreCommands()
        << FactoryDefaults() << false;

    ConfigRecord edited = FactoryDefaults();
    edited.defaultSpeedMin = 1200;
    edited.defaultSpeedMax = 8000;
    edited.defaultAccelTime = 350;
    edited.originSpeedMin = 300;
    edited.originSpeedMax = 2000;
    edited.originAccelTime = 50;
    edited.jogSpeedMin = 200;
    edited.jogSpeedMax = 1000;
    edited.jogAccelTime = 0;
    edited.originOffset = -250;
    edited.originMode = 1;
    edited.rotationStage = kTrue;
    edited.reverseDirection = kTrue;
    edited.stepMode = 0;
    edited.runCurrent = 660;
    edited.stopCurrent = 330;
    edited.limitSensorMode = {1, -1};
    edited.comSpeedIndex = 3;
    edited.comFlowControl = kFalse;
    edited.jogInputEnabled = kFalse;
    edited.excitationAtEmergencyStop = kFalse;
    edited.excitationAtStartUp = kFalse;
    edited.autoExcitation = kTrue;
    edited.jogDialEnabled = kTrue;
    edited.jogDialPulses = 25;
    QTest::newRow("edited, no question")
        << true << false
        << QStringList{"type DefSpeedText(1) 8000",   "type DefSpeedText(0) 1200",
                       "type DefSpeedText(2) 350",    "type OrgSpeedText(0) 300",
                       "type OrgSpeedText(1) 2000",   "type OrgSpeedText(2) 50",
                       "type DefJOGSpeedText(2) 150",
                       "type JogSpeedText 1000", // one jog speed: acceleration back to 0
                       "type DefJOGSpeedText(0) 200", "type OrgOffsetText -250",
                       "click OrgModeOption(1)",      "click StageMode(1)",
                       "click DirOption(1)",          "click SplitOption(1)",
                       "click MotorCmd(1)",           "click LSOption(1)",
                       "click ExtLSCheck(1)",         "click ComSpeedOption(3)",
                       "click ComFlowCheck",          "click JogCheck",
                       "click EmgPowerCheck",         "click PowerUpCheck",
                       "click AutoPowerCheck",        "click ExtJDialCheck",
                       "type ExtJDialPulse 25"}
        << false << edited
        << QStringList{"Z:D0100",   "Z:D130000", "Z:D01200", "Z:D18000", "Z:D2350", "Z:J0100",
                       "Z:J130000", "Z:J0200",   "Z:J11000", "Z:J20",    "Z:O0100", "Z:O130000",
                       "Z:O0300",   "Z:O12000",  "Z:O250",   "Z:EP0",    "Z:EA1",   "Z:EF0",
                       "Z:EJ0",     "Z:IS3",     "Z:IF0",    "Z:MO1",    "S:N-250", "Z:ML01",
                       "Z:ML1-1",   "Z:MD1",     "Z:MS0",    "Z:CR4095", "Z:CS0",   "Z:CR1375",
                       "Z:CS688",   "Z:CT4",     "Z:MT1",    "Z:ED1",    "Z:EM25",  "Z:UW"}
        << edited << true;

    ConfigRecord pulses = FactoryDefaults();
    pulses.defaultAccelTime = 0;
    pulses.runCurrent = 750;
    pulses.stopCurrent = 300;
    pulses.jogDialEnabled = kTrue;
    pulses.jogDialPulses = 0;
    ConfigRecord pulsesStored = pulses;
    pulsesStored.jogDialPulses = 10;
    QTest::newRow("jog dial pulses 0, confirmed")
        << true << true
        << QStringList{"type DefSpeedText(2) 0", "click MotorCmd(2)", "slider MotorSlider(1) 300",
                       "click ExtJDialCheck"}
        << true << pulses
        << QStringList{"Z:D0100",   "Z:D130000", "Z:D0500", "Z:D15000", "Z:D20",   "Z:J0100",
                       "Z:J130000", "Z:J0500",   "Z:J1500", "Z:J20",    "Z:O0100", "Z:O130000",
                       "Z:O0500",   "Z:O15000",  "Z:O2200", "Z:EP1",    "Z:EA0",   "Z:EF1",
                       "Z:EJ1",     "Z:IS1",     "Z:IF1",   "Z:MO0",    "S:N0",    "Z:ML00",
                       "Z:ML10",    "Z:MD0",     "Z:MS1",   "Z:CR4095", "Z:CS0",   "Z:CR1562",
                       "Z:CS625",   "Z:CT4",     "Z:MT0",   "Z:ED1",    "Z:EM10",  "Z:UW"}
        << pulsesStored << false;
}

void TestUiLink::store() {
    QMX_SKIP_WITHOUT_SIM();
    QFETCH(bool, english);
    QFETCH(bool, confirm);
    QFETCH(QStringList, edits);
    QFETCH(bool, zeroPulses);
    QFETCH(ConfigRecord, edited);
    QFETCH(QStringList, sent);
    QFETCH(ConfigRecord, stored);
    QFETCH(bool, speedAsked);
    QVERIFY(StartSim({}));
    frmMain* window =
        StartWindow(english ? QStringLiteral("/L:E /EXT") : QStringLiteral("/EXT"), Ticks::Real);
    window->program().Options.ConfirmStore = ToBoolean(confirm);
    QVERIFY(ClickConnect());

    for (const QString& edit : edits)
        QVERIFY2(Perform(*window, edit), qPrintable(edit));
    if (zeroPulses)
        window->Config().jogDialPulses = 0; // the box refuses 0
    QVERIFY2(window->Config() == edited,
             qPrintable(testing::Differences(window->Config(), edited).join(u' ')));

    boxes_->answers << platform::MsgAnswer::Yes << platform::MsgAnswer::Yes;
    QVERIFY(ClickToEnd(window->CmdStore));
    QCOMPARE(boxes_->shown.size(), int(confirm) + int(speedAsked));
    if (speedAsked) {
        QVERIFY2(boxes_->shown[0].text.contains(Text(english, "オプションで通信速度を設定",
                                                     "the speed must then be set in Options")),
                 qPrintable(boxes_->shown[0].text));
        QCOMPARE(boxes_->shown[0].title, LinkTitle(english));
        QCOMPARE(boxes_->shown[0].icon, platform::MsgIcon::Warning);
        QCOMPARE(boxes_->shown[0].buttons, platform::MsgButtons::YesNo);
    }
    if (confirm) {
        QCOMPARE(boxes_->shown.last().text,
                 Text(english, "設定値をQMXに書込みますか？", "Store Config data ?"));
        QCOMPARE(boxes_->shown.last().title, LinkTitle(english));
        QCOMPARE(boxes_->shown.last().icon, platform::MsgIcon::None);
        QCOMPARE(boxes_->shown.last().buttons, platform::MsgButtons::YesNo);
    }
    QCOMPARE(SimLog().mid(kIdentify.size()), sent);
    QCOMPARE(window->StatusText(), StatusMessage(4, english));
    QVERIFY(!window->ProgressBar->isVisible());
    QVERIFY2(window->Config() == edited, "the store changed the record");
    QVERIFY2(QFile::exists(dir_->filePath(QStringLiteral("state.txt"))), "not kept on Z:UW");

    // Read back into a fresh record: the controller holds what was edited.
    Click(*window, window->CmdInit);
    QVERIFY(ClickToEnd(window->CmdLoad));
    QVERIFY2(window->Config() == stored,
             qPrintable(testing::Differences(window->Config(), stored).join(u' ')));
    QCOMPARE(window->StatusText(), StatusMessage(3, english));
    QCOMPARE(boxes_->shown.size(), int(confirm) + int(speedAsked));
}

void TestUiLink::storeLateReply_data() {
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("box"); // a part of the failure box's text
    QTest::newRow("late OK") << QStringList{"--processing", "20", "--late", "Z:IS1=250"} << true
                             << "";
    QTest::newRow("late OK, then NG to Z:UW")
        << QStringList{"--late", "Z:IS1=250", "--reply", "Z:UW=NG"} << false << CannotConnect(true);
    // A stale OK comes first: the NG after it must not go unseen.
    QTest::newRow("stale OK, then NG to Z:UW")
        << QStringList{"--stale-before", "Z:UW", "--reply", "Z:UW=NG", "--late", "Z:UW=100"}
        << false << "may or may not be kept. Store again.";
}

// A slow answer to one setting is waited out: the next setting's reply is its own.
void TestUiLink::storeLateReply() {
    QMX_SKIP_WITHOUT_SIM();
    QFETCH(QStringList, simArguments);
    QFETCH(bool, stored);
    QFETCH(QString, box);
    QVERIFY(StartSim(simArguments));
    frmMain* window = StartWindow(QStringLiteral("/L:E"), Ticks::Real);
    window->program().Options.ConfirmStore = kFalse;
    QVERIFY(ClickConnect());
    QVERIFY(ClickToEnd(window->CmdStore));
    QStringList sent = FactoryStoreCommands();
    if (simArguments.contains("Z:IS1=250"))
        sent.insert(19, QStringLiteral("Z:IS1"));
    if (stored) // a store that had trouble is read back
        sent += testing::kReadBackQueries;
    QCOMPARE(SimLog().mid(kIdentify.size()), sent);
    QCOMPARE(boxes_->shown.size(), stored ? 0 : 1);
    if (!stored)
        QVERIFY2(boxes_->shown[0].text.contains(box), qPrintable(boxes_->shown[0].text));
    QCOMPARE(window->StatusText(), StatusMessage(stored ? 4 : 5, true));
    const QStringList problems = stored ? LinkProblems(*window, LinkView::Connected, true,
                                                       {"SIM0000001", "1.23", "A01", "20261207"})
                                        : LinkProblems(*window, LinkView::Disconnected, true);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
}

void TestUiLink::storeAnsweredNo_data() {
    testing::AddLanguageRows();
}

void TestUiLink::storeAnsweredNo() {
    QMX_SKIP_WITHOUT_SIM();
    QFETCH(bool, english);
    QVERIFY(StartSim({}));
    frmMain* window = StartWindow(english ? QStringLiteral("/L:E") : QString(), Ticks::Real);
    QVERIFY(IsTrue(window->program().Options.ConfirmStore)); // on by default
    QVERIFY(ClickConnect());
    boxes_->answers.enqueue(platform::MsgAnswer::No);
    QVERIFY(ClickToEnd(window->CmdStore));
    QCOMPARE(boxes_->shown.size(), 1);
    QCOMPARE(boxes_->shown[0].buttons, platform::MsgButtons::YesNo);
    // Nothing sent, still connected, no status message. A command after it is the next line.
    QCOMPARE(window->StatusText(), StatusMessage(1, english));
    const QStringList problems = LinkProblems(*window, LinkView::Connected, english,
                                              {"SIM0000001", "1.23", "A01", "20261207"});
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QVERIFY(ClickToEnd(window->CmdLoad));
    QCOMPARE(SimLog(), kIdentify + kLoadQueries);
}

void TestUiLink::disconnectSendsNothing_data() {
    testing::AddLanguageRows();
}

void TestUiLink::disconnectSendsNothing() {
    QMX_SKIP_WITHOUT_SIM();
    QFETCH(bool, english);
    QVERIFY(StartSim({}));
    frmMain* window = StartWindow(english ? QStringLiteral("/L:E") : QString(), Ticks::Real);
    QVERIFY(ClickConnect());
    QVERIFY(ClickToEnd(window->CmdConnect));
    QStringList problems = LinkProblems(*window, LinkView::Disconnected, english);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QCOMPARE(window->StatusText(), StatusMessage(5, english));

    // Connected again: the controller received nothing in between.
    QVERIFY(ClickConnect());
    problems = LinkProblems(*window, LinkView::Connected, english,
                            {"SIM0000001", "1.23", "A01", "20261207"});
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QCOMPARE(SimLog(), kIdentify + kIdentify);
    QVERIFY(boxes_->shown.isEmpty());
}

// ---- Faults, in-process ----------------------------------------------------------------------

void TestUiLink::identifyNoReply_data() {
    QTest::addColumn<QString>("silentAt");
    QTest::addColumn<bool>("english");
    QTest::addColumn<QStringList>("sent");
    // Silence at "Z:IE0" alone would not end the series; here it stays silent to "?:N".
    QTest::newRow("Z:IE0") << "Z:IE0" << true << Repeated("Z:IE0", 5) + Repeated("?:N", 5);
    QTest::newRow("?:N") << "?:N" << false << QStringList{"Z:IE0"} + Repeated("?:N", 5);
    QTest::newRow("?:B") << "?:B" << true << QStringList{"Z:IE0", "?:N"} + Repeated("?:B", 5);
    QTest::newRow("?:S") << "?:S" << false << kIdentify.first(3) + Repeated("?:S", 5);
    QTest::newRow("?:V") << "?:V" << true << kIdentify.first(5) + Repeated("?:V", 5);
    QTest::newRow("?:-") << "?:-" << false << kIdentify.first(6) + Repeated("?:-", 5);
}

void TestUiLink::identifyNoReply() {
    QFETCH(QString, silentAt);
    QFETCH(bool, english);
    QFETCH(QStringList, sent);
    UseInProcessController();
    model_->faults.silentAt = silentAt;
    frmMain* window = StartWindow(english ? QStringLiteral("/L:E") : QString(), Ticks::Fast);
    QVERIFY(ClickToEnd(window->CmdConnect));
    QVERIFY(!Connected());
    QCOMPARE(model_->Log(), sent);
    QCOMPARE(boxes_->shown.size(), 1);
    QCOMPARE(boxes_->shown[0].text, CannotConnect(english));
    QCOMPARE(boxes_->shown[0].title, LinkTitle(english));
    QCOMPARE(boxes_->shown[0].icon, platform::MsgIcon::Critical);
    QCOMPARE(boxes_->shown[0].buttons, platform::MsgButtons::Ok);
    const QStringList problems = LinkProblems(*window, LinkView::Start, english);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QVERIFY(!serial_->IsOpen());
    QCOMPARE(window->StatusText(), StatusMessage(0, english));
}

void TestUiLink::identifyReplies_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("refusal"); // empty: accepted
    QTest::addColumn<QString>("versionLabel");
    QTest::addColumn<int>("sent");
    const QString cannot = QStringLiteral("cannot");
    const QString old = QStringLiteral("old");
    const int all = int(kIdentify.size());
    QTest::newRow("Z:IE0 answered NG") << "Z:IE0"
                                       << "NG" << true << ""
                                       << "1.23" << all;
    QTest::newRow("name XYZ001") << "?:N"
                                 << "XYZ001" << false << cannot << "" << 2;
    QTest::newRow("name QMX001 and more") << "?:N"
                                          << "QMX001-B" << true << ""
                                          << "1.23" << all;
    QTest::newRow("version 1.09") << "?:V"
                                  << "V1.09" << true << old << "" << all;
    QTest::newRow("version 0.95") << "?:V"
                                  << "V0.95" << false << old << "" << all;
    // The version is the reply's tail of digits with one point.
    QTest::newRow("version V1.2") << "?:V"
                                  << "V1.2" << true << ""
                                  << "1.2" << all;
    QTest::newRow("version V10.23") << "?:V"
                                    << "V10.23" << false << ""
                                    << "10.23" << all;
    QTest::newRow("version V1.23b") << "?:V"
                                    << "V1.23b" << true << old << "" << all;
    QTest::newRow("version 1.10") << "?:V"
                                  << "V1.10" << false << ""
                                  << "1.10" << all;
    QTest::newRow("version 1.1 exactly") << "?:V"
                                         << "1.1" << true << ""
                                         << "1.1" << all;
}

void TestUiLink::identifyReplies() {
    QFETCH(QString, command);
    QFETCH(QString, reply);
    QFETCH(bool, english);
    QFETCH(QString, refusal);
    QFETCH(QString, versionLabel);
    QFETCH(int, sent);
    UseInProcessController();
    model_->faults.replies.insert(command, reply);
    frmMain* window = StartWindow(english ? QStringLiteral("/L:E") : QString(), Ticks::Fast);
    QVERIFY(ClickToEnd(window->CmdConnect));
    const bool connected = Connected();
    QCOMPARE(connected, refusal.isEmpty());
    QCOMPARE(model_->Log(), kIdentify.first(sent));
    if (connected) {
        QVERIFY(boxes_->shown.isEmpty());
        const QStringList problems = LinkProblems(*window, LinkView::Connected, english,
                                                  {"SIM0000001", versionLabel, "A01", "20261207"});
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
        QCOMPARE(window->StatusText(), StatusMessage(1, english));
        return;
    }
    QCOMPARE(boxes_->shown.size(), 1);
    QCOMPARE(boxes_->shown[0].text, refusal == u"old"
                                        ? Text(english, "古いバージョンのQMX-001は接続できません。",
                                               "Cannot use old QMX-001 version.")
                                        : CannotConnect(english));
    QCOMPARE(boxes_->shown[0].title, LinkTitle(english));
    QCOMPARE(boxes_->shown[0].icon, platform::MsgIcon::Critical);
    const QStringList problems = LinkProblems(*window, LinkView::Start, english);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QVERIFY(!serial_->IsOpen());
    QCOMPARE(window->StatusText(), StatusMessage(0, english));
}

void TestUiLink::loadOnConnectFails_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("reply"); // empty: no reply at all
    QTest::addColumn<bool>("english");
    QTest::newRow("?:CF answered 0") << "?:CF"
                                     << "0" << true;
    QTest::newRow("no reply to ?:EM") << "?:EM"
                                      << "" << false;
}

// Identified, then the load fails: the window shows the disconnected state, Options included.
void TestUiLink::loadOnConnectFails() {
    QFETCH(QString, command);
    QFETCH(QString, reply);
    QFETCH(bool, english);
    UseInProcessController();
    if (reply.isEmpty())
        model_->faults.silentAt = command;
    else
        model_->faults.replies.insert(command, reply);
    frmMain* window = StartWindow(english ? QStringLiteral("/L:E") : QString(), Ticks::Fast);
    window->program().Options.LoadOnConnect = kTrue;
    QVERIFY(ClickToEnd(window->CmdConnect));
    QVERIFY(!Connected());
    QCOMPARE(boxes_->shown.size(), 1);
    QCOMPARE(boxes_->shown[0].text, CannotConnect(english));
    const QStringList problems = LinkProblems(*window, LinkView::Disconnected, english);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QCOMPARE(window->StatusText(), StatusMessage(5, english));
    QVERIFY(!serial_->IsOpen());
    // The partly loaded record is not presented.
    const QStringList shown = Mismatches(*window, kFactoryShown);
    QVERIFY2(shown.isEmpty(), qPrintable(shown.join(u'\n')));
}

void TestUiLink::loadStepFails_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("reply"); // empty: no reply at all
    QTest::addColumn<bool>("english");
    for (int step = 0; step < kLoadQueries.size(); ++step)
        QTest::newRow(qPrintable(QStringLiteral("no reply to %1").arg(kLoadQueries[step])))
            << step << QString() << (step % 2 == 1);
    const auto refused = [](const char* command, const char* reply, bool english) {
        QTest::newRow(qPrintable(QStringLiteral("%1 answered %2").arg(command, reply)))
            << int(kLoadQueries.indexOf(QLatin1String(command))) << QString::fromLatin1(reply)
            << english;
    };
    refused("?:CF", "0", false);           // a current scale of 0
    refused("?:CC", "0", true);            // a CT scale of 0
    refused("?:D0", "99999999999", false); // beyond 32 bits
    refused("?:D2", "40000", true);        // beyond 16 bits
}

void TestUiLink::loadStepFails() {
    QFETCH(int, step);
    QFETCH(QString, reply);
    QFETCH(bool, english);
    UseInProcessController();
    QVERIFY(model_->LoadStateText(kControllerState));
    frmMain* window =
        StartWindow(english ? QStringLiteral("/L:E /EXT") : QStringLiteral("/EXT"), Ticks::Fast);
    QVERIFY(ClickConnect());
    const QString command = kLoadQueries[step];
    if (reply.isEmpty())
        model_->faults.silentAt = command;
    else
        model_->faults.replies.insert(command, reply);
    const qsizetype before = model_->Log().size();

    QVERIFY(ClickToEnd(window->CmdLoad));

    // Nothing of the stopped load is taken over: record and window agree on what was there.
    const ConfigRecord expected = FactoryDefaults();
    QVERIFY2(window->Config() == expected,
             qPrintable(testing::Differences(window->Config(), expected).join(u' ')));
    // A number that does not fit its field is no reply: the command goes out five times.
    QCOMPARE(model_->Log().mid(before), kLoadQueries.first(step) + Repeated(command, 5));
    const QStringList shown = Mismatches(*window, kFactoryShown);
    QVERIFY2(shown.isEmpty(), qPrintable(shown.join(u'\n')));
    QCOMPARE(boxes_->shown.size(), 1);
    QCOMPARE(boxes_->shown[0].text, CannotConnect(english));
    QCOMPARE(boxes_->shown[0].title, LinkTitle(english));
    QCOMPARE(boxes_->shown[0].icon, platform::MsgIcon::Critical);
    const QStringList problems = LinkProblems(*window, LinkView::Disconnected, english);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QCOMPARE(window->StatusText(), StatusMessage(5, english));
    // So a Save As right after writes what the window shows.
    dialogs_->names.enqueue(dir_->filePath(QStringLiteral("after.QMX")));
    window->mnuFileSaveAs->trigger();
    QByteArray saved;
    QString error;
    QVERIFY(FileModule::ReadFileImage(dir_->filePath(QStringLiteral("after.QMX")), saved, error,
                                      window->Lang()));
    ConfigRecord fromFile = FactoryDefaults();
    FileModule::ImageToRecord(saved, fromFile);
    QVERIFY2(fromFile == expected, qPrintable(testing::Differences(fromFile, expected).join(u' ')));
}

void TestUiLink::storeStepRefused_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("progress"); // the bar's value when the store stopped
    QTest::addColumn<bool>("english");
    int progress = 0;
    for (int step = 0; step < int(kFactoryStore.size()); ++step) {
        if (kFactoryStore[size_t(step)].progress >= 0)
            progress = kFactoryStore[size_t(step)].progress;
        QTest::newRow(kFactoryStore[size_t(step)].command) << step << progress << (step % 2 == 0);
    }
}

void TestUiLink::storeStepRefused() {
    QFETCH(int, step);
    QFETCH(int, progress);
    QFETCH(bool, english);
    UseInProcessController();
    frmMain* window = StartWindow(english ? QStringLiteral("/L:E") : QString(), Ticks::Fast);
    window->program().Options.ConfirmStore = kFalse;
    QVERIFY(ClickConnect());
    const QStringList commands = FactoryStoreCommands();
    model_->faults.replies.insert(commands[step], QStringLiteral("NG"));
    const qsizetype before = model_->Log().size();

    QVERIFY(ClickToEnd(window->CmdStore));

    const QStringList sent = model_->Log().mid(before);
    QCOMPARE(sent, commands.first(step + 1));
    QCOMPARE(sent.contains(QStringLiteral("Z:UW")), step == 35);
    QCOMPARE(window->ProgressBar->value(), progress);
    QCOMPARE(boxes_->shown.size(), 1);
    QCOMPARE(boxes_->shown[0].text, CannotConnect(english));
    QCOMPARE(boxes_->shown[0].icon, platform::MsgIcon::Critical);
    const QStringList problems = LinkProblems(*window, LinkView::Disconnected, english);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QCOMPARE(window->StatusText(), StatusMessage(5, english));
    QVERIFY(window->Config() == FactoryDefaults());
}

void TestUiLink::storeRecordRefused_data() {
    QTest::addColumn<int>("currentScale");
    QTest::addColumn<double>("ctScale");
    QTest::addColumn<int>("ctValue");
    QTest::addColumn<bool>("english");
    QTest::newRow("current scale 0") << 0 << 5.0 << 20 << true;
    QTest::newRow("CT scale 0") << 480 << 0.0 << 20 << false;
    QTest::newRow("CT units beyond 32 bits") << 480 << 1e-6 << 32767 << true;
}

// Checked before anything is sent: the controller keeps all its parameters.
void TestUiLink::storeRecordRefused() {
    QFETCH(int, currentScale);
    QFETCH(double, ctScale);
    QFETCH(int, ctValue);
    QFETCH(bool, english);
    UseInProcessController();
    frmMain* window = StartWindow(english ? QStringLiteral("/L:E") : QString(), Ticks::Fast);
    QVERIFY(ClickConnect());
    window->Config().currentScale = qint16(currentScale);
    window->Config().ctScale = ctScale;
    window->Config().ctValue = qint16(ctValue);
    const qsizetype before = model_->Log().size();
    boxes_->answers.enqueue(platform::MsgAnswer::Yes);

    QVERIFY(ClickToEnd(window->CmdStore));

    QCOMPARE(model_->Log().size(), before);
    QCOMPARE(boxes_->shown.size(), 2); // the question, then the failure
    QCOMPARE(boxes_->shown[1].text, CannotConnect(english));
    QCOMPARE(boxes_->shown[1].icon, platform::MsgIcon::Critical);
    const QStringList problems = LinkProblems(*window, LinkView::Disconnected, english);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QCOMPARE(window->StatusText(), StatusMessage(5, english));
}

void TestUiLink::sequenceHoldsOtherCommands_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<bool>("exit"); // File > Exit, else the window's close box
    QTest::newRow("connect with load") << "CmdConnect" << false;
    QTest::newRow("load, then Exit") << "CmdLoad" << true;
    QTest::newRow("store, then Exit") << "CmdStore" << true;
}

// A slow controller keeps one sequence running while the operator tries everything else: the
// edits and the other commands are held, visibly, and the window gets them back afterwards.
void TestUiLink::sequenceHoldsOtherCommands() {
    QFETCH(QString, first);
    QFETCH(bool, exit);
    UseInProcessController();
    QVERIFY(model_->LoadStateText(kControllerState));
    frmMain* window = StartWindow(QStringLiteral("/EXT"), Ticks::Real);
    const bool connecting = first == u"CmdConnect";
    const bool store = first == u"CmdStore";
    if (connecting)
        window->program().Options.LoadOnConnect = kTrue;
    else
        QVERIFY(ClickConnect());
    // Differs from the defaults INITIALIZED DEFAULT would bring.
    window->Config().originOffset = -250;
    window->DispConfigData();
    const ConfigRecord before = window->Config();
    const QString fileName = dir_->filePath(QStringLiteral("held.QMX"));
    window->program().State.CurrentFileName = fileName;
    window->SetFileEntriesEnabled(true);
    model_->faults.byteDelayMs = 3.0;
    const qsizetype logBefore = model_->Log().size();
    if (store)
        boxes_->answers.enqueue(platform::MsgAnswer::Yes);
    auto* running = window->findChild<QPushButton*>(first);

    bool fired = false;
    bool heldOpen = false;
    QStringList held;
    QTimer others;
    QObject::connect(&others, &QTimer::timeout, this, [&] {
        // Half-way, so that a reset or a second series would show in the record and the log.
        if (fired || !window->Commands().SequenceRunning() || model_->Log().size() - logBefore < 15)
            return;
        fired = true;
        held = HoldProblems(*window, running, true);
        TryToEdit(*window);
        Click(*window, window->CmdLoad);
        Click(*window, window->CmdStore);
        Click(*window, window->CmdConnect);
        Click(*window, window->CmdInit);
        for (QAction* action : {window->mnuFileOpen, window->mnuFileClose, window->mnuFileSave,
                                window->mnuFileSaveAs, window->mnuToolsOptions})
            action->trigger();
        if (exit)
            window->mnuFileExit->trigger();
        else
            window->close();
        heldOpen = window->isVisible();
    });
    others.start(20);
    // Should a modal window open after all, it must not block the test.
    bool modalSeen = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, this, [&modalSeen] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modalSeen = true;
            modal->close();
        }
    });
    closer.start(10);
    // The window as the sequence ends, before a close or Exit asked for meanwhile follows.
    QStringList released{QStringLiteral("the sequence never ended")};
    bool openAtEnd = false;
    QObject atEnd;
    QObject::connect(&window->Commands(), &MainCommands::SequenceEnded, &atEnd, [&] {
        released = HoldProblems(*window, running, false);
        openAtEnd = window->isVisible();
    });

    Click(*window, running);
    // Held from the click on.
    QVERIFY(window->Commands().SequenceRunning());
    const QStringList heldAtClick = HoldProblems(*window, running, true);
    QVERIFY(testing::AwaitSequenceEnd(*window, 60000));

    QVERIFY2(heldAtClick.isEmpty(), qPrintable(heldAtClick.join(u'\n')));
    QVERIFY(fired);
    QVERIFY2(held.isEmpty(), qPrintable(held.join(u'\n')));
    QVERIFY2(released.isEmpty(), qPrintable(released.join(u'\n')));
    QVERIFY2(heldOpen && openAtEnd, "the window closed in the middle of the sequence");
    const QStringList sent = model_->Log().mid(logBefore);
    if (connecting)
        QCOMPARE(sent, kIdentify + kLoadQueries);
    else if (store)
        QCOMPARE(sent, *QMXModule::StoreCommands(before)); // what the window showed at STORE
    else
        QCOMPARE(sent, kLoadQueries);
    QCOMPARE(boxes_->shown.size(), store ? 1 : 0);
    QVERIFY(dialogs_->shown.isEmpty());
    QVERIFY(!modalSeen);
    QVERIFY(!QFile::exists(fileName));
    QCOMPARE(window->program().State.CurrentFileName, fileName);
    QVERIFY(IsTrue(window->program().State.IsConnected));
    // The window shows what the controller holds.
    const ConfigRecord holds = store ? before : loadedController_;
    QVERIFY2(window->Config() == holds,
             qPrintable(testing::Differences(window->Config(), holds).join(u' ')));
    const QStringList shown =
        Mismatches(*window, store ? QStringList{"MotorInfo(0)=text:350", "OrgOffsetText=text:-250",
                                                "EmgPowerCheck=unchecked"}
                                  : kControllerShown);
    QVERIFY2(shown.isEmpty(), qPrintable(shown.join(u'\n')));
    // The close or Exit asked for meanwhile follows the sequence; Exit closes the port first.
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(window->Link().PortIsOpen(), !exit);
}

void TestUiLink::focusGoesToConnect_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("failed LOAD") << "CmdLoad";
    QTest::newRow("failed STORE") << "CmdStore";
    QTest::newRow("failed CONNECT") << "CmdConnect";
}

// With the keyboard alone: the failure leaves the focus on CONNECT, so the next Space connects
// again and never resets the record.
void TestUiLink::focusGoesToConnect() {
    QFETCH(QString, button);
    UseInProcessController();
    frmMain* window = StartWindow(QString(), Ticks::Fast);
    window->program().Options.ConfirmStore = kFalse;
    if (button != u"CmdConnect")
        QVERIFY(ClickConnect());
    model_->faults.silentAt = button == u"CmdLoad"    ? QStringLiteral("?:D0")
                              : button == u"CmdStore" ? QStringLiteral("Z:D0100")
                                                      : QStringLiteral("?:N");
    window->Config().originOffset = -250;
    window->DispConfigData();
    auto* pressed = window->findChild<QPushButton*>(button);
    pressed->setFocus(Qt::TabFocusReason);

    QTest::keyClick(pressed, Qt::Key_Space);
    QVERIFY(testing::AwaitSequenceEnd(*window));
    QVERIFY(!IsTrue(window->program().State.IsConnected));
    QCOMPARE(boxes_->shown.size(), 1);
    QCOMPARE(window->focusWidget(), window->CmdConnect);

    model_->faults = {}; // the controller answers again
    model_->ResetCounters();
    const qsizetype sent = model_->Log().size();
    QTest::keyClick(window->focusWidget(), Qt::Key_Space);
    QVERIFY(testing::AwaitSequenceEnd(*window));
    QVERIFY(IsTrue(window->program().State.IsConnected));
    QCOMPARE(model_->Log().mid(sent), kIdentify);
    QCOMPARE(window->Config().originOffset, -250);
}

// The window is the progress display: visible and moving during a connect, hidden after it.
void TestUiLink::progressDuringConnect() {
    UseInProcessController();
    frmMain* window = StartWindow(QString(), Ticks::Real);
    QList<int> seen;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, this, [&] {
        if (window->ProgressBar->isVisible())
            seen << window->ProgressBar->value();
    });
    sampler.start(5);
    QVERIFY(!window->ProgressBar->isVisible());
    QVERIFY(ClickConnect());
    sampler.stop();
    QVERIFY(!window->ProgressBar->isVisible());
    QVERIFY2(!seen.isEmpty(), "the bar was never seen");
    QVERIFY2(std::is_sorted(seen.cbegin(), seen.cend()), "the bar went back");
    QVERIFY2(seen.last() > 0, "the bar never moved");
    for (const int value : seen)
        QVERIFY2(QList<int>({0, 20, 40, 60, 80, 100}).contains(value),
                 qPrintable(QString::number(value)));
}

// ---- Known values ----------------------------------------------------------------------------

namespace {

void Undo(frmMain& window) {
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
}

} // namespace

// After LOAD, two edits on two pages mark exactly those controls and tabs; undo takes the marks
// away; STORE's question lists the changes, and after it nothing is marked.
void TestUiLink::markersAndUndo() {
    UseInProcessController();
    QVERIFY(model_->LoadStateText(kControllerState));
    frmMain* window = StartWindow(QStringLiteral("/L:E /EXT"), Ticks::Fast);
    QVERIFY(ClickConnect());
    QVERIFY(window->MarkedControls().isEmpty()); // nothing is known yet
    QVERIFY(ClickToEnd(window->CmdLoad));
    QVERIFY(window->MarkedControls().isEmpty());
    const auto edit = [window] {
        return Perform(*window, "click DirOption(0)") && Perform(*window, "click ComFlowCheck");
    };
    QVERIFY(edit());
    QCOMPARE(window->MarkedControls(),
             (QStringList{"DirOption(0)", "DirOption(1)", "ComFlowCheck"}));
    QCOMPARE(window->MarkedPages(), (QList<int>{0, 2}));
    QVERIFY2(window->DirOption[0]->accessibleDescription().endsWith(
                 "changed; the controller holds Reverse"),
             qPrintable(window->DirOption[0]->accessibleDescription()));
    QVERIFY(!window->MainTab->tabBar()->tabToolTip(0).isEmpty());
    QVERIFY(window->MainTab->tabBar()->tabToolTip(1).isEmpty());
    QCOMPARE(window->MainTab->tabText(0), QString("BASIC 1/2"));
    const auto* flow = window->findChild<QCheckBox*>("ComFlowCheck");
    QCOMPARE(window->mnuEditUndo->text(), "&Undo " + flow->accessibleName());
    Undo(*window);
    Undo(*window);
    QVERIFY(window->MarkedControls().isEmpty());
    QVERIFY(window->MarkedPages().isEmpty());
    QCOMPARE(window->Config(), loadedController_);

    QVERIFY(edit());
    boxes_->answers << platform::MsgAnswer::Yes << platform::MsgAnswer::Yes;
    QVERIFY(ClickToEnd(window->CmdStore));
    QCOMPARE(boxes_->shown.size(), 2); // the flow control first, then the store's own question
    QCOMPARE(boxes_->shown[1].details,
             QString("FLOW CONTROL: OFF → ON\nDIRECTION: Reverse → Normal"));
    QVERIFY(window->MarkedControls().isEmpty());
    QVERIFY(window->MarkedPages().isEmpty());
}

// A file that differs from the controller in three fields marks exactly those; undoing the
// Open brings back every field; INITIALIZED DEFAULT is undone whole too.
void TestUiLink::openMarksWhatDiffers() {
    UseInProcessController();
    QVERIFY(model_->LoadStateText(kControllerState));
    frmMain* window = StartWindow(QStringLiteral("/L:E /EXT"), Ticks::Fast);
    window->program().Options.LoadOnConnect = kTrue;
    window->program().Options.CheckSerialNo = kFalse;
    QVERIFY(ClickConnect());
    Program other;
    other.Config = loadedController_;
    other.Config.jogSpeedMax = 1000;
    other.Config.stepMode = 1;
    other.Config.jogDialPulses = 30;
    other.Config.reservedSwitch = 7; // no control shows it
    FileModule file(other);
    const QString name = dir_->filePath(QStringLiteral("three.QMX"));
    QVERIFY(file.CreateConfigFile(name, [](const Question&) { return true; }));
    dialogs_->names.enqueue(name);
    window->mnuFileOpen->trigger();
    QCOMPARE(window->Config(), other.Config);
    QCOMPARE(window->MarkedControls(),
             (QStringList{"SplitOption(0)", "SplitOption(1)", "JogSpeedText", "ExtJDialPulse",
                          "DefJOGSpeedText(1)"}));
    Undo(*window);
    QCOMPARE(window->Config(), loadedController_);
    QVERIFY(window->MarkedControls().isEmpty());

    Click(*window, window->CmdInit);
    QCOMPARE(window->Config(), FactoryDefaults());
    Undo(*window);
    QCOMPARE(window->Config(), loadedController_);
    QCOMPARE(window->program().State.CurrentFileName, name); // undo leaves the file alone
}

// Compare reads the controller into a record of its own and lists what differs.
void TestUiLink::compareWithController() {
    UseInProcessController();
    QVERIFY(model_->LoadStateText(kControllerState));
    frmMain* window = StartWindow(QStringLiteral("/L:E /EXT"), Ticks::Fast);
    window->program().Options.LoadOnConnect = kTrue;
    QVERIFY(ClickConnect());
    QVERIFY(model_->SetParameter("CR", 1000) && model_->SetParameter("N", 77));
    const qsizetype before = model_->Log().size();
    window->mnuToolsCompare->trigger();
    QVERIFY(testing::AwaitSequenceEnd(*window));
    QCOMPARE(model_->Log().mid(before), kLoadQueries); // one load, nothing else
    QCOMPARE(window->Config(), loadedController_);
    auto* dialog = window->findChild<frmCompare*>();
    QVERIFY(dialog && dialog->isVisible());
    QStringList rows;
    for (int row = 0; row < dialog->DifferenceTable->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < 4; ++column)
            cells << dialog->DifferenceTable->item(row, column)->text();
        rows << cells.join(u'|');
    }
    QCOMPARE(rows, (QStringList{"OFFSET of ORIGIN|-250|77|", "RUN CURRENT|600|400|mA"}));
    QCOMPARE(window->MarkedControls(), (QStringList{"OrgOffsetText", "MotorSlider(0)"}));
    dialog->cmdOK->click();
    QVERIFY(QTest::qWaitFor([window] { return !window->findChild<frmCompare*>(); }, 2000));

    QVERIFY(model_->LoadStateText(kControllerState));
    window->mnuToolsCompare->trigger();
    QVERIFY(testing::AwaitSequenceEnd(*window));
    dialog = window->findChild<frmCompare*>();
    QVERIFY(dialog);
    QCOMPARE(dialog->lblSummary->text(), QString("The controller holds what the window shows."));
    QVERIFY(!dialog->DifferenceTable->isVisible());
    QVERIFY(window->MarkedControls().isEmpty());
    dialog->cmdOK->click();

    // It fails as LOAD fails: the message, disconnected, nothing known any more.
    window->Config().runCurrent = 700;
    window->DispConfigData();
    QVERIFY(!window->MarkedControls().isEmpty());
    model_->faults.silentAt = "?:D0";
    window->mnuToolsCompare->trigger();
    QVERIFY(testing::AwaitSequenceEnd(*window));
    QVERIFY(!Connected());
    QCOMPARE(boxes_->shown.last().text, CannotConnect(true));
    QVERIFY(window->MarkedControls().isEmpty());
    QVERIFY(QTest::qWaitFor([window] { return !window->findChild<frmCompare*>(); }, 2000));
}

void TestUiLink::exitAsksWhileEditsPending_data() {
    QTest::addColumn<QString>("edit");  // empty: none
    QTest::addColumn<bool>("save");     // saved after the edit
    QTest::addColumn<bool>("closeBox"); // the window's close box instead of Exit
    QTest::addColumn<bool>("answer");   // Yes to the question
    QTest::newRow("Exit, edited, No") << "type OrgOffsetText 123" << false << false << false;
    QTest::newRow("close box, edited, Yes") << "click ComFlowCheck" << false << true << true;
    QTest::newRow("Exit, edited and saved") << "type OrgOffsetText 123" << true << false << false;
    QTest::newRow("Exit, nothing edited") << "" << false << false << false;
}

// Edits not stored or saved are lost only when the operator says so; nothing else asks.
void TestUiLink::exitAsksWhileEditsPending() {
    QFETCH(QString, edit);
    QFETCH(bool, save);
    QFETCH(bool, closeBox);
    QFETCH(bool, answer);
    frmMain* window = StartWindow(QStringLiteral("/L:E"), Ticks::Fast);
    if (!edit.isEmpty())
        QVERIFY(Perform(*window, edit));
    if (save) {
        dialogs_->names.enqueue(dir_->filePath(QStringLiteral("saved.QMX")));
        window->mnuFileSaveAs->trigger();
    }
    boxes_->answers.enqueue(answer ? platform::MsgAnswer::Yes : platform::MsgAnswer::No);
    if (closeBox)
        window->close();
    else
        window->mnuFileExit->trigger();
    const bool asked = !edit.isEmpty() && !save;
    QCOMPARE(boxes_->shown.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(boxes_->shown[0].icon, platform::MsgIcon::Warning);
        QCOMPARE(boxes_->shown[0].buttons, platform::MsgButtons::YesNo);
        QVERIFY(boxes_->shown[0].text.contains("Quit anyway?"));
    }
    QCOMPARE(window->isVisible(), asked && !answer);
}

// A window that goes while its series runs takes the series with it, safely.
void TestUiLink::windowGoneMidSeries() {
    UseInProcessController();
    frmMain* window = StartWindow(QString(), Ticks::Fast);
    QVERIFY(ClickConnect());
    model_->faults.processingMs = 20;
    Click(*window, window->CmdLoad);
    QVERIFY(window->Commands().SequenceRunning());
    window_.reset();
    QTest::qWait(300); // what was under way comes to nothing
    QVERIFY(serial_->Written().endsWith("\r\n"));
}

QTEST_MAIN(TestUiLink)
#include "tst_ui_link.moc"
