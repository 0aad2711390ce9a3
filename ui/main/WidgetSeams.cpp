#include "ui/main/WidgetSeams.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

platform::MsgAnswer WidgetMessageBoxes::Show(const QString& text, const QString& title,
                                             platform::MsgIcon icon, platform::MsgButtons buttons,
                                             const QString& details) {
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
    case platform::MsgIcon::Critical:
        boxIcon = QMessageBox::Critical;
        break;
    case platform::MsgIcon::Warning:
        boxIcon = QMessageBox::Warning;
        break;
    case platform::MsgIcon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case platform::MsgIcon::None:
        break;
    }
    const bool question = buttons == platform::MsgButtons::YesNo;
    QMessageBox box(boxIcon, title, text,
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner_);
    if (!details.isEmpty())
        box.setInformativeText(details);
    if (question) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    // A box shown while a series holds the window is answered with the ordinary pointer.
    const bool busy = QGuiApplication::overrideCursor() != nullptr;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (busy)
        QGuiApplication::restoreOverrideCursor();
    if (!question)
        return platform::MsgAnswer::Ok;
    return answer == QMessageBox::Yes ? platform::MsgAnswer::Yes : platform::MsgAnswer::No;
}

QString WidgetFileDialogs::QtFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString pattern = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
        // Qt takes the patterns from the parentheses; add them where the description has none.
        if (pattern.isEmpty() || description.contains(u'('))
            entries.append(description);
        else
            entries.append(
                QStringLiteral("%1 (%2)").arg(description, pattern.split(u';').join(u' ')));
    }
    return entries.join(QStringLiteral(";;"));
}

namespace {
QString RunFileDialog(QWidget* owner, const QString& title, const QString& filter, bool save) {
    QFileDialog dialog(owner, title, QString(), WidgetFileDialogs::QtFilter(filter));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A name that does not exist is handed on; opening it then reports the missing file.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
} // namespace

QString WidgetFileDialogs::OpenFileName(const QString& title, const QString& filter) {
    return RunFileDialog(owner_, title, filter, false);
}

QString WidgetFileDialogs::SaveFileName(const QString& title, const QString& filter) {
    return RunFileDialog(owner_, title, filter, true);
}
