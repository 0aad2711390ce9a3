#include "cli/FieldTable.h"

#include "shell/Numbers.h"

#include <array>

namespace {

template <auto Member> qint64 Get(const ConfigRecord& r) {
    return r.*Member;
}
qint64 LsPlus(const ConfigRecord& r) {
    return r.limitSensorMode[0];
}
qint64 LsMinus(const ConfigRecord& r) {
    return r.limitSensorMode[1];
}

#define QMX_FIELD(field, unit, boolean)                                                            \
    { #field, unit, boolean, Get < &ConfigRecord::field> }

const std::array<FieldRow, 28> kRows{{
    QMX_FIELD(defaultSpeedMin, "pulses/s", false),
    QMX_FIELD(defaultSpeedMax, "pulses/s", false),
    QMX_FIELD(defaultAccelTime, "ms", false),
    QMX_FIELD(originSpeedMin, "pulses/s", false),
    QMX_FIELD(originSpeedMax, "pulses/s", false),
    QMX_FIELD(originAccelTime, "ms", false),
    QMX_FIELD(jogSpeedMin, "pulses/s", false),
    QMX_FIELD(jogSpeedMax, "pulses/s", false),
    QMX_FIELD(jogAccelTime, "ms", false),
    QMX_FIELD(excitationAtStartUp, "", true),
    QMX_FIELD(autoExcitation, "", true),
    QMX_FIELD(excitationAtEmergencyStop, "", true),
    QMX_FIELD(jogInputEnabled, "", true),
    QMX_FIELD(reservedSwitch, "", false),
    QMX_FIELD(comSpeedIndex, "", false),
    QMX_FIELD(comFlowControl, "", true),
    QMX_FIELD(originMode, "", false),
    QMX_FIELD(originOffset, "", false),
    {"limitSensorMode(0)", "", false, LsPlus},
    {"limitSensorMode(1)", "", false, LsMinus},
    QMX_FIELD(reverseDirection, "", true),
    QMX_FIELD(stepMode, "", false),
    QMX_FIELD(runCurrent, "mA", false),
    QMX_FIELD(stopCurrent, "mA", false),
    QMX_FIELD(ctValue, "", false),
    QMX_FIELD(rotationStage, "", true),
    QMX_FIELD(jogDialEnabled, "", true),
    QMX_FIELD(jogDialPulses, "pulses", false),
}};

#undef QMX_FIELD

} // namespace

std::span<const FieldRow> FileFields() {
    return kRows;
}

QString ShowField(const FieldRow& row, const ConfigRecord& record) {
    const qint64 value = row.value(record);
    if (row.boolean)
        return value != 0 ? QStringLiteral("True") : QStringLiteral("False");
    QString text = Numbers::ShowNumber(value);
    if (*row.unit)
        text += u' ' + QLatin1String(row.unit);
    return text;
}
