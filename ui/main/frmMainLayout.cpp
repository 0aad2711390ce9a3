#include "ui/Twips.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHash>
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

// The window's controls as rows, to be read against the tables of its layout: name, kind,
// parent and place in twips. One loop builds them; captions come from the caption table.
// The rows run in reading order (top to bottom, left to right within a frame): that is the
// order in which Tab visits the controls.

namespace {

enum class Kind {
    Tabs,        // the page tab control
    Page,        // one of its pages
    Frame,       // a frame on the client area or in another frame
    PageFrame,   // a frame on a page, placed relative to the tab control
    Borderless,  // a frame without a border that only groups option buttons
    Label,       // a caption
    InfoLabel,   // a caption of the controller information
    ValueLabel,  // a value of the controller information
    NumberLabel, // a current shown as a number
    NumberBox,   // a text box for a number
    Option,      // an option button
    Check,       // a check box
    Button,      // a command button
    PresetButton,
    Slider,
    Line,
    Lamp,
    Progress,
};

using Bind = void (*)(frmMain&, QObject*);

struct ControlRow {
    const char* name;
    Bind bind; // stores the control in its member of frmMain
    Kind kind;
    const char* parent;
    int left, top, width, height; // twips
};

template <auto Member> void To(frmMain& window, QObject* control) {
    using Pointer = std::remove_reference_t<decltype(window.*Member)>;
    window.*Member = qobject_cast<Pointer>(control);
    Q_ASSERT(window.*Member);
}

template <auto Member, size_t Index> void ToElement(frmMain& window, QObject* control) {
    using Pointer = typename std::remove_reference_t<decltype(window.*Member)>::value_type;
    (window.*Member)[Index] = qobject_cast<Pointer>(control);
    Q_ASSERT((window.*Member)[Index]);
}

void Unbound(frmMain&, QObject*) {}

// clang-format off
#define QMX_ONE(member)       #member, To<&frmMain::member>
#define QMX_AT(member, index) #member "(" #index ")", ToElement<&frmMain::member, index>
#define QMX_PAGE(index)       "MainTab(" #index ")", Unbound

const ControlRow kControls[] = {
    // Controller operation column
    {QMX_ONE(InfoFrame),          Kind::Frame,        "ClientArea",  120,  240, 3135, 5535},
    {QMX_AT(infoLabel, 0),        Kind::InfoLabel,    "InfoFrame",   150,  420, 1230,  330},
    {QMX_AT(infoLabel, 3),        Kind::ValueLabel,   "InfoFrame",  1380,  420, 1605,  330},
    {QMX_AT(infoLabel, 1),        Kind::InfoLabel,    "InfoFrame",   150,  870, 1230,  330},
    {QMX_AT(infoLabel, 4),        Kind::ValueLabel,   "InfoFrame",  1380,  870, 1605,  330},
    {QMX_AT(infoLabel, 2),        Kind::InfoLabel,    "InfoFrame",   150, 1320, 1230,  330},
    {QMX_AT(infoLabel, 5),        Kind::ValueLabel,   "InfoFrame",  1380, 1320, 1605,  330},
    {QMX_AT(infoLabel, 6),        Kind::InfoLabel,    "InfoFrame",   150, 1770, 1230,  330},
    {QMX_AT(infoLabel, 7),        Kind::ValueLabel,   "InfoFrame",  1380, 1770, 1605,  330},
    {QMX_ONE(Line1),              Kind::Line,         "InfoFrame",   120, 2280, 2895,   30},
    {QMX_ONE(Shape),              Kind::Lamp,         "InfoFrame",   240, 2580,  495,  495},
    {QMX_ONE(Line2),              Kind::Line,         "InfoFrame",   735, 2813,  225,   30},
    {QMX_ONE(CmdConnect),         Kind::Button,       "InfoFrame",   960, 2520, 2055,  615},
    {QMX_ONE(CmdLoad),            Kind::Button,       "InfoFrame",   960, 3300, 2055,  615},
    {QMX_ONE(CmdStore),           Kind::Button,       "InfoFrame",   960, 4080, 2055,  615},
    {QMX_ONE(ProgressBar),        Kind::Progress,     "InfoFrame",   120, 4950, 2895,  330},
    {QMX_ONE(CmdInit),            Kind::Button,       "ClientArea", 1080, 6000, 2175,  615},
    {QMX_ONE(MainTab),            Kind::Tabs,         "ClientArea", 3360,  120, 6735, 6495},
    {QMX_PAGE(0),                 Kind::Page,         "MainTab",       0,    0,    0,    0},
    {QMX_PAGE(1),                 Kind::Page,         "MainTab",       0,    0,    0,    0},
    {QMX_PAGE(2),                 Kind::Page,         "MainTab",       0,    0,    0,    0},
    {QMX_PAGE(3),                 Kind::Page,         "MainTab",       0,    0,    0,    0},
    {QMX_PAGE(4),                 Kind::Page,         "MainTab",       0,    0,    0,    0},
    // Page 0. DummyFrame1 runs wider than 1500 for the step captions in the stand-in fonts.
    {QMX_ONE(RunFrame),           Kind::PageFrame,    "MainTab(0)",  240,  480, 6255, 1215},
    {QMX_ONE(DummyFrame2),        Kind::Borderless,   "RunFrame",    120,  280, 2000,  800},
    {QMX_AT(StageMode, 0),        Kind::Option,       "DummyFrame2", 120,   60, 1880,  300},
    {QMX_AT(StageMode, 1),        Kind::Option,       "DummyFrame2", 120,  420, 1880,  300},
    {QMX_AT(DirOption, 0),        Kind::Option,       "RunFrame",   2400,  340, 1300,  300},
    {QMX_AT(DirOption, 1),        Kind::Option,       "RunFrame",   2400,  700, 1300,  300},
    {QMX_ONE(DummyFrame1),        Kind::Borderless,   "RunFrame",   3800,  280, 1860,  800},
    {QMX_AT(SplitOption, 0),      Kind::Option,       "DummyFrame1",  60,   60, 1800,  300},
    {QMX_AT(SplitOption, 1),      Kind::Option,       "DummyFrame1",  60,  420, 1800,  300},
    {QMX_ONE(OrgFrame),           Kind::PageFrame,    "MainTab(0)",  240, 1920, 6255, 1215},
    {QMX_AT(OrgModeOption, 0),    Kind::Option,       "OrgFrame",    240,  340, 2200,  300},
    {QMX_AT(OrgModeOption, 1),    Kind::Option,       "OrgFrame",    240,  700, 2200,  300},
    {QMX_AT(OrgLabel, 0),         Kind::Label,        "OrgFrame",   2640,  540, 1700,  300},
    {QMX_ONE(OrgOffsetText),      Kind::NumberBox,    "OrgFrame",   4380,  495, 1635,  390},
    {QMX_ONE(MotorFrame),         Kind::PageFrame,    "MainTab(0)",  240, 3360, 6255, 2895},
    {QMX_AT(MotorLabel, 0),       Kind::Label,        "MotorFrame",  240,  450, 1560,  300},
    {QMX_AT(MotorInfo, 0),        Kind::NumberLabel,  "MotorFrame", 1800,  420,  690,  360},
    {QMX_AT(MotorLabel, 2),       Kind::Label,        "MotorFrame", 2550,  450,  360,  300},
    {QMX_AT(MotorSlider, 0),      Kind::Slider,       "MotorFrame", 3000,  390, 3015,  420},
    {QMX_AT(MotorLabel, 1),       Kind::Label,        "MotorFrame",  240, 1050, 1560,  300},
    {QMX_AT(MotorInfo, 1),        Kind::NumberLabel,  "MotorFrame", 1800, 1020,  690,  360},
    {QMX_AT(MotorLabel, 3),       Kind::Label,        "MotorFrame", 2550, 1050,  360,  300},
    {QMX_AT(MotorSlider, 1),      Kind::Slider,       "MotorFrame", 3000,  990, 3015,  420},
    {QMX_ONE(Line3),              Kind::Line,         "MotorFrame",  120, 1620, 6015,   30},
    {QMX_AT(MotorCmd, 0),         Kind::PresetButton, "MotorFrame",   90, 1860, 1980,  600},
    {QMX_AT(MotorCmd, 1),         Kind::PresetButton, "MotorFrame", 2130, 1860, 1980,  600},
    {QMX_AT(MotorCmd, 2),         Kind::PresetButton, "MotorFrame", 4170, 1860, 1980,  600},
    // Page 1
    {QMX_ONE(JogFrame),           Kind::PageFrame,    "MainTab(1)",  240,  480, 6255, 1455},
    {QMX_ONE(JogCheck),           Kind::Check,        "JogFrame",    240,  360, 5800,  300},
    {QMX_AT(JogLabel, 0),         Kind::Label,        "JogFrame",    240,  870, 2100,  300},
    {QMX_ONE(JogSpeedText),       Kind::NumberBox,    "JogFrame",   2400,  825, 1500,  390},
    {QMX_AT(JogLabel, 1),         Kind::Label,        "JogFrame",   4020,  870,  600,  300},
    {QMX_ONE(LSSetupFrame),       Kind::PageFrame,    "MainTab(1)",  240, 2160, 6255, 1815},
    {QMX_AT(LSFrame, 0),          Kind::Frame,        "LSSetupFrame", 240, 360, 2800, 1215},
    {QMX_AT(LSOption, 0),         Kind::Option,       "LSFrame(0)",  240,  380, 2460,  300},
    {QMX_AT(LSOption, 1),         Kind::Option,       "LSFrame(0)",  240,  740, 2460,  300},
    {QMX_AT(LSFrame, 1),          Kind::Frame,        "LSSetupFrame", 3240, 360, 2800, 1215},
    {QMX_AT(LSOption, 2),         Kind::Option,       "LSFrame(1)",  240,  380, 2460,  300},
    {QMX_AT(LSOption, 3),         Kind::Option,       "LSFrame(1)",  240,  740, 2460,  300},
    {QMX_ONE(EmgStopFrame),       Kind::PageFrame,    "MainTab(1)",  240, 4200, 6255,  855},
    {QMX_ONE(EmgPowerCheck),      Kind::Check,        "EmgStopFrame", 240, 380, 5800,  300},
    // Page 2
    {QMX_ONE(ComSpeedFrame),      Kind::PageFrame,    "MainTab(2)",  240,  480, 2895, 1935},
    {QMX_AT(ComSpeedOption, 0),   Kind::Option,       "ComSpeedFrame", 360, 360, 1800,  300},
    {QMX_AT(ComSpeedOption, 1),   Kind::Option,       "ComSpeedFrame", 360, 720, 1800,  300},
    {QMX_AT(ComSpeedOption, 2),   Kind::Option,       "ComSpeedFrame", 360, 1080, 1800, 300},
    {QMX_AT(ComSpeedOption, 3),   Kind::Option,       "ComSpeedFrame", 360, 1440, 1800, 300},
    {QMX_ONE(ComFlowFrame),       Kind::PageFrame,    "MainTab(2)", 3480,  480, 3015,  855},
    {QMX_ONE(ComFlowCheck),       Kind::Check,        "ComFlowFrame", 240, 380, 2700,  300},
    // Page 3
    {QMX_ONE(PowerUpFrame),       Kind::PageFrame,    "MainTab(3)",  240,  480, 6255, 1215},
    {QMX_ONE(PowerUpCheck),       Kind::Check,        "PowerUpFrame", 240, 360, 5800,  300},
    {QMX_ONE(AutoPowerCheck),     Kind::Check,        "PowerUpFrame", 240, 720, 5800,  300},
    {QMX_ONE(ExtLSFrame),         Kind::PageFrame,    "MainTab(3)",  240, 1900, 6255, 1215},
    {QMX_AT(ExtLSCheck, 0),       Kind::Check,        "ExtLSFrame",  240,  360, 5800,  300},
    {QMX_AT(ExtLSCheck, 1),       Kind::Check,        "ExtLSFrame",  240,  720, 5800,  300},
    {QMX_ONE(JDialFrame),         Kind::PageFrame,    "MainTab(3)",  240, 3360, 6255, 1575},
    {QMX_ONE(ExtJDialCheck),      Kind::Check,        "JDialFrame",  240,  360, 5800,  300},
    {QMX_AT(ExtJdialLabel, 0),    Kind::Label,        "JDialFrame",  480,  900, 2400,  300},
    {QMX_ONE(ExtJDialPulse),      Kind::NumberBox,    "JDialFrame", 2940,  855, 1300,  390},
    {QMX_AT(ExtJdialLabel, 1),    Kind::Label,        "JDialFrame", 4360,  900,  900,  300},
    // Page 4: three speed frames of one layout (S, F, acceleration time)
    {QMX_ONE(DefSpeedFrame),      Kind::PageFrame,    "MainTab(4)",  240,  480, 6255, 1815},
    {QMX_AT(DefSpeedLabel, 0),    Kind::Label,        "DefSpeedFrame",  240,  405, 3300, 300},
    {QMX_AT(DefSpeedText, 0),     Kind::NumberBox,    "DefSpeedFrame", 3600,  360, 1500, 390},
    {QMX_AT(DefSpeedLabel, 3),    Kind::Label,        "DefSpeedFrame", 5220,  405,  720, 300},
    {QMX_AT(DefSpeedLabel, 1),    Kind::Label,        "DefSpeedFrame",  240,  885, 3300, 300},
    {QMX_AT(DefSpeedText, 1),     Kind::NumberBox,    "DefSpeedFrame", 3600,  840, 1500, 390},
    {QMX_AT(DefSpeedLabel, 4),    Kind::Label,        "DefSpeedFrame", 5220,  885,  720, 300},
    {QMX_AT(DefSpeedLabel, 2),    Kind::Label,        "DefSpeedFrame",  240, 1365, 3300, 300},
    {QMX_AT(DefSpeedText, 2),     Kind::NumberBox,    "DefSpeedFrame", 3600, 1320, 1500, 390},
    {QMX_AT(DefSpeedLabel, 5),    Kind::Label,        "DefSpeedFrame", 5220, 1365,  720, 300},
    {QMX_ONE(DefORGSpeedFrame),   Kind::PageFrame,    "MainTab(4)",  240, 2480, 6255, 1815},
    {QMX_AT(OrgSpeedLabel, 0),    Kind::Label,        "DefORGSpeedFrame",  240,  405, 3300, 300},
    {QMX_AT(OrgSpeedText, 0),     Kind::NumberBox,    "DefORGSpeedFrame", 3600,  360, 1500, 390},
    {QMX_AT(OrgSpeedLabel, 3),    Kind::Label,        "DefORGSpeedFrame", 5220,  405,  720, 300},
    {QMX_AT(OrgSpeedLabel, 1),    Kind::Label,        "DefORGSpeedFrame",  240,  885, 3300, 300},
    {QMX_AT(OrgSpeedText, 1),     Kind::NumberBox,    "DefORGSpeedFrame", 3600,  840, 1500, 390},
    {QMX_AT(OrgSpeedLabel, 4),    Kind::Label,        "DefORGSpeedFrame", 5220,  885,  720, 300},
    {QMX_AT(OrgSpeedLabel, 2),    Kind::Label,        "DefORGSpeedFrame",  240, 1365, 3300, 300},
    {QMX_AT(OrgSpeedText, 2),     Kind::NumberBox,    "DefORGSpeedFrame", 3600, 1320, 1500, 390},
    {QMX_AT(OrgSpeedLabel, 5),    Kind::Label,        "DefORGSpeedFrame", 5220, 1365,  720, 300},
    {QMX_ONE(DefJOGSpeedFrame),   Kind::PageFrame,    "MainTab(4)",  240, 4440, 6255, 1815},
    {QMX_AT(DefJOGSpeedLabel, 0), Kind::Label,        "DefJOGSpeedFrame",  240,  405, 3300, 300},
    {QMX_AT(DefJOGSpeedText, 0),  Kind::NumberBox,    "DefJOGSpeedFrame", 3600,  360, 1500, 390},
    {QMX_AT(DefJOGSpeedLabel, 3), Kind::Label,        "DefJOGSpeedFrame", 5220,  405,  720, 300},
    {QMX_AT(DefJOGSpeedLabel, 1), Kind::Label,        "DefJOGSpeedFrame",  240,  885, 3300, 300},
    {QMX_AT(DefJOGSpeedText, 1),  Kind::NumberBox,    "DefJOGSpeedFrame", 3600,  840, 1500, 390},
    {QMX_AT(DefJOGSpeedLabel, 4), Kind::Label,        "DefJOGSpeedFrame", 5220,  885,  720, 300},
    {QMX_AT(DefJOGSpeedLabel, 2), Kind::Label,        "DefJOGSpeedFrame",  240, 1365, 3300, 300},
    {QMX_AT(DefJOGSpeedText, 2),  Kind::NumberBox,    "DefJOGSpeedFrame", 3600, 1320, 1500, 390},
    {QMX_AT(DefJOGSpeedLabel, 5), Kind::Label,        "DefJOGSpeedFrame", 5220, 1365,  720, 300},
};

enum class MenuKind { Menu, Entry, Separator };

struct MenuRow {
    const char* name;
    Bind bind;
    MenuKind kind;
};

// Menus on the bar, each followed by its entries top to bottom.
const MenuRow kMenus[] = {
    {QMX_ONE(mnuFile),         MenuKind::Menu},
    {QMX_ONE(mnuFileOpen),     MenuKind::Entry},
    {QMX_ONE(mnuFileClose),    MenuKind::Entry},
    {QMX_ONE(mnuFileBar0),     MenuKind::Separator},
    {QMX_ONE(mnuFileSave),     MenuKind::Entry},
    {QMX_ONE(mnuFileSaveAs),   MenuKind::Entry},
    {QMX_ONE(mnuFileBar1),     MenuKind::Separator},
    {QMX_ONE(mnuFileExit),     MenuKind::Entry},
    {QMX_ONE(mnuTools),        MenuKind::Menu},
    {QMX_ONE(mnuToolsOptions), MenuKind::Entry},
    {QMX_ONE(mnuHelp),         MenuKind::Menu},
    {QMX_ONE(mnuHelpAbout),    MenuKind::Entry},
};
// clang-format on

#undef QMX_ONE
#undef QMX_AT
#undef QMX_PAGE

// Client area of the window and the part of it above the status bar.
constexpr int kClientWidthTw = 10230;
constexpr int kWorkHeightTw = 7200 - 390;
// Page frames are placed relative to the tab control; its pages begin below the tab row.
constexpr int kPageLeftTw = 30;
constexpr int kPageTopTw = 390;

QFont KindFont(Kind kind) {
    switch (kind) {
    case Kind::Frame:
    case Kind::PageFrame:
        return frmMain::UiFont(9.0, true);
    case Kind::NumberBox:
    case Kind::NumberLabel:
        return frmMain::UiFont(12.0, true);
    case Kind::InfoLabel:
    case Kind::ValueLabel:
        return frmMain::UiFont(9.75, false);
    case Kind::PresetButton: // the three presets side by side keep their English captions whole
        return frmMain::UiFont(8.25, false);
    default:
        return frmMain::UiFont(9.0, false);
    }
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
        // Tab stops at the tab row itself, once: the control around it passes the focus on.
        setFocusPolicy(Qt::NoFocus);
        tabBar()->setFocusPolicy(Qt::TabFocus);
    }
};

