#include "ui/main/Twips.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>

namespace {

// Client area of the window and the part of it above the status bar.
constexpr int kClientWidthTw = 10230;
constexpr int kWorkHeightTw = 7200 - 390;
// Page frames are placed relative to the tab control; its pages begin below the tab row.
constexpr int kPageLeftTw = 30;
constexpr int kPageTopTw = 390;

QString Indexed(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

template <typename W>
W* Make(QWidget* parent, const QString& name, const QFont& font, int left, int top, int width,
        int height) {
    auto* widget = new W(parent);
    widget->setObjectName(name);
    widget->setFont(font);
    widget->setGeometry(Twips::ToRect(left, top, width, height));
    return widget;
}

QFont CaptionFont() {
    return frmMain::UiFont(9.0, false);
}
QFont FrameFont() {
    return frmMain::UiFont(9.0, true);
}
QFont NumberFont() {
    return frmMain::UiFont(12.0, true);
}
QFont InfoFont() {
    return frmMain::UiFont(9.75, false);
}

QGroupBox* MakeFrame(QWidget* parent, const QString& name, int left, int top, int width,
                     int height) {
    return Make<QGroupBox>(parent, name, FrameFont(), left, top, width, height);
}

// A frame on a page of the tab control.
QGroupBox* MakePageFrame(QWidget* page, const QString& name, int left, int top, int width,
                         int height) {
    return MakeFrame(page, name, left - kPageLeftTw, top - kPageTopTw, width, height);
}

QLabel* MakeLabel(QWidget* parent, const QString& name, int left, int top, int width,
                  int height = 270) {
    auto* label = Make<QLabel>(parent, name, CaptionFont(), left, top, width, height);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLineEdit* MakeNumberBox(QWidget* parent, const QString& name, int left, int top, int width) {
    auto* box = Make<QLineEdit>(parent, name, NumberFont(), left, top, width, 390);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return box;
}

QFrame* MakeLine(QWidget* parent, const QString& name, int left, int top, int width) {
    auto* line = Make<QFrame>(parent, name, CaptionFont(), left, top, width, 30);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QFrame* MakeBorderless(QWidget* parent, const QString& name, int left, int top, int width,
                       int height) {
    auto* frame = Make<QFrame>(parent, name, CaptionFont(), left, top, width, height);
    frame->setFrameShape(QFrame::NoFrame);
    return frame;
}

// The page tabs share one row: where their captions need more room than the row has, every
// tab gives up its share, so that none scrolls out of sight.
class FittingTabBar : public QTabBar {
public:
    explicit FittingTabBar(int rowWidth) : rowWidth_(rowWidth) {}

protected:
    QSize tabSizeHint(int index) const override {
        QSize hint = QTabBar::tabSizeHint(index);
        int total = 0;
        for (int i = 0; i < count(); ++i)
            total += QTabBar::tabSizeHint(i).width();
        if (total > rowWidth_)
            hint.setWidth(hint.width() * rowWidth_ / total);
        return hint;
    }

private:
    int rowWidth_;
};

class PageTabs : public QTabWidget {
public:
    PageTabs(QWidget* parent, int rowWidth) : QTabWidget(parent) {
        setTabBar(new FittingTabBar(rowWidth));
        tabBar()->setUsesScrollButtons(false);
    }
};

// Option buttons exclude each other only within their group: Qt's automatic exclusivity would
// also reach into nested frames.
template <size_t N>
QButtonGroup* Group(QWidget* owner, const std::array<QRadioButton*, N>& buttons, size_t first = 0,
                    size_t count = N) {
    auto* group = new QButtonGroup(owner);
    for (size_t i = first; i < first + count; ++i)
        group->addButton(buttons[i], int(i));
    return group;
}

} // namespace

void frmMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    mnuFile = bar->addMenu(QString());
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileOpen = mnuFile->addAction(QString());
    mnuFileClose = mnuFile->addAction(QString());
    mnuFileBar0 = mnuFile->addSeparator();
    mnuFileSave = mnuFile->addAction(QString());
    mnuFileSaveAs = mnuFile->addAction(QString());
    mnuFileBar1 = mnuFile->addSeparator();
    mnuFileExit = mnuFile->addAction(QString());
    mnuTools = bar->addMenu(QString());
    mnuTools->setObjectName(QStringLiteral("mnuTools"));
    mnuToolsOptions = mnuTools->addAction(QString());
    mnuHelp = bar->addMenu(QString());
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpAbout = mnuHelp->addAction(QString());

    mnuFileOpen->setObjectName(QStringLiteral("mnuFileOpen"));
    mnuFileClose->setObjectName(QStringLiteral("mnuFileClose"));
    mnuFileBar0->setObjectName(QStringLiteral("mnuFileBar0"));
    mnuFileSave->setObjectName(QStringLiteral("mnuFileSave"));
    mnuFileSaveAs->setObjectName(QStringLiteral("mnuFileSaveAs"));
    mnuFileBar1->setObjectName(QStringLiteral("mnuFileBar1"));
    mnuFileExit->setObjectName(QStringLiteral("mnuFileExit"));
    mnuToolsOptions->setObjectName(QStringLiteral("mnuToolsOptions"));
    mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));
}

