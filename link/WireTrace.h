#pragma once

#include <QString>

class QIODevice;

// A record of the exchange on the serial line for service staff: every line sent and every
// chunk received, with milliseconds since the trace started, attempt numbers and time-outs.
// Off unless started; while off every call returns at once.
namespace WireTrace {

// Traces into out (not owned) from now on; nullptr stops.
void Start(QIODevice* out);
// Appends to the file; false with the reason in error when it cannot be opened.
bool StartFile(const QString& path, QString& error);
void Stop();
bool Active();

void Opened(const QString& device, const QString& settings);
void Closed();
void Sent(const QString& command, int attempt);
void NotReady(const QString& command, int attempt);
void Received(const QByteArray& bytes);
void Taken(const QString& reply, int attempt);
void TimedOut(const QString& command, int attempt, int ticks);
void Discarded(const QString& line, bool matches);
// A line of the wrong shape for the reply awaited: noise, not an answer.
void Refused(const QString& line);
// A line no command was waiting for.
void Stray(const QString& line);
// Part of a line that never ended.
void Dropped(const QString& text);
// The wait for the lines that attempts which timed out still owe, and its outcome.
void Draining(int owed, int ticks);
void Drained(bool consistent);
void Note(const QString& text);

} // namespace WireTrace
