#pragma once

#include <QString>

namespace testing {

// Puts the module-level instances back to their start: program state and options (then the
// command line), the configuration record, the link state with no port open, and the three
// file blocks. Every suite calls it before each test.
void ResetCore(const QString& commandLine = {});

} // namespace testing
