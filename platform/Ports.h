#pragma once

#include <QList>
#include <QString>

#include <optional>

// Which device "COM n" means on this machine, and the serial devices present.
namespace platform {

inline constexpr int kComPorts = 16;
inline constexpr const char* kPortsSection = "Ports";

enum class PortSource { Environment, Settings, Default };

struct PortMapping {
    QString device;
    PortSource source;
};

// COM n: "COMn" on Windows. Elsewhere $QMX_COM<n> when set, else key "COM<n>" of the
// settings section "Ports", else /dev/ttyS<n-1>.
PortMapping ComPortMapping(int portNumber);
QString ComPortDeviceName(int portNumber);

// Keeps COM n -> device in the settings file (empty device: forget the mapping); false when
// the settings file could not be written.
bool MapComPort(int portNumber, const QString& device);

struct SerialDevice {
    QString device;     // /dev/ttyUSB0, COM3
    QString stableName; // its /dev/serial/by-id link, when there is one
    QString description;
    QString manufacturer;
    QString serialNumber;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
};

QList<SerialDevice> SerialDevicesPresent();

// The device exists: one of those present, or a path that is there (a pseudo-terminal).
bool DevicePresent(const QString& device, const QList<SerialDevice>& present);

} // namespace platform