void frmMain::BuildInfoColumn(QWidget* client) {
    InfoFrame = MakeFrame(client, QStringLiteral("InfoFrame"), 120, 240, 3135, 5535);

    // Four rows: caption on the left, value on the right.
    constexpr std::array<std::pair<int, int>, 4> rows{{{0, 3}, {1, 4}, {2, 5}, {6, 7}}};
    for (int row = 0; row < 4; ++row) {
        const int top = 420 + row * 450;
        const auto [caption, value] = rows[static_cast<size_t>(row)];
        infoLabel[size_t(caption)] =
            Make<QLabel>(InfoFrame, Indexed("infoLabel", caption), InfoFont(), 150, top, 1230, 330);
        QLabel* shown =
            Make<QLabel>(InfoFrame, Indexed("infoLabel", value), InfoFont(), 1380, top, 1605, 330);
        shown->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        shown->setAlignment(Qt::AlignCenter);
        infoLabel[size_t(value)] = shown;
    }
    Line1 = MakeLine(InfoFrame, QStringLiteral("Line1"), 120, 2280, 2895);

    Shape = new LampShape(InfoFrame);
    Shape->setObjectName(QStringLiteral("Shape"));
    Shape->setGeometry(Twips::ToRect(240, 2580, 495, 495));
    Line2 = MakeLine(InfoFrame, QStringLiteral("Line2"), 735, 2813, 225);

    CmdConnect = Make<QPushButton>(InfoFrame, QStringLiteral("CmdConnect"), CaptionFont(), 960,
                                   2520, 2055, 615);
    CmdLoad = Make<QPushButton>(InfoFrame, QStringLiteral("CmdLoad"), CaptionFont(), 960, 3300,
                                2055, 615);
    CmdStore = Make<QPushButton>(InfoFrame, QStringLiteral("CmdStore"), CaptionFont(), 960, 4080,
                                 2055, 615);
    CmdLoad->setEnabled(false);
    CmdStore->setEnabled(false);

    ProgressBar = Make<QProgressBar>(InfoFrame, QStringLiteral("ProgressBar"), CaptionFont(), 120,
                                     4950, 2895, 330);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setVisible(false);

    CmdInit =
        Make<QPushButton>(client, QStringLiteral("CmdInit"), CaptionFont(), 1080, 6000, 2175, 615);
}

