#pragma once

#include "platform/SerialControl.h"
#include "sim/DeviceModel.h"
#include "sim/SimEndpoint.h"

namespace sim {

// A serial control with the simulated controller at the other end of the line, in-process:
// for tests of the link and of everything built on it.
class SimSerialControl : public platform::SerialControl {
    Q_OBJECT
public:
    explicit SimSerialControl(DeviceModel& model, QObject* parent = nullptr);

    bool Open(const QString& device, const QString& settings) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    void SetRts(bool on) override { rts_ = on; }
    void SetDtr(bool on) override { dtr_ = on; }
    // Follows the model's ctsLow fault; a closed port signals nothing.
    bool CtsHolding() override;
    // Takes the bytes to the controller; its replies arrive later through Received.
    bool Write(const QByteArray& data) override;
    QByteArray ReadAll() override;
    QString ErrorText() const override { return errorText_; }

    // Makes every Open fail with this text (empty: opens normally).
    void SetOpenError(const QString& text) { openError_ = text; }
    // Closes the port as if the device had gone away, and says so through Lost.
    void Unplug();

    bool Rts() const { return rts_; }
    bool Dtr() const { return dtr_; }
    QString Device() const { return device_; }
    QString Settings() const { return settings_; }
    // Every byte written since construction, command line endings included.
    const QByteArray& Written() const { return written_; }
    // A reply still on its way.
    bool ReplyPending() const { return endpoint_.HasPendingOutput(); }

private:
    void Arrived(const QByteArray& bytes);

    DeviceModel& model_;
    SimEndpoint endpoint_;
    bool open_ = false;
    bool rts_ = false;
    bool dtr_ = false;
    QString device_;
    QString settings_;
    QString openError_;
    QString errorText_;
    QByteArray inbox_;
    QByteArray written_;
};

} // namespace sim
