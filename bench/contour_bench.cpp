// contour_bench: generates one terrain twice with the same seed and its
// 16-bit heightmap (default 4097 x 4097), painted softly (--blend) and
// plainly, and scores each texture for contour lines along the heightmap's
// whole levels. A texel's deviation is the distance of its luminance from
// the mean luminance of the 5 x 5 texels around it; the score is the mean
// deviation of the texels beside a level boundary (a 4-neighbour of another
// level) over that of the texels inside one level. A painting that does not
// see the levels scores about 1. Run from data/ (tiles in Textures/).
// Prints `name: value` lines:
//   contour_score_blend   the soft painting's score
//   contour_score_plain   the plain painting's score
//   contour_size          the side of the terrain, samples
// Options: --size N (default 4097), --seed N (default 7), --textures DIR.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/BenchOptions.h"
#include "terrain/CBitmapEx.h"
#include "terrain/CTerrainGenerator.h"
#include "terrain/CTerrainModel.h"
#include "terrain/TerrainFiles.h"

namespace {

double Luminance(std::uint32_t c)
{
    return 0.299 * ((c >> 16) & 0xFF) + 0.587 * ((c >> 8) & 0xFF) + 0.114 * (c & 0xFF);
}

// The score of the texture in `folder` against its heightmap; -1 when the
// files cannot be read.
double Score(const std::string& folder)
{
    CTerrainModel model;
    CBitmapEx texture;
    if (model.LoadHeightmap((folder + "/" + TerrainFiles::kHeightmap).c_str()) != 0 ||
        texture.LoadFromFile((folder + "/" + TerrainFiles::kTexture).c_str()) != 0)
        return -1.0;
    const int w = model.m_gridWidth;
    const int h = model.m_gridHeight;
    if (texture.Width() != w || texture.Height() != h)
        return -1.0;
    std::vector<std::int32_t> levels(static_cast<std::size_t>(w) * h);
    std::int32_t cw = w, ch = h;
    model.ExtractWindow(0, 0, cw, ch, levels.data());
    std::vector<double> lum(levels.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            lum[static_cast<std::size_t>(y) * w + x] = Luminance(texture.ReadPixel(x, y));
    double edgeSum = 0.0, insideSum = 0.0;
    std::size_t edgeCount = 0, insideCount = 0;
    for (int y = 2; y < h - 2; ++y)
        for (int x = 2; x < w - 2; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            double mean = 0.0;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    mean += lum[i + static_cast<std::ptrdiff_t>(dy) * w + dx];
            const double deviation = std::fabs(lum[i] - mean / 25.0);
            const std::int32_t l = levels[i];
            const bool edge = levels[i - 1] != l || levels[i + 1] != l || levels[i - w] != l || levels[i + w] != l;
            (edge ? edgeSum : insideSum) += deviation;
            ++(edge ? edgeCount : insideCount);
        }
    if (edgeCount == 0 || insideCount == 0 || insideSum <= 0.0)
        return -1.0;
    return (edgeSum / edgeCount) / (insideSum / insideCount);
}

} // namespace

int main(int argc, char** argv)
{
    CTerrainGenerator::Settings settings;
    settings.size = 4097;
    settings.seed = 7;
    COptionParser options("contour_bench", "[opciones]",
                          "Mide cuánto marca la textura pintada los límites de los niveles de 8 bits.");
    AddTerrainOptions(options, &settings);
    if (const int status = options.Handle(argc, argv); status >= 0)
        return status;
    settings.texturesFolder = std::filesystem::absolute(settings.texturesFolder).string();
    char folder[] = "/tmp/contour_bench_XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("contour_bench: mkdtemp");
        return 1;
    }
    settings.folder = folder;
    settings.heights16 = true;
    double scores[2] = {-1.0, -1.0};
    for (int blend = 1; blend >= 0; --blend) {
        settings.blend = blend != 0;
        CTerrainGenerator generator;
        if (generator.Run(settings) != 0) {
            std::fprintf(stderr, "contour_bench: %s\n", generator.Message().c_str());
            std::filesystem::remove_all(folder);
            return 1;
        }
        scores[blend] = Score(folder);
    }
    std::filesystem::remove_all(folder);
    std::printf("contour_score_blend: %.2f\n", scores[1]);
    std::printf("contour_score_plain: %.2f\n", scores[0]);
    std::printf("contour_size: %d\n", settings.size);
    return scores[0] < 0.0 || scores[1] < 0.0 ? 1 : 0;
}
