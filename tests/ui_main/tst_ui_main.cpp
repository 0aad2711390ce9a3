#include "link/ComSupport.h"
#include "platform/SettingsStore.h"
#include "shell/ConfigRecord.h"
#include "shell/MainModule.h"
#include "shell/RecordFields.h"
#include "sim/DeviceModel.h"
#include "sim/SimSerialControl.h"
#include "tests/support/Records.h"
#include "tests/support/Scripted.h"
#include "tests/support/WindowDriver.h"
#include "ui/main/FieldTexts.h"
#include "ui/main/MainCommands.h"
#include "ui/main/StartUp.h"
#include "ui/main/WidgetSeams.h"
#include "ui/main/frmMain.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>

Q_DECLARE_METATYPE(ConfigRecord)

namespace {

using testing::Click;
using testing::Mismatch;
using testing::Perform;
using testing::Reveal;
using testing::Type;

struct ExpectedCaption {
    const char* control;
    const char* japanese;
    const char* english; // "" = the English mode keeps the Japanese caption
};

// The window's captions as the operator must see them.
const ExpectedCaption kExpectedCaptions[] = {
    {"InfoFrame", "QMX-001 操作", "QMX-001 OPERATION"},
    {"CmdInit", "設定値初期化", "INITIALIZED DEFAULT"},
    {"MainTab(0)", "基本設定", "BASIC 1/2"},
    {"MainTab(1)", "基本設定２", "BASIC 2/2"},
    {"MainTab(2)", "通信設定", "COM PORT"},
    {"MainTab(3)", "拡張設定１", "EXTEND 1/2"},
    {"MainTab(4)", "拡張設定２", "EXTEND 2/2"},
    {"mnuFile", "ﾌｧｲﾙ(&F)", "File(&F)"},
    {"mnuFileOpen", "開く(&O)...", "&Open"},
    {"mnuFileClose", "閉じる(&C)", "&Close"},
    {"mnuFileSave", "上書き保存(&S)", "&Save"},
    {"mnuFileSaveAs", "名前を付けて保存(&A)...", "Save &As"},
    {"mnuFileExit", "終了(&X)", "E&xit"},
    {"mnuTools", "ﾂｰﾙ(&T)", "Tools(&T)"},
    {"mnuToolsOptions", "ｵﾌﾟｼｮﾝ(&O)...", "&Options"},
    {"mnuHelp", "ﾍﾙﾌﾟ(&H)", "Help(&H)"},
    {"mnuHelpAbout", "ﾊﾞｰｼﾞｮﾝ情報(&A)", "&About Version"},
    {"infoLabel(0)", "シリアル番号", "Serial No."},
    {"infoLabel(3)", "----------", ""},
    {"infoLabel(1)", "Version", ""},
    {"infoLabel(4)", "-.--", ""},
    {"infoLabel(2)", "Revision", ""},
    {"infoLabel(5)", "---", ""},
    {"infoLabel(6)", "Build Date", ""},
    {"infoLabel(7)", "------", ""},
    {"CmdConnect", "接続", "CONNECT"},
    {"CmdLoad", "設定値読出", "LOAD"},
    {"CmdStore", "設定値書込", "STORE"},
    {"RunFrame", "動作条件設定", "BASIC CONDITION"},
    {"StageMode(0)", "直動ステージ", "Translation stage"},
    {"StageMode(1)", "回転ステージ", "Rotation stage"},
    {"SplitOption(0)", "Half Step 駆動", "Half step drive"},
    {"SplitOption(1)", "Full Step 駆動", "Full step drive"},
    {"DirOption(0)", "正転", "Normal"},
    {"DirOption(1)", "逆転", "Reverse"},
    {"OrgFrame", "原点復帰設定", "ORIGIN MODE"},
    {"OrgModeOption(0)", "MINIモード", "MINI SYSTEM"},
    {"OrgModeOption(1)", "LS間中央モード", "CENTER SYSTEM"},
    {"OrgLabel(0)", "原点オフセット", "OFFSET of ORIGIN"},
    {"MotorFrame", "モータ電流設定", "MOTOR CURRENT"},
    {"MotorLabel(0)", "駆動(RUN)電流", "RUN CURRENT"},
    {"MotorLabel(2)", "mA", ""},
    {"MotorLabel(1)", "停止(STOP)電流", "STOP CURRENT"},
    {"MotorLabel(3)", "mA", ""},
    {"MotorCmd(0)", "駆動電流 350mA", "RUN CURRENT 350mA"},
    {"MotorCmd(1)", "駆動電流 660mA", "RUN CURRENT 660mA"},
    {"MotorCmd(2)", "駆動電流 750mA", "RUN CURRENT 750mA"},
    {"JogFrame", "ジョグ動作設定", "JOG OPERATION"},
    {"JogCheck", "ジョグスイッチ／外部ジョグ動作有効", "ENABLE JOG SW/SIGNAL"},
    {"JogLabel(0)", "ジョグ動作速度", "JOG SPEED"},
    {"JogLabel(1)", "PPS", ""},
    {"LSSetupFrame", "リミットセンサ設定", "LIMIT SENSOR SET UP"},
    {"LSFrame(0)", "LS(+) 設定", "LS(+) CONDITION"},
    {"LSOption(0)", "Normal Close 設定", "Normal Close"},
    {"LSOption(1)", "Normal Open 設定", "Normal Open"},
    {"LSFrame(1)", "LS(-) 設定", "LS(-) CONDITION"},
    {"LSOption(2)", "Norlmal Close 設定", "Normal Close"},
    {"LSOption(3)", "Normal Open 設定", "Normal Open"},
    {"EmgStopFrame", "非常停止設定", "EMG-STOP OPERATION"},
    {"EmgPowerCheck", "非常停止時に励磁をOFFにする", "ENABLE MOTOR FREE"},
    {"ComSpeedFrame", "通信速度", "BAUD RATE"},
    {"ComSpeedOption(0)", " 4800", ""},
    {"ComSpeedOption(1)", " 9600", ""},
    {"ComSpeedOption(2)", "19200", ""},
    {"ComSpeedOption(3)", "38400", ""},
    {"ComFlowFrame", "フロー制御", "FLOW CONTROL"},
    {"ComFlowCheck", "フロー制御有効", "ENABLE FLOW CONTROL"},
    {"PowerUpFrame", "励磁動作設定", "MOTOR EXCITATION SET UP"},
    {"PowerUpCheck", "起動時に励磁する", "EXCITATION AT START-UP"},
    {"AutoPowerCheck", "励磁ONを自動的に行なう", "AUTOMATIC MOTOR LOCK"},
    {"ExtLSFrame", "拡張リミットセンサ設定", "EXTENDED LIMIT SENSOR SET UP"},
    {"ExtLSCheck(0)", "LS(+) 有効", "ENABLE LS(+)"},
    {"ExtLSCheck(1)", "LS(-) 有効", "ENABLE LS(-)"},
    {"JDialFrame", "ジョグダイヤル設定", "OPTION Extend JOG Dial"},
    {"ExtJDialCheck", "外部ジョグダイヤルを使用する", "Enable JOG Dial"},
    {"ExtJdialLabel(0)", "ジョグダイヤルパルス数", "execute pulse"},
    {"ExtJdialLabel(1)", "パルス", "PULSE"},
    {"DefSpeedFrame", "速度初期値設定", "DEFAULT SPEED"},
    {"DefORGSpeedFrame", "ORG速度初期値設定", "ORG SPEED"},
    {"DefJOGSpeedFrame", "JOG速度詳細設定", "JOG SPEED"},
};

const char* const kSpeedLabelArrays[] = {"DefSpeedLabel", "OrgSpeedLabel", "DefJOGSpeedLabel"};
const ExpectedCaption kSpeedRows[] = {
    {"0", "運転速度S", "MINIMUN FREQUENCY RATE (S)"},
    {"1", "運転速度F", "MAXIMUN FREQUENCY RATE (F)"},
    {"2", "加減速時間", "ACCELERATION TIME"},
    {"3", "PPS", ""},
    {"4", "PPS", ""},
    {"5", "mS", ""},
};

ConfigRecord Factory() {
    return FactoryDefaults();
}

ConfigRecord Rec(const std::function<void(ConfigRecord&)>& change) {
    ConfigRecord record = FactoryDefaults();
    change(record);
    return record;
}

QString CaptionOf(frmMain& window, const QString& name) {
    if (name.startsWith(QLatin1String("MainTab(")))
        return window.MainTab->tabText(name.mid(8, 1).toInt());
    QObject* control = window.findChild<QObject*>(name);
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (auto* frame = qobject_cast<QGroupBox*>(control))
        return frame->title();
    if (auto* menu = qobject_cast<QMenu*>(control))
        return menu->title();
    if (auto* action = qobject_cast<QAction*>(control))
        return action->text();
    return QStringLiteral("<no control %1>").arg(name);
}

QString PictureFolder() {
    const QString build = qEnvironmentVariable("QMX_BUILD_DIR", QDir::currentPath());
    return QDir(build).filePath(QStringLiteral("pictures"));
}

void ClearPlacement() {
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("qmxconfig"),
                    QLatin1String(platform::kSettingsApp));
    store.remove(QLatin1String(MainModule::kSettingsSection));
    store.sync();
}

QString StoredPlacement(const char* key) {
    return platform::GetSetting(QLatin1String(platform::kSettingsApp),
                                QLatin1String(MainModule::kSettingsSection), QLatin1String(key),
                                QStringLiteral("missing"));
}

void StorePlacement(const char* key, const QString& value) {
    platform::SaveSetting(QLatin1String(platform::kSettingsApp),
                          QLatin1String(MainModule::kSettingsSection), QLatin1String(key), value);
}

} // namespace

class TestUiMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void captions_data();
    void captions();
    void menus();
    void controlsAndPlaces();
    void startUp_data();
    void startUp();
    void statusMessages_data();
    void statusMessages();
    void lampAndProgress();
    void fileFilter_data();
    void fileFilter();

    void placementDefaults();
    void placementRoundTrip();
    void placementMinimised();
    void placementNotANumber_data();
    void placementNotANumber();
    void placementFitsTheScreen_data();
    void placementFitsTheScreen();
    void closingClosesOtherWindows();

    void factoryPresentation();
    void presentation_data();
    void presentation();
    void presentingKeepsFocusedEntry();
    void contextMenuIsNoLeaving();
    void numbersFitTheirBoxes();
    void initializedDefault();
    void undoSteps();
    void fieldTexts_data();
    void fieldTexts();

    void numericEntries_data();
    void numericEntries() { RunEditRow(); }
    void entryTakenBeforeCommand_data();
    void entryTakenBeforeCommand();
    void switches_data();
    void switches() { RunEditRow(); }
    void currents_data();
    void currents() { RunEditRow(); }

    void tabFollowsTheReadingOrder_data();
    void tabFollowsTheReadingOrder();
    void everyControlSpeaksForItself_data();
    void everyControlSpeaksForItself();
    void storeQuestionSpeaksTheLanguage_data();
    void storeQuestionSpeaksTheLanguage();

    void pictures();

private:
    WindowSeams Seams() { return {boxes_.get(), dialogs_.get()}; }
    frmMain* MakeWindow(const QString& commandLine = QString());
    frmMain* MakeShownWindow(const QString& commandLine = QString(),
                             const ConfigRecord& record = FactoryDefaults());
    void EditColumns();
    void RunEditRow();

    // Each test's own operator; the window goes first.
    std::unique_ptr<testing::ScriptedMessageBoxes> boxes_;
    std::unique_ptr<testing::ScriptedFileDialogs> dialogs_;
    std::unique_ptr<frmMain> window_;
};

void TestUiMain::initTestCase() {
    testing::UseTemporarySettings();
    QApplication::setFont(frmMain::UiFont());
}

void TestUiMain::init() {
    boxes_ = std::make_unique<testing::ScriptedMessageBoxes>();
    dialogs_ = std::make_unique<testing::ScriptedFileDialogs>();
}

void TestUiMain::cleanup() {
    window_.reset();
    dialogs_.reset();
    boxes_.reset();
}

frmMain* TestUiMain::MakeWindow(const QString& commandLine) {
    window_.reset();
    window_ = std::make_unique<frmMain>(commandLine, Seams());
    return window_.get();
}

// A shown, active window presenting the record.
frmMain* TestUiMain::MakeShownWindow(const QString& commandLine, const ConfigRecord& record) {
    MakeWindow(commandLine);
    window_->Config() = record;
    window_->DispConfigData();
    window_->show();
    window_->activateWindow();
    if (!QTest::qWaitForWindowActive(window_.get()))
        qWarning("window did not become active");
    return window_.get();
}

void TestUiMain::captions_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("japanese");
    QTest::addColumn<QString>("english");
    const auto add = [](const QString& control, const char* japanese, const char* english) {
        const QString ja = QString::fromUtf8(japanese);
        const QString en = *english ? QString::fromUtf8(english) : ja;
        QTest::newRow(qPrintable(control)) << control << ja << en;
    };
    for (const ExpectedCaption& caption : kExpectedCaptions)
        add(QLatin1String(caption.control), caption.japanese, caption.english);
    for (const char* array : kSpeedLabelArrays)
        for (const ExpectedCaption& row : kSpeedRows)
            add(QStringLiteral("%1(%2)").arg(QLatin1String(array), QLatin1String(row.control)),
                row.japanese, row.english);
}

void TestUiMain::captions() {
    QFETCH(QString, control);
    QFETCH(QString, japanese);
    QFETCH(QString, english);
    QCOMPARE(CaptionOf(*MakeWindow(), control), japanese);
    QCOMPARE(CaptionOf(*MakeWindow(QStringLiteral("/L:E")), control), english);
}

void TestUiMain::menus() {
    frmMain* window = MakeWindow();
    QStringList bar;
    for (QAction* action : window->menuBar()->actions())
        bar << action->menu()->objectName();
    QCOMPARE(bar, (QStringList{"mnuFile", "mnuEdit", "mnuTools", "mnuHelp"}));

    QStringList file;
    for (QAction* action : window->mnuFile->actions())
        file << action->objectName() + (action->isSeparator() ? QStringLiteral(" -") : QString());
    QCOMPARE(file, (QStringList{"mnuFileOpen", "mnuFileClose", "mnuFileBar0 -", "mnuFileSave",
                                "mnuFileSaveAs", "mnuFileBar1 -", "mnuFileExit"}));
    QCOMPARE(window->mnuEdit->actions(),
             (QList<QAction*>{window->mnuEditUndo, window->mnuEditRedo}));
    QCOMPARE(window->mnuEditUndo->shortcut(), QKeySequence(QKeySequence::Undo));
    QCOMPARE(window->mnuEditRedo->shortcut(), QKeySequence(QKeySequence::Redo));
    QVERIFY(!window->mnuEditUndo->isEnabled() && !window->mnuEditRedo->isEnabled());
    QCOMPARE(window->mnuTools->actions(),
             (QList<QAction*>{window->mnuToolsOptions, window->mnuToolsCompare}));
    QVERIFY(!window->mnuToolsCompare->isEnabled()); // until connected
    QCOMPARE(window->mnuHelp->actions(), QList<QAction*>{window->mnuHelpAbout});
    // Separators are plain lines, in either language.
    for (const QString& commandLine : {QString(), QStringLiteral("/L:E")}) {
        window_.reset(StartProgram(commandLine, Seams()));
        QCOMPARE(window_->mnuFileBar0->text(), QString());
        QCOMPARE(window_->mnuFileBar1->text(), QString());
    }
}

void TestUiMain::controlsAndPlaces() {
    frmMain* window = MakeWindow();
    const QList<std::pair<QString, const char*>> controls{
        {"DefSpeedText(0)", "QLineEdit"},
        {"OrgSpeedText(2)", "QLineEdit"},
        {"DefJOGSpeedText(1)", "QLineEdit"},
        {"JogSpeedText", "QLineEdit"},
        {"OrgOffsetText", "QLineEdit"},
        {"ExtJDialPulse", "QLineEdit"},
        {"MotorInfo(0)", "QLabel"},
        {"MotorInfo(1)", "QLabel"},
        {"MotorSlider(0)", "QSlider"},
        {"MotorSlider(1)", "QSlider"},
        {"DummyFrame1", "QFrame"},
        {"DummyFrame2", "QFrame"},
        {"Line1", "QFrame"},
        {"Line2", "QFrame"},
        {"Line3", "QFrame"},
        {"Shape", "LampShape"},
        {"ProgressBar", "QProgressBar"},
        {"sbStatusBar", "QStatusBar"},
        {"MainTab", "QTabWidget"},
        {"Timer1", "QTimer"},
    };
    for (const auto& [name, kind] : controls) {
        QObject* control = window->findChild<QObject*>(name);
        QVERIFY2(control && control->inherits(kind), qPrintable(name));
    }
    // Option buttons are grouped by their container.
    QCOMPARE(window->StageMode[0]->parentWidget(), window->DummyFrame2);
    QCOMPARE(window->SplitOption[0]->parentWidget(), window->DummyFrame1);
    QCOMPARE(window->DirOption[1]->parentWidget(), window->RunFrame);
    QCOMPARE(window->LSOption[1]->parentWidget(), window->LSFrame[0]);
    QCOMPARE(window->LSOption[2]->parentWidget(), window->LSFrame[1]);
    QCOMPARE(window->LSFrame[1]->parentWidget(), window->LSSetupFrame);
    for (QSlider* slider : window->MotorSlider) {
        QCOMPARE(slider->minimum(), 100);
        QCOMPARE(slider->maximum(), 799);
    }
    QCOMPARE(window->ProgressBar->maximum(), 100);
    // Places in twips, 15 to a pixel.
    QCOMPARE(window->InfoFrame->geometry(), QRect(8, 16, 209, 369));
    QCOMPARE(window->CmdInit->geometry(), QRect(72, 400, 145, 41));
    QCOMPARE(window->MainTab->geometry(), QRect(224, 8, 449, 433));
    QCOMPARE(window->Shape->size(), QSize(33, 33));
    QCOMPARE(window->LSFrame[1]->geometry(), QRect(216, 24, 187, 81));
    QCOMPARE(window->MotorFrame->size(), QSize(417, 193));
    QCOMPARE(window->sbStatusBar->height(), 26);
}

void TestUiMain::startUp_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("titleHead");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<QString>("welcome");
    QTest::addColumn<int>("port");
    const QString ja = QString::fromUtf8("QMX-001 設定プログラム  Ver 1.23  ");
    const QString en = QStringLiteral("QMX-001 Configuration  Ver 1.23  ");
    const QString welcomeJa = QString::fromUtf8("QMX-001設定プログラムへようこそ");
    const QString welcomeEn = QStringLiteral("Welcome QMX-001 configuration.");
    QTest::newRow("plain") << "" << ja << false << welcomeJa << 1;
    QTest::newRow("extended") << "/EXT" << ja << true << welcomeJa << 1;
    QTest::newRow("english") << "/L:E /COM:3" << en << false << welcomeEn << 3;
    QTest::newRow("english extended") << "/l:e /ext" << en << true << welcomeEn << 1;
}

