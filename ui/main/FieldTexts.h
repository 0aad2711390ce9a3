#pragma once

#include "shell/ConfigRecord.h"
#include "shell/Language.h"

#include <QString>

// How the window names a parameter of the record and shows its value: in the compare dialog,
// in the change markers and in STORE's question.
namespace FieldTexts {

// The parameter's caption; every field a store sends has one, also those without a control.
QString Caption(int field, Language language);
// Its value as the window shows it: the option a choice selects, ON or OFF, or the number.
QString Value(int field, const ConfigRecord& record, Language language);
// Its unit; empty for none.
QString Unit(int field);
// The value with its unit ("350 mA").
QString ValueWithUnit(int field, const ConfigRecord& record, Language language);

} // namespace FieldTexts
