#pragma once

#include "shell/ConfigRecord.h"

#include <QStringList>

#include <optional>

// Identification, load and store: the command series exchanged with the controller.
namespace QMXModule {

// Sends the identification series and fills the controller information of the program state.
// Shows its own failure box.
bool ConnectController();

// Reads the 31 parameters into the configuration record; it changes only when all of them
// were read.
bool LoadConfigFromController();
// The same into another record.
bool ReadConfig(ConfigRecord& record);

// Writes the configuration record with the 36 setting commands, "Z:UW" last.
bool StoreConfigToController();

// The 36 command lines a store sends for this record; none when a scale is 0 or a converted
// value does not fit 32 bits.
std::optional<QStringList> StoreCommands(const ConfigRecord& record);

} // namespace QMXModule
