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
    Bar() {
        bar->SetBorderStyle(0);
        bar->SetBackColor(0);
        bar->SetTextColor(0x00FF00);
        bar->SetColor(0x606060);
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
        {0, 1000, 500, 500, 1}, {0, 1000, 5000, 1000, 1}, {0, 1000, 0, 0, 0},
        {100, 1000, 5, 100, 1}, {1000, 100, 5000, 1000, 1}, {1000, 100, 5, 100, 1},
        {50, 50, 7, 50, 1},
    };
    for (const auto& r : rows) {
        Bar b;
        b.bar->SetRangeStart(r.start);
        b.bar->SetRange(r.end);
        b.bar->SetPos(r.set);
        b.bar->SetPos(r.set);
        EXPECT_EQ(b.bar->GetPos(), r.stored) << r.start << ".." << r.end << " " << r.set;
        EXPECT_EQ(b.seen.size(), r.events) << r.start << ".." << r.end << " " << r.set;
    }
}

TEST(SeekBar, MouseSeeksAlongTheBarAndClampsBeyondIt) {
    Bar b;
    b.bar->SetRange(1000);
    const HWND h = b.bar->GetHandle();
    MouseDown(h, 0, 5);
    EXPECT_EQ(b.bar->GetPos(), 0u);
    MouseMove(h, 100, 5);
    EXPECT_EQ(b.bar->GetPos(), 500u);
    EXPECT_EQ(b.bar->GetFill(), 100);
    MouseMove(h, 900, 5);
    EXPECT_EQ(b.bar->GetPos(), 1000u);
    MouseMove(h, -50, 5);
    EXPECT_EQ(b.bar->GetPos(), 0u);
    MouseUp(h, 50, 5);
    MouseMove(h, 150, 5);   // released: no seeking
    EXPECT_EQ(b.bar->GetPos(), 0u);
    EXPECT_EQ(b.seen, (std::vector<uint32_t>{500, 1000, 0}));
    // A range set alone leaves the fill until the next change.
    b.bar->SetPos(500);
    b.bar->SetRange(2000);
    EXPECT_EQ(b.bar->GetFill(), 100);
    b.bar->SetPos(1500);
    EXPECT_EQ(b.bar->GetFill(), 150);
}

TEST(SeekBar, PaintsTheFillAndWhenDisabledTheRestInTheBarColour) {
    Bar b;
    b.bar->SetRange(100);
    const COLORREF idle = window_probe::CentreColour(b.bar);   // the background only
    EXPECT_NE(idle, 0x00FF00u);
    EXPECT_NE(idle, 0x606060u);
    b.bar->SetPos(100);
    EXPECT_EQ(window_probe::CentreColour(b.bar), 0x00FF00u);
    b.bar->SetPos(0);
    b.bar->Enable(false);
    EXPECT_EQ(window_probe::CentreColour(b.bar), 0x606060u);
}
