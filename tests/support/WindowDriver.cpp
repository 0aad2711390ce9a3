#include "tests/support/WindowDriver.h"

#include "ui/main/MainCommands.h"
#include "ui/main/frmMain.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>

namespace testing {

// An event loop that ends with the signal: QTest::qWaitFor would sleep 10 ms between its rounds,
// which slows the link's ticks to that pace.
bool AwaitSequenceEnd(frmMain& window, int timeoutMs) {
    MainCommands& commands = window.Commands();
    QSignalSpy ended(&commands, &MainCommands::SequenceEnded);
    return !commands.SequenceRunning() || ended.wait(timeoutMs);
}

void Reveal(frmMain& window, QWidget* widget) {
    for (int i = 0; i < window.MainTab->count(); ++i)
        if (window.MainTab->widget(i)->isAncestorOf(widget))
            window.MainTab->setCurrentIndex(i);
}

void Click(frmMain& window, QAbstractButton* button) {
    Reveal(window, button);
    const bool pushButton = qobject_cast<QPushButton*>(button) != nullptr;
    const QPoint where = pushButton ? button->rect().center() : QPoint(8, button->height() / 2);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, where);
}

void Type(frmMain& window, QLineEdit* box, const QString& text) {
    Reveal(window, box);
    box->setFocus(Qt::MouseFocusReason);
    box->selectAll();
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (text.isEmpty()) {
        QTest::keyClick(box, Qt::Key_Delete);
    } else if (ascii) {
        QTest::keyClicks(box, text);
    } else {
        // What an input method hands over when the operator commits full-width text.
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QApplication::sendEvent(box, &commit);
    }
}

