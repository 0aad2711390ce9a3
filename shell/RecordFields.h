#pragma once

#include "shell/ConfigRecord.h"

#include <QString>

#include <array>
#include <limits>
#include <span>
#include <string_view>

// The one table of the record's fields. The file layout, the controller's load and store rows,
// qmxcli's show, diff, export and import, and the tests walk it. A new parameter takes a member
// in ConfigRecord and a row here, then its load and store rows, its row in the simulated
// controller, its control's row in the window and the command lines the tests expect (the
// README's list).

enum class FieldType { Long, Integer, Boolean, Real };

struct RecordField {
    std::string_view name; // as in the record; the array's elements are "limitSensorMode(0)", (1)
    FieldType type;
    std::string_view unit; // empty when the field has none
    double factory;
    double min; // the values the window's edits keep; kWidth: any value the field's width holds
    double max;
    int fileOffset; // in the .QMX file; -1 when the file does not hold the field
    double (*get)(const ConfigRecord&);
    void (*set)(ConfigRecord&, double);
};

// No range of its own: whatever the field's width holds.
inline constexpr double kWidth = std::numeric_limits<double>::quiet_NaN();

// clang-format off
#define QMX_ROW(name, access, type, unit, factory, min, max, offset)                              \
    RecordField{name, FieldType::type, unit, factory, min, max, offset,                            \
                [](const ConfigRecord& r) -> double { return r.access; },                          \
                [](ConfigRecord& r, double v) {                                                    \
                    r.access = static_cast<std::remove_reference_t<decltype(r.access)>>(v);        \
                }}