void TestUiMain::startUp() {
    QFETCH(QString, commandLine);
    QFETCH(QString, titleHead);
    QFETCH(bool, extended);
    QFETCH(QString, welcome);
    QFETCH(int, port);
    window_.reset(StartProgram(commandLine, Seams()));
    frmMain* window = window_.get();
    QVERIFY(window->isVisible());
    QVERIFY(window->windowTitle().startsWith(titleHead));
    QVERIFY(window->windowTitle().size() > titleHead.size());
    QCOMPARE(window->MainTab->count(), 5);
    QCOMPARE(window->MainTab->currentIndex(), 0);
    for (int i = 0; i < 5; ++i) {
        QVERIFY(window->MainTab->isTabVisible(i));
        QCOMPARE(window->MainTab->isTabEnabled(i), i < 3 || extended);
    }
    QCOMPARE(window->StatusText(), welcome);
    QVERIFY(!window->mnuFileClose->isEnabled());
    QVERIFY(!window->mnuFileSave->isEnabled());
    QVERIFY(window->mnuFileOpen->isEnabled());
    QVERIFY(window->mnuToolsOptions->isEnabled());
    QVERIFY(!window->CmdLoad->isEnabled());
    QVERIFY(!window->CmdStore->isEnabled());
    QVERIFY(window->CmdConnect->isEnabled());
    QVERIFY(!window->ProgressBar->isVisible());
    QCOMPARE(window->Shape->FillColor(), QColor(255, 0, 0));
    QVERIFY(window->Timer1->isActive());
    QCOMPARE(window->Timer1->interval(), 20);
    ComSupport& link = window->Link();
    QCOMPARE(link.ComPortNumber(), port);
    QCOMPARE(link.ComSpeedCode(), 2);
    QVERIFY(!link.PortIsOpen());
    // The link counts the running timer's ticks: a quiet wait lasts kLateTicks of them.
    sim::DeviceModel model;
    sim::SimSerialControl serial(model);
    link.SetSerialControl(&serial);
    QVERIFY(link.ComOpenDevice(QStringLiteral("sim")));
    window->Timer1->setInterval(2);
    QSignalSpy ticks(window->Timer1, &QTimer::timeout);
    QSignalSpy quiet(&link, &ComSupport::QuietFinished);
    link.ComEndsQuiet();
    QVERIFY(quiet.wait(10000));
    QVERIFY2(ticks.count() >= ComSupport::kLateTicks, qPrintable(QString::number(ticks.count())));
    link.ComClose();
    window_.reset();
}

void TestUiMain::statusMessages_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("japanese");
    QTest::addColumn<QString>("english");
    const auto row = [](int n, const char* ja, const char* en) {
        QTest::newRow(qPrintable(QString::number(n)))
            << n << QString::fromUtf8(ja) << QString::fromUtf8(en);
    };
    row(0, "QMX-001設定プログラムへようこそ", "Welcome QMX-001 configuration.");
    row(1, "QMX-001が接続されました。", "Connected QMX-001.");
    row(2, "QMX-001が接続され、設定値が読み込まれました。",
        "Connected QMX-001,with load config data.");
    row(3, "QMX-001から設定値を読込みました。", "Load complete config data from QMX-001.");
    row(4, "QMX-001に設定値を書込みました。", "Store complete config data.");
    row(5, "QMX-001が切断されました。", "Disconnected QMX-001.");
    row(6, "ファイルから設定値を読込みました。", "Load complete config data from file.");
    row(7, "ファイルに設定値を書込みました。", "Store complete config data for file.");
    row(8, "", "");
    row(-1, "", "");
}

void TestUiMain::statusMessages() {
    QFETCH(int, number);
    QFETCH(QString, japanese);
    QFETCH(QString, english);
    for (const bool inEnglish : {false, true}) {
        frmMain* window = MakeWindow(inEnglish ? QStringLiteral("/L:E") : QString());
        window->DispStatusMsg(StatusMsg::Welcome);
        window->DispStatusMsg(StatusMsg(number));
        window->DispStatusMsg(StatusMsg(number));
        QCOMPARE(window->StatusText(), inEnglish ? english : japanese);
    }
}

void TestUiMain::lampAndProgress() {
    frmMain* window = MakeShownWindow();
    QCOMPARE(window->Shape->FillColor(), QColor(255, 0, 0));
    window->SetLamp(true);
    QCOMPARE(window->Shape->FillColor(), QColor(0, 255, 0));
    window->SetLamp(false);
    QCOMPARE(window->Shape->FillColor(), QColor(255, 0, 0));

    // The progress display the controller commands are given.
    ControllerCommandsView& commands = window->Commands();
    commands.ShowProgress(0);
    QVERIFY(window->ProgressBar->isVisible());
    commands.SetProgress(40);
    QCOMPARE(window->ProgressBar->value(), 40);
    commands.HideProgress();
    QVERIFY(!window->ProgressBar->isVisible());
}

void TestUiMain::fileFilter_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("qt");
    QTest::newRow("english") << "QMX config file (*.QMX)|*.QMX"
                             << "QMX config file (*.QMX)";
    QTest::newRow("japanese") << QString::fromUtf8("QMX設定ファイル名 (*.QMX)|*.QMX")
                              << QString::fromUtf8("QMX設定ファイル名 (*.QMX)");
    QTest::newRow("no parentheses") << "Files|*.A;*.B"
                                    << "Files (*.A *.B)";
    QTest::newRow("two entries") << "A (*.A)|*.A|All (*.*)|*.*"
                                 << "A (*.A);;All (*.*)";
}

void TestUiMain::fileFilter() {
    QFETCH(QString, filter);
    QFETCH(QString, qt);
    QCOMPARE(WidgetFileDialogs::QtFilter(filter), qt);
}

void TestUiMain::placementDefaults() {
    ClearPlacement();
    frmMain* window = MakeWindow();
    QCOMPARE(window->frameGeometry().topLeft(), QPoint(7, 7));
    QCOMPARE(window->frameGeometry().size(), QSize(690, 534));
}

void TestUiMain::placementRoundTrip() {
    ClearPlacement();
    frmMain* window = MakeShownWindow();
    window->move(200, 150);
    window->resize(720, 540); // within the offscreen platform's 800 x 600 screen
    const QRect outer = window->frameGeometry();
    QVERIFY(window->close());
    QCOMPARE(StoredPlacement("MainLeft"), QString::number(outer.x() * 15));
    QCOMPARE(StoredPlacement("MainTop"), QString::number(outer.y() * 15));
    QCOMPARE(StoredPlacement("MainWidth"), QString::number(outer.width() * 15));
    QCOMPARE(StoredPlacement("MainHeight"), QString::number(outer.height() * 15));

    window = MakeShownWindow();
    QCOMPARE(window->frameGeometry(), outer);
}

void TestUiMain::placementMinimised() {
    StorePlacement("MainLeft", QStringLiteral("1500"));
    StorePlacement("MainTop", QStringLiteral("1200"));
    StorePlacement("MainWidth", QStringLiteral("12000"));
    StorePlacement("MainHeight", QStringLiteral("9000"));
    frmMain* window = MakeShownWindow();
    QCOMPARE(window->frameGeometry(), QRect(100, 80, 800, 600));
    window->move(300, 300);
    window->showMinimized();
    QVERIFY(window->isMinimized());
    QVERIFY(window->close());
    QCOMPARE(StoredPlacement("MainLeft"), QStringLiteral("1500"));
    QCOMPARE(StoredPlacement("MainTop"), QStringLiteral("1200"));
    QCOMPARE(StoredPlacement("MainWidth"), QStringLiteral("12000"));
    QCOMPARE(StoredPlacement("MainHeight"), QStringLiteral("9000"));
}

void TestUiMain::placementNotANumber_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("left");
    QTest::newRow("number") << "3000" << 200;
    QTest::newRow("blanks around") << " 3000 " << 200;
    QTest::newRow("fraction") << "1507.4" << 100;
    QTest::newRow("negative") << "-1500" << -100;
    QTest::newRow("text") << "left" << 7;
    QTest::newRow("empty") << "" << 7;
    QTest::newRow("number then text") << "3000px" << 7;
    QTest::newRow("far beyond any screen") << "1e300" << 7;
    QTest::newRow("far to the left") << "-1e30" << 7;
}

void TestUiMain::placementNotANumber() {
    QFETCH(QString, stored);
    QFETCH(int, left);
    ClearPlacement();
    StorePlacement("MainLeft", stored);
    StorePlacement("MainWidth", QStringLiteral("wide"));
    frmMain* window = MakeWindow();
    QCOMPARE(window->frameGeometry().x(), left);
    QCOMPARE(window->frameGeometry().y(), 7);
    QCOMPARE(window->frameGeometry().width(), 690);
}

void TestUiMain::placementFitsTheScreen_data() {
    QTest::addColumn<QStringList>("stored"); // left, top, width, height in twips
    QTest::addColumn<QSize>("size");         // the outer size it must open at, if one
    const QSize fitting;
    const QSize standard(690, 534);
    QTest::newRow("larger than the screen")
        << QStringList{"0", "0", "9999999", "9999999"} << fitting;
    QTest::newRow("32767 pixels square") << QStringList{"0", "0", "491505", "491505"} << fitting;
    QTest::newRow("off every screen")
        << QStringList{"9000000", "9000000", "10350", "8010"} << standard;
    QTest::newRow("far to the upper left")
        << QStringList{"-9000000", "-9000000", "10350", "8010"} << standard;
    QTest::newRow("no size") << QStringList{"105", "105", "0", "-8010"} << standard;
    QTest::newRow("no height") << QStringList{"105", "105", "12000", "0"} << standard;
}

