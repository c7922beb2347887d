#include "flight/LightMapTexture.h"

#include <sys/resource.h>
#include <unistd.h>

#include <system_error>
#include <thread>
#include <vector>

#include "render/DeviceSetup.h"
#include "flight/PageTexture.h"
#include "terrain/CAmbientOcclusion.h"
#include "terrain/CHorizonShadow.h"
#include "terrain/CNormalMap.h"

namespace {

// Nice value of the helper thread (Linux schedules threads one by one).
constexpr int kHelperNice = 10;

} // namespace

ITexture* CreateLightMapTexture(IDevice* device, const std::int32_t* window, int width, int height,
                                float heightScale)
{
    if (device == nullptr || window == nullptr || width < 2 || height < 2)
        return nullptr;
    std::vector<std::uint8_t> sky, normals, sun;
    int skyResult = -1;
    bool lit = false;
    const D3DXVECTOR3 light = LightDirection();
    const float direction[3] = {light.x, light.y, light.z};
    const auto occlusion = [&] { skyResult = CAmbientOcclusion::Compute(window, width, height, heightScale, &sky); };
    const auto sunlight = [&] {
        lit = CNormalMap::Compute(window, width, height, heightScale, &normals) == 0 &&
              CHorizonShadow::Compute(window, width, height, heightScale, direction, &sun) == 0;
    };
    // The maps are made on two helpers that yield to every thread of normal
    // priority (the render thread above all, which a paging run must not
    // hold up): they run on what the processors have to spare. Without
    // helpers, here.
    const auto helper = [](const auto& work) {
        try {
            return std::thread([&work] {
                ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kHelperNice);
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

    ITexture* texture = nullptr;
    if (device->CreateTexture(static_cast<unsigned>(width), static_cast<unsigned>(height), D3DX_DEFAULT_MIPLEVELS,
                              D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture) != 0 ||
        texture == nullptr)
        return nullptr;
    D3DLOCKED_RECT locked;
    if (texture->LockRect(0, &locked, D3DLOCK_DISCARD) != 0 || locked.pBits == nullptr ||
        locked.Pitch < width * 4) {
        texture->Release();
        return nullptr;
    }
    const std::size_t pitch = static_cast<std::size_t>(locked.Pitch) / 4;
    auto* texels = static_cast<std::uint32_t*>(locked.pBits);
    for (int j = 0; j < height; ++j) {
        std::uint32_t* row = texels + static_cast<std::size_t>(j) * pitch;
        const std::size_t first = static_cast<std::size_t>(j) * static_cast<std::size_t>(width);
        for (int i = 0; i < width; ++i) {
            const std::size_t k = first + static_cast<std::size_t>(i);
            row[i] = static_cast<std::uint32_t>(sky[k]) << 24 | static_cast<std::uint32_t>(normals[2 * k]) << 16 |
                     static_cast<std::uint32_t>(normals[2 * k + 1]) << 8 | sun[k];
        }
    }
    if (texture->LevelCount() > 1 && FillMipLevels(texture, texels, pitch) != 0) {
        texture->UnlockRect(0);
        texture->Release();
        return nullptr;
    }
    texture->UnlockRect(0);
    return texture;
}
