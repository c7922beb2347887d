// A background thread runs a fixed number of nice levels below the main
// thread, at most 19, and a thread already lower is left as it is.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <thread>

#include "terrain/ThreadPriority.h"

namespace {

int OwnNice() { return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())); }

} // namespace

TEST(ThreadPriorityTest, LowersANewThreadBelowTheMainOneNeverRaisingIt)
{
    const int base = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::getpid()));
    const struct {
        int before; // nice steps above the main thread the thread starts at
        int steps;
        int expected; // steps above the main thread afterwards (before clamping at 19)
    } cases[] = {
        {0, kBackgroundNice, kBackgroundNice}, {0, 3, 3}, {5, 3, 5}, {12, kBackgroundNice, 12},
        {0, 0, 0},                             {0, -4, 0}, {0, 40, 40},
    };
    for (const auto& c : cases) {
        int after = -100;
        int result = -1;
        std::thread([&] {
            if (c.before > 0)
                ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), std::min(19, base + c.before));
            result = LowerThreadPriority(c.steps);
            after = OwnNice();
            EXPECT_EQ(LowerThreadPriority(c.steps), 0) << "a second call";
            EXPECT_EQ(OwnNice(), after) << "a second call";
        }).join();
        EXPECT_EQ(result, 0) << c.before << " " << c.steps;
        EXPECT_EQ(after, std::min(19, base + c.expected)) << c.before << " " << c.steps;
    }
    EXPECT_EQ(OwnNice(), base) << "the calling thread of the test is untouched";
}
