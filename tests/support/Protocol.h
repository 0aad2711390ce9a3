#pragma once

#include <QStringList>

#include <array>

// The command lines the controller must receive, written out literally so that a wrong row in
// the program's own tables shows in every suite that uses them.
namespace testing {

// The serial number is asked twice: it goes into files and records, so two answers must agree.
inline const QStringList kIdentifyCommands{"Z:IE0", "?:N", "?:B", "?:S", "?:S", "?:V", "?:-"};

inline const QStringList kLoadQueries{
    "?:D0", "?:D1", "?:D2", "?:J0", "?:J1", "?:J2", "?:O0",  "?:O1",  "?:O2", "?:EP", "?:EA",
    "?:EF", "?:EJ", "?:IS", "?:IF", "?:MO", "V:N",  "?:ML0", "?:ML1", "?:MD", "?:MS", "?:CF",
    "?:CC", "?:CR", "?:CS", "?:CT", "?:CH", "?:CL", "?:MT",  "?:ED",  "?:EM"};

struct StoreLine {
    const char* command;
    int progress; // -1: the bar is not moved
};

// The store of the factory record, with the progress shown after each line.
inline constexpr std::array<StoreLine, 36> kFactoryStore{{
    {"Z:D0100", -1}, {"Z:D130000", -1}, {"Z:D0500", 3},   {"Z:D15000", 6},  {"Z:D2200", 9},
    {"Z:J0100", -1}, {"Z:J130000", -1}, {"Z:J0500", 12},  {"Z:J1500", 15},  {"Z:J20", 18},
    {"Z:O0100", -1}, {"Z:O130000", -1}, {"Z:O0500", 21},  {"Z:O15000", 24}, {"Z:O2200", 27},
    {"Z:EP1", 30},   {"Z:EA0", 32},     {"Z:EF1", 34},    {"Z:EJ1", 36},    {"Z:IS1", 40},
    {"Z:IF1", 45},   {"Z:MO0", 50},     {"S:N0", 55},     {"Z:ML00", 60},   {"Z:ML10", 62},
    {"Z:MD0", 64},   {"Z:MS1", 66},     {"Z:CR4095", -1}, {"Z:CS0", -1},    {"Z:CR729", 70},
    {"Z:CS365", 75}, {"Z:CT4", 80},     {"Z:MT0", 82},    {"Z:ED0", 84},    {"Z:EM10", 86},
    {"Z:UW", 100},
}};

// A store's read-back, and a verify: every parameter the store sent, queried in store order.
inline const QStringList kReadBackQueries{"?:D0", "?:D1", "?:D2", "?:J0",  "?:J1",  "?:J2", "?:O0",
                                          "?:O1", "?:O2", "?:EP", "?:EA",  "?:EF",  "?:EJ", "?:IS",
                                          "?:IF", "?:MO", "V:N",  "?:ML0", "?:ML1", "?:MD", "?:MS",
                                          "?:CR", "?:CS", "?:CT", "?:MT",  "?:ED",  "?:EM"};

inline QStringList FactoryStoreCommands() {
    QStringList commands;
    for (const StoreLine& line : kFactoryStore)
        commands << QLatin1String(line.command);
    return commands;
}

} // namespace testing
