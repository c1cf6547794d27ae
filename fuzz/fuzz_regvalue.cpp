// Any value (name, type, bytes) written as a REGEDIT4 entry reads back the same.
#include "properties.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken = norvane::fuzz::CheckRegValue(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "%s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
