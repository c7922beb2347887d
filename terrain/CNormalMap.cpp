#include "terrain/CNormalMap.h"

#include <algorithm>
#include <cmath>

namespace {

// Rounds half up; c is a unit vector's component, so the value lies in
// 0.5 .. 255.5.
inline std::uint8_t Encode(float c) { return static_cast<std::uint8_t>(c * 127.5f + 128.0f); }

} // namespace

int CNormalMap::Compute(const std::int32_t* window, std::int32_t width, std::int32_t height, float heightScale,
                        std::vector<std::uint8_t>* encoded)
{
    if (window == nullptr || encoded == nullptr || width < 2 || height < 2)
        return -1;
    const std::size_t w = static_cast<std::size_t>(width);
    encoded->resize(2 * w * static_cast<std::size_t>(height));
    for (std::int32_t z = 0; z < height; ++z)
        ComputeRow(window, width, height, heightScale, z, encoded->data() + 2 * w * static_cast<std::size_t>(z));
    return 0;
}

void CNormalMap::ComputeRow(const std::int32_t* window, std::int32_t width, std::int32_t height, float heightScale,
                            std::int32_t z, std::uint8_t* out)
{
    const std::size_t w = static_cast<std::size_t>(width);
    const std::int32_t* row = window + static_cast<std::size_t>(z) * w;
    const std::int32_t* up = window + static_cast<std::size_t>(std::max(z - 1, 0)) * w;
    const std::int32_t* down = window + static_cast<std::size_t>(std::min(z + 1, height - 1)) * w;
    const float zSpan = (z == 0 || z == height - 1) ? 1.0f : 2.0f;
    const float zFactor = heightScale / zSpan;
    const float xFactor = 0.5f * heightScale;
    const auto put = [&](std::int32_t x, float dx) {
        const float dz = static_cast<float>(down[x] - up[x]) * zFactor;
        const float inverse = 1.0f / std::sqrt(dx * dx + 1.0f + dz * dz);
        out[2 * x] = Encode(-dx * inverse);
        out[2 * x + 1] = Encode(-dz * inverse);
    };
    put(0, static_cast<float>(row[1] - row[0]) * heightScale);
    for (std::int32_t x = 1; x + 1 < width; ++x)
        put(x, static_cast<float>(row[x + 1] - row[x - 1]) * xFactor);
    put(width - 1, static_cast<float>(row[width - 1] - row[width - 2]) * heightScale);
}

void CNormalMap::Decode(std::uint8_t x, std::uint8_t z, float normal[3])
{
    normal[0] = static_cast<float>(x) / 127.5f - 1.0f;
    normal[2] = static_cast<float>(z) / 127.5f - 1.0f;
    normal[1] = std::sqrt(std::max(0.0f, 1.0f - normal[0] * normal[0] - normal[2] * normal[2]));
}
