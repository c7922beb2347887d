#include "terrain/CTerrainModel.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <sys/stat.h>

#include "terrain/CFaultSweeper.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CRandom.h"

namespace {

// Threads that share the fault sweeps: both cores of the target machine;
// the sweeps are bound by memory traffic beyond that.
constexpr int kSweepThreads = 2;

// Grids of at least this size are placed on 2 MB boundaries and offered
// large pages: the sweeps walk 32 rows (32 KB apart) at once, and up the
// whole grid column slice by column slice, where small pages cost an
// address translation every few rows.
constexpr std::size_t kLargePage = std::size_t{2} << 20;

} // namespace

CTerrainModel::CTerrainModel()
    : m_faultIterations(500)
    , m_grid(nullptr)
    , m_gridWidth(0)
    , m_gridHeight(0)
    , m_heightScale16(kClassicHeightScale)
{
}

CTerrainModel::~CTerrainModel()
{
    ReleaseGrid();
}

int CTerrainModel::ExtractWindow(const std::int32_t& x0, const std::int32_t& y0, std::int32_t& width,
    std::int32_t& height, std::int32_t* window) const
{
    if (!m_image.HasPixels() || m_image.Width() <= 0 || m_image.Height() <= 0)
        return -1;
    if (static_cast<std::int64_t>(x0) + width > m_gridWidth)
        width = static_cast<std::int32_t>(std::max<std::int64_t>(static_cast<std::int64_t>(m_gridWidth) - x0, INT32_MIN));
    if (static_cast<std::int64_t>(y0) + height > m_gridHeight)
        height
            = static_cast<std::int32_t>(std::max<std::int64_t>(static_cast<std::int64_t>(m_gridHeight) - y0, INT32_MIN));
    if (width <= 0 || height <= 0 || window == nullptr)
        return 0;

    // Same samples as ReadPixel at every (x0 + i, y0 + k), walked in memory
    // order: coordinates clamp into the image, rows are stored bottom-up.
    const std::int32_t imageWidth = m_image.Width();
    const std::int32_t imageHeight = m_image.Height();
    if (HasHeights16()) {
        for (std::int32_t k = 0; k < height; ++k) {
            const std::int64_t y = std::clamp<std::int64_t>(static_cast<std::int64_t>(y0) + k, 0, imageHeight - 1);
            const std::uint16_t* row = m_heights16.data() + static_cast<std::size_t>(y) * imageWidth;
            std::int32_t* out = window + static_cast<std::size_t>(k) * static_cast<std::size_t>(width);
            for (std::int32_t i = 0; i < width; ++i)
                out[i] = row[std::clamp<std::int64_t>(static_cast<std::int64_t>(x0) + i, 0, imageWidth - 1)];
        }
        return 0;
    }
    const std::uint32_t* pixels = m_image.Pixels32();
    for (std::int32_t k = 0; k < height; ++k) {
        const std::int64_t y = std::clamp<std::int64_t>(static_cast<std::int64_t>(y0) + k, 0, imageHeight - 1);
        const std::uint32_t* row = pixels + static_cast<std::size_t>(imageHeight - 1 - y) * imageWidth;
        std::int32_t* out = window + static_cast<std::size_t>(k) * static_cast<std::size_t>(width);
        for (std::int32_t i = 0; i < width; ++i) {
            const std::int64_t x = std::clamp<std::int64_t>(static_cast<std::int64_t>(x0) + i, 0, imageWidth - 1);
            out[i] = static_cast<std::int32_t>((row[x] >> 16) & 0xFF);
        }
    }
    return 0;
}

int CTerrainModel::AllocateGrid(std::int32_t width, std::int32_t height)
{
    ReleaseGrid();
    if (width < 1 || height < 1)
        return -1;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (count > (SIZE_MAX - kLargePage) / sizeof(float))
        return -1;
    const std::size_t bytes = count * sizeof(float);
    const std::size_t align = bytes >= kLargePage ? kLargePage : 64;
    const std::size_t rounded = (bytes + align - 1) / align * align;
    void* grid = std::aligned_alloc(align, rounded);
    if (grid == nullptr)
        return -1;
#ifdef MADV_HUGEPAGE
    if (align == kLargePage)
        ::madvise(grid, rounded, MADV_HUGEPAGE); // advice only: small pages work too
#endif
    std::memset(grid, 0, bytes);
    m_grid = static_cast<float*>(grid);
    m_gridWidth = width;
    m_gridHeight = height;
    return 0;
}

void CTerrainModel::ReleaseGrid()
{
    std::free(m_grid);
    m_grid = nullptr;
}

void CTerrainModel::AdoptGrid(float* grid, std::int32_t width, std::int32_t height)
{
    ReleaseGrid();
    m_grid = grid;
    m_gridWidth = width;
    m_gridHeight = height;
}

