#include "link/ComSupport.h"

#include "platform/Ports.h"
#include "platform/QtSerialControl.h"
#include "platform/SerialControl.h"
#include "shell/LineSpeeds.h"
#include "shell/Numbers.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

quint32 Later(quint32 a, quint32 b) {
    return qint32(a - b) > 0 ? a : b;
}

bool IsTextCharacter(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
           QStringView(u".-_/:+,()").contains(c);
}

bool IsLetter(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool FitsKind(ReplyKind kind, QStringView line) {
    switch (kind) {
    case ReplyKind::Line:
        return true;
    case ReplyKind::Text:
        return !line.isEmpty() && std::all_of(line.begin(), line.end(), IsTextCharacter);
    case ReplyKind::Number:
        return Numbers::IsNumber(line);
    case ReplyKind::Word:
        return !line.isEmpty() && std::all_of(line.begin(), line.end(), IsLetter);
    }
    return false;
}

QString BusyRemedy(Language lang, const platform::OpenFailure& f) {
    if (f.lockFile.isEmpty())
        return lang.JaEn(QStringLiteral("他のプログラムが使用中の可能性があります。"),
                         QStringLiteral("Another program may be using the port."));
    const QString holder = QStringLiteral("%1 (%2 %3)")
                               .arg(f.lockFile, f.holder.isEmpty() ? QStringLiteral("?") : f.holder)
                               .arg(f.holderPid);
    return lang.JaEn(
        QStringLiteral("他のプログラムが使用中です (ロック %1)。そのプログラムを終了してから"
                       "やり直してください。")
            .arg(holder),
        QStringLiteral("The port is in use by another program (lock %1). Close that "
                       "program and try again.")
            .arg(holder));
}

QString PermissionRemedy(Language lang, const platform::OpenFailure& f) {
    if (!f.groupHasAccess)
        return lang.JaEn(
            QStringLiteral("このデバイスを使う権限がありません。管理者に権限を依頼するか、"
                           "udev ルールでアクセスを許可してください。"),
            QStringLiteral("You have no access to this device. Ask an administrator for "
                           "access, or allow it with a udev rule."));
    return lang.JaEn(
        QStringLiteral("このデバイスはグループ「%1」に属しています。ユーザーをこのグループに"
                       "追加し (sudo usermod -a -G %1 $USER)、ログインし直してください。")
            .arg(f.group),
        QStringLiteral("The device belongs to group \"%1\". Add your user to that group "
                       "(sudo usermod -a -G %1 $USER) and log in again.")
            .arg(f.group));
}

} // namespace

bool ReplyFits(const ReplyShape& shape, QStringView line) {
    return FitsKind(shape.kind, line) && (!shape.fits || shape.fits(line));
}

QTimer* MakeTickTimer(QObject* parent) {
    auto* timer = new QTimer(parent);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(ComSupport::kTickMs);
    return timer;
}

ComSupport::ComSupport(Language language, QObject* parent) : QObject(parent), language_(language) {}

ComSupport::~ComSupport() {
    // A series waiting on this link learns of its end from its destroyed signal.
    request_ = Request::None;
    if (serial_ && portIsOpen_)
        ComClose();
}

QString LinkTitle(Language language) {
    return language.JaEn(QStringLiteral("QMX-001通信"), QStringLiteral("QMX-001 LINK"));
}

