#include "ui/Accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFrame>
#include <QPointer>
#include <QTabBar>

#include <map>

namespace {

QString StripAmpersands(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == u'&')
            text.remove(i, 1); // "&&" leaves one
    return text;
}

// One tab of a tab row. Qt's own tab reports the row's state, so a tab that cannot be chosen
// would be heard as available.
class PageTab final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    PageTab(QTabBar* bar, int index) : bar_(bar), index_(index) {}

    bool isValid() const override { return bar_ && index_ < bar_->count(); }
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(bar_);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text t) const override {
        if (!isValid())
            return {};
        if (t == QAccessible::Name) {
            const QString name = bar_->accessibleTabName(index_);
            return name.isEmpty() ? StripAmpersands(bar_->tabText(index_)) : name;
        }
        return t == QAccessible::Description ? bar_->tabToolTip(index_) : QString();
    }

    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect tab = bar_->tabRect(index_);
        return {bar_->mapToGlobal(tab.topLeft()), tab.size()};
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const bool current = bar_->currentIndex() == index_;
        s.disabled = !bar_->isEnabled() || !bar_->isTabEnabled(index_);
        s.invisible = !bar_->isVisible() || !bar_->isTabVisible(index_);
        s.focusable = !s.disabled;
        s.focused = current && bar_->hasFocus();
        s.selectable = !s.disabled;
        s.selected = current;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction() && isValid() && bar_->isTabEnabled(index_))
            bar_->setCurrentIndex(index_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QTabBar> bar_;
    int index_;
};

// A tab row: named by its own accessible name where it has one (Qt's takes the current tab's
// caption), its children the tabs alone.
class PageTabList final : public QAccessibleWidget {
public:
    explicit PageTabList(QTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~PageTabList() override {
        for (const auto& [index, id] : tabs_)
            QAccessible::deleteAccessibleInterface(id);
    }
    PageTabList(const PageTabList&) = delete;
    PageTabList& operator=(const PageTabList&) = delete;

    int childCount() const override { return Bar()->count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= Bar()->count())
            return nullptr;
        if (const auto found = tabs_.find(index); found != tabs_.end())
            return QAccessible::accessibleInterface(found->second);
        auto* tab = new PageTab(Bar(), index);
        tabs_[index] = QAccessible::registerAccessibleInterface(tab);
        return tab;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (const auto& [index, id] : tabs_)
            if (QAccessible::accessibleInterface(id) == child)
                return index;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        return child(Bar()->tabAt(Bar()->mapFromGlobal(QPoint(x, y))));
    }
    QAccessibleInterface* focusChild() const override {
        return Bar()->hasFocus() ? child(Bar()->currentIndex()) : nullptr;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return child(Bar()->currentIndex()) ? child(Bar()->currentIndex())->text(t) : QString();
        return QAccessibleWidget::text(t);
    }

private:
    QTabBar* Bar() const { return static_cast<QTabBar*>(widget()); }
    mutable std::map<int, QAccessible::Id> tabs_;
};

// A line only separates: without this it would be read out under its frame's name.
class Separator final : public QAccessibleWidget {
public:
    explicit Separator(QWidget* line) : QAccessibleWidget(line, QAccessible::Separator) {}
    QString text(QAccessible::Text) const override { return {}; }
};

bool IsLine(QObject* object) {
    const auto* frame = qobject_cast<QFrame*>(object);
    return frame && (frame->frameShape() == QFrame::HLine || frame->frameShape() == QFrame::VLine);
}

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("QTabBar"))
        return new PageTabList(static_cast<QTabBar*>(object));
    if (className == QLatin1String("QFrame") && IsLine(object))
        return new Separator(static_cast<QWidget*>(object));
    if (className == QLatin1String("LampShape")) // named by its state in words
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StaticText);
    return nullptr;
}

} // namespace

void InstallAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    Q_UNUSED(installed);
}
