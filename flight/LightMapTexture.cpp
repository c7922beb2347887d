#include "flight/LightMapTexture.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

#include "flight/PageTexture.h"
#include "render/CMipChain.h"
#include "render/DeviceSetup.h"
#include "terrain/CAmbientOcclusion.h"
#include "terrain/CHorizonShadow.h"
#include "terrain/CNormalMap.h"
#include "terrain/ThreadPriority.h"

ITexture* CreateLightMapTexture(IDevice* device, const std::int32_t* window, int width, int height,
                                float heightScale)
{
    if (device == nullptr || window == nullptr || width < 2 || height < 2)
        return nullptr;
    std::vector<std::uint8_t> sky, sun;
    int skyResult = -1;
    bool lit = false;
    const D3DXVECTOR3 light = LightDirection();
    const float direction[3] = {light.x, light.y, light.z};
    const auto occlusion = [&] { skyResult = CAmbientOcclusion::Compute(window, width, height, heightScale, &sky); };
    const auto sunlight = [&] {
        lit = CHorizonShadow::Compute(window, width, height, heightScale, direction, &sun) == 0;
    };
    // The maps are made on two helpers that yield to every thread of normal
    // priority (the render thread above all, which a paging run must not
    // hold up): they run on what the processors have to spare. Without
    // helpers, here.
    const auto helper = [](const auto& work) {
        try {
            return std::thread([&work] {
                LowerThreadPriority();
                work();
            });
        } catch (const std::system_error&) {
            return std::thread();
        }
    };
    std::thread occlusionHelper = helper(occlusion);
    std::thread sunlightHelper = helper(sunlight);
    if (occlusionHelper.joinable())
        occlusionHelper.join();
    else
        occlusion();
    if (sunlightHelper.joinable())
        sunlightHelper.join();
    else
        sunlight();
    if (!lit || skyResult != 0)
        return nullptr;

    // Texel (i, j) of the map is the box filter of samples 2i, 2i + 1 by 2j,
    // 2j + 1 (the last column and row repeated on odd sides): what the
    // full-resolution map's level 1 held, at a quarter of its memory.
    // The normals are made a row at a time as the rows are packed: a whole
    // map of them would stand in memory beside the other two for nothing.
    std::vector<std::uint8_t> normals(2 * static_cast<std::size_t>(width));
    const auto pack = [&](std::uint32_t* row, int j) {
        CNormalMap::ComputeRow(window, width, height, heightScale, j, normals.data());
        const std::size_t first = static_cast<std::size_t>(j) * static_cast<std::size_t>(width);
        for (int i = 0; i < width; ++i) {
            const std::size_t k = first + static_cast<std::size_t>(i);
            const std::size_t n = 2 * static_cast<std::size_t>(i);
            row[i] = static_cast<std::uint32_t>(sky[k]) << 24 | static_cast<std::uint32_t>(normals[n]) << 16 |
                     static_cast<std::uint32_t>(normals[n + 1]) << 8 | sun[k];
        }
    };
    std::vector<std::uint32_t> pair(2 * static_cast<std::size_t>(width));
    const int mapWidth = static_cast<int>(CMipChain::LevelSize(static_cast<unsigned>(width), 1));
    const int mapHeight = static_cast<int>(CMipChain::LevelSize(static_cast<unsigned>(height), 1));
    return CreateFilledTexture(device, mapWidth, mapHeight, [&](std::uint32_t* row, int j) {
        pack(pair.data(), 2 * j);
        pack(pair.data() + width, std::min(2 * j + 1, height - 1));
        CMipChain::Reduce(pair.data(), static_cast<unsigned>(width), 2, static_cast<unsigned>(width), row,
                          static_cast<unsigned>(mapWidth));
    });
}
