#include "bench/c4fm/c4fm_sensitivity.h"

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>

#include "dsp/dsp_math.h"
#include "dsp/fft_window.h"
#include "dsp/fir_filter.h"
#include "p25/apco_frame_decoder.h"
#include "p25/c4fm_demodulator.h"
#include "tests/support/c4fm_frame_scan.h"
#include "tests/support/c4fm_modulator.h"
#include "tests/support/p25_frame_builder.h"

namespace {

constexpr int kKeyUp = 2400;    // samples of unmodulated carrier before the call
constexpr int kSettled = 3000;  // symbols compared from here on (the clock has locked)

// Frames from the third LDU on (the TDU included).
int SettledFrameCount(const std::string& sent) {
    int count = 0;
    for (const c4fmtest::FoundFrame& f : c4fmtest::FindFrames(sent)) count += f.position >= kSettled;
    return count;
}

std::string Demodulate(const std::vector<float>& x) { return c4fmtest::Demodulate(x, 2048); }

// The plain receiver the demodulator is measured against: mixing with the exact carrier, a
// 64-tap Hann low-pass at 5 kHz, a limiter-discriminator (the angle of z[n] conj(z[n-1])) and
// integrate-and-dump over each symbol with the ideal timing, sliced at 0 and +-1200 Hz.
std::string ReferenceReceiver(const std::vector<float>& x, int symbols, int timing) {
    CFirFilter a, b;
    for (CFirFilter* f : {&a, &b}) {
        f->SetTaps(64);
        f->SetType(kFilterLowPass);
        f->SetWindow(kWindowHanning);
        f->SetFrequency(5000);
    }
    std::vector<float> re(x.size()), im(x.size());
    for (size_t n = 0; n < x.size(); ++n) {
        double phase = 2 * kPi * 12000.0 * n / 48000.0;
        re[n] = static_cast<float>(x[n] * std::cos(phase));
        im[n] = static_cast<float>(-x[n] * std::sin(phase));
    }
    a.Process(re.data(), static_cast<int>(re.size()));
    b.Process(im.data(), static_cast<int>(im.size()));
    std::vector<double> d(x.size(), 0.0);
    for (size_t n = 1; n < x.size(); ++n)
        d[n] = std::arg(std::complex<double>(re[n], im[n]) * std::conj(std::complex<double>(re[n - 1], im[n - 1])));
    const double unit = 10 * 2 * kPi * 600.0 / 48000.0;  // a +1 symbol integrated over 10 samples
    std::string text;
    for (int k = 0; k < symbols; ++k) {
        size_t start = kKeyUp + timing + 10 * static_cast<size_t>(k);
        if (start + 10 > d.size()) break;
        double sum = 0;
        for (int j = 0; j < 10; ++j) sum += d[start + j];
        text += sum > 2 * unit ? '1' : sum >= 0 ? '0' : sum > -2 * unit ? '2' : '3';
    }
    return text;
}

struct Errors {
    long symbols = 0, symbolErrors = 0, bitErrors = 0;
};

// Compares in chunks of 500 symbols, each at its best shift within +-6 symbols of `shift`, so
// that a slipped symbol costs one chunk's alignment, not the rest of the run.
Errors Compare(const std::string& sent, const std::string& received, int shift, int from) {
    Errors e;
    for (int start = from; start + 500 <= static_cast<int>(sent.size()); start += 500) {
        long best = -1, bestBits = 0;
        for (int s = shift - 6; s <= shift + 6; ++s) {
            if (start + s < 0 || start + s + 500 > static_cast<int>(received.size())) continue;
            long errors = 0, bits = 0;
            for (int k = start; k < start + 500; ++k) {
                int x = (sent[k] - '0') ^ (received[k + s] - '0');
                errors += x != 0;
                bits += (x & 1) + (x >> 1 & 1);
            }
            if (best < 0 || errors < best) {
                best = errors;
                bestBits = bits;
            }
        }
        if (best < 0) continue;
        e.symbols += 500;
        e.symbolErrors += best;
        e.bitErrors += bestBits;
    }
    return e;
}

int BestTiming(const std::string& sent, const std::vector<float>& clean) {
    int best = 0;
    long fewest = -1;
    for (int t = 0; t < 40; ++t) {
        std::string rx = ReferenceReceiver(clean, 3000, t);
        long errors = 0;
        for (size_t k = 500; k < rx.size(); ++k) errors += rx[k] != sent[k];
        if (fewest < 0 || errors < fewest) {
            fewest = errors;
            best = t;
        }
    }
    return best;
}

// Fraction of the settled frames found with the right NAC (received text: after the key-up).
double SettledNacRate(const std::string& text, int nac, int sentFrames) {
    int good = 0;
    for (const c4fmtest::FoundFrame& f : c4fmtest::FindFrames(text))
        if (f.position >= kSettled + kKeyUp / 10 && f.nac == nac) ++good;
    return static_cast<double>(good) / sentFrames;
}

// The widest range 0 .. limit (in steps of step, limit's sign giving the direction) over which
// every settled frame keeps its NAC when `set` applies the value to the signal.
template <typename Set>
double NacRange(const std::string& sent, double step, double limit, Set set) {
    double last = 0;
    for (double value = 0; std::fabs(value) <= std::fabs(limit); value += step) {
        c4fmtest::C4fmOptions o;
        o.delaySamples = kKeyUp;
        set(o, value);
        if (SettledNacRate(Demodulate(c4fmtest::ModulateC4fm(sent, o)), 0x293, SettledFrameCount(sent)) < 1.0) break;
        last = value;
    }
    return last;
}

}  // namespace

