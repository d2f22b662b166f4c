#include "http_response_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return corvantis::fuzz::HttpResponseOneInput(data, size);
}
