#include "shell/EditRules.h"

#include "shell/LineSpeeds.h"
#include "shell/Numbers.h"
#include "shell/RecordFields.h"

#include <algorithm>
#include <array>

namespace EditRules {

namespace {

using RecordFields::Row;

struct SpeedFields {
    int s;
    int f;
    int time;
};

constexpr std::array<SpeedFields, 3> kSpeedGroups{{
    {Field("defaultSpeedMin"), Field("defaultSpeedMax"), Field("defaultAccelTime")},
    {Field("originSpeedMin"), Field("originSpeedMax"), Field("originAccelTime")},
    {Field("jogSpeedMin"), Field("jogSpeedMax"), Field("jogAccelTime")},
}};

// The field each check box drives. A box is ticked when its field is True, or, inverted, when
// it is not: a limit sensor is in use unless its mode is -1, and a sensor taken back into use
// starts normally closed (0).
struct SwitchField {
    Switch which;
    int field;
    bool inverted;
};

constexpr std::array<SwitchField, 8> kSwitchFields{{
    {Switch::JogInput, Field("jogInputEnabled"), false},
    {Switch::FlowControl, Field("comFlowControl"), false},
    {Switch::MotorFreeAtEmergencyStop, Field("excitationAtEmergencyStop"), true},
    {Switch::ExcitationAtStartUp, Field("excitationAtStartUp"), false},
    {Switch::AutomaticExcitation, Field("autoExcitation"), false},
    {Switch::LimitSensorPlusUsed, Field("limitSensorMode(0)"), true},
    {Switch::LimitSensorMinusUsed, Field("limitSensorMode(1)"), true},
    {Switch::JogDial, Field("jogDialEnabled"), false},
}};

// In the order of Switch, so that a switch finds its row by its value.
static_assert(std::ranges::all_of(kSwitchFields, [i = 0](const SwitchField& row) mutable {
    return int(row.which) == i++;
}));

const SwitchField& SwitchRow(Switch which) {
    return kSwitchFields.at(size_t(which));
}

struct CurrentPreset {
    qint16 run;
    qint16 stop;
};
constexpr std::array<CurrentPreset, 3> kCurrentPresets{{{350, 175}, {660, 330}, {750, 375}}};

// The whole number typed; none for text that is not a number or does not fit 32 bits.
std::optional<qint32> ReadEntry(QStringView text) {
    const std::optional<double> value = Numbers::ParseEntry(text);
    return value ? Numbers::ToLong(*value) : std::nullopt;
}

double RoundToHundreds(qint32 value) {
    return Numbers::RoundHalfEven(value / 100.0) * 100;
}

// The entry into the field when it lies in the field's range.
std::optional<ConfigRecord> EnterWithin(const ConfigRecord& record, int field, QStringView text) {
    const std::optional<qint32> entry = ReadEntry(text);
    if (!entry || !RecordFields::InRange(Row(field), *entry))
        return std::nullopt;
    ConfigRecord edited = record;
    Row(field).set(edited, *entry);
    return edited;
}

} // namespace

std::optional<ConfigRecord> EnterSpeed(const ConfigRecord& record, SpeedGroup group, int box,
                                       QStringView text) {
    const SpeedFields& g = kSpeedGroups[size_t(group)];
    if (box == 2)
        return EnterWithin(record, g.time, text);
    const std::optional<qint32> entry = ReadEntry(text);
    if (!entry)
        return std::nullopt;
    const double value = RoundToHundreds(*entry);
    // S keeps its lower limit and F its upper one; between them the pair keeps S <= F.
    const int field = box == 0 ? g.s : g.f;
    if (box == 0 ? value < Row(field).min : value > Row(field).max)
        return std::nullopt;
    ConfigRecord edited = record;
    Row(field).set(edited, value);
    if (!RecordFields::OrderKept(edited, field))
        return std::nullopt;
    return edited;
}

std::optional<ConfigRecord> EnterJogSpeed(const ConfigRecord& record, QStringView text) {
    // The range applies to the entry before rounding.
    const std::optional<qint32> entry = ReadEntry(text);
    if (!entry || !RecordFields::InRange(Row(Field("jogSpeedMax")), *entry))
        return std::nullopt;
    const auto value = static_cast<qint32>(RoundToHundreds(*entry));
    ConfigRecord edited = record;
    if (value != record.jogSpeedMax) {
        edited.jogSpeedMin = value;
        edited.jogSpeedMax = value;
        edited.jogAccelTime = 0;
    }
    return edited;
}

std::optional<ConfigRecord> EnterOriginOffset(const ConfigRecord& record, QStringView text) {
    return EnterWithin(record, Field("originOffset"), text);
}

std::optional<ConfigRecord> EnterJogDialPulses(const ConfigRecord& record, QStringView text) {
    return EnterWithin(record, Field("jogDialPulses"), text);
}

namespace {

// The field each number shows, in the order of Number.
constexpr std::array<int, 14> kNumberFields{
    Field("defaultSpeedMin"), Field("defaultSpeedMax"), Field("defaultAccelTime"),
    Field("originSpeedMin"),  Field("originSpeedMax"),  Field("originAccelTime"),
    Field("jogSpeedMin"),     Field("jogSpeedMax"),     Field("jogAccelTime"),
    Field("jogSpeedMax"),     Field("originOffset"),    Field("jogDialPulses"),
    Field("runCurrent"),      Field("stopCurrent"),
};

} // namespace

qint64 Shown(const ConfigRecord& record, Number number) {
    return qint64(Row(kNumberFields[size_t(number)]).get(record));
}

std::optional<ConfigRecord> Enter(const ConfigRecord& record, Number number, QStringView text) {
    const int n = int(number);
    if (n <= int(Number::JogTime))
        return EnterSpeed(record, SpeedGroup(n / 3), n % 3, text);
    switch (number) {
    case Number::JogSpeed:
        return EnterJogSpeed(record, text);
    case Number::OriginOffset:
        return EnterOriginOffset(record, text);
    case Number::JogDialPulses:
        return EnterJogDialPulses(record, text);
    default:
        return std::nullopt;
    }
}

ConfigRecord PressCurrentPreset(const ConfigRecord& record, int preset) {
    const CurrentPreset& p = kCurrentPresets[size_t(preset)];
    ConfigRecord edited = record;
    if (record.runCurrent != p.run) {
        edited.runCurrent = p.run;
        edited.stopCurrent = p.stop;
    }
    return edited;
}

std::optional<ConfigRecord> MoveCurrentSlider(const ConfigRecord& record, int slider,
                                              int position) {
    const int field = slider == 0 ? Field("runCurrent") : Field("stopCurrent");
    ConfigRecord edited = record;
    Row(field).set(edited, position);
    if (!RecordFields::OrderKept(edited, field))
        return std::nullopt;
    return edited;
}

ConfigRecord Choose(const ConfigRecord& record, Choice choice, int button) {
    ConfigRecord r = record;
    switch (choice) {
    case Choice::StageType:
        r.rotationStage = ToBoolean(button == 1);
        break;
    case Choice::Direction:
        r.reverseDirection = ToBoolean(button == 1);
        break;
    case Choice::StepMode:
        r.stepMode = button == 0 ? 1 : 0; // one, not True
        break;
    case Choice::OriginMode:
        r.originMode = static_cast<qint16>(button);
        break;
    case Choice::LimitSensorLogic:
        r.limitSensorMode[size_t(button / 2)] = static_cast<qint16>(button % 2);
        break;
    case Choice::LineSpeed:
        r.comSpeedIndex = static_cast<qint16>(button);
        break;
    }
    return r;
}

int Chosen(const ConfigRecord& record, Choice choice, int sensor) {
    switch (choice) {
    case Choice::StageType:
        return record.rotationStage == kTrue ? 1 : 0;
    case Choice::Direction:
        return record.reverseDirection == kTrue ? 1 : 0;
    case Choice::StepMode:
        return record.stepMode != 0 ? 0 : 1;
    case Choice::OriginMode:
        return record.originMode == 0 || record.originMode == 1 ? record.originMode : -1;
    case Choice::LimitSensorLogic: {
        // A sensor out of use keeps its first button selected, ready for its return.
        const qint16 mode = record.limitSensorMode[size_t(sensor)];
        return 2 * sensor + (mode == 0 || mode == -1 ? 0 : 1);
    }
    case Choice::LineSpeed:
        return record.comSpeedIndex >= 0 && record.comSpeedIndex < kLineSpeedCount
                   ? record.comSpeedIndex
                   : -1;
    }
    return -1;
}

ConfigRecord Toggle(const ConfigRecord& record, Switch which, bool ticked) {
    const SwitchField& row = SwitchRow(which);
    ConfigRecord r = record;
    Row(row.field).set(r, ToBoolean(ticked != row.inverted));
    return r;
}

bool Ticked(const ConfigRecord& record, Switch which) {
    const SwitchField& row = SwitchRow(which);
    return (Row(row.field).get(record) == kTrue) != row.inverted;
}

int FieldOf(Number number) {
    return kNumberFields[size_t(number)];
}

int FieldOf(Choice choice, int button) {
    switch (choice) {
    case Choice::StageType:
        return Field("rotationStage");
    case Choice::Direction:
        return Field("reverseDirection");
    case Choice::StepMode:
        return Field("stepMode");
    case Choice::OriginMode:
        return Field("originMode");
    case Choice::LimitSensorLogic:
        return button / 2 == 0 ? Field("limitSensorMode(0)") : Field("limitSensorMode(1)");
    case Choice::LineSpeed:
        break;
    }
    return Field("comSpeedIndex");
}

int FieldOf(Switch which) {
    return SwitchRow(which).field;
}

} // namespace EditRules
