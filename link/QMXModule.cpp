#include "link/QMXModule.h"

#include "shell/Numbers.h"
#include "shell/RecordFields.h"

#include <algorithm>
#include <array>

namespace {

// ---- Identification ------------------------------------------------------------------------

enum class Info { None, Name, BuildDate, SerialNo, SerialAgain, Version, Revision };

struct IdentifyStep {
    const char* command;
    Info info;
    ReplyKind shape;
    int progress; // -1: unchanged
};

constexpr auto kIdentifySteps = std::to_array<IdentifyStep>({
    {"Z:IE0", Info::None, ReplyKind::Word, -1},
    {"?:N", Info::Name, ReplyKind::Text, 20},
    {"?:B", Info::BuildDate, ReplyKind::Text, 40},
    {"?:S", Info::SerialNo, ReplyKind::Text, 60},
    {"?:S", Info::SerialAgain, ReplyKind::Text, -1}, // files carry it: asked until two agree
    {"?:V", Info::Version, ReplyKind::Text, 80},
    {"?:-", Info::Revision, ReplyKind::Text, 100},
});

// The words of the protocol are answers to commands, never the controller's facts.
bool IsFact(QStringView line) {
    for (const char* word : {"OK", "NG", "ERR", "ERROR", "BUSY"})
        if (line.compare(QLatin1String(word), Qt::CaseInsensitive) == 0)
            return false;
    return true;
}

ReplyShape IdentifyShape(const IdentifyStep& step) {
    if (step.info == Info::None)
        return step.shape;
    return {step.shape, IsFact};
}

// The version in a reply such as "V1.23": its longest tail of digits with at most one point.
QString VersionTail(const QString& reply) {
    qsizetype start = reply.size();
    bool point = false;
    while (start > 0) {
        const QChar c = reply.at(start - 1);
        if (c == u'.' && !point)
            point = true;
        else if (!c.isDigit() || c.unicode() > 0x7f)
            break;
        --start;
    }
    return reply.mid(start);
}

// Takes one identification reply into the controller information; false when it refuses the
// device.
bool TakeInfo(Info info, const QString& reply, ControllerInfo& s) {
    switch (info) {
    case Info::None:
    case Info::SerialAgain:
        return true;
    case Info::Name:
        s.ControllerName = reply;
        return reply.startsWith(QLatin1String("QMX001"));
    case Info::BuildDate:
        s.ControllerBuildDate = reply;
        return true;
    case Info::SerialNo:
        s.ControllerSerialNo = reply;
        return true;
    case Info::Version: {
        const QString tail = VersionTail(reply);
        s.ControllerVersionText = tail.isEmpty() ? reply : tail;
        s.ControllerVersion = tail.isEmpty() ? 0.0 : Numbers::ReadNumber(tail);
        return true;
    }
    case Info::Revision:
        s.ControllerRevision = reply;
        return true;
    }
    return true;
}

// ---- Load ----------------------------------------------------------------------------------

// How a reply becomes its field's value; the field's type does the rest.
enum class Reading {
    Plain,   // the number (or Boolean) of the reply
    Scale,   // the same, refused when 0: it divides later conversions
    Current, // controller current units -> mA, with currentScale as just read
    Ct,      // controller CT units -> program units, with ctScale as just read
};

struct LoadStep {
    const char* command;
    int field;
    Reading reading;
    ReplyKind shape; // Booleans too: "0" is False, any other number True
    int progress;
};

constexpr ReplyKind kNumber = ReplyKind::Number;

constexpr auto kLoadSteps = std::to_array<LoadStep>({
    {"?:D0", Field("defaultSpeedMin"), Reading::Plain, kNumber, 3},
    {"?:D1", Field("defaultSpeedMax"), Reading::Plain, kNumber, 6},
    {"?:D2", Field("defaultAccelTime"), Reading::Plain, kNumber, 9},
    {"?:J0", Field("jogSpeedMin"), Reading::Plain, kNumber, 12},
    {"?:J1", Field("jogSpeedMax"), Reading::Plain, kNumber, 15},
    {"?:J2", Field("jogAccelTime"), Reading::Plain, kNumber, 18},
    {"?:O0", Field("originSpeedMin"), Reading::Plain, kNumber, 21},
    {"?:O1", Field("originSpeedMax"), Reading::Plain, kNumber, 24},
    {"?:O2", Field("originAccelTime"), Reading::Plain, kNumber, 27},
    {"?:EP", Field("excitationAtStartUp"), Reading::Plain, kNumber, 30},
    {"?:EA", Field("autoExcitation"), Reading::Plain, kNumber, 32},
    {"?:EF", Field("excitationAtEmergencyStop"), Reading::Plain, kNumber, 34},
    {"?:EJ", Field("jogInputEnabled"), Reading::Plain, kNumber, 36},
    {"?:IS", Field("comSpeedIndex"), Reading::Plain, kNumber, 40},
    {"?:IF", Field("comFlowControl"), Reading::Plain, kNumber, 45},
    {"?:MO", Field("originMode"), Reading::Plain, kNumber, 50},
    {"V:N", Field("originOffset"), Reading::Plain, kNumber, 55},
    {"?:ML0", Field("limitSensorMode(0)"), Reading::Plain, kNumber, 60},
    {"?:ML1", Field("limitSensorMode(1)"), Reading::Plain, kNumber, 62},
    {"?:MD", Field("reverseDirection"), Reading::Plain, kNumber, 64},
    {"?:MS", Field("stepMode"), Reading::Plain, kNumber, 66},
    {"?:CF", Field("currentScale"), Reading::Scale, kNumber, 70},
    {"?:CC", Field("ctScale"), Reading::Scale, kNumber, 74},
    {"?:CR", Field("runCurrent"), Reading::Current, kNumber, 78},
    {"?:CS", Field("stopCurrent"), Reading::Current, kNumber, 82},
    {"?:CT", Field("ctValue"), Reading::Ct, kNumber, 86},
    {"?:CH", Field("chValue"), Reading::Plain, kNumber, 88},
    {"?:CL", Field("clValue"), Reading::Plain, kNumber, 90},
    {"?:MT", Field("rotationStage"), Reading::Plain, kNumber, 92},
    {"?:ED", Field("jogDialEnabled"), Reading::Plain, kNumber, 94},
    {"?:EM", Field("jogDialPulses"), Reading::Plain, kNumber, 96},
});

// A number that fits the field's width; a real number as it is.
std::optional<double> Fitted(FieldType type, double number) {
    switch (type) {
    case FieldType::Long:
        return Numbers::ToLong(number);
    case FieldType::Integer:
        return Numbers::ToInteger(number);
    case FieldType::Boolean:
    case FieldType::Real:
        break;
    }
    return number;
}

// The reply as the field's value; none when it is no decimal number, does not fit the field or
// a scale would be 0.
std::optional<double> Convert(const LoadStep& step, QStringView reply, const ConfigRecord& record) {
    const std::optional<double> number = Numbers::ExactNumber(reply);
    if (!number)
        return std::nullopt;
    const FieldType type = RecordFields::Row(step.field).type;
    if (type == FieldType::Boolean)
        return reply == u"0" ? kFalse : kTrue;
    switch (step.reading) {
    case Reading::Plain:
        return Fitted(type, *number);
    case Reading::Scale: {
        const std::optional<double> scale = Fitted(type, *number);
        return scale && *scale != 0.0 ? scale : std::nullopt;
    }
    case Reading::Current:
        return Numbers::CurrentFromController(*number, record.currentScale);
    case Reading::Ct:
        return Numbers::CtFromController(*number, record.ctScale);
    }
    return std::nullopt;
}

// ---- Store ---------------------------------------------------------------------------------

enum class Format {
    Fixed,   // the command as written
    N,       // decimal, 0 gives no digits
    Z,       // decimal, 0 gives "0"
    Boolean, // "1" when non-zero, else "0"
};

// How a field's value becomes the controller's.
enum class Writing {
    Plain,
    Current,    // mA -> controller current units
    Ct,         // program units -> controller CT units
    DialPulses, // the controller takes 0 pulses as its default of 10
};

inline constexpr int kNoField = -1;

// What a store step takes as its answer. Both are words: "OK" goes on, any other word stops.
enum class Answer {
    Ok,
    Commit, // the same, and no further line may follow within a reply time-out: a stale line
            // taken for the answer would hide the real one
};

struct StoreStep {
    const char* command;
    Format format;
    int field;
    Writing writing;
    int progress; // -1: unchanged
    Answer answer = Answer::Ok;
};

constexpr auto kStoreSteps = std::to_array<StoreStep>({
    {"Z:D0100", Format::Fixed, kNoField, Writing::Plain, -1},
    {"Z:D130000", Format::Fixed, kNoField, Writing::Plain, -1},
    {"Z:D0", Format::N, Field("defaultSpeedMin"), Writing::Plain, 3},
    {"Z:D1", Format::N, Field("defaultSpeedMax"), Writing::Plain, 6},
    {"Z:D2", Format::Z, Field("defaultAccelTime"), Writing::Plain, 9},
    {"Z:J0100", Format::Fixed, kNoField, Writing::Plain, -1},
    {"Z:J130000", Format::Fixed, kNoField, Writing::Plain, -1},
    {"Z:J0", Format::N, Field("jogSpeedMin"), Writing::Plain, 12},
    {"Z:J1", Format::N, Field("jogSpeedMax"), Writing::Plain, 15},
    {"Z:J2", Format::Z, Field("jogAccelTime"), Writing::Plain, 18},
    {"Z:O0100", Format::Fixed, kNoField, Writing::Plain, -1},
    {"Z:O130000", Format::Fixed, kNoField, Writing::Plain, -1},
    {"Z:O0", Format::N, Field("originSpeedMin"), Writing::Plain, 21},
    {"Z:O1", Format::N, Field("originSpeedMax"), Writing::Plain, 24},
    {"Z:O2", Format::Z, Field("originAccelTime"), Writing::Plain, 27},
    {"Z:EP", Format::Boolean, Field("excitationAtStartUp"), Writing::Plain, 30},
    {"Z:EA", Format::Boolean, Field("autoExcitation"), Writing::Plain, 32},
    {"Z:EF", Format::Boolean, Field("excitationAtEmergencyStop"), Writing::Plain, 34},
    {"Z:EJ", Format::Boolean, Field("jogInputEnabled"), Writing::Plain, 36},
    {"Z:IS", Format::Z, Field("comSpeedIndex"), Writing::Plain, 40},
    {"Z:IF", Format::Boolean, Field("comFlowControl"), Writing::Plain, 45},
    {"Z:MO", Format::Z, Field("originMode"), Writing::Plain, 50},
    {"S:N", Format::Z, Field("originOffset"), Writing::Plain, 55},
    {"Z:ML0", Format::Z, Field("limitSensorMode(0)"), Writing::Plain, 60},
    {"Z:ML1", Format::Z, Field("limitSensorMode(1)"), Writing::Plain, 62},
    {"Z:MD", Format::Boolean, Field("reverseDirection"), Writing::Plain, 64},
    {"Z:MS", Format::Z, Field("stepMode"), Writing::Plain, 66},
    {"Z:CR4095", Format::Fixed, kNoField, Writing::Plain, -1},
    {"Z:CS0", Format::Fixed, kNoField, Writing::Plain, -1},
    {"Z:CR", Format::N, Field("runCurrent"), Writing::Current, 70},
    {"Z:CS", Format::N, Field("stopCurrent"), Writing::Current, 75},
    {"Z:CT", Format::N, Field("ctValue"), Writing::Ct, 80},
    {"Z:MT", Format::Boolean, Field("rotationStage"), Writing::Plain, 82},
    {"Z:ED", Format::Boolean, Field("jogDialEnabled"), Writing::Plain, 84},
    {"Z:EM", Format::N, Field("jogDialPulses"), Writing::DialPulses, 86},
    {"Z:UW", Format::Fixed, kNoField, Writing::Plain, 100, Answer::Commit},
});

// A verify queries each store step that carries a field; these are the fields a store sends.
constexpr auto kStoredFields = [] {
    std::array<int, size_t(std::count_if(kStoreSteps.begin(), kStoreSteps.end(),
                                         [](const StoreStep& s) { return s.field != kNoField; }))>
        fields{};
    size_t i = 0;
    for (const StoreStep& step : kStoreSteps)
        if (step.field != kNoField)
            fields[i++] = step.field;
    return fields;
}();

constexpr int kVerifySteps =
    int(std::count_if(kStoreSteps.begin(), kStoreSteps.end(),
                      [](const StoreStep& s) { return s.field != kNoField; }));

// The controller's value of a store step; none when a scale is 0 or it does not fit 32 bits.
std::optional<qint64> ControllerValue(const StoreStep& step, const ConfigRecord& r) {
    const auto value = qint64(RecordFields::Row(step.field).get(r));
    switch (step.writing) {
    case Writing::Plain:
        return value;
    case Writing::Current:
        return Numbers::CurrentToController(qint16(value), r.currentScale);
    case Writing::Ct:
        return Numbers::CtToController(qint16(value), r.ctScale);
    case Writing::DialPulses:
        return value == 0 ? 10 : value;
    }
    return std::nullopt;
}

QString Formatted(Format format, qint64 value) {
    switch (format) {
    case Format::N:
        return value == 0 ? QString() : Numbers::ShowNumber(value);
    case Format::Z:
        return Numbers::ShowNumber(value);
    case Format::Boolean:
        return value != 0 ? QStringLiteral("1") : QStringLiteral("0");
    case Format::Fixed:
        break;
    }
    return {};
}

// The load step that queries a store step's field.
constexpr const LoadStep* QueryOf(const StoreStep& step) {
    for (const LoadStep& load : kLoadSteps)
        if (load.field == step.field)
            return &load;
    return nullptr;
}

constexpr bool EveryStoredFieldIsQueried() {
    for (const StoreStep& step : kStoreSteps)
        if (step.field != kNoField && !QueryOf(step))
            return false;
    return true;
}
static_assert(EveryStoredFieldIsQueried(), "a verify queries every field a store sends");

// The line that refused a command: the reply taken unless it was "OK", else the line that
// spoke against it.
QString RefusingLine(const QueryReport& query) {
    if (query.taken != QLatin1String("OK"))
        return query.taken;
    return query.odd.value_or(QString());
}

} // namespace

