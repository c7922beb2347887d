#include "terrain/CAmbientOcclusion.h"

#include <algorithm>
#include <cmath>

namespace {

// Samples per side of the cells the comparison runs on.
constexpr std::int32_t kCell = 4;

// A line continued past its ends point-mirrored about its end samples,
// which carries a plane slope on as it is: ground beside the window's edge
// is not taken for a hollow (or a ridge) for want of neighbours. `at(k)`
// reads sample k of the line.
template <typename At>
float Mirrored(const At& at, std::int32_t i, std::int32_t length)
{
    if (i < 0)
        return 2.0f * at(0) - at(std::min(-i, length - 1));
    if (i >= length)
        return 2.0f * at(length - 1) - at(std::max(2 * (length - 1) - i, 0));
    return at(i);
}

// Box means of radius r of a w x h grid, mirrored past its edges: along the
// rows into `rows`, then along the columns of that into `out`, the column
// pass walking the grid row by row with one running sum per column.
void BoxMean(const float* grid, float* rows, float* out, std::int32_t w, std::int32_t h, int r)
{
    const float share = 1.0f / static_cast<float>(2 * r + 1);
    for (std::int32_t z = 0; z < h; ++z) {
        const float* src = grid + static_cast<std::size_t>(z) * w;
        float* dst = rows + static_cast<std::size_t>(z) * w;
        const auto at = [src](std::int32_t k) { return src[k]; };
        double sum = 0.0;
        for (std::int32_t j = -r; j <= r; ++j)
            sum += Mirrored(at, j, w);
        for (std::int32_t x = 0; x < w; ++x) {
            dst[x] = static_cast<float>(sum) * share;
            sum += static_cast<double>(Mirrored(at, x + r + 1, w)) - Mirrored(at, x - r, w);
        }
    }
    std::vector<double> sums(static_cast<std::size_t>(w), 0.0);
    const auto row = [rows, w, h](std::int32_t z) {
        return rows + static_cast<std::size_t>(z < 0 ? std::min(-z, h - 1) : z >= h ? std::max(2 * (h - 1) - z, 0) : z) * w;
    };
    // A mirrored row is 2 x the edge row less the row it mirrors.
    const auto add = [&](std::int32_t z, double sign) {
        const float* a = row(z);
        if (z >= 0 && z < h) {
            for (std::int32_t x = 0; x < w; ++x)
                sums[static_cast<std::size_t>(x)] += sign * a[x];
            return;
        }
        const float* edge = rows + static_cast<std::size_t>(z < 0 ? 0 : h - 1) * w;
        for (std::int32_t x = 0; x < w; ++x)
            sums[static_cast<std::size_t>(x)] += sign * (2.0 * edge[x] - a[x]);
    };
    for (std::int32_t j = -r; j <= r; ++j)
        add(j, 1.0);
    for (std::int32_t z = 0; z < h; ++z) {
        float* dst = out + static_cast<std::size_t>(z) * w;
        for (std::int32_t x = 0; x < w; ++x)
            dst[x] = static_cast<float>(sums[static_cast<std::size_t>(x)]) * share;
        add(z + r + 1, 1.0);
        add(z - r, -1.0);
    }
}

} // namespace

int CAmbientOcclusion::Compute(const std::int32_t* window, std::int32_t width, std::int32_t height,
                               float heightScale, std::vector<std::uint8_t>* sky)
{
    if (window == nullptr || sky == nullptr || width < 1 || height < 1)
        return -1;
    // The comparison runs on a grid of kCell x kCell-sample means, radii in
    // cells: the term is smooth at every radius, and the grid takes a
    // sixteenth of the time and memory.
    const std::int32_t cw = (width + kCell - 1) / kCell;
    const std::int32_t ch = (height + kCell - 1) / kCell;
    const std::size_t cells = static_cast<std::size_t>(cw) * static_cast<std::size_t>(ch);
    std::vector<float> ground(cells, 0.0f), rows(cells), mean(cells), shut(cells, 0.0f);
    const float perCell = heightScale / static_cast<float>(kCell * kCell);
    for (std::int32_t z = 0; z < height; ++z) {
        const std::int32_t* row = window + static_cast<std::size_t>(z) * width;
        float* cell = ground.data() + static_cast<std::size_t>(z / kCell) * cw;
        for (std::int32_t x = 0; x < width; ++x)
            cell[x / kCell] += static_cast<float>(row[x]) * perCell;
    }
    // Cells cut by the window's far edges hold fewer samples: scale them up.
    for (std::int32_t z = 0; z < ch; ++z)
        for (std::int32_t x = 0; x < cw; ++x) {
            const std::int32_t n = (std::min(kCell, width - x * kCell)) * (std::min(kCell, height - z * kCell));
            ground[static_cast<std::size_t>(z) * cw + x] *= static_cast<float>(kCell * kCell) / static_cast<float>(n);
        }
    for (const int r : kRadii) {
        BoxMean(ground.data(), rows.data(), mean.data(), cw, ch, std::max(1, r / kCell));
        const float reach = 0.5f * static_cast<float>(r);
        for (std::size_t i = 0; i < cells; ++i) {
            const float rise = std::max(mean[i] - ground[i], 0.0f);
            shut[i] += rise / (rise + reach);
        }
    }
    // Back to full resolution: each sample takes its cell's value,
    // interpolated between the cells around it (sample x lies at cell
    // (x + 1/2) / kCell - 1/2).
    const float share = 1.0f / static_cast<float>(std::size(kRadii));
    for (float& v : shut)
        v = 255.0f * std::clamp(1.0f - v * share, 0.0f, 1.0f);
    const auto place = [](std::int32_t i, std::int32_t cellCount, std::int32_t* first, float* weight) {
        const float f = std::clamp((static_cast<float>(i) + 0.5f) / static_cast<float>(kCell) - 0.5f, 0.0f,
                                   static_cast<float>(cellCount - 1));
        *first = std::min(static_cast<std::int32_t>(f), std::max(cellCount - 2, 0));
        *weight = cellCount > 1 ? f - static_cast<float>(*first) : 0.0f;
    };
    std::vector<std::int32_t> columns(static_cast<std::size_t>(width));
    std::vector<float> columnWeights(static_cast<std::size_t>(width));
    for (std::int32_t x = 0; x < width; ++x)
        place(x, cw, &columns[static_cast<std::size_t>(x)], &columnWeights[static_cast<std::size_t>(x)]);
    const std::int32_t nextColumn = cw > 1 ? 1 : 0;
    sky->resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::int32_t z = 0; z < height; ++z) {
        std::int32_t z0 = 0;
        float tz = 0.0f;
        place(z, ch, &z0, &tz);
        const float* top = shut.data() + static_cast<std::size_t>(z0) * cw;
        const float* bottom = shut.data() + static_cast<std::size_t>(std::min(z0 + 1, ch - 1)) * cw;
        std::uint8_t* out = sky->data() + static_cast<std::size_t>(z) * width;
        for (std::int32_t x = 0; x < width; ++x) {
            const std::int32_t c = columns[static_cast<std::size_t>(x)];
            const float tx = columnWeights[static_cast<std::size_t>(x)];
            const float upper = top[c] + (top[c + nextColumn] - top[c]) * tx;
            const float lower = bottom[c] + (bottom[c + nextColumn] - bottom[c]) * tx;
            out[x] = static_cast<std::uint8_t>(upper + (lower - upper) * tz + 0.5f);
        }
    }
    return 0;
}