void frmMain::BuildPage0(QWidget* page) {
    RunFrame = MakePageFrame(page, QStringLiteral("RunFrame"), 240, 480, 6255, 1215);
    DummyFrame2 = MakeBorderless(RunFrame, QStringLiteral("DummyFrame2"), 120, 280, 2000, 800);
    // Wide enough for the step mode captions in the stand-in fonts, which run wider.
    DummyFrame1 = MakeBorderless(RunFrame, QStringLiteral("DummyFrame1"), 3800, 280, 1860, 800);
    for (int i = 0; i < 2; ++i) {
        const int top = 60 + i * 360;
        StageMode[size_t(i)] = Make<QRadioButton>(DummyFrame2, Indexed("StageMode", i),
                                                  CaptionFont(), 120, top, 1880, 300);
        SplitOption[size_t(i)] = Make<QRadioButton>(DummyFrame1, Indexed("SplitOption", i),
                                                    CaptionFont(), 60, top, 1800, 300);
        DirOption[size_t(i)] = Make<QRadioButton>(RunFrame, Indexed("DirOption", i), CaptionFont(),
                                                  2400, 280 + top, 1300, 300);
    }

    OrgFrame = MakePageFrame(page, QStringLiteral("OrgFrame"), 240, 1920, 6255, 1215);
    for (int i = 0; i < 2; ++i)
        OrgModeOption[size_t(i)] = Make<QRadioButton>(OrgFrame, Indexed("OrgModeOption", i),
                                                      CaptionFont(), 240, 340 + i * 360, 2200, 300);
    OrgLabel[0] = MakeLabel(OrgFrame, Indexed("OrgLabel", 0), 2640, 540, 1700, 300);
    OrgOffsetText = MakeNumberBox(OrgFrame, QStringLiteral("OrgOffsetText"), 4380, 495, 1635);

    MotorFrame = MakePageFrame(page, QStringLiteral("MotorFrame"), 240, 3360, 6255, 2895);
    for (int i = 0; i < 2; ++i) {
        const int top = 420 + i * 600;
        MotorLabel[size_t(i)] =
            MakeLabel(MotorFrame, Indexed("MotorLabel", i), 240, top + 30, 1560, 300);
        QLabel* info =
            Make<QLabel>(MotorFrame, Indexed("MotorInfo", i), NumberFont(), 1800, top, 690, 360);
        info->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        MotorInfo[size_t(i)] = info;
        MotorLabel[size_t(i + 2)] =
            MakeLabel(MotorFrame, Indexed("MotorLabel", i + 2), 2550, top + 30, 360, 300);
        QSlider* slider = Make<QSlider>(MotorFrame, Indexed("MotorSlider", i), CaptionFont(), 3000,
                                        top - 30, 3015, 420);
        slider->setOrientation(Qt::Horizontal);
        slider->setRange(100, 799);
        slider->setSingleStep(1);
        slider->setPageStep(10);
        slider->setTickPosition(QSlider::TicksBelow);
        slider->setTickInterval(100);
        // A drag counts as one change when released, so a refused position snaps back once.
        slider->setTracking(false);
        MotorSlider[size_t(i)] = slider;
    }
    Line3 = MakeLine(MotorFrame, QStringLiteral("Line3"), 120, 1620, 6015);
    // Three presets side by side; a slightly smaller font keeps the English captions whole.
    for (int i = 0; i < 3; ++i)
        MotorCmd[size_t(i)] =
            Make<QPushButton>(MotorFrame, Indexed("MotorCmd", i), frmMain::UiFont(8.25, false),
                              90 + i * 2040, 1860, 1980, 600);
}

void frmMain::BuildPage1(QWidget* page) {
    JogFrame = MakePageFrame(page, QStringLiteral("JogFrame"), 240, 480, 6255, 1455);
    JogCheck =
        Make<QCheckBox>(JogFrame, QStringLiteral("JogCheck"), CaptionFont(), 240, 360, 5800, 300);
    JogLabel[0] = MakeLabel(JogFrame, Indexed("JogLabel", 0), 240, 870, 2100, 300);
    JogSpeedText = MakeNumberBox(JogFrame, QStringLiteral("JogSpeedText"), 2400, 825, 1500);
    JogLabel[1] = MakeLabel(JogFrame, Indexed("JogLabel", 1), 4020, 870, 600, 300);

    LSSetupFrame = MakePageFrame(page, QStringLiteral("LSSetupFrame"), 240, 2160, 6255, 1815);
    for (int s = 0; s < 2; ++s) {
        QGroupBox* frame =
            MakeFrame(LSSetupFrame, Indexed("LSFrame", s), 240 + s * 3000, 360, 2800, 1215);
        LSFrame[size_t(s)] = frame;
        for (int k = 0; k < 2; ++k) {
            const int n = 2 * s + k;
            LSOption[size_t(n)] = Make<QRadioButton>(frame, Indexed("LSOption", n), CaptionFont(),
                                                     240, 380 + k * 360, 2460, 300);
        }
    }

    EmgStopFrame = MakePageFrame(page, QStringLiteral("EmgStopFrame"), 240, 4200, 6255, 855);
    EmgPowerCheck = Make<QCheckBox>(EmgStopFrame, QStringLiteral("EmgPowerCheck"), CaptionFont(),
                                    240, 380, 5800, 300);
}

