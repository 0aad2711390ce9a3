// A program of its own on the core's API: identify a controller and load its parameters, then
// print them. Against the simulated controller in-process, or a real port:
//
//   build/load-example                      the simulated controller
//   build/load-example /dev/ttyUSB0         a controller on that port

#include "link/ComSupport.h"
#include "link/QMXModule.h"
#include "shell/RecordFields.h"
#include "sim/DeviceModel.h"
#include "sim/SimSerialControl.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

void Print(const ControllerInfo& info, const ConfigRecord& record) {
    std::printf("%s, serial number %s, version %s\n", qUtf8Printable(info.ControllerName),
                qUtf8Printable(info.ControllerSerialNo),
                qUtf8Printable(info.ControllerVersionText));
    for (const RecordField* field : RecordFields::FileFields())
        std::printf("%s = %s\n", qUtf8Printable(RecordFields::Name(*field)),
                    qUtf8Printable(RecordFields::ShowValue(*field, record)));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString device = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    // The link counts the ticks of a timer of this program's own; QMX_TRACE=FILE traces it.
    ComSupport link(Language::English());
    QString traceError;
    if (qEnvironmentVariableIsSet("QMX_TRACE") &&
        !link.Trace().StartFile(qEnvironmentVariable("QMX_TRACE"), traceError))
        std::fprintf(stderr, "%s\n", qUtf8Printable(traceError));
    QTimer* ticks = MakeTickTimer(&app);
    link.UseTicksOf(ticks);
    ticks->start();

    sim::DeviceModel model;
    sim::SimSerialControl simulated(model);
    if (device.isEmpty())
        link.SetSerialControl(&simulated);
    link.ComInit(1, 1); // COM 1, 9600 bit/s
    if (const Result opened = link.ComOpenDevice(device.isEmpty() ? QStringLiteral("sim") : device);
        !opened) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(opened.failure()->text));
        return 2;
    }

    ControllerInfo info;
    ConfigRecord record = FactoryDefaults();
    const auto failed = [&app](const Result& result) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(result.failure()->text));
        app.exit(2);
    };
    // Each series returns at once; its Finished comes from the event loop below.
    Series* identify = QMXModule::ConnectController(link, info, nullptr);
    QObject::connect(identify, &Series::Finished, [&](const Result& identified) {
        if (!identified)
            return failed(identified);
        Series* load = QMXModule::LoadConfigFromController(link, record, nullptr);
        QObject::connect(load, &Series::Progress,
                         [](int value) { std::fprintf(stderr, "\r%3d %%", value); });
        QObject::connect(load, &Series::Finished, [&](const Result& loaded) {
            std::fprintf(stderr, "\r      \r");
            if (!loaded)
                return failed(loaded);
            Print(info, record);
            app.exit(0);
        });
    });
    const int code = QCoreApplication::exec();
    link.ComClose();
    return code;
}
