// Split and merge queues of CLandscape: queue maintenance, the split of a
// triangle with its forced splits, and the merge of a diamond.
#include <algorithm>
#include <cstdio>
#include <limits>

#include "landscape/CLandscape.h"
#include "landscape/TriangleHeap.h"

namespace {

using SplitHeap = TriangleHeap<SplitOrder>;
using MergeHeap = TriangleHeap<MergeOrder>;

// In `n`, the link that points to `from` (examined in the order first,
// second, third) is changed to `to`.
void Relink(RoamTriangle* n, const RoamTriangle* from, RoamTriangle* to,
            RoamTriangle* RoamTriangle::*first, RoamTriangle* RoamTriangle::*second,
            RoamTriangle* RoamTriangle::*third)
{
    if (n->*first == from) {
        n->*first = to;
    } else if (n->*second == from) {
        n->*second = to;
    } else if (n->*third == from) {
        n->*third = to;
    }
}

} // namespace

void CLandscape::AppendToSplitQueue(RoamTriangle* triangle)
{
    if (m_splitCount >= kQueueCapacity) {
        return;
    }
    SplitHeap::Push(m_splitQueue.get(), m_splitKeys.get(), m_splitCount, triangle);
}

void CLandscape::deleteFromQs(RoamTriangle* triangle)
{
    const std::int32_t pos = triangle->splitIndex;
    if (pos < 0 || pos >= m_splitCount || m_splitQueue[pos] != triangle) {
        std::snprintf(m_debugText, sizeof m_debugText,
                      "deleteFromQs: no se encuentra triangulo id:%d para borrar\n", triangle->id);
        std::fputs(m_debugText, stderr);
        return;
    }
    SplitHeap::RemoveAt(m_splitQueue.get(), m_splitKeys.get(), m_splitCount, pos);
}

void CLandscape::RemoveFromMergeQueue(RoamTriangle* triangle)
{
    const std::int32_t pos = triangle->mergeIndex;
    if (pos < 0 || pos >= m_mergeCount || m_mergeQueue[pos] != triangle) {
        return;
    }
    MergeHeap::RemoveAt(m_mergeQueue.get(), m_mergeKeys.get(), m_mergeCount, pos);
}

void CLandscape::SortSplitQueue()
{
    SplitHeap::Build(m_splitQueue.get(), m_splitKeys.get(), m_splitCount);
}

void CLandscape::SortMergeQueue()
{
    MergeHeap::Build(m_mergeQueue.get(), m_mergeKeys.get(), m_mergeCount);
}

bool CLandscape::IsMergeable(const RoamTriangle* t) const
{
    const RoamTriangle* b = t->baseNeighbour;
    if (!t->leftChild || t->leftChild->leftChild || t->rightChild->leftChild) {
        return false;
    }
    if (!b) {
        return true;
    }
    return b->baseNeighbour == t && b->leftChild && !b->leftChild->leftChild &&
           !b->rightChild->leftChild;
}

// A diamond is queued once, through either of its triangles; one already
// queued is re-placed instead, since its merge priority may have changed.
void CLandscape::PushIfMergeable(RoamTriangle* triangle)
{
    if (!triangle || !IsMergeable(triangle)) {
        return;
    }
    RoamTriangle* partner = triangle->baseNeighbour;
    if (triangle->mergeIndex >= 0) {
        MergeHeap::Replace(m_mergeQueue.get(), m_mergeKeys.get(), m_mergeCount, triangle->mergeIndex);
    } else if (partner && partner->mergeIndex >= 0) {
        MergeHeap::Replace(m_mergeQueue.get(), m_mergeKeys.get(), m_mergeCount, partner->mergeIndex);
    } else if (m_mergeCount < kQueueCapacity) {
        MergeHeap::Push(m_mergeQueue.get(), m_mergeKeys.get(), m_mergeCount, triangle);
    }
}

