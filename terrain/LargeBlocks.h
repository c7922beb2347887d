#pragma once
// Paging allocates and frees blocks of tens of megabytes on several threads
// (window cuts, height copies, colours, texture levels, light map planes).
// glibc's malloc raises its mmap threshold after each such block is freed
// (up to 32 MiB), so that later blocks of 16 MiB and so on come from the
// arenas of the threads that made them, and stay resident there, scattered,
// after they are freed: the process grows by hundreds of megabytes over a
// flight. Blocks of at least kLargeBlockBytes are mapped on their own
// instead, and go back to the system the moment they are freed.

#include <cstddef>

constexpr std::size_t kLargeBlockBytes = std::size_t(4) << 20;

// From the first call on, for the whole process: malloc maps every block of
// kLargeBlockBytes or more on its own. Later calls do nothing. Any thread.
void MapLargeBlocksAlone();