// A stored placement the screen cannot show is fitted to it; nothing in the file crashes.
void TestUiMain::placementFitsTheScreen() {
    QFETCH(QStringList, stored);
    QFETCH(QSize, size);
    ClearPlacement();
    const char* keys[] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
    for (int i = 0; i < 4; ++i)
        StorePlacement(keys[i], stored[i]);
    frmMain* window = MakeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect outer = window->frameGeometry();
    QVERIFY2(available.intersects(outer),
             qPrintable(QStringLiteral("%1,%2").arg(outer.x()).arg(outer.y())));
    QVERIFY(outer.width() <= std::max(available.width(), window->minimumSizeHint().width()));
    QVERIFY(outer.height() <=
            std::max(available.height(), window->minimumSizeHint().height() + 60));
    if (size.isValid())
        QCOMPARE(outer.size(), size);
}

void TestUiMain::closingClosesOtherWindows() {
    frmMain* window = MakeShownWindow();
    QDialog other;
    other.show();
    QVERIFY(other.isVisible());
    QVERIFY(window->close());
    QVERIFY(!other.isVisible());
}

void TestUiMain::factoryPresentation() {
    frmMain* window = MakeWindow();
    const QStringList expected{
        "StageMode(0)=checked",        "StageMode(1)=unchecked",
        "DirOption(0)=checked",        "DirOption(1)=unchecked",
        "SplitOption(0)=checked",      "SplitOption(1)=unchecked",
        "OrgModeOption(0)=checked",    "OrgModeOption(1)=unchecked",
        "OrgOffsetText=enabled",       "OrgLabel(0)=enabled",
        "OrgOffsetText=text:0",        "MotorInfo(0)=text:350",
        "MotorInfo(1)=text:175",       "MotorSlider(0)=value:350",
        "MotorSlider(1)=value:175",    "JogCheck=checked",
        "JogSpeedText=text:500",       "ExtLSCheck(0)=checked",
        "ExtLSCheck(1)=checked",       "LSOption(0)=checked",
        "LSOption(1)=unchecked",       "LSOption(2)=checked",
        "LSOption(3)=unchecked",       "LSFrame(0)=enabled",
        "LSFrame(1)=enabled",          "LSOption(0)=enabled",
        "LSOption(3)=enabled",         "ComSpeedOption(0)=unchecked",
        "ComSpeedOption(1)=checked",   "ComSpeedOption(2)=unchecked",
        "ComSpeedOption(3)=unchecked", "ComFlowCheck=checked",
        "EmgPowerCheck=unchecked",     "PowerUpCheck=checked",
        "AutoPowerCheck=unchecked",    "ExtJDialCheck=unchecked",
        "ExtJDialPulse=disabled",      "ExtJdialLabel(0)=disabled",
        "ExtJdialLabel(1)=disabled",   "ExtJDialPulse=text:10",
        "DefSpeedText(0)=text:500",    "DefSpeedText(1)=text:5000",
        "DefSpeedText(2)=text:200",    "OrgSpeedText(0)=text:500",
        "OrgSpeedText(1)=text:5000",   "OrgSpeedText(2)=text:200",
        "DefJOGSpeedText(0)=text:500", "DefJOGSpeedText(1)=text:500",
        "DefJOGSpeedText(2)=text:0",   "infoLabel(3)=text:----------",
        "infoLabel(4)=text:-.--",      "infoLabel(5)=text:---",
        "infoLabel(7)=text:------",    "CmdLoad=disabled",
        "CmdStore=disabled",           "ProgressBar=hidden",
    };
    for (const QString& state : expected)
        QVERIFY2(Mismatch(*window, state).isEmpty(), qPrintable(Mismatch(*window, state)));
    QVERIFY(window->Config() == FactoryDefaults());
}

void TestUiMain::presentation_data() {
    QTest::addColumn<ConfigRecord>("before");
    QTest::addColumn<ConfigRecord>("record");
    QTest::addColumn<QStringList>("states");
    const ConfigRecord f = Factory();
    QTest::newRow("step mode 5 is half step")
        << f << Rec([](ConfigRecord& c) { c.stepMode = 5; })
        << QStringList{"SplitOption(0)=checked", "SplitOption(1)=unchecked"};
    QTest::newRow("full step") << f << Rec([](ConfigRecord& c) { c.stepMode = 0; })
                               << QStringList{"SplitOption(1)=checked"};
    QTest::newRow("rotation stage 1 is translation")
        << f << Rec([](ConfigRecord& c) { c.rotationStage = 1; })
        << QStringList{"StageMode(0)=checked", "StageMode(1)=unchecked"};
    QTest::newRow("rotation stage") << f << Rec([](ConfigRecord& c) { c.rotationStage = kTrue; })
                                    << QStringList{"StageMode(1)=checked"};
    QTest::newRow("reverse") << f << Rec([](ConfigRecord& c) { c.reverseDirection = kTrue; })
                             << QStringList{"DirOption(1)=checked", "DirOption(0)=unchecked"};
    QTest::newRow("center system") << f << Rec([](ConfigRecord& c) {
        c.originMode = 1;
    }) << QStringList{"OrgModeOption(1)=checked", "OrgOffsetText=disabled", "OrgLabel(0)=disabled"};
    const ConfigRecord center = Rec([](ConfigRecord& c) { c.originMode = 1; });
    QTest::newRow("origin mode 7 keeps center")
        << center << Rec([](ConfigRecord& c) { c.originMode = 7; })
        << QStringList{"OrgModeOption(1)=checked", "OrgModeOption(0)=unchecked",
                       "OrgOffsetText=disabled", "OrgLabel(0)=disabled"};
    QTest::newRow("origin mode 7 keeps mini")
        << f << Rec([](ConfigRecord& c) { c.originMode = 7; })
        << QStringList{"OrgModeOption(0)=checked", "OrgOffsetText=enabled"};
    QTest::newRow("negative offset") << f << Rec([](ConfigRecord& c) { c.originOffset = -1000; })
                                     << QStringList{"OrgOffsetText=text:-1000"};
    QTest::newRow("line speed 9 clears all")
        << Rec([](ConfigRecord& c) { c.comSpeedIndex = 3; })
        << Rec([](ConfigRecord& c) { c.comSpeedIndex = 9; })
        << QStringList{"ComSpeedOption(0)=unchecked", "ComSpeedOption(1)=unchecked",
                       "ComSpeedOption(2)=unchecked", "ComSpeedOption(3)=unchecked"};
    const QStringList noSpeed{"ComSpeedOption(0)=unchecked", "ComSpeedOption(1)=unchecked",
                              "ComSpeedOption(2)=unchecked", "ComSpeedOption(3)=unchecked"};
    QTest::newRow("line speed 4 clears 9600")
        << f << Rec([](ConfigRecord& c) { c.comSpeedIndex = 4; }) << noSpeed;
    QTest::newRow("line speed -1 clears 9600")
        << f << Rec([](ConfigRecord& c) { c.comSpeedIndex = -1; }) << noSpeed;
    QTest::newRow("motor free for 1, neither True nor False")
        << f << Rec([](ConfigRecord& c) { c.excitationAtEmergencyStop = 1; })
        << QStringList{"EmgPowerCheck=checked"};
    QTest::newRow("line speed 0") << f << Rec([](ConfigRecord& c) {
        c.comSpeedIndex = 0;
    }) << QStringList{"ComSpeedOption(0)=checked", "ComSpeedOption(1)=unchecked"};
    QTest::newRow("LS(-) not used")
        << f << Rec([](ConfigRecord& c) { c.limitSensorMode[1] = -1; })
        << QStringList{"ExtLSCheck(1)=unchecked", "LSFrame(1)=disabled", "LSOption(2)=disabled",
                       "LSOption(3)=disabled",    "LSOption(2)=checked", "ExtLSCheck(0)=checked",
                       "LSFrame(0)=enabled"};
    QTest::newRow("LS(+) open after unused")
        << Rec([](ConfigRecord& c) { c.limitSensorMode[0] = -1; })
        << Rec([](ConfigRecord& c) { c.limitSensorMode[0] = 1; })
        << QStringList{"ExtLSCheck(0)=checked", "LSOption(1)=checked", "LSOption(0)=unchecked",
                       "LSFrame(0)=enabled", "LSOption(1)=enabled"};
    QTest::newRow("LS(+) mode 5 is open")
        << f << Rec([](ConfigRecord& c) { c.limitSensorMode[0] = 5; })
        << QStringList{"LSOption(1)=checked"};
    QTest::newRow("run below stop")
        << f << Rec([](ConfigRecord& c) {
               c.runCurrent = 200;
               c.stopCurrent = 300;
           })
        << QStringList{"MotorSlider(0)=value:200", "MotorSlider(1)=value:300",
                       "MotorInfo(0)=text:200", "MotorInfo(1)=text:300"};
    QTest::newRow("currents outside the sliders")
        << f << Rec([](ConfigRecord& c) {
               c.runCurrent = 900;
               c.stopCurrent = 50;
           })
        << QStringList{"MotorSlider(0)=value:799", "MotorSlider(1)=value:100",
                       "MotorInfo(0)=text:900", "MotorInfo(1)=text:50"};
    QTest::newRow("switches inverted")
        << f << Rec([](ConfigRecord& c) {
               c.jogInputEnabled = kFalse;
               c.comFlowControl = kFalse;
               c.excitationAtEmergencyStop = kFalse;
               c.excitationAtStartUp = kFalse;
               c.autoExcitation = kTrue;
           })
        << QStringList{"JogCheck=unchecked", "ComFlowCheck=unchecked", "EmgPowerCheck=checked",
                       "PowerUpCheck=unchecked", "AutoPowerCheck=checked"};
    QTest::newRow("jog dial on") << f << Rec([](ConfigRecord& c) {
        c.jogDialEnabled = kTrue;
        c.jogDialPulses = 0;
    })
                                 << QStringList{"ExtJDialCheck=checked", "ExtJDialPulse=enabled",
                                                "ExtJdialLabel(0)=enabled", "ExtJDialPulse=text:0"};
    QTest::newRow("jog dial 1 is off")
        << f << Rec([](ConfigRecord& c) { c.jogDialEnabled = 1; })
        << QStringList{"ExtJDialCheck=unchecked", "ExtJDialPulse=disabled"};
    QTest::newRow("speeds") << f << Rec([](ConfigRecord& c) {
        c.defaultSpeedMin = 0;
        c.originSpeedMax = 2147483647;
        c.jogSpeedMax = 1234;
        c.jogAccelTime = -5;
    })
                            << QStringList{"DefSpeedText(0)=text:0",
                                           "OrgSpeedText(1)=text:2147483647",
                                           "JogSpeedText=text:1234", "DefJOGSpeedText(1)=text:1234",
                                           "DefJOGSpeedText(2)=text:-5"};
}

