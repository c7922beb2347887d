#include "flight/CPageBuilder.h"

#include "flight/LightMapTexture.h"
#include "flight/PageTexture.h"
#include "landscape/CLandscape.h"
#include "terrain/CBitmapEx.h"
#include "terrain/ITerrainSource.h"

namespace {

// Height of the camera's start above the ground, world units.
constexpr float kStartAltitude = 200.0f;

} // namespace

void CPageBuilder::PageOrigin(float x, float z, std::int32_t width, std::int32_t height, std::int32_t* x0,
                              std::int32_t* z0)
{
    float fx = x - static_cast<float>(width) * 0.5f;
    float fz = z - static_cast<float>(height) * 0.5f;
    if (fx < 0.0f) {
        fx = 0.0f;
    }
    if (fz < 0.0f) {
        fz = 0.0f;
    }
    *x0 = static_cast<std::int32_t>(fx);
    *z0 = static_cast<std::int32_t>(fz);
}

bool CPageBuilder::PagingUseful(float x, float z, std::int32_t width, std::int32_t height, std::int32_t mapWidth,
                                std::int32_t mapHeight, float currentX0, float currentZ0)
{
    std::int32_t x0 = 0;
    std::int32_t z0 = 0;
    PageOrigin(x, z, width, height, &x0, &z0);
    const std::int64_t right = static_cast<std::int64_t>(x0) + width;
    const std::int64_t bottom = static_cast<std::int64_t>(z0) + height;
    if (right <= mapWidth && bottom <= mapHeight) {
        return true;
    }
    const std::int64_t keptWidth = std::min<std::int64_t>(width, static_cast<std::int64_t>(mapWidth) - x0);
    const std::int64_t keptHeight = std::min<std::int64_t>(height, static_cast<std::int64_t>(mapHeight) - z0);
    if (keptWidth < 2 || keptHeight < 2) {
        return false;
    }
    return static_cast<float>(x0) != currentX0 || static_cast<float>(z0) != currentZ0;
}

int CPageBuilder::CutWindow(ITerrainSource& source, std::int32_t x0, std::int32_t z0, std::int32_t* width,
                            std::int32_t* height, std::unique_ptr<std::int32_t[]>* window)
{
    window->reset();
    if (*width > 0 && *height > 0) {
        window->reset(new std::int32_t[static_cast<std::size_t>(*width) * static_cast<std::size_t>(*height)]);
    }
    if (source.ReadWindow(x0, z0, width, height, window->get()) != 0) {
        window->reset();
        return -1;
    }
    if (*width <= 0 || *height <= 0) {
        window->reset();
    }
    return 0;
}

bool CPageBuilder::NearEdge(float x, float z, float originX, float originZ, std::int32_t width,
                            std::int32_t height, std::int32_t margin)
{
    const float dx = x - originX;
    const float dz = z - originZ;
    const float m = static_cast<float>(margin);
    return dx < m || static_cast<float>(width - dx) < m || dz < m || static_cast<float>(height - dz) < m;
}

std::unique_ptr<CLandscape> CPageBuilder::BuildLandscape(IDevice* device, float originX, float originY,
                                                         float originZ, float heightScale, const std::int32_t* window,
                                                         std::int32_t width, std::int32_t height,
                                                         ITexture* texture, int* status)
{
    auto landscape = std::make_unique<CLandscape>();
    landscape->m_originX = originX;
    landscape->m_originY = originY;
    landscape->m_originZ = originZ;
    landscape->m_device = device;
    landscape->m_texture = texture;
    landscape->m_heightScale = heightScale;
    landscape->SetHeightWindow(height, window, width);
    const int initialised = landscape->Initialise();
    if (status != nullptr) {
        *status = initialised;
    }
    return landscape;
}

std::unique_ptr<CLandscape> CPageBuilder::BuildPage(IDevice* device, const CBitmapEx* colours, std::int32_t x0,
                                                    std::int32_t z0, float originY, float heightScale,
                                                    const std::int32_t* window,
                                                    std::int32_t width, std::int32_t height, int* status)
{
    ITexture* texture = nullptr;
    ITexture* lightMap = nullptr;
    if (colours != nullptr) {
        texture = CreatePageTexture(device, *colours, x0, z0, width, height);
        if (texture != nullptr && device->CurrentLook() == Look::Enhanced) {
            lightMap = CreateLightMapTexture(device, window, width, height, heightScale);
        }
    }
    auto landscape = BuildLandscape(device, static_cast<float>(x0), originY, static_cast<float>(z0), heightScale,
                                    window, width, height, texture, status);
    landscape->m_lightMap = lightMap;
    return landscape;
}

D3DXVECTOR3 CPageBuilder::StartPosition(const CLandscape& landscape, std::int32_t width, std::int32_t height)
{
    const std::int32_t halfW = width / 2;
    const std::int32_t halfH = height / 2;
    const std::int32_t level = landscape.m_heights ? landscape.Sample(halfW, halfH) : 0;
    const float ground = static_cast<float>(level) * landscape.m_heightScale;
    return D3DXVECTOR3(static_cast<float>(halfW) + landscape.m_originX, ground + kStartAltitude,
                       static_cast<float>(halfH) + landscape.m_originZ);
}
