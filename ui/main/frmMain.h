#pragma once

// Three families of names meet here: the controls and handlers of the window's layout
// (CmdConnect, DefSpeedText(0) as DefSpeedText[0], CmdConnect_Click, DispConfigData), the
// program's own helpers (TakeEntry, React, SetSensorEnabled), and Qt's overrides (closeEvent).

#include "platform/ProgressDisplay.h"
#include "shell/ConfigRecord.h"
#include "shell/EditRules.h"

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

class ControllerCommandsView;
namespace MainControls {
struct ControlRow;
}
struct SequenceControls;
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

// The program's one working window: controller operation column, five parameter pages, status
// bar and menus. Controls are public and named as in the window's layout so that the commands
// of the other modules reach them directly.
class frmMain : public QMainWindow, public platform::ProgressDisplay {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The window created by the start-up, or nullptr.
    static frmMain* Instance();
    // The window's Japanese Gothic font, with its stand-ins where it is missing.
    static QFont UiFont(double pointSize = 9.0, bool bold = false);

    void DispConfigData();
    void DispStatusMsg(int number);
    void ApplyEnglishCaptions();
    void SetLamp(bool connected);
    // The identification labels: the controller's information, or the placeholders.
    void DispControllerInfo(bool identified);
    // Lamp, CONNECT's caption, LOAD and STORE.
    void SetConnectedControls(bool connected);
    // Close and Save of the File menu.
    void SetFileEntriesEnabled(bool enabled);
    void UnloadMainWindow();
    // Takes over what the operator typed into a number box, as leaving the box would.
    void TakePendingEntry();
    QString StatusText() const;

    // A connect, load or store is running: commands that would start another wait it out.
    bool SequenceRunning() const;

    // Real message boxes, file dialogs and this window's progress bar for the core.
    void InstallWidgetSeams();

    // ProgressDisplay
    void ShowProgress(int value) override;
    void SetProgress(int value) override;
    void HideProgress() override;

    // Commands; each takes a pending entry first.
    void CmdConnect_Click();
    void CmdLoad_Click();
    void CmdStore_Click();
    void Disconnect();
    void mnuFileOpen_Click();
    void mnuFileClose_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuFileExit_Click();
    void mnuToolsOptions_Click();
    void mnuHelpAbout_Click();
    void CmdInit_Click();

    // Menus
    QMenu* mnuFile = nullptr;
    QAction* mnuFileOpen = nullptr;
    QAction* mnuFileClose = nullptr;
    QAction* mnuFileBar0 = nullptr;
    QAction* mnuFileSave = nullptr;
    QAction* mnuFileSaveAs = nullptr;
    QAction* mnuFileBar1 = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuTools = nullptr;
    QAction* mnuToolsOptions = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpAbout = nullptr;

    // Controller operation column
    QGroupBox* InfoFrame = nullptr;
    std::array<QLabel*, 8> infoLabel{};
    QFrame* Line1 = nullptr;
    LampShape* Shape = nullptr;
    QFrame* Line2 = nullptr;
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
    QGroupBox* OrgFrame = nullptr;
    std::array<QRadioButton*, 2> OrgModeOption{};
    std::array<QLabel*, 1> OrgLabel{};
    QLineEdit* OrgOffsetText = nullptr;
    QGroupBox* MotorFrame = nullptr;
    std::array<QLabel*, 4> MotorLabel{};
    std::array<QLabel*, 2> MotorInfo{};
    std::array<QSlider*, 2> MotorSlider{};
    QFrame* Line3 = nullptr;
    std::array<QPushButton*, 3> MotorCmd{};

    // Page 1
    QGroupBox* JogFrame = nullptr;
    QCheckBox* JogCheck = nullptr;
    std::array<QLabel*, 2> JogLabel{};
    QLineEdit* JogSpeedText = nullptr;
    QGroupBox* LSSetupFrame = nullptr;
    std::array<QGroupBox*, 2> LSFrame{};
    std::array<QRadioButton*, 4> LSOption{};
    QGroupBox* EmgStopFrame = nullptr;
    QCheckBox* EmgPowerCheck = nullptr;

