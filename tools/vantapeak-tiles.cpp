// vantapeak-tiles: paints the five texture tiles that the terrain generator
// blends by height (sea, sand, grass, rock, snow) as 256 x 256 24-bit
// bitmaps. The tiles are made from periodic noise, so they repeat without
// seams, and the program is deterministic: the same files every run.
//
//   vantapeak-tiles [--out DIR]     (default DIR: Textures)

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "terrain/CBitmapEx.h"
#include "tools/COptionParser.h"
#include "terrain/TerrainFiles.h"

namespace {

constexpr int kSize = 256;

std::uint32_t Hash(std::uint32_t x, std::uint32_t y, std::uint32_t salt)
{
    std::uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ salt * 0xCB1AB31Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// Value noise in 0..1 over `cells` x `cells` lattice cells per tile,
// wrapping at the tile's edges.
double PeriodicNoise(double x, double y, int cells, std::uint32_t salt)
{
    const double scale = static_cast<double>(cells) / kSize;
    const double fx = x * scale;
    const double fy = y * scale;
    const int ix = static_cast<int>(std::floor(fx));
    const int iy = static_cast<int>(std::floor(fy));
    const double tx = fx - ix;
    const double ty = fy - iy;
    auto lattice = [&](int cx, int cy) {
        const auto wx = static_cast<std::uint32_t>(((cx % cells) + cells) % cells);
        const auto wy = static_cast<std::uint32_t>(((cy % cells) + cells) % cells);
        return (Hash(wx, wy, salt) & 0xFFFF) / 65535.0;
    };
    auto smooth = [](double t) { return t * t * (3.0 - 2.0 * t); };
    const double sx = smooth(tx);
    const double sy = smooth(ty);
    const double top = lattice(ix, iy) + (lattice(ix + 1, iy) - lattice(ix, iy)) * sx;
    const double bottom = lattice(ix, iy + 1) + (lattice(ix + 1, iy + 1) - lattice(ix, iy + 1)) * sx;
    return top + (bottom - top) * sy;
}

// Sum of octaves from `cells` lattice cells upwards, in 0..1.
double Fractal(double x, double y, int cells, int octaves, std::uint32_t salt)
{
    double sum = 0.0;
    double amplitude = 1.0;
    double total = 0.0;
    for (int i = 0; i < octaves; ++i) {
        sum += PeriodicNoise(x, y, cells << i, salt + static_cast<std::uint32_t>(i)) * amplitude;
        total += amplitude;
        amplitude *= 0.5;
    }
    return sum / total;
}

struct Colour {
    double r, g, b;
};

Colour Mix(Colour a, Colour b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

std::uint32_t Pack(Colour c)
{
    auto channel = [](double v) { return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L)); };
    return channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
}

Colour Sea(int x, int y)
{
    const double swell = Fractal(x, y, 4, 4, 11);
    const double ripple = Fractal(x, y, 16, 3, 17);
    const Colour deep{18, 52, 104};
    const Colour shallow{40, 96, 150};
    Colour c = Mix(deep, shallow, swell * 1.3 - 0.15);
    return Mix(c, Colour{120, 170, 205}, (ripple - 0.6) * 1.5);
}

Colour Sand(int x, int y)
{
    const double dunes = Fractal(x, y, 4, 3, 23);
    const double grain = Hash(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 29) % 1000 / 1000.0;
    Colour c = Mix(Colour{190, 166, 118}, Colour{226, 204, 152}, dunes * 1.2 - 0.1);
    return Mix(c, Colour{150, 128, 90}, (grain - 0.8) * 1.5);
}

Colour Grass(int x, int y)
{
    const double patches = Fractal(x, y, 4, 4, 31);
    const double blades = Fractal(x, y, 64, 2, 37);
    Colour c = Mix(Colour{52, 92, 34}, Colour{96, 138, 52}, patches * 1.4 - 0.2);
    return Mix(c, Colour{32, 64, 24}, (blades - 0.55) * 1.5);
}

Colour Rock(int x, int y)
{
    const double body = Fractal(x, y, 8, 5, 41);
    const double veins = std::fabs(Fractal(x, y, 4, 3, 47) - 0.5) * 2.0;
    Colour c = Mix(Colour{88, 80, 72}, Colour{142, 134, 124}, body * 1.3 - 0.15);
    return Mix(c, Colour{54, 48, 44}, (0.12 - veins) * 5.0);
}

Colour Snow(int x, int y)
{
    const double drifts = Fractal(x, y, 4, 4, 53);
    const double sparkle = PeriodicNoise(x, y, 128, 59);
    Colour c = Mix(Colour{214, 222, 236}, Colour{250, 250, 252}, drifts * 1.3 - 0.1);
    return Mix(c, Colour{255, 255, 255}, (sparkle - 0.8) * 3.0);
}

int WriteTile(const std::string& folder, const char* name, Colour (*paint)(int, int))
{
    CBitmapEx tile;
    if (tile.CreateBlank(kSize, kSize) != 0)
        return -1;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            tile.WritePixel(x, y, Pack(paint(x, y)));
    const std::string path = folder + "/" + name;
    if (tile.SaveToFile(path.c_str()) != 0) {
        std::fprintf(stderr, "vantapeak-tiles: no se pudo escribir %s\n", path.c_str());
        return -1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder = TerrainFiles::kTilesFolder;
    COptionParser options("vantapeak-tiles", "[opciones]",
        "Pinta las cinco texturas del terreno (mar, arena, hierba, roca, nieve), de 256 x 256 píxeles,\n"
        "que vantapeak-terrain mezcla por altura. Siempre los mismos ficheros.");
    options.AddText("out", "DIR", "carpeta de salida", &folder);
    if (const int status = options.Handle(argc, argv); status >= 0)
        return status;
    int status = 0;
    status |= WriteTile(folder, "water1.bmp", Sea);
    status |= WriteTile(folder, "lowestTile.bmp", Sand);
    status |= WriteTile(folder, "lowTile.bmp", Grass);
    status |= WriteTile(folder, "HighTile.bmp", Rock);
    status |= WriteTile(folder, "highestTile.bmp", Snow);
    return status == 0 ? 0 : 1;
}
