#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "tests/support/widget_input.h"
#include "toolkit/memo.h"
#include "toolkit/scroll_bar.h"
#include "toolkit_fixture.h"

namespace {

struct MemoWindow {
    Component* root = MakeTopLevel(400, 300);
    Memo* memo = new Memo(root->GetHandle(), 10, 10, 200, 90, WS_CHILD | WS_DLGFRAME | ES_MULTILINE | ES_AUTOVSCROLL);
    EventLog changes;
    MemoWindow() { memo->OnChange.Bind(&changes, &EventLog::Raised); }
    ~MemoWindow() { delete root; }
};

TEST(Memo, AppendNewLineAndLines) {
    MemoWindow m;
    EXPECT_TRUE(m.memo->IsVisible());
    struct Step { char op; const char* text; const char* result; int lines; } steps[] = {
        {'a', "ab", "ab", 1}, {'a', "cd", "abcd", 1}, {'n', nullptr, "abcd\r\n", 2}, {'a', "ef", "abcd\r\nef", 2},
        {'r', "X", "X\r\nef", 2}, {'i', "<", "<X\r\nef", 2},
    };
    for (const Step& s : steps) {
        size_t before = m.changes.count;
        if (s.op == 'a') m.memo->Append(s.text);
        if (s.op == 'n') m.memo->NewLine();
        if (s.op == 'r') m.memo->ReplaceLineText(0, s.text);
        if (s.op == 'i') m.memo->InsertTextAt(0, s.text);
        EXPECT_STREQ(m.memo->GetText().CStr(), s.result) << s.op;
        EXPECT_EQ(m.memo->GetLineCount(), s.lines) << s.op;
        EXPECT_GT(m.changes.count, before) << s.op;
    }
    m.memo->SetText("first\r\nsecond line\r\nx");
    EXPECT_STREQ(m.memo->GetLine(1).CStr(), "second line");
    EXPECT_STREQ(m.memo->GetLine(2).CStr(), "x");
    EXPECT_STREQ(m.memo->GetLine(7).CStr(), "");
}

// At most size - 1 characters, so the terminator always fits; nothing beyond the buffer.
TEST(Memo, LineBufferIsBounded) {
    MemoWindow m;
    m.memo->SetText("abcdefghij\r\nk");
    struct Row { int size, copied; const char* text; } rows[] = {
        {0, 0, nullptr}, {1, 0, nullptr}, {2, 1, "a"}, {5, 4, "abcd"}, {11, 10, "abcdefghij"}, {64, 10, "abcdefghij"},
    };
    for (const Row& r : rows) {
        char buffer[80];
        std::memset(buffer, 0x55, sizeof buffer);
        EXPECT_EQ(m.memo->GetLineBuffer(0, buffer, r.size), r.copied) << r.size;
        if (r.text) EXPECT_STREQ(buffer, r.text);
        for (int i = r.text ? r.size : 0; i < static_cast<int>(sizeof buffer); ++i) ASSERT_EQ(buffer[i], 0x55) << r.size << "@" << i;
    }
}

// The bar's range is the line count, its page the lines that fit, its position the first
// visible line, through text changes, the wheel (one line a notch) and the bar itself.
TEST(Memo, ScrollBarFollowsTheLines) {
    MemoWindow m;
    m.memo->SetScrollBar(true, 0x00FF00);
    ScrollBar* bar = m.memo->GetScrollBar();
    ASSERT_NE(bar, nullptr);
    m.memo->SetText("one\r\ntwo");
    EXPECT_TRUE(bar->GetRangeMax() == 2 && bar->GetPage() == 2);
    EXPECT_FALSE(bar->GetThumb()->IsVisible()) << "everything fits";
    std::string many;
    for (int i = 0; i < 30; ++i) many += "line " + std::to_string(i) + "\r\n";
    m.memo->Clear();
    m.memo->Append(many.c_str());
    const int64_t visible = bar->GetPage();
    EXPECT_EQ(bar->GetRangeMax(), 31);
    EXPECT_TRUE(visible > 1 && visible < 31);
    EXPECT_TRUE(bar->GetThumb()->IsVisible());
    EXPECT_EQ(bar->GetPos(), 31 - visible) << "the caret's line in view";
    for (auto mv : {std::pair<char, int>{'b', 0}, {'w', -1}, {'w', -3}, {'w', 2}, {'b', 10}}) {
        static int first = 0;
        if (mv.first == 'b') bar->SetPos(first = mv.second);
        else SendMessageA(m.memo->GetHandle(), WM_MOUSEWHEEL, MAKEWPARAM(0, mv.second * WHEEL_DELTA), 0), first -= mv.second;
        EXPECT_EQ(SendMessageA(m.memo->GetHandle(), EM_GETFIRSTVISIBLELINE, 0, 0), first) << mv.first << mv.second;
        EXPECT_EQ(bar->GetPos(), first);
    }
}

}  // namespace