QSlider* MakeCurrentSlider(QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(100, 799);
    slider->setSingleStep(1);
    slider->setPageStep(10);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(100);
    // A drag counts as one change when released, so a refused position snaps back once.
    slider->setTracking(false);
    return slider;
}

QLabel* MakeLabel(QWidget* parent, Qt::Alignment alignment) {
    auto* label = new QLabel(parent);
    label->setAlignment(alignment);
    return label;
}

QFrame* MakeLine(QWidget* parent, QFrame::Shape shape) {
    auto* line = new QFrame(parent);
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// One control of the kind, with its kind's own settings.
QWidget* MakeControl(Kind kind, QWidget* parent) {
    switch (kind) {
    case Kind::Tabs:
        return new PageTabs(parent, Twips::ToPixels(6735) - 10);
    case Kind::Page: {
        auto* page = new QWidget;
        static_cast<QTabWidget*>(parent)->addTab(page, QString());
        return page;
    }
    case Kind::Frame:
    case Kind::PageFrame:
        return new QGroupBox(parent);
    case Kind::Borderless:
        return MakeLine(parent, QFrame::NoFrame);
    case Kind::Label:
    case Kind::InfoLabel:
        return MakeLabel(parent, Qt::AlignLeft | Qt::AlignVCenter);
    case Kind::ValueLabel: {
        QLabel* label = MakeLabel(parent, Qt::AlignCenter);
        label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        return label;
    }
    case Kind::NumberLabel:
        return MakeLabel(parent, Qt::AlignRight | Qt::AlignVCenter);
    case Kind::NumberBox: {
        auto* box = new QLineEdit(parent);
        box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return box;
    }
    case Kind::Option:
        return new QRadioButton(parent);
    case Kind::Check:
        return new QCheckBox(parent);
    case Kind::Button:
    case Kind::PresetButton:
        return new QPushButton(parent);
    case Kind::Slider:
        return MakeCurrentSlider(parent);
    case Kind::Line:
        return MakeLine(parent, QFrame::HLine);
    case Kind::Lamp:
        return new LampShape(parent);
    case Kind::Progress: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setVisible(false);
        return bar;
    }
    }
    return nullptr;
}

