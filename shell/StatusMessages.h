#pragma once

#include "shell/Language.h"

#include <QString>

// The status bar's messages, by their numbers in the message table.
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

// The message's text in the language; empty for a number outside the table.
QString StatusMessageText(int number, Language language);
