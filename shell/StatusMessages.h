#pragma once

#include <QString>

// The status bar's messages; the numbers are those the window's DispStatusMsg takes.
enum class StatusMsg {
    Welcome = 0,
    Connected = 1,
    ConnectedAndLoaded = 2,
    LoadedFromController = 3,
    StoredToController = 4,
    Disconnected = 5,
    LoadedFromFile = 6,
    StoredToFile = 7,
};

// The message's text in the chosen language; empty for a number outside the table.
QString StatusMessageText(int number);
