// The per-frame adaptation of CLandscape: reprioritisation and the loop that
// splits the most distorted leaves and merges the least distorted diamonds.
#include <algorithm>

#include "landscape/CLandscape.h"
#include "terrain/TickCount.h"
#include "landscape/TriangleHeap.h"

namespace {

using SplitHeap = TriangleHeap<SplitOrder>;
using MergeHeap = TriangleHeap<MergeOrder>;

// Records and error-table entries lie at random addresses: each is fetched
// a few iterations before its priority is computed, the record first and
// then, once the record has arrived, its table entry.
constexpr std::int32_t kFetchRecord = 32;
constexpr std::int32_t kFetchTable = 16;

// The table entry of a stored node, the base midpoint's sample of a node
// whose error is worked out (CLandscape::NodeError).
inline void FetchTableEntry(const RoamTriangle* t, const CLandscape& landscape)
{
    if (!t || t->nodeIndex < 0 || t->nodeIndex >= landscape.m_internalNodeCount) {
        return;
    }
    if (t->nodeIndex < landscape.m_storedNodeCount) {
        __builtin_prefetch(t->errorTable + t->nodeIndex);
    } else {
        const std::size_t column = static_cast<std::size_t>((t->x0 + t->x1) >> 1);
        const std::size_t row = static_cast<std::size_t>((t->z0 + t->z1) >> 1);
        __builtin_prefetch(landscape.m_heights.get() + row * static_cast<std::size_t>(landscape.m_columns) + column);
    }
}

} // namespace

void CLandscape::ReprioritiseLeaves(std::int32_t begin, std::int32_t end)
{
    RoamTriangle* const* split = m_splitQueue.get();
    float* keys = m_splitKeys.get();
    for (std::int32_t j = begin; j < end; j += 4) {
        for (std::int32_t k = j; k < j + 4; ++k) {
            if (k + kFetchRecord < end) {
                __builtin_prefetch(split[k + kFetchRecord]);
            }
            if (k + kFetchTable < end) {
                FetchTableEntry(split[k + kFetchTable], *this);
            }
        }
        const int count = static_cast<int>(std::min<std::int32_t>(4, end - j));
        ComputePriorities(split + j, count);
        for (int k = 0; k < count; ++k) {
            RoamTriangle* t = split[j + k];
            keys[j + k] = t->priority;
            t->splitIndex = j + k;
        }
    }
}

void CLandscape::ReprioritiseDiamonds(std::int32_t begin, std::int32_t end)
{
    RoamTriangle* const* merge = m_mergeQueue.get();
    float* keys = m_mergeKeys.get();
    for (std::int32_t j = begin; j < end; j += 4) {
        for (std::int32_t k = j; k < j + 4; ++k) {
            if (k + kFetchRecord < end) {
                __builtin_prefetch(merge[k + kFetchRecord]);
                __builtin_prefetch(&merge[k + kFetchRecord]->baseNeighbour);
            }
            if (k + kFetchTable < end) {
                const RoamTriangle* a = merge[k + kFetchTable];
                FetchTableEntry(a, *this);
                if (a->baseNeighbour) {
                    __builtin_prefetch(a->baseNeighbour);
                }
            }
            if (k + kFetchTable / 2 < end) {
                FetchTableEntry(merge[k + kFetchTable / 2]->baseNeighbour, *this);
            }
        }
        // Both halves of up to four diamonds, at most eight triangles.
        const int count = static_cast<int>(std::min<std::int32_t>(4, end - j));
        RoamTriangle* halves[8];
        int n = 0;
        for (int k = 0; k < count; ++k) {
            RoamTriangle* t = merge[j + k];
            halves[n++] = t;
            if (t->baseNeighbour) {
                halves[n++] = t->baseNeighbour;
            }
        }
        ComputePriorities(halves, std::min(n, 4));
        if (n > 4) {
            ComputePriorities(halves + 4, n - 4);
        }
        for (int k = 0; k < count; ++k) {
            RoamTriangle* t = merge[j + k];
            if (RoamTriangle* b = t->baseNeighbour) {
                const float mp = std::max(t->priority, b->priority);
                t->mergePriority = mp;
                b->mergePriority = mp;
            } else {
                t->mergePriority = t->priority;
            }
            keys[j + k] = t->mergePriority;
            t->mergeIndex = j + k;
        }
    }
}

