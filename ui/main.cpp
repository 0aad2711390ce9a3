#include "ui/main/StartUp.h"
#include "ui/main/frmMain.h"

#include <QApplication>

#include <memory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qmxconfig"));
    // Dialogs and message boxes share the main window's Japanese font.
    QApplication::setFont(frmMain::UiFont());

    QStringList arguments = QApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();
    const std::unique_ptr<frmMain> window(StartProgram(arguments.join(u' ')));
    return QApplication::exec();
}
