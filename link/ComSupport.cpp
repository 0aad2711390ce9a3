#include "link/ComSupport.h"

#include "link/WireTrace.h"
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
QueryReport lastQuery;
quint64 bytesHeard = 0; // every byte framed but blanks and backspaces: a quiet wait counts them
int setAside = 0;       // lines of the wrong shape set aside so far

bool Expired(quint32 until) {
    return qint32(Link.TickCount - until) >= 0;
}

int TicksLeft(quint32 until) {
    return std::max(0, int(qint32(until - Link.TickCount)));
}

quint32 Later(quint32 a, quint32 b) {
    return qint32(a - b) > 0 ? a : b;
}

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
        if (byte != '\b' && byte != ' ')
            ++bytesHeard;
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
                Link.Trouble = true;
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

// Takes in what the port holds without waiting for its receive event.
void TakeInWaiting() {
    const QByteArray input = Serial().ReadAll();
    if (!input.isEmpty()) {
        WireTrace::Received(input);
        Frame(input);
    }
}

// Takes in what has arrived without waiting. Lines still waiting before a command goes out
// belong to no command sent from here on: the replies have shifted. Part of a line that never
// ended is dropped, so it cannot stand in front of the next reply.
bool StartClean() {
    TakeInWaiting();
    const bool clean = Link.Lines.isEmpty();
    for (const QString& line : std::as_const(Link.Lines))
        WireTrace::Stray(line);
    if (!Link.ReceiveBuffer.isEmpty()) {
        WireTrace::Dropped(Link.ReceiveBuffer);
        Link.Trouble = true;
    }
    ForgetReceived();
    return clean;
}

// The next waiting line of the shape; lines of another shape are set aside on the way.
std::optional<QString> NextFitting(ReplyShape shape) {
    while (!Link.Lines.isEmpty()) {
        const QString line = Link.Lines.takeFirst();
        if (ReplyFits(shape, line)) {
            Link.ReplyComplete = Link.Lines.isEmpty() ? kFalse : kTrue;
            return line;
        }
        WireTrace::SetAside(line, shape == ReplyShape::Number && ReplyFits(ReplyShape::Word, line));
        Link.Trouble = true;
        ++setAside;
    }
    Link.ReplyComplete = kFalse;
    return std::nullopt;
}

// Keeps the first line that speaks against the reply taken.
void NoteOdd(const QString& line) {
    if (!lastQuery.odd)
        lastQuery.odd = line;
}

// Waits for the lines still owed by attempts that timed out: until kLateTicks after the last
// attempt went out, and kLateTicks more after each owed line that comes (a busy controller
// answers its queued repeats one after the other). Once they are in, one reply time-out must
// stay free of lines. An owed line that has not come by then is taken as dropped by the
// controller: the series had trouble. taken: the reply the lines must repeat (none after a
// failed transaction: the lines are only waited out). False when a line differs from it or
// comes beyond the owed ones: which reply belongs to which attempt cannot be told.
bool DrainOwedLines(const std::optional<QString>& taken, ReplyShape shape, int owed,
                    quint32 lastSend) {
    WireTrace::Draining(owed, owed > 0 ? kLateTicks : kReplyTicks);
    quint32 until = owed > 0 ? lastSend + kLateTicks : Link.TickCount + kReplyTicks;
    bool consistent = true;
    qsizetype seen = Link.ReceiveBuffer.size();
    for (;;) {
        while (const std::optional<QString> line = NextFitting(shape)) {
            const bool isOwed = owed > 0 || !taken;
            const bool matches = !taken || (owed > 0 && *line == *taken);
            WireTrace::Discarded(*line, isOwed, matches);
            if (!matches)
                NoteOdd(*line);
            consistent = consistent && matches;
            if (owed > 0) {
                --owed;
                Link.AcceptUntil = Link.TickCount + kLateTicks;
            }
            until = Link.TickCount + (owed > 0 ? kLateTicks : kReplyTicks);
        }
        if (Link.ReceiveBuffer.size() != seen) // part of a line: let it end
            until = Later(until, Link.TickCount + kReplyTicks);
        seen = Link.ReceiveBuffer.size();
        if (Expired(until) || !Serial().IsOpen())
            break;
        PumpEvents();
    }
    if (owed > 0)
        Link.Trouble = true;
    WireTrace::Drained(consistent, owed);
    return consistent;
}

// The reply taken stands when the lines the earlier attempts owe repeat it and no line more
// is waiting.
bool RepeatsAgree(const QString& taken, ReplyShape shape, int owed, quint32 lastSend) {
    if (owed > 0)
        return DrainOwedLines(taken, shape, owed, lastSend);
    const std::optional<QString> line = NextFitting(shape);
    if (!line)
        return true;
    WireTrace::Discarded(*line, false, false);
    NoteOdd(*line);
    return false;
}

