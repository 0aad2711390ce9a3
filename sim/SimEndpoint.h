#pragma once

#include "sim/DeviceModel.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

namespace sim {

// Reply bytes handed over at one time, this many ms after the command line was taken.
struct Delivery {
    double atMs;
    QByteArray bytes;
};

// The bytes of one reply as the faults put them on the line: CR LF (or CR CR LF) ended, an
// optional second line, split between CR and LF, in chunks, or one byte at a time at the line
// speed. commandBytes is the length of the command on the line, which the reply has to wait
// for; before and after go out with the reply (noise, an empty line).
QList<Delivery> FrameReply(const QString& reply, const Faults& faults, qsizetype commandBytes,
                           const QByteArray& before = {}, const QByteArray& after = {});

// The controller's end of the serial line. Bytes the host writes go in; every complete command
// line goes to the model; its reply comes out later through Output, never from inside Input.
class SimEndpoint : public QObject {
    Q_OBJECT
public:
    explicit SimEndpoint(DeviceModel& model, QObject* parent = nullptr);

    void Input(const QByteArray& bytes);
    // Forgets a half-received line and every reply not yet delivered.
    void Reset();
    bool HasPendingOutput() const { return !queue_.isEmpty(); }

    DeviceModel& Model() { return model_; }

signals:
    void Output(const QByteArray& bytes);

private:
    struct Due {
        qint64 atNs;
        QByteArray bytes;
    };

    // The deliveries of one reply, after delayMs of processing that starts once the command
    // before it has been processed.
    void Schedule(const QList<Delivery>& deliveries, double delayMs);
    void Answer(const QString& command, const QString& reply, qsizetype commandBytes);
    void DeliverDue();
    void ArmTimer();

    DeviceModel& model_;
    QByteArray line_;
    bool overlong_ = false; // the line outgrew any command: dropped at its end
    QList<Due> queue_;      // in time order
    qint64 processedUntilNs_ = 0;
    int replies_ = 0;             // since construction
    QHash<QString, int> answers_; // replies given to each command: the one-off faults are spent
    QString lastReply_;
    QElapsedTimer clock_;
    QTimer timer_;
};

} // namespace sim