// ---- Identification ------------------------------------------------------------------------

IdentifySeries::IdentifySeries(ComSupport& link, ControllerInfo& info, QObject* parent)
    : Series(link, parent), info_(info) {}

void IdentifySeries::Begin() {
    step_ = 0;
    reading_ = 1;
    BeginReading();
    Next();
}

void IdentifySeries::Next() {
    if (step_ == kIdentifySteps.size())
        // A shifted reply shows only now; until then the texts may belong to other queries.
        return EndsQuiet([this](const QuietReport& quiet) { Ended(quiet); });
    const IdentifyStep& step = kIdentifySteps[step_];
    Query(QLatin1String(step.command), IdentifyShape(step),
          [this](const QueryReport& report) { Answered(report); });
}

void IdentifySeries::Answered(const QueryReport& report) {
    const IdentifyStep& step = kIdentifySteps[step_];
    if (step.info == Info::None) {
        ++step_;
        return Next(); // the outcome of "Z:IE0" is not used
    }
    if (!report.Answered())
        return Finish(CannotConnect(KindOf(report)));
    if (step.progress >= 0)
        emit Progress(step.progress);
    if (!TakeInfo(step.info, report.taken, info_))
        return Finish(CannotConnect(FailureKind::NotServed));
    if (step.info == Info::SerialNo)
        serials_ = {report.taken};
    if (step.info != Info::SerialAgain || TakeSerial(report.taken))
        ++step_;
    if (Running())
        Next();
}

