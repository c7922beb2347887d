#pragma once
#include <cstdint>

// A node of the landscape's binary triangle tree. Corners are grid points of
// the height window: x = column, h = sample (grey level, or 16-bit height
// code), z = row. The base
// edge runs from corner 0 to corner 1; corner 2 is the apex.
//
// Children of a triangle T with base midpoint M: the left child has corners
// (T.corner 2, T.corner 0, M), the right child (T.corner 1, T.corner 2, M).
// Neighbour links are symmetric; a triangle has either both children or none.
//
// Layout: every frame walks all leaves at random addresses, so the fields
// are grouped by use into 64-byte lines: the first line holds what a
// priority and the split queue need, the second the links and face normal
// that the normal averaging follows, the third the averaged corner normals
// and the merge queue position.
struct alignas(64) RoamTriangle {
    // --- line 0
    std::int32_t x0 = 0, h0 = 0, z0 = 0; // corner 0: first end of the base edge
    std::int32_t x1 = 0, h1 = 0, z1 = 0; // corner 1: second end of the base edge
    std::int32_t x2 = 0, h2 = 0, z2 = 0; // corner 2: the apex
    std::int32_t id = 0;                 // 0 and 1 for the roots, k for pool record k
    // Index in the root's error table: root 0, children of node i at 2i+1 and
    // 2i+2. Nodes at or above the table size are finest-level triangles.
    std::int32_t nodeIndex = -1;
    float priority = 0.0f;      // split priority; 0 when invisible or unsplittable
    float mergePriority = 0.0f; // larger priority of this triangle and its base neighbour
    std::int32_t splitIndex = -1; // position in the split queue, -1 when not in it
    const float* errorTable = nullptr;

    // --- line 1
    RoamTriangle* parent = nullptr;
    RoamTriangle* baseNeighbour = nullptr;  // across edge 0-1; null on the border
    RoamTriangle* leftNeighbour = nullptr;  // across edge 2-0
    RoamTriangle* rightNeighbour = nullptr; // across edge 1-2
    RoamTriangle* leftChild = nullptr;
    RoamTriangle* rightChild = nullptr;
    float faceNormal[3] = {0, 0, 0}; // unit normal of the triangle
    // Frustum class found by the last priority computation: (landscape
    // frame << 2) | inside << 1 | visible. It holds until the frustum
    // changes at the next Update, so the mesh output need not test again.
    std::uint32_t visibleStamp = 0;

    // --- line 2: averaged corner normals, written while the mesh is output
    float normal0[3] = {0, 0, 0};
    float normal1[3] = {0, 0, 0};
    float normal2[3] = {0, 0, 0};
    std::int32_t mergeIndex = -1; // position in the merge queue, -1 when not in it
    // Geomorph of each corner (CGeomorph): the level it is drawn from and
    // the tick its morph began. A corner shared by several triangles has the
    // same values in each; from == its own level means no morph.
    float morphFrom[3] = {0, 0, 0};
    std::uint32_t morphStart[3] = {0, 0, 0};
};
static_assert(sizeof(RoamTriangle) == 192, "three cache lines");
