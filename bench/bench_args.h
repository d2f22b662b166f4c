#pragma once

#include <cstdlib>

namespace corvantis::bench {

// The number that follows the option at argv[i], within [low, high]; i moves
// past it. usage, which does not return, is told when it is missing or wrong.
[[nodiscard]] inline int NumberArgument(int argc, char** argv, int& i, int low, int high,
                                        void (*usage)(const char*)) {
    if (i + 1 >= argc)
        usage("a number is missing");
    char* end = nullptr;
    const long v = std::strtol(argv[++i], &end, 10);
    if (*end != '\0' || v < low || v > high)
        usage("a number is out of range");
    return int(v);
}

} // namespace corvantis::bench