void frmMain::BuildPage2(QWidget* page) {
    ComSpeedFrame = MakePageFrame(page, QStringLiteral("ComSpeedFrame"), 240, 480, 2895, 1935);
    for (int i = 0; i < 4; ++i)
        ComSpeedOption[size_t(i)] =
            Make<QRadioButton>(ComSpeedFrame, Indexed("ComSpeedOption", i), CaptionFont(), 360,
                               360 + i * 360, 1800, 300);
    ComFlowFrame = MakePageFrame(page, QStringLiteral("ComFlowFrame"), 3480, 480, 3015, 855);
    ComFlowCheck = Make<QCheckBox>(ComFlowFrame, QStringLiteral("ComFlowCheck"), CaptionFont(), 240,
                                   380, 2700, 300);
}

void frmMain::BuildPage3(QWidget* page) {
    PowerUpFrame = MakePageFrame(page, QStringLiteral("PowerUpFrame"), 240, 480, 6255, 1215);
    PowerUpCheck = Make<QCheckBox>(PowerUpFrame, QStringLiteral("PowerUpCheck"), CaptionFont(), 240,
                                   360, 5800, 300);
    AutoPowerCheck = Make<QCheckBox>(PowerUpFrame, QStringLiteral("AutoPowerCheck"), CaptionFont(),
                                     240, 720, 5800, 300);

    ExtLSFrame = MakePageFrame(page, QStringLiteral("ExtLSFrame"), 240, 1900, 6255, 1215);
    for (int i = 0; i < 2; ++i)
        ExtLSCheck[size_t(i)] = Make<QCheckBox>(ExtLSFrame, Indexed("ExtLSCheck", i), CaptionFont(),
                                                240, 360 + i * 360, 5800, 300);

    JDialFrame = MakePageFrame(page, QStringLiteral("JDialFrame"), 240, 3360, 6255, 1575);
    ExtJDialCheck = Make<QCheckBox>(JDialFrame, QStringLiteral("ExtJDialCheck"), CaptionFont(), 240,
                                    360, 5800, 300);
    ExtJdialLabel[0] = MakeLabel(JDialFrame, Indexed("ExtJdialLabel", 0), 480, 900, 2400, 300);
    ExtJDialPulse = MakeNumberBox(JDialFrame, QStringLiteral("ExtJDialPulse"), 2940, 855, 1300);
    ExtJdialLabel[1] = MakeLabel(JDialFrame, Indexed("ExtJdialLabel", 1), 4360, 900, 900, 300);
}

void frmMain::BuildSpeedFrame(QGroupBox* frame, const QString& labelName,
                              std::array<QLabel*, 6>& labels, const QString& textName,
                              std::array<QLineEdit*, 3>& texts) {
    for (int row = 0; row < 3; ++row) {
        const int top = 360 + row * 480;
        labels[size_t(row)] = MakeLabel(frame, QStringLiteral("%1(%2)").arg(labelName).arg(row),
                                        240, top + 45, 3300, 300);
        texts[size_t(row)] =
            MakeNumberBox(frame, QStringLiteral("%1(%2)").arg(textName).arg(row), 3600, top, 1500);
        labels[size_t(row + 3)] = MakeLabel(
            frame, QStringLiteral("%1(%2)").arg(labelName).arg(row + 3), 5220, top + 45, 720, 300);
    }
}

