#pragma once

#include <functional>

namespace testing {

// Lets the event loop run until done() holds, for at most timeoutMs; whether it came to hold.
// Between passes it sleeps in the event dispatcher until the next event, where QTest::qWaitFor
// sleeps 10 ms whatever comes: a link's fast ticks and its replies are handled as they come.
bool RunUntil(const std::function<bool()>& done, int timeoutMs);

} // namespace testing