// The serial number once more: taken when two answers agree; false while a third is due.
bool IdentifySeries::TakeSerial(const QString& reply) {
    serials_.append(reply);
    if (serials_.count(reply) >= 2) {
        info_.ControllerSerialNo = reply;
        return true;
    }
    if (serials_.size() < 3) {
        Link().Trace().Note(QStringLiteral("the serial numbers differ: asked once more"));
        return false;
    }
    Link().Trace().Note(QStringLiteral("no two serial numbers agree: failed"));
    Finish(CannotConnect(FailureKind::Unconfirmed));
    return false;
}

void IdentifySeries::Ended(const QuietReport& quiet) {
    const std::optional<Verdict> verdict =
        EndReading(quiet, "identification", reading_, before_ == info_);
    if (!verdict)
        return;
    if (*verdict == Verdict::Take)
        return Accept();
    before_ = info_;
    ++reading_;
    step_ = 1; // the queries again, not "Z:IE0"
    BeginReading();
    emit Progress(0);
    Next();
}

void IdentifySeries::Accept() {
    if (info_.ControllerVersion < 1.1)
        return Finish(LinkFailure(FailureKind::NotServed,
                                  QStringLiteral("古いバージョンのQMX-001は接続できません。"),
                                  QStringLiteral("Cannot use old QMX-001 version.")));
    Finish({});
}

