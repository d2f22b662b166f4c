#pragma once

#include <chrono>

namespace corvantis::util {

// How long a store waits for another program's writer before it gives up: the
// window must not freeze for long, a command-line scan can wait for another
// scan to finish recording.
inline constexpr std::chrono::milliseconds kWindowBusyTimeout{5000};
inline constexpr std::chrono::milliseconds kCommandLineBusyTimeout{30000};

} // namespace corvantis::util
