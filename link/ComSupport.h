#pragma once

#include "shell/Types.h"

#include <QString>
#include <QStringList>

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
    quint32 TickCount = 0;      // free-running: how long the late replies of a transaction may take
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
bool ComOpen();
// Opens this device instead (a path, or COMn on Windows).
bool ComOpenDevice(const QString& device);
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
// the transaction.
bool ComQuery(const QString& command, QString& reply, ReplyShape shape = ReplyShape::Line);
bool ComSend(const QString& command);
bool ComWaitReply(QString& reply, ReplyShape shape = ReplyShape::Line);
// Waits one reply time-out; false when any line arrives meanwhile (an answer that came after
// the one taken: which one was meant cannot be told).
bool ComStaysQuiet();
// Stops the running command series before its next transaction; the one under way finishes,
// so the controller never gets half a command. Cleared when a port is opened.
void RequestStop();
bool StopRequested();
void ComReceive();
void ComWaitTicks(int ticks);
void ComTick();

} // namespace ComSupport
