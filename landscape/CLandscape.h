#pragma once
// The adaptive ROAM mesh over one height window: a binary triangle tree under
// two roots, a pool of triangle records, a split queue of leaves and a merge
// queue of mergeable diamonds, two error tables and its own vertex buffer.
//
// Use: construct; set m_originX/Y/Z, m_device, m_texture, m_minError and
// m_maxRenderTime; SetHeightWindow; Initialise; Update once per frame;
// Destroy. The operations below Update are public so that tests can drive the
// tree step by step.
//
// Threads: SetHeightWindow and Initialise run on the thread that builds the
// landscape, before it is published. From then on Update and everything it
// calls run on the render thread, with the owner's landscape lock held; the
// owner writes m_minError / m_maxRenderTime and reads the statistics under
// the same lock. The landscape has no lock of its own.
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "landscape/CLandscapeWorker.h"
#include "landscape/LandscapeVertex.h"
#include "landscape/RoamTriangle.h"
#include "render/IDevice.h"

class CLandscape {
public:
    static constexpr int kQueueCapacity = 1000000;  // entries of each queue
    static constexpr int kPoolSize = 100000;        // triangle records in the pool
    static constexpr int kMaxLeaves = 1000000;      // above this no more splits in a frame
    static constexpr std::size_t kVertexBufferBytes = 96000000; // 1,000,000 triangles

    CLandscape();
    ~CLandscape();
    CLandscape(const CLandscape&) = delete;
    CLandscape& operator=(const CLandscape&) = delete;

    // Copies `rows` rows of `columns` samples (row-major). 0, or -1 when the
    // window is null, smaller than 2 x 2 or too large for the tree's indices;
    // then the landscape holds no window. A new window makes the landscape
    // uninitialised until the next Initialise.
    int SetHeightWindow(std::int32_t rows, const std::int32_t* heights, std::int32_t columns);
    // The same, taking `heights` (rows x columns samples) over instead of
    // copying it: a paged window is not held twice. On -1 it is freed.
    int TakeHeightWindow(std::int32_t rows, std::unique_ptr<std::int32_t[]> heights, std::int32_t columns);
    // Builds roots, error tables, queues, pool and vertex buffer. 0, or -1
    // when there is no window or no device or the vertex buffer cannot be
    // created (then Update returns -1 every frame).
    int Initialise();
    // Frees everything the landscape owns, releases the vertex buffer and the
    // page texture. Leaves m_device alone. Safe to call more than once.
    void Destroy();
    // One frame: adapts the mesh within m_maxRenderTime and draws it. The
    // camera's view and projection must already be set on the device. 0, or
    // -1 when not initialised or the vertex buffer cannot be locked.
    int Update();

    // --- Pool (the free table is a stack of free records)
    void CreatePool();
    RoamTriangle* AllocTriangle(); // null when the pool is exhausted
    void FreeTriangle(RoamTriangle* triangle);
    int FreeRecords() const { return kPoolSize - m_poolUsed; }

    // --- Error metric and culling
    void SetupRoots();
    void BuildErrorTables();
    void ExtractFrustum();
    void ReadTransforms();
    bool PointInFrustum(float x, float y, float z) const;
    bool IsVisible(const RoamTriangle* triangle) const;
    // Where a triangle lies against the current frustum: kVisible unless it
    // is culled (ids below 2 are always visible), kInside when every corner
    // is at least kInsideMargin inside every plane, so that no part of it
    // needs clipping when drawn.
    static constexpr std::uint32_t kVisible = 1u;
    static constexpr std::uint32_t kInside = 2u;
    static constexpr float kInsideMargin = 1.0f; // world units
    std::uint32_t Classify(const RoamTriangle* triangle) const;
    // Classify, taken from the triangle when its priority was computed
    // against the current frustum.
    std::uint32_t ClassifyNow(const RoamTriangle* triangle) const
    {
        return (triangle->visibleStamp >> 2) == m_frame ? (triangle->visibleStamp & 3u) : Classify(triangle);
    }
    bool IsVisibleNow(const RoamTriangle* triangle) const { return (ClassifyNow(triangle) & kVisible) != 0; }
    // Whether, from the camera of the current transforms, every surface
    // point that some pixel could show faces the camera, so that drawing the
    // back faces too cannot change the picture (see CLandscapeMesh.cpp).
    bool BackFacesHidden() const;
    // The greatest corner level of the leaves whose bounding boxes meet
    // columns [x0, x1] and rows [z0, z1].
    std::int32_t HighestLeafCorner(float x0, float z0, float x1, float z1) const;
    void ComputePriority(RoamTriangle* triangle) const;
    // ComputePriority for `count` (1 to 4) triangles at once, with the same
    // results bit for bit.
    void ComputePriorities(RoamTriangle* const* triangles, int count) const;
    float ProjectedError(const RoamTriangle* triangle) const;

