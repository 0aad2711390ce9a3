#pragma once

#include "shell/ConfigRecord.h"

#include <QString>

#include <span>

// The record fields a configuration file holds, in record order, for printing and comparing.
struct FieldRow {
    const char* name;
    const char* unit; // empty when the field has none
    bool boolean;
    qint64 (*value)(const ConfigRecord&);
};

std::span<const FieldRow> FileFields();

// "500 pulses/s", "True", "-1".
QString ShowField(const FieldRow& row, const ConfigRecord& record);
