#include "flight/CTerrainPager.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "flight/CPageBuilder.h"
#include "flight/LightMapTexture.h"
#include "landscape/CLandscape.h"
#include "terrain/CBitmapEx.h"
#include "terrain/CWindowPainter.h"
#include "terrain/ITerrainSource.h"
#include "terrain/LargeBlocks.h"

namespace {

// The framed start's height: at least this share of the window's shorter
// side above the middle ground, and at least the window's relief.
constexpr float kFramedAltitudeShare = 1.0f / 40.0f;
// Steepest start pitch, radians.
constexpr float kFramedMaxPitch = 0.35f;

// How long a build waits for the render thread to start copying a new page
// texture, and at most for the copy to end, and how often it looks.
constexpr auto kCopyStartWait = std::chrono::milliseconds(50);
constexpr auto kCopyWait = std::chrono::milliseconds(1500);
constexpr auto kCopyPoll = std::chrono::milliseconds(10);

// Returns once the render thread has copied `texture` (null: at once) to the
// driver and let go of its system-memory copy, or did not start the copy
// within kCopyStartWait (frames stopped), or after kCopyWait.
void AwaitCopy(const ITexture* texture)
{
    if (texture == nullptr)
        return;
    std::this_thread::sleep_for(kCopyStartWait);
    const auto end = std::chrono::steady_clock::now() + kCopyWait;
    while (texture->Arriving() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(kCopyPoll);
}

} // namespace

CTerrainPager::CTerrainPager(IDevice* device, ITerrainSource& source, CWindowPainter* painter)
    : m_device(device), m_source(source), m_painter(painter), m_window(WindowOf(source))
{
}

PageWindow CTerrainPager::WindowOf(const ITerrainSource& source)
{
    PageWindow page = ComputePageWindow(source.Width(), source.Height());
    if (source.Streamed()) {
        page.width = std::min(page.width, kMaxStreamedWindow);
        page.height = std::min(page.height, kMaxStreamedWindow);
        page.margin = std::max(page.width / 4, page.height / 4);
    }
    return page;
}

bool CTerrainPager::PagingWanted(float x, float z, float originX, float originZ, bool running) const
{
    const float margin = static_cast<float>(m_window.margin);
    if (running || (x < margin && z < margin))
        return false;
    return CPageBuilder::NearEdge(x, z, originX, originZ, m_window.width, m_window.height, m_window.margin)
           && CPageBuilder::PagingUseful(x, z, m_window.width, m_window.height, m_source.Width(), m_source.Height(),
                                         originX, originZ);
}

CTerrainPager::Page CTerrainPager::BuildFirst(bool textured) const { return BuildAt(0, 0, textured); }

CTerrainPager::Page CTerrainPager::BuildAround(float x, float z, bool textured, Copies copies) const
{
    std::int32_t x0 = 0;
    std::int32_t z0 = 0;
    CPageBuilder::PageOrigin(x, z, m_window.width, m_window.height, &x0, &z0);
    return BuildAt(x0, z0, textured, copies);
}

CTerrainPager::Page CTerrainPager::BuildAt(std::int32_t x0, std::int32_t z0, bool textured, Copies copies) const
{
    MapLargeBlocksAlone();
    Page page;
    page.x0 = x0;
    page.z0 = z0;
    page.width = m_window.width;
    page.height = m_window.height;
    std::unique_ptr<std::int32_t[]> window;
    if (CPageBuilder::CutWindow(m_source, x0, z0, &page.width, &page.height, &window) != 0) {
        page.status = -1;
        return page;
    }
    if (page.width <= 0 || page.height <= 0)
        return page;
    const std::int32_t w = page.width;
    const std::int32_t h = page.height;
    // The landscape takes the cut over (it is held once); the light map and
    // the colours are made from the landscape's samples, and Initialise makes
    // the error tables last, so that the colours and the tables never stand
    // in memory together beside the current page.
    page.landscape = std::make_unique<CLandscape>();
    CLandscape& landscape = *page.landscape;
    landscape.m_originX = static_cast<float>(x0);
    landscape.m_originZ = static_cast<float>(z0);
    landscape.m_device = m_device;
    landscape.m_heightScale = m_source.HeightScale();
    landscape.TakeHeightWindow(h, std::move(window), w);
    const std::int32_t* heights = landscape.m_heights.get();
    // Under the enhanced look a textured page is lit from its light map.
    if (textured && m_device != nullptr && m_device->CurrentLook() == Look::Enhanced)
        landscape.m_lightMap = CreateLightMapTexture(m_device, heights, w, h, m_source.HeightScale());
    // Its copy goes to the driver before the page texture is made (a few
    // frames): the two copies never stand in memory together either.
    if (copies == Copies::Awaited)
        AwaitCopy(landscape.m_lightMap);
    if (textured) {
        if (const CBitmapEx* raster = m_source.ColourRaster()) {
            landscape.m_texture = CreatePageTexture(m_device, *raster, x0, z0, w, h);
        } else {
            CBitmapEx colours;
            if (m_source.ReadColours(x0, z0, w, h, &colours) == 0) {
                landscape.m_texture = CreatePageTexture(m_device, colours, 0, 0, w, h);
            } else if (m_painter != nullptr) {
                std::int32_t low = 0;
                std::int32_t high = 0;
                m_source.CodeRange(&low, &high);
                // Painted straight into the texture: no raster of the colours.
                landscape.m_texture =
                    CreateTextureFilledBy(m_device, w, h, [&](std::uint32_t* texels, std::size_t pitch) {
                        return m_painter->PaintInto(heights, x0, z0, w, h, low, high, texels, pitch);
                    });
            }
        }
    }
    // The error tables are made once the page texture's texels have gone to
    // the driver (the render thread copies them over a few frames), so that
    // its system-memory copy and the tables never stand in memory together.
    if (copies == Copies::Awaited)
        AwaitCopy(landscape.m_texture);
    page.status = landscape.Initialise();
    return page;
}

float CTerrainPager::FramedStart(std::int32_t width, std::int32_t height, float lowest, float middle, float highest,
                                 float* pitch)
{
    const float side = static_cast<float>(std::max(2, std::min(width, height)));
    const float relief = std::max(0.0f, highest - lowest);
    float above = std::max(relief, side * kFramedAltitudeShare);
    // Never start inside a hill of the window.
    above = std::max(above, highest - middle + side * kFramedAltitudeShare * 0.25f);
    *pitch = std::min(kFramedMaxPitch, std::atan(above / (side * 0.25f)));
    return above;
}

void CTerrainPager::StartView(const CLandscape& landscape, std::int32_t width, std::int32_t height,
                              D3DXVECTOR3* position, float* pitch) const
{
    *pitch = 0.0f;
    *position = CPageBuilder::StartPosition(landscape, width, height);
    if (!m_source.Streamed() || !landscape.m_heights)
        return;
    std::int32_t low = landscape.Sample(0, 0);
    std::int32_t high = low;
    const std::size_t count = static_cast<std::size_t>(landscape.m_columns) * static_cast<std::size_t>(landscape.m_rows);
    for (std::size_t i = 0; i < count; ++i) {
        low = std::min(low, landscape.m_heights[i]);
        high = std::max(high, landscape.m_heights[i]);
    }
    const float scale = landscape.m_heightScale;
    const float middle = static_cast<float>(landscape.Sample(width / 2, height / 2)) * scale;
    const float above = FramedStart(width, height, low * scale, middle, high * scale, pitch);
    position->y = middle + above;
}