bool TakesFocus(Kind kind) {
    switch (kind) {
    case Kind::Tabs:
    case Kind::NumberBox:
    case Kind::Option:
    case Kind::Check:
    case Kind::Button:
    case Kind::PresetButton:
    case Kind::Slider:
        return true;
    default:
        return false;
    }
}

QRect Place(const ControlRow& row) {
    const bool onPage = row.kind == Kind::PageFrame;
    return Twips::ToRect(row.left - (onPage ? kPageLeftTw : 0), row.top - (onPage ? kPageTopTw : 0),
                         row.width, row.height);
}

// Option buttons exclude each other only within their group: Qt's automatic exclusivity would
// also reach into nested frames.
// Tab enters a group once, at its selected button (at the first while none is selected); the
// arrow keys move within the group.
void KeepTabStopOnSelected(const QButtonGroup* group) {
    const QList<QAbstractButton*> buttons = group->buttons();
    const QAbstractButton* stop =
        group->checkedButton() ? group->checkedButton() : buttons.value(0);
    for (QAbstractButton* button : buttons)
        button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

template <size_t N>
QButtonGroup* Group(QWidget* owner, const std::array<QRadioButton*, N>& buttons, size_t first = 0,
                    size_t count = N) {
    auto* group = new QButtonGroup(owner);
    for (size_t i = first; i < first + count; ++i)
        group->addButton(buttons[i], int(i));
    QObject::connect(group, &QButtonGroup::buttonToggled, group,
                     [group] { KeepTabStopOnSelected(group); });
    KeepTabStopOnSelected(group);
    return group;
}

} // namespace

