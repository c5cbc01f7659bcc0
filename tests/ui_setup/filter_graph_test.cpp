// The audio-filter response graph: its scales, dragging the cut-off markers, the low-pass mode,
// the deferred response computation, and a screenshot for people to look at.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dsp/fir_filter.h"
#include "tests/support/window_probe.h"
#include "toolkit/bitmap.h"
#include "ui/audio_filter_graph.h"

namespace {

constexpr int kWidth = 290, kHeight = 138;  // plot 38..280 x 4..127

struct GraphEvents {
    std::vector<std::string> lines;
    void Low(Object*, int hz) { lines.push_back("low " + std::to_string(hz)); }
    void High(Object*, int hz) { lines.push_back("high " + std::to_string(hz)); }
};

struct Graph {
    Component* frame =
        new Component("graph test", WS_POPUP | WS_VISIBLE, 0, 30, 30, kWidth + 20, kHeight + 20, nullptr);
    CAudioFilterGraph* g = new CAudioFilterGraph(frame->GetHandle(), 10, 10, kWidth, kHeight, 0x56010000, 0);
    GraphEvents events;
    Graph() {
        g->OnFreqLowChanged.Bind(&events, &GraphEvents::Low);
        g->OnFreqHighChanged.Bind(&events, &GraphEvents::High);
    }
    ~Graph() { delete frame; }
    void Drag(int fromX, int toX) {
        HWND h = g->GetHandle();
        SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(fromX, 50));
        SendMessageA(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(toX, 50));
        SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(toX, 50));
    }
    // The graph's own painting into a bitmap of its size.
    DibBitmap* Paint() {
        DibBitmap* dib = new DibBitmap(kWidth, kHeight);
        SendMessageA(g->GetHandle(), WM_PAINT, reinterpret_cast<WPARAM>(dib->GetDC()), 0);
        return dib;
    }
    // Pumps until the deferred computation ran (at most two seconds).
    bool WaitForResponse() {
        for (int i = 0; i < 200 && !g->GetResponse(nullptr); ++i) {
            Sleep(10);
            window_probe::Pump();
        }
        return g->GetResponse(nullptr) != nullptr;
    }
};

class CountingFilter : public CFirFilter {
public:
    int designs = 0;
    int Design(bool withResponse) override {
        ++designs;
        return CFirFilter::Design(withResponse);
    }
};

void MakeBandPass(CFirFilter* f, float rateHz, float centreHz, float widthHz) {
    f->SetSampleRate(rateHz);
    f->SetTaps(255);
    f->SetType(kFilterBandPass);
    f->SetFrequency(centreHz);
    f->SetBandwidth(widthHz);
}

}  // namespace

TEST(CAudioFilterGraph, Scales) {
    Graph t;
    const RECT plot = t.g->GetPlotRect();
    ASSERT_EQ(plot.left, 38);
    ASSERT_EQ(plot.right, kWidth - 10);
    ASSERT_EQ(plot.bottom, kHeight - 11);
    const struct {
        int hz, x;
    } columns[] = {{0, 38}, {8000, 280}, {4000, 159}, {1000, 68}, {-1, 0}, {8001, kWidth + 1}};
    for (const auto& c : columns) EXPECT_EQ(t.g->FreqToX(c.hz), c.x) << c.hz;
    const struct { int x, hz; } freqs[] = {{37, 0}, {38, 0}, {281, 8000}, {159, 4000}, {68, 991}};
    for (const auto& c : freqs) EXPECT_EQ(t.g->XToFreq(c.x), c.hz) << c.x;
    // top - (height + 1) * dB / 100, clamped to the plot.
    const struct {
        float db;
        int y;
    } rows[] = {{0, 4}, {-50, 66}, {-100, 127}, {10, 4}, {-200, 127}};
    for (const auto& c : rows) EXPECT_EQ(t.g->DbToY(c.db), c.y) << c.db;
    // The ideal slope counts octaves above the low edge; at and below it (0 Hz too) it is 0 dB.
    t.g->SetFreqLow(1000);
    t.g->SetDeemphasis(-6.0f);
    const struct { float hz, db; } slope[] = {{2000, -6}, {4000, -12}, {1000, 0}, {500, 0}, {0, 0}};
    for (const auto& c : slope) EXPECT_NEAR(t.g->DeemphasisAt(c.hz), c.db, 1e-4) << c.hz;
}

