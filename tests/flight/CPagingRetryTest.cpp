// The wait after paging runs that could not read their window.
#include <gtest/gtest.h>

#include <cstdint>

#include "flight/CPagingRetry.h"

TEST(CPagingRetryTest, WaitsDoubleAfterEachFailureUpToTheMostAndEndOnSuccess)
{
    CPagingRetry retry;
    EXPECT_TRUE(retry.Allowed(0));
    // Failures in a row at `now`, and the wait each leaves. The last ticks
    // pass the 32-bit wrap.
    struct Case {
        std::uint32_t now;
        std::uint32_t wait;
    };
    const Case cases[] = {{1000, 1000}, {2000, 2000}, {4000, 4000}, {8000, 8000},
                          {16000, 16000}, {32000, 30000}, {0xFFFFF000u, 30000}};
    int failures = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now);
        retry.Failed(c.now);
        EXPECT_EQ(retry.Failures(), ++failures);
        EXPECT_EQ(retry.WaitLeftMs(c.now), c.wait);
        EXPECT_FALSE(retry.Allowed(c.now + c.wait - 1));
        EXPECT_TRUE(retry.Allowed(c.now + c.wait));
        EXPECT_EQ(retry.WaitLeftMs(c.now + c.wait + 5000), 0u);
    }
    retry.Succeeded();
    EXPECT_EQ(retry.Failures(), 0);
    EXPECT_TRUE(retry.Allowed(0xFFFFF001u));
    retry.Failed(10);
    EXPECT_EQ(retry.WaitLeftMs(10), CPagingRetry::kFirstDelayMs);
}
