#include "ui/main/frmMain.h"

#include "link/ComSupport.h"
#include "platform/SettingsStore.h"
#include "shell/LineSpeeds.h"
#include "shell/MainModule.h"
#include "shell/Numbers.h"
#include "shell/StatusMessages.h"
#include "ui/Captions.h"
#include "ui/Twips.h"
#include "ui/main/WidgetSeams.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTime>
#include <QTimer>

#include <cmath>

namespace {

frmMain* instance = nullptr;

// Caption of every control that has one.
constexpr Caption kCaptions[] = {
    {"InfoFrame", "QMX-001 操作", "QMX-001 OPERATION"},
    {"mnuFile", "ﾌｧｲﾙ(&F)", "File(&F)"},
    {"mnuFileOpen", "開く(&O)...", "&Open"},
    {"mnuFileClose", "閉じる(&C)", "&Close"},
    {"mnuFileBar0", "-", nullptr},
    {"mnuFileSave", "上書き保存(&S)", "&Save"},
    {"mnuFileSaveAs", "名前を付けて保存(&A)...", "Save &As"},
    {"mnuFileBar1", "-", nullptr},
    {"mnuFileExit", "終了(&X)", "E&xit"},
    {"mnuTools", "ﾂｰﾙ(&T)", "Tools(&T)"},
    {"mnuToolsOptions", "ｵﾌﾟｼｮﾝ(&O)...", "&Options"},
    {"mnuHelp", "ﾍﾙﾌﾟ(&H)", "Help(&H)"},
    {"mnuHelpAbout", "ﾊﾞｰｼﾞｮﾝ情報(&A)", "&About Version"},
    {"infoLabel(0)", "シリアル番号", "Serial No."},
    {"infoLabel(3)", "----------", nullptr},
    {"infoLabel(1)", "Version", nullptr},
    {"infoLabel(4)", "-.--", nullptr},
    {"infoLabel(2)", "Revision", nullptr},
    {"infoLabel(5)", "---", nullptr},
    {"infoLabel(6)", "Build Date", nullptr},
    {"infoLabel(7)", "------", nullptr},
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
    {"MotorLabel(2)", "mA", nullptr},
    {"MotorLabel(1)", "停止(STOP)電流", "STOP CURRENT"},
    {"MotorLabel(3)", "mA", nullptr},
    {"MotorCmd(0)", "駆動電流 350mA", "RUN CURRENT 350mA"},
    {"MotorCmd(1)", "駆動電流 660mA", "RUN CURRENT 660mA"},
    {"MotorCmd(2)", "駆動電流 750mA", "RUN CURRENT 750mA"},
    {"JogFrame", "ジョグ動作設定", "JOG OPERATION"},
    {"JogCheck", "ジョグスイッチ／外部ジョグ動作有効", "ENABLE JOG SW/SIGNAL"},
    {"JogLabel(0)", "ジョグ動作速度", "JOG SPEED"},
    {"JogLabel(1)", "PPS", nullptr},
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
    {"ComSpeedOption(0)", kLineSpeeds[0].caption, nullptr},
    {"ComSpeedOption(1)", kLineSpeeds[1].caption, nullptr},
    {"ComSpeedOption(2)", kLineSpeeds[2].caption, nullptr},
    {"ComSpeedOption(3)", kLineSpeeds[3].caption, nullptr},
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
    {"MainTab(0)", "基本設定", "BASIC 1/2"},
    {"MainTab(1)", "基本設定２", "BASIC 2/2"},
    {"MainTab(2)", "通信設定", "COM PORT"},
    {"MainTab(3)", "拡張設定１", "EXTEND 1/2"},
    {"MainTab(4)", "拡張設定２", "EXTEND 2/2"},
    {"CmdInit", "設定値初期化", "INITIALIZED DEFAULT"},
    {"DefSpeedLabel(0)", "運転速度S", "MINIMUN FREQUENCY RATE (S)"},
    {"DefSpeedLabel(1)", "運転速度F", "MAXIMUN FREQUENCY RATE (F)"},
    {"DefSpeedLabel(2)", "加減速時間", "ACCELERATION TIME"},
    {"DefSpeedLabel(3)", "PPS", nullptr},
    {"DefSpeedLabel(4)", "PPS", nullptr},
    {"DefSpeedLabel(5)", "mS", nullptr},
    {"OrgSpeedLabel(0)", "運転速度S", "MINIMUN FREQUENCY RATE (S)"},
    {"OrgSpeedLabel(1)", "運転速度F", "MAXIMUN FREQUENCY RATE (F)"},
    {"OrgSpeedLabel(2)", "加減速時間", "ACCELERATION TIME"},
    {"OrgSpeedLabel(3)", "PPS", nullptr},
    {"OrgSpeedLabel(4)", "PPS", nullptr},
    {"OrgSpeedLabel(5)", "mS", nullptr},
    {"DefJOGSpeedLabel(0)", "運転速度S", "MINIMUN FREQUENCY RATE (S)"},
    {"DefJOGSpeedLabel(1)", "運転速度F", "MAXIMUN FREQUENCY RATE (F)"},
    {"DefJOGSpeedLabel(2)", "加減速時間", "ACCELERATION TIME"},
    {"DefJOGSpeedLabel(3)", "PPS", nullptr},
    {"DefJOGSpeedLabel(4)", "PPS", nullptr},
    {"DefJOGSpeedLabel(5)", "mS", nullptr},
};

// Names and ranges for screen readers, one row per control that takes input and whose caption
// alone is not unique or says nothing: frame, row, unit. Visible captions stay as they are.
// clang-format off
constexpr AccessibleText kAccessibleTexts[] = {
    {"MainTab", "設定ページ", "Settings pages", nullptr, nullptr},
    // Page 0
    {"StageMode(0)", "動作条件設定, 直動ステージ", "BASIC CONDITION, Translation stage", nullptr, nullptr},
    {"StageMode(1)", "動作条件設定, 回転ステージ", "BASIC CONDITION, Rotation stage", nullptr, nullptr},
    {"DirOption(0)", "動作条件設定, 回転方向, 正転", "BASIC CONDITION, Direction, Normal", nullptr, nullptr},
    {"DirOption(1)", "動作条件設定, 回転方向, 逆転", "BASIC CONDITION, Direction, Reverse", nullptr, nullptr},
    {"SplitOption(0)", "動作条件設定, Half Step 駆動", "BASIC CONDITION, Half step drive", nullptr, nullptr},
    {"SplitOption(1)", "動作条件設定, Full Step 駆動", "BASIC CONDITION, Full step drive", nullptr, nullptr},
    {"OrgModeOption(0)", "原点復帰設定, MINIモード", "ORIGIN MODE, MINI SYSTEM", nullptr, nullptr},
    {"OrgModeOption(1)", "原点復帰設定, LS間中央モード", "ORIGIN MODE, CENTER SYSTEM", nullptr, nullptr},
    {"OrgOffsetText", "原点復帰設定, 原点オフセット", "ORIGIN MODE, OFFSET of ORIGIN",
     "-1000～16777215", "-1000 to 16777215"},
    {"MotorSlider(0)", "モータ電流設定, 駆動(RUN)電流, mA", "MOTOR CURRENT, RUN, mA",
     "100～799 mA、停止電流以上", "100 to 799 mA, not below the stop current"},
    {"MotorSlider(1)", "モータ電流設定, 停止(STOP)電流, mA", "MOTOR CURRENT, STOP, mA",
     "100～799 mA、駆動電流以下", "100 to 799 mA, not above the run current"},
    {"MotorCmd(0)", "モータ電流設定, 駆動電流 350mA", "MOTOR CURRENT, RUN CURRENT 350mA", nullptr, nullptr},
    {"MotorCmd(1)", "モータ電流設定, 駆動電流 660mA", "MOTOR CURRENT, RUN CURRENT 660mA", nullptr, nullptr},
    {"MotorCmd(2)", "モータ電流設定, 駆動電流 750mA", "MOTOR CURRENT, RUN CURRENT 750mA", nullptr, nullptr},
    // Page 1
    {"JogCheck", "ジョグ動作設定, ジョグスイッチ／外部ジョグ動作有効", "JOG OPERATION, ENABLE JOG SW/SIGNAL", nullptr, nullptr},
    {"JogSpeedText", "ジョグ動作設定, ジョグ動作速度, pps", "JOG OPERATION, JOG SPEED, pps",
     "100～30000 pps、100単位", "100 to 30000 pps, in hundreds"},
    {"LSOption(0)", "LS(+) 設定, Normal Close", "LS(+), Normal Close", nullptr, nullptr},
    {"LSOption(1)", "LS(+) 設定, Normal Open", "LS(+), Normal Open", nullptr, nullptr},
    {"LSOption(2)", "LS(-) 設定, Normal Close", "LS(-), Normal Close", nullptr, nullptr},
    {"LSOption(3)", "LS(-) 設定, Normal Open", "LS(-), Normal Open", nullptr, nullptr},
    {"EmgPowerCheck", "非常停止設定, 非常停止時に励磁をOFFにする", "EMG-STOP OPERATION, ENABLE MOTOR FREE", nullptr, nullptr},
    // Page 2
    {"ComSpeedOption(0)", "通信速度, 4800 bps", "BAUD RATE, 4800 bps", nullptr, nullptr},
    {"ComSpeedOption(1)", "通信速度, 9600 bps", "BAUD RATE, 9600 bps", nullptr, nullptr},
    {"ComSpeedOption(2)", "通信速度, 19200 bps", "BAUD RATE, 19200 bps", nullptr, nullptr},
    {"ComSpeedOption(3)", "通信速度, 38400 bps", "BAUD RATE, 38400 bps", nullptr, nullptr},
    {"ComFlowCheck", "フロー制御, フロー制御有効", "FLOW CONTROL, ENABLE FLOW CONTROL", nullptr, nullptr},
    // Page 3
    {"PowerUpCheck", "励磁動作設定, 起動時に励磁する", "MOTOR EXCITATION SET UP, EXCITATION AT START-UP", nullptr, nullptr},
    {"AutoPowerCheck", "励磁動作設定, 励磁ONを自動的に行なう", "MOTOR EXCITATION SET UP, AUTOMATIC MOTOR LOCK", nullptr, nullptr},
    {"ExtLSCheck(0)", "拡張リミットセンサ設定, LS(+) 有効", "EXTENDED LIMIT SENSOR SET UP, ENABLE LS(+)", nullptr, nullptr},
    {"ExtLSCheck(1)", "拡張リミットセンサ設定, LS(-) 有効", "EXTENDED LIMIT SENSOR SET UP, ENABLE LS(-)", nullptr, nullptr},
    {"ExtJDialCheck", "ジョグダイヤル設定, 外部ジョグダイヤルを使用する", "OPTION Extend JOG Dial, Enable JOG Dial", nullptr, nullptr},
    {"ExtJDialPulse", "ジョグダイヤル設定, ジョグダイヤルパルス数, パルス", "OPTION Extend JOG Dial, execute pulse, pulses",
     "1～9999 パルス", "1 to 9999 pulses"},
    // Page 4: rows S, F and acceleration time of the three speed frames
    {"DefSpeedText(0)", "速度初期値設定, 運転速度S, pps", "DEFAULT SPEED, S, pps", "100～F pps、100単位", "100 to F pps, in hundreds"},
    {"DefSpeedText(1)", "速度初期値設定, 運転速度F, pps", "DEFAULT SPEED, F, pps", "S～30000 pps、100単位", "S to 30000 pps, in hundreds"},
    {"DefSpeedText(2)", "速度初期値設定, 加減速時間, ms", "DEFAULT SPEED, ACCELERATION TIME, ms", "0～1000 ms", "0 to 1000 ms"},
    {"OrgSpeedText(0)", "ORG速度初期値設定, 運転速度S, pps", "ORG SPEED, S, pps", "100～F pps、100単位", "100 to F pps, in hundreds"},
    {"OrgSpeedText(1)", "ORG速度初期値設定, 運転速度F, pps", "ORG SPEED, F, pps", "S～30000 pps、100単位", "S to 30000 pps, in hundreds"},
    {"OrgSpeedText(2)", "ORG速度初期値設定, 加減速時間, ms", "ORG SPEED, ACCELERATION TIME, ms", "0～1000 ms", "0 to 1000 ms"},
    {"DefJOGSpeedText(0)", "JOG速度詳細設定, 運転速度S, pps", "JOG SPEED, S, pps", "100～F pps、100単位", "100 to F pps, in hundreds"},
    {"DefJOGSpeedText(1)", "JOG速度詳細設定, 運転速度F, pps", "JOG SPEED, F, pps", "S～30000 pps、100単位", "S to 30000 pps, in hundreds"},
    {"DefJOGSpeedText(2)", "JOG速度詳細設定, 加減速時間, ms", "JOG SPEED, ACCELERATION TIME, ms", "0～1000 ms", "0 to 1000 ms"},
};
// clang-format on

// Window placement in the settings store, in twips.
struct PlacementKey {
    const char* key;
    double defaultTwips;
};
constexpr PlacementKey kLeft{"MainLeft", 105};
constexpr PlacementKey kTop{"MainTop", 105};
constexpr PlacementKey kWidth{"MainWidth", 10350};
constexpr PlacementKey kHeight{"MainHeight", 8010};
// Far beyond any screen; larger stored values are taken as damaged.
constexpr double kPlacementLimitTwips = 1.0e7;

double ReadPlacement(const PlacementKey& entry) {
    const QString text = platform::GetSetting(
        QLatin1String(platform::kSettingsApp), QLatin1String(MainModule::kSettingsSection),
        QLatin1String(entry.key), Numbers::ShowNumber(qint64(entry.defaultTwips)));
    const std::optional<double> value = Numbers::ParseEntry(text);
    if (!value)
        return entry.defaultTwips;
    const float single = static_cast<float>(*value);
    if (!std::isfinite(single) || std::fabs(single) > kPlacementLimitTwips)
        return entry.defaultTwips;
    return single;
}

// A stored placement the screens can show: no larger than the available area, and on a
// screen (a monitor unplugged since, or a damaged settings file, must not lose the window).
QRect FitOnScreen(QRect outer) {
    if (outer.width() <= 0 || outer.height() <= 0)
        outer.setSize(
            QSize(Twips::ToPixels(kWidth.defaultTwips), Twips::ToPixels(kHeight.defaultTwips)));
    QScreen* screen = QGuiApplication::primaryScreen();
    for (QScreen* candidate : QGuiApplication::screens())
        if (candidate->availableGeometry().intersects(outer))
            screen = candidate;
    if (!screen)
        return outer;
    const QRect available = screen->availableGeometry();
    outer.setSize(outer.size().boundedTo(available.size()));
    if (!available.intersects(outer))
        outer.moveTopLeft(available.topLeft());
    return outer;
}

// Only a move to another control of this window takes an entry: the box's own context menu
// (Paste, Select All), the menu bar and another program's window are no move away from it,
// and the box keeps the focus within its window meanwhile.
bool LeavesForAnotherControl(const QFocusEvent& event) {
    switch (event.reason()) {
    case Qt::PopupFocusReason:
    case Qt::MenuBarFocusReason:
    case Qt::ActiveWindowFocusReason:
        return false;
    default:
        return true;
    }
}

void SavePlacementValue(const PlacementKey& entry, int pixels) {
    platform::SaveSetting(QLatin1String(platform::kSettingsApp),
                          QLatin1String(MainModule::kSettingsSection), QLatin1String(entry.key),
                          Numbers::ShowNumber(Twips::FromPixels(pixels)));
}

} // namespace

