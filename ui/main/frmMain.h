#pragma once

// Three families of names meet here: the controls and handlers of the window's layout
// (CmdConnect, DefSpeedText(0) as DefSpeedText[0], CmdInit_Click, DispConfigData), the
// program's own helpers (TakeEntry, React, SetSensorEnabled), and Qt's overrides (closeEvent).

#include "files/FileModule.h"
#include "platform/ProgressDisplay.h"
#include "shell/ConfigRecord.h"
#include "shell/EditRules.h"
#include "shell/MainModule.h"
#include "shell/StatusMessages.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QMainWindow>
#include <QSize>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace MainControls {
struct ControlRow;
}
class QAction;
class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QStatusBar;
class QTabWidget;
class QTimer;
class ComSupport;
class MainCommands;
class TabMarks;
class QUndoStack;

namespace platform {
class MessageBoxes;
class FileDialogs;
} // namespace platform

// The connection lamp: a filled circle with a thin outline.
class LampShape : public QWidget {
    Q_OBJECT
public:
    explicit LampShape(QWidget* parent = nullptr);
    QColor FillColor() const { return fill_; }
    void SetFillColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
};

// The message boxes and file dialogs the main window and its dialogs use; none: real ones.
struct WindowSeams {
    platform::MessageBoxes* boxes = nullptr;
    platform::FileDialogs* dialogs = nullptr;
};

// The program's one working window: controller operation column, five parameter pages, status
// bar and menus. It owns the program's record, state and options, its file blocks and its
// serial link; it builds itself from its control table, presents the record and reacts to the
// operator's edits; its commands are MainCommands'. The controls that code names are public
// members, named as in the window's layout; the table finds the others by name.
class frmMain : public QMainWindow, public platform::ProgressDisplay {
    Q_OBJECT
public:
    // The program's state and options from the command line, then the window.
    explicit frmMain(const QString& commandLine = {}, WindowSeams seams = {},
                     QWidget* parent = nullptr);
    ~frmMain() override;

    // The window's Japanese Gothic font, with its stand-ins where it is missing.
    static QFont UiFont(double pointSize = 9.0, bool bold = false);

    Program& program() { return program_; }
    ConfigRecord& Config() { return program_.Config; }
    Language Lang() const { return program_.Lang(); }
    ComSupport& Link() { return *link_; }
    FileModule& Files() { return files_; }
    MainCommands& Commands() { return *commands_; }
    platform::MessageBoxes& Boxes() { return *boxes_; }
    platform::FileDialogs& Dialogs() { return *dialogs_; }

    void DispConfigData();
    void DispStatusMsg(StatusMsg message);
    void ApplyEnglishCaptions();
    void SetLamp(bool connected);
    // The identification labels: the controller's information, or the placeholders.
    void DispControllerInfo(bool identified);
    // Lamp, CONNECT's caption, LOAD and STORE.
    void SetConnectedControls(bool connected);
    // Close and Save of the File menu.
    void SetFileEntriesEnabled(bool enabled);
    // Takes over what the operator typed into a number box, as leaving the box would.
    void TakePendingEntry();
    // What the controller is known to hold (none: not known); presenting marks the controls
    // and page tabs whose values differ from it.
    void SetKnownValues(const std::optional<ConfigRecord>& known);
    void DispChanges();
    // The marked controls, by name, and the marked pages.
    QStringList MarkedControls() const;
    QList<int> MarkedPages() const;
    QString StatusText() const;

    // ProgressDisplay
    void ShowProgress(int value) override;
    void SetProgress(int value) override;
    void HideProgress() override;

    // INITIALIZED DEFAULT
    void CmdInit_Click();

    // The operator's changes of the record, one step each, for undo and redo.
    QUndoStack& UndoStack() { return *undoStack_; }
    // Adds a step for a change already made (Open, LOAD): none when nothing changed.
    void AddStep(const ConfigRecord& before, const QString& name);
    // The record, shown.
    void ShowRecord(const ConfigRecord& record);

    // Menus
    QMenu* mnuFile = nullptr;
    QAction* mnuFileOpen = nullptr;
    QAction* mnuFileClose = nullptr;
    QAction* mnuFileBar0 = nullptr;
    QAction* mnuFileSave = nullptr;
    QAction* mnuFileSaveAs = nullptr;
    QAction* mnuFileBar1 = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuEdit = nullptr;
    QAction* mnuEditUndo = nullptr;
    QAction* mnuEditRedo = nullptr;
    QMenu* mnuTools = nullptr;
    QAction* mnuToolsOptions = nullptr;
    QAction* mnuToolsCompare = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpAbout = nullptr;

