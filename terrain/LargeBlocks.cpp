#include "terrain/LargeBlocks.h"

#include <malloc.h>

#include <mutex>

void MapLargeBlocksAlone()
{
    static std::once_flag once;
    // A threshold set once stays fixed: malloc no longer moves it.
    std::call_once(once, [] { ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kLargeBlockBytes)); });
}