LampShape::LampShape(QWidget* parent) : QWidget(parent), fill_(255, 0, 0) {}

void LampShape::SetFillColor(const QColor& color) {
    fill_ = color;
    update();
}

void LampShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(fill_);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    instance = this;
    setObjectName(QStringLiteral("frmMain"));
    setFont(UiFont());
    BuildWindow();

    // Started by the start-up.
    Timer1 = ComSupport::CreateTickTimer(this, false);
    Timer1->setObjectName(QStringLiteral("Timer1"));

    clockTimer_ = new QTimer(this);
    clockTimer_->setInterval(1000);
    connect(clockTimer_, &QTimer::timeout, this, &frmMain::UpdateClock);
    clockTimer_->start();
    UpdateClock();

    SetJapaneseCaptions();
    SetLamp(false);
    ConnectReactions();
    Form_Load();
}

frmMain::~frmMain() {
    if (messageBoxes_ && &platform::Boxes() == messageBoxes_.get())
        platform::SetMessageBoxes(nullptr);
    if (fileDialogs_ && &platform::Dialogs() == fileDialogs_.get())
        platform::SetFileDialogs(nullptr);
    if (&platform::Progress() == this)
        platform::SetProgressDisplay(nullptr);
    if (instance == this)
        instance = nullptr;
}