    // --- Queues. The split queue is a binary max-heap on priority (entry 0
    // is the leaf to split next), the merge queue a binary min-heap on
    // mergePriority (entry 0 is the diamond to merge next); splitIndex and
    // mergeIndex hold each entry's position.
    void AppendToSplitQueue(RoamTriangle* triangle);
    void deleteFromQs(RoamTriangle* triangle);
    void RemoveFromMergeQueue(RoamTriangle* triangle);
    // Restore heap order after priorities changed, in O(n).
    void SortSplitQueue();
    void SortMergeQueue();
    bool IsMergeable(const RoamTriangle* triangle) const;
    void PushIfMergeable(RoamTriangle* triangle);

    // --- Split and merge
    // Creates the two children of `triangle`; false (nothing changed) when
    // the pool has fewer than two free records. Leaves the queues alone.
    bool SplitTriangle(RoamTriangle* triangle);
    void UnqueueParentDiamond(RoamTriangle* triangle);
    // Splits leaf `triangle` and, first, whatever neighbours must be split so
    // that no T-junction appears. Returns false (and changes nothing) when
    // the pool lacks the records the whole chain of splits needs.
    bool ForceSplit(RoamTriangle* triangle);
    // Splits the leaf at the head of the split queue; returns its priority.
    // A leaf that is finest or for which the pool lacks records is not split:
    // it stays queued and m_splitRefused is set for the rest of the frame.
    float SplitTop();
    void MergeTop();
    // New priorities for every leaf and both halves of every queued
    // diamond; also writes the queues' key copies and positions, ready for
    // heap order to be restored. Shares the work with the helper thread.
    void Reprioritise();
    // Pool records that splitting `triangle` (with its forced splits) takes.
    int RecordsForSplit(const RoamTriangle* triangle) const;

    // --- Geomorphing (enhanced look)
    // The level corner k (0, 1, 2) of `triangle` is drawn at, at tick `now`.
    float DrawnLevel(const RoamTriangle* triangle, int k, std::uint32_t now) const;
    // A leaf that a merge made keeps the vertex the merge removed (the
    // middle of its base) drawn for CGeomorph::kMilliseconds, moving from
    // where it was drawn at the merge to the middle of the base. Edges are
    // numbered 0 (base, corners 0-1), 1 (right, 1-2) and 2 (left, 2-0): a
    // vertex still sinking in the middle of a child's base is kept on the
    // matching edge of the parent when the parent merges, with the same
    // morph, so that the leaves on both sides of that edge draw it at one
    // height. The level of the vertex in the middle of `edge` at `now`, or
    // NaN once it is gone (or never was).
    float MergedLevel(const RoamTriangle* triangle, int edge, std::uint32_t now) const;

    // --- Mesh output
    void ComputeFaceNormal(RoamTriangle* triangle) const;
    void ComputeVertexNormals(RoamTriangle* triangle) const;
    int WriteMesh();

    // Sample at (column, row) of the window.
    std::int32_t Sample(std::int32_t column, std::int32_t row) const
    {
        return m_heights[static_cast<std::size_t>(row) * static_cast<std::size_t>(m_columns) +
                         static_cast<std::size_t>(column)];
    }