void TestUiMain::presentation() {
    QFETCH(ConfigRecord, before);
    QFETCH(ConfigRecord, record);
    QFETCH(QStringList, states);
    frmMain* window = MakeShownWindow(QString(), before);
    ConfigRecord& config = window->Config();
    config = record;
    window->DispConfigData();
    QVERIFY2(config == record, qPrintable(testing::Differences(config, record).join(u' ')));
    for (const QString& state : states)
        QVERIFY2(Mismatch(*window, state).isEmpty(), qPrintable(Mismatch(*window, state)));
    // Presenting again changes neither the record nor what is shown.
    window->DispConfigData();
    QVERIFY2(config == record, qPrintable(testing::Differences(config, record).join(u' ')));
    for (const QString& state : states)
        QVERIFY2(Mismatch(*window, state).isEmpty(), qPrintable(Mismatch(*window, state)));
}

void TestUiMain::presentingKeepsFocusedEntry() {
    // A box that loses the focus because presenting disables it must not write into the new record.
    frmMain* window = MakeShownWindow();
    ConfigRecord& config = window->Config();
    Type(*window, window->OrgOffsetText, QStringLiteral("123"));
    QVERIFY(window->OrgOffsetText->hasFocus());
    const ConfigRecord record = Rec([](ConfigRecord& c) {
        c.originMode = 1;
        c.originOffset = 77;
    });
    config = record;
    window->DispConfigData();
    QVERIFY(!window->OrgOffsetText->isEnabled());
    QVERIFY2(config == record, qPrintable(testing::Differences(config, record).join(u' ')));
    QCOMPARE(window->OrgOffsetText->text(), QStringLiteral("77"));
}

