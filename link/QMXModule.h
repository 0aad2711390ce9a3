#pragma once

#include "link/Series.h"
#include "shell/ConfigRecord.h"
#include "shell/MainModule.h"

#include <QList>
#include <QStringList>

#include <optional>
#include <span>

// Identification, load, store and verify: the command series exchanged with the controller.
// Each runs on the link it is given, on the record or controller information it is given, and
// says in its Finished what went wrong, worded for the operator.

// A parameter the controller holds otherwise than a store of the record sent it.
struct StoreDifference {
    int field; // row of the record's field table
    qint64 sent;
    QString readBack; // the controller's reply
};

// How far a store got: what the controller holds afterwards.
struct StoreReport {
    enum class Commit {
        NotSent,    // "Z:UW" never went out: the controller keeps its stored parameters
        Ok,         // answered "OK" and nothing followed
        Refused,    // answered with another word, and never "OK"
        Unanswered, // no answer
        Uncertain,  // "OK" and another line came: it may or may not have kept them
    };
    // Why failedCommand failed.
    enum class Why {
        Refused,     // answered with a word other than "OK" (failedReply)
        Unanswered,  // no line came (failedReply empty)
        Disagreed,   // its attempts were answered differently (failedReply: the one not "OK")
        Shifted,     // a line was waiting before it went out: not sent (failedReply empty)
        Unconfirmed, // a line, or part of one, came after the "OK" to "Z:UW" (failedReply),
                     // or the port went away before that could be ruled out (failedReply empty)
    };
    int settings = 0; // commands before "Z:UW" answered "OK"
    int total = 0;    // commands the store meant to send, "Z:UW" included
    Commit commit = Commit::NotSent;
    QString failedCommand;    // the command that failed; empty when none did
    QString failedReply;      // the line that refused it; empty when none did
    Why why = Why::Refused;   // meaningful with failedCommand only
    bool interrupted = false; // stopped on request before its next command
    // A store that had trouble reads back every parameter it sent.
    enum class ReadBack {
        None,    // no trouble: nothing read back
        Matched, // the controller holds every value sent
        Differs, // it holds other values: differences
        Failed,  // the read-back could not be made
    };
    ReadBack readBack = ReadBack::None;
    QList<StoreDifference> differences{};
};

// The identification series; fills info with what the controller answered as it goes. The
// serial number is asked twice (three times when the two differ) and taken when two agree. A
// reading that had trouble is read again (without "Z:IE0"); see Series::JudgeReading.
class IdentifySeries final : public Series {
    Q_OBJECT
public:
    IdentifySeries(ComSupport& link, ControllerInfo& info, QObject* parent);

private:
    void Begin() override;
    void Next();
    void Answered(const QueryReport& report);
    bool TakeSerial(const QString& reply);
    void Ended(const QuietReport& quiet);
    void Accept();

    ControllerInfo& info_;
    std::optional<ControllerInfo> before_; // the reading before
    QStringList serials_;                  // the answers to "?:S" in this reading
    size_t step_ = 0;
    int reading_ = 1;
};

// The load; the record changes only once every value was read, in a reading that can be
// trusted (see Series::JudgeReading).
class LoadSeries final : public Series {
    Q_OBJECT
public:
    LoadSeries(ComSupport& link, ConfigRecord& target, QObject* parent);

private:
    void Begin() override;
    void StartReading();
    void Next();
    void Answered(const QueryReport& report);
    void Ended(const QuietReport& quiet);

    ConfigRecord& target_;
    ConfigRecord record_;
    std::optional<ConfigRecord> before_; // the reading before
    size_t step_ = 0;
    int reading_ = 1;
};

// The store: the setting commands, "Z:UW" last. The record is read when it starts.
class StoreSeries final : public Series {
    Q_OBJECT
public:
    StoreSeries(ComSupport& link, const ConfigRecord& record, QObject* parent);
    const StoreReport& Report() const { return report_; }

private:
    void Begin() override;
    void Next();
    void Answered(const QueryReport& report);
    void NoteFailure(const QueryReport& query, bool commit);
    void CommitGuarded(const QuietReport& quiet);
    void ReadBack();
    void ReadBackDone(const Result& result, const QList<StoreDifference>& differences);
    Failure UncertainStore() const;
    void Failed();

    ConfigRecord record_;
    QStringList commands_;
    StoreReport report_;
    qsizetype step_ = 0;
};

// Queries every parameter a store of the record sets and compares the replies with what the
// store sent, in the controller's own units (Booleans by meaning); Differences lists those
// that differ, and a reply that is no number at all differs. Fails when a query went
// unanswered.
class VerifySeries final : public Series {
    Q_OBJECT
public:
    VerifySeries(ComSupport& link, const ConfigRecord& record, QObject* parent);
    const QList<StoreDifference>& Differences() const { return differences_; }

private:
    void Begin() override;
    void Next();
    void Answered(const QueryReport& report, qint64 sent);
    void Ended(const QuietReport& quiet);

    ConfigRecord record_;
    QList<StoreDifference> differences_;
    size_t step_ = 0;
    int done_ = 0;
};

namespace QMXModule {

// Each makes its series on the link and starts it; the series is owned by parent (none: by
// itself) and deletes itself once it has said Finished.
IdentifySeries* ConnectController(ComSupport& link, ControllerInfo& info, QObject* parent);
LoadSeries* LoadConfigFromController(ComSupport& link, ConfigRecord& record, QObject* parent);
StoreSeries* StoreConfigToController(ComSupport& link, const ConfigRecord& record, QObject* parent);
VerifySeries* VerifyStore(ComSupport& link, const ConfigRecord& record, QObject* parent);

// The command lines a store sends for this record; none when a scale is 0 or a converted
// value does not fit 32 bits.
std::optional<QStringList> StoreCommands(const ConfigRecord& record);

// The fields a store sends (and a verify reads back), in the order it sends them.
std::span<const int> StoredFields();
// The record as a load would read it back once it is stored: values through the controller's
// units and back (a current rounded to what the controller keeps, 0 dial pulses as 10); the
// fields a store does not send keep their values. None when it cannot be stored.
std::optional<ConfigRecord> AsLoaded(const ConfigRecord& record);
// The fields a store sends whose values in the two records differ in meaning.
QList<int> ChangedFields(const ConfigRecord& shown, const ConfigRecord& known);

} // namespace QMXModule
