#include "platform/QtSerialControl.h"

#include "shell/MainModule.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QStringList>

#include <optional>

namespace platform {

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

// The lock file another program holds on the device, where serial programs keep them.
QString HolderOfLock(const QString& device) {
    const QString name =
        QStringLiteral("LCK..") +
        QString(device).remove(QRegularExpression(QStringLiteral("^/dev/"))).replace(u'/', u'_');
    for (const char* dir : {"/var/lock", "/run/lock", "/etc/locks", "/var/spool/locks",
                            "/var/spool/uucp", "/tmp", "/var/tmp", "/var/lock/lockdev"}) {
        QString path = QDir(QLatin1String(dir)).filePath(name);
        if (!QFileInfo::exists(path))
            continue;
        qint64 pid = 0;
        QString host;
        QString app;
        QLockFile lock(path);
        if (lock.getLockInfo(&pid, &host, &app))
            return QStringLiteral("%1 (%2 %3)")
                .arg(path, app.isEmpty() ? QStringLiteral("?") : app)
                .arg(pid);
        return path;
    }
    return {};
}

} // namespace

QtSerialControl::QtSerialControl(QObject* parent) : SerialControl(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialControl::Received);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialControl::OnError);
}

bool QtSerialControl::Open(const QString& device, const QString& settings) {
    const auto line = ParseSettings(settings);
    if (!line) {
        errorText_ = QStringLiteral("Invalid port settings: %1").arg(settings);
        return false;
    }
    if (port_.isOpen())
        port_.close();
    if (device.isEmpty()) {
        errorText_ = MainModule::JaEn(QStringLiteral("シリアルポートが指定されていません。"),
                                      QStringLiteral("No serial device given."));
        return false;
    }
    port_.setPortName(device);
    port_.setBaudRate(line->baudRate);
    port_.setParity(line->parity);
    port_.setDataBits(line->dataBits);
    port_.setStopBits(line->stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        errorText_ = DescribeOpenFailure(device, port_.error(), port_.errorString());
        return false;
    }
    return true;
}

void QtSerialControl::Close() {
    if (port_.isOpen())
        port_.close();
}

bool QtSerialControl::IsOpen() const {
    return port_.isOpen();
}

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

QByteArray QtSerialControl::ReadAll() {
    return port_.isOpen() ? port_.readAll() : QByteArray();
}

QString QtSerialControl::ErrorText() const {
    return errorText_;
}

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

namespace platform {

QString DescribeOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                            const QString& platformText) {
    using MainModule::JaEn;
    QString head = QStringLiteral("%1: %2").arg(device, platformText);
    if (error == QSerialPort::DeviceNotFoundError)
        return head + u'\n' +
               JaEn(QStringLiteral("ケーブルとアダプタを確認してください。"
                                   "接続されているポートは「qmxcli ports」で確認できます。"),
                    QStringLiteral("Check the cable and the adapter; \"qmxcli ports\" lists the "
                                   "serial devices present."));
    if (error != QSerialPort::PermissionError)
        return head;
    if (const QString holder = HolderOfLock(device); !holder.isEmpty())
        return head + u'\n' +
               JaEn(QStringLiteral(
                        "他のプログラムが使用中です (ロック %1)。そのプログラムを終了してから"
                        "やり直してください。")
                        .arg(holder),
                    QStringLiteral("The port is in use by another program (lock %1). Close that "
                                   "program and try again.")
                        .arg(holder));
    const QFileInfo info(device);
    if (info.exists() && !(info.isReadable() && info.isWritable())) {
        const QString group = info.group();
        return head + u'\n' +
               JaEn(
                   QStringLiteral(
                       "このデバイスはグループ「%1」に属しています。ユーザーをこのグループに"
                       "追加し (sudo usermod -a -G %1 $USER)、ログインし直してください。")
                       .arg(group),
                   QStringLiteral("The device belongs to group \"%1\". Add your user to that group "
                                  "(sudo usermod -a -G %1 $USER) and log in again.")
                       .arg(group));
    }
    return head + u'\n' +
           JaEn(QStringLiteral("他のプログラムが使用中の可能性があります。"),
                QStringLiteral("Another program may be using the port."));
}

} // namespace platform
