#include "sim/SimEndpoint.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace sim {

namespace {

// Longer lines are noise, not commands: the controller drops them.
constexpr qsizetype kMaxLine = 256;

} // namespace

QList<Delivery> FrameReply(const QString& reply, const Faults& faults, qsizetype commandBytes,
                           const QByteArray& before, const QByteArray& after) {
    const QByteArray ending = faults.doubleCr ? "\r\r\n" : "\r\n";
    QByteArray bytes = before + reply.toLatin1() + ending;
    // Where the LF of the first line starts a later delivery.
    const qsizetype splitAt = faults.splitCrLf ? bytes.size() - 1 : -1;
    if (!faults.secondLine.isEmpty())
        bytes += faults.secondLine.toLatin1() + "\r\n";
    bytes += after;
    const double gap = faults.splitCrLf ? std::max(0, faults.splitGapMs) : 0.0;

    QList<Delivery> deliveries;
    if (faults.byteDelayMs > 0.0) {
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const double at = double(commandBytes + i + 1) * faults.byteDelayMs +
                              (splitAt >= 0 && i >= splitAt ? gap : 0.0);
            deliveries.append({at, bytes.mid(i, 1)});
        }
    } else if (faults.chunkBytes > 0) {
        for (qsizetype i = 0; i * faults.chunkBytes < bytes.size(); ++i)
            deliveries.append({double(i * std::max(0, faults.chunkGapMs)),
                               bytes.mid(i * faults.chunkBytes, faults.chunkBytes)});
    } else if (splitAt >= 0) {
        deliveries.append({0.0, bytes.left(splitAt)});
        deliveries.append({gap, bytes.mid(splitAt)});
    } else {
        deliveries.append({0.0, bytes});
    }
    return deliveries;
}

SimEndpoint::SimEndpoint(DeviceModel& model, QObject* parent) : QObject(parent), model_(model) {
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SimEndpoint::DeliverDue);
}

void SimEndpoint::Input(const QByteArray& bytes) {
    for (const char byte : bytes) {
        if (byte != '\n') {
            if (line_.size() < kMaxLine)
                line_.append(byte);
            else
                overlong_ = true;
            continue;
        }
        if (std::exchange(overlong_, false)) {
            line_.clear();
            continue;
        }
        if (line_.endsWith('\r'))
            line_.chop(1);
        const QString command = QString::fromLatin1(line_);
        const qsizetype commandBytes = line_.size() + 2;
        line_.clear();
        if (model_.faults.stalePrevious.contains(command) && !lastReply_.isEmpty())
            Schedule({{0.0, lastReply_.toLatin1() + "\r\n"}}, 0.0);
        if (const std::optional<QString> reply = model_.Respond(command))
            Answer(command, *reply, commandBytes);
    }
}

void SimEndpoint::Answer(const QString& command, const QString& reply, qsizetype commandBytes) {
    Faults faults = model_.faults;
    faults.doubleCr = faults.doubleCr || replies_++ < faults.doubleCrFirst;
    const int earlier = answers_[command]++;
    QByteArray before;
    QByteArray after;
    double delay = faults.processingMs + faults.lateMs.value(command, 0);
    if (earlier == 0) {
        before = (faults.emptyLineBefore.contains(command) ? QByteArray("\r\n") : QByteArray()) +
                 faults.noiseBefore.value(command);
        after = faults.noiseAfter.value(command);
        delay += faults.stallMs.value(command, 0);
    } else if (earlier == 1 && faults.repeatAfterMs.contains(command)) {
        delay = faults.repeatAfterMs.value(command); // counted from the reply before
        if (delay < 0)
            return;
    }
    lastReply_ = reply;
    Schedule(FrameReply(reply, faults, commandBytes, before, after), delay);
    if (earlier == 0 && faults.twiceGapMs.contains(command))
        Schedule(FrameReply(reply, faults, 0), std::max(0, faults.twiceGapMs.value(command)));
    if (earlier == 0 && faults.lineAfter.contains(command)) {
        const auto& [afterMs, line] = faults.lineAfter[command];
        Schedule({{0.0, line.toLatin1() + "\r\n"}}, std::max(0, afterMs));
    }
}

void SimEndpoint::Reset() {
    line_.clear();
    overlong_ = false;
    queue_.clear();
    processedUntilNs_ = 0;
    answers_.clear();
    lastReply_.clear();
    timer_.stop();
}

void SimEndpoint::Schedule(const QList<Delivery>& deliveries, double delayMs) {
    const qint64 now = clock_.nsecsElapsed();
    const qint64 start = std::max(now, processedUntilNs_) + qint64(std::llround(delayMs * 1e6));
    processedUntilNs_ = start;
    // One line: a reply cannot overtake the one before it.
    const qint64 lineFree = queue_.isEmpty() ? now : queue_.last().atNs;
    for (const Delivery& d : deliveries) {
        const qint64 at = std::max(start + qint64(std::llround(d.atMs * 1e6)), lineFree);
        queue_.append({at, d.bytes});
    }
    ArmTimer();
}

void SimEndpoint::DeliverDue() {
    // Whatever is due goes out in separate deliveries, in order.
    while (!queue_.isEmpty() && queue_.first().atNs <= clock_.nsecsElapsed()) {
        const QByteArray bytes = queue_.takeFirst().bytes;
        emit Output(bytes);
    }
    ArmTimer();
}

void SimEndpoint::ArmTimer() {
    if (queue_.isEmpty()) {
        timer_.stop();
        return;
    }
    const qint64 waitNs = std::max<qint64>(0, queue_.first().atNs - clock_.nsecsElapsed());
    timer_.start(int((waitNs + 999999) / 1000000));
}

} // namespace sim
