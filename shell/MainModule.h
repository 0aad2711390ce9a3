#pragma once

#include "shell/ConfigRecord.h"
#include "shell/Types.h"
#include "shell/Version.h"

#include <QString>

// Program state that is not the configuration record.
struct ProgramState {
    Boolean IsConnected = kFalse;
    qint16 UILanguage = 0; // 0 Japanese, 1 English
    Boolean ExtendedMode = kFalse;
    QString CurrentFileName;
    QString ControllerName;
    QString ControllerSerialNo;
    QString ControllerVersionText;
    double ControllerVersion = 0.0;
    QString ControllerRevision;
    QString ControllerBuildDate;
};

// Behaviour switches, port and line speed; kept for one run only.
struct ProgramOptions {
    Boolean LoadOnConnect = kFalse;
    Boolean ConfirmStore = kTrue;
    Boolean CheckSerialNo = kTrue;
    qint16 ComPort = 1;  // 1..16
    qint16 ComSpeed = 1; // 0 4800, 1 9600, 2 19200, 3 38400 bit/s
};

namespace MainModule {

inline constexpr const char* kVersionText = "Ver " QMX_VERSION;
inline constexpr const char* kSettingsSection = "Settings";

extern ProgramState State;
extern ProgramOptions Options;

// True when English texts are chosen.
inline bool English() {
    return State.UILanguage == 1;
}
// Picks the text of the chosen language.
inline QString JaEn(const QString& japanese, const QString& english) {
    return English() ? english : japanese;
}

void SetControllerPlaceholders();

// Steps 1 to 5 of the start-up: state, record and options to their start values, then the
// command line (the arguments only, without the program's own name).
void InitProgram(const QString& commandLine);

void ParseCommandLine(const QString& commandLine);
void ApplyCommandOption(const QString& option);

// The main window's title, in the chosen language.
QString WindowTitle();

} // namespace MainModule