    // Error of internal node `triangle` (nodeIndex below m_internalNodeCount)
    // in window sample units, as ComputeNodeError found it. Only nodes with
    // an internal child are in the tables (the first m_storedNodeCount); the
    // others, whose children are both finest-level triangles, have their
    // base midpoint's deviation alone, worked out here the same way. That
    // halves the tables, the largest part of a landscape's memory.
    float NodeError(const RoamTriangle* triangle) const
    {
        if (triangle->nodeIndex < m_storedNodeCount)
            return triangle->errorTable[triangle->nodeIndex];
        const std::int32_t mh = Sample((triangle->x0 + triangle->x1) >> 1, (triangle->z0 + triangle->z1) >> 1);
        return static_cast<float>(std::fabs(static_cast<double>(triangle->h0 + triangle->h1) * 0.5 - mh));
    }

    // --- State, in the order the tree and the owner use it
    IVertexBuffer* m_vertexBuffer = nullptr; // owned
    D3DXMATRIX m_projection{1.0f};
    D3DXMATRIX m_view{1.0f}; // the only copy that enters a computation
    D3DXMATRIX m_world{1.0f};
    D3DVIEWPORT9 m_viewport;
    float m_minMergePriority = 0.0f;
    float m_maxSplitPriority = 0.0f;
    bool m_started = false;
    float m_minError = 0.05f;             // minimum distortion error
    std::uint32_t m_maxRenderTime = 1000; // split/merge budget, milliseconds
    bool m_initialised = false;
    std::unique_ptr<std::int32_t[]> m_heights;
    std::int32_t m_columns = 0;
    std::int32_t m_rows = 0;
    // World units per window sample: 2.5 per grey level for windows of the
    // classic heightmap; the 16-bit heightmap's own scale for windows of its
    // codes (0..65535), set by the owner before Initialise. Samples of either
    // kind stay exact in the float arithmetic of the mesh and the metric.
    float m_heightScale = 2.5f;
    // Leave back faces to the device's culling while they cannot show
    // (BackFacesHidden); false draws every face as the classic device did.
    bool m_cullHiddenFaces = true;
    std::int32_t m_leafCount = 0;
    std::int32_t m_trianglesRendered = 0;
    RoamTriangle m_roots[2];
    std::int32_t m_internalNodeCount = 0;
    std::int32_t m_storedNodeCount = 0; // error-table entries of each root: NodeError
    std::unique_ptr<RoamTriangle*[]> m_splitQueue;
    std::int32_t m_splitCount = 0;
    std::unique_ptr<RoamTriangle*[]> m_mergeQueue;
    std::int32_t m_mergeCount = 0;
    std::unique_ptr<RoamTriangle[]> m_pool;
    std::unique_ptr<RoamTriangle*[]> m_freeTable;
    std::int32_t m_poolUsed = 0;
    char m_debugText[500] = {};
    float m_frustum[6][4] = {}; // near, far, left, right, top, bottom; normalised
    std::int32_t m_roamTime = 0; // ms from the start of Update to the end of the loop
    std::int32_t m_drawTime = 0; // ms spent writing and drawing the mesh
    float m_originX = 0.0f;      // world x of window column 0
    float m_originY = 0.0f;      // kept for the owner; not used here
    float m_originZ = 0.0f;      // world z of window row 0
    IDevice* m_device = nullptr; // not owned
    ITexture* m_texture = nullptr; // page texture or null; owned once set
    // The enhanced look's light map of the window (flight/LightMapTexture.h)
    // or null; owned once set. Bound to texture stage 1 under that look.
    ITexture* m_lightMap = nullptr;

