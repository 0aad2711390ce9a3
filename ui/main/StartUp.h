#pragma once

#include <QString>

class frmMain;

// The program's start-up: state and options to their start values, the command line (the
// arguments only, joined by blanks), then the main window, shown and ready, with the tick
// timer running and the serial link prepared. The caller owns the window.
frmMain* StartProgram(const QString& commandLine);