// The box's own context menu takes the focus for a moment: its Paste must work on the
// selection the operator made, and nothing is taken before the operator leaves the box.
void TestUiMain::contextMenuIsNoLeaving() {
    frmMain* window =
        MakeShownWindow(QString(), Rec([](ConfigRecord& c) { c.originOffset = 1000; }));
    const ConfigRecord& config = window->Config();
    QLineEdit* box = window->OrgOffsetText;
    box->setFocus(Qt::MouseFocusReason);
    box->setSelection(0, 1);
    QFocusEvent toMenu(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(box, &toMenu);
    QCOMPARE(box->selectedText(), QStringLiteral("1"));
    box->insert(QStringLiteral("2")); // what Paste does
    QCOMPARE(config.originOffset, 1000);
    QTest::keyClick(box, Qt::Key_Tab);
    QCOMPARE(config.originOffset, 2000);
    QCOMPARE(box->text(), QStringLiteral("2000"));
}

// Numbers at the ends of their widths keep their sign and every digit in view.
void TestUiMain::numbersFitTheirBoxes() {
    const ConfigRecord widest = Rec([](ConfigRecord& c) {
        c.defaultSpeedMin = c.defaultSpeedMax = c.originSpeedMin =
            std::numeric_limits<qint32>::min();
        c.originSpeedMax = c.jogSpeedMin = c.jogSpeedMax = std::numeric_limits<qint32>::min();
        c.originOffset = std::numeric_limits<qint32>::min();
        c.defaultAccelTime = c.originAccelTime = c.jogAccelTime = -32768;
        c.runCurrent = c.stopCurrent = c.jogDialPulses = -32768;
        c.jogDialEnabled = kTrue;
    });
    frmMain* window = MakeShownWindow(QString(), widest);
    QList<QWidget*> shown{window->MotorInfo[0], window->MotorInfo[1]};
    for (QLineEdit* box : window->findChildren<QLineEdit*>())
        shown << box;
    for (QWidget* widget : shown) {
        const auto* box = qobject_cast<QLineEdit*>(widget);
        const QString text = box ? box->text() : static_cast<QLabel*>(widget)->text();
        QVERIFY2(text.startsWith(u'-'), qPrintable(widget->objectName()));
        const int needed = QFontMetrics(widget->font()).horizontalAdvance(text);
        const int margins = box ? 6 : 0; // a box's own, and its cursor
        QVERIFY2(needed <= widget->contentsRect().width() - margins,
                 qPrintable(QStringLiteral("%1: %2 px for %3 px")
                                .arg(widget->objectName())
                                .arg(needed)
                                .arg(widget->contentsRect().width())));
    }
    // An ordinary number keeps the ordinary font.
    window->Config() = FactoryDefaults();
    window->DispConfigData();
    QCOMPARE(window->OrgOffsetText->font().pointSizeF(), 12.0);
}

void TestUiMain::initializedDefault() {
    frmMain* window = MakeShownWindow(QString(), Rec([](ConfigRecord& c) {
                                          c.defaultSpeedMax = 9000;
                                          c.limitSensorMode = {-1, 1};
                                          c.runCurrent = 700;
                                      }));
    ProgramState& state = window->program().State;
    state.CurrentFileName = QStringLiteral("kept.QMX");
    window->DispStatusMsg(StatusMsg::LoadedFromFile);
    Click(*window, window->CmdInit);
    QVERIFY(window->Config() == FactoryDefaults());
    QCOMPARE(window->DefSpeedText[1]->text(), QStringLiteral("5000"));
    QVERIFY(window->ExtLSCheck[0]->isChecked());
    QCOMPARE(window->MotorSlider[0]->value(), 350);
    QCOMPARE(state.CurrentFileName, QStringLiteral("kept.QMX"));
    QCOMPARE(window->StatusText(), QString::fromUtf8("ファイルから設定値を読込みました。"));
}

// One step per action that changes the record, named as a screen reader names its control; a
// drag is one step; what is being typed is undone first; nothing refused or unchanged is a step.
void TestUiMain::undoSteps() {
    frmMain* window = MakeShownWindow(QStringLiteral("/EXT"));
    QUndoStack& steps = window->UndoStack();
    QVERIFY(Perform(*window, "type DefSpeedText(0) 99999")); // refused
    QVERIFY(Perform(*window, "click MotorCmd(0)"));          // already 350 mA: nothing changes
    QCOMPARE(steps.count(), 0);

    QSlider* run = window->MotorSlider[0];
    run->setSliderDown(true); // one drag, several moves
    for (const int value : {400, 450, 500})
        run->setValue(value);
    run->setSliderDown(false);
    QCOMPARE(steps.count(), 1);
    QCOMPARE(window->mnuEditUndo->text(),
             QString::fromUtf8("元に戻す(&U) ") + run->accessibleName());
    QVERIFY(Perform(*window, "keyin DefSpeedText(2) 55"));
    QTest::keyClick(window->DefSpeedText[2], Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(window->DefSpeedText[2]->text(), QStringLiteral("200")); // the typing, undone
    QCOMPARE(window->Config().runCurrent, 500);
    QTest::keyClick(window->DefSpeedText[2], Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(window->Config().runCurrent, 350); // then the drag, whole
    QCOMPARE(window->MotorSlider[0]->value(), 350);
    QCOMPARE(steps.count(), 1);
    QVERIFY(steps.canRedo());
}

void TestUiMain::fieldTexts_data() {
    QTest::addColumn<QString>("set"); // FIELD=VALUE
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("value");
    QTest::newRow("a choice") << "stepMode=1" << true << "STEP DRIVE"
                              << "Half step drive";
    QTest::newRow("a choice, Japanese") << "stepMode=1" << false << "駆動方式"
                                        << "Half Step 駆動";
    QTest::newRow("a sensor in use") << "limitSensorMode(0)=0" << true << "LS(+)"
                                     << "Normal Close";
    QTest::newRow("a sensor out of use") << "limitSensorMode(0)=-1" << false << "LS(+)"
                                         << "無効";
    QTest::newRow("a switch") << "comFlowControl=0" << true << "FLOW CONTROL"
                              << "OFF";
    QTest::newRow("a number with its unit") << "runCurrent=350" << true << "RUN CURRENT"
                                            << "350 mA";
    QTest::newRow("a field without a control")
        << "ctValue=20" << true << "CT VALUE (current change)"
        << "20";
}

// Compare, the markers and STORE's question name a parameter and its value as the window does.
void TestUiMain::fieldTexts() {
    QFETCH(QString, set);
    QFETCH(bool, english);
    QFETCH(QString, caption);
    QFETCH(QString, value);
    const Language lang = english ? Language::English() : Language::Japanese();
    const RecordField* row = RecordFields::Named(set.section('=', 0, 0));
    const int field = int(row - kRecordFields.data());
    ConfigRecord record = FactoryDefaults();
    row->set(record, set.section('=', 1).toDouble());
    QCOMPARE(FieldTexts::Caption(field, lang), caption);
    QCOMPARE(FieldTexts::ValueWithUnit(field, record, lang), value);
}

void TestUiMain::EditColumns() {
    QTest::addColumn<ConfigRecord>("start");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<ConfigRecord>("expected");
    QTest::addColumn<QStringList>("states");
}

void TestUiMain::RunEditRow() {
    QFETCH(ConfigRecord, start);
    QFETCH(QStringList, actions);
    QFETCH(ConfigRecord, expected);
    QFETCH(QStringList, states);
    frmMain* window = MakeShownWindow(QString(), start);
    const ConfigRecord& config = window->Config();
    const ComSupport& link = window->Link();
    const int speedCode = link.ComSpeedCode();
    const int portNumber = link.ComPortNumber();
    for (const QString& action : actions)
        QVERIFY2(Perform(*window, action), qPrintable(action));
    QVERIFY2(config == expected, qPrintable(testing::Differences(config, expected).join(u' ')));
    for (const QString& state : states)
        QVERIFY2(Mismatch(*window, state).isEmpty(), qPrintable(Mismatch(*window, state)));
    // Editing never touches the program's own link.
    QCOMPARE(link.ComSpeedCode(), speedCode);
    QCOMPARE(link.ComPortNumber(), portNumber);
}

// One row per rule: the rules themselves are tested in the core; here the window reads the
// box, hands it on and shows the record.
void TestUiMain::numericEntries_data() {
    EditColumns();
    const ConfigRecord f = Factory();
    const auto row = [&f](const char* name, const QString& box, const QString& entry,
                          const ConfigRecord& expected, const QString& shown) {
        QTest::newRow(name) << f << QStringList{QStringLiteral("type %1 %2").arg(box, entry)}
                            << expected << QStringList{box + QStringLiteral("=text:") + shown};
    };
    row("S 60", "DefSpeedText(0)", "60", Rec([](ConfigRecord& c) { c.defaultSpeedMin = 100; }),
        "100");
    row("S 49 refused", "DefSpeedText(0)", "49", f, "500");
    row("F 550", "OrgSpeedText(1)", "550", Rec([](ConfigRecord& c) { c.originSpeedMax = 600; }),
        "600");
    row("time 250", "DefJOGSpeedText(2)", "250", Rec([](ConfigRecord& c) { c.jogAccelTime = 250; }),
        "250");
    row("offset full-width minus", "OrgOffsetText", QString::fromUtf8("－５００"),
        Rec([](ConfigRecord& c) { c.originOffset = -500; }), "-500");
    row("not a number", "DefSpeedText(1)", "fast", f, "5000");
    row("F 150 refused", "DefSpeedText(1)", "150", f, "5000");
    row("origin F 150 refused", "OrgSpeedText(1)", "150", f, "5000");
    row("jog F 150 refused", "DefJOGSpeedText(1)", "150", f, "500");
    row("jog speed 99 refused", "JogSpeedText", "99", f, "500");
    row("time 1001 refused", "OrgSpeedText(2)", "1001", f, "200");
    row("offset 16777216 refused", "OrgOffsetText", "16777216", f, "0");
    row("unchanged text", "DefSpeedText(1)", "5000", f, "5000");
    const auto dial = [](qint16 pulses) {
        return Rec([pulses](ConfigRecord& c) {
            c.jogDialEnabled = kTrue;
            c.jogDialPulses = pulses;
        });
    };
    QTest::newRow("pulses 9999") << dial(10) << QStringList{"type ExtJDialPulse 9999"} << dial(9999)
                                 << QStringList{"ExtJDialPulse=text:9999"};
    const auto jogSpeed = [](qint32 speed) {
        return Rec([speed](ConfigRecord& c) {
            c.jogSpeedMin = speed;
            c.jogSpeedMax = speed;
            c.jogAccelTime = 0;
        });
    };
    QTest::newRow("jog 150 sets the group")
        << Rec([](ConfigRecord& c) { c.jogAccelTime = 100; })
        << QStringList{"type JogSpeedText 150"} << jogSpeed(200)
        << QStringList{"JogSpeedText=text:200", "DefJOGSpeedText(0)=text:200",
                       "DefJOGSpeedText(1)=text:200", "DefJOGSpeedText(2)=text:0"};
    // Passing through a box is no entry: loaded values that the boxes would round stay.
    const ConfigRecord loaded = Rec([](ConfigRecord& c) {
        c.defaultSpeedMin = 150;
        c.jogSpeedMin = 300;
        c.jogSpeedMax = 550;
        c.jogAccelTime = 100;
    });
    QTest::newRow("passing through changes nothing")
        << loaded << QStringList{"pass DefSpeedText(0)", "pass JogSpeedText", "pass OrgOffsetText"}
        << loaded << QStringList{"DefSpeedText(0)=text:150", "JogSpeedText=text:550"};
    QTest::newRow("jog F follows the group")
        << f << QStringList{"type DefJOGSpeedText(1) 2500"}
        << Rec([](ConfigRecord& c) { c.jogSpeedMax = 2500; })
        << QStringList{"JogSpeedText=text:2500", "DefJOGSpeedText(1)=text:2500"};
    QTest::newRow("S then F, F first")
        << f
        << QStringList{"type DefSpeedText(0) 8000", "type DefSpeedText(1) 9000",
                       "type DefSpeedText(0) 8000"}
        << Rec([](ConfigRecord& c) {
               c.defaultSpeedMin = 8000;
               c.defaultSpeedMax = 9000;
           })
        << QStringList{"DefSpeedText(0)=text:8000", "DefSpeedText(1)=text:9000"};
    // A pending entry is the operator's until the focus moves to another control.
    QTest::newRow("wheel on a slider keeps a typed offset")
        << f
        << QStringList{"keyin OrgOffsetText 1234", "wheel MotorSlider(0) 1",
                       "expect OrgOffsetText=text:1234", "tab"}
        << Rec([](ConfigRecord& c) {
               c.originOffset = 1234;
               c.runCurrent = 353;
           })
        << QStringList{"OrgOffsetText=text:1234", "MotorInfo(0)=text:353"};
    QTest::newRow("another program's window takes nothing")
        << f << QStringList{"keyin JogSpeedText 5", "away", "expect JogSpeedText=text:5"} << f
        << QStringList{"JogSpeedText=text:5"};
    QTest::newRow("tab after another program's window")
        << f << QStringList{"keyin JogSpeedText 800", "away", "tab"} << Rec([](ConfigRecord& c) {
               c.jogSpeedMin = c.jogSpeedMax = 800;
               c.jogAccelTime = 0;
           })
        << QStringList{"JogSpeedText=text:800"};
    QTest::newRow("a short number after a long one has the normal font")
        << Rec([](ConfigRecord& c) { c.defaultSpeedMax = std::numeric_limits<qint32>::max(); })
        << QStringList{"expect DefSpeedText(1)=font:10.5", "type DefSpeedText(1) 9000"}
        << Rec([](ConfigRecord& c) { c.defaultSpeedMax = 9000; })
        << QStringList{"DefSpeedText(1)=font:12"};
}

void TestUiMain::entryTakenBeforeCommand_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("STORE clicked") << "CmdStore";
    QTest::newRow("STORE pressed by a screen reader") << "CmdStore press";
    QTest::newRow("LOAD pressed by a screen reader") << "CmdLoad press";
    QTest::newRow("LOAD clicked") << "CmdLoad";
    QTest::newRow("CONNECT clicked") << "CmdConnect";
    QTest::newRow("Save") << "mnuFileSave";
    QTest::newRow("Save As") << "mnuFileSaveAs";
    QTest::newRow("Save with the menu bar focused") << "mnuFileSave menubar";
    QTest::newRow("Open") << "mnuFileOpen";
    QTest::newRow("Close") << "mnuFileClose";
    QTest::newRow("Options") << "mnuToolsOptions";
    QTest::newRow("About") << "mnuHelpAbout";
}

void TestUiMain::entryTakenBeforeCommand() {
    QFETCH(QString, command);
    const bool fromMenuBar = command.endsWith(QLatin1String(" menubar"));
    // The accessible action presses the button where the focus is: it stays in the box.
    const bool pressed = command.endsWith(QLatin1String(" press"));
    command = command.section(u' ', 0, 0);
    // The commands run for real: against a simulated controller, with scripted boxes and
    // dialogs, and any modal dialog closed as soon as it shows.
    sim::DeviceModel model;
    sim::SimSerialControl serial(model);
    QTimer closer;
    connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    closer.start(10);
    frmMain* window = MakeShownWindow();
    const ConfigRecord& config = window->Config();
    window->Link().SetSerialControl(&serial);
    window->Timer1->setInterval(2);
    window->Timer1->start();
    if (command == u"CmdLoad" || command == u"CmdStore") {
        window->program().State.IsConnected = kTrue;
        window->program().Options.ConfirmStore = kFalse;
        QVERIFY(window->Link().ComOpen());
        window->CmdLoad->setEnabled(true);
        window->CmdStore->setEnabled(true);
    }
    qint32 seen = 0;
    Type(*window, window->DefSpeedText[1], QStringLiteral("6049"));
    if (auto* button = window->findChild<QPushButton*>(command)) {
        connect(button, &QPushButton::clicked, this,
                [&seen, &config] { seen = config.defaultSpeedMax; });
        if (pressed) {
            QAccessible::queryAccessibleInterface(button)->actionInterface()->doAction(
                QAccessibleActionInterface::pressAction());
            QTRY_VERIFY(seen != 0);
        } else {
            Click(*window, button);
        }
    } else {
        // A menu command chosen by its shortcut leaves the focus in the box.
        auto* action = window->findChild<QAction*>(command);
        QVERIFY(action);
        if (fromMenuBar) // Alt pressed: the menu bar holds the focus, the box its entry
            window->menuBar()->setFocus(Qt::MenuBarFocusReason);
        connect(action, &QAction::triggered, this,
                [&seen, &config] { seen = config.defaultSpeedMax; });
        action->trigger();
        const bool modal = command == u"mnuToolsOptions" || command == u"mnuHelpAbout";
        QVERIFY(modal || fromMenuBar || window->DefSpeedText[1]->hasFocus());
    }
    // Taken before the command started, so what the controller sent afterwards stands.
    QCOMPARE(seen, 6000);
    QVERIFY(testing::AwaitSequenceEnd(*window));
    if (command == u"CmdLoad") {
        QCOMPARE(config.defaultSpeedMax, 5000);
        QCOMPARE(window->DefSpeedText[1]->text(), QStringLiteral("5000"));
        QVERIFY(model.Log().contains(QStringLiteral("?:D1")));
    }
    if (command == u"CmdStore")
        QVERIFY(model.Log().contains(QStringLiteral("Z:D16000")));
    if (command != u"CmdLoad") {
        QCOMPARE(window->DefSpeedText[1]->text(), QStringLiteral("6000"));
        // Taking the same entry again stores the same value.
        window->TakePendingEntry();
        QCOMPARE(config.defaultSpeedMax, 6000);
    }
    window->Link().ComClose();
    window_.reset();
}

void TestUiMain::switches_data() {
    EditColumns();
    const ConfigRecord f = Factory();
    QTest::newRow("half step writes 1")
        << Rec([](ConfigRecord& c) { c.stepMode = 0; }) << QStringList{"click SplitOption(0)"} << f
        << QStringList{"SplitOption(0)=checked"};
    QTest::newRow("full step writes 0")
        << f << QStringList{"click SplitOption(1)"} << Rec([](ConfigRecord& c) { c.stepMode = 0; })
        << QStringList{"SplitOption(1)=checked"};
    QTest::newRow("rotation stage")
        << f << QStringList{"click StageMode(1)"}
        << Rec([](ConfigRecord& c) { c.rotationStage = kTrue; }) << QStringList{};
    QTest::newRow("translation stage") << Rec([](ConfigRecord& c) { c.rotationStage = kTrue; })
                                       << QStringList{"click StageMode(0)"} << f << QStringList{};
    QTest::newRow("reverse keeps the other groups")
        << f << QStringList{"click DirOption(1)"}
        << Rec([](ConfigRecord& c) { c.reverseDirection = kTrue; })
        << QStringList{"DirOption(1)=checked", "DirOption(0)=unchecked", "StageMode(0)=checked",
                       "SplitOption(0)=checked"};
    QTest::newRow("LS(+) open keeps LS(-)")
        << f << QStringList{"click LSOption(1)"}
        << Rec([](ConfigRecord& c) { c.limitSensorMode[0] = 1; })
        << QStringList{"LSOption(1)=checked", "LSOption(0)=unchecked", "LSOption(2)=checked"};
    QTest::newRow("LS(-) open and close")
        << f << QStringList{"click LSOption(3)"}
        << Rec([](ConfigRecord& c) { c.limitSensorMode[1] = 1; })
        << QStringList{"LSOption(3)=checked", "LSOption(0)=checked"};
    QTest::newRow("LS(-) normal close")
        << Rec([](ConfigRecord& c) { c.limitSensorMode[1] = 1; })
        << QStringList{"click LSOption(2)"} << f << QStringList{"LSOption(2)=checked"};
    QTest::newRow("line speed 38400")
        << f << QStringList{"click ComSpeedOption(3)"}
        << Rec([](ConfigRecord& c) { c.comSpeedIndex = 3; })
        << QStringList{"ComSpeedOption(3)=checked", "ComSpeedOption(1)=unchecked"};
    QTest::newRow("line speed after none") << Rec([](ConfigRecord& c) { c.comSpeedIndex = 9; })
                                           << QStringList{"click ComSpeedOption(0)"}
                                           << Rec([](ConfigRecord& c) { c.comSpeedIndex = 0; })
                                           << QStringList{"ComSpeedOption(0)=checked"};
    QTest::newRow("check boxes off") << f
                                     << QStringList{"click JogCheck", "click ComFlowCheck",
                                                    "click PowerUpCheck", "click AutoPowerCheck"}
                                     << Rec([](ConfigRecord& c) {
                                            c.jogInputEnabled = kFalse;
                                            c.comFlowControl = kFalse;
                                            c.excitationAtStartUp = kFalse;
                                            c.autoExcitation = kTrue;
                                        })
                                     << QStringList{"JogCheck=unchecked", "AutoPowerCheck=checked"};
    QTest::newRow("motor free ticked writes False")
        << f << QStringList{"click EmgPowerCheck"}
        << Rec([](ConfigRecord& c) { c.excitationAtEmergencyStop = kFalse; })
        << QStringList{"EmgPowerCheck=checked"};
    QTest::newRow("motor free cleared writes True")
        << f << QStringList{"click EmgPowerCheck", "click EmgPowerCheck"} << f
        << QStringList{"EmgPowerCheck=unchecked"};
    const ConfigRecord open = Rec([](ConfigRecord& c) { c.limitSensorMode[0] = 1; });
    QTest::newRow("sensor off") << open << QStringList{"click ExtLSCheck(0)"}
                                << Rec([](ConfigRecord& c) { c.limitSensorMode[0] = -1; })
                                << QStringList{"LSFrame(0)=disabled",   "LSOption(0)=disabled",
                                               "LSOption(1)=disabled",  "LSOption(0)=checked",
                                               "LSOption(1)=unchecked", "LSFrame(1)=enabled"};
    QTest::newRow("sensor back on is normal close")
        << open << QStringList{"click ExtLSCheck(0)", "click ExtLSCheck(0)"} << f
        << QStringList{"LSFrame(0)=enabled", "LSOption(0)=enabled", "LSOption(0)=checked",
                       "ExtLSCheck(0)=checked"};
    QTest::newRow("LS(-) off") << f << QStringList{"click ExtLSCheck(1)"}
                               << Rec([](ConfigRecord& c) { c.limitSensorMode[1] = -1; })
                               << QStringList{"LSFrame(1)=disabled", "LSOption(3)=disabled"};
    QTest::newRow("jog dial on") << f << QStringList{"click ExtJDialCheck"}
                                 << Rec([](ConfigRecord& c) { c.jogDialEnabled = kTrue; })
                                 << QStringList{"ExtJDialPulse=enabled", "ExtJdialLabel(0)=enabled",
                                                "ExtJdialLabel(1)=enabled",
                                                "ExtJDialPulse=text:10"};
    QTest::newRow("jog dial on, pulses, off")
        << f << QStringList{"click ExtJDialCheck", "type ExtJDialPulse 25", "click ExtJDialCheck"}
        << Rec([](ConfigRecord& c) { c.jogDialPulses = 25; })
        << QStringList{"ExtJDialPulse=disabled", "ExtJDialPulse=text:25"};
    QTest::newRow("center system keeps the offset") << Rec([](ConfigRecord& c) {
        c.originOffset = 300;
    }) << QStringList{"click OrgModeOption(1)"} << Rec([](ConfigRecord& c) {
        c.originOffset = 300;
        c.originMode = 1;
    }) << QStringList{"OrgOffsetText=disabled", "OrgLabel(0)=disabled", "OrgOffsetText=text:300"};
    QTest::newRow("mini system again")
        << f << QStringList{"click OrgModeOption(1)", "click OrgModeOption(0)"} << f
        << QStringList{"OrgOffsetText=enabled", "OrgLabel(0)=enabled"};
}

void TestUiMain::currents_data() {
    EditColumns();
    const ConfigRecord f = Factory();
    const auto currents = [](qint16 run, qint16 stop) {
        return Rec([run, stop](ConfigRecord& c) {
            c.runCurrent = run;
            c.stopCurrent = stop;
        });
    };
    QTest::newRow("preset 660") << f << QStringList{"click MotorCmd(1)"} << currents(660, 330)
                                << QStringList{"MotorSlider(0)=value:660",
                                               "MotorSlider(1)=value:330", "MotorInfo(0)=text:660",
                                               "MotorInfo(1)=text:330"};
    QTest::newRow("preset 660 twice") << f << QStringList{"click MotorCmd(1)", "click MotorCmd(1)"}
                                      << currents(660, 330) << QStringList{};
    QTest::newRow("preset with equal run current keeps stop")
        << currents(660, 200) << QStringList{"click MotorCmd(1)"} << currents(660, 200)
        << QStringList{"MotorSlider(1)=value:200", "MotorInfo(1)=text:200"};
    QTest::newRow("preset 750") << f << QStringList{"click MotorCmd(2)"} << currents(750, 375)
                                << QStringList{"MotorInfo(0)=text:750"};
    QTest::newRow("preset 350 from out of range")
        << currents(900, 50) << QStringList{"click MotorCmd(0)"} << currents(350, 175)
        << QStringList{"MotorSlider(0)=value:350", "MotorSlider(1)=value:175"};
    QTest::newRow("stop above run snaps back")
        << f << QStringList{"slider MotorSlider(1) 400"} << f
        << QStringList{"MotorSlider(1)=value:175", "MotorInfo(1)=text:175"};
    QTest::newRow("run equal to stop")
        << f << QStringList{"slider MotorSlider(0) 175"} << currents(175, 175)
        << QStringList{"MotorSlider(0)=value:175"};
    QTest::newRow("stop equal to run")
        << f << QStringList{"slider MotorSlider(1) 350"} << currents(350, 350)
        << QStringList{"MotorInfo(1)=text:350"};
    QTest::newRow("run below stop snaps back")
        << f << QStringList{"slider MotorSlider(0) 150"} << f
        << QStringList{"MotorSlider(0)=value:350", "MotorInfo(0)=text:350"};
    QTest::newRow("run up") << f << QStringList{"slider MotorSlider(0) 799"} << currents(799, 175)
                            << QStringList{"MotorInfo(0)=text:799"};
    QTest::newRow("run by key") << f << QStringList{"key MotorSlider(0) Right"}
                                << currents(351, 175) << QStringList{"MotorInfo(0)=text:351"};
    QTest::newRow("stop by key") << f << QStringList{"key MotorSlider(1) Left"}
                                 << currents(350, 174) << QStringList{"MotorInfo(1)=text:174"};
    QTest::newRow("stop key at run refused")
        << currents(350, 350) << QStringList{"key MotorSlider(1) Right"} << currents(350, 350)
        << QStringList{"MotorSlider(1)=value:350"};
    QTest::newRow("out of range current kept until moved")
        << currents(900, 175) << QStringList{"present"} << currents(900, 175)
        << QStringList{"MotorSlider(0)=value:799", "MotorInfo(0)=text:900"};
}

void TestUiMain::tabFollowsTheReadingOrder_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QStringList>("stops"); // after CONNECT, INITIALIZED DEFAULT and the tabs
    QTest::newRow("0") << 0 << QStringList{"StageMode(0)",     "DirOption(0)",  "SplitOption(0)",
                                           "OrgModeOption(0)", "OrgOffsetText", "MotorSlider(0)",
                                           "MotorSlider(1)",   "MotorCmd(0)",   "MotorCmd(1)",
                                           "MotorCmd(2)"};
    QTest::newRow("1") << 1
                       << QStringList{"JogCheck", "JogSpeedText", "LSOption(0)", "LSOption(2)",
                                      "EmgPowerCheck"};
    QTest::newRow("2") << 2 << QStringList{"ComSpeedOption(1)", "ComFlowCheck"};
    QTest::newRow("3") << 3
                       << QStringList{"PowerUpCheck", "AutoPowerCheck", "ExtLSCheck(0)",
                                      "ExtLSCheck(1)", "ExtJDialCheck"};
    QTest::newRow("4") << 4 << QStringList{"DefSpeedText(0)",    "DefSpeedText(1)",
                                           "DefSpeedText(2)",    "OrgSpeedText(0)",
                                           "OrgSpeedText(1)",    "OrgSpeedText(2)",
                                           "DefJOGSpeedText(0)", "DefJOGSpeedText(1)",
                                           "DefJOGSpeedText(2)"};
}

// Tab visits the left column, the page tabs, then the page's controls top to bottom and left to
// right within a frame, each group of option buttons once, at its selected button.
void TestUiMain::tabFollowsTheReadingOrder() {
    QFETCH(int, page);
    QFETCH(QStringList, stops);
    frmMain* window = MakeShownWindow(QStringLiteral("/EXT"));
    window->MainTab->setCurrentIndex(page);
    window->CmdConnect->setFocus(Qt::TabFocusReason);
    QStringList visited{QStringLiteral("CmdConnect")};
    for (int i = 0; i < 30; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == window->CmdConnect)
            break;
        visited << (QApplication::focusWidget() == static_cast<QWidget*>(window->MainTab->tabBar())
                        ? QStringLiteral("MainTab")
                        : QApplication::focusWidget()->objectName());
    }
    QCOMPARE(visited, QStringList({"CmdConnect", "CmdInit", "MainTab"}) + stops);
}

