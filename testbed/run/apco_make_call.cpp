// apco_make_call.exe OUT.if.wav: a P25 call from the project's own test-side transmitter, for
// the run command on a machine without the real recordings.
#include <cstdio>

#include "tests/support/p25_test_call.h"
#include "tests/support/wav_io.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: apco_make_call OUT.if.wav\n");
        return 2;
    }
    p25test::TestCall call;
    call.superframes = 20;  // 7.2 s of voice
    int frames = 0;
    if (!wavtest::WriteWav16(argv[1], p25test::MakeTestCallIf(call, &frames), 48000)) {
        std::fprintf(stderr, "apco_make_call: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("generated call: NAC 0x%X, TGID %d, SID %d, %d voice frames -> %s\n", call.nac, call.tgid,
                call.sourceId, frames, argv[1]);
    return 0;
}
