#pragma once

#include "shell/ConfigRecord.h"

#include <QStringView>

#include <optional>

// What the operator's edits do to the record, without a window: each rule takes the record
// and the entry and gives the new record, or no value when it refuses the entry (the window
// then shows the record as it was).
namespace EditRules {

enum class SpeedGroup { Default, Origin, Jog };

// Box 0 (S), 1 (F) or 2 (acceleration time) of a speed group. S and F are rounded to hundreds
// and kept within 100..30000 with S <= F; the time within 0..1000.
std::optional<ConfigRecord> EnterSpeed(const ConfigRecord& record, SpeedGroup group, int box,
                                       QStringView text);
// The one-box jog speed: 100..30000 before rounding; a new value sets S and F to it and the
// time to 0, the current F changes nothing.
std::optional<ConfigRecord> EnterJogSpeed(const ConfigRecord& record, QStringView text);
std::optional<ConfigRecord> EnterOriginOffset(const ConfigRecord& record, QStringView text);
std::optional<ConfigRecord> EnterJogDialPulses(const ConfigRecord& record, QStringView text);

// The window's number boxes and current labels.
enum class Number {
    DefaultS,
    DefaultF,
    DefaultTime,
    OriginS,
    OriginF,
    OriginTime,
    JogS,
    JogF,
    JogTime,
    JogSpeed, // the one-box jog speed: F of the jog group
    OriginOffset,
    JogDialPulses,
    RunCurrent, // labels, set by the sliders and presets
    StopCurrent,
};
// The value the box or label shows.
qint64 Shown(const ConfigRecord& record, Number number);
// The entry rule of the box; the current labels take no entry.
std::optional<ConfigRecord> Enter(const ConfigRecord& record, Number number, QStringView text);

// Presets 0, 1, 2: 350/175, 660/330, 750/375 mA; nothing when the run current is the preset's.
ConfigRecord PressCurrentPreset(const ConfigRecord& record, int preset);
// Slider 0 sets the run current, slider 1 the stop current; refused when the stop current
// would exceed the run current.
std::optional<ConfigRecord> MoveCurrentSlider(const ConfigRecord& record, int slider, int position);

// The option button groups, by the index of the button selected.
enum class Choice {
    StageType,        // 0 translation, 1 rotation
    Direction,        // 0 normal, 1 reverse
    StepMode,         // 0 half step, 1 full step
    OriginMode,       // 0 MINI, 1 CENTER
    LimitSensorLogic, // 0, 1: LS(+) normally closed, open; 2, 3: LS(-) likewise
    LineSpeed,        // the controller's own line speed, 0..3
};
ConfigRecord Choose(const ConfigRecord& record, Choice choice, int button);
// The button the record selects, or -1 for none. The limit-sensor logic has a group per
// sensor (0 LS(+), 1 LS(-)); its buttons are numbered as Choose numbers them.
int Chosen(const ConfigRecord& record, Choice choice, int sensor = 0);

// The check boxes, by their new state.
enum class Switch {
    JogInput,
    FlowControl,
    MotorFreeAtEmergencyStop, // the inverse of excitationAtEmergencyStop
    ExcitationAtStartUp,
    AutomaticExcitation,
    LimitSensorPlusUsed, // a sensor taken back into use starts normally closed
    LimitSensorMinusUsed,
    JogDial,
};
ConfigRecord Toggle(const ConfigRecord& record, Switch which, bool ticked);
// Whether the record shows the check box ticked.
bool Ticked(const ConfigRecord& record, Switch which);

// The record field whose value a control shows: the field a number box, label or slider shows,
// the one a group of option buttons selects (a limit-sensor button: its sensor's), the one a
// check box drives.
int FieldOf(Number number);
int FieldOf(Choice choice, int button);
int FieldOf(Switch which);

} // namespace EditRules
