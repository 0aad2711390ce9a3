#pragma once

#include "link/ComSupport.h"
#include "shell/Result.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

// A command series on one link: identification, load, store or verify. A small state machine
// over its step table, driven by the link's signals: each step sends one request and goes on
// when its outcome arrives. It is started by the function that makes it and returns at once;
// Progress moves as it goes and Finished tells how it ended, never from inside a call. It then
// deletes itself. A link destroyed under it ends it as a lost port; so does its parent's end,
// without a word.
class Series : public QObject {
    Q_OBJECT
public:
    ~Series() override;
    // Sends the first request; the rest follows from the link's signals.
    void Start();
    bool Running() const { return running_; }
    // What the series met that may have shifted the replies.
    Troubles Trouble() const { return trouble_; }
    // What its reading under way met (a reading: one pass over its queries).
    Troubles ReadingTrouble() const { return readingTrouble_; }

    // A reading that had trouble beyond time-outs whose owed lines all came (a line set aside,
    // an owed line taken as dropped, a failed transaction) is read again, up to kReadings in
    // all. Its values are taken when it had no such trouble (the first), or when they agree
    // with the reading before and it took no owed line as dropped: a controller that restarted,
    // or lost lines, gives readings that differ.
    static constexpr int kReadings = 3;
    enum class Verdict { Take, ReadAgain, Fail };
    static Verdict Judge(int reading, Troubles trouble, bool agreesWithBefore);

signals:
    void Progress(int value); // 0..100
    void Finished(const Result& result);

protected:
    Series(ComSupport& link, QObject* parent);

    virtual void Begin() = 0;

    using OnAnswer = std::function<void(const QueryReport&)>;
    using OnQuiet = std::function<void(const QuietReport&)>;
    void Query(const QString& command, const ReplyShape& shape, OnAnswer then);
    // The commit guard: quiet until the link would no longer take an answer to the last command.
    void StaysQuiet(OnQuiet then);
    // After trouble in the reading, a quiet wait; a reading without trouble goes on at once
    // (quiet).
    void EndsQuiet(OnQuiet then);
    void Finish(Result result);
    // A new reading: its trouble counts from here on.
    void BeginReading() { readingTrouble_ = {}; }

    ComSupport& Link() const { return *link_; }
    Language Lang() const { return language_; }
    Failure LinkFailure(FailureKind kind, const QString& japanese, const QString& english) const;
    // "cannot connect QMX-001.", the message of every failed exchange.
    Failure CannotConnect(FailureKind kind) const;
    // The kind of failure a transaction that did not end answered stands for.
    static FailureKind KindOf(const QueryReport& report);

    Verdict JudgeReading(int reading, bool agreesWithBefore) const {
        return Judge(reading, readingTrouble_, agreesWithBefore);
    }
    // A quiet wait that heard a line, or lost the port, finishes the series; true then.
    bool Heard(const QuietReport& quiet);
    // The end of a reading, after its quiet wait: Take or ReadAgain; none when the series has
    // finished (the wait heard something, or no reading can be trusted).
    std::optional<Verdict> EndReading(const QuietReport& quiet, const char* what, int reading,
                                      bool agreesWithBefore);
    // Says in the trace why a reading is read again, or why the series gives up.
    void NoteVerdict(const char* what, int reading, Verdict verdict) const;

private:
    void OnQueryFinished(const QueryReport& report);
    void OnQuietFinished(const QuietReport& report);
    void OnLinkGone();

    QPointer<ComSupport> link_;
    Language language_;
    OnAnswer onAnswer_;
    OnQuiet onQuiet_;
    Troubles trouble_;
    Troubles readingTrouble_;
    bool running_ = false;
};
