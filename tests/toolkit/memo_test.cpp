#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "tests/support/widget_input.h"
#include "toolkit/memo.h"
#include "toolkit/scroll_bar.h"
#include "toolkit_fixture.h"

namespace {

constexpr DWORD kMemoStyle = WS_CHILD | WS_VISIBLE | WS_DLGFRAME | ES_MULTILINE | ES_AUTOVSCROLL;

struct MemoWindow {
    Component* root = MakeTopLevel(400, 300);
    Memo* memo = new Memo(root->GetHandle(), 10, 10, 200, 90, kMemoStyle);
    EventLog changes;
    MemoWindow() { memo->OnChange.Bind(&changes, &EventLog::Raised); }
    ~MemoWindow() { delete root; }
    std::string Text() { return memo->GetText().CStr(); }
};

TEST(Memo, AppendAndNewLine) {
    MemoWindow m;
    EXPECT_TRUE(m.memo->IsVisible());
    EXPECT_GT(m.memo->GetBevelDepth(), 0);
    struct Step { char op; const char* text; const char* result; int lines; } steps[] = {
        {'a', "ab", "ab", 1},
        {'a', "cd", "abcd", 1},          // no line break of its own
        {'n', nullptr, "abcd\r\n", 2},
        {'a', "ef", "abcd\r\nef", 2},
        {'r', "X", "X\r\nef", 2},         // line 0 replaced
        {'i', "<", "<X\r\nef", 2},        // at position 0
        {'c', nullptr, "", 1},
        {'a', "z", "z", 1},
    };
    for (const Step& s : steps) {
        size_t before = m.changes.Count();
        if (s.op == 'a') m.memo->Append(s.text);
        if (s.op == 'n') m.memo->NewLine();
        if (s.op == 'r') m.memo->ReplaceLineText(0, s.text);
        if (s.op == 'i') m.memo->InsertTextAt(0, s.text);
        if (s.op == 'c') m.memo->Clear();
        EXPECT_EQ(m.Text(), s.result) << s.op;
        EXPECT_EQ(m.memo->GetLineCount(), s.lines) << s.op;
        if (s.op != 'c') EXPECT_GT(m.changes.Count(), before) << s.op;
    }
    m.memo->SetText("first\r\nsecond line\r\nx");
    EXPECT_STREQ(m.memo->GetLine(1).CStr(), "second line");
    EXPECT_STREQ(m.memo->GetLine(2).CStr(), "x");
    EXPECT_STREQ(m.memo->GetLine(7).CStr(), "");
    EXPECT_EQ(m.memo->GetLineLength(7), 0);
    int column, line;
    m.memo->SetCaretLineCol(3, 1);
    m.memo->GetCaretLineCol(&column, &line);
    EXPECT_EQ(column, 3);
    EXPECT_EQ(line, 1);
}

// The count word asks for one character less than the buffer holds, so the terminator always
// fits; nothing beyond the buffer is written.
TEST(Memo, LineBufferIsBounded) {
    MemoWindow m;
    m.memo->SetText("abcdefghij\r\nk");
    struct Row { int size; int copied; const char* text; } rows[] = {
        {0, 0, nullptr}, {1, 0, nullptr}, {2, 1, "a"}, {5, 4, "abcd"}, {10, 9, "abcdefghi"}, {11, 10, "abcdefghij"},
        {64, 10, "abcdefghij"},
    };
    for (const Row& r : rows) {
        char buffer[80];
        std::memset(buffer, 0x55, sizeof buffer);
        EXPECT_EQ(m.memo->GetLineBuffer(0, buffer, r.size), r.copied) << r.size;
        if (r.text) EXPECT_STREQ(buffer, r.text);
        else EXPECT_EQ(buffer[0], 0x55) << "untouched";
        for (int i = r.size; i < static_cast<int>(sizeof buffer); ++i) ASSERT_EQ(buffer[i], 0x55) << r.size << " at " << i;
    }
}

TEST(Memo, ScrollBarFollowsTheLines) {
    MemoWindow m;
    m.memo->SetScrollBar(true, 0x00FF00);
    ScrollBar* bar = m.memo->GetScrollBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->GetLeft() + bar->Width(), m.memo->ClientWidth()) << "docked right";
    m.memo->SetText("one\r\ntwo");
    EXPECT_EQ(bar->GetRangeMax(), 2);
    EXPECT_EQ(bar->GetPage(), 2);
    EXPECT_FALSE(bar->GetThumb()->IsVisible()) << "everything fits";
    std::string many;
    for (int i = 0; i < 30; ++i) many += "line " + std::to_string(i) + "\r\n";
    m.memo->SetText("");
    m.memo->Append(many.c_str());   // typed or inserted text: through the change notice
    const int visible = static_cast<int>(bar->GetPage());
    EXPECT_EQ(bar->GetRangeMax(), 31);
    EXPECT_GT(visible, 1);
    EXPECT_LT(visible, 31);
    EXPECT_TRUE(bar->GetThumb()->IsVisible());
    EXPECT_EQ(bar->GetPos(), 31 - visible) << "the caret's line in view";
    struct Move { char by; int amount; int first; } moves[] = {
        {'b', 0, 0}, {'w', -1, 1}, {'w', -3, 4}, {'w', 2, 2}, {'b', 10, 10},
    };
    for (const Move& mv : moves) {
        if (mv.by == 'b') bar->SetPos(mv.amount);
        else SendMessageA(m.memo->GetHandle(), WM_MOUSEWHEEL, MAKEWPARAM(0, mv.amount * WHEEL_DELTA), 0);
        EXPECT_EQ(SendMessageA(m.memo->GetHandle(), EM_GETFIRSTVISIBLELINE, 0, 0), mv.first) << mv.by << mv.amount;
        EXPECT_EQ(bar->GetPos(), mv.first);
    }
    m.memo->SetScrollBar(false, 0);
    EXPECT_EQ(m.memo->GetScrollBar(), nullptr);
}

}  // namespace
