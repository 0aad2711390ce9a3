#pragma once

#include "shell/Language.h"
#include "shell/Types.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLayout;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;
class ComSupport;
struct ProgramOptions;

// The Options dialog: serial port, line speed and the three behaviour switches. Created
// each time it is opened, filled from the program options; only ApplyOptions writes back, and
// prepares the link for the port and speed chosen.
class frmOptions : public QDialog {
    Q_OBJECT
public:
    frmOptions(ProgramOptions& options, ComSupport& link, QWidget* owner = nullptr);

    // Opens a fresh dialog modally over owner and returns when it is closed.
    static int ShowModal(QWidget* owner, ProgramOptions& options, ComSupport& link);

    void ApplyOptions();

    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdApply_Click();
    void SysSetupCheck_Click(int index);
    void ComPortOption_Click(int index);
    void ComSpeedOption_Click(int index);

    Boolean OptionsLoaded = kFalse;
    Boolean OptionsChanged = kFalse;

    QTabWidget* OptionTab = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdApply = nullptr;

    QLabel* SysSetupTitle = nullptr;
    QFrame* SysSteupLine1 = nullptr;
    std::array<QCheckBox*, 3> SysSetupCheck{};
    std::array<QLabel*, 3> SysSetupLabel{};

    QLabel* ComSetupTitle = nullptr;
    QFrame* ComSetupLine1 = nullptr;
    QGroupBox* ComPortFrame = nullptr;
    std::array<QRadioButton*, 16> ComPortOption{};
    QGroupBox* ComSpeedFrame = nullptr;
    std::array<QRadioButton*, 4> ComSpeedOption{};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    QWidget* BuildOperationTab();
    QWidget* BuildCommunicationTab();
    QLayout* BuildButtons();
    void MarkChanged();
    void SetAccessibleNames();

    ProgramOptions& options_;
    ComSupport& link_;
    Language language_;
};
