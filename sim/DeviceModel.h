#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>

// A simulated QMX-001: the command language of the controller, its parameters in controller
// units, and the faults a test can ask it to show. Transport-free: the serial endpoints in this
// folder feed it command lines and carry its replies.
namespace sim {

// What the controller says about itself.
struct Identity {
    QString name = QStringLiteral("QMX001-SIM");     // "?:N"
    QString buildDate = QStringLiteral("20261207");  // "?:B"
    QString serialNo = QStringLiteral("SIM0000001"); // "?:S"
    QString version = QStringLiteral("V1.23");       // "?:V"
    QString revision = QStringLiteral("A01");        // "?:-"
};

// Misbehaviour on request. The first four act on the answers, the rest on the line.
struct Faults {
    int silentAfter = -1;           // answer only this many commands (-1: all)
    QString silentAt;               // stop answering from the first command with this text on
    QMap<QString, QString> replies; // command text -> reply text, instead of the model's own
    QSet<QString> ignoredSettings;  // parameter codes whose settings say "OK" but change nothing
    int processingMs = 0;           // before every reply; commands are handled one at a time
    QMap<QString, int> lateMs;      // command text -> extra time before its whole reply line
    bool ctsLow = false;            // the controller never signals ready (in-process only)
    bool splitCrLf = false;         // CR, then LF after splitGapMs in a second delivery
    int splitGapMs = 100;
    bool doubleCr = false;    // replies end CR CR LF
    int doubleCrFirst = 0;    // only the first this many replies end CR CR LF
    QString secondLine;       // sent as a further line after each reply (empty: none)
    double byteDelayMs = 0.0; // time of one byte on the line (0: all at once)
    // The first time this command arrives the controller stalls this long before answering
    // it; the commands that came meanwhile (its repeats) are answered straight after it.
    QMap<QString, int> stallMs;
    int chunkBytes = 0;                    // replies handed over this many bytes at a time
    int chunkGapMs = 16;                   // one chunk this often
    QMap<QString, QByteArray> noiseBefore; // bytes sent just before the first reply to it
    QMap<QString, QByteArray> noiseAfter;  // bytes sent just after the first reply to it
    QSet<QString> emptyLineBefore;         // an empty line before the first reply to it
    QSet<QString> stalePrevious; // when it arrives, the reply before goes out again at once
    // A controller busy with something else: the second time this command arrives (the
    // host's repeat) its reply goes out this many ms after the reply before it, whatever
    // lateMs says; a negative value leaves the repeat unanswered.
    QMap<QString, int> repeatAfterMs;
    QMap<QString, int> twiceGapMs; // the first reply to it goes out again this many ms later
    // In-process only: this line goes out this many ms after the first reply to the command.
    QMap<QString, QPair<int, QString>> lineAfter;
    // The first time this command arrives, this word goes out instead of the reply ("BUSY").
    QMap<QString, QString> busyFirst;
    // A restart: the first time restartAt arrives the controller goes quiet, for
    // restartSilentCommands command lines (that one included) or restartSilentMs, whichever
    // lasts longer, and then answers from its stored parameters (those of the last "Z:UW"), or
    // from its factory ones. What came meanwhile is lost.
    QString restartAt;
    int restartSilentCommands = 0;
    int restartSilentMs = 0;
    bool restartToFactory = false;
};

// Time of one byte at a line speed: 10 bits (start, 8 data, stop) per byte.
inline double ByteDelayForBaud(int baud) {
    return baud > 0 ? 10000.0 / baud : 0.0;
}

class DeviceModel {
public:
    DeviceModel();

    Identity identity;
    Faults faults;

    // One command line (without CR LF) in; its reply line (without CR LF) out, or none when the
    // controller keeps silent. Every line is logged, answered or not.
    std::optional<QString> Respond(const QString& command);

    // The command lines received, in order: the last logLimit of them at least (0: none kept,
    // -1: all), so that a long-running simulator does not grow.
    const QStringList& Log() const { return log_; }
    qsizetype logLimit = 10000;
    void ClearLog() { log_.clear(); }
    // Also told about each command line as it arrives (qmx-sim writes them out).
    std::function<void(const QString&)> onCommand;
    // Called on "Z:UW" to keep the parameters; false makes the controller answer "NG".
    std::function<bool()> onPersist;

    // Parameter by code ("D0", "ML1", ...; "N" is the origin offset); none for an unknown code.
    std::optional<qint64> Parameter(const QString& code) const;
    // Sets a parameter without the controller's checks; false for an unknown code.
    bool SetParameter(const QString& code, qint64 value);
    void ResetToFactory();
    // The parameters kept as if by "Z:UW": a restart goes back to them.
    void KeepAsStored() { stored_ = params_; }
    // Number of commands received since construction (or the last ResetCounters).
    int CommandCount() const { return commandCount_; }
    void ResetCounters();

    // The parameters as "CODE=VALUE" lines, and back. Loading checks every line first and
    // changes nothing when one is malformed or unknown.
    QByteArray StateText() const;
    bool LoadStateText(const QByteArray& text, QString* error = nullptr);

    static inline const char* const kOk = "OK";
    static inline const char* const kRefused = "NG";

private:
    QString OwnReply(const QString& command);
    bool Restarting(const QString& command);
    QString Query(const QString& code) const;
    QString Setting(const QString& code, const QString& valueText);
    bool Accepts(const QString& code, qint64 value) const;

    std::map<QString, qint64> params_;
    std::map<QString, qint64> stored_;
    QStringList log_;
    int commandCount_ = 0;
    bool silenced_ = false;
    QSet<QString> busyGiven_;
    bool restarted_ = false;
    int restartCommandsLeft_ = 0;
    QElapsedTimer restartClock_;
};

} // namespace sim
