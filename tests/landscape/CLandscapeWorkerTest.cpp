// The landscape's helper thread: every chunk runs exactly once per Run,
// what the chunks wrote is visible when Run returns, and the worker can be
// stopped, restarted and used without a thread at all.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "landscape/CLandscapeWorker.h"

namespace {

// Runs `chunks` chunks that each add their number plus one to their own
// slot; returns the slots.
std::vector<std::int64_t> RunOnce(CLandscapeWorker& worker, std::int32_t chunks, int rounds)
{
    std::vector<std::int64_t> slots(static_cast<std::size_t>(chunks), 0);
    for (int round = 0; round < rounds; ++round) {
        auto body = [&](std::int32_t c) { slots[static_cast<std::size_t>(c)] += c + 1; };
        worker.ForEach(chunks, body);
    }
    return slots;
}

void ExpectEveryChunkOnce(const std::vector<std::int64_t>& slots, int rounds)
{
    for (std::size_t c = 0; c < slots.size(); ++c) {
        ASSERT_EQ(slots[c], static_cast<std::int64_t>(c + 1) * rounds) << "chunk " << c;
    }
}

} // namespace

TEST(CLandscapeWorker, EveryChunkRunsOncePerRun)
{
    CLandscapeWorker worker;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.Running());
    struct Case {
        std::int32_t chunks;
        int rounds;
    };
    // Short runs many times over stress the hand-over between runs: a
    // helper waking late must not join a run that has already ended.
    for (const Case c : {Case{0, 3}, Case{1, 5}, Case{2, 2000}, Case{3, 2000}, Case{64, 200},
                         Case{5000, 3}}) {
        SCOPED_TRACE(c.chunks);
        const auto slots = RunOnce(worker, c.chunks, c.rounds);
        ExpectEveryChunkOnce(slots, c.rounds);
    }
}

TEST(CLandscapeWorker, RunsOnTheCallerWithoutAThreadAndAfterRestart)
{
    CLandscapeWorker worker;
    EXPECT_FALSE(worker.Running());
    ExpectEveryChunkOnce(RunOnce(worker, 50, 4), 4);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.Start()); // already running: nothing changes
    ExpectEveryChunkOnce(RunOnce(worker, 50, 4), 4);
    worker.Stop();
    worker.Stop();
    EXPECT_FALSE(worker.Running());
    ExpectEveryChunkOnce(RunOnce(worker, 50, 4), 4);
    ASSERT_TRUE(worker.Start());
    ExpectEveryChunkOnce(RunOnce(worker, 50, 4), 4);
}
