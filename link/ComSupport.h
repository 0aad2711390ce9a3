#pragma once

#include "link/WireTrace.h"
#include "shell/Language.h"
#include "shell/Result.h"

#include <QFlags>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace platform {
class SerialControl;
struct OpenFailure;
} // namespace platform

// Words as the link uses them:
// - attempt: one sending of a command; a transaction makes up to kAttempts of them.
// - owed line: the line an attempt that timed out still owes; the controller may answer it late.
// - set aside: a line of the wrong shape for the reply awaited (noise, a refusal where a number
//   is due, a number that does not fit its field, an overlong line) is passed over, not taken;
//   it is trouble. A line that echoes the command just sent is set aside without trouble.
// - stray: a line no command was waiting for: it was there before a command went out.
// - trouble: something in a series that may have shifted the replies: an attempt that timed
//   out, a line set aside, an owed line taken as dropped, a failed transaction the series went
//   on after.
// - quiet wait: a wait in which no line, and no part of one, may come; one that does shows that
//   a reply came later than the link took it.

// What a reply line may look like. A line of another shape is noise, not a reply.
enum class ReplyKind {
    Line,   // any line, an empty one too
    Text,   // letters, digits and . - _ / : + , ( ) (the controller's name, serial number...)
    Number, // a decimal number: optional sign, digits, optional fraction
    Word,   // letters only ("OK", "NG")
};

struct ReplyShape {
    ReplyShape(ReplyKind kind = ReplyKind::Line, std::function<bool(QStringView)> fits = {})
        : kind(kind), fits(std::move(fits)) {}
    ReplyKind kind;
    // Beyond its kind, what the line must be to count as a reply; none: any line of the kind.
    std::function<bool(QStringView)> fits;
};
bool ReplyFits(const ReplyShape& shape, QStringView line);

// Settings string of a speed code ("9600,N,8,1" for code 2); empty for an unknown code.
QString SettingsString(int speedCode);

// Title of the link's message boxes.
QString LinkTitle(Language language);

// A 20 ms timer for a link to count, owned by parent and not started.
QTimer* MakeTickTimer(QObject* parent);

// What a series may meet that can shift the replies; kept per series.
enum class Trouble {
    TimeOut = 0x1,           // an attempt that timed out
    SetAside = 0x2,          // a line of the wrong shape set aside, or a broken line dropped
    OwedLineDropped = 0x4,   // an owed line that never came, taken as dropped by the controller
    TransactionFailed = 0x8, // a transaction that failed
};
Q_DECLARE_FLAGS(Troubles, Trouble)
Q_DECLARE_OPERATORS_FOR_FLAGS(Troubles)

// How a transaction ended.
struct QueryReport {
    enum class Outcome {
        Answered,
        Stopped,   // a stop was requested: not sent
        Shifted,   // a line was waiting before it went out: not sent
        NoReply,   // no line of the shape after every attempt
        Disagreed, // the lines of its attempts differ, or one more came than owed
        PortLost,  // the device went away
        Busy,      // another request of this link was under way: not sent
    };
    QString command{};
    Outcome outcome = Outcome::NoReply;
    QString taken{}; // the reply taken, also when a later line disagreed with it
    // The first line that differed from it or came beyond the owed ones.
    std::optional<QString> odd{};
    Troubles trouble{}; // what this transaction met (and the link met since the one before)

    bool Answered() const { return outcome == Outcome::Answered; }
};

// How a quiet wait ended.
struct QuietReport {
    bool quiet = false;
    bool portLost = false;
    // The line heard, or the part of one when no line end came; none when nothing came.
    std::optional<QString> heard{};
    Troubles trouble{};
};

