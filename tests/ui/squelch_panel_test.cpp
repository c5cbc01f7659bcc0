// The squelch panel driven by clicks and typed keys, and the code lists behind it.
#include <gtest/gtest.h>

#include "main_window_fixture.h"
#include "plugin/host_protocol.h"
#include "ui/spectrum_analyzer_panel.h"

using window_probe::PressKey;
using window_probe::Type;

namespace {

// Types text into the code field and commits it with Enter, which adds it to the list.
void Enter(MainWindow& m, const char* text) {
    IntEdit* field = m.Edit(1);
    SetWindowTextA(field->GetHandle(), "");
    Type(field->GetHandle(), text);
    Type(field->GetHandle(), "\r");
    window_probe::Pump();
}

}  // namespace

TEST(SquelchPanel, AddKeepsTheListSortedWithoutDuplicates) {
    MainWindow m;
    m.Click("NAC");
    EXPECT_EQ(m.w->GetSquelchType(), 1u);
    EXPECT_EQ(m.Title(), "NAC codes to monitor:");
    EXPECT_TRUE(m.Codes()->IsEnabled());
    for (const char* code : {"5", "3", "5", "9"}) Enter(m, code);
    EXPECT_EQ(m.ListText(), "3,5,9");
    EXPECT_EQ(m.events.Count("list 0 0"), 3) << "the second 5 changes nothing";
    // The same through the Add button: the field gives up the focus and commits.
    SetFocus(m.Edit(1)->GetHandle());
    SetWindowTextA(m.Edit(1)->GetHandle(), "7");
    m.Click("Add");
    EXPECT_EQ(m.ListText(), "3,5,7,9");
    EXPECT_EQ(m.w->GetSquelchList(kSquelchNAC)->At(2), 7u);
    EXPECT_EQ(m.w->GetSquelchList(3), nullptr);
}

TEST(SquelchPanel, EveryValidCodeCanBeTypedAndNothingBeyond) {
    MainWindow m;
    const struct {
        const char* button;
        const char* typed;
        const char* list;
    } rows[] = {
        {"NAC", "4095", "4095"},
        {"NAC", "4096", "4095"},
        {"TGID", "4660", "4660"},
        {"TGID", "65535", "4660,65535"},
        {"TGID", "65536", "4660,65535"},
        {"SID", "16777215", "16777215"},
        {"SID", "16777216", "16777215"},
        {"DID", "-1", ""},
        {"DID", "0", "0"},
    };
    for (const auto& r : rows) {
        if (!m.ButtonNamed(r.button)->IsDown()) m.Click(r.button);
        Enter(m, r.typed);
        EXPECT_EQ(m.ListText(), r.list) << r.button << " " << r.typed;
    }
}

TEST(SquelchPanel, TypeButtonsBerAndInvert) {
    MainWindow m;
    m.Click("BER");
    EXPECT_EQ(m.w->GetSquelchType(), 0x10u);
    EXPECT_TRUE(m.Edit(0)->IsEnabled());
    m.Click("NAC");
    m.Click("TGID");
    EXPECT_FALSE(m.ButtonNamed("NAC")->IsDown());
    EXPECT_EQ(m.w->GetSquelchType(), 0x12u);
    EXPECT_EQ(m.Title(), "TGID codes to monitor:");
    m.Click("Inv");
    EXPECT_TRUE(m.w->GetInvertSquelch());
    EXPECT_EQ(m.Title(), "TGID codes to squelch:");
    m.Click("TGID");  // the only down type button goes up
    EXPECT_EQ(m.w->GetSquelchType(), 0x10u);
    EXPECT_EQ(m.Title(), "Codes to squelch:");
    EXPECT_FALSE(m.Codes()->IsEnabled());
    EXPECT_EQ(m.Codes()->Count(), 0);
    m.Click("BER");
    EXPECT_EQ(m.w->GetSquelchType(), 0u);
    EXPECT_FALSE(m.Edit(0)->IsEnabled());
    EXPECT_EQ(m.events.lines,
              (std::vector<std::string>{"type 16", "type 17", "type 18", "invert", "type 16", "type 0"}));
    // Setting "Inv" from code reports nothing and leaves the title alone.
    m.w->SetInvertSquelch(false);
    EXPECT_EQ(m.events.Count("invert"), 1);
    EXPECT_EQ(m.Title(), "Codes to squelch:");
    // Two list bits show no list.
    m.w->SetSquelchType(3);
    EXPECT_FALSE(m.Codes()->IsEnabled());
    EXPECT_FALSE(m.ButtonNamed("Add")->IsEnabled());
    EXPECT_FALSE(m.ButtonNamed("NAC")->IsDown());
    // The threshold field reports its value.
    m.w->SetSquelchValue(kSquelchBER, 42);
    EXPECT_EQ(m.events.lines.back(), "list 16 42");
}

