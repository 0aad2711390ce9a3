#include "link/QMXModule.h"

#include "link/ComSupport.h"
#include "link/WireTrace.h"
#include "platform/ProgressDisplay.h"
#include "shell/MainModule.h"
#include "shell/Numbers.h"
#include "shell/RecordFields.h"

#include <algorithm>
#include <array>

namespace QMXModule {

namespace {

using ComSupport::ComQuery;
using ComSupport::ReplyShape;
using platform::Progress;

Failure LinkFailure(const QString& japanese, const QString& english) {
    return {ComSupport::LinkTitle(), MainModule::JaEn(japanese, english)};
}

Failure CannotConnect() {
    return LinkFailure(QStringLiteral("QMX-001との接続ができません。"),
                       QStringLiteral("cannot connect QMX-001."));
}

// ---- Identification ------------------------------------------------------------------------

enum class Info { None, Name, BuildDate, SerialNo, Version, Revision };

struct IdentifyStep {
    const char* command;
    Info info;
    ReplyShape shape;
    int progress; // -1: unchanged
};

constexpr auto kIdentifySteps = std::to_array<IdentifyStep>({
    {"Z:IE0", Info::None, ReplyShape::Word, -1},
    {"?:N", Info::Name, ReplyShape::Text, 20},
    {"?:B", Info::BuildDate, ReplyShape::Text, 40},
    {"?:S", Info::SerialNo, ReplyShape::Text, 60},
    {"?:V", Info::Version, ReplyShape::Text, 80},
    {"?:-", Info::Revision, ReplyShape::Text, 100},
});

// Takes one identification reply into the program state; false when it refuses the device.
bool TakeInfo(Info info, const QString& reply) {
    ProgramState& s = MainModule::State;
    switch (info) {
    case Info::None:
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
    case Info::Version:
        s.ControllerVersionText = reply.right(4);
        s.ControllerVersion = Numbers::ReadNumber(s.ControllerVersionText);
        return true;
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
    ReplyShape shape; // Booleans too: "0" is False, any other number True
    int progress;
};

constexpr ReplyShape kNumber = ReplyShape::Number;

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

// The reply as the field's value; none when it does not fit the field or a scale would be 0.
std::optional<double> Convert(const LoadStep& step, const QString& reply,
                              const ConfigRecord& record) {
    const FieldType type = RecordFields::Row(step.field).type;
    if (type == FieldType::Boolean)
        return reply == QLatin1String("0") ? kFalse : kTrue;
    const double number = Numbers::ReadNumber(reply);
    switch (step.reading) {
    case Reading::Plain:
        return Fitted(type, number);
    case Reading::Scale: {
        const std::optional<double> scale = Fitted(type, number);
        return scale && *scale != 0.0 ? scale : std::nullopt;
    }
    case Reading::Current:
        return Numbers::CurrentFromController(number, record.currentScale);
    case Reading::Ct:
        return Numbers::CtFromController(number, record.ctScale);
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

// A verify queries each store step that carries a field.
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

enum class StoreOutcome { Done, Failed, Untrusted };

StoreReport lastStore;

} // namespace

Result ConnectController() {
    Progress().ShowProgress(0);
    ComSupport::BeginSeries();
    bool ok = true;
    for (const IdentifyStep& step : kIdentifySteps) {
        QString reply;
        const bool answered = ComQuery(QLatin1String(step.command), reply, step.shape);
        if (step.info == Info::None)
            continue; // the outcome of "Z:IE0" is not used
        if (!answered) {
            ok = false;
            break;
        }
        Progress().SetProgress(step.progress);
        if (!TakeInfo(step.info, reply)) {
            ok = false;
            break;
        }
    }
    // A shifted reply shows only now; until then the texts may belong to other queries.
    ok = ok && ComSupport::SeriesEndsQuiet();
    Progress().HideProgress();
    if (!ok)
        return CannotConnect();
    if (MainModule::State.ControllerVersion < 1.1)
        return LinkFailure(QStringLiteral("古いバージョンのQMX-001は接続できません。"),
                           QStringLiteral("Cannot use old QMX-001 version."));
    return {};
}

Result LoadConfigFromController() {
    return ReadConfig(MainModule::Config);
}

Result ReadConfig(ConfigRecord& target) {
    // Loaded into a copy: a load that stops early leaves the record as the window shows it.
    ConfigRecord record = target;
    Progress().ShowProgress(0);
    ComSupport::BeginSeries();
    bool ok = true;
    for (const LoadStep& step : kLoadSteps) {
        QString reply;
        if (!ComQuery(QLatin1String(step.command), reply, step.shape)) {
            ok = false;
            break;
        }
        const std::optional<double> value = Convert(step, reply, record);
        if (!value) {
            ok = false;
            break;
        }
        RecordFields::Row(step.field).set(record, *value);
        Progress().SetProgress(step.progress);
    }
    ok = ok && ComSupport::SeriesEndsQuiet();
    Progress().HideProgress();
    if (!ok)
        return CannotConnect();
    target = record;
    return {};
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

Result VerifyStore(const ConfigRecord& record, QList<StoreDifference>& differences) {
    differences.clear();
    Progress().ShowProgress(0);
    ComSupport::BeginSeries();
    int done = 0;
    for (const StoreStep& step : kStoreSteps) {
        if (step.field == kNoField)
            continue;
        const auto query = std::find_if(kLoadSteps.begin(), kLoadSteps.end(),
                                        [&](const LoadStep& l) { return l.field == step.field; });
        const std::optional<qint64> sent = ControllerValue(step, record);
        QString reply;
        if (!sent || !ComQuery(QLatin1String(query->command), reply, query->shape)) {
            Progress().HideProgress();
            return CannotConnect();
        }
        const bool same = step.format == Format::Boolean
                              ? (*sent != 0) == (reply != QLatin1String("0"))
                              : Numbers::ReadNumber(reply) == double(*sent);
        if (!same)
            differences.append({step.field, *sent, reply});
        Progress().SetProgress(++done * 100 / kVerifySteps);
    }
    const bool quiet = ComSupport::SeriesEndsQuiet();
    Progress().HideProgress();
    if (!quiet)
        return CannotConnect();
    return {};
}

namespace {

// The line that refused a command: the reply taken unless it was "OK", else the line that
// spoke against it.
QString RefusingLine(const ComSupport::QueryReport& query) {
    if (query.taken != QLatin1String("OK"))
        return query.taken;
    return query.odd.value_or(QString());
}

// Notes why a store command failed. For "Z:UW", a refusal that came beside an "OK" leaves the
// commit uncertain.
void NoteFailure(const QString& command, bool commit) {
    using Outcome = ComSupport::QueryReport::Outcome;
    using Why = StoreReport::Why;
    using Commit = StoreReport::Commit;
    const ComSupport::QueryReport& query = ComSupport::LastQuery();
    if (query.outcome == Outcome::Stopped) {
        lastStore.interrupted = true;
        return;
    }
    lastStore.failedCommand = command;
    switch (query.outcome) {
    case Outcome::Answered:
        lastStore.why = Why::Refused;
        lastStore.failedReply = query.taken;
        WireTrace::Refusal(command, query.taken);
        break;
    case Outcome::Disagreed:
        lastStore.why = Why::Disagreed;
        lastStore.failedReply = RefusingLine(query);
        break;
    case Outcome::Shifted:
    case Outcome::Stopped:
        lastStore.why = Why::Shifted;
        return; // not sent
    case Outcome::NoReply:
        lastStore.why = Why::Unanswered;
        break;
    }
    if (!commit)
        return;
    const bool saidOk = query.taken == QLatin1String("OK") || query.odd == QLatin1String("OK");
    lastStore.commit = query.outcome == Outcome::NoReply ? Commit::Unanswered
                       : saidOk                          ? Commit::Uncertain
                                                         : Commit::Refused;
}

// Sends the store's lines; the outcome of the first that fails, or Done. The report follows
// each answer.
StoreOutcome SendStoreCommands(const QStringList& commands) {
    using Commit = StoreReport::Commit;
    for (qsizetype i = 0; i < commands.size(); ++i) {
        const bool commit = kStoreSteps[i].answer == Answer::Commit;
        if (ComSupport::StopRequested()) {
            lastStore.interrupted = true;
            return StoreOutcome::Failed;
        }
        QString reply;
        const bool answered = ComQuery(commands.at(i), reply, ReplyShape::Word);
        // The bar shows the step once it was answered, before the answer is judged.
        if (answered && kStoreSteps[i].progress >= 0)
            Progress().SetProgress(kStoreSteps[i].progress);
        if (!answered || reply != QLatin1String("OK")) {
            NoteFailure(commands.at(i), commit);
            return lastStore.commit == Commit::Uncertain ? StoreOutcome::Untrusted
                                                         : StoreOutcome::Failed;
        }
        if (!commit) {
            ++lastStore.settings;
            continue;
        }
        // The "OK" taken may have been a stale line: the real answer would still come.
        lastStore.commit = Commit::Uncertain;
        if (!ComSupport::ComStaysQuiet()) {
            lastStore.failedCommand = commands.at(i);
            lastStore.failedReply = ComSupport::LastQuery().odd.value_or(QString());
            lastStore.why = StoreReport::Why::Unconfirmed;
            return StoreOutcome::Untrusted;
        }
        lastStore.commit = Commit::Ok;
    }
    return StoreOutcome::Done;
}

} // namespace

const StoreReport& LastStoreReport() {
    return lastStore;
}

Result StoreConfigToController() {
    lastStore = StoreReport{};
    lastStore.total = int(kStoreSteps.size());
    const std::optional<QStringList> commands = StoreCommands(MainModule::Config);
    if (!commands)
        return CannotConnect();
    Progress().ShowProgress(0);
    ComSupport::BeginSeries();
    const StoreOutcome outcome = SendStoreCommands(*commands);
    Progress().HideProgress();
    if (outcome == StoreOutcome::Failed)
        return CannotConnect();
    if (outcome == StoreOutcome::Untrusted)
        return LinkFailure(
            QStringLiteral("QMX-001の書込み完了の応答が確認できません。設定値が保存されたか"
                           "どうかは不明です。もう一度書き込んでください。"),
            QStringLiteral("The answer of QMX-001 to the final store command cannot be trusted: "
                           "the parameters may or may not be kept. Store again."));
    return {};
}

} // namespace QMXModule
