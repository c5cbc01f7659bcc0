// The seek bar: clamping, the event on every change, the mouse, and what it paints.
#include <gtest/gtest.h>

#include <vector>

#include "panel_host.h"
#include "tests/support/widget_input.h"
#include "ui/play_rec_controls.h"

namespace {

struct Bar {
    PanelHost host;
    CFilePosBar* bar = new CFilePosBar(host.Handle(), 10, 10, 200, 10, 0x56010000, 0);
    std::vector<uint32_t> seen;
    Bar(uint32_t start, uint32_t end) {
        bar->SetBorderStyle(0);
        bar->SetTextColor(0x00FF00);
        bar->SetColor(0x606060);
        bar->SetRangeStart(start);
        bar->SetRange(end);
        bar->OnPosChange.Bind(this, &Bar::Seen);
    }
    void Seen(Object*, uint32_t p) { seen.push_back(p); }
};

}  // namespace

TEST(SeekBar, PositionsAreClampedToEitherRangeAndReportedOncePerChange) {
    const struct {
        uint32_t start, end, set, stored;
        size_t events;
    } rows[] = {
        {0, 1000, 500, 500, 1},     {0, 1000, 5000, 1000, 1}, {0, 1000, 0, 0, 0}, {100, 1000, 5, 100, 1},
        {1000, 100, 5000, 1000, 1}, {1000, 100, 5, 100, 1},   {50, 50, 7, 50, 1},
    };
    for (const auto& r : rows) {
        Bar b(r.start, r.end);
        b.bar->SetPos(r.set);
        b.bar->SetPos(r.set);
        EXPECT_EQ(b.bar->GetPos(), r.stored) << r.start << ".." << r.end << " " << r.set;
        EXPECT_EQ(b.seen.size(), r.events) << r.start << ".." << r.end << " " << r.set;
    }
}

TEST(SeekBar, MouseSeeksAlongTheBarClampsBeyondItAndThePaintShowsTheFill) {
    Bar b(0, 1000);
    const HWND h = b.bar->GetHandle();
    for (int x : {0, 100, 900, -50}) MouseMove(h, x, 5);  // not captured: no seeking
    MouseDown(h, 0, 5);
    for (int x : {100, 900, -50}) MouseMove(h, x, 5);
    MouseUp(h, 50, 5);
    MouseMove(h, 150, 5);
    EXPECT_EQ(b.seen, (std::vector<uint32_t>{500, 1000, 0}));
    const COLORREF idle = window_probe::CentreColour(b.bar);  // the background only
    b.bar->SetPos(500);
    b.bar->SetRange(2000);  // alone it leaves the fill
    EXPECT_EQ(b.bar->GetFill(), 100);
    b.bar->SetPos(1500);
    EXPECT_EQ(b.bar->GetFill(), 150);
    EXPECT_EQ(window_probe::CentreColour(b.bar), 0x00FF00u);
    EXPECT_NE(idle, 0x00FF00u);
    b.bar->SetPos(0);
    b.bar->Enable(false);
    EXPECT_EQ(window_probe::CentreColour(b.bar), 0x606060u);
}
