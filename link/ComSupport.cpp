#include "link/ComSupport.h"

#include "link/WireTrace.h"
#include "platform/MessageBoxes.h"
#include "platform/Ports.h"
#include "platform/QtSerialControl.h"
#include "platform/SerialControl.h"
#include "shell/LineSpeeds.h"
#include "shell/MainModule.h"
#include "shell/Numbers.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <utility>

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

// Bytes into lines. A line ends with CR LF, also when CR and LF come in different reads; two
// CRs in a row cancel each other; an LF without its CR breaks the line, which is dropped.
// Blanks and backspaces are dropped wherever they occur.
void Frame(const QByteArray& input) {
    for (const char byte : input) {
        switch (byte) {
        case '\b':
        case ' ':
            break;
        case '\r':
            Link.PendingCr = !Link.PendingCr;
            break;
        case '\n':
            if (Link.PendingCr) {
                Link.Lines.append(Link.ReceiveBuffer);
                Link.ReplyComplete = kTrue;
            } else if (!Link.ReceiveBuffer.isEmpty()) {
                WireTrace::Dropped(Link.ReceiveBuffer);
            }
            Link.ReceiveBuffer.clear();
            Link.PendingCr = false;
            break;
        default:
            Link.ReceiveBuffer.append(QChar::fromLatin1(byte));
        }
    }
}

bool IsTextCharacter(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
           QStringView(u".-_/:+,()").contains(c);
}

bool IsLetter(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

void ForgetReceived() {
    Link.ReceiveBuffer.clear();
    Link.PendingCr = false;
    Link.Lines.clear();
    Link.ReplyComplete = kFalse;
}

// Takes in what has arrived without waiting. Lines still waiting before a command goes out
// belong to no command sent from here on: the replies have shifted. Part of a line that never
// ended is dropped, so it cannot stand in front of the next reply.
bool StartClean() {
    const QByteArray input = Serial().ReadAll();
    if (!input.isEmpty()) {
        WireTrace::Received(input);
        Frame(input);
    }
    const bool clean = Link.Lines.isEmpty();
    for (const QString& line : std::as_const(Link.Lines))
        WireTrace::Stray(line);
    if (!Link.ReceiveBuffer.isEmpty())
        WireTrace::Dropped(Link.ReceiveBuffer);
    ForgetReceived();
    return clean;
}

// The next waiting line of the shape; lines of another shape are refused on the way.
std::optional<QString> NextFitting(ReplyShape shape) {
    while (!Link.Lines.isEmpty()) {
        const QString line = Link.Lines.takeFirst();
        if (ReplyFits(shape, line)) {
            Link.ReplyComplete = Link.Lines.isEmpty() ? kFalse : kTrue;
            return line;
        }
        WireTrace::Refused(line);
    }
    Link.ReplyComplete = kFalse;
    return std::nullopt;
}

// Waits for the lines still owed by attempts that timed out. They may come each up to window
// ticks after the one before (a controller that answers late may answer its repeats as late);
// once they are in, one quiet reply time-out must follow. taken: the reply the lines must
// repeat (none after a failed transaction: the lines are only waited out). False when a line
// differs from it or comes beyond the owed ones: which reply belongs to which attempt cannot
// be told.
bool DrainOwedLines(const std::optional<QString>& taken, ReplyShape shape, int owed, int window) {
    WireTrace::Draining(owed, owed > 0 ? window : kReplyTicks);
    const auto restart = [&] {
        Link.ReplyTicks = qint16(owed > 0 ? window : kReplyTicks);
    };
    restart();
    bool consistent = true;
    qsizetype seen = Link.ReceiveBuffer.size();
    for (;;) {
        while (const std::optional<QString> line = NextFitting(shape)) {
            const bool matches = !taken || (owed > 0 && *line == *taken);
            WireTrace::Discarded(*line, matches);
            consistent = consistent && matches;
            owed = std::max(0, owed - 1);
            restart();
        }
        if (Link.ReceiveBuffer.size() != seen)
            restart();
        seen = Link.ReceiveBuffer.size();
        if (Link.ReplyTicks == 0 || !Serial().IsOpen())
            break;
        PumpEvents();
    }
    WireTrace::Drained(consistent);
    return consistent;
}

QString BusyRemedy(const platform::OpenFailure& f) {
    using MainModule::JaEn;
    if (f.lockFile.isEmpty())
        return JaEn(QStringLiteral("他のプログラムが使用中の可能性があります。"),
                    QStringLiteral("Another program may be using the port."));
    const QString holder = QStringLiteral("%1 (%2 %3)")
                               .arg(f.lockFile, f.holder.isEmpty() ? QStringLiteral("?") : f.holder)
                               .arg(f.holderPid);
    return JaEn(
        QStringLiteral("他のプログラムが使用中です (ロック %1)。そのプログラムを終了してから"
                       "やり直してください。")
            .arg(holder),
        QStringLiteral("The port is in use by another program (lock %1). Close that "
                       "program and try again.")
            .arg(holder));
}

QString PermissionRemedy(const platform::OpenFailure& f) {
    using MainModule::JaEn;
    if (!f.groupHasAccess)
        return JaEn(QStringLiteral("このデバイスを使う権限がありません。管理者に権限を依頼するか、"
                                   "udev ルールでアクセスを許可してください。"),
                    QStringLiteral("You have no access to this device. Ask an administrator for "
                                   "access, or allow it with a udev rule."));
    return JaEn(
        QStringLiteral("このデバイスはグループ「%1」に属しています。ユーザーをこのグループに"
                       "追加し (sudo usermod -a -G %1 $USER)、ログインし直してください。")
            .arg(f.group),
        QStringLiteral("The device belongs to group \"%1\". Add your user to that group "
                       "(sudo usermod -a -G %1 $USER) and log in again.")
            .arg(f.group));
}

} // namespace