// ---- Load ----------------------------------------------------------------------------------

LoadSeries::LoadSeries(ComSupport& link, ConfigRecord& target, QObject* parent)
    : Series(link, parent), target_(target) {}

void LoadSeries::Begin() {
    reading_ = 1;
    StartReading();
}

// Loaded into a copy: a load that stops early leaves the record as the window shows it.
void LoadSeries::StartReading() {
    record_ = target_;
    step_ = 0;
    BeginReading();
    Next();
}

// A reply is taken only as a value of its field, converted with the scales just read.
void LoadSeries::Next() {
    if (step_ == kLoadSteps.size())
        return EndsQuiet([this](const QuietReport& quiet) { Ended(quiet); });
    const LoadStep& step = kLoadSteps[step_];
    const auto fits = [this, &step](QStringView line) {
        return Convert(step, line, record_).has_value();
    };
    Query(QLatin1String(step.command), ReplyShape(step.shape, fits),
          [this](const QueryReport& report) { Answered(report); });
}

void LoadSeries::Answered(const QueryReport& report) {
    const LoadStep& step = kLoadSteps[step_++];
    if (!report.Answered())
        return Finish(CannotConnect(KindOf(report)));
    const std::optional<double> value = Convert(step, report.taken, record_);
    if (!value)
        return Finish(CannotConnect(FailureKind::Refused));
    RecordFields::Row(step.field).set(record_, *value);
    emit Progress(step.progress);
    Next();
}

