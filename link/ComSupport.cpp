#include "link/ComSupport.h"

#include "link/WireTrace.h"
#include "platform/MessageBoxes.h"
#include "platform/Ports.h"
#include "platform/QtSerialControl.h"
#include "shell/LineSpeeds.h"
#include "shell/MainModule.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace ComSupport {

LinkState Link;

namespace {

QPointer<platform::SerialControl> control;
QMetaObject::Connection receivedConnection;

// Lets pending events run, sleeping until at least one arrives (a tick at the latest).
void PumpEvents() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void Attach(platform::SerialControl* serial) {
    QObject::disconnect(receivedConnection);
    control = serial;
    if (serial)
        receivedConnection =
            QObject::connect(serial, &platform::SerialControl::Received, &ComReceive);
}

void DiscardPendingInput() {
    platform::SerialControl& serial = Serial();
    while (!serial.ReadAll().isEmpty()) {
    }
    // Characters of an earlier reply that never completed would otherwise stand in front of
    // this one.
    Link.ReceiveBuffer.clear();
    Link.ReplyComplete = kFalse;
}

// Waits out the replies to attempts that timed out, so that none is taken for the next
// command. pending replies may still come, each up to window ticks after the one before (a
// controller that answers late answers its repeats as late, one after the other); once they
// are in, one quiet reply time-out ends the wait. Returns false when a line differs from the
// reply taken: which reply belongs to which attempt cannot be told.
bool DrainLateReplies(const QString* taken, int pending, int window) {
    platform::SerialControl& serial = Serial();
    const auto restart = [&] {
        Link.ReplyTicks = qint16(pending > 0 ? window : kReplyTicks);
    };
    restart();
    bool consistent = true;
    qsizetype seen = Link.ReceiveBuffer.size();
    while (Link.ReplyTicks != 0 && serial.IsOpen()) {
        PumpEvents();
        const bool arrived = IsTrue(Link.ReplyComplete) || Link.ReceiveBuffer.size() != seen;
        if (IsTrue(Link.ReplyComplete)) {
            const bool matches = !taken || Link.ReceiveBuffer == *taken;
            WireTrace::Discarded(Link.ReceiveBuffer, matches);
            consistent = consistent && matches;
            Link.ReceiveBuffer.clear();
            Link.ReplyComplete = kFalse;
            pending = std::max(0, pending - 1);
        }
        if (arrived)
            restart();
        seen = Link.ReceiveBuffer.size();
    }
    Link.ReceiveBuffer.clear();
    Link.ReplyComplete = kFalse;
    return consistent;
}

} // namespace

QString LinkTitle() {
    return MainModule::JaEn(QStringLiteral("QMX-001通信"), QStringLiteral("QMX-001 LINK"));
}

QString SettingsString(int speedCode) {
    if (speedCode < 1 || speedCode > kLineSpeedCount)
        return {};
    return QLatin1String(kLineSpeeds[speedCode - 1].settings);
}

void SetSerialControl(platform::SerialControl* serial) {
    Attach(serial);
}

platform::SerialControl& Serial() {
    if (!control)
        Attach(new platform::QtSerialControl(QCoreApplication::instance()));
    return *control;
}

QTimer* CreateTickTimer(QObject* parent, bool started) {
    auto* timer = new QTimer(parent);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(kTickMs);
    QObject::connect(timer, &QTimer::timeout, &ComTick);
    if (started)
        timer->start();
    return timer;
}

void ComInit(int portNumber, int speedOption) {
    Link.PortIsOpen = kFalse;
    Link.ComPortNumber = static_cast<qint16>(portNumber);
    Link.ComSpeedCode = static_cast<qint16>(speedOption + 1);
    Link.ReplyComplete = kFalse;
    Link.ReceiveBuffer.clear();
}

bool ComOpen() {
    return ComOpenDevice(platform::ComPortDeviceName(Link.ComPortNumber));
}