frmMain* frmMain::Instance() {
    return instance;
}

QFont frmMain::UiFont(double pointSize, bool bold) {
    static const QString family = QString::fromUtf8("ＭＳ Ｐゴシック");
    static const bool substituted = [] {
        QFont::insertSubstitutions(
            family, {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
        return true;
    }();
    Q_UNUSED(substituted);
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

void frmMain::SetJapaneseCaptions() {
    ApplyCaptions(this, kCaptions, false);
    ApplyAccessibleTexts(this, kAccessibleTexts, false);
}

void frmMain::ApplyEnglishCaptions() {
    ApplyCaptions(this, kCaptions, true);
    ApplyAccessibleTexts(this, kAccessibleTexts, true);
}

void frmMain::DispStatusMsg(int number) {
    statusPanel_[0]->setText(StatusMessageText(number));
}

QString frmMain::StatusText() const {
    return statusPanel_[0]->text();
}

void frmMain::UpdateClock() {
    const QLocale locale = QLocale::system();
    statusPanel_[1]->setText(locale.toString(QDate::currentDate(), QLocale::ShortFormat));
    statusPanel_[2]->setText(locale.toString(QTime::currentTime(), QLocale::ShortFormat));
}

void frmMain::SetLamp(bool connected) {
    Shape->SetFillColor(connected ? QColor(0, 255, 0) : QColor(255, 0, 0));
}

void frmMain::SetFileEntriesEnabled(bool enabled) {
    mnuFileClose->setEnabled(enabled);
    mnuFileSave->setEnabled(enabled);
}

void frmMain::UnloadMainWindow() {
    close();
}

void frmMain::ShowProgress(int value) {
    ProgressBar->setValue(value);
    ProgressBar->setVisible(true);
}

void frmMain::SetProgress(int value) {
    ProgressBar->setValue(value);
}

void frmMain::HideProgress() {
    ProgressBar->setVisible(false);
}

void frmMain::InstallWidgetSeams() {
    if (!messageBoxes_)
        messageBoxes_ = std::make_unique<WidgetMessageBoxes>(this);
    if (!fileDialogs_)
        fileDialogs_ = std::make_unique<WidgetFileDialogs>(this);
    platform::SetMessageBoxes(messageBoxes_.get());
    platform::SetFileDialogs(fileDialogs_.get());
    platform::SetProgressDisplay(this);
}

void frmMain::Form_Load() {
    RestorePlacement();
    DispConfigData();
    if (MainModule::English())
        ApplyEnglishCaptions();
}

void frmMain::RestorePlacement() {
    const QRect stored(Twips::ToPixels(ReadPlacement(kLeft)), Twips::ToPixels(ReadPlacement(kTop)),
                       Twips::ToPixels(ReadPlacement(kWidth)),
                       Twips::ToPixels(ReadPlacement(kHeight)));
    const QRect placed = FitOnScreen(stored);
    move(placed.topLeft());
    // The stored size is the outer one; the frame is only known once the window is shown.
    const QSize outer = placed.size();
    const QSize frame = frameGeometry().size() - size();
    resize(outer - frame);
    pendingOuterSize_ = frame.isNull() ? outer : QSize();
}

void frmMain::ApplyPendingOuterSize() {
    if (!pendingOuterSize_.isValid() || !isVisible())
        return;
    const QSize frame = frameGeometry().size() - size();
    if (frame.isNull())
        return;
    const QSize outer = pendingOuterSize_;
    pendingOuterSize_ = QSize();
    resize(outer - frame);
}

void frmMain::SavePlacement() {
    if (isMinimized())
        return;
    const QRect outer = frameGeometry();
    SavePlacementValue(kLeft, outer.x());
    SavePlacementValue(kTop, outer.y());
    SavePlacementValue(kWidth, outer.width());
    SavePlacementValue(kHeight, outer.height());
}

bool frmMain::event(QEvent* event) {
    const bool result = QMainWindow::event(event);
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowActivate:
        ApplyPendingOuterSize();
        break;
    default:
        break;
    }
    return result;
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (sequenceRunning_) {
        closeRequested_ = true;
        event->ignore();
        return;
    }
    // Every other window of the program goes first, the most recent one first.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (qsizetype i = windows.size() - 1; i >= 0; --i)
        if (windows[i] != this && windows[i]->isVisible())
            windows[i]->close();
    SavePlacement();
    event->accept();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut &&
        LeavesForAnotherControl(*static_cast<QFocusEvent*>(event)))
        TakeEntry(watched);
    return QMainWindow::eventFilter(watched, event);
}

// The box need not hold the focus: a menu opened from the keyboard has it meanwhile.
void frmMain::TakePendingEntry() {
    for (auto box = entryReactions_.keyBegin(); box != entryReactions_.keyEnd(); ++box)
        TakeEntry(*box);
}

// Only what the operator typed is an entry: a box passed through, untouched since it was
// last shown, changes nothing (its value may not be one the box would accept, such as a
// loaded speed that is no multiple of 100).
void frmMain::TakeEntry(QObject* box) {
    const auto reaction = entryReactions_.constFind(box);
    auto* edit = qobject_cast<QLineEdit*>(box);
    if (reaction == entryReactions_.constEnd() || !edit || !edit->isModified())
        return;
    edit->setModified(false);
    reaction.value()();
}

void frmMain::ConnectReactions() {
    ConnectChoices();
    ConnectChecks();
    ConnectEntries();
    ConnectCommands();
}

// Option buttons, presets and sliders: each element tells its handler its index.
void frmMain::ConnectChoices() {
    const auto each = [this](const auto& buttons, void (frmMain::*handler)(int)) {
        for (int i = 0; i < int(buttons.size()); ++i)
            connect(buttons[size_t(i)], &QAbstractButton::clicked, this,
                    [this, handler, i] { (this->*handler)(i); });
    };
    each(StageMode, &frmMain::StageMode_Click);
    each(DirOption, &frmMain::DirOption_Click);
    each(SplitOption, &frmMain::SplitOption_Click);
    each(OrgModeOption, &frmMain::OrgModeOption_Click);
    each(LSOption, &frmMain::LSOption_Click);
    each(ComSpeedOption, &frmMain::ComSpeedOption_Click);
    each(MotorCmd, &frmMain::MotorCmd_Click);
    for (int i = 0; i < 2; ++i)
        connect(MotorSlider[size_t(i)], &QAbstractSlider::valueChanged, this,
                [this, i] { MotorSlider_Change(i); });
}

void frmMain::ConnectChecks() {
    using EditRules::Switch;
    const std::pair<QCheckBox*, Switch> checks[] = {
        {JogCheck, Switch::JogInput},
        {ComFlowCheck, Switch::FlowControl},
        {EmgPowerCheck, Switch::MotorFreeAtEmergencyStop},
        {PowerUpCheck, Switch::ExcitationAtStartUp},
        {AutoPowerCheck, Switch::AutomaticExcitation},
        {ExtLSCheck[0], Switch::LimitSensorPlusUsed},
        {ExtLSCheck[1], Switch::LimitSensorMinusUsed},
        {ExtJDialCheck, Switch::JogDial},
    };
    for (const auto& [box, which] : checks)
        connect(box, &QAbstractButton::clicked, this,
                [this, box = box, which = which] { Check_Click(which, box); });
}

// Number boxes take their entry when they lose the focus (eventFilter).
void frmMain::ConnectEntries() {
    const auto watch = [this](QLineEdit* box, const std::function<void()>& reaction) {
        entryReactions_.insert(box, reaction);
        box->installEventFilter(this);
    };
    using EditRules::SpeedGroup;
    const std::pair<const std::array<QLineEdit*, 3>*, SpeedGroup> groups[] = {
        {&DefSpeedText, SpeedGroup::Default},
        {&OrgSpeedText, SpeedGroup::Origin},
        {&DefJOGSpeedText, SpeedGroup::Jog}};
    for (const auto& [boxes, group] : groups)
        for (int i = 0; i < 3; ++i) {
            QLineEdit* box = (*boxes)[size_t(i)];
            watch(box, [this, group = group, box, i] { SpeedText_LostFocus(group, box, i); });
        }
    watch(JogSpeedText, [this] { JogSpeedText_LostFocus(); });
    watch(OrgOffsetText, [this] { OrgOffsetText_LostFocus(); });
    watch(ExtJDialPulse, [this] { ExtJDialPulse_LostFocus(); });
}

void frmMain::ConnectCommands() {
    connect(CmdConnect, &QAbstractButton::clicked, this, &frmMain::CmdConnect_Click);
    connect(CmdLoad, &QAbstractButton::clicked, this, &frmMain::CmdLoad_Click);
    connect(CmdStore, &QAbstractButton::clicked, this, &frmMain::CmdStore_Click);
    connect(CmdInit, &QAbstractButton::clicked, this, &frmMain::CmdInit_Click);
    connect(mnuFileOpen, &QAction::triggered, this, &frmMain::mnuFileOpen_Click);
    connect(mnuFileClose, &QAction::triggered, this, &frmMain::mnuFileClose_Click);
    connect(mnuFileSave, &QAction::triggered, this, &frmMain::mnuFileSave_Click);
    connect(mnuFileSaveAs, &QAction::triggered, this, &frmMain::mnuFileSaveAs_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(mnuToolsOptions, &QAction::triggered, this, &frmMain::mnuToolsOptions_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}