namespace {

// Another program's window comes to the front, and the operator returns.
bool VisitAnotherWindow(frmMain& window) {
    QWidget other;
    other.setWindowTitle(QStringLiteral("another program"));
    other.show();
    other.activateWindow();
    if (!QTest::qWaitForWindowActive(&other))
        return false;
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// One notch of the mouse wheel over the widget, away from the focus.
void TurnWheel(QWidget* widget, int notches) {
    const QPointF at = QRectF(widget->rect()).center();
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

// Actions on the window as a whole; false when the verb is none of them.
bool PerformOnWindow(frmMain& window, const QString& verb, const QString& argument, bool& done) {
    done = true;
    if (verb == QLatin1String("present"))
        window.DispConfigData();
    else if (verb == QLatin1String("tab") && QApplication::focusWidget())
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    else if (verb == QLatin1String("away"))
        return VisitAnotherWindow(window);
    else if (verb == QLatin1String("expect")) {
        const QString mismatch = Mismatch(window, argument);
        if (!mismatch.isEmpty())
            qWarning("%s", qPrintable(mismatch));
        return mismatch.isEmpty();
    } else
        done = false;
    return true;
}

} // namespace

bool Perform(frmMain& window, const QString& action) {
    const QString verb = action.section(u' ', 0, 0);
    const QString name = action.section(u' ', 1, 1);
    const QString rest = action.section(u' ', 2);
    bool done = false;
    const bool result = PerformOnWindow(window, verb, name, done);
    if (done)
        return result;
    QWidget* widget = window.findChild<QWidget*>(name);
    if (!widget)
        return false;
    if (verb == QLatin1String("wheel")) {
        Reveal(window, widget);
        TurnWheel(widget, rest.toInt());
        return true;
    }
    if (verb == QLatin1String("type") || verb == QLatin1String("pass") ||
        verb == QLatin1String("keyin")) {
        auto* box = qobject_cast<QLineEdit*>(widget);
        if (!box || !box->isEnabled())
            return false;
        if (verb == QLatin1String("pass"))
            box->setFocus(Qt::TabFocusReason);
        else
            Type(window, box, rest);
        if (verb == QLatin1String("keyin"))
            return box->hasFocus();
        QTest::keyClick(box, Qt::Key_Tab);
        return !box->hasFocus();
    }
    if (verb == QLatin1String("click")) {
        auto* button = qobject_cast<QAbstractButton*>(widget);
        if (!button || !button->isEnabled())
            return false;
        Click(window, button);
        return true;
    }
    auto* slider = qobject_cast<QSlider*>(widget);
    if (!slider)
        return false;
    if (verb == QLatin1String("slider")) {
        slider->setValue(rest.toInt());
        return true;
    }
    if (verb == QLatin1String("key")) {
        Reveal(window, slider);
        slider->setFocus();
        QTest::keyClick(slider, rest == QLatin1String("Left") ? Qt::Key_Left : Qt::Key_Right);
        return true;
    }
    return false;
}

QString Mismatch(frmMain& window, const QString& expectation) {
    const QString name = expectation.section(u'=', 0, 0);
    const QString state = expectation.section(u'=', 1);
    auto* widget = window.findChild<QWidget*>(name);
    if (!widget)
        return QStringLiteral("no control ") + name;
    auto* button = qobject_cast<QAbstractButton*>(widget);
    QString actual;
    if (state == QLatin1String("checked") || state == QLatin1String("unchecked"))
        actual =
            button && button->isChecked() ? QStringLiteral("checked") : QStringLiteral("unchecked");
    else if (state == QLatin1String("enabled") || state == QLatin1String("disabled"))
        actual = widget->isEnabled() ? QStringLiteral("enabled") : QStringLiteral("disabled");
    else if (state == QLatin1String("visible") || state == QLatin1String("hidden"))
        actual =
            widget->isVisibleTo(&window) ? QStringLiteral("visible") : QStringLiteral("hidden");
    else if (state.startsWith(QLatin1String("text:"))) {
        if (auto* box = qobject_cast<QLineEdit*>(widget))
            actual = QStringLiteral("text:") + box->text();
        else if (auto* label = qobject_cast<QLabel*>(widget))
            actual = QStringLiteral("text:") + label->text();
    } else if (state.startsWith(QLatin1String("font:"))) {
        actual = QStringLiteral("font:") + QString::number(widget->font().pointSizeF());
    } else if (state.startsWith(QLatin1String("value:"))) {
        if (auto* slider = qobject_cast<QSlider*>(widget))
            actual = QStringLiteral("value:") + QString::number(slider->value());
    }
    return actual == state ? QString() : name + QStringLiteral(" is ") + actual;
}

namespace {

struct TreeWalk {
    QStringList problems;
    QHash<QString, int> focusableNames;
};

// Whether the interface says disabled exactly when its control (or tab) is.
bool StateAgrees(QAccessibleInterface* node) {
    const bool disabled = node->state().disabled;
    if (auto* widget = qobject_cast<QWidget*>(node->object()))
        return disabled == !widget->isEnabled();
    QAccessibleInterface* parent = node->parent();
    auto* bar = parent ? qobject_cast<QTabBar*>(parent->object()) : nullptr;
    return !bar || disabled == !bar->isTabEnabled(parent->indexOfChild(node));
}

void Walk(QAccessibleInterface* node, QStringList ancestors, TreeWalk& walk) {
    const QString name = node->text(QAccessible::Name);
    const QString where =
        QStringLiteral("%1 \"%2\"")
            .arg(node->object() ? node->object()->objectName() : QStringLiteral("<tab>"), name);
    if (node->state().focusable) {
        if (name.isEmpty())
            walk.problems << where + QStringLiteral(" has no name");
        ++walk.focusableNames[name];
    }
    if (!name.isEmpty() && ancestors.contains(name) && node->role() != QAccessible::StaticText)
        walk.problems << where + QStringLiteral(" borrows a frame's name");
    if (!StateAgrees(node))
        walk.problems << where + QStringLiteral(" reports the wrong enabled state");
    ancestors << name;
    for (int i = 0; i < node->childCount(); ++i)
        if (QAccessibleInterface* child = node->child(i))
            Walk(child, ancestors, walk);
}

} // namespace

QStringList AccessibilityProblems(QWidget* window) {
    TreeWalk walk;
    Walk(QAccessible::queryAccessibleInterface(window), {}, walk);
    for (auto name = walk.focusableNames.cbegin(); name != walk.focusableNames.cend(); ++name)
        if (name.value() > 1 && !name.key().isEmpty())
            walk.problems
                << QStringLiteral("%1 controls named \"%2\"").arg(name.value()).arg(name.key());
    return walk.problems;
}

} // namespace testing
