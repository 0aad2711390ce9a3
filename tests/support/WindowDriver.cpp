#include "tests/support/WindowDriver.h"

#include "ui/main/frmMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>

namespace testing {

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

} // namespace testing
