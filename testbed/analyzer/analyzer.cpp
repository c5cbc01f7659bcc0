// Stand-in for the spectrum-analyzer library k927apcospect.dll: CreateAnalyzer and the
// analyzer object's table of operations. It records every call, draws a bar spectrum of the
// blocks it is shown, and hands back no component of its own (a toolkit object cannot cross
// from one module to another). Like a real analyzer it draws at a display rate, not per block:
// a block only leaves its newest samples behind, and a timer of the window's own thread
// repaints when new ones have come.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "testbed/common/call_log.h"
#include "plugin/vkt_interfaces.h"

#define ANALYZER_EXPORT extern "C"  // exported undecorated through k927apcospect.def

namespace {

constexpr int kBars = 48;
constexpr int kWindowSamples = 256;
constexpr int kLoggedDisplays = 10;
constexpr char kClassName[] = "ApcoStandInAnalyzer";
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 40;

struct Analyzer {
    ISpectrumAnalyzer face;
    HWND window = nullptr;
    DWORD thread = 0;
    AnalyzerCallback callback = nullptr;
    void* context = nullptr;
    float bars[kBars] = {};  // dB
    CRITICAL_SECTION samplesLock;
    float latest[kWindowSamples] = {};  // the newest samples shown, guarded by samplesLock
    uint32_t latestCount = 0;
    bool fresh = false;
    Analyzer() { InitializeCriticalSection(&samplesLock); }
    ~Analyzer() { DeleteCriticalSection(&samplesLock); }
    Analyzer* next = nullptr;
};

struct State {
    CRITICAL_SECTION lock;
    testbed::CallLog log;
    AnalyzerStats stats{};
    Analyzer* live = nullptr;  // newest first
    HINSTANCE instance = nullptr;
    State() { InitializeCriticalSection(&lock); }
};

State& S() {
    static State* state = new State;
    return *state;
}

struct Locked {
    Locked() { EnterCriticalSection(&S().lock); }
    ~Locked() { LeaveCriticalSection(&S().lock); }
};

Analyzer* Self(ISpectrumAnalyzer* face) { return reinterpret_cast<Analyzer*>(face); }

void Count(Analyzer* a, int slot) {
    Locked locked;
    ++S().stats.slotCalls[slot];
    if (a->thread != GetCurrentThreadId()) ++S().stats.offThreadCalls;
}

// The Hann window and the band rotations for a window of n samples, computed once per n.
struct DftTables {
    uint32_t n = 0;
    float hann[kWindowSamples];
    float cosine[kBars][kWindowSamples];
    float sine[kBars][kWindowSamples];
};

const DftTables& TablesFor(uint32_t n) {
    static DftTables tables;  // used on the windows' thread only
    if (tables.n != n) {
        tables.n = n;
        for (uint32_t i = 0; i < n; ++i)
            tables.hann[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * 3.14159265358979 * i / (n > 1 ? n - 1 : 1)));
        for (int bar = 0; bar < kBars; ++bar) {
            const double w = 3.14159265358979 * (bar + 0.5) / kBars;
            for (uint32_t i = 0; i < n; ++i) {
                tables.cosine[bar][i] = static_cast<float>(std::cos(w * i));
                tables.sine[bar][i] = static_cast<float>(std::sin(w * i));
            }
        }
    }
    return tables;
}

// Power in kBars bands of the newest samples, by a plain DFT with a Hann window.
void Measure(Analyzer* a) {
    float x[kWindowSamples];
    uint32_t n;
    EnterCriticalSection(&a->samplesLock);
    n = a->latestCount;
    std::memcpy(x, a->latest, n * sizeof(float));
    a->fresh = false;
    LeaveCriticalSection(&a->samplesLock);
    if (n == 0) return;
    const DftTables& t = TablesFor(n);
    for (uint32_t i = 0; i < n; ++i) x[i] *= t.hann[i];
    for (int bar = 0; bar < kBars; ++bar) {
        double re = 0, im = 0;
        for (uint32_t i = 0; i < n; ++i) {
            re += x[i] * t.cosine[bar][i];
            im -= x[i] * t.sine[bar][i];
        }
        a->bars[bar] = static_cast<float>(10 * std::log10(re * re + im * im + 1e-12));
    }
}