int CTerrainModel::GenerateFaults(std::uint32_t seed, const std::function<bool(float)>& progress)
{
    const std::int32_t w = m_gridWidth;
    const std::int32_t h = m_gridHeight;
    if (m_grid == nullptr || w < 1 || h < 1 || static_cast<std::int64_t>(w) * h < 2)
        return -1;
    m_faultIterations = kFaultLines;
    CRandom random(seed);
    CFaultSweeper sweeper(m_grid, w, h, kSweepThreads);
    for (std::int32_t i = 0; i < m_faultIterations; ++i) {
        const float raise = static_cast<float>(256.0 - (256.0 * i) / m_faultIterations);
        const std::int32_t x1 = random.Next() % w;
        const std::int32_t y1 = random.Next() % h;
        std::int32_t x2 = 0;
        std::int32_t y2 = 0;
        do {
            x2 = random.Next() % w;
            y2 = random.Next() % h;
        } while (x2 == x1 && y2 == y1);
        const FaultLine fault{x1, y1, x2 - x1, y2 - y1};
        sweeper.Apply(&fault, raise, kErosion);
        if (progress && !progress(static_cast<float>(i + 1) / static_cast<float>(m_faultIterations)))
            return -1;
    }
    NormaliseHeights();
    return 0;
}

void CTerrainModel::ErodeField(float* grid, float k)
{
    CFaultSweeper sweeper(grid, m_gridWidth, m_gridHeight, kSweepThreads);
    sweeper.Apply(nullptr, 0.0f, k);
}

void CTerrainModel::ErodeBand(std::int64_t start, std::int64_t stride, std::int32_t count, float k)
{
    if (m_grid == nullptr || count < 2)
        return;
    const std::int64_t total = static_cast<std::int64_t>(m_gridWidth) * m_gridHeight;
    const std::int64_t end = start + (count - 1) * stride;
    if (start < 0 || start >= total || end < 0 || end >= total)
        return;
    const double blend = static_cast<double>(k);
    const double keep = 1.0 - blend;
    double v = m_grid[start];
    for (std::int32_t j = 1; j < count; ++j) {
        float& s = m_grid[start + j * stride];
        s = static_cast<float>(keep * static_cast<double>(s) + blend * v);
        v = s;
    }
}

void CTerrainModel::NormaliseHeights()
{
    if (m_grid == nullptr || m_gridWidth < 1 || m_gridHeight < 1)
        return;
    const std::size_t count = static_cast<std::size_t>(m_gridWidth) * static_cast<std::size_t>(m_gridHeight);
    float low = m_grid[0];
    float high = m_grid[0];
    for (std::size_t i = 1; i < count; ++i) {
        const float v = m_grid[i];
        high = v > high ? v : high;
        low = v < low ? v : low;
    }
    if (!(low < high))
        return;
    const double minimum = low;
    const double range = static_cast<float>(static_cast<double>(high) - minimum);
    for (std::size_t i = 0; i < count; ++i)
        m_grid[i] = static_cast<float>((static_cast<double>(m_grid[i]) - minimum) / range * 255.0);
}

int CTerrainModel::WriteHeightmapFile(const char* path) const
{
    if (m_grid == nullptr || m_gridWidth < 1 || m_gridHeight < 1)
        return -1;
    CBitmapEx raster;
    if (raster.CreateBlank(m_gridWidth, m_gridHeight) != 0 || !raster.HasPixels())
        return -1;
    const std::size_t width = static_cast<std::size_t>(m_gridWidth);
    std::uint32_t* pixels = raster.Pixels32();
    for (std::int32_t y = 0; y < m_gridHeight; ++y) {
        const float* in = m_grid + static_cast<std::size_t>(y) * width;
        std::uint32_t* out = pixels + static_cast<std::size_t>(m_gridHeight - 1 - y) * width;
        for (std::size_t x = 0; x < width; ++x) {
            // Truncation toward zero; values out of int range give level 0.
            const float v = in[x];
            const std::int32_t level = (v > -2147483648.0f && v < 2147483648.0f) ? static_cast<std::int32_t>(v) : 0;
            out[x] = static_cast<std::uint32_t>(level & 0xFF) * 0x010101u;
        }
    }
    return raster.SaveToFile(path);
}

int CTerrainModel::LoadHeightmap(const char* path)
{
    m_image.LoadFromFile(path);
    if (!m_image.HasPixels())
        return -1;
    m_gridWidth = m_image.Width();
    m_gridHeight = m_image.Height();
    return 0;
}

int CTerrainModel::LoadHeights16(const char* path)
{
    m_heights16.clear();
    m_heights16.shrink_to_fit();
    m_heightScale16 = kClassicHeightScale;
    struct stat info {};
    if (path == nullptr || (::lstat(path, &info) != 0 && errno == ENOENT))
        return path == nullptr ? -1 : 0;
    std::vector<std::uint16_t> codes;
    std::int32_t width = 0;
    std::int32_t height = 0;
    double scale = 0.0;
    if (!m_image.HasPixels()
        || CHeightmap16File::Read(path, codes, width, height, scale, m_image.Width(), m_image.Height()) != 0)
        return -1;
    m_heights16.swap(codes);
    m_heightScale16 = static_cast<float>(scale);
    return 0;
}
