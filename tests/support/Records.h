#pragma once

#include "shell/ConfigRecord.h"

#include <QStringList>

namespace testing {

// The names of the fields in which two records differ, so that a failure says what changed.
QStringList Differences(const ConfigRecord& a, const ConfigRecord& b);

} // namespace testing