void LoadSeries::Ended(const QuietReport& quiet) {
    const std::optional<Verdict> verdict = EndReading(quiet, "load", reading_, before_ == record_);
    if (!verdict)
        return;
    if (*verdict == Verdict::Take) {
        target_ = record_;
        return Finish({});
    }
    before_ = record_;
    ++reading_;
    emit Progress(0);
    StartReading();
}

// ---- Store ---------------------------------------------------------------------------------

StoreSeries::StoreSeries(ComSupport& link, const ConfigRecord& record, QObject* parent)
    : Series(link, parent), record_(record) {
    report_.total = int(kStoreSteps.size());
}

void StoreSeries::Begin() {
    const std::optional<QStringList> commands = QMXModule::StoreCommands(record_);
    if (!commands)
        return Finish(CannotConnect(FailureKind::Refused));
    commands_ = *commands;
    step_ = 0;
    Next();
}

void StoreSeries::Next() {
    if (step_ == commands_.size())
        return Finish({});
    if (Link().StopRequested()) {
        report_.interrupted = true;
        return Failed();
    }
    Query(commands_.at(step_), ReplyKind::Word,
          [this](const QueryReport& report) { Answered(report); });
}

void StoreSeries::Answered(const QueryReport& report) {
    using Commit = StoreReport::Commit;
    const StoreStep& step = kStoreSteps[size_t(step_)];
    const bool commit = step.answer == Answer::Commit;
    // The bar shows the step once it was answered, before the answer is judged.
    if (report.Answered() && step.progress >= 0)
        emit Progress(step.progress);
    if (!report.Answered() || report.taken != QLatin1String("OK")) {
        NoteFailure(report, commit);
        return Failed();
    }
    ++step_;
    if (!commit) {
        ++report_.settings;
        return Next();
    }
    // The "OK" taken may have been a stale line: the real answer would still come.
    report_.commit = Commit::Uncertain;
    StaysQuiet([this](const QuietReport& quiet) { CommitGuarded(quiet); });
}

void StoreSeries::CommitGuarded(const QuietReport& quiet) {
    if (!quiet.quiet) {
        report_.failedCommand = commands_.at(step_ - 1);
        report_.failedReply = quiet.heard.value_or(QString());
        report_.why = StoreReport::Why::Unconfirmed;
        return Failed();
    }
    report_.commit = StoreReport::Commit::Ok;
    if (Trouble())
        return ReadBack();
    Next();
}

