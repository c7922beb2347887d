// A background thread runs `steps` nice levels below the main thread (at
// most 19); a thread already lower, or a second call, is left as it is.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <thread>

#include "terrain/ThreadPriority.h"

TEST(ThreadPriorityTest, LowersANewThreadBelowTheMainOneNeverRaisingIt)
{
    const auto nice = [](pid_t id) { return ::getpriority(PRIO_PROCESS, static_cast<id_t>(id)); };
    const int base = nice(::getpid());
    const struct {
        int before, steps, expected; // levels above the main thread
    } cases[] = {{0, kBackgroundNice, kBackgroundNice}, {0, 3, 3}, {5, 3, 5}, {0, -4, 0}, {0, 40, 40}};
    for (const auto& c : cases) {
        int first = -1, second = -1, after = -100, again = -100;
        std::thread([&] {
            ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), std::min(19, base + c.before));
            first = LowerThreadPriority(c.steps);
            after = nice(::gettid());
            second = LowerThreadPriority(c.steps);
            again = nice(::gettid());
        }).join();
        EXPECT_TRUE(first == 0 && second == 0 && again == after) << c.before << " " << c.steps;
        EXPECT_EQ(after, std::min(19, base + c.expected)) << c.before << " " << c.steps;
    }
    EXPECT_EQ(nice(::gettid()), base) << "the test's own thread is untouched";
}