    // Page 2
    QGroupBox* ComSpeedFrame = nullptr;
    std::array<QRadioButton*, 4> ComSpeedOption{};
    QGroupBox* ComFlowFrame = nullptr;
    QCheckBox* ComFlowCheck = nullptr;

    // Page 3
    QGroupBox* PowerUpFrame = nullptr;
    QCheckBox* PowerUpCheck = nullptr;
    QCheckBox* AutoPowerCheck = nullptr;
    QGroupBox* ExtLSFrame = nullptr;
    std::array<QCheckBox*, 2> ExtLSCheck{};
    QGroupBox* JDialFrame = nullptr;
    QCheckBox* ExtJDialCheck = nullptr;
    std::array<QLabel*, 2> ExtJdialLabel{};
    QLineEdit* ExtJDialPulse = nullptr;

    // Page 4
    QGroupBox* DefSpeedFrame = nullptr;
    std::array<QLabel*, 6> DefSpeedLabel{};
    std::array<QLineEdit*, 3> DefSpeedText{};
    QGroupBox* DefORGSpeedFrame = nullptr;
    std::array<QLabel*, 6> OrgSpeedLabel{};
    std::array<QLineEdit*, 3> OrgSpeedText{};
    QGroupBox* DefJOGSpeedFrame = nullptr;
    std::array<QLabel*, 6> DefJOGSpeedLabel{};
    std::array<QLineEdit*, 3> DefJOGSpeedText{};

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Building the window (frmMainLayout.cpp)
    void BuildWindow();
    void BuildMenus();
    void BuildControls(QWidget* client);
    void BuildStatusBar();
    void ConnectReactions();
    void ConnectRows();
    void ConnectCommands();
    void SetJapaneseCaptions();
    void ApplyControlTexts(bool english);
    void ApplyAccessibleTexts(const MainControls::ControlRow& row, QWidget* control, bool english);
    void UpdateClock();

    void Form_Load();
    void TakeEntry(QObject* box);
    void RestorePlacement();
    void SavePlacement();
    void ApplyPendingOuterSize();

    // Edit reactions (frmMainEdit.cpp): read the control, call the rule, present.
    using EditRule = std::function<std::optional<ConfigRecord>(const ConfigRecord&)>;
    void React(const EditRule& rule);
    void Choice_Click(EditRules::Choice choice, int index);
    void Check_Click(EditRules::Switch which, const QCheckBox* box);
    void MotorCmd_Click(int index);
    void MotorSlider_Change(int index);
    void Number_LostFocus(EditRules::Number number, const QLineEdit* box);
    void PresentRows();

    void SetOriginModeEnabled(bool offsetEditable);
    void SetSensorEnabled(int sensor, bool used);
    void SetJogDialEnabled(bool enabled);
    void SetSliderQuietly(int index, int value);
    void SetComSpeedButtons(int index);

    class Sequence;
    // Runs a controller command as one sequence, after taking the pending entry; its button
    // stays available, the other commands and the editing controls are held.
    void RunControllerCommand(void (*command)(ControllerCommandsView&), QPushButton* button);
    SequenceControls HeldBySequence() const;
    bool sequenceRunning_ = false;
    bool closeRequested_ = false; // held back until the running sequence ends
    bool exitRequested_ = false;  // File > Exit, likewise
    bool presenting_ = false;
    QButtonGroup* comSpeedGroup_ = nullptr;
    QHash<QObject*, std::function<void()>> entryReactions_;
    std::vector<QWidget*> rowControls_; // the built control of each row of the control table
    std::vector<QObject*> menuItems_;   // likewise for the menu rows
    std::array<QLabel*, 3> statusPanel_{};
    QTimer* clockTimer_ = nullptr;
    QSize pendingOuterSize_;
    std::unique_ptr<platform::MessageBoxes> messageBoxes_;
    std::unique_ptr<platform::FileDialogs> fileDialogs_;
};
