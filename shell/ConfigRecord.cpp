#include "shell/ConfigRecord.h"

#include "shell/RecordFields.h"

ConfigRecord FactoryDefaults() {
    ConfigRecord r{};
    for (const RecordField& field : kRecordFields)
        field.set(r, field.factory);
    return r;
}
