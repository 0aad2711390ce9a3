#include "link/Series.h"

#include <utility>

Series::Series(ComSupport& link, QObject* parent)
    : QObject(parent), link_(&link), language_(link.Lang()) {
    connect(&link, &ComSupport::QueryFinished, this, &Series::OnQueryFinished);
    connect(&link, &ComSupport::QuietFinished, this, &Series::OnQuietFinished);
    connect(&link, &QObject::destroyed, this, &Series::OnLinkGone);
}

Series::~Series() = default;

void Series::Start() {
    running_ = true;
    link_->BeginSeries();
    Begin();
}

void Series::Query(const QString& command, const ReplyShape& shape, OnAnswer then) {
    Q_ASSERT(!link_->Busy());
    onAnswer_ = std::move(then);
    link_->ComQuery(command, shape);
}

void Series::StaysQuiet(OnQuiet then) {
    onQuiet_ = std::move(then);
    link_->ComStaysQuiet();
}

void Series::EndsQuiet(OnQuiet then) {
    if (!readingTrouble_) {
        QuietReport quiet;
        quiet.quiet = true;
        return then(quiet);
    }
    onQuiet_ = std::move(then);
    link_->ComEndsQuiet();
}

void Series::OnQueryFinished(const QueryReport& report) {
    if (!onAnswer_)
        return; // another series' request on this link
    trouble_ |= report.trouble;
    readingTrouble_ |= report.trouble;
    std::exchange(onAnswer_, {})(report);
}

void Series::OnQuietFinished(const QuietReport& report) {
    if (!onQuiet_)
        return;
    trouble_ |= report.trouble;
    readingTrouble_ |= report.trouble;
    std::exchange(onQuiet_, {})(report);
}

// The link is going: nothing of it may be touched any more.
void Series::OnLinkGone() {
    Finish(CannotConnect(FailureKind::PortLost));
}

// Said from the event loop, so that a caller never hears it inside its own call.
void Series::Finish(Result result) {
    if (!running_)
        return;
    running_ = false;
    onAnswer_ = {};
    onQuiet_ = {};
    QMetaObject::invokeMethod(
        this,
        [this, result = std::move(result)] {
            emit Finished(result);
            deleteLater();
        },
        Qt::QueuedConnection);
}

Failure Series::LinkFailure(FailureKind kind, const QString& japanese,
                            const QString& english) const {
    return {LinkTitle(language_), language_.JaEn(japanese, english), kind};
}

Failure Series::CannotConnect(FailureKind kind) const {
    return LinkFailure(kind, QStringLiteral("QMX-001との接続ができません。"),
                       QStringLiteral("cannot connect QMX-001."));
}

Series::Verdict Series::Judge(int reading, Troubles trouble, bool agreesWithBefore) {
    // A controller that was only slow answered every attempt, late, with the same line: its
    // reading stands. A line set aside, lost or failed may mean it restarted meanwhile.
    const Troubles suspect =
        Trouble::SetAside | Trouble::OwedLineDropped | Trouble::TransactionFailed;
    if (reading == 1 && !(trouble & suspect))
        return Verdict::Take;
    if (reading > 1 && agreesWithBefore && !trouble.testFlag(Trouble::OwedLineDropped))
        return Verdict::Take;
    return reading < kReadings ? Verdict::ReadAgain : Verdict::Fail;
}

namespace {

QString TroubleText(Troubles trouble) {
    QStringList kinds;
    if (trouble.testFlag(Trouble::TimeOut))
        kinds << QStringLiteral("a time-out");
    if (trouble.testFlag(Trouble::SetAside))
        kinds << QStringLiteral("a line set aside");
    if (trouble.testFlag(Trouble::OwedLineDropped))
        kinds << QStringLiteral("an owed line taken as dropped");
    if (trouble.testFlag(Trouble::TransactionFailed))
        kinds << QStringLiteral("a failed transaction");
    return kinds.isEmpty() ? QStringLiteral("none") : kinds.join(QStringLiteral(", "));
}

} // namespace

void Series::NoteVerdict(const char* what, int reading, Verdict verdict) const {
    if (verdict == Verdict::Take || !link_)
        return;
    const QString why =
        reading == 1 ? QStringLiteral("it had trouble (%1)").arg(TroubleText(readingTrouble_))
                     : QStringLiteral("%1 (trouble: %2)")
                           .arg(readingTrouble_.testFlag(Trouble::OwedLineDropped)
                                    ? QStringLiteral("it lost a line")
                                    : QStringLiteral("it differs from the reading before"),
                                TroubleText(readingTrouble_));
    link_->Trace().Note(verdict == Verdict::ReadAgain
                            ? QStringLiteral("%1, reading %2: %3; read again")
                                  .arg(QLatin1String(what))
                                  .arg(reading)
                                  .arg(why)
                            : QStringLiteral("%1, reading %2: %3; no reading can be trusted, "
                                             "failed")
                                  .arg(QLatin1String(what))
                                  .arg(reading)
                                  .arg(why));
}

bool Series::Heard(const QuietReport& quiet) {
    if (quiet.quiet)
        return false;
    Finish(CannotConnect(quiet.portLost ? FailureKind::PortLost : FailureKind::Unconfirmed));
    return true;
}

std::optional<Series::Verdict> Series::EndReading(const QuietReport& quiet, const char* what,
                                                  int reading, bool agreesWithBefore) {
    if (Heard(quiet))
        return std::nullopt;
    const Verdict verdict = JudgeReading(reading, agreesWithBefore);
    NoteVerdict(what, reading, verdict);
    if (verdict != Verdict::Fail)
        return verdict;
    Finish(CannotConnect(FailureKind::Unconfirmed));
    return std::nullopt;
}

FailureKind Series::KindOf(const QueryReport& report) {
    using Outcome = QueryReport::Outcome;
    switch (report.outcome) {
    case Outcome::Stopped:
        return FailureKind::Stopped;
    case Outcome::Shifted:
    case Outcome::Busy:
        return FailureKind::Shifted;
    case Outcome::Disagreed:
        return FailureKind::Disagreed;
    case Outcome::PortLost:
        return FailureKind::PortLost;
    case Outcome::NoReply:
    case Outcome::Answered:
        break;
    }
    return FailureKind::NoReply;
}