TEST(SquelchPanel, RemoveSelectsTheNeighbour) {
    MainWindow m;
    const uint32_t codes[] = {30, 10, 20};
    m.w->SetSquelchValues(kSquelchDID, codes, 3);
    m.Click("DID");
    EXPECT_EQ(m.ListText(), "10,20,30");
    EXPECT_FALSE(m.ButtonNamed("Remove")->IsEnabled());
    m.Codes()->Select(2, true);
    EXPECT_TRUE(m.ButtonNamed("Remove")->IsEnabled());
    m.Click("Remove");
    EXPECT_EQ(m.ListText(), "10,20");
    EXPECT_EQ(m.Codes()->GetCurrent(), 1);
    m.Codes()->Select(0, true);
    PressKey(m.Codes()->GetHandle(), VK_DELETE);
    EXPECT_EQ(m.ListText(), "20");
    EXPECT_EQ(m.Codes()->GetCurrent(), 0);
    m.Click("Remove");
    EXPECT_EQ(m.ListText(), "");
    EXPECT_EQ(m.Codes()->GetCurrent(), -1);
    EXPECT_EQ(m.events.Count("list 0 0"), 3);
    m.Click("Remove");  // nothing selected: nothing happens
    EXPECT_EQ(m.events.Count("list 0 0"), 3);
}

TEST(SquelchPanel, StoredListsAreMaskedSortedAndDeduplicated) {
    MainWindow m;
    const uint32_t stored[] = {0x1005, 7, 5, 0xFFFFF007, 3};
    m.w->SetSquelchValues(kSquelchNAC, stored, 5);
    // Adding relies on that order.
    m.Click("NAC");
    EXPECT_EQ(m.ListText(), "3,5,7");
    Enter(m, "6");
    EXPECT_EQ(m.ListText(), "3,5,6,7");
    m.w->SetSquelchValues(kSquelchNAC, nullptr, 5);
    EXPECT_EQ(m.ListText(), "");
}

TEST(SquelchPanel, DecodedCodeGoesIntoTheFieldOfTheChosenType) {
    MainWindow m;
    m.Click("TGID");
    ApcoParams p{0, 0x293, 0x1234, 5, 6, 0, -1, 0, 0};
    m.Send(WM_APCO_MEDIA, reinterpret_cast<WPARAM>(&p), 36);
    EXPECT_EQ(m.Edit(1)->GetValue(), 0x1234);
    m.Click("Add");
    EXPECT_EQ(m.ListText(), "4660");
}

TEST(SquelchPanel, NothingCanBeUsedWhileAFilePlays) {
    MainWindow m;
    m.Click("NAC");
    const char* buttons[] = {"NAC", "TGID", "BER", "Inv", "Add"};
    // The system gives no input to a disabled window or to the children of one.
    for (WPARAM playback : {1, 2, 0}) {
        m.Send(WM_APCO_PLAYBACK, playback, 0);
        for (const char* b : buttons) EXPECT_EQ(m.ButtonNamed(b)->IsEnabled(), playback == 0) << b << " " << playback;
        EXPECT_EQ(m.Codes()->IsEnabled(), playback == 0);
    }
    EXPECT_EQ(m.w->GetSpectrumAnalyzer()->GetPlayback(), 0u);
}