void frmMain::BuildPage4(QWidget* page) {
    DefSpeedFrame = MakePageFrame(page, QStringLiteral("DefSpeedFrame"), 240, 480, 6255, 1815);
    BuildSpeedFrame(DefSpeedFrame, QStringLiteral("DefSpeedLabel"), DefSpeedLabel,
                    QStringLiteral("DefSpeedText"), DefSpeedText);
    DefORGSpeedFrame =
        MakePageFrame(page, QStringLiteral("DefORGSpeedFrame"), 240, 2480, 6255, 1815);
    BuildSpeedFrame(DefORGSpeedFrame, QStringLiteral("OrgSpeedLabel"), OrgSpeedLabel,
                    QStringLiteral("OrgSpeedText"), OrgSpeedText);
    DefJOGSpeedFrame =
        MakePageFrame(page, QStringLiteral("DefJOGSpeedFrame"), 240, 4440, 6255, 1815);
    BuildSpeedFrame(DefJOGSpeedFrame, QStringLiteral("DefJOGSpeedLabel"), DefJOGSpeedLabel,
                    QStringLiteral("DefJOGSpeedText"), DefJOGSpeedText);
}

void frmMain::BuildStatusBar() {
    sbStatusBar = new QStatusBar(this);
    sbStatusBar->setObjectName(QStringLiteral("sbStatusBar"));
    sbStatusBar->setFont(CaptionFont());
    sbStatusBar->setFixedHeight(Twips::ToPixels(390));
    setStatusBar(sbStatusBar);
    const std::array<const char*, 3> names{"StatusMessagePanel", "StatusDatePanel",
                                           "StatusTimePanel"};
    for (size_t i = 0; i < statusPanel_.size(); ++i) {
        auto* panel = new QLabel(sbStatusBar);
        panel->setObjectName(QLatin1String(names[i]));
        panel->setFont(CaptionFont());
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        panel->setContentsMargins(4, 0, 4, 0);
        statusPanel_[i] = panel;
    }
    statusPanel_[0]->setMinimumWidth(Twips::ToPixels(3000));
    statusPanel_[1]->setMinimumWidth(Twips::ToPixels(1500));
    statusPanel_[2]->setMinimumWidth(Twips::ToPixels(1050));
    statusPanel_[1]->setAlignment(Qt::AlignCenter);
    statusPanel_[2]->setAlignment(Qt::AlignCenter);
    sbStatusBar->addWidget(statusPanel_[0], 1);
    sbStatusBar->addPermanentWidget(statusPanel_[1]);
    sbStatusBar->addPermanentWidget(statusPanel_[2]);
}

void frmMain::BuildWindow() {
    BuildMenus();

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFont(CaptionFont());
    // The controls keep their places; the window never squeezes them.
    client->setMinimumSize(Twips::ToPixels(kClientWidthTw), Twips::ToPixels(kWorkHeightTw));
    setCentralWidget(client);

    BuildInfoColumn(client);

    constexpr int kPages = 5;
    MainTab = new PageTabs(client, Twips::ToPixels(6735) - 10);
    MainTab->setObjectName(QStringLiteral("MainTab"));
    MainTab->setFont(CaptionFont());
    MainTab->setGeometry(Twips::ToRect(3360, 120, 6735, 6495));
    for (int i = 0; i < kPages; ++i) {
        auto* page = new QWidget;
        page->setObjectName(Indexed("MainTab", i));
        page->setFont(CaptionFont());
        MainTab->addTab(page, QString());
    }
    BuildPage0(MainTab->widget(0));
    BuildPage1(MainTab->widget(1));
    BuildPage2(MainTab->widget(2));
    BuildPage3(MainTab->widget(3));
    BuildPage4(MainTab->widget(4));
    MainTab->setCurrentIndex(0);

    Group(this, StageMode);
    Group(this, SplitOption);
    Group(this, DirOption);
    Group(this, OrgModeOption);
    Group(this, LSOption, 0, 2);
    Group(this, LSOption, 2, 2);
    comSpeedGroup_ = Group(this, ComSpeedOption);

    BuildStatusBar();
}
