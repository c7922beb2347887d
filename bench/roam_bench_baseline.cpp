#include "bench/roam_bench_baseline.h"

#include <algorithm>
#include <cstdlib>

#include "landscape/CLandscape.h"
#include "terrain/TickCount.h"

namespace {

int ByPriorityDescending(const void* a, const void* b)
{
    const float pa = (*static_cast<RoamTriangle* const*>(a))->priority;
    const float pb = (*static_cast<RoamTriangle* const*>(b))->priority;
    return pa > pb ? -1 : (pa < pb ? 1 : 0);
}

int ByMergePriorityAscending(const void* a, const void* b)
{
    const float pa = (*static_cast<RoamTriangle* const*>(a))->mergePriority;
    const float pb = (*static_cast<RoamTriangle* const*>(b))->mergePriority;
    return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

void SortBoth(CLandscape& l)
{
    if (l.m_splitCount >= 2) {
        std::qsort(l.m_splitQueue.get(), static_cast<std::size_t>(l.m_splitCount),
                   sizeof(RoamTriangle*), ByPriorityDescending);
        // Rewrites every position (and the landscape's copy of the keys);
        // a sorted array is already in heap order, so nothing moves.
        l.SortSplitQueue();
    }
    if (l.m_mergeCount >= 2) {
        std::qsort(l.m_mergeQueue.get(), static_cast<std::size_t>(l.m_mergeCount),
                   sizeof(RoamTriangle*), ByMergePriorityAscending);
        l.SortMergeQueue();
    }
}

} // namespace

int BaselineUpdate(CLandscape& l)
{
    if (!l.m_initialised) {
        return -1;
    }
    const std::uint32_t t0 = TickCount();
    l.ExtractFrustum();
    l.ReadTransforms();
    RoamTriangle* r = nullptr;
    if (l.m_started) {
        l.Reprioritise();
        SortBoth(l);
        r = l.m_splitQueue[0];
        l.m_maxSplitPriority = r->priority;
        l.m_minMergePriority = l.m_mergeCount > 0 ? l.m_mergeQueue[0]->mergePriority : r->priority;
    } else {
        l.m_splitCount = 0;
        l.m_poolUsed = 0;
        l.m_mergeCount = 0;
        RoamTriangle* r0 = &l.m_roots[0];
        RoamTriangle* r1 = &l.m_roots[1];
        l.ComputePriority(r0);
        l.ComputeFaceNormal(r0);
        l.ComputePriority(r1);
        l.ComputeFaceNormal(r1);
        l.AppendToSplitQueue(r0);
        l.AppendToSplitQueue(r1);
        r0->mergePriority = std::max(r0->priority, r1->priority);
        l.PushIfMergeable(r0);
        SortBoth(l);
        r = l.m_splitQueue[0];
        l.m_maxSplitPriority = r->priority;
        l.m_minMergePriority = r->priority;
        l.m_started = true;
    }

    l.m_splitSteps = 0;
    l.m_mergeSteps = 0;
    l.m_hitBudget = false;
    l.m_splitRefused = false;
    bool keepGoing = true;
    const std::uint32_t tLoop = TickCount();
    for (;;) {
        if (!keepGoing && !(l.m_minMergePriority < l.m_maxSplitPriority)) {
            break;
        }
        bool merge = false;
        if (l.m_splitCount > CLandscape::kMaxLeaves || l.m_splitRefused) {
            keepGoing = false;
            merge = true;
        } else if (l.m_maxSplitPriority >= l.m_minError) {
            l.m_maxSplitPriority = l.SplitTop();
            ++l.m_splitSteps;
            SortBoth(l);
            if (l.m_splitCount <= CLandscape::kMaxLeaves && l.m_maxSplitPriority <= l.m_minError) {
                keepGoing = false;
            }
        } else {
            if (l.m_minError > r->priority) {
                keepGoing = false;
            }
            merge = true;
        }
        if (merge) {
            l.MergeTop();
            ++l.m_mergeSteps;
            SortBoth(l);
        }
        if (TickCount() - tLoop >= l.m_maxRenderTime) {
            l.m_hitBudget = keepGoing || l.m_minMergePriority < l.m_maxSplitPriority;
            break;
        }
    }
    l.m_roamTime = static_cast<std::int32_t>(TickCount() - t0);
    return l.WriteMesh();
}
