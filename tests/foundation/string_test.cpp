#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "foundation/string.h"

namespace {

std::string S(const String& s) { return std::string(s.CStr(), static_cast<size_t>(s.Length())); }

TEST(String, CopiesShareUntilOneIsWritten) {
    String a("Hello");
    String b(a);
    EXPECT_EQ(a.CStr(), b.CStr());  // one block
    b += " world";
    EXPECT_EQ(S(a), "Hello");
    EXPECT_EQ(S(b), "Hello world");

    String c(a);
    c.PadRight(8);
    EXPECT_EQ(S(c), "Hello   ");
    EXPECT_EQ(S(a), "Hello");

    String d(a);
    String lower = d.ToLower();
    EXPECT_EQ(S(lower), "hello");
    EXPECT_EQ(S(a), "Hello");
    EXPECT_EQ(S(d), "Hello");

    String e(a);
    e.SetTag(7);
    EXPECT_EQ(e.GetTag(), 7u);
    EXPECT_EQ(a.GetTag(), 0u);
}

TEST(String, CapacityRules) {
    EXPECT_EQ(String(0).GetCapacity(), 17);
    EXPECT_EQ(String(16).GetCapacity(), 17);
    EXPECT_EQ(String(100).GetCapacity(), 101);
    EXPECT_EQ(String(static_cast<const char*>(nullptr)).GetCapacity(), 1);
    EXPECT_EQ(String("abc").GetCapacity(), 4);

    // No spare growth: a block with room still goes to exactly length + 2 on one append.
    String s(100);
    s += "abc";
    EXPECT_EQ(s.GetCapacity(), 4);
    s += 'd';
    EXPECT_EQ(s.GetCapacity(), 5);
    EXPECT_EQ(S(s), "abcd");

    EXPECT_EQ((String("ab") + "cde").GetCapacity(), 6);
    EXPECT_EQ(("ab" + String("c")).GetCapacity(), 17);
    EXPECT_EQ(S("ab" + String("c")), "abc");
}

TEST(String, SelfAppendAndSelfAssignReadTheSourceBeforeReallocating) {
    String s("abcdefgh");
    s += s;
    EXPECT_EQ(S(s), "abcdefghabcdefgh");
    s += s.CStr() + 4;  // a tail of its own text
    EXPECT_EQ(S(s), "abcdefghabcdefghefghabcdefgh");
    String shared(s);
    s += shared;  // same block through another string
    EXPECT_EQ(s.Length(), 56);
    EXPECT_EQ(S(shared), "abcdefghabcdefghefghabcdefgh");
    s = s.CStr() + 50;  // assign from its own text
    EXPECT_EQ(S(s), "cdefgh");
    String& self = s;
    s = self;
    EXPECT_EQ(S(s), "cdefgh");
}

TEST(String, IndexOutsideTheCapacityLandsOnTheSpareByte) {
    String s("xy");
    s[1] = 'z';
    EXPECT_EQ(S(s), "xz");
    s[100] = 'q';
    s[-1] = 'q';
    EXPECT_EQ(S(s), "xz");
    String r(10);
    std::strcpy(&r[0], "direct");
    r.UpdateLength();
    EXPECT_EQ(r.Length(), 6);
}

TEST(String, Numbers) {
    EXPECT_EQ(S(String::FromHex(0, 0)), "0");
    EXPECT_EQ(S(String::FromHex(0x1F, 0)), "1f");
    EXPECT_EQ(S(String::FromHex(0x1F, 4)), "001f");
    EXPECT_EQ(S(String::FromHex(0, 3)), "000");
    EXPECT_EQ(S(String::FromHex(0xFEDCBA9876543210ull, 20)), "fedcba9876543210");
    EXPECT_EQ(S(String::FromInt64(-9223372036854775807LL - 1)), "-9223372036854775808");
    EXPECT_EQ(S(String::FromDouble(-0.5, 2, 0, false)), "-0.50");
    EXPECT_EQ(S(String::FromDouble(2.5, 0, 2, false)), "2.5");
    EXPECT_EQ(S(String::FromDouble(3, 0, 0, false)), "3");
    EXPECT_EQ(S(String::FromDouble(0.05, 1, 2, true)), "+0.05");
    EXPECT_EQ(S(String::FromDouble(12.3, 1, 3, false)), "12.3");
    EXPECT_EQ(S(String::FromDouble(0, 2, 0, false)), "0.00");
    EXPECT_EQ(String("ff").ToLong(true), 255);
    EXPECT_EQ(String("ffffffff").ToLong(true), -1);  // 32 bits in every build
    EXPECT_EQ(String("-42").ToLong(false), -42);
    EXPECT_EQ(String("4294967297").ToLong(false), 1);
    EXPECT_EQ(String("xyz").ToLong(false), 0);
    // 3725 s as h:mm:ss; a leading zero in a run asks for zero fill to one less digit.
    EXPECT_EQ(S(String::FormatMixedRadix(3725, ":060:060", false)), "1:02:05");
    EXPECT_EQ(S(String::FormatMixedRadix(65, "60:60", false)), "1:5");
    EXPECT_EQ(S(String::FormatMixedRadix(3725, "24:060:060", false)), "1:02:05");
    EXPECT_EQ(S(String::FormatMixedRadix(90061, "24:060:060", false)), "1:01:01");  // a day's carry is dropped
    EXPECT_EQ(S(String::FormatMixedRadix(0x1234, ":010", true)), "123:04");
    EXPECT_EQ(S(String::FromHexBytes("\x01\xab\x10", 3, 2)), "01ab 10");
}

TEST(String, Comparisons) {
    EXPECT_TRUE(String("abc") == "abc");
    EXPECT_TRUE(String("abc") < String("abd"));
    EXPECT_TRUE(String("b") > "a");
    EXPECT_TRUE(String("\xe9") > "z");  // byte-wise, unsigned
    EXPECT_EQ(String("a").Compare("a"), 0);
}

TEST(String, SearchesStayInsideTheText) {
    String s("abcabc");
    EXPECT_EQ(s.Find("bc", 2), 1);
    EXPECT_EQ(s.Find("bc", 2, 2), 4);
    EXPECT_EQ(s.Find("bc", 2, 5), -1);
    EXPECT_EQ(s.Find("bc", 2, 1000), -1);
    EXPECT_EQ(s.Find("bc", 2, -7), 1);
    EXPECT_EQ(s.Find("abcabcx", 7), -1);  // longer than the text
    EXPECT_EQ(s.ReverseFind("bc", 2, 1000), 4);
    EXPECT_EQ(s.ReverseFind("bc", 2, 3), 1);
    EXPECT_EQ(s.ReverseFind("bc", 2, -1), -1);
    EXPECT_EQ(s.FindNoCase("CA", 2), 2);
    EXPECT_EQ(s.ReverseFindNoCase("AB", 2, 99), 3);
    EXPECT_EQ(s.FindChar('c', 3), 5);
    EXPECT_EQ(s.FindChar('c', 99), -1);
    EXPECT_EQ(String("").Find("", 0), 0);
}

TEST(String, Paths) {
    String p("C:\\a\\b.wav");
    EXPECT_EQ(S(p.GetDirectory()), "C:\\a");
    EXPECT_EQ(S(p.GetFileName()), "b.wav");
    EXPECT_EQ(S(String("b.wav").GetDirectory()), "");
    EXPECT_EQ(S(String("b.wav").GetFileName()), "b.wav");
    EXPECT_EQ(S(String("C:\\a.d\\b").RemoveExtension()), "C:\\a.d\\b");
    EXPECT_EQ(S(String("C:\\a\\b.if.wav").RemoveExtension()), "C:\\a\\b.if");
    EXPECT_EQ(S(String("C:\\a\\b.if.wav").GetExtension()), "wav");
    EXPECT_EQ(S(String("C:\\a.d\\b").GetExtension()), "d\\b");  // a dot in a folder counts
    EXPECT_EQ(S(String("noext").GetExtension()), "");
}

TEST(String, MidTrimAndCase) {
    EXPECT_EQ(S(String("abc").Mid(5, 10)), "");
    EXPECT_EQ(S(String("abc").Mid(1, 10)), "bc");
    EXPECT_EQ(S(String("abc").Mid(-3, 2)), "ab");
    String t(" ab \t");
    EXPECT_EQ(S(t.Trim()), "ab");
    EXPECT_EQ(S(t), "ab");
    String accented("\xe9t\xe9 \x01");
    EXPECT_EQ(S(accented.Trim()), "\xe9t\xe9");  // bytes above 0x7F are letters
    EXPECT_EQ(S(String("\xe9"
                       "Ab")
                    .ToUpper()),
              "\xe9"
              "AB");
    String d("abcdef");
    d.DeleteLeft(2);
    EXPECT_EQ(S(d), "cdef");
    d.DeleteLeft(100);
    EXPECT_EQ(S(d), "");
    EXPECT_EQ(S(String::Repeat('x', 3)), "xxx");
}

TEST(String, QuoteRoundTrips) {
    String text("say \"hi\", ok");
    String quoted = text.Quote('"');
    EXPECT_EQ(S(quoted), "\"say \"\"hi\"\", ok\"");
    String rest(quoted + ",next");
    EXPECT_EQ(S(rest.TakeQuoted('"')), S(text));
    EXPECT_EQ(S(rest), ",next");
    String one("\"");
    String q = one.Quote('"');
    EXPECT_EQ(S(q), "\"\"\"\"");
    EXPECT_EQ(S(q.TakeQuoted('"')), "\"");
    EXPECT_EQ(q.Length(), 0);
    String plain("abc");
    EXPECT_EQ(S(plain.TakeQuoted('"')), "");
    EXPECT_EQ(S(plain), "abc");
    String single("'it''s'");
    EXPECT_EQ(S(single.TakeQuoted('\'')), "it's");
    // Whatever the quote character, the enclosing marks are double quotes.
    EXPECT_EQ(S(String("it's").Quote('\'')), "\"it''s\"");
}

TEST(String, ReplaceInsertAndReplaceChar) {
    EXPECT_EQ(S(String("hello").Replace(1, 3, String("EY"))), "hEYo");
    EXPECT_EQ(S(String("hello").Replace(10, 3, String("!"))), "hell!");
    EXPECT_EQ(S(String("").Replace(3, 3, String("x"))), "x");
    String s("ac");
    s.InsertChar('b', 1);
    s.InsertChar('d', 99);
    EXPECT_EQ(S(s), "abcd");
    String r("a.b.c");
    EXPECT_EQ(S(r.ReplaceChar('.', '\\')), "a\\b\\c");
    EXPECT_EQ(S(r), "a.b.c");
}

TEST(String, SizesBeyondAnIntLeaveTheStringAsItWas) {
    String s("abc");
    String shared(s);
    s.PadRight(INT_MAX);  // one more than the largest capacity
    EXPECT_EQ(S(s), "abc");
    EXPECT_EQ(s.CStr(), shared.CStr());  // not even unshared
    s.PadRight(-5);
    EXPECT_EQ(S(s), "abc");
}

// In the 32-bit DLL a block of 2 GB cannot be had: the string stays as it was.
TEST(String, AFailedAllocationChangesNothing) {
    if (sizeof(void*) != 4) GTEST_SKIP() << "a 2 GB block is available to a 64-bit process";
    String s("abc");
    s.PadRight(0x7FFFFFF0);
    EXPECT_EQ(S(s), "abc");
    String shared(s);
    shared += String::Repeat('x', 3);
    shared.PadRight(0x7FFFFFF0);
    EXPECT_EQ(S(shared), "abcxxx");
    EXPECT_EQ(S(s), "abc");
    String big(0x7FFFFFF0);
    EXPECT_EQ(big.Length(), 0);
    big += "still usable";
    EXPECT_EQ(S(big), "still usable");
}

}  // namespace
