#pragma once

#include "platform/SerialControl.h"

#include <QSerialPort>

namespace platform {

// The serial control on a real port (or a pseudo-terminal) through QSerialPort.
class QtSerialControl : public SerialControl {
    Q_OBJECT
public:
    explicit QtSerialControl(QObject* parent = nullptr);

    bool Open(const QString& device, const QString& settings) override;
    void Close() override;
    bool IsOpen() const override;
    void SetRts(bool on) override;
    void SetDtr(bool on) override;
    bool CtsHolding() override;
    bool Write(const QByteArray& data) override;
    QByteArray ReadAll() override;
    QString ErrorText() const override;
    OpenFailure LastOpenFailure() const override { return failure_; }

private:
    void OnError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    QString errorText_;
    OpenFailure failure_;
};

// What kept the device from opening: the program holding it, the group that may use it, a
// device that is not there.
OpenFailure ExplainOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                               const QString& platformText);

} // namespace platform
