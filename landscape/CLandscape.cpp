#include "landscape/CLandscape.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>
#include <thread>

#include "landscape/CGeomorph.h"
#include "landscape/LandscapeVertex.h"
#include "terrain/TickCount.h"

namespace {
// Largest window the tree's node indices can address: the deepest forced
// splits reach indices of about twice the leaf count.
constexpr std::int64_t kMaxLeafCount = std::int64_t(1) << 29;
// Below this many nodes per tree a second thread for the error tables costs
// more than it saves.
constexpr std::size_t kParallelTableNodes = std::size_t(1) << 16;

std::int64_t LeavesOf(std::int32_t rows, std::int32_t columns)
{
    return (2 * std::int64_t(rows) - 2) * (std::int64_t(columns) - 1);
}
} // namespace

CLandscape::CLandscape() = default;

CLandscape::~CLandscape() { Destroy(); }

int CLandscape::SetHeightWindow(std::int32_t rows, const std::int32_t* heights,
                                std::int32_t columns)
{
    std::unique_ptr<std::int32_t[]> copy;
    if (heights && rows >= 2 && columns >= 2 && LeavesOf(rows, columns) <= kMaxLeafCount) {
        const std::size_t count = static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
        copy.reset(new std::int32_t[count]);
        std::copy(heights, heights + count, copy.get());
    }
    return TakeHeightWindow(rows, std::move(copy), columns);
}

int CLandscape::TakeHeightWindow(std::int32_t rows, std::unique_ptr<std::int32_t[]> heights,
                                 std::int32_t columns)
{
    m_heights.reset();
    m_rows = 0;
    m_columns = 0;
    m_initialised = false;
    m_started = false;
    if (!heights || rows < 2 || columns < 2 || LeavesOf(rows, columns) > kMaxLeafCount) {
        return -1;
    }
    m_heights = std::move(heights);
    m_rows = rows;
    m_columns = columns;
    return 0;
}

int CLandscape::Initialise()
{
    m_initialised = false;
    m_started = false;
    if (!m_heights || !m_device) {
        return -1;
    }
    m_leafCount = (2 * m_rows - 2) * (m_columns - 1);
    m_trianglesRendered = 0;
    m_settled = false;
    SetupRoots();
    BuildErrorTables();
    m_splitQueue.reset(new RoamTriangle*[kQueueCapacity]);
    m_mergeQueue.reset(new RoamTriangle*[kQueueCapacity]);
    m_splitKeys.reset(new float[kQueueCapacity]);
    m_mergeKeys.reset(new float[kQueueCapacity]);
    m_chunkTriangles.reset(new MeshChunk[kQueueCapacity / kMeshChunk + 1]);
    m_mergeMorphs.reset(new MergeMorph[3 * (kPoolSize + 2)]);
    std::fill_n(m_mergeMorphs.get(), 3 * (kPoolSize + 2), MergeMorph{std::numeric_limits<float>::quiet_NaN(), 0});
    m_splitCount = 0;
    m_mergeCount = 0;
    CreatePool();
    if (m_vertexBuffer) {
        m_vertexBuffer->Release();
        m_vertexBuffer = nullptr;
    }
    if (m_device->CreateVertexBuffer(kVertexBufferBytes, 0, LANDSCAPE_VERTEX_FVF, D3DPOOL_SYSTEMMEM,
                                     &m_vertexBuffer) != D3D_OK ||
        !m_vertexBuffer) {
        m_vertexBuffer = nullptr;
        return -1;
    }
    // The helper starts at the first Update, on the thread that draws: a
    // thread inherits its maker's priority, and a page built on a paging
    // thread of low priority must not leave the frame's passes waiting on a
    // helper of that priority.
    m_worker.Stop();
    m_initialised = true;
    return 0;
}

void CLandscape::Destroy()
{
    m_worker.Stop();
    m_heights.reset();
    if (m_vertexBuffer) {
        m_vertexBuffer->Release();
        m_vertexBuffer = nullptr;
    }
    if (m_texture) {
        m_texture->Release();
        m_texture = nullptr;
    }
    if (m_lightMap) {
        m_lightMap->Release();
        m_lightMap = nullptr;
    }
    m_splitQueue.reset();
    m_mergeQueue.reset();
    m_splitKeys.reset();
    m_mergeKeys.reset();
    m_chunkTriangles.reset();
    m_mergeMorphs.reset();
    m_edgeScratch = {};
    m_pool.reset();
    m_freeTable.reset();
    m_errorTables[0].reset();
    m_errorTables[1].reset();
    m_roots[0].errorTable = nullptr;
    m_roots[1].errorTable = nullptr;
    m_splitCount = 0;
    m_mergeCount = 0;
    m_poolUsed = 0;
    m_initialised = false;
    m_started = false;
}

void CLandscape::CreatePool()
{
    m_pool.reset(new RoamTriangle[kPoolSize]());
    m_freeTable.reset(new RoamTriangle*[kPoolSize]);
    for (int k = 0; k < kPoolSize; ++k) {
        m_pool[k].id = k;
        m_freeTable[k] = &m_pool[k];
    }
    m_poolUsed = 0;
}

