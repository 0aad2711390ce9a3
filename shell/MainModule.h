#pragma once

#include "shell/ConfigRecord.h"
#include "shell/Language.h"
#include "shell/Types.h"
#include "shell/Version.h"

#include <QString>

// What the controller said about itself; identification fills it.
struct ControllerInfo {
    QString ControllerName;
    QString ControllerSerialNo;
    QString ControllerVersionText;
    double ControllerVersion = 0.0;
    QString ControllerRevision;
    QString ControllerBuildDate;

    bool operator==(const ControllerInfo&) const = default;
};

// Program state that is not the configuration record.
struct ProgramState : ControllerInfo {
    Boolean IsConnected = kFalse;
    qint16 UILanguage = 0; // 0 Japanese, 1 English
    Boolean ExtendedMode = kFalse;
    QString CurrentFileName;

    Language Lang() const { return Language::FromCode(UILanguage); }
};

// Behaviour switches, port and line speed; kept for one run only.
struct ProgramOptions {
    Boolean LoadOnConnect = kFalse;
    Boolean ConfirmStore = kTrue;
    Boolean CheckSerialNo = kTrue;
    qint16 ComPort = 1;  // 1..16
    qint16 ComSpeed = 1; // 0 4800, 1 9600, 2 19200, 3 38400 bit/s
};

// The run's program state, options and configuration record. Each front end owns one and
// passes it to the commands it runs; nothing in the core holds one of its own.
struct Program {
    ProgramState State;
    ProgramOptions Options;
    ConfigRecord Config = FactoryDefaults();

    Language Lang() const { return State.Lang(); }
};

namespace MainModule {

inline constexpr const char* kVersionText = "Ver " QMX_VERSION;
inline constexpr const char* kSettingsSection = "Settings";

void SetControllerPlaceholders(ControllerInfo& info);

// Steps 1 to 5 of the start-up: state, record and options to their start values, then the
// command line (the arguments only, without the program's own name).
void InitProgram(Program& program, const QString& commandLine);

void ParseCommandLine(Program& program, const QString& commandLine);
void ApplyCommandOption(Program& program, const QString& option);

// The main window's title, in the language.
QString WindowTitle(Language language);

} // namespace MainModule