    // --- Statistics of the last Update, beside the timings above
    std::int32_t m_splitSteps = 0; // split steps of the loop (refused ones included)
    std::int32_t m_mergeSteps = 0;
    bool m_hitBudget = false;      // the loop ended on m_maxRenderTime
    bool m_splitRefused = false;   // a split was refused in this frame
    // Share the per-frame passes with a helper thread of this landscape,
    // started by the first Update (so on the render thread, at its
    // priority). Read by Update; the mesh and the statistics are the same
    // either way.
    bool m_useWorker = true;
    // Counts Updates, 1 to 2^31 - 1 and round again; stamps the visibility a
    // priority computation found, which holds until the next Update.
    std::uint32_t m_frame = 1;
    // Draw split vertices morphing into place (CGeomorph). Update sets it
    // from the device's look, and only once the mesh has settled; splits
    // made while it is off start no morph.
    bool m_geomorph = false;
    // An Update has ended its refinement within the budget since Initialise.
    // Until then the mesh is still being built up from the two roots, which
    // has no earlier picture to morph from: morphing those splits would draw
    // the ground near the camera rising from the plane of the window's
    // corners for the first few hundred milliseconds, far below the eye, the
    // sky showing through above it.
    bool m_settled = false;
    // The morph clock at the current Update: morphs started by its splits
    // and merges begin here and its mesh is drawn at it. It follows the tick
    // counter, by at most CGeomorph::kMilliseconds / kMinFrames per Update.
    std::uint32_t m_morphNow = 0;
    std::uint32_t m_morphTick = 0; // the tick counter at the last Update
    // Per pool record, then the two roots, three edges each (numbered as for
    // MergedLevel): the level the vertex a merge removed in the middle of
    // that edge was drawn at then (NaN: none) and the merge's tick.
    struct MergeMorph {
        float from;
        std::uint32_t start;
    };
    std::unique_ptr<MergeMorph[]> m_mergeMorphs;
    MergeMorph& MergeMorphOf(const RoamTriangle* t, int edge) const
    {
        const std::size_t index = t == &m_roots[0]   ? kPoolSize
                                  : t == &m_roots[1] ? kPoolSize + 1
                                                     : static_cast<std::size_t>(t - m_pool.get());
        return m_mergeMorphs[3 * index + static_cast<std::size_t>(edge)];
    }

private:
    // Entries per chunk of the parallel passes: small enough for both
    // threads to finish together, large enough to keep the prefetch
    // pipelines full.
    static constexpr std::int32_t kLeafChunk = 2048;
    static constexpr std::int32_t kDiamondChunk = 1024;
    static constexpr std::int32_t kMeshChunk = 1024;

    std::unique_ptr<float[]> m_errorTables[2];
    // Keys of the queue entries by position (priority, merge priority).
    std::unique_ptr<float[]> m_splitKeys;
    std::unique_ptr<float[]> m_mergeKeys;
    // Split step shared by ForceSplit and SplitTop; `triangle` is already out
    // of the split queue when `queued` is false.
    void SplitLeaf(RoamTriangle* triangle, bool queued);
    float ComputeNodeError(std::int32_t node, float* table, const std::int32_t a[3],
                           const std::int32_t b[3], const std::int32_t p[3]);
    void FrameLoop();
    // Priorities of split-queue entries [begin, end), with their key copies.
    void ReprioritiseLeaves(std::int32_t begin, std::int32_t end);
    // Priorities of the diamonds of merge-queue entries [begin, end).
    void ReprioritiseDiamonds(std::int32_t begin, std::int32_t end);
    // Writes the visible leaves of split-queue positions [begin, end), at most
    // `limit` triangles: those wholly inside the frustum forward from out[0]
    // (the count is returned), the others backward from the last of the
    // `limit` triangle slots (their count goes to `edgeCount`).
    std::size_t WriteLeaves(std::int32_t begin, std::int32_t end, void* out, std::size_t limit,
                            std::size_t& edgeCount) const;
    // Moves the chunked output of WriteMesh (`chunks` chunks over `leaves`
    // queue positions) into one run, inside triangles first; returns the
    // triangle count.
    // `slots` triangle slots in all, `stride` per chunk.
    std::size_t CloseMeshGaps(LandscapeVertex* out, std::int32_t chunks, std::size_t slots, std::size_t stride);

    CLandscapeWorker m_worker;
    // Triangles each mesh-output chunk wrote, wholly inside the frustum and
    // not.
    struct MeshChunk {
        std::size_t inside;
        std::size_t edges;
    };
    std::unique_ptr<MeshChunk[]> m_chunkTriangles;
    // The chunks' edge triangles while the inside runs are moved together.
    std::vector<LandscapeVertex> m_edgeScratch;
};