void TestUiMain::everyControlSpeaksForItself_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::newRow("japanese") << "";
    QTest::newRow("english") << "/L:E";
    QTest::newRow("japanese, extended") << "/EXT";
    QTest::newRow("english, extended") << "/L:E /EXT";
}

// What a screen reader is told: names, states, the lamp in words, and on every control of the
// pages the help on its parameter, in the window's language, as tooltip and description.
void TestUiMain::everyControlSpeaksForItself() {
    QFETCH(QString, commandLine);
    const bool english = commandLine.contains(QLatin1String("/L:E"));
    window_.reset(StartProgram(commandLine, Seams()));
    const QStringList problems = testing::AccessibilityProblems(window_.get());
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(window_->MainTab->tabBar());
    QCOMPARE(tabs->text(QAccessible::Name),
             english ? QStringLiteral("Settings pages") : QString::fromUtf8("設定ページ"));
    QCOMPARE(tabs->child(4)->state().disabled, !commandLine.contains(QLatin1String("/EXT")));
    const auto lamp = [this] {
        return QAccessible::queryAccessibleInterface(window_->Shape)->text(QAccessible::Name);
    };
    QVERIFY(
        lamp().endsWith(english ? QStringLiteral(": not connected") : QString::fromUtf8("未接続")));
    window_->SetLamp(true);
    QVERIFY(lamp().endsWith(english ? QStringLiteral(": connected") : QString::fromUtf8("接続中")));

    for (int page = 0; page < window_->MainTab->count(); ++page) {
        for (QWidget* control : window_->MainTab->widget(page)->findChildren<QWidget*>()) {
            if (control->focusPolicy() == Qt::NoFocus)
                continue;
            const QString help = control->toolTip();
            const QString description =
                QAccessible::queryAccessibleInterface(control)->text(QAccessible::Description);
            const bool ascii =
                std::all_of(help.cbegin(), help.cend(), [](QChar c) { return c.unicode() < 0x80; });
            const QChar stop = english ? u'.' : u'。';
            QVERIFY2(help.endsWith(stop) && ascii == english && description.endsWith(help),
                     qPrintable(control->objectName() + u' ' + help));
        }
    }
}

