#pragma once

#include <QElapsedTimer>
#include <QIODevice>
#include <QPointer>
#include <QString>

#include <memory>

class QFile;

// A record of the exchange on one serial line for service staff: every line sent and every
// chunk received, with milliseconds since the trace started, the port's device, attempt numbers
// and time-outs. Each link has its own; several may write into one file or stream. Off unless
// started; while off every call returns at once.
class WireTrace {
public:
    WireTrace();
    ~WireTrace();
    WireTrace(const WireTrace&) = delete;
    WireTrace& operator=(const WireTrace&) = delete;

    // Traces into out (not owned) from now on; nullptr stops.
    void Start(QIODevice* out);
    // Appends to the file; false with the reason in error when it cannot be opened.
    bool StartFile(const QString& path, QString& error);
    void Stop();
    bool Active() const;

    void Opened(const QString& device, const QString& settings);
    void Closed();
    void Sent(const QString& command, int attempt);
    void NotReady(const QString& command, int attempt);
    void Received(const QByteArray& bytes);
    // The reply taken; after: lines were set aside before it in this attempt.
    void Taken(const QString& reply, int attempt, bool after = false);
    void TimedOut(const QString& command, int attempt, int ticks);
    // A line that came after the reply was taken: owed by an attempt that timed out, or beyond.
    void Discarded(const QString& line, bool owed, bool matches);
    // Why a line was set aside instead of taken for the reply awaited.
    enum class AsideWhy {
        Noise,    // of another shape
        Refusal,  // a word where a number is due: the controller refusing the command
        Unfit,    // a number that does not fit its field, or a word where a fact is due
        Echo,     // the command itself: a line that echoes what it is sent
        Overlong, // longer than any reply; only its beginning is kept
    };
    void SetAside(const QString& line, AsideWhy why);
    // The controller refused a command: it answered a word other than the one that goes on.
    void Refusal(const QString& command, const QString& line);
    // A line no command was waiting for.
    void Stray(const QString& line);
    // Part of a line that never ended.
    void Dropped(const QString& text);
    // The wait for the lines that attempts which timed out still owe, and its outcome: dropped
    // owed lines never came and are taken as dropped by the controller.
    void Draining(int owed, int ticks);
    void Drained(bool consistent, int dropped);
    // A wait in which no line may come, what came in it (partial: no line end yet) and its end.
    void QuietWait(int ticks, const QString& why);
    void Unquiet(const QString& text, bool partial, const QString& meaning);
    void QuietKept();
    void Note(const QString& text);

private:
    void Line(const QString& text);

    QPointer<QIODevice> sink_;
    std::unique_ptr<QFile> ownedFile_;
    QElapsedTimer clock_;
    QString port_; // the device's path: several programs may trace into one file
};