// The RS-232 line to one controller and its one command transaction: an object per port that
// owns its serial control, its framing, its owed lines, its trouble, its trace and its language.
// Time is counted in ticks (20 ms) of a tick source the front end gives it (the window's
// Timer1, a timer of qmxcli's own, or a test that steps it by hand). Every request returns at
// once; its outcome arrives later by a signal, never from inside the call. One request at a
// time.
class ComSupport : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 20;
    static constexpr int kReplyTicks = 10;
    static constexpr int kAttempts = 5;
    static constexpr int kReceiveSettleTicks = 2;
    // How long a late line is still taken for an answer: after the last attempt went out, and
    // after each owed line that came.
    static constexpr int kLateTicks = 5 * kReplyTicks;
    // No reply is longer (blanks and backspaces left out); a longer line is noise.
    static constexpr int kMaxLineLength = 64;

    // A link on a real port (QSerialPort), made on first use.
    explicit ComSupport(Language language, QObject* parent = nullptr);
    ~ComSupport() override;

    Language Lang() const { return language_; }
    WireTrace& Trace() { return trace_; }
    QString LinkTitle() const { return ::LinkTitle(language_); }
    // A failed open: the device and the platform's reason, and what to do.
    QString OpenFailureText(const platform::OpenFailure& failure) const;

    // Another serial control (not owned): a simulator, a test's scripted line. Only while the
    // port is closed.
    void SetSerialControl(platform::SerialControl* serial);
    platform::SerialControl& Serial();

    // Counts a tick on each timeout of the timer; ComTick counts one by hand.
    void UseTicksOf(const QTimer* timer);
    void ComTick();

    // The link state.
    bool PortIsOpen() const { return portIsOpen_; }
    int ComPortNumber() const { return comPortNumber_; } // used by the next ComOpen, 1..16
    int ComSpeedCode() const { return comSpeedCode_; }   // program option ComSpeed + 1
    const QString& ReceiveBuffer() const { return receiveBuffer_; } // the line being assembled

    void ComInit(int portNumber, int speedOption);
    // Opens the device behind COM ComPortNumber.
    Result ComOpen();
    // Opens this device instead (a path, or COMn on Windows).
    Result ComOpenDevice(const QString& device);
    void ComClose();

    // One command line out, one reply line of the shape in, up to kAttempts attempts; then
    // QueryFinished. A line already waiting when the command is about to go out means the
    // replies have shifted: the transaction fails. An attempt that timed out still owes a line:
    // the owed lines are waited for, and one that differs from the reply taken, or a line more
    // than could be owed, fails the transaction. An owed line that does not come within
    // kLateTicks is taken as dropped by the controller.
    void ComQuery(const QString& command, const ReplyShape& shape = ReplyKind::Line);
    // Waits until the link would no longer take an answer to the last command: kLateTicks after
    // its last attempt went out, after the reply was taken and after its last owed line came
    // (whichever is latest); then QuietFinished. Not quiet when a line, or part of one, is
    // waiting or arrives meanwhile: an answer after the one taken, so the one taken may have
    // been stale.
    void ComStaysQuiet();
    // Waits kLateTicks in which no line and no part of one may come; then QuietFinished. After
    // trouble a reply later than the link takes shifts the replies after it by one, and the
    // surplus line shows here.
    void ComEndsQuiet();
    bool Busy() const { return request_ != Request::None; }

    // A command series (identification, load, verify, store) starts without trouble.
    void BeginSeries();
    // Stops the running command series before its next transaction; the one under way finishes,
    // so the controller never gets half a command. Cleared when a port is opened.
    void RequestStop();
    bool StopRequested() const { return stopRequested_; }

signals:
    void QueryFinished(const QueryReport& report);
    void QuietFinished(const QuietReport& report);

private:
    enum class Request { None, Query, Quiet };
    enum class Phase { Awaiting, Draining, Quiet };

    void Attach(platform::SerialControl* serial);
    void OnReceived();
    void OnLost();
    void ReadAndFrame();
    void Frame(const QByteArray& input);
    void EndLine();
    WireTrace::AsideWhy WhyAside(const QString& line) const;
    void TakeInWaiting();
    void ForgetReceived();
    bool StartClean();
    std::optional<QString> NextFitting();
    void NoteTrouble(Trouble kind);
    void NoteOdd(const QString& line);
    bool Expired(quint32 until) const;
    int TicksLeft(quint32 until) const;

    void Evaluate();
    bool ComSend(const QString& command);
    void SendNextAttempt();
    void AwaitReply();
    void ReplyTaken(const QString& reply);
    void StartDraining(const std::optional<QString>& taken, int owed);
    void Drain();
    void StartQuiet(quint32 until, const QString& why, const QString& meaning);
    void WaitQuiet();
    void FinishQuery(QueryReport::Outcome outcome);
    void FinishQuiet(bool quiet, bool portLost, std::optional<QString> heard);

    Language language_;
    WireTrace trace_;
    QPointer<platform::SerialControl> serial_;
    std::unique_ptr<platform::SerialControl> ownSerial_;
    QMetaObject::Connection receivedConnection_;
    QMetaObject::Connection lostConnection_;
    QMetaObject::Connection tickConnection_;

    // Link state and framing.
    bool portIsOpen_ = false;
    int comPortNumber_ = 1;
    int comSpeedCode_ = 2;
    QString receiveBuffer_;
    bool pendingCr_ = false;  // the last character was a CR: an LF, even in a later read, ends it
    bool overlong_ = false;   // the line being assembled outgrew any reply
    QStringList lines_;       // complete lines not yet taken, oldest first
    quint64 bytesHeard_ = 0;  // every byte framed but blanks and backspaces
    int setAside_ = 0;        // lines of the wrong shape set aside so far
    quint32 tickCount_ = 0;   // free-running: deadlines are counted in it
    int settleTicks_ = 0;     // a receive event waits this many ticks more before it reads
    quint32 acceptUntil_ = 0; // until then a line may still answer the last command
    bool stopRequested_ = false;
    Troubles troubleNoted_; // since the last report

    // The request under way.
    Request request_ = Request::None;
    Phase phase_ = Phase::Awaiting;
    QueryReport report_;
    ReplyShape shape_;
    int attempt_ = 0;
    int sent_ = 0; // attempts on the line: each owes one line
    int replyTicks_ = 0;
    int setAsideBefore_ = 0;
    quint32 lastSend_ = 0;
    // Draining the owed lines.
    std::optional<QString> drainTaken_;
    int owed_ = 0;
    quint32 drainUntil_ = 0;
    bool consistent_ = true;
    qsizetype seen_ = 0;
    // A quiet wait.
    quint32 quietUntil_ = 0;
    quint64 bytesBefore_ = 0;
    bool heard_ = false;
    QString meaning_;
};