// A store that had trouble may have been answered by a controller that lost its settings
// meanwhile (a restart): every parameter sent is read back and compared.
void StoreSeries::ReadBack() {
    Link().Trace().Note(QStringLiteral("the store had trouble: every parameter sent is read back"));
    emit Progress(0);
    auto* verify = QMXModule::VerifyStore(Link(), record_, this);
    connect(verify, &Series::Progress, this, &Series::Progress);
    connect(verify, &Series::Finished, this,
            [this, verify](const Result& result) { ReadBackDone(result, verify->Differences()); });
}

void StoreSeries::ReadBackDone(const Result& result, const QList<StoreDifference>& differences) {
    using ReadBack = StoreReport::ReadBack;
    if (!result) {
        report_.readBack = ReadBack::Failed;
        report_.commit = StoreReport::Commit::Uncertain;
        return Finish(UncertainStore());
    }
    report_.differences = differences;
    report_.readBack = differences.isEmpty() ? ReadBack::Matched : ReadBack::Differs;
    if (differences.isEmpty())
        return Finish({});
    QStringList names;
    for (const StoreDifference& d : differences)
        names << RecordFields::Name(RecordFields::Row(d.field));
    Finish(LinkFailure(
        FailureKind::Differs,
        QStringLiteral(
            "QMX-001の設定値が書き込んだ値と異なります (%1)。もう一度書き込んでください。")
            .arg(names.join(QStringLiteral(", "))),
        QStringLiteral("QMX-001 holds other values than were stored (%1). Store again.")
            .arg(names.join(QStringLiteral(", ")))));
}

Failure StoreSeries::UncertainStore() const {
    return LinkFailure(
        FailureKind::Unconfirmed,
        QStringLiteral("QMX-001の書込み完了の応答が確認できません。設定値が保存されたか"
                       "どうかは不明です。もう一度書き込んでください。"),
        QStringLiteral("The answer of QMX-001 to the final store command cannot be trusted: "
                       "the parameters may or may not be kept. Store again."));
}

// Notes why a store command failed. For "Z:UW", a refusal that came beside an "OK" leaves the
// commit uncertain.
void StoreSeries::NoteFailure(const QueryReport& query, bool commit) {
    using Outcome = QueryReport::Outcome;
    using Why = StoreReport::Why;
    using Commit = StoreReport::Commit;
    if (query.outcome == Outcome::Stopped) {
        report_.interrupted = true;
        return;
    }
    report_.failedCommand = query.command;
    switch (query.outcome) {
    case Outcome::Answered:
        report_.why = Why::Refused;
        report_.failedReply = query.taken;
        Link().Trace().Refusal(query.command, query.taken);
        break;
    case Outcome::Disagreed:
        report_.why = Why::Disagreed;
        report_.failedReply = RefusingLine(query);
        break;
    case Outcome::Shifted:
    case Outcome::Busy:
    case Outcome::Stopped:
        report_.why = Why::Shifted;
        return; // not sent
    case Outcome::NoReply:
    case Outcome::PortLost:
        report_.why = Why::Unanswered;
        break;
    }
    if (!commit)
        return;
    const bool saidOk = query.taken == QLatin1String("OK") || query.odd == QLatin1String("OK");
    report_.commit = query.outcome == Outcome::NoReply || query.outcome == Outcome::PortLost
                         ? Commit::Unanswered
                     : saidOk ? Commit::Uncertain
                              : Commit::Refused;
}

// The failure as the report says it: a commit that may or may not have been kept, or the
// failure of any exchange.
void StoreSeries::Failed() {
    using Why = StoreReport::Why;
    FailureKind kind = FailureKind::NoReply;
    switch (report_.why) {
    case Why::Refused:
        kind = FailureKind::Refused;
        break;
    case Why::Disagreed:
        kind = FailureKind::Disagreed;
        break;
    case Why::Shifted:
        kind = FailureKind::Shifted;
        break;
    case Why::Unconfirmed:
        kind = FailureKind::Unconfirmed;
        break;
    case Why::Unanswered:
        break;
    }
    if (report_.interrupted)
        kind = FailureKind::Stopped;
    Failure failure =
        report_.commit == StoreReport::Commit::Uncertain ? UncertainStore() : CannotConnect(kind);
    failure.command = report_.failedCommand;
    failure.line = report_.failedReply;
    Finish(failure);
}

