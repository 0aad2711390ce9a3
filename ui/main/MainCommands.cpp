#include "ui/main/MainCommands.h"

#include "link/ComSupport.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "shell/RecordFields.h"
#include "ui/about/frmAbout.h"
#include "ui/main/FieldTexts.h"
#include "ui/main/frmCompare.h"
#include "ui/main/frmMain.h"
#include "ui/options/frmOptions.h"

#include <QAction>
#include <QEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>
#include <QUndoStack>

#include <utility>

MainCommands::MainCommands(frmMain& window)
    : QObject(&window), window_(window), controller_(window.Link(), window.program(), *this),
      files_(window.program(), window.Files(), window.Link(), *this) {
    setObjectName(QStringLiteral("MainCommands"));
    window.installEventFilter(this);
    connect(&controller_, &ControllerCommands::Finished, this,
            &MainCommands::ControllerCommandEnded);
    connect(&controller_, &ControllerCommands::KnownChanged, this,
            [this] { window_.SetKnownValues(controller_.Known()); });
    clean_ = window.Config();
    const auto controller = [this](QPushButton* button, const std::function<void()>& start) {
        connect(button, &QAbstractButton::clicked, this,
                [this, button, start] { RunControllerCommand(start, button); });
    };
    controller(window.CmdConnect, [this] { controller_.ConnectOrDisconnect(); });
    controller(window.CmdLoad, [this] { controller_.Load(); });
    controller(window.CmdStore, [this] { controller_.Store(); });
    connect(window.mnuToolsCompare, &QAction::triggered, this,
            [this] { RunControllerCommand([this] { controller_.Compare(); }, nullptr); });
    const auto file = [this](QAction* entry, const std::function<void()>& command) {
        connect(entry, &QAction::triggered, this, [this, command] { RunFileCommand(command); });
    };
    file(window.mnuFileOpen, [this] { Open(); });
    file(window.mnuFileClose, [this] { files_.FileClose(); });
    file(window.mnuFileSave, [this] {
        if (files_.FileSave())
            clean_ = window_.Config();
    });
    file(window.mnuFileSaveAs, [this] {
        if (files_.FileSaveAs())
            clean_ = window_.Config();
    });
    connect(window.mnuFileExit, &QAction::triggered, this, &MainCommands::Exit);
    connect(window.mnuToolsOptions, &QAction::triggered, this, &MainCommands::OpenOptions);
    connect(window.mnuHelpAbout, &QAction::triggered, this, &MainCommands::OpenAbout);
}

MainCommands::~MainCommands() = default;

bool MainCommands::SequenceRunning() const {
    return hold_ != nullptr;
}

void MainCommands::DispConfigData() {
    window_.DispConfigData();
}

void MainCommands::DispControllerInfo(bool identified) {
    window_.DispControllerInfo(identified);
}

void MainCommands::SetConnectedControls(bool connected) {
    window_.SetConnectedControls(connected);
}

void MainCommands::SetOptionsEnabled(bool enabled) {
    window_.mnuToolsOptions->setEnabled(enabled);
}

void MainCommands::SetFileEntriesEnabled(bool enabled) {
    window_.SetFileEntriesEnabled(enabled);
}

void MainCommands::DispStatusMsg(StatusMsg message) {
    window_.DispStatusMsg(message);
}

void MainCommands::UnloadMainWindow() {
    window_.close();
}

QString MainCommands::AskFileName(bool save, const QString& title, const QString& filter) {
    return save ? window_.Dialogs().SaveFileName(title, filter)
                : window_.Dialogs().OpenFileName(title, filter);
}

bool MainCommands::Ask(const Question& question) {
    return window_.Boxes().Show(
               question.text, question.title,
               question.warning ? platform::MsgIcon::Warning : platform::MsgIcon::None,
               platform::MsgButtons::YesNo, question.details) == platform::MsgAnswer::Yes;
}

void MainCommands::ShowFailure(const Failure& failure) {
    window_.Boxes().Show(failure.text, failure.title, platform::MsgIcon::Critical,
                         platform::MsgButtons::Ok);
}

void MainCommands::ShowProgress(int value) {
    window_.ShowProgress(value);
}

void MainCommands::SetProgress(int value) {
    window_.SetProgress(value);
}

void MainCommands::HideProgress() {
    window_.HideProgress();
}

QString MainCommands::FieldCaption(int field) const {
    return FieldTexts::Caption(field, window_.Lang());
}

QString MainCommands::FieldValue(int field, const ConfigRecord& record) const {
    return FieldTexts::ValueWithUnit(field, record, window_.Lang());
}

bool MainCommands::EditsPending() const {
    return !RecordFields::SameMeaning(window_.program().Config, clean_);
}

namespace {

// A menu entry's or button's caption without its mnemonic and dots: "開く(&O)..." is "開く".
QString PlainCaption(const QString& caption) {
    static const QRegularExpression mnemonic(QStringLiteral("\\(&.\\)|&|\\.\\.\\.$"));
    return QString(caption).remove(mnemonic).trimmed();
}

} // namespace

