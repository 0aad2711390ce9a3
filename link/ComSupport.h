#pragma once

#include "shell/Result.h"
#include "shell/Types.h"

#include <QString>
#include <QStringList>

#include <optional>

class QObject;
class QTimer;

namespace platform {
class SerialControl;
struct OpenFailure;
} // namespace platform

// Link state: one instance for the run.
struct LinkState {
    Boolean PortIsOpen = kFalse;
    qint16 ComPortNumber = 1;       // used by the next ComOpen, 1..16
    qint16 ComSpeedCode = 2;        // program option ComSpeed + 1
    Boolean ReplyComplete = kFalse; // a line is waiting in Lines
    QString ReceiveBuffer;          // the line being assembled
    bool PendingCr = false;         // the last character was a CR: an LF, even in a later read,
                                    // ends the line
    QStringList Lines;              // complete lines not yet taken, oldest first
    qint16 ReplyTicks = 0;
    qint16 WaitTicks = 0;
    quint32 TickCount = 0;      // free-running: the deadlines of the late lines are counted in it
    quint32 AcceptUntil = 0;    // until then a line may still answer the last command
    bool Trouble = false;       // the running series had a time-out, a line set aside or dropped
    bool StopRequested = false; // no further transaction starts until the port is opened again
};

// The RS-232 line to the controller and its one command transaction. Time is counted in
// ticks of a 20 ms timer that must call ComTick (the main window's Timer1, or the timer of
// another front end); waits let pending events run until a tick or a character arrives.
namespace ComSupport {

inline constexpr int kTickMs = 20;
inline constexpr int kReplyTicks = 10;
inline constexpr int kAttempts = 5;
inline constexpr int kReceiveSettleTicks = 2;
// How long a late line is still taken for an answer: after the last attempt went out, and
// after each owed line that came.
inline constexpr int kLateTicks = 5 * kReplyTicks;

extern LinkState Link;

// Title of the link's message boxes, in the chosen language.
QString LinkTitle();

// A failed open in the chosen language: the device and the platform's reason, and what to do.
QString OpenFailureText(const platform::OpenFailure& failure);

// Settings string of a speed code ("9600,N,8,1" for code 2); empty for an unknown code.
QString SettingsString(int speedCode);

// The serial control the link uses. Without an installed one, a QSerialPort-backed control
// is created on first use. Installing another (not owned) is for tests and simulators.
void SetSerialControl(platform::SerialControl* serial);
platform::SerialControl& Serial();

// A 20 ms timer, owned by parent, whose ticks call ComTick; started unless told otherwise.
QTimer* CreateTickTimer(QObject* parent, bool started = true);

void ComInit(int portNumber, int speedOption);
// Opens the device behind COM ComPortNumber.
Result ComOpen();
// Opens this device instead (a path, or COMn on Windows).
Result ComOpenDevice(const QString& device);
void ComClose();
// What a reply line may look like. A line of another shape is noise, not a reply.
enum class ReplyShape {
    Line,   // any line, an empty one too
    Text,   // letters, digits and . - _ / : + , ( ) (the controller's name, serial number...)
    Number, // a decimal number: optional sign, digits, optional fraction
    Word,   // letters only ("OK", "NG")
};
bool ReplyFits(ReplyShape shape, QStringView line);

// One command line out, one reply line of the shape in, up to kAttempts attempts. A line
// already waiting when the command is about to go out means the replies have shifted: the
// transaction fails. An attempt that timed out still owes a line: the owed lines are waited
// for, and one that differs from the reply taken, or a line more than could be owed, fails
// the transaction. An owed line that does not come within kLateTicks is taken as dropped by
// the controller; the series then had trouble.
bool ComQuery(const QString& command, QString& reply, ReplyShape shape = ReplyShape::Line);
bool ComSend(const QString& command);
bool ComWaitReply(QString& reply, ReplyShape shape = ReplyShape::Line);

// How the last ComQuery ended, for callers that must name what went wrong.
struct QueryReport {
    enum class Outcome {
        Answered,
        Stopped,   // a stop was requested: not sent
        Shifted,   // a line was waiting before it went out: not sent
        NoReply,   // no line of the shape after every attempt
        Disagreed, // the lines of its attempts differ, or one more came than owed
    };
    Outcome outcome = Outcome::NoReply;
    QString taken; // the reply taken, also when a later line disagreed with it
    // The first line that differed from it or came beyond the owed ones, or that a quiet wait
    // heard (part of a line when no line end came).
    std::optional<QString> odd;
};
const QueryReport& LastQuery();

// Waits until the link would no longer take an answer to the last command: kLateTicks after
// its last attempt went out, after the reply was taken and after its last owed line came
// (whichever is latest). False when a line, or part of one,
// is waiting or arrives meanwhile: an answer after the one taken, so the one taken may have
// been stale. The first such line becomes LastQuery().odd.
bool ComStaysQuiet();

// A command series (identification, load, verify, store) starts without trouble.
void BeginSeries();
// Ends it. After trouble (an attempt that timed out, a line set aside, an owed line taken as
// dropped, a failed transaction it went on after) it waits kLateTicks in which no line and no
// part of one may come: a reply later than the link takes shifts the replies after it by one,
// and the surplus line shows here. Without trouble it returns at once.
bool SeriesEndsQuiet();
// Stops the running command series before its next transaction; the one under way finishes,
// so the controller never gets half a command. Cleared when a port is opened.
void RequestStop();
bool StopRequested();
void ComReceive();
void ComWaitTicks(int ticks);
void ComTick();

} // namespace ComSupport
