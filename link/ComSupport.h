#pragma once

#include "shell/Types.h"

#include <QString>

class QObject;
class QTimer;

namespace platform {
class SerialControl;
}

// Link state: one instance for the run.
struct LinkState {
    Boolean PortIsOpen = kFalse;
    qint16 ComPortNumber = 1; // used by the next ComOpen, 1..16
    qint16 ComSpeedCode = 2;  // program option ComSpeed + 1
    Boolean ReplyComplete = kFalse;
    QString ReceiveBuffer;
    qint16 ReplyTicks = 0;
    qint16 WaitTicks = 0;
    quint32 TickCount = 0; // free-running: how long the late replies of a transaction may take
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
// One command line out, one reply line in, up to kAttempts attempts. After an attempt that
// timed out, the controller may still answer it: such late replies are waited out and
// discarded, and a late reply that differs from the one taken fails the transaction.
bool ComQuery(const QString& command, QString& reply);
bool ComSend(const QString& command);
bool ComWaitReply(QString& reply);
void ComReceive();
void ComWaitTicks(int ticks);
void ComTick();

} // namespace ComSupport
