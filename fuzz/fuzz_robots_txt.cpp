#include "robots_txt_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return corvantis::fuzz::RobotsTxtOneInput(data, size);
}