// Closing the window during a series waits for its end: the series still uses the window.
// Edits not stored or saved are lost only when the operator says so.
bool MainCommands::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &window_ || event->type() != QEvent::Close)
        return QObject::eventFilter(watched, event);
    if (SequenceRunning())
        closeRequested_ = true;
    else if (exitConfirmed_ || ConfirmLosingEdits())
        return QObject::eventFilter(watched, event);
    event->ignore();
    return true;
}

void MainCommands::RunControllerCommand(const std::function<void()>& start, QPushButton* button) {
    window_.TakePendingEntry();
    if (SequenceRunning())
        return;
    before_ = window_.Config();
    running_ = button;
    wasConnected_ = IsTrue(window_.program().State.IsConnected);
    hold_ = std::make_unique<SequenceHold>(HeldBySequence(), button, window_.program().State);
    start();
}

void MainCommands::ControllerCommandEnded(const ControllerCommands::Report& report) {
    TakeOutcome(report);
    hold_.reset();
    window_.mnuEditUndo->setEnabled(window_.UndoStack().canUndo());
    window_.mnuEditRedo->setEnabled(window_.UndoStack().canRedo());
    emit SequenceEnded();
    if (report.compared) {
        auto* dialog = new frmCompare(window_.Config(), *report.compared, window_.Lang(), &window_);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    }
    if (std::exchange(exitRequested_, false))
        QTimer::singleShot(0, this, &MainCommands::Exit);
    else if (std::exchange(closeRequested_, false))
        QTimer::singleShot(0, &window_, &QWidget::close);
}

// A load (LOAD, the load on connect) is a step the operator can undo; what it read, and what a
// store sent, is no edit of the operator's.
void MainCommands::TakeOutcome(const ControllerCommands::Report& report) {
    if (!report.result)
        return;
    const bool connected = IsTrue(window_.program().State.IsConnected);
    const bool loaded = running_ == window_.CmdLoad ||
                        (running_ == window_.CmdConnect && !wasConnected_ && connected &&
                         IsTrue(window_.program().Options.LoadOnConnect));
    if (loaded)
        window_.AddStep(before_, PlainCaption(running_->text()));
    if (loaded || (running_ == window_.CmdStore && report.store))
        clean_ = window_.Config();
}

void MainCommands::Open() {
    const ConfigRecord before = window_.Config();
    if (!files_.FileOpen())
        return;
    window_.AddStep(before, PlainCaption(window_.mnuFileOpen->text()));
    clean_ = window_.Config();
}

bool MainCommands::ConfirmLosingEdits() {
    window_.TakePendingEntry();
    if (!EditsPending())
        return true;
    const Language lang = window_.Lang();
    return Ask({lang.JaEn(QStringLiteral("QMX-001 設定プログラム"),
                          QStringLiteral("QMX-001 Configuration")),
                lang.JaEn(QStringLiteral("編集した設定値は、QMX-001にもファイルにも保存されて"
                                         "いません。終了すると失われます。終了しますか？"),
                          QStringLiteral("The edited values are stored neither in QMX-001 nor in "
                                         "a file; quitting loses them. Quit anyway?")),
                true});
}

void MainCommands::RunFileCommand(const std::function<void()>& command) {
    window_.TakePendingEntry();
    if (!SequenceRunning())
        command();
}

// Like the window's close box: held back until the running series ends, and asks before edits
// are lost, once, before the link is closed.
void MainCommands::Exit() {
    if (SequenceRunning()) {
        exitRequested_ = true;
        return;
    }
    if (!ConfirmLosingEdits())
        return;
    exitConfirmed_ = true;
    RunFileCommand([this] { files_.FileExit(); });
    exitConfirmed_ = false; // a close held back by the window itself asks again
}

void MainCommands::OpenOptions() {
    window_.TakePendingEntry();
    if (!SequenceRunning() && !IsTrue(window_.program().State.IsConnected))
        frmOptions::ShowModal(&window_, window_.program().Options, window_.Link());
}

void MainCommands::OpenAbout() {
    window_.TakePendingEntry();
    if (!SequenceRunning())
        frmAbout::ShowModal(&window_, window_.Lang());
}

// Exit stays. The About box is modal: open, it would keep the series from going on.
SequenceControls MainCommands::HeldBySequence() const {
    SequenceControls held;
    for (int page = 0; page < window_.MainTab->count(); ++page)
        held.editors.push_back(window_.MainTab->widget(page));
    held.editors.push_back(window_.CmdInit);
    held.commands = {window_.mnuFileOpen,   window_.mnuFileClose, window_.mnuFileSave,
                     window_.mnuFileSaveAs, window_.mnuEditUndo,  window_.mnuEditRedo,
                     window_.mnuHelpAbout};
    held.options = window_.mnuToolsOptions;
    held.compare = window_.mnuToolsCompare;
    held.connect = window_.CmdConnect;
    held.load = window_.CmdLoad;
    held.store = window_.CmdStore;
    return held;
}