    // Controller operation column
    QGroupBox* InfoFrame = nullptr;
    std::array<QLabel*, 8> infoLabel{};
    LampShape* Shape = nullptr;
    QPushButton* CmdConnect = nullptr;
    QPushButton* CmdLoad = nullptr;
    QPushButton* CmdStore = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* CmdInit = nullptr;

    QTabWidget* MainTab = nullptr;
    QStatusBar* sbStatusBar = nullptr;
    // Time base of the serial link; started by the start-up.
    QTimer* Timer1 = nullptr;

    // Page 0
    QGroupBox* RunFrame = nullptr;
    QFrame* DummyFrame2 = nullptr;
    std::array<QRadioButton*, 2> StageMode{};
    QFrame* DummyFrame1 = nullptr;
    std::array<QRadioButton*, 2> SplitOption{};
    std::array<QRadioButton*, 2> DirOption{};
    std::array<QRadioButton*, 2> OrgModeOption{};
    std::array<QLabel*, 1> OrgLabel{};
    QLineEdit* OrgOffsetText = nullptr;
    QGroupBox* MotorFrame = nullptr;
    std::array<QLabel*, 2> MotorInfo{};
    std::array<QSlider*, 2> MotorSlider{};
    std::array<QPushButton*, 3> MotorCmd{};

    // Page 1
    QGroupBox* LSSetupFrame = nullptr;
    std::array<QGroupBox*, 2> LSFrame{};
    std::array<QRadioButton*, 4> LSOption{};
    QCheckBox* EmgPowerCheck = nullptr;

    // Page 2
    QGroupBox* ComSpeedFrame = nullptr;
    std::array<QRadioButton*, 4> ComSpeedOption{};

    // Page 3
    std::array<QCheckBox*, 2> ExtLSCheck{};
    std::array<QLabel*, 2> ExtJdialLabel{};
    QLineEdit* ExtJDialPulse = nullptr;

    // Page 4
    std::array<QLineEdit*, 3> DefSpeedText{};

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Building: the controls from their rows, their texts in the chosen language.
    void BuildWindow();
    void BuildMenus();
    QAction* AddUndoEntry(QMenu* menu, bool undo, const QString& prefix);
    void BuildControls(QWidget* client);
    void BuildStatusBar();
    void SetJapaneseCaptions();
    void ApplyControlTexts(bool english);
    void ApplyAccessibleTexts(const MainControls::ControlRow& row, QWidget* control, bool english);
    void UpdateClock();
    void Form_Load();

    // Placement: restored at start, kept at the end.
    void RestorePlacement();
    void SavePlacement();
    void ApplyPendingOuterSize();

    // Edit reactions: read the control, call the rule, present.
    void ConnectReactions();
    void ConnectRows();
    void TakeEntry(QObject* box);
    using EditRule = std::function<std::optional<ConfigRecord>(const ConfigRecord&)>;
    // slider, drag: a slider's moves within one drag make one step.
    void React(const EditRule& rule, const QWidget* source, int slider = -1, int drag = 0);
    QString StepName(const QWidget* source) const;
    bool UndoesTyping(QObject* watched, QEvent* event) const;
    void Choice_Click(EditRules::Choice choice, int index, const QWidget* button);
    void Check_Click(EditRules::Switch which, const QCheckBox* box);
    void MotorCmd_Click(int index, const QWidget* button);
    void MotorSlider_Change(int index);
    void Number_LostFocus(EditRules::Number number, const QLineEdit* box);
    void PresentRows();

    void SetOriginModeEnabled(bool offsetEditable);
    void SetSensorEnabled(int sensor, bool used);
    void SetJogDialEnabled(bool enabled);
    void SetSliderQuietly(int index, int value);
    void SetComSpeedButtons(int index);
    int PageOf(const QWidget* control) const;
    void MarkControl(QWidget* control, bool marked);

    bool presenting_ = false;
    QButtonGroup* comSpeedGroup_ = nullptr;
    QHash<QObject*, std::function<void()>> entryReactions_;
    std::vector<QWidget*> rowControls_; // the built control of each row of the control table
    std::vector<QObject*> menuItems_;   // likewise for the menu rows
    std::array<QLabel*, 3> statusPanel_{};
    QTimer* clockTimer_ = nullptr;
    QSize pendingOuterSize_;
    Program program_;
    FileModule files_{program_};
    ComSupport* link_ = nullptr;
    MainCommands* commands_ = nullptr;
    TabMarks* tabMarks_ = nullptr;
    std::optional<ConfigRecord> known_;
    QUndoStack* undoStack_ = nullptr;
    int sliderDrag_ = 0; // counts the drags of the sliders
    std::unique_ptr<platform::MessageBoxes> ownBoxes_;
    std::unique_ptr<platform::FileDialogs> ownDialogs_;
    platform::MessageBoxes* boxes_ = nullptr;
    platform::FileDialogs* dialogs_ = nullptr;
};
