#pragma once

#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"

#include <QPointer>
#include <QWidget>

// Message boxes shown as real dialogs, owned by the main window.
class WidgetMessageBoxes : public platform::MessageBoxes {
public:
    explicit WidgetMessageBoxes(QWidget* owner) : owner_(owner) {}
    platform::MsgAnswer Show(const QString& text, const QString& title, platform::MsgIcon icon,
                             platform::MsgButtons buttons, const QString& details = {}) override;

private:
    QPointer<QWidget> owner_;
};

// The platform's open and save dialogs. Names come back exactly as chosen: no extension is
// added and nothing is asked before replacing, the file operations check for themselves.
class WidgetFileDialogs : public platform::FileDialogs {
public:
    explicit WidgetFileDialogs(QWidget* owner) : owner_(owner) {}
    QString OpenFileName(const QString& title, const QString& filter) override;
    QString SaveFileName(const QString& title, const QString& filter) override;

    // "Description (*.QMX)|*.QMX" -> "Description (*.QMX)"; several pairs are joined by ";;".
    static QString QtFilter(const QString& filter);

private:
    QPointer<QWidget> owner_;
};
