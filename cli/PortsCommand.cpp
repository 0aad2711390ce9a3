#include "cli/Cli.h"

#include "files/ParameterText.h"
#include "platform/Ports.h"
#include "platform/SettingsStore.h"

#include <QJsonArray>
#include <QTextStream>

#include <cstdio>

namespace cli {

namespace {

QString SourceText(platform::PortSource source, int portNumber) {
    switch (source) {
    case platform::PortSource::Environment:
        return QStringLiteral("$QMX_COM%1").arg(portNumber);
    case platform::PortSource::Settings:
        return QStringLiteral("settings file");
    case platform::PortSource::Default:
        break;
    }
    return QStringLiteral("default");
}

QString UsbIds(const platform::SerialDevice& d) {
    if (!d.vendorId || !d.productId)
        return {};
    return QStringLiteral("USB %1:%2")
        .arg(*d.vendorId, 4, 16, QLatin1Char('0'))
        .arg(*d.productId, 4, 16, QLatin1Char('0'));
}

QJsonObject JsonDevice(const platform::SerialDevice& d) {
    QJsonObject device{{QStringLiteral("device"), d.device},
                       {QStringLiteral("stableName"), d.stableName},
                       {QStringLiteral("description"), d.description},
                       {QStringLiteral("manufacturer"), d.manufacturer},
                       {QStringLiteral("serialNumber"), d.serialNumber}};
    if (d.vendorId && d.productId) {
        device.insert(QStringLiteral("vendorId"), *d.vendorId);
        device.insert(QStringLiteral("productId"), *d.productId);
    }
    return device;
}

void PrintJson(const QList<platform::SerialDevice>& present) {
    QJsonArray devices;
    for (const platform::SerialDevice& d : present)
        devices.append(JsonDevice(d));
    QJsonArray ports;
    for (int n = 1; n <= platform::kComPorts; ++n) {
        const platform::PortMapping m = platform::ComPortMapping(n);
        ports.append(
            QJsonObject{{QStringLiteral("port"), n},
                        {QStringLiteral("device"), m.device},
                        {QStringLiteral("source"), SourceText(m.source, n)},
                        {QStringLiteral("present"), platform::DevicePresent(m.device, present)}});
    }
    cli::PrintJson({{QStringLiteral("devices"), devices},
                    {QStringLiteral("comPorts"), ports},
                    {QStringLiteral("settingsFile"),
                     platform::SettingsFilePath(QLatin1String(platform::kSettingsApp))}});
}

void ListDevices(const QList<platform::SerialDevice>& present) {
    Out() << "Serial devices present:\n";
    if (present.isEmpty())
        Out() << "  none\n";
    for (const platform::SerialDevice& d : present) {
        QStringList facts;
        for (const QString& fact :
             {d.description, d.manufacturer,
              d.serialNumber.isEmpty() ? QString() : QStringLiteral("serial ") + d.serialNumber,
              UsbIds(d)})
            if (!fact.isEmpty())
                facts << fact;
        Out() << "  " << d.device;
        if (!facts.isEmpty())
            Out() << "  " << facts.join(QStringLiteral(", "));
        Out() << '\n';
        if (!d.stableName.isEmpty())
            Out() << "    " << d.stableName << '\n';
    }
}

void ListMapping(const QList<platform::SerialDevice>& present) {
    Out() << "COM ports:\n";
    for (int n = 1; n <= platform::kComPorts; ++n) {
        const platform::PortMapping m = platform::ComPortMapping(n);
        Out() << QStringLiteral("  COM%1").arg(n).leftJustified(8) << m.device.leftJustified(28)
              << ' ' << SourceText(m.source, n).leftJustified(14) << ' '
              << (platform::DevicePresent(m.device, present) ? "present" : "not present") << '\n';
    }
    Out() << "Settings file: " << platform::SettingsFilePath(QLatin1String(platform::kSettingsApp))
          << '\n';
}

} // namespace

int Ports(Run& /*run*/, const Invocation& call) {
    if (call.mapPort == 0) {
        const QList<platform::SerialDevice> present = platform::SerialDevicesPresent();
        if (call.json) {
            PrintJson(present);
            return kOk;
        }
        ListDevices(present);
        ListMapping(present);
        return kOk;
    }
    const QString device = call.unmap ? QString() : call.files.at(0);
    if (!platform::MapComPort(call.mapPort, device)) {
        Complain(QStringLiteral("cannot write the settings file %1; the mapping is unchanged")
                     .arg(platform::SettingsFilePath(QLatin1String(platform::kSettingsApp))));
        return kFailed;
    }
    // What COM N means now; the device mapped, when it was mapped.
    const platform::PortMapping now = platform::ComPortMapping(call.mapPort);
    const QString shown = call.unmap ? now.device : device;
    const bool present = platform::DevicePresent(shown, platform::SerialDevicesPresent());
    if (call.json)
        cli::PrintJson({{QStringLiteral("device"), shown},
                        {QStringLiteral("source"), SourceText(now.source, call.mapPort)},
                        {QStringLiteral("present"), present}});
    else
        Out() << QStringLiteral("COM%1 -> %2%3\n")
                     .arg(call.mapPort)
                     .arg(ParameterText::Printable(shown, 200),
                          call.unmap ? QStringLiteral(" (mapping removed)") : QString());
    if (!call.unmap && !present)
        std::fprintf(stderr, "qmxcli: note: %s is not present now\n",
                     qUtf8Printable(ParameterText::Printable(device, 200)));
    if (now.source == platform::PortSource::Environment)
        std::fprintf(stderr, "qmxcli: note: $QMX_COM%d is set and takes precedence\n",
                     call.mapPort);
    return kOk;
}

} // namespace cli
