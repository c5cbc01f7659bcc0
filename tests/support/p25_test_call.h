// A whole P25 call as the receiver's IF stream, made with the test-side transmitter: receiver
// noise, HDU, LDU1/LDU2 superframes whose voice frames are valid IMBE frames of a voiced tone,
// a terminator, and noise again (or a second call at once). Used by the plug-in's end-to-end
// tests and by the run command on a machine without the real recordings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace p25test {

struct TestCall {
    int nac = 0x2A7;
    int tgid = 0x1234;
    int sourceId = 0xABCDE;
    int algid = 0x80;             // 0x80 clear; anything else announces encryption
    int mfid = 0x00;              // in the header and the link control
    bool headerLost = false;      // the header's and the first LDU1's NIDs beyond correction
    int misreadLdu = -1;          // this LDU (0 the first LDU1, 1 the first LDU2, ...) is sent behind
    int misreadAs = 0x3;          // a NID beyond correction whose DUID bits read misreadAs
    int lostAfterMisread = 0;     // and this many LDUs after it behind NIDs beyond correction
    int superframes = 5;          // LDU1 + LDU2 pairs, 18 voice frames each
    int terminator = 0x3;         // the call's last unit: 0x3 TDU, 0xF TDU with link control
    bool terminatorLost = false;  // its NID beyond correction, its DUID bits intact
    int nextCallNac = -1;         // when set, a second call like this one, intact, with this NAC
                                  // follows the terminator at once
    int nextCallGap = 0;          // or after this many random symbols (also without a next call)
    int strayDuid = -1;           // when set, a sync and a NID with this DUID stand in that gap
    bool strayLost = true;        // where a voice unit would follow the terminator; NID beyond correction
    double toneHz = 200.0;        // fundamental of the voiced frames
    double leadSeconds = 1.0;     // noise before and after the call
    double ebN0Db = 40.0;
    unsigned seed = 7;
};

// The call's IF samples at 48000 samples/s (full scale 1) and its voice-frame count (both
// calls' when a second one follows).
std::vector<float> MakeTestCallIf(const TestCall& call, int* voiceFrames = nullptr);

}  // namespace p25test
