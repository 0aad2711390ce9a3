#include "ui/main/frmMain.h"

#include "ui/Captions.h"
#include "ui/Twips.h"
#include "ui/main/MainControls.h"

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
#include <QUndoStack>

// Building the window from its rows: each control of its kind, with its kind's own settings,
// in its place.

namespace {

using MainControls::ControlRow;
using MainControls::Description;
using MainControls::InLanguage;
using MainControls::Kind;
using MainControls::MenuKind;

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
    const MainControls::Place& p = row.place;
    return Twips::ToRect(p.left - (onPage ? kPageLeftTw : 0), p.top - (onPage ? kPageTopTw : 0),
                         p.width, p.height);
}

// Tab enters a group once, at its selected button (at the first while none is selected); the
// arrow keys move within the group.
void KeepTabStopOnSelected(const QButtonGroup* group) {
    const QList<QAbstractButton*> buttons = group->buttons();
    const QAbstractButton* stop =
        group->checkedButton() ? group->checkedButton() : buttons.value(0);
    for (QAbstractButton* button : buttons)
        button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

// Option buttons exclude each other only within their group: Qt's automatic exclusivity would
// also reach into nested frames.
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

// The undo stack's own entry, with the platform's keys for it.
QAction* frmMain::AddUndoEntry(QMenu* menu, bool undo, const QString& prefix) {
    QAction* entry = undo ? undoStack_->createUndoAction(menu, prefix)
                          : undoStack_->createRedoAction(menu, prefix);
    entry->setShortcuts(undo ? QKeySequence::Undo : QKeySequence::Redo);
    menu->addAction(entry);
    return entry;
}

void frmMain::BuildMenus() {
    QMenu* menu = nullptr;
    for (const MainControls::MenuRow& row : MainControls::Menus()) {
        QObject* item = nullptr;
        // The undo stack's entries name the step they undo after their caption.
        const QString prefix = QString::fromUtf8(InLanguage(row.caption, Lang().IsEnglish()));
        if (row.kind == MenuKind::Menu)
            item = menu = menuBar()->addMenu(QString());
        else if (row.kind == MenuKind::Undo || row.kind == MenuKind::Redo)
            item = AddUndoEntry(menu, row.kind == MenuKind::Undo, prefix);
        else
            item =
                row.kind == MenuKind::Separator ? menu->addSeparator() : menu->addAction(QString());
        item->setObjectName(QLatin1String(row.name));
        row.bind(*this, item);
        menuItems_.push_back(item);
    }
}

void frmMain::BuildControls(QWidget* client) {
    QHash<QString, QWidget*> built{{client->objectName(), client}};
    QWidget* previousStop = nullptr;
    for (const ControlRow& row : MainControls::Controls()) {
        QWidget* parent = built.value(QLatin1String(row.parent));
        Q_ASSERT_X(parent, row.name, "parent not built yet");
        QWidget* control = MakeControl(row.kind, parent);
        control->setObjectName(QLatin1String(row.name));
        control->setFont(KindFont(row.kind));
        if (row.kind != Kind::Page)
            control->setGeometry(Place(row));
        built.insert(control->objectName(), control);
        row.bind(*this, control);
        rowControls_.push_back(control);
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
    mnuToolsCompare->setEnabled(false);
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

// Captions, and the names, ranges and help a screen reader tells, in one language. A text
// missing in English keeps the Japanese one.
void frmMain::ApplyControlTexts(bool english) {
    const auto menus = MainControls::Menus();
    for (size_t i = 0; i < menus.size(); ++i) {
        const bool undoEntry = menus[i].kind == MenuKind::Undo || menus[i].kind == MenuKind::Redo;
        if (const char* text = InLanguage(menus[i].caption, english); text && !undoEntry)
            SetCaption(this, menuItems_[i], QString::fromUtf8(text));
    }
    const auto rows = MainControls::Controls();
    for (size_t i = 0; i < rows.size(); ++i) {
        const ControlRow& row = rows[i];
        QWidget* control = rowControls_[i];
        if (const char* text = InLanguage(row.caption, english))
            SetCaption(this, control, QString::fromUtf8(text));
        ApplyAccessibleTexts(row, control, english);
    }
}

// A frame is named by its caption, also inside another frame (Qt would lend it the outer
// frame's title); the page tabs answer to the tab row's own name.
void frmMain::ApplyAccessibleTexts(const ControlRow& row, QWidget* control, bool english) {
    const char* name = InLanguage(row.accessibleName, english);
    if (!name && (row.kind == Kind::Frame || row.kind == Kind::PageFrame))
        name = InLanguage(row.caption, english);
    QWidget* named = row.kind == Kind::Tabs ? MainTab->tabBar() : control;
    if (name)
        named->setAccessibleName(QString::fromUtf8(name));
    named->setAccessibleDescription(Description(row, english));
    if (const char* help = InLanguage(row.help, english))
        control->setToolTip(QString::fromUtf8(help));
}
