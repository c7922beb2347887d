// Load and save times of a full-size 24-bit bitmap, medians of 3 runs.
// Usage: bitmap_bench [file.bmp]. Without a file it writes an 8193 x 8193
// one under /tmp first (and removes it afterwards). The load is timed with a
// warm page cache; the save includes flushing the file to disk.
#include "terrain/CBitmapEx.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int MakeTestFile(const std::string& path)
{
    const std::int32_t size = 8193;
    CBitmapEx image;
    if (image.CreateBlank(size, size) != 0)
        return -1;
    std::uint32_t* pixels = image.Pixels32();
    for (std::int32_t y = 0; y < size; ++y)
        for (std::int32_t x = 0; x < size; ++x)
            pixels[static_cast<std::size_t>(y) * size + x] = static_cast<std::uint32_t>((x * 7 + y * 13) & 0xFF) * 0x010101u;
    return image.SaveToFile(path.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const std::string pid = std::to_string(::getpid());
    std::string input = argc > 1 ? argv[1] : "/tmp/vp_bitmap_bench_" + pid + ".bmp";
    const bool ownInput = argc <= 1;
    if (ownInput && MakeTestFile(input) != 0) {
        std::fprintf(stderr, "cannot write %s\n", input.c_str());
        return 1;
    }
    const std::string output = "/tmp/vp_bitmap_bench_out_" + pid + ".bmp";

    std::vector<double> loads;
    std::vector<double> saves;
    int status = 0;
    {
        CBitmapEx warm;
        warm.LoadFromFile(input.c_str()); // brings the file into the page cache
    }
    for (int run = 0; run < 3 && status == 0; ++run) {
        CBitmapEx image;
        auto start = std::chrono::steady_clock::now();
        image.LoadFromFile(input.c_str());
        loads.push_back(Seconds(start));
        if (!image.HasPixels()) {
            std::fprintf(stderr, "cannot load %s\n", input.c_str());
            status = 1;
            break;
        }
        start = std::chrono::steady_clock::now();
        if (image.SaveToFile(output.c_str()) != 0) {
            std::fprintf(stderr, "cannot write %s\n", output.c_str());
            status = 1;
        }
        saves.push_back(Seconds(start));
    }
    std::remove(output.c_str());
    if (ownInput)
        std::remove(input.c_str());
    if (status != 0)
        return status;
    std::printf("load_8193_s: %.3f\n", Median(loads));
    std::printf("save_8193_s: %.3f\n", Median(saves));
    return 0;
}
