#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iomanip>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/trace.h"
#include "toolkit_fixture.h"

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(TraceLog, LineFormatIndentationAndTheFoundationHook) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + "apco_trace_test.log";
    Application* app = GetApplication();
    app->LogV(nullptr, 0, "not written");  // neither debug output nor a file: nothing
    app->Init(0, false, path.c_str());
    Component* c = MakeTopLevel();
    app->LogV(c, 0, "hello %d", 5);
    app->LogV(nullptr, 3, "in");
    app->LogV(nullptr, -5, "out");
    app->LogV(nullptr, 0, "flat");
    app->LogV(nullptr, 600, "deep");
    EXPECT_EQ(app->GetIndent(), 500);
    app->LogV(nullptr, -1000, "back");
    EXPECT_EQ(app->GetIndent(), 0);
    TraceLog("from the foundation %s", "too");
    std::thread other([&] { app->LogV(nullptr, 0, "other thread"); });
    other.join();
    app->LogV(nullptr, 0, "after");
    app->Init(0, false, nullptr);
    app->LogV(nullptr, 0, "off again");
    delete c;

    std::vector<std::string> lines = ReadLines(path);
    DeleteFileA(path.c_str());
    ASSERT_EQ(lines.size(), 9u);
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(lines[0], m, std::regex(R"( *(\d+): \[ *(\d+)\]\t< Component:([0-9A-Fa-f]+)>\thello 5)")))
        << lines[0];
    EXPECT_EQ(std::stoul(m[3].str(), nullptr, 16), reinterpret_cast<uintptr_t>(c));
    unsigned first = static_cast<unsigned>(std::stoul(m[1].str()));
    auto text = [&](size_t i) { return lines[i].substr(lines[i].rfind('\t') + 1); };
    EXPECT_EQ(text(1), "   in");
    EXPECT_EQ(text(2), "   out");  // unindented after the line
    EXPECT_EQ(text(3), "flat");
    EXPECT_EQ(text(4), std::string(500, ' ') + "deep");
    EXPECT_EQ(text(5), std::string(500, ' ') + "back");
    EXPECT_EQ(text(6), "from the foundation too");
    EXPECT_NE(lines[1].find("<   Unknown:"), std::string::npos);
    for (size_t i = 1; i < 7; ++i)
        EXPECT_EQ(lines[i].substr(0, 6), (std::ostringstream() << std::setw(4) << first + i << ": ").str());
    // From a second thread on, lines carry the thread id.
    EXPECT_TRUE(std::regex_match(
        lines[7], std::regex(R"( *\d+: \[ *\d+\]\t<   Unknown:[0-9A-Fa-f]+- *[0-9a-f]+>\tother thread)")))
        << lines[7];
    EXPECT_TRUE(
        std::regex_match(lines[8], std::regex(R"( *\d+: \[ *\d+\]\t<   Unknown:[0-9A-Fa-f]+- *[0-9a-f]+>\tafter)")))
        << lines[8];
}

TEST(CommandLine, WordsQuotesAndEmptyWords) {
    String word;
    const char* cursor = "  first \"two words\" \"\"  x\"y z\"w \"open";
    std::vector<std::string> words;
    while (*cursor) {
        cursor = Application::ParseArgument(cursor, &word);
        words.emplace_back(word.CStr());
    }
    EXPECT_EQ(words, (std::vector<std::string>{"first", "two words", "", "xy zw", "open"}));

    Application* app = GetApplication();
    String exe;
    app->GetArgument(&exe, 0);
    EXPECT_NE(std::string(exe.CStr()).find("test_toolkit"), std::string::npos);
    int count = app->GetArgumentCount();
    EXPECT_GE(count, 1);
    String beyond("stale");
    app->GetArgument(&beyond, count + 3);
    EXPECT_EQ(beyond.Length(), 0);
}

}  // namespace
