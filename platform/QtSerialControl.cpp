#include "platform/QtSerialControl.h"

#include <QStringList>

#include <optional>

namespace platform {

QString ComPortDeviceName(int portNumber) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    const QByteArray mapped = qgetenv(QByteArray("QMX_COM") + QByteArray::number(portNumber));
    if (!mapped.isEmpty())
        return QString::fromLocal8Bit(mapped);
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

namespace {

struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// "9600,N,8,1": speed, parity letter, data bits, stop bits.
std::optional<LineSettings> ParseSettings(const QString& settings) {
    const QStringList parts = settings.split(u',');
    if (parts.size() != 4)
        return std::nullopt;
    LineSettings s;
    bool ok = false;
    s.baudRate = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baudRate <= 0)
        return std::nullopt;
    const QString parity = parts[1].trimmed().toUpper();
    if (parity == u"N")
        s.parity = QSerialPort::NoParity;
    else if (parity == u"E")
        s.parity = QSerialPort::EvenParity;
    else if (parity == u"O")
        s.parity = QSerialPort::OddParity;
    else
        return std::nullopt;
    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return std::nullopt;
    s.dataBits = static_cast<QSerialPort::DataBits>(bits);
    const QString stop = parts[3].trimmed();
    if (stop == u"1")
        s.stopBits = QSerialPort::OneStop;
    else if (stop == u"2")
        s.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return s;
}

} // namespace

QtSerialControl::QtSerialControl(QObject* parent) : SerialControl(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialControl::Received);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialControl::OnError);
}

bool QtSerialControl::Open(int portNumber, const QString& settings) {
    const auto line = ParseSettings(settings);
    if (!line) {
        errorText_ = QStringLiteral("Invalid port settings: %1").arg(settings);
        return false;
    }
    if (port_.isOpen())
        port_.close();
    const QString device = ComPortDeviceName(portNumber);
    port_.setPortName(device);
    port_.setBaudRate(line->baudRate);
    port_.setParity(line->parity);
    port_.setDataBits(line->dataBits);
    port_.setStopBits(line->stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        errorText_ = QStringLiteral("%1: %2").arg(device, port_.errorString());
        return false;
    }
    return true;
}

void QtSerialControl::Close() {
    if (port_.isOpen())
        port_.close();
}

bool QtSerialControl::IsOpen() const { return port_.isOpen(); }

// A pseudo-terminal has no modem lines; the failure is harmless there.
void QtSerialControl::SetRts(bool on) {
    if (port_.isOpen())
        port_.setRequestToSend(on);
}

void QtSerialControl::SetDtr(bool on) {
    if (port_.isOpen())
        port_.setDataTerminalReady(on);
}

bool QtSerialControl::CtsHolding() {
    if (!port_.isOpen())
        return false;
    const QSerialPort::PinoutSignals pins = port_.pinoutSignals();
    if (port_.error() == QSerialPort::UnsupportedOperationError) {
        port_.clearError();
        return true;
    }
    return pins.testFlag(QSerialPort::ClearToSendSignal);
}

bool QtSerialControl::Write(const QByteArray& data) {
    if (!port_.isOpen())
        return false;
    return port_.write(data) == data.size();
}

QByteArray QtSerialControl::ReadAll() { return port_.isOpen() ? port_.readAll() : QByteArray(); }

QString QtSerialControl::ErrorText() const { return errorText_; }

void QtSerialControl::OnError(QSerialPort::SerialPortError error) {
    // A vanished device (or the far end of a pty closing) raises these over and over:
    // close at once so the link fails its attempt instead of spinning.
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
        error == QSerialPort::WriteError) {
        errorText_ = port_.errorString();
        if (port_.isOpen()) {
            port_.close();
            emit Lost();
        }
    }
}

} // namespace platform
