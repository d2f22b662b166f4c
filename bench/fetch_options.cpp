#include "fetch_options.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace corvantis::bench {

namespace {
[[noreturn]] void Usage(const char* tool, const char* why) {
    std::fprintf(stderr, "%s: %s\nusage: %s --pages N [--links-back M] --port P [--tls CA_FILE]\n",
                 tool, why, tool);
    std::exit(2);
}
} // namespace

FetchOptions ParseFetchOptions(int argc, char** argv, const char* tool) {
    FetchOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            Usage(tool, "a value is missing");
        const int value = std::atoi(argv[++i]);
        if (arg == "--tls")
            o.tlsCaFile = argv[i];
        else if (arg == "--pages")
            o.pages = value;
        else if (arg == "--links-back")
            o.linksBack = value;
        else if (arg == "--port")
            o.port = value;
        else
            Usage(tool, "unknown option");
    }
    if (o.pages < 1 || o.port < 1 || o.port > 65535)
        Usage(tool, "--pages and --port are needed");
    return o;
}

void PrintFetchSummary(std::size_t fetched, double seconds, long long bytes, int failed) {
    std::printf("pages=%zu seconds=%.3f pages_per_s=%.1f bytes=%lld failed=%d\n", fetched, seconds,
                seconds > 0 ? double(fetched) / seconds : 0.0, bytes, failed);
}

} // namespace corvantis::bench
