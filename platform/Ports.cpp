#include "platform/Ports.h"

#include "platform/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace platform {

namespace {

QString Key(int portNumber) {
    return QStringLiteral("COM%1").arg(portNumber);
}

// The /dev/serial/by-id name of a device: it survives replugging, unlike ttyUSB numbers.
QString StableName(const QString& device) {
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    const QString target = QFileInfo(device).canonicalFilePath();
    for (const QFileInfo& link :
         byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (!target.isEmpty() && link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    return {};
}

} // namespace

PortMapping ComPortMapping(int portNumber) {
#ifdef Q_OS_WIN
    return {QStringLiteral("COM%1").arg(portNumber), PortSource::Default};
#else
    const QByteArray fromEnvironment =
        qgetenv(QByteArray("QMX_COM") + QByteArray::number(portNumber));
    if (!fromEnvironment.isEmpty())
        return {QString::fromLocal8Bit(fromEnvironment), PortSource::Environment};
    const QString fromSettings =
        GetSetting(QLatin1String(kSettingsApp), QLatin1String(kPortsSection), Key(portNumber), {});
    if (!fromSettings.isEmpty())
        return {fromSettings, PortSource::Settings};
    return {QStringLiteral("/dev/ttyS%1").arg(portNumber - 1), PortSource::Default};
#endif
}

QString ComPortDeviceName(int portNumber) {
    return ComPortMapping(portNumber).device;
}

bool MapComPort(int portNumber, const QString& device) {
    if (device.isEmpty())
        return RemoveSetting(QLatin1String(kSettingsApp), QLatin1String(kPortsSection),
                             Key(portNumber));
    return SaveSetting(QLatin1String(kSettingsApp), QLatin1String(kPortsSection), Key(portNumber),
                       device);
}

bool DevicePresent(const QString& device, const QList<SerialDevice>& present) {
    for (const SerialDevice& d : present)
        if (d.device == device || QFileInfo(d.device).fileName() == device)
            return true;
    return QFileInfo::exists(device);
}

QList<SerialDevice> SerialDevicesPresent() {
    QList<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDevice d;
        d.device = info.systemLocation();
        d.stableName = StableName(d.device);
        d.description = info.description();
        d.manufacturer = info.manufacturer();
        d.serialNumber = info.serialNumber();
        if (info.hasVendorIdentifier())
            d.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            d.productId = info.productIdentifier();
        devices.append(d);
    }
    return devices;
}

} // namespace platform