QString ComSupport::OpenFailureText(const platform::OpenFailure& failure) const {
    using Kind = platform::OpenFailure::Kind;
    if (failure.kind == Kind::NoDevice)
        return language_.JaEn(QStringLiteral("シリアルポートが指定されていません。"),
                              QStringLiteral("No serial device given."));
    QString head = failure.device.isEmpty()
                       ? failure.reason
                       : QStringLiteral("%1: %2").arg(failure.device, failure.reason);
    switch (failure.kind) {
    case Kind::Missing:
        return head + u'\n' +
               language_.JaEn(
                   QStringLiteral("ケーブルとアダプタを確認してください。"
                                  "接続されているポートは「qmxcli ports」で確認できます。"),
                   QStringLiteral("Check the cable and the adapter; \"qmxcli ports\" lists the "
                                  "serial devices present."));
    case Kind::Busy:
        return head + u'\n' + BusyRemedy(language_, failure);
    case Kind::NoPermission:
        return head + u'\n' + PermissionRemedy(language_, failure);
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

// ---- The serial control and the ticks --------------------------------------------------------

void ComSupport::Attach(platform::SerialControl* serial) {
    disconnect(receivedConnection_);
    disconnect(lostConnection_);
    serial_ = serial;
    if (!serial)
        return;
    receivedConnection_ =
        connect(serial, &platform::SerialControl::Received, this, &ComSupport::OnReceived);
    lostConnection_ = connect(serial, &platform::SerialControl::Lost, this, &ComSupport::OnLost);
}

void ComSupport::SetSerialControl(platform::SerialControl* serial) {
    Attach(serial);
}

platform::SerialControl& ComSupport::Serial() {
    if (!serial_) {
        if (!ownSerial_)
            ownSerial_ = std::make_unique<platform::QtSerialControl>();
        Attach(ownSerial_.get());
    }
    return *serial_;
}

void ComSupport::UseTicksOf(const QTimer* timer) {
    disconnect(tickConnection_);
    if (timer)
        tickConnection_ = connect(timer, &QTimer::timeout, this, &ComSupport::ComTick);
}

// A receive event waits its settle ticks before it reads; meanwhile no time-out is judged, so
// a reply whose first characters came in time is read before its attempt can time out.
void ComSupport::ComTick() {
    ++tickCount_;
    if (replyTicks_ > 0)
        --replyTicks_;
    if (settleTicks_ > 0 && --settleTicks_ == 0)
        ReadAndFrame();
    if (settleTicks_ == 0)
        Evaluate();
}

bool ComSupport::Expired(quint32 until) const {
    return qint32(tickCount_ - until) >= 0;
}

int ComSupport::TicksLeft(quint32 until) const {
    return std::max(0, int(qint32(until - tickCount_)));
}

// ---- Receiving -----------------------------------------------------------------------------

// The rest of the line is let arrive before reading; characters arriving meanwhile raise no
// second wait, they are read with the rest.
void ComSupport::OnReceived() {
    if (settleTicks_ == 0)
        settleTicks_ = kReceiveSettleTicks;
}

void ComSupport::ReadAndFrame() {
    const QByteArray input = Serial().ReadAll();
    if (!input.isEmpty())
        trace_.Received(input);
    Frame(input);
}

// Bytes into lines. A line ends with CR LF, also when CR and LF come in different reads; two
// CRs in a row cancel each other; an LF without its CR breaks the line, which is dropped.
// Blanks and backspaces are dropped wherever they occur. A line longer than any reply keeps
// only its beginning and is set aside whole at its end: endless noise cannot grow the buffer,
// nor its tail pass for a reply.
void ComSupport::Frame(const QByteArray& input) {
    for (const char byte : input) {
        if (byte != '\b' && byte != ' ')
            ++bytesHeard_;
        switch (byte) {
        case '\b':
        case ' ':
            break;
        case '\r':
            pendingCr_ = !pendingCr_;
            break;
        case '\n':
            EndLine();
            break;
        default:
            if (receiveBuffer_.size() < kMaxLineLength)
                receiveBuffer_.append(QChar::fromLatin1(byte));
            else
                overlong_ = true;
        }
    }
}

void ComSupport::EndLine() {
    if (pendingCr_ && overlong_) {
        trace_.SetAside(receiveBuffer_, WireTrace::AsideWhy::Overlong);
        NoteTrouble(Trouble::SetAside);
    } else if (pendingCr_) {
        lines_.append(receiveBuffer_);
    } else if (!receiveBuffer_.isEmpty()) {
        trace_.Dropped(receiveBuffer_);
        NoteTrouble(Trouble::SetAside);
    }
    receiveBuffer_.clear();
    pendingCr_ = false;
    overlong_ = false;
}

void ComSupport::ForgetReceived() {
    receiveBuffer_.clear();
    pendingCr_ = false;
    overlong_ = false;
    lines_.clear();
}

// Takes in what the port holds without waiting for its receive event.
void ComSupport::TakeInWaiting() {
    const QByteArray input = Serial().ReadAll();
    if (!input.isEmpty()) {
        trace_.Received(input);
        Frame(input);
    }
}

// Takes in what has arrived without waiting. Lines still waiting before a command goes out
// belong to no command sent from here on: the replies have shifted. Part of a line that never
// ended is dropped, so it cannot stand in front of the next reply.
bool ComSupport::StartClean() {
    TakeInWaiting();
    const bool clean = lines_.isEmpty();
    for (const QString& line : std::as_const(lines_))
        trace_.Stray(line);
    if (!receiveBuffer_.isEmpty()) {
        trace_.Dropped(receiveBuffer_);
        NoteTrouble(Trouble::SetAside);
    }
    ForgetReceived();
    return clean;
}

// The next waiting line of the shape; lines of another shape are set aside on the way. A line
// that repeats the command is the line echoing it, no answer and no trouble.
std::optional<QString> ComSupport::NextFitting() {
    while (!lines_.isEmpty()) {
        const QString line = lines_.takeFirst();
        if (line == report_.command && !report_.command.isEmpty()) {
            trace_.SetAside(line, WireTrace::AsideWhy::Echo);
            continue;
        }
        if (ReplyFits(shape_, line))
            return line;
        trace_.SetAside(line, WhyAside(line));
        NoteTrouble(Trouble::SetAside);
        ++setAside_;
    }
    return std::nullopt;
}

WireTrace::AsideWhy ComSupport::WhyAside(const QString& line) const {
    if (FitsKind(shape_.kind, line))
        return WireTrace::AsideWhy::Unfit;
    if (shape_.kind == ReplyKind::Number && FitsKind(ReplyKind::Word, line))
        return WireTrace::AsideWhy::Refusal;
    return WireTrace::AsideWhy::Noise;
}

// Trouble is noted here and nowhere else: the report of the request under way (or the next
// one) carries it to the series.
void ComSupport::NoteTrouble(Trouble kind) {
    troubleNoted_ |= kind;
}

// Keeps the first line that speaks against the reply taken.
void ComSupport::NoteOdd(const QString& line) {
    if (!report_.odd)
        report_.odd = line;
}

// ---- Opening and closing -------------------------------------------------------------------

void ComSupport::ComInit(int portNumber, int speedOption) {
    portIsOpen_ = false;
    comPortNumber_ = portNumber;
    comSpeedCode_ = speedOption + 1;
    ForgetReceived();
}

Result ComSupport::ComOpen() {
    return ComOpenDevice(platform::ComPortDeviceName(comPortNumber_));
}

Result ComSupport::ComOpenDevice(const QString& device) {
    platform::SerialControl& serial = Serial();
    const QString settings = SettingsString(comSpeedCode_);
    if (!serial.Open(device, settings)) {
        trace_.Note(QStringLiteral("cannot open %1: %2").arg(device, serial.ErrorText()));
        return Failure{LinkTitle(), OpenFailureText(serial.LastOpenFailure()),
                       FailureKind::NotOpened};
    }
    trace_.Opened(device, settings);
    stopRequested_ = false;
    serial.SetRts(true);
    serial.SetDtr(true);
    portIsOpen_ = true;
    return {};
}

void ComSupport::ComClose() {
    if (request_ == Request::Query)
        FinishQuery(QueryReport::Outcome::PortLost);
    else if (request_ == Request::Quiet)
        FinishQuiet(false, true, std::nullopt);
    if (!portIsOpen_)
        return;
    platform::SerialControl& serial = Serial();
    serial.SetRts(false);
    serial.SetDtr(false);
    serial.Close();
    portIsOpen_ = false;
    for (const QString& line : std::as_const(lines_))
        trace_.Stray(line);
    ForgetReceived();
    settleTicks_ = 0;
    trace_.Closed();
}

// A vanished device ends the request under way at once.
void ComSupport::OnLost() {
    trace_.Note(QStringLiteral("the port went away"));
    if (request_ == Request::Query)
        FinishQuery(QueryReport::Outcome::PortLost);
    else if (request_ == Request::Quiet)
        FinishQuiet(false, true, std::nullopt);
}

// ---- The transaction -----------------------------------------------------------------------

void ComSupport::ComQuery(const QString& command, const ReplyShape& shape) {
    using Outcome = QueryReport::Outcome;
    if (Busy()) {
        QueryReport busy{command, Outcome::Busy};
        QMetaObject::invokeMethod(
            this, [this, busy] { emit QueryFinished(busy); }, Qt::QueuedConnection);
        return;
    }
    request_ = Request::Query;
    report_ = QueryReport{command};
    shape_ = shape;
    attempt_ = 0;
    sent_ = 0;
    lastSend_ = tickCount_;
    if (stopRequested_) {
        trace_.Note(QStringLiteral("stop requested: %1 not sent").arg(command));
        return FinishQuery(Outcome::Stopped);
    }
    if (!StartClean()) {
        trace_.Note(
            QStringLiteral("a line was waiting before %1: replies shifted, failed").arg(command));
        return FinishQuery(Outcome::Shifted);
    }
    SendNextAttempt();
}

bool ComSupport::ComSend(const QString& command) {
    platform::SerialControl& serial = Serial();
    if (!serial.CtsHolding())
        return false;
    serial.Write(command.toLatin1() + "\r\n");
    return true;
}

// The next attempt goes out at once; an attempt the controller is not ready for fails without
// waiting. After the last one the lines still owed are waited out.
void ComSupport::SendNextAttempt() {
    const QString& command = report_.command;
    while (attempt_ < kAttempts) {
        ++attempt_;
        if (!ComSend(command)) {
            trace_.NotReady(command, attempt_);
            continue;
        }
        ++sent_;
        lastSend_ = tickCount_;
        acceptUntil_ = lastSend_ + kLateTicks;
        trace_.Sent(command, attempt_);
        setAsideBefore_ = setAside_;
        replyTicks_ = kReplyTicks;
        phase_ = Phase::Awaiting;
        return;
    }
    if (sent_ > 0)
        StartDraining(std::nullopt, 0);
    else
        FinishQuery(QueryReport::Outcome::NoReply);
}

void ComSupport::Evaluate() {
    if (request_ == Request::None)
        return;
    switch (phase_) {
    case Phase::Awaiting:
        return AwaitReply();
    case Phase::Draining:
        return Drain();
    case Phase::Quiet:
        return WaitQuiet();
    }
}

void ComSupport::AwaitReply() {
    if (const std::optional<QString> line = NextFitting())
        return ReplyTaken(*line);
    if (replyTicks_ > 0)
        return;
    trace_.TimedOut(report_.command, attempt_, kReplyTicks);
    NoteTrouble(Trouble::TimeOut);
    SendNextAttempt();
}

// The reply taken stands when the lines the earlier attempts owe repeat it and no line more
// is waiting.
void ComSupport::ReplyTaken(const QString& reply) {
    trace_.Taken(reply, attempt_, setAside_ != setAsideBefore_);
    report_.taken = reply;
    // A busy controller may send the real answer as long after a stale line taken.
    acceptUntil_ = Later(acceptUntil_, tickCount_ + kLateTicks);
    if (sent_ > 1)
        return StartDraining(reply, sent_ - 1);
    if (const std::optional<QString> line = NextFitting()) {
        trace_.Discarded(*line, false, false);
        NoteOdd(*line);
        trace_.Note(QStringLiteral("replies to %1 disagree: failed").arg(report_.command));
        return FinishQuery(QueryReport::Outcome::Disagreed);
    }
    FinishQuery(QueryReport::Outcome::Answered);
}

// Waits for the lines still owed by attempts that timed out: until kLateTicks after the last
// attempt went out, and kLateTicks more after each owed line that comes (a busy controller
// answers its queued repeats one after the other). Once they are in, one reply time-out must
// stay free of lines. taken: the reply the lines must repeat (none after a failed transaction:
// the lines are only waited out).
void ComSupport::StartDraining(const std::optional<QString>& taken, int owed) {
    trace_.Draining(owed, owed > 0 ? kLateTicks : kReplyTicks);
    drainTaken_ = taken;
    owed_ = owed;
    drainUntil_ = owed > 0 ? lastSend_ + kLateTicks : tickCount_ + kReplyTicks;
    consistent_ = true;
    seen_ = receiveBuffer_.size();
    phase_ = Phase::Draining;
    Drain();
}

// A line that differs from the reply taken, or comes beyond the owed ones, fails the
// transaction: which reply belongs to which attempt cannot be told. An owed line that has not
// come by the end is taken as dropped by the controller.
void ComSupport::Drain() {
    while (const std::optional<QString> line = NextFitting()) {
        const bool isOwed = owed_ > 0 || !drainTaken_;
        const bool matches = !drainTaken_ || (owed_ > 0 && *line == *drainTaken_);
        trace_.Discarded(*line, isOwed, matches);
        if (!matches)
            NoteOdd(*line);
        consistent_ = consistent_ && matches;
        if (owed_ > 0) {
            --owed_;
            acceptUntil_ = tickCount_ + kLateTicks;
        }
        drainUntil_ = tickCount_ + (owed_ > 0 ? kLateTicks : kReplyTicks);
    }
    if (receiveBuffer_.size() != seen_) // part of a line: let it end
        drainUntil_ = Later(drainUntil_, tickCount_ + kReplyTicks);
    seen_ = receiveBuffer_.size();
    if (!Expired(drainUntil_) && Serial().IsOpen())
        return;
    if (owed_ > 0)
        NoteTrouble(Trouble::OwedLineDropped);
    trace_.Drained(consistent_, owed_);
    using Outcome = QueryReport::Outcome;
    if (!drainTaken_)
        return FinishQuery(Outcome::NoReply);
    if (!consistent_)
        trace_.Note(QStringLiteral("replies to %1 disagree: failed").arg(report_.command));
    FinishQuery(consistent_ ? Outcome::Answered : Outcome::Disagreed);
}

void ComSupport::FinishQuery(QueryReport::Outcome outcome) {
    report_.outcome = outcome;
    if (outcome != QueryReport::Outcome::Answered)
        NoteTrouble(Trouble::TransactionFailed); // a series that goes on after it must end quiet
    report_.trouble = std::exchange(troubleNoted_, {});
    request_ = Request::None;
    replyTicks_ = 0;
    QMetaObject::invokeMethod(
        this, [this, report = std::exchange(report_, {})] { emit QueryFinished(report); },
        Qt::QueuedConnection);
}

// ---- Quiet waits ---------------------------------------------------------------------------

void ComSupport::ComStaysQuiet() {
    request_ = Request::Quiet;
    StartQuiet(acceptUntil_, QStringLiteral("a line now would be a later answer to the command"),
               QStringLiteral("after the reply taken, which may have been stale"));
}

void ComSupport::ComEndsQuiet() {
    request_ = Request::Quiet;
    StartQuiet(tickCount_ + kLateTicks,
               QStringLiteral("the series had trouble: a reply taken late would show now"),
               QStringLiteral("a late reply: the replies have shifted"));
}

void ComSupport::StartQuiet(quint32 until, const QString& why, const QString& meaning) {
    trace_.QuietWait(TicksLeft(until), why);
    quietUntil_ = until;
    bytesBefore_ = bytesHeard_;
    heard_ = false;
    meaning_ = meaning;
    phase_ = Phase::Quiet;
    WaitQuiet();
}

// A line, or a byte of one, that is waiting or arrives ends the wait unquiet; a line begun is
// given a reply time-out to end, so that it can be named.
void ComSupport::WaitQuiet() {
    const auto heardAny = [this] {
        return bytesHeard_ != bytesBefore_ || !lines_.isEmpty() || !receiveBuffer_.isEmpty() ||
               pendingCr_;
    };
    const bool open = Serial().IsOpen();
    if (lines_.isEmpty() && open) {
        if (!heard_ && heardAny()) {
            heard_ = true;
            quietUntil_ = tickCount_ + kReplyTicks;
        }
        if (!Expired(quietUntil_))
            return;
    }
    if (open)
        TakeInWaiting();
    if (!heardAny()) {
        if (open)
            trace_.QuietKept();
        else
            trace_.Note(QStringLiteral("the port went away in the quiet wait"));
        return FinishQuiet(open, !open, std::nullopt);
    }
    const bool partial = lines_.isEmpty();
    const QString text = partial ? receiveBuffer_ : lines_.first();
    trace_.Unquiet(text, partial, meaning_);
    ForgetReceived();
    FinishQuiet(false, false, text);
}

void ComSupport::FinishQuiet(bool quiet, bool portLost, std::optional<QString> heard) {
    QuietReport report{quiet, portLost, std::move(heard), std::exchange(troubleNoted_, {})};
    request_ = Request::None;
    QMetaObject::invokeMethod(
        this, [this, report] { emit QuietFinished(report); }, Qt::QueuedConnection);
}

// ---- Series --------------------------------------------------------------------------------

void ComSupport::BeginSeries() {
    troubleNoted_ = {};
}

void ComSupport::RequestStop() {
    stopRequested_ = true;
}
