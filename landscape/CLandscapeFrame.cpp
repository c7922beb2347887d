// The per-frame adaptation of CLandscape: reprioritisation and the loop that
// splits the most distorted leaves and merges the least distorted diamonds.
#include <algorithm>

#include "landscape/CLandscape.h"
#include "landscape/TickCount.h"

namespace {

// Records and error-table entries lie at random addresses: each is fetched
// a few iterations before its priority is computed, the record first and
// then, once the record has arrived, its table entry.
constexpr std::int32_t kFetchRecord = 32;
constexpr std::int32_t kFetchTable = 16;

inline void FetchTableEntry(const RoamTriangle* t, std::int32_t tableSize)
{
    if (t && t->nodeIndex >= 0 && t->nodeIndex < tableSize) {
        __builtin_prefetch(t->errorTable + t->nodeIndex);
    }
}

} // namespace

void CLandscape::Reprioritise()
{
    const std::int32_t splitCount = m_splitCount;
    const std::int32_t mergeCount = m_mergeCount;
    RoamTriangle* const* split = m_splitQueue.get();
    for (std::int32_t j = 0; j < splitCount; ++j) {
        if (j + kFetchRecord < splitCount) {
            __builtin_prefetch(split[j + kFetchRecord]);
        }
        if (j + kFetchTable < splitCount) {
            FetchTableEntry(split[j + kFetchTable], m_internalNodeCount);
        }
        if (RoamTriangle* t = split[j]) {
            ComputePriority(t);
        }
    }
    RoamTriangle* const* merge = m_mergeQueue.get();
    for (std::int32_t j = 0; j < mergeCount; ++j) {
        if (j + kFetchRecord < mergeCount) {
            __builtin_prefetch(merge[j + kFetchRecord]);
            __builtin_prefetch(&merge[j + kFetchRecord]->baseNeighbour);
        }
        if (j + kFetchTable < mergeCount) {
            const RoamTriangle* a = merge[j + kFetchTable];
            FetchTableEntry(a, m_internalNodeCount);
            if (a->baseNeighbour) {
                __builtin_prefetch(a->baseNeighbour);
            }
        }
        if (j + kFetchTable / 2 < mergeCount) {
            FetchTableEntry(merge[j + kFetchTable / 2]->baseNeighbour, m_internalNodeCount);
        }
        RoamTriangle* t = merge[j];
        if (!t) {
            continue;
        }
        ComputePriority(t);
        if (RoamTriangle* b = t->baseNeighbour) {
            ComputePriority(b);
            const float mp = std::max(t->priority, b->priority);
            t->mergePriority = mp;
            b->mergePriority = mp;
        } else {
            t->mergePriority = t->priority;
        }
    }
}

void CLandscape::FrameLoop()
{
    RoamTriangle* r = nullptr; // the leaf that headed the split queue when the loop began
    if (m_started) {
        Reprioritise();
        SortSplitQueue();
        SortMergeQueue();
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
