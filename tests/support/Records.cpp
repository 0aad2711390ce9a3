#include "tests/support/Records.h"

#include "shell/RecordFields.h"

namespace testing {

QStringList Differences(const ConfigRecord& a, const ConfigRecord& b) {
    QStringList out;
    for (const RecordField& field : kRecordFields)
        if (field.get(a) != field.get(b))
            out << RecordFields::Name(field);
    return out;
}

} // namespace testing
