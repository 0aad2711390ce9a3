#include "shell/ConfigRecord.h"

ConfigRecord FactoryDefaults() {
    ConfigRecord r{};
    r.defaultSpeedMin = 500;
    r.defaultSpeedMax = 5000;
    r.defaultAccelTime = 200;
    r.originSpeedMin = 500;
    r.originSpeedMax = 5000;
    r.originAccelTime = 200;
    r.jogSpeedMin = 500;
    r.jogSpeedMax = 500;
    r.jogAccelTime = 0;
    r.excitationAtStartUp = kTrue;
    r.autoExcitation = kFalse;
    r.excitationAtEmergencyStop = kTrue;
    r.jogInputEnabled = kTrue;
    r.reservedSwitch = 0;
    r.comSpeedIndex = 1;
    r.comFlowControl = kTrue;
    r.originMode = 0;
    r.originOffset = 0;
    r.limitSensorMode = {0, 0};
    r.reverseDirection = kFalse;
    r.stepMode = 1;
    r.runCurrent = 350;
    r.stopCurrent = 175;
    r.ctValue = 20;
    r.chValue = 800;
    r.clValue = 100;
    r.currentScale = 480;
    r.ctScale = 5.0;
    r.rotationStage = kFalse;
    r.jogDialEnabled = kFalse;
    r.jogDialPulses = 10;
    return r;
}

namespace MainModule {

ConfigRecord Config = FactoryDefaults();

void ResetToFactoryDefaults() { Config = FactoryDefaults(); }

} // namespace MainModule
