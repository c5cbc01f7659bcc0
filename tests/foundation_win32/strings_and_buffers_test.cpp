#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/string.h"
#include "foundation/string_list.h"
#include "foundation/win32/virtual_buffer.h"
#include "scratch.h"

namespace {

TEST(WideString, ConvertsBothWaysAndReplacesUnmappableCharacters) {
    String utf8(L"K\u00f6ln \u20ac", CP_UTF8);
    EXPECT_STREQ(utf8.CStr(), "K\xc3\xb6ln \xe2\x82\xac");
    String latin(L"K\u00f6ln \u4e2d", 1252);
    EXPECT_STREQ(latin.CStr(), "K\xf6ln  ");  // the CJK letter has no 1252 code: a space
    wchar_t back[16] = {};
    EXPECT_EQ(utf8.ToWide(back, 16, CP_UTF8), 7);  // six characters and the NUL
    EXPECT_EQ(std::wstring(back), L"K\u00f6ln \u20ac");
    EXPECT_EQ(utf8.ToWide(back, 0, CP_UTF8), 0);
    EXPECT_STREQ(utf8.ConvertCodePage(CP_UTF8, 1252).CStr(), "K\xf6ln \x80");
    // Both directions through UTF-8, which takes no conversion flags or replacement character.
    EXPECT_STREQ(String("K\xf6ln \x80").ConvertCodePage(1252, CP_UTF8).CStr(), "K\xc3\xb6ln \xe2\x82\xac");
    EXPECT_STREQ(String(L"\u4e2d", CP_UTF8).CStr(), "\xe4\xb8\xad");
    EXPECT_EQ(String(static_cast<const wchar_t*>(nullptr), CP_UTF8).Length(), 0);
}

TEST(StringListFile, SavesAndLoadsLinesAndAnEmptyFileIsAnEmptyList) {
    ScratchFolder dir("apco_list");
    StringList l;
    l.Add(String("first"));
    l.Add(String(""));
    l.Add(String("third line"));
    String path((dir / "list.txt").c_str());
    ASSERT_EQ(l.SaveToFile(path), 1);
    StringList back;
    back.Add(String("stale"));
    ASSERT_EQ(back.LoadFromFile(path), 1);
    ASSERT_EQ(back.GetCount(), 3u);
    EXPECT_STREQ(back.GetItem(0)->CStr(), "first");
    EXPECT_STREQ(back.GetItem(1)->CStr(), "");
    EXPECT_STREQ(back.GetItem(2)->CStr(), "third line");

    StringList none;
    String empty((dir / "empty.txt").c_str());
    ASSERT_EQ(none.SaveToFile(empty), 1);
    back.Add(String("x"));
    EXPECT_EQ(back.LoadFromFile(empty), 1);
    EXPECT_EQ(back.GetCount(), 0u);
    EXPECT_EQ(back.LoadFromFile(String((dir / "missing.txt").c_str())), 0);
}

TEST(VirtualBuffer, GrowsInPlaceByWholePages) {
    VirtualBuffer one(1, 1);
    uint32_t page = one.GetPageSize();
    EXPECT_EQ(one.GetCapacity(), page);
    EXPECT_EQ(one.GetMaxSize(), page);

    VirtualBuffer b(100, 64 * page);
    uint8_t* data = b.GetData();
    EXPECT_EQ(b.GetCapacity(), page);
    b.SetSize(10 * page + 1);
    EXPECT_EQ(b.GetData(), data);  // the pointer never moves
    EXPECT_EQ(b.GetCapacity(), 16u * page);
    for (uint32_t i = 0; i < b.GetSize(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    b.SetSize(5);
    EXPECT_EQ(b.GetData(), data);
    EXPECT_EQ(b.GetCapacity(), 11u * page);  // half of 16 pages raised to the old size, whole pages
    EXPECT_EQ(data[4], 28);
    EXPECT_EQ(b.SetSize(1000 * page), 64u * page);  // capped at the reservation
    EXPECT_EQ(b.GetData(), data);
    data[64 * page - 1] = 1;  // the last committed byte is writable
}

}  // namespace