// Fills the parent: the plug-in cannot lay out a window it has no component for.
void FitToParent(HWND window) {
    HWND parent = GetParent(window);
    RECT pr, wr;
    if (!parent || !GetClientRect(parent, &pr) || !GetClientRect(window, &wr)) return;
    if (pr.right != wr.right || pr.bottom != wr.bottom) MoveWindow(window, 0, 0, pr.right, pr.bottom, FALSE);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER && wParam == kRefreshTimer) {
        auto* a = reinterpret_cast<Analyzer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        bool fresh = false;
        if (a) {
            EnterCriticalSection(&a->samplesLock);
            fresh = a->fresh;
            LeaveCriticalSection(&a->samplesLock);
        }
        if (fresh) {
            FitToParent(hwnd);
            Measure(a);
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return 0;
    }
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        auto* a = reinterpret_cast<Analyzer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (a) {
            HBRUSH green = CreateSolidBrush(RGB(0, 200, 0));
            const int width = rc.right / kBars > 0 ? rc.right / kBars : 1;
            // The loudest band at the top, 60 dB below it at the bottom, whatever the scale of
            // the samples.
            float loudest = a->bars[0];
            for (int bar = 1; bar < kBars; ++bar) loudest = a->bars[bar] > loudest ? a->bars[bar] : loudest;
            for (int bar = 0; bar < kBars; ++bar) {
                double level = (a->bars[bar] - loudest) / 60.0 + 1.0;
                level = level < 0 ? 0 : (level > 1 ? 1 : level);
                RECT b{bar * width, rc.bottom - static_cast<LONG>(level * rc.bottom), bar * width + width - 1,
                       rc.bottom};
                FillRect(dc, &b, green);
            }
            DeleteObject(green);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

template <int Slot>
uintptr_t VKT_STDCALL Op0(ISpectrumAnalyzer* face) {
    Analyzer* a = Self(face);
    Count(a, Slot);
    S().log.Add("slot %d", Slot);
    if (Slot == kAnalyzerClose) {
        {
            Locked locked;
            for (Analyzer** p = &S().live; *p; p = &(*p)->next) {
                if (*p == a) {
                    *p = a->next;
                    break;
                }
            }
            --S().stats.alive;
        }
        if (a->window) DestroyWindow(a->window);
        delete a;
    }
    return 0;  // slot 0: no component crosses the module boundary
}

template <int Slot>
uintptr_t VKT_STDCALL Op1(ISpectrumAnalyzer* face, uintptr_t v) {
    Count(Self(face), Slot);
    S().log.Add("slot %d %ld", Slot, static_cast<long>(static_cast<int32_t>(v)));
    return 0;
}

template <int Slot>
uintptr_t VKT_STDCALL Op2(ISpectrumAnalyzer* face, uintptr_t x, uintptr_t y) {
    Analyzer* a = Self(face);
    Count(a, Slot);
    if (Slot == kAnalyzerSetCallback) {
        S().log.Add("slot %d callback %s", Slot, x ? "set" : "null");
        Locked locked;
        a->callback = reinterpret_cast<AnalyzerCallback>(x);
        a->context = reinterpret_cast<void*>(y);
    } else if (Slot == kAnalyzerSetLinearization) {
        // (coefficients, count): the signed bytes are read and kept as they arrive.
        const auto* coeffs = reinterpret_cast<const int8_t*>(x);
        const uint32_t n = coeffs && y <= kAnalyzerMaxLinearization ? static_cast<uint32_t>(y) : 0;
        std::string line = "slot 24 " + std::to_string(static_cast<int32_t>(y)) + ":";
        Locked locked;
        S().stats.linearizationCount = n;
        for (uint32_t i = 0; i < n; ++i) {
            S().stats.linearization[i] = coeffs[i];
            line += " " + std::to_string(coeffs[i]);
        }
        S().log.Add("%s", line.c_str());
    } else {
        S().log.Add("slot %d %ld %ld", Slot, static_cast<long>(static_cast<int32_t>(x)),
                    static_cast<long>(static_cast<int32_t>(y)));
    }
    return 0;
}

uintptr_t VKT_STDCALL Display(ISpectrumAnalyzer* face, const float* samples, uintptr_t count, uintptr_t zero1,
                              uintptr_t zero2, uintptr_t flag) {
    Analyzer* a = Self(face);
    Count(a, kAnalyzerDisplaySpectrum);
    bool logIt;
    {
        Locked locked;
        S().stats.samplesDisplayed += count;
        logIt = S().stats.slotCalls[kAnalyzerDisplaySpectrum] <= kLoggedDisplays;
    }
    if (logIt)
        S().log.Add("slot 31 %lu %lu %lu %lu", static_cast<unsigned long>(count), static_cast<unsigned long>(zero1),
                    static_cast<unsigned long>(zero2), static_cast<unsigned long>(flag));
    if (samples && count && count < 0x10000000) {
        const uint32_t n = count < kWindowSamples ? static_cast<uint32_t>(count) : kWindowSamples;
        EnterCriticalSection(&a->samplesLock);
        std::memcpy(a->latest, samples + (count - n), n * sizeof(float));
        a->latestCount = n;
        a->fresh = true;
        LeaveCriticalSection(&a->samplesLock);
    }
    return 0;
}

template <int Slot>
constexpr void* OpFor() {
    if constexpr (Slot == kAnalyzerDisplaySpectrum)
        return reinterpret_cast<void*>(&Display);
    else if constexpr (AnalyzerSlotArguments(Slot) == 2)
        return reinterpret_cast<void*>(&Op2<Slot>);
    else if constexpr (AnalyzerSlotArguments(Slot) == 1)
        return reinterpret_cast<void*>(&Op1<Slot>);
    else
        return reinterpret_cast<void*>(&Op0<Slot>);
}

template <int... Slots>
struct Table {
    void* ops[sizeof...(Slots)];
};
template <int... Slots>
Table<Slots...> MakeTable(std::integer_sequence<int, Slots...>) {
    return Table<Slots...>{{OpFor<Slots>()...}};
}

void* const* Ops() {
    static const auto table = MakeTable(std::make_integer_sequence<int, kAnalyzerSlotCount>());
    return table.ops;
}

void RegisterClassOnce() {
    WNDCLASSA wc{};
    if (GetClassInfoA(S().instance, kClassName, &wc)) return;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = S().instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) S().instance = instance;
    if (reason == DLL_PROCESS_DETACH) UnregisterClassA(kClassName, instance);
    return TRUE;
}

ANALYZER_EXPORT ISpectrumAnalyzer* __stdcall CreateAnalyzer(HWND parent, int x, int y, int width, int height,
                                                            uint32_t style, uint32_t extra) {
    S().log.Add("CreateAnalyzer %d %d %d %d 0x%lx 0x%lx", x, y, width, height, static_cast<unsigned long>(style),
                static_cast<unsigned long>(extra));
    auto* a = new (std::nothrow) Analyzer;
    if (!a) return nullptr;
    a->face.ops = Ops();
    a->thread = GetCurrentThreadId();
    if (parent) {
        RegisterClassOnce();
        a->window = CreateWindowExA(0, kClassName, "", WS_CHILD | WS_VISIBLE, x, y, width, height, parent, nullptr,
                                    S().instance, nullptr);
        if (a->window) {
            SetWindowLongPtrA(a->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(a));
            SetTimer(a->window, kRefreshTimer, kRefreshMs, nullptr);
        }
    }
    Locked locked;
    a->next = S().live;
    S().live = a;
    ++S().stats.created;
    ++S().stats.alive;
    return &a->face;
}

ANALYZER_EXPORT uint32_t __stdcall TestAnalyzerGetStats(AnalyzerStats* stats) {
    if (!stats || stats->structSize != sizeof(AnalyzerStats)) return 0;
    Locked locked;
    *stats = S().stats;
    stats->structSize = sizeof(AnalyzerStats);
    return 1;
}

ANALYZER_EXPORT uint32_t __stdcall TestAnalyzerGetLog(char* buffer, uint32_t size) {
    return S().log.CopyTo(buffer, size);
}

ANALYZER_EXPORT uint32_t __stdcall TestAnalyzerFireCallback(uint32_t code, int32_t value) {
    AnalyzerCallback callback = nullptr;
    void* context = nullptr;
    {
        Locked locked;
        if (S().live) {
            callback = S().live->callback;
            context = S().live->context;
        }
    }
    if (!callback) return 0;
    S().log.Add("callback %u %d", code, value);
    callback(code, value, context);
    return 1;
}