void frmMain::BuildMenus() {
    QMenu* menu = nullptr;
    for (const MenuRow& row : kMenus) {
        QObject* item = nullptr;
        if (row.kind == MenuKind::Menu)
            item = menu = menuBar()->addMenu(QString());
        else
            item =
                row.kind == MenuKind::Separator ? menu->addSeparator() : menu->addAction(QString());
        item->setObjectName(QLatin1String(row.name));
        row.bind(*this, item);
    }
}

void frmMain::BuildControls(QWidget* client) {
    QHash<QString, QWidget*> built{{client->objectName(), client}};
    QWidget* previousStop = nullptr;
    for (const ControlRow& row : kControls) {
        QWidget* parent = built.value(QLatin1String(row.parent));
        Q_ASSERT_X(parent, row.name, "parent not built yet");
        QWidget* control = MakeControl(row.kind, parent);
        control->setObjectName(QLatin1String(row.name));
        control->setFont(KindFont(row.kind));
        if (row.kind != Kind::Page)
            control->setGeometry(Place(row));
        built.insert(control->objectName(), control);
        row.bind(*this, control);
        if (TakesFocus(row.kind)) {
            QWidget* stop = row.kind == Kind::Tabs ? MainTab->tabBar() : control;
            if (previousStop)
                setTabOrder(previousStop, stop);
            previousStop = stop;
        }
    }
    MainTab->setCurrentIndex(0);
    CmdLoad->setEnabled(false);
    CmdStore->setEnabled(false);
}

