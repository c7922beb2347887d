// libFuzzer entry for the bitmap loader: any byte string must either load as
// a consistent 32-bit raster or leave the raster empty, the file reader (which
// widens rows in place) must agree with the memory reader, and every
// operation on what loaded must stay inside the block.
#include "terrain/CBitmapEx.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// The input as a file: an in-memory file reached through /proc, rewritten
// for every input. Empty when no such file can be made.
std::string InputAsFile(const std::uint8_t* data, std::size_t size)
{
    static const int fd = ::memfd_create("fuzz_bitmap", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, 0) != 0)
        return {};
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            return {};
        done += static_cast<std::size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CBitmapEx image;
    const int status = image.LoadFromMemory(data, size);
    const std::string path = InputAsFile(data, size);
    if (!path.empty()) {
        CBitmapEx fromFile;
        Check(fromFile.LoadFromFile(path.c_str()) == status);
        Check(fromFile.m_imageBytes == image.m_imageBytes);
        Check(image.m_imageBytes == 0
            || std::memcmp(fromFile.m_pixels, image.m_pixels, static_cast<std::size_t>(image.m_imageBytes)) == 0);
        Check(std::memcmp(&fromFile.m_infoHeader, &image.m_infoHeader, sizeof(BITMAPINFOHEADER)) == 0);
    }
    if (status != 0) {
        Check(!image.HasPixels() && image.m_imageBytes == 0 && image.Width() == 0 && image.Height() == 0);
        return 0;
    }
    const std::int32_t w = image.Width();
    const std::int32_t h = image.Height();
    Check(image.HasPixels() && w > 0 && h > 0);
    Check(image.m_bytesPerPixel == 4 && image.m_rowBytes == 4 * w);
    Check(static_cast<std::int64_t>(image.m_imageBytes) == std::int64_t{4} * w * h);
    Check(image.m_paletteSize >= 0 && image.m_paletteSize <= 256);

    // Touch every pixel (catches a block shorter than its header says), then
    // the clamped corners.
    std::uint32_t sum = 0;
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x)
            sum += image.ReadPixel(x, y);
    sum += image.ReadPixel(-1, -1) + image.ReadPixel(w, h) + image.ReadPixel(INT32_MIN, INT32_MAX);
    image.WritePixel(w + 2, -3, sum);
    Check(image.ReadPixel(w - 1, 0) == sum);

    const std::uint32_t corner = image.ReadPixel(0, 0);
    image.FlipRows();
    Check(image.ReadPixel(0, h - 1) == corner);
    if (image.PackTo24Bit() == 0) {
        Check(image.m_bytesPerPixel == 3 && image.m_rowBytes % 4 == 0);
        image.ReadPixel(w - 1, 0);
        Check(image.ExpandTo32Bit() == 0);
        Check(image.ReadPixel(0, h - 1) == (corner & 0xFFFFFF));
    }
    return 0;
}
