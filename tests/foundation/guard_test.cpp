#include "foundation/guard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "foundation/trace.h"

namespace {
std::string g_line;
}

TEST(Guarded, AnEscapingExceptionBecomesTheFailureValueAndOneTraceLine) {
    SetTraceSink([](const char* line) { g_line = line; });
    EXPECT_EQ(7, Guarded("Entry", -1, [] { return 7; }));
    EXPECT_EQ(-1, Guarded("Entry", -1, []() -> int { throw std::runtime_error("boom"); }));
    EXPECT_EQ("Entry: exception caught (boom)", g_line);
    Guarded("Callback", [] { throw 3; });
    EXPECT_EQ("Callback: exception caught (unknown)", g_line);
    EXPECT_EQ(5, GuardedOr(
                     "Proc", []() -> int { throw std::bad_alloc(); }, [] { return 5; }));
    EXPECT_NE(std::string::npos, g_line.find("Proc: exception caught"));
    SetTraceSink(nullptr);
}