// ---- Verify --------------------------------------------------------------------------------

VerifySeries::VerifySeries(ComSupport& link, const ConfigRecord& record, QObject* parent)
    : Series(link, parent), record_(record) {}

void VerifySeries::Begin() {
    differences_.clear();
    step_ = 0;
    done_ = 0;
    Next();
}

void VerifySeries::Next() {
    while (step_ < kStoreSteps.size() && kStoreSteps[step_].field == kNoField)
        ++step_;
    if (step_ == kStoreSteps.size())
        return EndsQuiet([this](const QuietReport& quiet) { Ended(quiet); });
    const StoreStep& step = kStoreSteps[step_];
    const std::optional<qint64> sent = ControllerValue(step, record_);
    if (!sent)
        return Finish(CannotConnect(FailureKind::Refused));
    const LoadStep& query = *QueryOf(step);
    const auto isNumber = [](QStringView line) {
        return Numbers::ExactNumber(line).has_value();
    };
    Query(QLatin1String(query.command), ReplyShape(query.shape, isNumber),
          [this, sent = *sent](const QueryReport& report) { Answered(report, sent); });
}

void VerifySeries::Answered(const QueryReport& report, qint64 sent) {
    const StoreStep& step = kStoreSteps[step_++];
    if (!report.Answered())
        return Finish(CannotConnect(KindOf(report)));
    const QString& reply = report.taken;
    const std::optional<double> number = Numbers::ExactNumber(reply);
    const bool same =
        number && (step.format == Format::Boolean ? (sent != 0) == (reply != QLatin1String("0"))
                                                  : *number == double(sent));
    if (!same)
        differences_.append({step.field, sent, reply});
    emit Progress(++done_ * 100 / kVerifySteps);
    Next();
}

void VerifySeries::Ended(const QuietReport& quiet) {
    if (Heard(quiet))
        return;
    Finish({});
}

// ---- Makers --------------------------------------------------------------------------------

namespace QMXModule {

namespace {
template <typename S, typename... A> S* Started(A&&... arguments) {
    auto* series = new S(std::forward<A>(arguments)...);
    series->Start();
    return series;
}
} // namespace

IdentifySeries* ConnectController(ComSupport& link, ControllerInfo& info, QObject* parent) {
    return Started<IdentifySeries>(link, info, parent);
}

LoadSeries* LoadConfigFromController(ComSupport& link, ConfigRecord& record, QObject* parent) {
    return Started<LoadSeries>(link, record, parent);
}

StoreSeries* StoreConfigToController(ComSupport& link, const ConfigRecord& record,
                                     QObject* parent) {
    return Started<StoreSeries>(link, record, parent);
}

VerifySeries* VerifyStore(ComSupport& link, const ConfigRecord& record, QObject* parent) {
    return Started<VerifySeries>(link, record, parent);
}

std::optional<QStringList> StoreCommands(const ConfigRecord& record) {
    QStringList commands;
    for (const StoreStep& step : kStoreSteps) {
        QString command = QLatin1String(step.command);
        if (step.format != Format::Fixed) {
            const std::optional<qint64> value = ControllerValue(step, record);
            if (!value)
                return std::nullopt;
            command += Formatted(step.format, *value);
        }
        commands.append(command);
    }
    return commands;
}

std::span<const int> StoredFields() {
    return kStoredFields;
}

std::optional<ConfigRecord> AsLoaded(const ConfigRecord& record) {
    ConfigRecord loaded = record;
    for (const StoreStep& step : kStoreSteps) {
        if (step.field == kNoField)
            continue;
        const std::optional<qint64> sent = ControllerValue(step, record);
        const std::optional<double> value =
            sent ? Convert(*QueryOf(step), Numbers::ShowNumber(*sent), record) : std::nullopt;
        if (!value)
            return std::nullopt;
        RecordFields::Row(step.field).set(loaded, *value);
    }
    return loaded;
}

QList<int> ChangedFields(const ConfigRecord& shown, const ConfigRecord& known) {
    QList<int> changed;
    for (const int field : kStoredFields) {
        const RecordField& row = RecordFields::Row(field);
        if (!RecordFields::SameMeaning(row, row.get(shown), row.get(known)))
            changed.append(field);
    }
    return changed;
}

} // namespace QMXModule