void TestUiMain::storeQuestionSpeaksTheLanguage_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QStringList>("buttons");
    QTest::newRow("japanese") << "" << QStringList{"はい(&Y)", "いいえ(&N)"};
    QTest::newRow("english") << "/L:E" << QStringList{"&Yes", "&No"};
}

// Qt's own texts follow the window's language: the real question box of STORE, answered No.
void TestUiMain::storeQuestionSpeaksTheLanguage() {
    QFETCH(QString, commandLine);
    QFETCH(QStringList, buttons);
    const QDir translations(QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (commandLine.isEmpty() && !translations.exists(QStringLiteral("qtbase_ja.qm")))
        QSKIP("Qt's Japanese translations are not installed (qt6-translations-l10n)");
    sim::DeviceModel model;
    sim::SimSerialControl serial(model);
    // Qt's own message boxes, the window's when it is given none.
    window_.reset(StartProgram(commandLine, WindowSeams{nullptr, dialogs_.get()}));
    window_->Link().SetSerialControl(&serial);
    window_->Timer1->setInterval(2);
    Click(*window_, window_->CmdConnect);
    QVERIFY(testing::AwaitSequenceEnd(*window_));
    QVERIFY(IsTrue(window_->program().State.IsConnected));
    window_->program().Options.ConfirmStore = kTrue;
    QStringList shown;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = QStringList{box->button(QMessageBox::Yes)->text(),
                                box->button(QMessageBox::No)->text()};
            box->button(QMessageBox::No)->click();
        }
    });
    answer.start(10);
    Click(*window_, window_->CmdStore);
    QVERIFY(testing::AwaitSequenceEnd(*window_));
    QCOMPARE(shown, buttons);
    QVERIFY(!model.Log().contains(QStringLiteral("Z:UW")));
    window_->Link().ComClose();
    window_.reset();
}

void TestUiMain::pictures() {
    const QString folder = PictureFolder();
    QVERIFY(QDir().mkpath(folder));
    const auto save = [&folder](QWidget* window, const QString& name) {
        const QPixmap picture = window->grab();
        QVERIFY2(!picture.isNull(), qPrintable(name));
        QVERIFY2(picture.save(QDir(folder).filePath(name + QStringLiteral(".png"))),
                 qPrintable(name));
    };
    for (const bool english : {false, true}) {
        window_.reset(
            StartProgram(english ? QStringLiteral("/L:E /EXT") : QStringLiteral("/EXT"), Seams()));
        for (int page = 0; page < 5; ++page) {
            window_->MainTab->setCurrentIndex(page);
            save(window_.get(),
                 QStringLiteral("main_%1_page%2").arg(english ? "en" : "ja").arg(page));
        }
    }
    // Connected for real to the simulated controller, holding numbers at the ends of their
    // widths, with a sequence under way.
    sim::DeviceModel model;
    sim::SimSerialControl serial(model);
    for (const bool english : {false, true}) {
        window_.reset(
            StartProgram(english ? QStringLiteral("/L:E /EXT") : QStringLiteral("/EXT"), Seams()));
        window_->Link().SetSerialControl(&serial);
        window_->Timer1->setInterval(2);
        Click(*window_, window_->CmdConnect);
        QVERIFY(testing::AwaitSequenceEnd(*window_));
        QVERIFY(IsTrue(window_->program().State.IsConnected));
        ConfigRecord& config = window_->Config();
        config.limitSensorMode[1] = -1;
        config.originMode = 1;
        config.jogDialEnabled = kTrue;
        config.defaultSpeedMin = std::numeric_limits<qint32>::min();
        config.defaultSpeedMax = std::numeric_limits<qint32>::max();
        config.originOffset = std::numeric_limits<qint32>::min();
        config.jogSpeedMax = std::numeric_limits<qint32>::min();
        config.defaultAccelTime = -32768;
        config.jogDialPulses = -32768;
        config.runCurrent = -32768;
        config.stopCurrent = 32767;
        window_->DispConfigData();
        window_->ShowProgress(60);
        window_->DispStatusMsg(StatusMsg::ConnectedAndLoaded);
        for (int page = 0; page < 5; ++page) {
            window_->MainTab->setCurrentIndex(page);
            save(window_.get(),
                 QStringLiteral("main_%1_unusual_page%2").arg(english ? "en" : "ja").arg(page));
        }
        window_->HideProgress();
        window_->Link().ComClose();
        window_->program().State.IsConnected = kFalse;
    }
    window_.reset();
}

QTEST_MAIN(TestUiMain)
#include "tst_ui_main.moc"
