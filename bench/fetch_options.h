#pragma once

#include <cstddef>
#include <string>

namespace corvantis::bench {

// The command line of the fetchers: --pages N [--links-back M] --port P [--tls CA_FILE].
struct FetchOptions {
    int pages = -1;
    int linksBack = 10;
    int port = -1;
    std::string tlsCaFile; // fetch over TLS, trusting this authority
};

// Exits with status 2 and a usage line naming the tool when the line is not valid.
FetchOptions ParseFetchOptions(int argc, char** argv, const char* tool);

// The one line a fetcher prints at its end; run-bench reads its fields.
void PrintFetchSummary(std::size_t fetched, double seconds, long long bytes, int failed);

} // namespace corvantis::bench