TEST(CAudioFilterGraph, DraggedMarkersStopAtTheOtherOne) {
    Graph t;
    const struct {
        bool lowpass;
        int marker;  // 1 low, 2 high
        int toX;
        std::vector<std::string> expected;
    } drags[] = {
        {false, 2, 0, {"high 1001"}},                                   // the high marker stops above the low one
        {false, 2, 400, {"high 8000"}}, {false, 1, 400, {"low 2999"}},  // the low one below the high one
        {false, 1, 10, {"low 0"}},      {true, 1, 200, {}},             // low-pass: the low marker cannot be grabbed
        {true, 2, 0, {"high 1"}},                                       // and the high one goes down to 1 Hz
    };
    for (const auto& d : drags) {
        t.g->SetFreqLow(1000);
        t.g->SetFreqHigh(3000);
        t.g->SetLowpass(d.lowpass);
        t.events.lines.clear();
        const int from = d.marker == 1 ? t.g->FreqToX(t.g->GetFreqLow()) : t.g->GetMarkerX(2);
        t.Drag(from + 1, d.toX + 1);
        EXPECT_EQ(t.events.lines, d.expected) << "marker " << d.marker << " to " << d.toX;
    }
}

TEST(CAudioFilterGraph, LowPassModeDrawsNoLowMarker) {
    Graph t;
    t.g->SetFreqLow(2000);
    const int x = t.g->FreqToX(2000);
    const RECT column = {x, 10, x + 1, 120};
    const COLORREF red = RGB(255, 0, 0);
    for (bool lowpass : {false, true}) {
        t.g->SetLowpass(lowpass);
        DibBitmap* shot = t.Paint();
        EXPECT_EQ(window_probe::CountColour(*shot, red, column) > 100, !lowpass) << lowpass;
        delete shot;
    }
}

// A filter at 8000 samples per second: its bins reach only the left half of the plot.
TEST(CAudioFilterGraph, SeveralFiltersWithinTheDelayCostOneComputation) {
    Graph t;
    CountingFilter filter;
    MakeBandPass(&filter, 8000, 1650, 2700);
    for (int i = 0; i < 5; ++i) t.g->SetFilter(&filter);
    ASSERT_TRUE(t.WaitForResponse());
    EXPECT_EQ(filter.designs, 1);
    int columns = 0;
    const float* r = t.g->GetResponse(&columns);
    ASSERT_EQ(columns, 243);
    EXPECT_GT(r[t.g->FreqToX(1650) - 38], -3.0f) << "pass band";
    EXPECT_LT(r[t.g->FreqToX(3800) - 38], -40.0f) << "stop band";
    const int half = t.g->FreqToX(4000) - 38;
    for (int i = 0; i < columns; ++i) EXPECT_EQ(r[i] == CAudioFilterGraph::kNoBinDb, i > half) << i;
}

TEST(CAudioFilterGraph, Screenshot) {
    Graph t;
    CFirFilter filter;
    MakeBandPass(&filter, 16000, 1650, 2700);
    filter.SetDeemphasis(-6.0f);
    t.g->SetFreqLow(300);
    t.g->SetFreqHigh(3000);
    t.g->SetDeemphasis(-6.0f);
    t.g->SetFilter(&filter);
    ASSERT_TRUE(t.WaitForResponse());
    DibBitmap* shot = t.Paint();
    const RECT plot = {38, 4, 281, 128};
    EXPECT_GT(window_probe::CountColour(*shot, RGB(128, 255, 255), plot), 200) << "the response curve";
    EXPECT_GT(window_probe::CountColour(*shot, RGB(0, 128, 0), plot), 500) << "the grid";
    // Written beside the test program, in the build tree.
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    std::string file(path, n);
    file = file.substr(0, file.find_last_of("\\/") + 1) + "audio_filter_graph.bmp";
    EXPECT_EQ(shot->SaveToFile(file.c_str()), 1);
    delete shot;
}
