// libFuzzer entry point over the frame decoder (built with clang in the ASan configuration).
#include <cstdlib>

#include "tests/support/p25_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!P25FuzzOneInput(data, size)) std::abort();
    return 0;
}
