#include "link/QMXModule.h"

#include "link/ComSupport.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgressDisplay.h"
#include "shell/MainModule.h"
#include "shell/Numbers.h"

#include <array>
#include <variant>

namespace QMXModule {

namespace {

using ComSupport::ComQuery;
using platform::Progress;

void ShowLinkFailure(const QString& japanese, const QString& english) {
    platform::MsgBox(MainModule::JaEn(japanese, english), ComSupport::LinkTitle(),
                     platform::MsgIcon::Critical);
}

void ShowCannotConnect() {
    ShowLinkFailure(QStringLiteral("QMX-001との接続ができません。"),
                    QStringLiteral("cannot connect QMX-001."));
}

// ---- Identification ------------------------------------------------------------------------

enum class Info { None, Name, BuildDate, SerialNo, Version, Revision };

struct IdentifyStep {
    const char* command;
    Info info;
    int progress; // -1: unchanged
};

constexpr std::array<IdentifyStep, 6> kIdentifySteps{{
    {"Z:IE0", Info::None, -1},
    {"?:N", Info::Name, 20},
    {"?:B", Info::BuildDate, 40},
    {"?:S", Info::SerialNo, 60},
    {"?:V", Info::Version, 80},
    {"?:-", Info::Revision, 100},
}};

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

enum class Conv { Long, Integer, Scale, Boolean, RealScale, Current, Ct };

struct LsElement {
    int index;
};
using Field =
    std::variant<qint32 ConfigRecord::*, qint16 ConfigRecord::*, double ConfigRecord::*, LsElement>;

struct LoadStep {
    const char* command;
    Field field;
    Conv conv;
    int progress;
};

const std::array<LoadStep, 31> kLoadSteps{{
    {"?:D0", &ConfigRecord::defaultSpeedMin, Conv::Long, 3},
    {"?:D1", &ConfigRecord::defaultSpeedMax, Conv::Long, 6},
    {"?:D2", &ConfigRecord::defaultAccelTime, Conv::Integer, 9},
    {"?:J0", &ConfigRecord::jogSpeedMin, Conv::Long, 12},
    {"?:J1", &ConfigRecord::jogSpeedMax, Conv::Long, 15},
    {"?:J2", &ConfigRecord::jogAccelTime, Conv::Integer, 18},
    {"?:O0", &ConfigRecord::originSpeedMin, Conv::Long, 21},
    {"?:O1", &ConfigRecord::originSpeedMax, Conv::Long, 24},
    {"?:O2", &ConfigRecord::originAccelTime, Conv::Integer, 27},
    {"?:EP", &ConfigRecord::excitationAtStartUp, Conv::Boolean, 30},
    {"?:EA", &ConfigRecord::autoExcitation, Conv::Boolean, 32},
    {"?:EF", &ConfigRecord::excitationAtEmergencyStop, Conv::Boolean, 34},
    {"?:EJ", &ConfigRecord::jogInputEnabled, Conv::Boolean, 36},
    {"?:IS", &ConfigRecord::comSpeedIndex, Conv::Integer, 40},
    {"?:IF", &ConfigRecord::comFlowControl, Conv::Boolean, 45},
    {"?:MO", &ConfigRecord::originMode, Conv::Integer, 50},
    {"V:N", &ConfigRecord::originOffset, Conv::Long, 55},
    {"?:ML0", LsElement{0}, Conv::Integer, 60},
    {"?:ML1", LsElement{1}, Conv::Integer, 62},
    {"?:MD", &ConfigRecord::reverseDirection, Conv::Boolean, 64},
    {"?:MS", &ConfigRecord::stepMode, Conv::Integer, 66},
    {"?:CF", &ConfigRecord::currentScale, Conv::Scale, 70},
    {"?:CC", &ConfigRecord::ctScale, Conv::RealScale, 74},
    {"?:CR", &ConfigRecord::runCurrent, Conv::Current, 78},
    {"?:CS", &ConfigRecord::stopCurrent, Conv::Current, 82},
    {"?:CT", &ConfigRecord::ctValue, Conv::Ct, 86},
    {"?:CH", &ConfigRecord::chValue, Conv::Integer, 88},
    {"?:CL", &ConfigRecord::clValue, Conv::Integer, 90},
    {"?:MT", &ConfigRecord::rotationStage, Conv::Boolean, 92},
    {"?:ED", &ConfigRecord::jogDialEnabled, Conv::Boolean, 94},
    {"?:EM", &ConfigRecord::jogDialPulses, Conv::Integer, 96},
}};

// The reply as the field's value; none when it does not fit the field or a scale would be 0.
std::optional<double> Convert(Conv conv, const QString& reply, const ConfigRecord& record) {
    if (conv == Conv::Boolean)
        return reply == QLatin1String("0") ? kFalse : kTrue;
    const double number = Numbers::ReadNumber(reply);
    switch (conv) {
    case Conv::Long:
        return Numbers::ToLong(number);
    case Conv::Integer:
        return Numbers::ToInteger(number);
    case Conv::Scale: {
        const auto scale = Numbers::ToInteger(number);
        return scale && *scale != 0 ? scale : std::nullopt;
    }
    case Conv::RealScale:
        return number != 0.0 ? std::optional<double>(number) : std::nullopt;
    case Conv::Current:
        return Numbers::CurrentFromController(number, record.currentScale);
    case Conv::Ct:
        return Numbers::CtFromController(number, record.ctScale);
    case Conv::Boolean:
        break;
    }
    return std::nullopt;
}

void Assign(ConfigRecord& record, const Field& field, double value) {
    std::visit(
        [&](auto&& f) {
            using F = std::decay_t<decltype(f)>;
            if constexpr (std::is_same_v<F, LsElement>)
                record.limitSensorMode[f.index] = static_cast<qint16>(value);
            else
                record.*f = static_cast<std::remove_reference_t<decltype(record.*f)>>(value);
        },
        field);
}

// ---- Store ---------------------------------------------------------------------------------

enum class Format {
    Fixed,   // the command as written
    N,       // decimal, 0 gives no digits
    Z,       // decimal, 0 gives "0"
    Boolean, // "1" when non-zero, else "0"
};

using Value = std::optional<qint64> (*)(const ConfigRecord&);

struct StoreStep {
    const char* command;
    Format format;
    Value value;
    int progress; // -1: unchanged
};

template <auto Member> std::optional<qint64> FieldValue(const ConfigRecord& r) {
    return r.*Member;
}
std::optional<qint64> LsPlus(const ConfigRecord& r) {
    return r.limitSensorMode[0];
}
std::optional<qint64> LsMinus(const ConfigRecord& r) {
    return r.limitSensorMode[1];
}
std::optional<qint64> RunUnits(const ConfigRecord& r) {
    return Numbers::CurrentToController(r.runCurrent, r.currentScale);
}
std::optional<qint64> StopUnits(const ConfigRecord& r) {
    return Numbers::CurrentToController(r.stopCurrent, r.currentScale);
}
std::optional<qint64> CtUnits(const ConfigRecord& r) {
    return Numbers::CtToController(r.ctValue, r.ctScale);
}
// The controller takes 0 pulses as its default of 10.
std::optional<qint64> JogDialPulses(const ConfigRecord& r) {
    return r.jogDialPulses == 0 ? 10 : r.jogDialPulses;
}

const std::array<StoreStep, 36> kStoreSteps{{
    {"Z:D0100", Format::Fixed, nullptr, -1},
    {"Z:D130000", Format::Fixed, nullptr, -1},
    {"Z:D0", Format::N, FieldValue<&ConfigRecord::defaultSpeedMin>, 3},
    {"Z:D1", Format::N, FieldValue<&ConfigRecord::defaultSpeedMax>, 6},
    {"Z:D2", Format::Z, FieldValue<&ConfigRecord::defaultAccelTime>, 9},
    {"Z:J0100", Format::Fixed, nullptr, -1},
    {"Z:J130000", Format::Fixed, nullptr, -1},
    {"Z:J0", Format::N, FieldValue<&ConfigRecord::jogSpeedMin>, 12},
    {"Z:J1", Format::N, FieldValue<&ConfigRecord::jogSpeedMax>, 15},
    {"Z:J2", Format::Z, FieldValue<&ConfigRecord::jogAccelTime>, 18},
    {"Z:O0100", Format::Fixed, nullptr, -1},
    {"Z:O130000", Format::Fixed, nullptr, -1},
    {"Z:O0", Format::N, FieldValue<&ConfigRecord::originSpeedMin>, 21},
    {"Z:O1", Format::N, FieldValue<&ConfigRecord::originSpeedMax>, 24},
    {"Z:O2", Format::Z, FieldValue<&ConfigRecord::originAccelTime>, 27},
    {"Z:EP", Format::Boolean, FieldValue<&ConfigRecord::excitationAtStartUp>, 30},
    {"Z:EA", Format::Boolean, FieldValue<&ConfigRecord::autoExcitation>, 32},
    {"Z:EF", Format::Boolean, FieldValue<&ConfigRecord::excitationAtEmergencyStop>, 34},
    {"Z:EJ", Format::Boolean, FieldValue<&ConfigRecord::jogInputEnabled>, 36},
    {"Z:IS", Format::Z, FieldValue<&ConfigRecord::comSpeedIndex>, 40},
    {"Z:IF", Format::Boolean, FieldValue<&ConfigRecord::comFlowControl>, 45},
    {"Z:MO", Format::Z, FieldValue<&ConfigRecord::originMode>, 50},
    {"S:N", Format::Z, FieldValue<&ConfigRecord::originOffset>, 55},
    {"Z:ML0", Format::Z, LsPlus, 60},
    {"Z:ML1", Format::Z, LsMinus, 62},
    {"Z:MD", Format::Boolean, FieldValue<&ConfigRecord::reverseDirection>, 64},
    {"Z:MS", Format::Z, FieldValue<&ConfigRecord::stepMode>, 66},
    {"Z:CR4095", Format::Fixed, nullptr, -1},
    {"Z:CS0", Format::Fixed, nullptr, -1},
    {"Z:CR", Format::N, RunUnits, 70},
    {"Z:CS", Format::N, StopUnits, 75},
    {"Z:CT", Format::N, CtUnits, 80},
    {"Z:MT", Format::Boolean, FieldValue<&ConfigRecord::rotationStage>, 82},
    {"Z:ED", Format::Boolean, FieldValue<&ConfigRecord::jogDialEnabled>, 84},
    {"Z:EM", Format::N, JogDialPulses, 86},
    {"Z:UW", Format::Fixed, nullptr, 100},
}};

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

} // namespace

bool ConnectController() {
    Progress().ShowProgress(0);
    bool ok = true;
    for (const IdentifyStep& step : kIdentifySteps) {
        QString reply;
        const bool answered = ComQuery(QLatin1String(step.command), reply);
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
    Progress().HideProgress();
    if (!ok) {
        ShowCannotConnect();
        return false;
    }
    if (MainModule::State.ControllerVersion < 1.1) {
        ShowLinkFailure(QStringLiteral("古いバージョンのQMX-001は接続できません。"),
                        QStringLiteral("Cannot use old QMX-001 version."));
        return false;
    }
    return true;
}

bool LoadConfigFromController() {
    return ReadConfig(MainModule::Config);
}

bool ReadConfig(ConfigRecord& target) {
    // Loaded into a copy: a load that stops early leaves the record as the window shows it.
    ConfigRecord record = target;
    Progress().ShowProgress(0);
    bool ok = true;
    for (const LoadStep& step : kLoadSteps) {
        QString reply;
        if (!ComQuery(QLatin1String(step.command), reply)) {
            ok = false;
            break;
        }
        const std::optional<double> value = Convert(step.conv, reply, record);
        if (!value) {
            ok = false;
            break;
        }
        Assign(record, step.field, *value);
        Progress().SetProgress(step.progress);
    }
    Progress().HideProgress();
    if (!ok) {
        ShowCannotConnect();
        return false;
    }
    target = record;
    return true;
}

std::optional<QStringList> StoreCommands(const ConfigRecord& record) {
    QStringList commands;
    for (const StoreStep& step : kStoreSteps) {
        QString command = QLatin1String(step.command);
        if (step.format != Format::Fixed) {
            const std::optional<qint64> value = step.value(record);
            if (!value)
                return std::nullopt;
            command += Formatted(step.format, *value);
        }
        commands.append(command);
    }
    return commands;
}

bool StoreConfigToController() {
    const std::optional<QStringList> commands = StoreCommands(MainModule::Config);
    if (!commands) {
        ShowCannotConnect();
        return false;
    }
    Progress().ShowProgress(0);
    bool ok = true;
    for (qsizetype i = 0; i < commands->size(); ++i) {
        QString reply;
        if (!ComQuery(commands->at(i), reply)) {
            ok = false;
            break;
        }
        if (kStoreSteps[i].progress >= 0)
            Progress().SetProgress(kStoreSteps[i].progress);
        if (reply != QLatin1String("OK")) {
            ok = false;
            break;
        }
    }
    Progress().HideProgress();
    if (!ok)
        ShowCannotConnect();
    return ok;
}

} // namespace QMXModule
