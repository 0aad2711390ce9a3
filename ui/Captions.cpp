#include "ui/Captions.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>

namespace {

// The tab control whose page this is, if it is one.
QTabWidget* TabsOf(QWidget* page) {
    for (QWidget* up = page->parentWidget(); up; up = up->parentWidget())
        if (auto* tabs = qobject_cast<QTabWidget*>(up))
            return tabs->indexOf(page) >= 0 ? tabs : nullptr;
    return nullptr;
}

} // namespace

void SetCaption(QWidget* window, QObject* control, const QString& text) {
    if (control == window) {
        window->setWindowTitle(text);
    } else if (auto* action = qobject_cast<QAction*>(control)) {
        if (!action->isSeparator())
            action->setText(text);
    } else if (auto* menu = qobject_cast<QMenu*>(control)) {
        menu->setTitle(text);
    } else if (auto* frame = qobject_cast<QGroupBox*>(control)) {
        frame->setTitle(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    } else if (auto* page = qobject_cast<QWidget*>(control)) {
        if (QTabWidget* tabs = TabsOf(page))
            tabs->setTabText(tabs->indexOf(page), text);
    }
}

void ApplyCaptions(QWidget* window, std::span<const Caption> table, bool english) {
    for (const Caption& caption : table) {
        const char* text = english ? caption.english : caption.japanese;
        if (!text)
            continue;
        const QString name = QLatin1String(caption.control);
        QObject* control =
            name == window->objectName() ? window : window->findChild<QObject*>(name);
        Q_ASSERT_X(control, "ApplyCaptions", caption.control);
        if (control)
            SetCaption(window, control, QString::fromUtf8(text));
    }
}
