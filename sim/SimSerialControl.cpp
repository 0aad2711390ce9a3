#include "sim/SimSerialControl.h"

namespace sim {

SimSerialControl::SimSerialControl(DeviceModel& model, QObject* parent)
    : platform::SerialControl(parent), model_(model), endpoint_(model) {
    connect(&endpoint_, &SimEndpoint::Output, this, &SimSerialControl::Arrived);
}

bool SimSerialControl::Open(const QString& device, const QString& settings) {
    if (!openError_.isEmpty()) {
        errorText_ = openError_;
        return false;
    }
    device_ = device;
    settings_ = settings;
    inbox_.clear();
    endpoint_.Reset();
    open_ = true;
    return true;
}

void SimSerialControl::Close() {
    open_ = false;
    rts_ = false;
    dtr_ = false;
    inbox_.clear();
    endpoint_.Reset();
}

void SimSerialControl::Unplug() {
    if (!open_)
        return;
    Close();
    errorText_ = QStringLiteral("The device went away");
    emit Lost();
}

bool SimSerialControl::CtsHolding() {
    return open_ && !model_.faults.ctsLow;
}

bool SimSerialControl::Write(const QByteArray& data) {
    if (!open_)
        return false;
    written_ += data;
    endpoint_.Input(data);
    return true;
}

QByteArray SimSerialControl::ReadAll() {
    QByteArray bytes;
    bytes.swap(inbox_);
    return bytes;
}

void SimSerialControl::Arrived(const QByteArray& bytes) {
    if (!open_)
        return;
    inbox_ += bytes;
    // The receive event comes from the event loop, as a port's would: its handler waits
    // inside, and must not hold up the deliveries that follow.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (open_)
                emit Received();
        },
        Qt::QueuedConnection);
}

} // namespace sim