#define QMX_FIELD(member, type, unit, factory, min, max, offset)                                  \
    QMX_ROW(#member, member, type, unit, factory, min, max, offset)

// Record order. Ranges are those of the window's own edits (speeds S <= F and stop <= run
// current are kept across fields by the edits, not here).
inline constexpr auto kRecordFields = std::to_array<RecordField>({
    QMX_FIELD(defaultSpeedMin,           Long,    "pulses/s", 500,  100,   30000,    128),
    QMX_FIELD(defaultSpeedMax,           Long,    "pulses/s", 5000, 100,   30000,    132),
    QMX_FIELD(defaultAccelTime,          Integer, "ms",       200,  0,     1000,     136),
    QMX_FIELD(originSpeedMin,            Long,    "pulses/s", 500,  100,   30000,    138),
    QMX_FIELD(originSpeedMax,            Long,    "pulses/s", 5000, 100,   30000,    142),
    QMX_FIELD(originAccelTime,           Integer, "ms",       200,  0,     1000,     146),
    QMX_FIELD(jogSpeedMin,               Long,    "pulses/s", 500,  100,   30000,    148),
    QMX_FIELD(jogSpeedMax,               Long,    "pulses/s", 500,  100,   30000,    152),
    QMX_FIELD(jogAccelTime,              Integer, "ms",       0,    0,     1000,     156),
    QMX_FIELD(excitationAtStartUp,       Boolean, "",         -1,   kWidth, kWidth,    158),
    QMX_FIELD(autoExcitation,            Boolean, "",         0,    kWidth, kWidth,    160),
    QMX_FIELD(excitationAtEmergencyStop, Boolean, "",         -1,   kWidth, kWidth,    162),
    QMX_FIELD(jogInputEnabled,           Boolean, "",         -1,   kWidth, kWidth,    164),
    QMX_FIELD(reservedSwitch,            Integer, "",         0,    0,     0,        166),
    QMX_FIELD(comSpeedIndex,             Integer, "",         1,    0,     3,        168),
    QMX_FIELD(comFlowControl,            Boolean, "",         -1,   kWidth, kWidth,    170),
    QMX_FIELD(originMode,                Integer, "",         0,    0,     1,        224),
    QMX_FIELD(originOffset,              Long,    "",         0,    -1000, 16777215, 226),
    QMX_ROW("limitSensorMode(0)", limitSensorMode[0], Integer, "", 0, -1, 1,         230),
    QMX_ROW("limitSensorMode(1)", limitSensorMode[1], Integer, "", 0, -1, 1,         232),
    QMX_FIELD(reverseDirection,          Boolean, "",         0,    kWidth, kWidth,    234),
    QMX_FIELD(stepMode,                  Integer, "",         1,    0,     1,        236),
    QMX_FIELD(runCurrent,                Integer, "mA",       350,  100,   799,      238),
    QMX_FIELD(stopCurrent,               Integer, "mA",       175,  100,   799,      240),
    QMX_FIELD(ctValue,                   Integer, "",         20,   kWidth, kWidth,    242),
    QMX_FIELD(chValue,                   Integer, "",         800,  kWidth, kWidth,    -1),
    QMX_FIELD(clValue,                   Integer, "",         100,  kWidth, kWidth,    -1),
    QMX_FIELD(currentScale,              Integer, "",         480,  kWidth, kWidth,    -1),
    QMX_FIELD(ctScale,                   Real,    "",         5,    kWidth, kWidth,    -1),
    QMX_FIELD(rotationStage,             Boolean, "",         0,    kWidth, kWidth,    244),
    QMX_FIELD(jogDialEnabled,            Boolean, "",         0,    kWidth, kWidth,    172),
    QMX_FIELD(jogDialPulses,             Integer, "pulses",   10,   1,     9999,     174),
});
// clang-format on

#undef QMX_FIELD
#undef QMX_ROW

namespace record_fields_detail {
struct AnyValue {
    template <typename T> constexpr operator T() const; // NOLINT: only ever unevaluated
};
// The number of members an aggregate has: the most initialisers it takes.
template <typename T, typename... A> consteval size_t MemberCount() {
    if constexpr (requires { T{A{}..., AnyValue{}}; })
        return MemberCount<T, A..., AnyValue>();
    else
        return sizeof...(A);
}
} // namespace record_fields_detail

// Every member has its row; limitSensorMode has one per element.
static_assert(record_fields_detail::MemberCount<ConfigRecord>() + 1 == kRecordFields.size());

// The row of a field, by name; a name that is not in the table does not compile.
consteval int Field(std::string_view name) {
    for (int i = 0; i < int(kRecordFields.size()); ++i)
        if (kRecordFields[size_t(i)].name == name)
            return i;
    throw "no such record field";
}

// Two fields of which the first may never exceed the second: S and F of each speed group, the
// stop and the run current. The window's edits and the text import keep them in order.
struct OrderedPair {
    int low;
    int high;
};
inline constexpr OrderedPair kOrderedPairs[] = {
    {Field("defaultSpeedMin"), Field("defaultSpeedMax")},
    {Field("originSpeedMin"), Field("originSpeedMax")},
    {Field("jogSpeedMin"), Field("jogSpeedMax")},
    {Field("stopCurrent"), Field("runCurrent")},
};

namespace record_fields_detail {
constexpr size_t FileFieldCount() {
    size_t n = 0;
    for (const RecordField& field : kRecordFields)
        n += field.fileOffset >= 0 ? 1 : 0;
    return n;
}
} // namespace record_fields_detail

// The rows of the fields the .QMX file holds, in record order.
inline constexpr auto kFileFields = [] {
    std::array<const RecordField*, record_fields_detail::FileFieldCount()> rows{};
    size_t i = 0;
    for (const RecordField& field : kRecordFields)
        if (field.fileOffset >= 0)
            rows[i++] = &field;
    return rows;
}();

namespace RecordFields {

inline const RecordField& Row(int field) {
    return kRecordFields[size_t(field)];
}

// The row with this name, or nullptr.
const RecordField* Named(QStringView name);
QString Name(const RecordField& field);

// The fields the .QMX file holds, in record order.
std::span<const RecordField* const> FileFields();

// Width limits of the field's type.
double WidthMin(FieldType type);
double WidthMax(FieldType type);
// The range the window keeps, or the width limits when the field has no range of its own.
bool InRange(const RecordField& field, double value);
// The ordered pairs the field belongs to hold in the record.
bool OrderKept(const ConfigRecord& record, int field);

// "500 pulses/s", "True", "-250": the value as qmxcli shows it.
QString ShowValue(const RecordField& field, const ConfigRecord& record);
// The same without the unit.
QString ShowBare(const RecordField& field, double value);
// Two values of the field mean the same (Booleans: any non-zero value is True).
bool SameMeaning(const RecordField& field, double a, double b);
// Every field of the two records means the same.
bool SameMeaning(const ConfigRecord& a, const ConfigRecord& b);

} // namespace RecordFields