QString LinkTitle() {
    return MainModule::JaEn(QStringLiteral("QMX-001通信"), QStringLiteral("QMX-001 LINK"));
}

QString OpenFailureText(const platform::OpenFailure& failure) {
    using Kind = platform::OpenFailure::Kind;
    using MainModule::JaEn;
    if (failure.kind == Kind::NoDevice)
        return JaEn(QStringLiteral("シリアルポートが指定されていません。"),
                    QStringLiteral("No serial device given."));
    QString head = failure.device.isEmpty()
                       ? failure.reason
                       : QStringLiteral("%1: %2").arg(failure.device, failure.reason);
    switch (failure.kind) {
    case Kind::Missing:
        return head + u'\n' +
               JaEn(QStringLiteral("ケーブルとアダプタを確認してください。"
                                   "接続されているポートは「qmxcli ports」で確認できます。"),
                    QStringLiteral("Check the cable and the adapter; \"qmxcli ports\" lists the "
                                   "serial devices present."));
    case Kind::Busy:
        return head + u'\n' + BusyRemedy(failure);
    case Kind::NoPermission:
        return head + u'\n' + PermissionRemedy(failure);
    case Kind::NoDevice:
    case Kind::BadSettings:
    case Kind::Other:
        break;
    }
    return head;
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
    ForgetReceived();
}

bool ComOpen() {
    return ComOpenDevice(platform::ComPortDeviceName(Link.ComPortNumber));
}

bool ComOpenDevice(const QString& device) {
    platform::SerialControl& serial = Serial();
    const QString settings = SettingsString(Link.ComSpeedCode);
    if (!serial.Open(device, settings)) {
        WireTrace::Note(QStringLiteral("cannot open %1: %2").arg(device, serial.ErrorText()));
        platform::MsgBox(OpenFailureText(serial.LastOpenFailure()), LinkTitle(),
                         platform::MsgIcon::Critical);
        return false;
    }
    WireTrace::Opened(device, settings);
    Link.StopRequested = false;
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
    for (const QString& line : std::as_const(Link.Lines))
        WireTrace::Stray(line);
    ForgetReceived();
    WireTrace::Closed();
}

bool ReplyFits(ReplyShape shape, QStringView line) {
    switch (shape) {
    case ReplyShape::Line:
        return true;
    case ReplyShape::Text:
        return !line.isEmpty() && std::all_of(line.begin(), line.end(), IsTextCharacter);
    case ReplyShape::Number:
        return Numbers::IsNumber(line);
    case ReplyShape::Word:
        return !line.isEmpty() && std::all_of(line.begin(), line.end(), IsLetter);
    }
    return false;
}

bool ComQuery(const QString& command, QString& reply, ReplyShape shape) {
    reply.clear();
    if (Link.StopRequested) {
        WireTrace::Note(QStringLiteral("stop requested: %1 not sent").arg(command));
        return false;
    }
    if (!StartClean()) {
        WireTrace::Note(
            QStringLiteral("a line was waiting before %1: replies shifted, failed").arg(command));
        return false;
    }
    int sent = 0; // attempts on the line: each owes one line
    quint32 firstSend = 0;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (!ComSend(command)) {
            WireTrace::NotReady(command, attempt);
            continue;
        }
        if (sent++ == 0)
            firstSend = Link.TickCount;
        WireTrace::Sent(command, attempt);
        if (ComWaitReply(reply, shape)) {
            WireTrace::Taken(reply, attempt);
            // The reply taken may be the first attempt's: the others' take as long again.
            const int lateness = int(Link.TickCount - firstSend);
            const bool agreed =
                sent == 1 ? !NextFitting(shape).has_value()
                          : DrainOwedLines(reply, shape, sent - 1, lateness + kReplyTicks);
            if (agreed)
                return true;
            WireTrace::Note(QStringLiteral("replies to %1 disagree: failed").arg(command));
            reply.clear();
            return false;
        }
        WireTrace::TimedOut(command, attempt, kReplyTicks);
    }
    reply.clear();
    if (sent > 0)
        DrainOwedLines(std::nullopt, shape, 0, kReplyTicks);
    return false;
}

void RequestStop() {
    Link.StopRequested = true;
}

bool StopRequested() {
    return Link.StopRequested;
}

bool ComSend(const QString& command) {
    platform::SerialControl& serial = Serial();
    if (!serial.CtsHolding())
        return false;
    serial.Write(command.toLatin1() + "\r\n");
    return true;
}

bool ComWaitReply(QString& reply, ReplyShape shape) {
    Link.ReplyTicks = kReplyTicks;
    for (;;) {
        if (const std::optional<QString> line = NextFitting(shape)) {
            reply = *line;
            return true;
        }
        if (Link.ReplyTicks == 0)
            return false;
        PumpEvents();
    }
}

bool ComStaysQuiet() {
    WireTrace::Note(QStringLiteral("waiting %1 ticks for a further line").arg(kReplyTicks));
    Link.ReplyTicks = kReplyTicks;
    while (Link.Lines.isEmpty() && Link.ReplyTicks != 0 && Serial().IsOpen())
        PumpEvents();
    const bool quiet = Link.Lines.isEmpty();
    for (const QString& line : std::as_const(Link.Lines))
        WireTrace::Stray(line);
    Link.Lines.clear();
    Link.ReplyComplete = kFalse;
    return quiet;
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
    Frame(input);
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