// Waits until the tick count reaches until. False when a line, or a byte of one, is waiting
// or arrives, or the port goes away; a line begun is given a reply time-out to end, so that
// it can be named. The first line heard (or the part) becomes LastQuery().odd.
bool StaysQuiet(quint32 until, const QString& why, const QString& meaning) {
    WireTrace::QuietWait(TicksLeft(until), why);
    const quint64 before = bytesHeard;
    const auto heardAny = [before] {
        return bytesHeard != before || !Link.Lines.isEmpty() || !Link.ReceiveBuffer.isEmpty() ||
               Link.PendingCr;
    };
    bool heard = false;
    while (Link.Lines.isEmpty() && Serial().IsOpen()) {
        if (!heard && heardAny()) {
            heard = true;
            until = Link.TickCount + kReplyTicks;
        }
        if (Expired(until))
            break;
        PumpEvents();
    }
    const bool open = Serial().IsOpen();
    if (open)
        TakeInWaiting();
    if (!heardAny()) {
        if (open)
            WireTrace::QuietKept();
        else
            WireTrace::Note(QStringLiteral("the port went away in the quiet wait"));
        return open;
    }
    const bool partial = Link.Lines.isEmpty();
    const QString text = partial ? Link.ReceiveBuffer : Link.Lines.first();
    WireTrace::Unquiet(text, partial, meaning);
    NoteOdd(text);
    ForgetReceived();
    return false;
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

Result ComOpen() {
    return ComOpenDevice(platform::ComPortDeviceName(Link.ComPortNumber));
}

Result ComOpenDevice(const QString& device) {
    platform::SerialControl& serial = Serial();
    const QString settings = SettingsString(Link.ComSpeedCode);
    if (!serial.Open(device, settings)) {
        WireTrace::Note(QStringLiteral("cannot open %1: %2").arg(device, serial.ErrorText()));
        return Failure{LinkTitle(), OpenFailureText(serial.LastOpenFailure())};
    }
    WireTrace::Opened(device, settings);
    Link.StopRequested = false;
    serial.SetRts(true);
    serial.SetDtr(true);
    Link.PortIsOpen = kTrue;
    return {};
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
    using Outcome = QueryReport::Outcome;
    reply.clear();
    lastQuery = QueryReport{};
    const auto fail = [&reply](Outcome outcome) {
        lastQuery.outcome = outcome;
        Link.Trouble = true; // a series that goes on after a failure must end quiet
        reply.clear();
        return false;
    };
    if (Link.StopRequested) {
        WireTrace::Note(QStringLiteral("stop requested: %1 not sent").arg(command));
        return fail(Outcome::Stopped);
    }
    if (!StartClean()) {
        WireTrace::Note(
            QStringLiteral("a line was waiting before %1: replies shifted, failed").arg(command));
        return fail(Outcome::Shifted);
    }
    int sent = 0; // attempts on the line: each owes one line
    quint32 lastSend = Link.TickCount;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (!ComSend(command)) {
            WireTrace::NotReady(command, attempt);
            continue;
        }
        ++sent;
        lastSend = Link.TickCount;
        Link.AcceptUntil = lastSend + kLateTicks;
        WireTrace::Sent(command, attempt);
        const int setAsideBefore = setAside;
        if (ComWaitReply(reply, shape)) {
            WireTrace::Taken(reply, attempt, setAside != setAsideBefore);
            lastQuery.taken = reply;
            // A busy controller may send the real answer as long after a stale line taken.
            Link.AcceptUntil = Later(Link.AcceptUntil, Link.TickCount + kLateTicks);
            if (RepeatsAgree(reply, shape, sent - 1, lastSend)) {
                lastQuery.outcome = Outcome::Answered;
                return true;
            }
            WireTrace::Note(QStringLiteral("replies to %1 disagree: failed").arg(command));
            return fail(Outcome::Disagreed);
        }
        WireTrace::TimedOut(command, attempt, kReplyTicks);
        Link.Trouble = true;
    }
    if (sent > 0)
        DrainOwedLines(std::nullopt, shape, 0, lastSend);
    return fail(Outcome::NoReply);
}

const QueryReport& LastQuery() {
    return lastQuery;
}

bool ComStaysQuiet() {
    return StaysQuiet(Link.AcceptUntil,
                      QStringLiteral("a line now would be a later answer to the command"),
                      QStringLiteral("after the reply taken, which may have been stale"));
}

void BeginSeries() {
    Link.Trouble = false;
}

bool SeriesEndsQuiet() {
    if (!Link.Trouble)
        return true;
    return StaysQuiet(Link.TickCount + kLateTicks,
                      QStringLiteral("the series had trouble: a reply taken late would show now"),
                      QStringLiteral("a late reply: the replies have shifted"));
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
