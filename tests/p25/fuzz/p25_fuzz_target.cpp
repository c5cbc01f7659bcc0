// libFuzzer entry point over the frame decoder (built with clang in the ASan configuration).
#include "tests/support/p25_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    P25FuzzOneInput(data, size);
    return 0;
}