bool CLandscape::SplitTriangle(RoamTriangle* t)
{
    if (FreeRecords() < 2) {
        return false;
    }
    // The children's error-table entries are needed below; start fetching.
    const std::int32_t child = 2 * t->nodeIndex + 1;
    if (child >= 0 && child < m_storedNodeCount) {
        __builtin_prefetch(t->errorTable + child);
    }
    const std::int32_t mx = (t->x0 + t->x1) >> 1;
    const std::int32_t mz = (t->z0 + t->z1) >> 1;
    const std::int32_t mh = Sample(mx, mz);

    RoamTriangle* left = AllocTriangle();
    RoamTriangle* right = AllocTriangle();
    left->parent = t;
    right->parent = t;
    t->leftChild = left;
    t->rightChild = right;

    left->x0 = t->x2, left->h0 = t->h2, left->z0 = t->z2;
    left->x1 = t->x0, left->h1 = t->h0, left->z1 = t->z0;
    left->x2 = mx, left->h2 = mh, left->z2 = mz;
    right->x0 = t->x1, right->h0 = t->h1, right->z0 = t->z1;
    right->x1 = t->x2, right->h1 = t->h2, right->z1 = t->z2;
    right->x2 = mx, right->h2 = mh, right->z2 = mz;
    // The corners keep their morphs; the new vertex starts where the split
    // edge is drawn now. The base neighbour splitting with t computes the
    // same start from the same two shared corners.
    left->morphFrom[0] = t->morphFrom[2], left->morphStart[0] = t->morphStart[2];
    left->morphFrom[1] = t->morphFrom[0], left->morphStart[1] = t->morphStart[0];
    right->morphFrom[0] = t->morphFrom[1], right->morphStart[0] = t->morphStart[1];
    right->morphFrom[1] = t->morphFrom[2], right->morphStart[1] = t->morphStart[2];
    // A leaf still showing the vertex of an earlier merge goes on from there.
    float from = static_cast<float>(mh);
    if (m_geomorph) {
        const float merged = MergedLevel(t, 0, m_morphNow);
        from = merged == merged ? merged : 0.5f * (DrawnLevel(t, 0, m_morphNow) + DrawnLevel(t, 1, m_morphNow));
    }
    // A vertex still sinking in the middle of t's left or right edge goes on
    // in the middle of the base of the child on that edge; t (no longer a
    // leaf) and the children's other edges (records that may have shown a
    // merged vertex in an earlier life) show none.
    MergeMorphOf(left, 0) = MergeMorphOf(t, 2);
    MergeMorphOf(right, 0) = MergeMorphOf(t, 1);
    for (int edge = 0; edge < 3; ++edge) {
        MergeMorphOf(t, edge).from = std::numeric_limits<float>::quiet_NaN();
    }
    for (RoamTriangle* c : {left, right}) {
        MergeMorphOf(c, 1).from = MergeMorphOf(c, 2).from = std::numeric_limits<float>::quiet_NaN();
    }
    left->morphFrom[2] = right->morphFrom[2] = from;
    left->morphStart[2] = right->morphStart[2] = m_morphNow;

    left->leftNeighbour = right;
    right->rightNeighbour = left;

    left->baseNeighbour = t->leftNeighbour;
    if (RoamTriangle* n = t->leftNeighbour) {
        Relink(n, t, left, &RoamTriangle::baseNeighbour, &RoamTriangle::leftNeighbour,
               &RoamTriangle::rightNeighbour);
    }
    right->baseNeighbour = t->rightNeighbour;
    if (RoamTriangle* n = t->rightNeighbour) {
        Relink(n, t, right, &RoamTriangle::baseNeighbour, &RoamTriangle::rightNeighbour,
               &RoamTriangle::leftNeighbour);
    }

    left->errorTable = t->errorTable;
    right->errorTable = t->errorTable;
    left->nodeIndex = 2 * t->nodeIndex + 1;
    right->nodeIndex = 2 * t->nodeIndex + 2;

    RoamTriangle* const children[2] = {left, right};
    ComputePriorities(children, 2);
    ComputeFaceNormal(left);
    ComputeFaceNormal(right);
    return true;
}

void CLandscape::UnqueueParentDiamond(RoamTriangle* t)
{
    RoamTriangle* p = t->parent;
    if (!p || !IsMergeable(p)) {
        return;
    }
    if (p->mergeIndex != -1) {
        RemoveFromMergeQueue(p);
        return;
    }
    RoamTriangle* n = p->baseNeighbour;
    for (int examined = 0; n && examined < 100; ++examined, n = n->baseNeighbour) {
        if (n->mergeIndex != -1) {
            RemoveFromMergeQueue(n);
            return;
        }
    }
}

int CLandscape::RecordsForSplit(const RoamTriangle* t) const
{
    int records = 0;
    // Each coarser base neighbour must be split first; the chain ends at a
    // diamond (4 records) or at the border (2 records).
    for (;;) {
        const RoamTriangle* b = t->baseNeighbour;
        if (!b) {
            return records + 2;
        }
        if (b->baseNeighbour == t) {
            return records + 4;
        }
        records += 4;
        t = b;
    }
}

bool CLandscape::ForceSplit(RoamTriangle* t)
{
    if (RecordsForSplit(t) > FreeRecords()) {
        return false;
    }
    SplitLeaf(t, true);
    return true;
}

