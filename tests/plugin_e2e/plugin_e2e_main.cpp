// The end-to-end program's main: every test fails when the process saw an access violation
// while it ran, even one that Wine swallowed inside a window procedure or a callback (the
// stand-in host counts them with a vectored handler).
#include <gtest/gtest.h>

#include "testbed/host/vkt_host.h"

namespace {

class AccessViolationCheck : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { m_before = testbed::VktHost::AccessViolations(); }
    // Runs before the result printer's OnTestEnd (end events go to listeners in reverse), so
    // the failure belongs to the test that just ran.
    void OnTestEnd(const testing::TestInfo&) override {
        const long seen = testbed::VktHost::AccessViolations() - m_before;
        EXPECT_EQ(seen, 0) << "access violations in the process during this test:\n"
                           << testbed::VktHost::AccessViolationReport();
    }
    long m_before = 0;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new AccessViolationCheck);
    return RUN_ALL_TESTS();
}
