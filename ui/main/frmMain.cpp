#include "ui/main/frmMain.h"

// The window as a whole: its making and unmaking, the status bar, the lamp, the progress bar,
// the controller information, and the seams it installs for the core.

#include "link/ComSupport.h"
#include "shell/MainModule.h"
#include "shell/StatusMessages.h"
#include "ui/Accessibility.h"
#include "ui/main/ChangeMarks.h"
#include "ui/main/MainCommands.h"
#include "ui/main/WidgetSeams.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTime>
#include <QTimer>
#include <QUndoStack>

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

frmMain::frmMain(const QString& commandLine, WindowSeams seams, QWidget* parent)
    : QMainWindow(parent) {
    MainModule::InitProgram(program_, commandLine);
    ownBoxes_ = seams.boxes ? nullptr : std::make_unique<WidgetMessageBoxes>(this);
    ownDialogs_ = seams.dialogs ? nullptr : std::make_unique<WidgetFileDialogs>(this);
    boxes_ = seams.boxes ? seams.boxes : ownBoxes_.get();
    dialogs_ = seams.dialogs ? seams.dialogs : ownDialogs_.get();
    InstallAccessibility();
    setObjectName(QStringLiteral("frmMain"));
    setFont(UiFont());
    undoStack_ = new QUndoStack(this);
    BuildWindow();
    tabMarks_ = new TabMarks(MainTab->tabBar());

    // Started by the start-up.
    Timer1 = MakeTickTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    link_ = new ComSupport(Lang(), this);
    link_->UseTicksOf(Timer1);

    clockTimer_ = new QTimer(this);
    clockTimer_->setInterval(1000);
    connect(clockTimer_, &QTimer::timeout, this, &frmMain::UpdateClock);
    clockTimer_->start();
    UpdateClock();

    SetJapaneseCaptions();
    SetLamp(false);
    ConnectReactions();
    Form_Load();
    commands_ = new MainCommands(*this);
}

// The commands go first: a series they run must not report into a window half gone.
frmMain::~frmMain() {
    delete commands_;
    commands_ = nullptr;
    delete link_;
    link_ = nullptr;
}

void frmMain::SetJapaneseCaptions() {
    ApplyControlTexts(false);
}

void frmMain::ApplyEnglishCaptions() {
    ApplyControlTexts(true);
}

void frmMain::DispStatusMsg(StatusMsg message) {
    statusPanel_[0]->setText(StatusMessageText(int(message), Lang()));
}

QString frmMain::StatusText() const {
    return statusPanel_[0]->text();
}

void frmMain::UpdateClock() {
    const QLocale locale = QLocale::system();
    statusPanel_[1]->setText(locale.toString(QDate::currentDate(), QLocale::ShortFormat));
    statusPanel_[2]->setText(locale.toString(QTime::currentTime(), QLocale::ShortFormat));
}

// The lamp's colour in words, for those who cannot see it.
void frmMain::SetLamp(bool connected) {
    Shape->SetFillColor(connected ? QColor(0, 255, 0) : QColor(255, 0, 0));
    Shape->setAccessibleName(connected
                                 ? Lang().JaEn(QStringLiteral("接続ランプ：接続中"),
                                               QStringLiteral("Connection lamp: connected"))
                                 : Lang().JaEn(QStringLiteral("接続ランプ：未接続"),
                                               QStringLiteral("Connection lamp: not connected")));
}

void frmMain::DispControllerInfo(bool identified) {
    const ProgramState& s = program_.State;
    infoLabel[3]->setText(identified ? s.ControllerSerialNo : QStringLiteral("xxxxxxxxxx"));
    infoLabel[4]->setText(identified ? s.ControllerVersionText : QStringLiteral("x.xx"));
    infoLabel[5]->setText(identified ? s.ControllerRevision : QStringLiteral("xxx"));
    infoLabel[7]->setText(identified ? s.ControllerBuildDate : QStringLiteral("xxxxxx"));
}

void frmMain::SetConnectedControls(bool connected) {
    SetLamp(connected);
    CmdConnect->setText(connected
                            ? Lang().JaEn(QStringLiteral("切断"), QStringLiteral("DISCONNECT"))
                            : Lang().JaEn(QStringLiteral("接続"), QStringLiteral("CONNECT")));
    CmdLoad->setEnabled(connected);
    CmdStore->setEnabled(connected);
    mnuToolsCompare->setEnabled(connected);
}

void frmMain::SetFileEntriesEnabled(bool enabled) {
    mnuFileClose->setEnabled(enabled);
    mnuFileSave->setEnabled(enabled);
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

void frmMain::Form_Load() {
    RestorePlacement();
    DispConfigData();
    if (Lang().IsEnglish())
        ApplyEnglishCaptions();
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
    // Every other window of the program goes first, the most recent one first.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (qsizetype i = windows.size() - 1; i >= 0; --i)
        if (windows[i] != this && windows[i]->isVisible())
            windows[i]->close();
    SavePlacement();
    event->accept();
}

void frmMain::ConnectReactions() {
    ConnectRows();
    connect(CmdInit, &QAbstractButton::clicked, this, &frmMain::CmdInit_Click);
}
