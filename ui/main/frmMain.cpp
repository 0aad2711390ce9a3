#include "ui/main/frmMain.h"

#include "link/ComSupport.h"
#include "shell/MainModule.h"
#include "shell/StatusMessages.h"
#include "ui/Accessibility.h"
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

namespace {

frmMain* instance = nullptr;

using MainModule::JaEn;

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
    InstallAccessibility();
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
    ApplyControlTexts(false);
}

void frmMain::ApplyEnglishCaptions() {
    ApplyControlTexts(true);
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

// The lamp's colour in words, for those who cannot see it.
void frmMain::SetLamp(bool connected) {
    Shape->SetFillColor(connected ? QColor(0, 255, 0) : QColor(255, 0, 0));
    Shape->setAccessibleName(connected ? JaEn(QStringLiteral("接続ランプ：接続中"),
                                              QStringLiteral("Connection lamp: connected"))
                                       : JaEn(QStringLiteral("接続ランプ：未接続"),
                                              QStringLiteral("Connection lamp: not connected")));
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
    ConnectRows();
    ConnectCommands();
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
