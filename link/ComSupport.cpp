#include "link/ComSupport.h"

#include "platform/MessageBoxes.h"
#include "platform/QtSerialControl.h"
#include "shell/MainModule.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace ComSupport {

LinkState Link;

namespace {

QPointer<platform::SerialControl> control;
QMetaObject::Connection receivedConnection;

// Lets pending events run, sleeping until at least one arrives (a tick at the latest).
void PumpEvents() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

void Attach(platform::SerialControl* serial) {
    QObject::disconnect(receivedConnection);
    control = serial;
    if (serial)
        receivedConnection = QObject::connect(serial, &platform::SerialControl::Received,
                                              &ComReceive);
}

} // namespace

QString LinkTitle() {
    return MainModule::Tr(QStringLiteral("QMX-001通信"), QStringLiteral("QMX-001 LINK"));
}

QString SettingsString(int speedCode) {
    switch (speedCode) {
    case 1:
        return QStringLiteral("4800,N,8,1");
    case 2:
        return QStringLiteral("9600,N,8,1");
    case 3:
        return QStringLiteral("19200,N,8,1");
    case 4:
        return QStringLiteral("38400,N,8,1");
    default:
        return {};
    }
}

void SetSerialControl(platform::SerialControl* serial) { Attach(serial); }

platform::SerialControl& Serial() {
    if (!control)
        Attach(new platform::QtSerialControl(QCoreApplication::instance()));
    return *control;
}

QTimer* CreateTickTimer(QObject* parent) {
    auto* timer = new QTimer(parent);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(kTickMs);
    QObject::connect(timer, &QTimer::timeout, &ComTick);
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
    platform::SerialControl& serial = Serial();
    if (!serial.Open(Link.ComPortNumber, SettingsString(Link.ComSpeedCode))) {
        platform::MsgBox(serial.ErrorText(), LinkTitle(), platform::MsgIcon::Critical);
        return false;
    }
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
}

bool ComQuery(const QString& command, QString& reply) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        platform::SerialControl& serial = Serial();
        while (!serial.ReadAll().isEmpty()) {
        }
        // Characters of an earlier reply that never completed would otherwise stand in
        // front of this one.
        Link.ReceiveBuffer.clear();
        Link.ReplyComplete = kFalse;
        reply.clear();
        if (ComSend(command) && ComWaitReply(reply))
            return true;
    }
    reply.clear();
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
    if (Link.ReplyTicks != 0)
        --Link.ReplyTicks;
    if (Link.WaitTicks != 0)
        --Link.WaitTicks;
}

} // namespace ComSupport