bool ComOpenDevice(const QString& device) {
    platform::SerialControl& serial = Serial();
    const QString settings = SettingsString(Link.ComSpeedCode);
    if (!serial.Open(device, settings)) {
        WireTrace::Note(QStringLiteral("cannot open %1: %2").arg(device, serial.ErrorText()));
        platform::MsgBox(serial.ErrorText(), LinkTitle(), platform::MsgIcon::Critical);
        return false;
    }
    WireTrace::Opened(device, settings);
    serial.SetRts(true);
    serial.SetDtr(true);
    Link.PortIsOpen = kTrue;
    return true;
}

void ComClose() {
    if (!IsTrue(Link.PortIsOpen))
        return;
    platform::SerialControl& serial = Serial();
    serial.SetRts(false);
    serial.SetDtr(false);
    serial.Close();
    Link.PortIsOpen = kFalse;
    WireTrace::Closed();
}

bool ComQuery(const QString& command, QString& reply) {
    int unanswered = 0; // attempts sent that timed out: their replies may still come
    quint32 firstSend = 0;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        DiscardPendingInput();
        reply.clear();
        if (!ComSend(command)) {
            WireTrace::NotReady(command, attempt);
            continue;
        }
        if (unanswered == 0)
            firstSend = Link.TickCount;
        WireTrace::Sent(command, attempt);
        if (ComWaitReply(reply)) {
            WireTrace::Taken(reply, attempt);
            // The reply taken may be the first attempt's: the others' take as long again.
            const int lateness = int(Link.TickCount - firstSend);
            if (unanswered == 0 || DrainLateReplies(&reply, unanswered, lateness + kReplyTicks))
                return true;
            WireTrace::Note(QStringLiteral("replies to %1 disagree: failed").arg(command));
            break;
        }
        WireTrace::TimedOut(command, attempt, kReplyTicks);
        ++unanswered;
    }
    reply.clear();
    if (unanswered > 0)
        DrainLateReplies(nullptr, 0, kReplyTicks);
    return false;
}

bool ComSend(const QString& command) {
    platform::SerialControl& serial = Serial();
    if (!serial.CtsHolding())
        return false;
    serial.Write(command.toLatin1() + "\r\n");
    return true;
}

bool ComWaitReply(QString& reply) {
    Link.ReplyTicks = kReplyTicks;
    for (;;) {
        PumpEvents();
        if (IsTrue(Link.ReplyComplete)) {
            reply = Link.ReceiveBuffer;
            Link.ReplyComplete = kFalse;
            Link.ReceiveBuffer.clear();
            return true;
        }
        if (Link.ReplyTicks == 0)
            return false;
    }
}

void ComReceive() {
    // The port does not raise a second receive event while this one waits: the characters
    // arriving meanwhile are read below.
    static bool receiving = false;
    if (receiving)
        return;
    receiving = true;
    ComWaitTicks(kReceiveSettleTicks);
    const QByteArray input = Serial().ReadAll();
    receiving = false;
    if (!input.isEmpty())
        WireTrace::Received(input);

    bool pendingCr = false;
    for (const char byte : input) {
        switch (byte) {
        case '\b':
        case ' ':
            break;
        case '\r':
            pendingCr = !pendingCr;
            break;
        case '\n':
            if (pendingCr)
                Link.ReplyComplete = kTrue;
            else
                pendingCr = false;
            break;
        default:
            Link.ReceiveBuffer.append(QChar::fromLatin1(byte));
        }
    }
}

void ComWaitTicks(int ticks) {
    Link.WaitTicks = static_cast<qint16>(ticks);
    while (Link.WaitTicks != 0)
        PumpEvents();
}

void ComTick() {
    ++Link.TickCount;
    if (Link.ReplyTicks != 0)
        --Link.ReplyTicks;
    if (Link.WaitTicks != 0)
        --Link.WaitTicks;
}

} // namespace ComSupport
