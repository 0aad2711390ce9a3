#include "ui/main/StartUp.h"

#include "link/ComSupport.h"
#include "link/WireTrace.h"
#include "shell/MainModule.h"
#include "shell/StatusMessages.h"
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
void StartTraceFromEnvironment(WireTrace& trace) {
    const QString path = qEnvironmentVariable("QMX_TRACE");
    QString error;
    if (path.isEmpty() || trace.StartFile(path, error))
        return;
    std::fprintf(stderr, "qmxconfig: cannot write the trace: %s\n", qUtf8Printable(error));
}

// Qt's own texts (standard buttons, file dialogs, context menus) in the window's language.
// Without Qt's Japanese translations installed they stay English; nothing else changes.
void LoadQtTranslation(Language language) {
    static QPointer<QTranslator> translator;
    if (!translator)
        translator = new QTranslator(QCoreApplication::instance());
    QCoreApplication::removeTranslator(translator);
    if (language.IsEnglish())
        return;
    if (translator->load(QStringLiteral("qtbase_ja"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

} // namespace

frmMain* StartProgram(const QString& commandLine, WindowSeams seams) {
    // Loading the window takes the command line, restores its placement, presents the record
    // and picks the language.
    auto* window = new frmMain(commandLine, seams);
    LoadQtTranslation(window->Lang());
    window->show();

    const Program& program = window->program();
    window->setWindowTitle(MainModule::WindowTitle(window->Lang()));
    window->SetFileEntriesEnabled(false);
    if (!IsTrue(program.State.ExtendedMode)) {
        window->MainTab->setTabEnabled(3, false);
        window->MainTab->setTabEnabled(4, false);
    }
    window->DispStatusMsg(StatusMsg::Welcome);

    window->Timer1->setInterval(ComSupport::kTickMs);
    window->Timer1->start();

    window->Link().ComInit(program.Options.ComPort, program.Options.ComSpeed);
    StartTraceFromEnvironment(window->Link().Trace());
    return window;
}
