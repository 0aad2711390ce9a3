#pragma once

#include "shell/Types.h"

#include <array>

// The controller's parameter set in program units (pulses/s, ms, mA), in record order.
struct ConfigRecord {
    qint32 defaultSpeedMin;
    qint32 defaultSpeedMax;
    qint16 defaultAccelTime;
    qint32 originSpeedMin;
    qint32 originSpeedMax;
    qint16 originAccelTime;
    qint32 jogSpeedMin;
    qint32 jogSpeedMax;
    qint16 jogAccelTime;
    Boolean excitationAtStartUp;
    Boolean autoExcitation;
    Boolean excitationAtEmergencyStop;
    Boolean jogInputEnabled;
    qint16 reservedSwitch;
    qint16 comSpeedIndex;
    Boolean comFlowControl;
    qint16 originMode;
    qint32 originOffset;
    std::array<qint16, 2> limitSensorMode; // [0] LS(+), [1] LS(-): -1 unused, 0 NC, 1 NO
    Boolean reverseDirection;
    qint16 stepMode;
    qint16 runCurrent;
    qint16 stopCurrent;
    qint16 ctValue;
    qint16 chValue;
    qint16 clValue;
    qint16 currentScale;
    double ctScale;
    Boolean rotationStage;
    Boolean jogDialEnabled;
    qint16 jogDialPulses;

    bool operator==(const ConfigRecord&) const = default;
};

// The factory parameter set (the factory column of the field table).
ConfigRecord FactoryDefaults();
