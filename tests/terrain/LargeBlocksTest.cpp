// Once set, a freed large block does not pull the next one into the arena:
// a block of 16 MiB after a freed one of 24 MiB is still mapped on its own
// (malloc's moving threshold would have served it from the heap, where it
// stays resident after it is freed).
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <cstring>

#include "terrain/LargeBlocks.h"

TEST(LargeBlocksTest, BlocksAboveTheLimitAreMappedEvenAfterALargerOneWasFreed)
{
    MapLargeBlocksAlone();
    MapLargeBlocksAlone(); // a second call changes nothing
    void* first = std::malloc(24u << 20);
    ASSERT_NE(first, nullptr);
    std::memset(first, 1, 24u << 20);
    std::free(first);
    const struct {
        std::size_t bytes;
        int mapped; // blocks malloc maps for it
    } cases[] = {{16u << 20, 1}, {kLargeBlockBytes, 1}, {kLargeBlockBytes / 4, 0}};
    for (const auto& c : cases) {
        const std::size_t before = mallinfo2().hblks;
        void* block = std::malloc(c.bytes);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(mallinfo2().hblks - before, static_cast<std::size_t>(c.mapped)) << c.bytes;
        std::free(block);
        EXPECT_EQ(mallinfo2().hblks, before) << c.bytes << ": unmapped when freed";
    }
}