std::string BenchVoiceCall(int pairs) { return p25test::PlainCall(0x293, pairs); }

std::vector<float> BenchRecordingSecond() { return c4fmtest::ReadRecording("voice-nac293-tg1.if.wav"); }

int RunChain(const std::vector<float>& x) {
    CC4fmDemodulator demodulator;
    demodulator.EnsureFilters();
    CApcoFrameDecoder decoder;
    decoder.SetBlockSize(512);
    int blocks = 0;
    for (size_t done = 0; done < x.size(); done += 2048) {
        int symbols = demodulator.Process(x.data() + done, static_cast<int>(std::min<size_t>(2048, x.size() - done)));
        if (symbols <= 0) continue;
        decoder.Process(demodulator.GetSymbols(), symbols);
        while (int16_t* audio = decoder.PopAudioBlock()) {
            ++blocks;
            decoder.ReleaseAudioBlock(audio);
        }
    }
    return blocks;
}

void PrintSensitivity() {
    const int pairs = 10;
    const std::string sent = BenchVoiceCall(pairs);
    c4fmtest::C4fmOptions clean;
    clean.delaySamples = kKeyUp;
    const int timing = BestTiming(sent, c4fmtest::ModulateC4fm(sent, clean));

    std::printf("Symbol (SER) and bit (BER) error rates, %zu symbols per point, from symbol %d on\n", sent.size(),
                kSettled);
    std::printf("%8s  %22s  %22s  %22s\n", "Eb/N0", "demodulator SER  BER", "0.85 deviation SER",
                "reference SER   BER");
    for (int eb = 8; eb <= 30; eb += 2) {
        Errors part, narrow, reference;
        for (unsigned seed = 1; seed <= 3; ++seed) {
            c4fmtest::C4fmOptions o = clean;
            o.ebN0Db = eb;
            o.seed = seed;
            std::vector<float> x = c4fmtest::ModulateC4fm(sent, o);
            Errors a = Compare(sent, Demodulate(x), kKeyUp / 10, kSettled);
            Errors r = Compare(sent, ReferenceReceiver(x, static_cast<int>(sent.size()), timing), 0, kSettled);
            o.deviationScale = 0.85;
            Errors n = Compare(sent, Demodulate(c4fmtest::ModulateC4fm(sent, o)), kKeyUp / 10, kSettled);
            for (auto [total, one] : {std::pair<Errors*, Errors*>{&part, &a}, {&reference, &r}, {&narrow, &n}}) {
                total->symbols += one->symbols;
                total->symbolErrors += one->symbolErrors;
                total->bitErrors += one->bitErrors;
            }
        }
        auto pct = [](long errors, long count) { return count ? 100.0 * errors / count : 100.0; };
        std::printf("%6d dB  %8.2f %% %8.2f %%  %8.2f %%              %8.2f %% %8.2f %%\n", eb,
                    pct(part.symbolErrors, part.symbols), pct(part.bitErrors, 2 * part.symbols),
                    pct(narrow.symbolErrors, narrow.symbols), pct(reference.symbolErrors, reference.symbols),
                    pct(reference.bitErrors, 2 * reference.symbols));
    }

    // Ranges over which every settled frame keeps its NAC (no noise, blocks of 2048).
    auto offset = [](c4fmtest::C4fmOptions& o, double hz) { o.carrierOffsetHz = hz; };
    auto clock = [](c4fmtest::C4fmOptions& o, double ppm) { o.clockErrorPpm = ppm; };
    std::printf("NAC on every settled frame for carrier offsets %+.0f .. %+.0f Hz\n",
                NacRange(sent, -100, -5000, offset), NacRange(sent, 100, 5000, offset));
    const double ppmLo = NacRange(sent, -100, -5000, clock), ppmHi = NacRange(sent, 100, 5000, clock);
    std::printf("NAC on every settled frame for symbol-clock errors %+.0f .. %+.0f ppm\n", ppmLo, ppmHi);
}
