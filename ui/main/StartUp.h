#pragma once

#include "ui/main/frmMain.h"

#include <QString>

// The program's start-up: the main window with its state and options from the command line
// (the arguments only, joined by blanks), shown and ready, with the tick timer running and the
// serial link prepared. The caller owns the window.
frmMain* StartProgram(const QString& commandLine, WindowSeams seams = {});