// Leaves and queued diamonds are disjoint sets of records, and a diamond is
// queued through one of its halves only, so chunks never share a record.
void CLandscape::Reprioritise()
{
    const std::int32_t splitCount = m_splitCount;
    const std::int32_t mergeCount = m_mergeCount;
    const std::int32_t leafChunks = (splitCount + kLeafChunk - 1) / kLeafChunk;
    const std::int32_t diamondChunks = (mergeCount + kDiamondChunk - 1) / kDiamondChunk;
    auto body = [&](std::int32_t c) {
        if (c < leafChunks) {
            const std::int32_t begin = c * kLeafChunk;
            ReprioritiseLeaves(begin, std::min(begin + kLeafChunk, splitCount));
        } else {
            const std::int32_t begin = (c - leafChunks) * kDiamondChunk;
            ReprioritiseDiamonds(begin, std::min(begin + kDiamondChunk, mergeCount));
        }
    };
    m_worker.ForEach(leafChunks + diamondChunks, body);
}

void CLandscape::FrameLoop()
{
    RoamTriangle* r = nullptr; // the leaf that headed the split queue when the loop began
    if (m_started) {
        Reprioritise();
        // The two heaps share no entry: one is ordered on each thread.
        auto heapify = [this](std::int32_t c) {
            if (c == 0) {
                SplitHeap::Heapify(m_splitQueue.get(), m_splitKeys.get(), m_splitCount);
            } else {
                MergeHeap::Heapify(m_mergeQueue.get(), m_mergeKeys.get(), m_mergeCount);
            }
        };
        m_worker.ForEach(2, heapify);
        r = m_splitQueue[0];
        m_maxSplitPriority = r->priority;
        m_minMergePriority = m_mergeCount > 0 ? m_mergeQueue[0]->mergePriority : r->priority;
    } else {
        m_splitCount = 0;
        m_poolUsed = 0;
        m_mergeCount = 0;
        RoamTriangle* r0 = &m_roots[0];
        RoamTriangle* r1 = &m_roots[1];
        ComputePriority(r0);
        ComputeFaceNormal(r0);
        ComputePriority(r1);
        ComputeFaceNormal(r1);
        AppendToSplitQueue(r0);
        AppendToSplitQueue(r1);
        r0->mergePriority = std::max(r0->priority, r1->priority);
        PushIfMergeable(r0);
        SortSplitQueue();
        SortMergeQueue();
        r = m_splitQueue[0];
        m_maxSplitPriority = r->priority;
        m_minMergePriority = r->priority;
        m_started = true;
    }

    m_splitSteps = 0;
    m_mergeSteps = 0;
    m_hitBudget = false;
    m_splitRefused = false;
    bool keepGoing = true;
    const std::uint32_t tLoop = TickCount();
    for (;;) {
        if (!keepGoing && !(m_minMergePriority < m_maxSplitPriority)) {
            break;
        }
        bool merge = false;
        // A refused split (pool exhausted) ends splitting for this frame
        // just as the leaf limit does.
        if (m_splitCount > kMaxLeaves || m_splitRefused) {
            keepGoing = false;
            merge = true;
        } else if (m_maxSplitPriority >= m_minError) {
            m_maxSplitPriority = SplitTop();
            ++m_splitSteps;
            if (m_splitCount <= kMaxLeaves && m_maxSplitPriority <= m_minError) {
                keepGoing = false;
            }
        } else {
            if (m_minError > r->priority) {
                keepGoing = false;
            }
            merge = true;
        }
        if (merge) {
            MergeTop();
            ++m_mergeSteps;
        }
        if (TickCount() - tLoop >= m_maxRenderTime) {
            // Only a loop that its own rules would have continued counts as
            // stopped by the budget.
            m_hitBudget = keepGoing || m_minMergePriority < m_maxSplitPriority;
            break;
        }
    }
}