// The caller has made sure the pool holds RecordsForSplit(t) records.
void CLandscape::SplitLeaf(RoamTriangle* t, bool queued)
{
    RoamTriangle* b = t->baseNeighbour;
    if (b) {
        if (b->baseNeighbour != t) {
            SplitLeaf(b, true);
            b = t->baseNeighbour;
        }
        UnqueueParentDiamond(t);
        UnqueueParentDiamond(b);
        SplitTriangle(t);
        SplitTriangle(b);
        t->leftChild->rightNeighbour = b->rightChild;
        t->rightChild->leftNeighbour = b->leftChild;
        b->leftChild->rightNeighbour = t->rightChild;
        b->rightChild->leftNeighbour = t->leftChild;
        if (queued) {
            deleteFromQs(t);
        }
        deleteFromQs(b);
        AppendToSplitQueue(t->leftChild);
        AppendToSplitQueue(t->rightChild);
        AppendToSplitQueue(b->leftChild);
        AppendToSplitQueue(b->rightChild);
        const float mp = std::max(t->priority, b->priority);
        t->mergePriority = mp;
        b->mergePriority = mp;
    } else {
        UnqueueParentDiamond(t);
        SplitTriangle(t);
        t->leftChild->rightNeighbour = nullptr;
        t->rightChild->leftNeighbour = nullptr;
        if (queued) {
            deleteFromQs(t);
        }
        AppendToSplitQueue(t->leftChild);
        AppendToSplitQueue(t->rightChild);
        t->mergePriority = t->priority;
    }
    PushIfMergeable(t);
}

float CLandscape::SplitTop()
{
    RoamTriangle* t = m_splitQueue[0];
    const float priority = t->priority;
    // A finest triangle has no midpoint to split at; a split the pool cannot
    // complete is not started.
    if (t->nodeIndex >= m_internalNodeCount || RecordsForSplit(t) > FreeRecords()) {
        m_splitRefused = true;
        return priority;
    }
    SplitHeap::RemoveAt(m_splitQueue.get(), m_splitKeys.get(), m_splitCount, 0);
    SplitLeaf(t, false);
    return priority;
}

namespace {

// T's outer links come back from its children.
void RelinkToParent(RoamTriangle* t)
{
    RoamTriangle* lc = t->leftChild;
    RoamTriangle* rc = t->rightChild;
    t->leftNeighbour = lc->baseNeighbour;
    if (RoamTriangle* n = t->leftNeighbour) {
        Relink(n, lc, t, &RoamTriangle::baseNeighbour, &RoamTriangle::leftNeighbour,
               &RoamTriangle::rightNeighbour);
    }
    t->rightNeighbour = rc->baseNeighbour;
    if (RoamTriangle* n = t->rightNeighbour) {
        Relink(n, rc, t, &RoamTriangle::baseNeighbour, &RoamTriangle::rightNeighbour,
               &RoamTriangle::leftNeighbour);
    }
}

} // namespace

void CLandscape::MergeTop()
{
    if (m_mergeCount == 0) {
        m_minMergePriority = m_maxSplitPriority;
        return;
    }
    RoamTriangle* t = m_mergeQueue[0];
    MergeHeap::RemoveAt(m_mergeQueue.get(), m_mergeKeys.get(), m_mergeCount, 0);
    m_minMergePriority = t->mergePriority;
    if (!IsMergeable(t)) {
        std::puts("Diamond to merge does not appear to be a valid diamond");
        return;
    }
    RoamTriangle* b = t->baseNeighbour;
    RelinkToParent(t);
    if (b) {
        RelinkToParent(b);
    }
    for (RoamTriangle* half : {t, b}) {
        if (!half) {
            continue;
        }
        // Under geomorphing the removed vertex (both children's apex) stays
        // drawn for a while, moving down to the middle of the base; vertices
        // still sinking in the middle of the children's bases keep sinking
        // in the middle of half's left and right edges.
        MergeMorphOf(half, 0) = {m_geomorph ? DrawnLevel(half->leftChild, 2, m_morphNow)
                                            : std::numeric_limits<float>::quiet_NaN(),
                                 m_morphNow};
        MergeMorphOf(half, 2) = MergeMorphOf(half->leftChild, 0);
        MergeMorphOf(half, 1) = MergeMorphOf(half->rightChild, 0);
        // Children first leave the queues, then the pool, left before right.
        RoamTriangle* children[2] = {half->leftChild, half->rightChild};
        for (RoamTriangle* c : children) {
            deleteFromQs(c);
            RemoveFromMergeQueue(c);
        }
        for (RoamTriangle* c : children) {
            FreeTriangle(c);
        }
        half->leftChild = nullptr;
        half->rightChild = nullptr;
        AppendToSplitQueue(half);
    }
    // The merge may have made the parents' diamonds mergeable.
    for (RoamTriangle* half : {t, b}) {
        RoamTriangle* p = half ? half->parent : nullptr;
        if (!p || !IsMergeable(p)) {
            continue;
        }
        if (RoamTriangle* q = p->baseNeighbour) {
            RoamTriangle* const halves[2] = {p, q};
            ComputePriorities(halves, 2);
            const float mp = std::max(p->priority, q->priority);
            p->mergePriority = mp;
            q->mergePriority = mp;
        } else {
            ComputePriority(p);
            p->mergePriority = p->priority;
        }
        PushIfMergeable(p);
    }
}
