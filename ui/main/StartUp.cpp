#include "ui/main/StartUp.h"

#include "link/ComSupport.h"
#include "link/WireTrace.h"
#include "shell/MainModule.h"
#include "shell/StatusMessages.h"
#include "ui/main/MainCommands.h"
#include "ui/main/frmMain.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTabWidget>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

namespace {

// QMX_TRACE=FILE: the wire trace for service staff, appended to FILE.
void StartTraceFromEnvironment() {
    const QString path = qEnvironmentVariable("QMX_TRACE");
    QString error;
    if (path.isEmpty() || WireTrace::StartFile(path, error))
        return;
    std::fprintf(stderr, "qmxconfig: cannot write the trace: %s\n", qUtf8Printable(error));
}

// Qt's own texts (standard buttons, file dialogs, context menus) in the window's language.
// Without Qt's Japanese translations installed they stay English; nothing else changes.
void LoadQtTranslation() {
    static QPointer<QTranslator> translator;
    if (!translator)
        translator = new QTranslator(QCoreApplication::instance());
    QCoreApplication::removeTranslator(translator);
    if (MainModule::English())
        return;
    if (translator->load(QStringLiteral("qtbase_ja"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

} // namespace

frmMain* StartProgram(const QString& commandLine) {
    MainModule::InitProgram(commandLine);
    LoadQtTranslation();

    // Loading the window restores its placement, presents the record and picks the language.
    auto* window = new frmMain;
    new MainCommands(*window);
    window->show();

    window->setWindowTitle(MainModule::WindowTitle());
    window->SetFileEntriesEnabled(false);
    if (!IsTrue(MainModule::State.ExtendedMode)) {
        window->MainTab->setTabEnabled(3, false);
        window->MainTab->setTabEnabled(4, false);
    }
    window->DispStatusMsg(StatusMsg::Welcome);

    ComSupport::Link.ReplyTicks = 0;
    ComSupport::Link.WaitTicks = 0;
    window->Timer1->setInterval(ComSupport::kTickMs);
    window->Timer1->start();

    ComSupport::ComInit(MainModule::Options.ComPort, MainModule::Options.ComSpeed);
    StartTraceFromEnvironment();
    return window;
}