void frmMain::BuildStatusBar() {
    sbStatusBar = new QStatusBar(this);
    sbStatusBar->setObjectName(QStringLiteral("sbStatusBar"));
    sbStatusBar->setFont(UiFont());
    sbStatusBar->setFixedHeight(Twips::ToPixels(390));
    setStatusBar(sbStatusBar);
    const std::array<const char*, 3> names{"StatusMessagePanel", "StatusDatePanel",
                                           "StatusTimePanel"};
    for (size_t i = 0; i < statusPanel_.size(); ++i) {
        auto* panel = new QLabel(sbStatusBar);
        panel->setObjectName(QLatin1String(names[i]));
        panel->setFont(UiFont());
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
    client->setFont(UiFont());
    // The controls keep their places; the window never squeezes them.
    client->setMinimumSize(Twips::ToPixels(kClientWidthTw), Twips::ToPixels(kWorkHeightTw));
    setCentralWidget(client);
    BuildControls(client);

    Group(this, StageMode);
    Group(this, SplitOption);
    Group(this, DirOption);
    Group(this, OrgModeOption);
    Group(this, LSOption, 0, 2);
    Group(this, LSOption, 2, 2);
    comSpeedGroup_ = Group(this, ComSpeedOption);

    BuildStatusBar();
}
