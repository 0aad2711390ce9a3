#include "tests/support/Records.h"

namespace testing {

QStringList Differences(const ConfigRecord& a, const ConfigRecord& b) {
    QStringList out;
#define QMX_FIELD(f)                                                                               \
    if (!(a.f == b.f))                                                                             \
        out << QStringLiteral(#f);
    QMX_FIELD(defaultSpeedMin)
    QMX_FIELD(defaultSpeedMax)
    QMX_FIELD(defaultAccelTime)
    QMX_FIELD(originSpeedMin)
    QMX_FIELD(originSpeedMax)
    QMX_FIELD(originAccelTime)
    QMX_FIELD(jogSpeedMin)
    QMX_FIELD(jogSpeedMax)
    QMX_FIELD(jogAccelTime)
    QMX_FIELD(excitationAtStartUp)
    QMX_FIELD(autoExcitation)
    QMX_FIELD(excitationAtEmergencyStop)
    QMX_FIELD(jogInputEnabled)
    QMX_FIELD(reservedSwitch)
    QMX_FIELD(comSpeedIndex)
    QMX_FIELD(comFlowControl)
    QMX_FIELD(originMode)
    QMX_FIELD(originOffset)
    QMX_FIELD(limitSensorMode)
    QMX_FIELD(reverseDirection)
    QMX_FIELD(stepMode)
    QMX_FIELD(runCurrent)
    QMX_FIELD(stopCurrent)
    QMX_FIELD(ctValue)
    QMX_FIELD(chValue)
    QMX_FIELD(clValue)
    QMX_FIELD(currentScale)
    QMX_FIELD(ctScale)
    QMX_FIELD(rotationStage)
    QMX_FIELD(jogDialEnabled)
    QMX_FIELD(jogDialPulses)
#undef QMX_FIELD
    return out;
}

} // namespace testing
