#pragma once

#include "shell/ConfigRecord.h"
#include "shell/Result.h"

#include <QStringList>

#include <optional>

// Identification, load and store: the command series exchanged with the controller.
namespace QMXModule {

// Each series returns what went wrong, worded for the operator.

// Sends the identification series and fills the controller information of the program state.
Result ConnectController();

// Reads every parameter into the configuration record; it changes only when all of them were
// read.
Result LoadConfigFromController();
// The same into another record.
Result ReadConfig(ConfigRecord& target);

// Writes the configuration record with the setting commands, "Z:UW" last.
Result StoreConfigToController();

// How far the last store got: what the controller holds afterwards.
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
};
const StoreReport& LastStoreReport();

// The command lines a store sends for this record; none when a scale is 0 or a converted
// value does not fit 32 bits.
std::optional<QStringList> StoreCommands(const ConfigRecord& record);

// A parameter the controller holds otherwise than a store of the record sent it.
struct StoreDifference {
    int field; // row of the record's field table
    qint64 sent;
    QString readBack; // the controller's reply
};

// Queries every parameter a store of the record sets and compares the replies with what the
// store sent, in the controller's own units (Booleans by meaning); differences lists those that
// differ. Fails when a query went unanswered.
Result VerifyStore(const ConfigRecord& record, QList<StoreDifference>& differences);

} // namespace QMXModule