RoamTriangle* CLandscape::AllocTriangle()
{
    if (m_poolUsed >= kPoolSize) {
        return nullptr;
    }
    RoamTriangle* t = m_freeTable[m_poolUsed];
    ++m_poolUsed;
    t->splitIndex = -1;
    t->mergeIndex = -1;
    t->parent = nullptr;
    t->baseNeighbour = nullptr;
    t->leftNeighbour = nullptr;
    t->rightNeighbour = nullptr;
    t->leftChild = nullptr;
    t->rightChild = nullptr;
    t->nodeIndex = -1;
    return t;
}

void CLandscape::FreeTriangle(RoamTriangle* triangle)
{
    if (m_poolUsed <= 0) {
        return;
    }
    m_freeTable[m_poolUsed - 1] = triangle;
    --m_poolUsed;
}

void CLandscape::SetupRoots()
{
    const std::int32_t w = m_columns;
    const std::int32_t h = m_rows;
    RoamTriangle& r0 = m_roots[0];
    RoamTriangle& r1 = m_roots[1];
    r0 = RoamTriangle{};
    r1 = RoamTriangle{};

    r0.id = 0;
    r0.x0 = w - 1, r0.z0 = 0, r0.h0 = Sample(w - 1, 0);
    r0.x1 = 0, r0.z1 = h - 1, r0.h1 = Sample(0, h - 1);
    r0.x2 = 0, r0.z2 = 0, r0.h2 = Sample(0, 0);

    r1.id = 1;
    r1.x0 = 0, r1.z0 = h - 1, r1.h0 = Sample(0, h - 1);
    r1.x1 = w - 1, r1.z1 = 0, r1.h1 = Sample(w - 1, 0);
    r1.x2 = w - 1, r1.z2 = h - 1, r1.h2 = Sample(w - 1, h - 1);
    for (RoamTriangle* root : {&r0, &r1}) {
        root->morphFrom[0] = static_cast<float>(root->h0);
        root->morphFrom[1] = static_cast<float>(root->h1);
        root->morphFrom[2] = static_cast<float>(root->h2);
    }

    r0.baseNeighbour = &r1;
    r1.baseNeighbour = &r0;
}

void CLandscape::BuildErrorTables()
{
    m_internalNodeCount = m_leafCount / 2 - 1;
    const std::size_t n = static_cast<std::size_t>(std::max(m_internalNodeCount, 0));
    // Node i has an internal child when 2i + 1 < n: the first n / 2 nodes.
    m_storedNodeCount = static_cast<std::int32_t>(n / 2);
    const std::size_t stored = static_cast<std::size_t>(m_storedNodeCount);
    // At least one entry so that a table pointer is never null.
    m_errorTables[0].reset(new float[std::max<std::size_t>(stored, 1)]());
    m_errorTables[1].reset(new float[std::max<std::size_t>(stored, 1)]());
    auto build = [this](int k) {
        RoamTriangle& r = m_roots[k];
        r.errorTable = m_errorTables[k].get();
        r.nodeIndex = 0;
        const std::int32_t a[3] = {r.x0, r.h0, r.z0};
        const std::int32_t b[3] = {r.x1, r.h1, r.z1};
        const std::int32_t p[3] = {r.x2, r.h2, r.z2};
        ComputeNodeError(0, m_errorTables[k].get(), a, b, p);
    };
    // The two trees share nothing but the (read-only) heights: the second
    // one is built on a thread of its own meanwhile, when there is one.
    std::thread second;
    if (n > kParallelTableNodes) {
        try {
            second = std::thread(build, 1);
        } catch (const std::system_error&) {
        }
    }
    build(0);
    if (second.joinable()) {
        second.join();
    } else {
        build(1);
    }
}

// Error of node i in window sample units (grey levels or 16-bit codes): its
// base midpoint's deviation from the base edge plus the larger error of its
// children. Corner arrays are (x, h, z); children take the corner orders
// of a split.
float CLandscape::ComputeNodeError(std::int32_t node, float* table, const std::int32_t a[3],
                                   const std::int32_t b[3], const std::int32_t p[3])
{
    if (node >= m_internalNodeCount) {
        return 0.0f;
    }
    std::int32_t m[3];
    m[0] = (a[0] + b[0]) >> 1;
    m[2] = (a[2] + b[2]) >> 1;
    m[1] = Sample(m[0], m[2]);
    const float eL = ComputeNodeError(2 * node + 1, table, p, a, m);
    const float eR = ComputeNodeError(2 * node + 2, table, b, p, m);
    const double own = std::fabs(static_cast<double>(a[1] + b[1]) * 0.5 - m[1]);
    const float e = static_cast<float>(own + static_cast<double>(std::max(eL, eR)));
    if (node < m_storedNodeCount) {
        table[node] = e;
    }
    return e;
}

int CLandscape::Update()
{
    if (!m_initialised) {
        return -1;
    }
    if (m_useWorker) {
        m_worker.Start();
    }
    const std::uint32_t t0 = TickCount();
    m_geomorph = m_settled && m_device != nullptr && m_device->CurrentLook() == Look::Enhanced;
    m_morphNow += std::min<std::uint32_t>(t0 - m_morphTick, CGeomorph::kMilliseconds / CGeomorph::kMinFrames);
    m_morphTick = t0;
    // A new frustum: visibility stamps of earlier frames no longer hold.
    m_frame = m_frame >= 0x3FFFFFFFu ? 1 : m_frame + 1; // fits the frustum-class stamp
    ExtractFrustum();
    ReadTransforms();
    FrameLoop();
    m_settled = m_settled || !m_hitBudget;
    m_roamTime = static_cast<std::int32_t>(TickCount() - t0);
    return WriteMesh();
}
