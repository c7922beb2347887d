#include "terrain/CBitmapEx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#ifdef VP_HAVE_QT
#include <QImage>
#endif

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Palette entry i of the files built here: blue i, green 255 - i, red 3i,
// reserved 0x55 (which must never reach a pixel).
std::uint32_t PaletteColour(int i)
{
    return static_cast<std::uint32_t>((3 * i) & 0xFF) << 16 | static_cast<std::uint32_t>(255 - i) << 8
        | static_cast<std::uint32_t>(i);
}

// A BMP file image built by hand, byte for byte what SaveToFile writes for a
// 24-bit file with zero padding. `raw` holds width x height values in image
// order (top row first): palette indices, 16-bit words, 0xRRGGBB or whole
// 32-bit values.
Bytes MakeBmp(int bits, std::int32_t width, std::int32_t height, const std::vector<std::uint32_t>& raw,
    std::uint32_t clrUsed = 0, bool topDown = false, std::uint8_t padding = 0)
{
    const int paletteEntries = bits == 8 ? (clrUsed == 0 ? 256 : static_cast<int>(clrUsed)) : 0;
    const std::size_t bpp = static_cast<std::size_t>(bits / 8);
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * bpp + 3) & ~std::size_t{3};
    const std::size_t offset = 54 + 4 * static_cast<std::size_t>(paletteEntries);
    Bytes b(offset + rowBytes * static_cast<std::size_t>(height), padding);
    std::fill(b.begin(), b.begin() + 54, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, static_cast<std::uint32_t>(offset));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<std::uint32_t>(width));
    Put32(b, 22, static_cast<std::uint32_t>(topDown ? -height : height));
    Put16(b, 26, 1);
    Put16(b, 28, static_cast<std::uint32_t>(bits));
    Put32(b, 46, clrUsed);
    for (int i = 0; i < paletteEntries; ++i)
        Put32(b, 54 + 4 * static_cast<std::size_t>(i), 0x55000000u | PaletteColour(i));
    for (std::int32_t y = 0; y < height; ++y) {
        const std::size_t fileRow = static_cast<std::size_t>(topDown ? y : height - 1 - y);
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint32_t v = raw[static_cast<std::size_t>(y) * width + x];
            const std::size_t at = offset + fileRow * rowBytes + static_cast<std::size_t>(x) * bpp;
            for (std::size_t k = 0; k < bpp; ++k)
                b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
        }
    }
    return b;
}

std::vector<std::uint32_t> RandomValues(std::size_t count, std::uint32_t mask, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint32_t> values(count);
    for (auto& v : values)
        v = static_cast<std::uint32_t>(random()) & mask;
    return values;
}

// What a raw file value of the given depth loads as.
std::uint32_t Expected(int bits, std::uint32_t raw, std::uint32_t paletteSize = 256)
{
    switch (bits) {
    case 8:
        return raw < paletteSize ? PaletteColour(static_cast<int>(raw)) : 0;
    case 16:
        return ((raw >> 10) & 31) << 16 | ((raw >> 5) & 31) << 8 | (raw & 31);
    case 24:
        return raw & 0xFFFFFF;
    default:
        return raw;
    }
}

Bytes ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Fill(CBitmapEx& image, const std::vector<std::uint32_t>& values)
{
    for (std::int32_t y = 0; y < image.Height(); ++y)
        for (std::int32_t x = 0; x < image.Width(); ++x)
            image.WritePixel(x, y, values[static_cast<std::size_t>(y) * image.Width() + x]);
}

void ExpectEmpty(const CBitmapEx& image)
{
    EXPECT_FALSE(image.HasPixels());
    EXPECT_EQ(image.m_imageBytes, 0);
    EXPECT_EQ(image.m_paletteSize, 0);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
    EXPECT_EQ(image.ReadPixel(0, 0), 0u);
}

class CBitmapExFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vp_bitmap_test_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(m_dir, fs::perms::owner_all, ignored);
        fs::remove_all(m_dir, ignored);
    }
    std::string Path(const char* name) const { return (m_dir / name).string(); }
    std::size_t FileCount() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
    }

    fs::path m_dir;
};

} // namespace

TEST(CBitmapEx, CreateBlankSetsHeadersForItsBlock)
{
    CBitmapEx image;
    ASSERT_EQ(image.CreateBlank(5, 3), 0);
    ASSERT_TRUE(image.HasPixels());
    EXPECT_EQ(image.m_fileHeader.bfType + 0, 0x4D42);
    EXPECT_EQ(image.m_fileHeader.bfSize + 0, 54u + 60u);
    EXPECT_EQ(image.m_fileHeader.bfReserved1 + 0, 0);
    EXPECT_EQ(image.m_fileHeader.bfReserved2 + 0, 0);
    EXPECT_EQ(image.m_fileHeader.bfOffBits + 0, 54u);
    EXPECT_EQ(image.m_infoHeader.biSize, 40u);
    EXPECT_EQ(image.m_infoHeader.biWidth, 5);
    EXPECT_EQ(image.m_infoHeader.biHeight, 3);
    EXPECT_EQ(image.m_infoHeader.biPlanes, 1);
    EXPECT_EQ(image.m_infoHeader.biBitCount, 32);
    EXPECT_EQ(image.m_infoHeader.biCompression, 0u);
    EXPECT_EQ(image.m_infoHeader.biSizeImage, 0u);
    EXPECT_EQ(image.m_infoHeader.biClrUsed, 0u);
    EXPECT_EQ(image.m_paletteSize, 0);
    EXPECT_EQ(image.m_bytesPerPixel, 4);
    EXPECT_EQ(image.m_rowBytes, 20);
    EXPECT_EQ(image.m_imageBytes, 60);
}

TEST(CBitmapEx, EmptyRasters)
{
    CBitmapEx image;
    ExpectEmpty(image);
    image.WritePixel(0, 0, 1);
    image.FlipRows();
    EXPECT_EQ(image.ExpandTo32Bit(), 0);
    EXPECT_EQ(image.PackTo24Bit(), 0);
    ExpectEmpty(image);

    ASSERT_EQ(image.CreateBlank(-3, 10), 0);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 10);
    EXPECT_FALSE(image.HasPixels());
    EXPECT_EQ(image.m_imageBytes, 0);
    EXPECT_EQ(image.ReadPixel(0, 0), 0u);
    image.WritePixel(0, 0, 7);

    // A block that a signed 32-bit size cannot count is refused.
    EXPECT_EQ(image.CreateBlank(40000, 40000), -1);
    ExpectEmpty(image);
}

TEST(CBitmapEx, PixelAddressingAndClamping)
{
    CBitmapEx image;
    ASSERT_EQ(image.CreateBlank(4, 3), 0);
    Fill(image, std::vector<std::uint32_t>{0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23});
    // Block row 0 is the bottom image row.
    EXPECT_EQ(image.Pixels32()[0], 20u);
    EXPECT_EQ(image.Pixels32()[11], 3u);

    struct Case {
        std::int32_t x, y;
        std::uint32_t value;
    };
    const Case cases[] = {
        {0, 0, 0}, {3, 2, 23}, {-5, 1, 10}, {1, -1, 1}, {6, 1, 13},
        {2, 9, 22}, {INT32_MIN, INT32_MAX, 20}, {INT32_MAX, INT32_MIN, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(image.ReadPixel(c.x, c.y), c.value) << c.x << "," << c.y;

    image.WritePixel(4 + 2, 1, 99); // x = width + 2 writes the last column
    EXPECT_EQ(image.ReadPixel(3, 1), 99u);
    image.WritePixel(-1, -1, 98);
    EXPECT_EQ(image.ReadPixel(0, 0), 98u);
}

TEST(CBitmapEx, FlipRows)
{
    for (std::int32_t height : {1, 2, 3, 4}) {
        CBitmapEx image;
        ASSERT_EQ(image.CreateBlank(2, height), 0);
        for (std::int32_t i = 0; i < 2 * height; ++i)
            image.Pixels32()[i] = static_cast<std::uint32_t>(i);
        image.FlipRows();
        for (std::int32_t r = 0; r < height; ++r)
            for (std::int32_t x = 0; x < 2; ++x)
                EXPECT_EQ(image.Pixels32()[r * 2 + x], static_cast<std::uint32_t>((height - 1 - r) * 2 + x))
                    << "height " << height;
    }
}

TEST(CBitmapEx, PackAndExpand)
{
    CBitmapEx image;
    ASSERT_EQ(image.CreateBlank(3, 2), 0);
    const auto values = RandomValues(6, 0xFFFFFFFF, 1);
    Fill(image, values);

    ASSERT_EQ(image.PackTo24Bit(), 0);
    EXPECT_EQ(image.m_bytesPerPixel, 3);
    EXPECT_EQ(image.m_rowBytes, 12);
    EXPECT_EQ(image.m_imageBytes, 24);
    EXPECT_EQ(image.m_fileHeader.bfSize + 0, 78u);
    EXPECT_EQ(image.m_infoHeader.biBitCount, 24);
    // Bottom block row first, blue-green-red per pixel.
    for (int x = 0; x < 3; ++x)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(image.m_pixels[3 * x + k], static_cast<std::uint8_t>(values[3 + x] >> (8 * k)));

    ASSERT_EQ(image.ExpandTo32Bit(), 0);
    EXPECT_EQ(image.m_bytesPerPixel, 4);
    EXPECT_EQ(image.m_rowBytes, 12);
    EXPECT_EQ(image.m_imageBytes, 24);
    EXPECT_EQ(image.m_fileHeader.bfSize + 0, 78u);
    EXPECT_EQ(image.m_infoHeader.biBitCount, 32);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(image.ReadPixel(i % 3, i / 3), values[i] & 0xFFFFFF);
}

TEST_F(CBitmapExFiles, LoadsEveryDepth)
{
    struct Case {
        int bits;
        std::uint32_t mask;
        std::uint32_t clrUsed;
        std::int32_t width, height;
    };
    const Case cases[] = {
        {8, 0xFF, 0, 5, 3},  {8, 0x1F, 16, 3, 4}, {8, 0xFF, 16, 7, 2}, {16, 0xFFFF, 0, 3, 3},
        {16, 0x7FFF, 0, 4, 1}, {24, 0xFFFFFF, 0, 1, 5}, {24, 0xFFFFFF, 0, 8193, 1}, {32, 0xFFFFFFFF, 0, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bits << " bits " << c.width << "x" << c.height);
        const auto raw = RandomValues(static_cast<std::size_t>(c.width) * c.height, c.mask, 7);
        for (bool topDown : {false, true}) {
            const Bytes file = MakeBmp(c.bits, c.width, c.height, raw, c.clrUsed, topDown, 0xEE);
            CBitmapEx image;
            ASSERT_EQ(image.LoadFromMemory(file.data(), file.size()), 0);
            // The file reader widens in place; it must agree with the memory reader.
            WriteAll(Path("in.bmp"), file);
            CBitmapEx fromFile;
            ASSERT_EQ(fromFile.LoadFromFile(Path("in.bmp").c_str()), 0);
            ASSERT_EQ(fromFile.m_imageBytes, image.m_imageBytes);
            EXPECT_EQ(std::memcmp(fromFile.m_pixels, image.m_pixels, static_cast<std::size_t>(image.m_imageBytes)), 0);
            EXPECT_EQ(std::memcmp(&fromFile.m_infoHeader, &image.m_infoHeader, sizeof(BITMAPINFOHEADER)), 0);
            ASSERT_EQ(image.Width(), c.width);
            ASSERT_EQ(image.Height(), c.height);
            EXPECT_EQ(image.m_bytesPerPixel, 4);
            EXPECT_EQ(image.m_rowBytes, 4 * c.width);
            EXPECT_EQ(image.m_imageBytes, 4 * c.width * c.height);
            EXPECT_EQ(image.m_infoHeader.biBitCount, 32);
            EXPECT_EQ(image.m_fileHeader.bfOffBits + 0, 54u);
            EXPECT_EQ(image.m_paletteSize, c.bits == 8 ? (c.clrUsed == 0 ? 256 : 16) : 0);
            EXPECT_EQ(image.m_infoHeader.biClrUsed, c.clrUsed);
            const std::uint32_t paletteSize = c.clrUsed == 0 ? 256 : c.clrUsed;
            for (std::int32_t y = 0; y < c.height; ++y)
                for (std::int32_t x = 0; x < c.width; ++x)
                    ASSERT_EQ(image.ReadPixel(x, y),
                        Expected(c.bits, raw[static_cast<std::size_t>(y) * c.width + x], paletteSize))
                        << x << "," << y << (topDown ? " top-down" : "");
        }
    }
    // The two values the file format is easiest to get wrong with.
    CBitmapEx image;
    const Bytes word = MakeBmp(16, 1, 1, {0x7FFF});
    ASSERT_EQ(image.LoadFromMemory(word.data(), word.size()), 0);
    EXPECT_EQ(image.ReadPixel(0, 0), 0x001F1F1Fu);
    const Bytes quad = MakeBmp(32, 1, 1, {0xAB123456});
    ASSERT_EQ(image.LoadFromMemory(quad.data(), quad.size()), 0);
    EXPECT_EQ(image.ReadPixel(0, 0), 0xAB123456u);
}

TEST(CBitmapEx, PixelsStartAtOffBits)
{
    // A gap between the headers and the pixel rows is skipped.
    Bytes file = MakeBmp(24, 2, 2, {0x010203, 0x040506, 0x070809, 0x0A0B0C});
    file.insert(file.begin() + 54, 6, 0xCC);
    Put32(file, 10, 60);
    CBitmapEx image;
    ASSERT_EQ(image.LoadFromMemory(file.data(), file.size()), 0);
    EXPECT_EQ(image.ReadPixel(0, 0), 0x010203u);
    EXPECT_EQ(image.ReadPixel(1, 1), 0x0A0B0Cu);
}

TEST_F(CBitmapExFiles, MalformedFilesLoadEmpty)
{
    const Bytes good24 = MakeBmp(24, 3, 2, RandomValues(6, 0xFFFFFF, 3));
    const Bytes good8 = MakeBmp(8, 3, 2, RandomValues(6, 0xFF, 3));
    struct Case {
        const char* what;
        const Bytes* base;
        std::size_t at;
        int width; // 2 or 4 bytes
        std::uint32_t value;
    };
    const Case cases[] = {
        {"1 bit", &good24, 28, 2, 1},
        {"4 bits", &good24, 28, 2, 4},
        {"12 bits", &good24, 28, 2, 12},
        {"64 bits", &good24, 28, 2, 64},
        {"0 bits", &good24, 28, 2, 0},
        {"V4 info header", &good24, 14, 4, 108},
        {"core header", &good24, 14, 4, 12},
        {"run-length", &good24, 30, 4, 1},
        {"bit fields", &good24, 30, 4, 3},
        {"zero width", &good24, 18, 4, 0},
        {"negative width", &good24, 18, 4, 0xFFFFFFFD},
        {"zero height", &good24, 22, 4, 0},
        {"most negative height", &good24, 22, 4, 0x80000000},
        {"more rows than the file", &good24, 22, 4, 3},
        {"wider than the file", &good24, 18, 4, 5},
        {"block beyond 32 bits", &good24, 18, 4, 0x7FFFFFFF},
        {"block beyond INT32_MAX", &good24, 18, 4, 0x10000},
        {"pixels inside the headers", &good24, 10, 4, 40},
        {"pixels past the end", &good24, 10, 4, 0xFFFFFFF0},
        {"257 palette entries", &good8, 46, 4, 257},
        {"huge palette", &good8, 46, 4, 0xFFFFFFFF},
        {"pixels inside the palette", &good8, 10, 4, 54 + 1020},
    };
    for (const Case& c : cases) {
        Bytes file = *c.base;
        if (c.width == 2)
            Put16(file, c.at, c.value);
        else
            Put32(file, c.at, c.value);
        if (c.at == 18 && c.value == 0x10000)
            Put32(file, 22, 0x10000);
        CBitmapEx image;
        ASSERT_EQ(image.CreateBlank(2, 2), 0);
        EXPECT_EQ(image.LoadFromMemory(file.data(), file.size()), -1) << c.what;
        ExpectEmpty(image);
        WriteAll(Path("bad.bmp"), file);
        ASSERT_EQ(image.CreateBlank(2, 2), 0);
        EXPECT_EQ(image.LoadFromFile(Path("bad.bmp").c_str()), -1) << c.what;
        ExpectEmpty(image);
    }

    // Every truncation of a valid file.
    for (const Bytes* base : {&good24, &good8}) {
        for (std::size_t size = 0; size < base->size(); ++size) {
            CBitmapEx image;
            EXPECT_EQ(image.LoadFromMemory(base->data(), size), -1) << size;
            ExpectEmpty(image);
            if (size > 64 && size % 16 != 0 && size + 1 != base->size())
                continue; // through a file: a sample of the sizes is enough
            WriteAll(Path("short.bmp"), Bytes(base->begin(), base->begin() + static_cast<std::ptrdiff_t>(size)));
            EXPECT_EQ(image.LoadFromFile(Path("short.bmp").c_str()), -1) << size;
            ExpectEmpty(image);
        }
    }
    CBitmapEx image;
    EXPECT_EQ(image.LoadFromMemory(nullptr, 0), -1);
    ExpectEmpty(image);
}

TEST_F(CBitmapExFiles, SavedFileLayout)
{
    struct Case {
        std::int32_t width, height;
        std::size_t fileBytes;
    };
    // The last raster's file is written in several pieces.
    const Case cases[] = {{1, 1, 54 + 4}, {2, 3, 54 + 24}, {3, 2, 54 + 24}, {4, 2, 54 + 24}, {5, 1, 54 + 16},
        {8193, 2, 54 + 2 * 24580}, {1001, 700, 54 + 700 * 3004}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
        CBitmapEx image;
        ASSERT_EQ(image.CreateBlank(c.width, c.height), 0);
        const auto values = RandomValues(static_cast<std::size_t>(c.width) * c.height, 0xFFFFFFFF, 11);
        Fill(image, values);
        ASSERT_EQ(image.SaveToFile(Path("out.bmp").c_str()), 0);
        const Bytes file = ReadAll(Path("out.bmp"));
        EXPECT_EQ(file.size(), c.fileBytes);
        auto rgb = values;
        for (auto& v : rgb)
            v &= 0xFFFFFF;
        EXPECT_EQ(file, MakeBmp(24, c.width, c.height, rgb));
        // The raster is left as it was, top bytes included.
        EXPECT_EQ(image.m_bytesPerPixel, 4);
        EXPECT_EQ(image.m_infoHeader.biBitCount, 32);
        EXPECT_EQ(image.ReadPixel(0, 0), values[0]);
        CBitmapEx loaded;
        ASSERT_EQ(loaded.LoadFromFile(Path("out.bmp").c_str()), 0);
        std::size_t differing = 0;
        for (std::int32_t y = 0; y < c.height; ++y)
            for (std::int32_t x = 0; x < c.width; ++x)
                differing += loaded.ReadPixel(x, y) != (image.ReadPixel(x, y) & 0xFFFFFF);
        EXPECT_EQ(differing, 0u);
    }
    EXPECT_EQ(FileCount(), 1u); // no temporary files left behind
}

TEST_F(CBitmapExFiles, RoundTripsEveryDepth)
{
    for (int bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        const std::uint32_t mask = bits == 32 ? 0xFFFFFFFF : (bits == 16 ? 0xFFFF : (bits == 8 ? 0xFF : 0xFFFFFF));
        const auto raw = RandomValues(7 * 5, mask, static_cast<unsigned>(bits));
        WriteAll(Path("in.bmp"), MakeBmp(bits, 7, 5, raw));
        CBitmapEx loaded;
        ASSERT_EQ(loaded.LoadFromFile(Path("in.bmp").c_str()), 0);
        ASSERT_EQ(loaded.SaveToFile(Path("out.bmp").c_str()), 0);
        CBitmapEx again;
        ASSERT_EQ(again.LoadFromFile(Path("out.bmp").c_str()), 0);
        ASSERT_EQ(again.Width(), 7);
        ASSERT_EQ(again.Height(), 5);
        EXPECT_EQ(again.m_paletteSize, 0);
        for (std::int32_t y = 0; y < 5; ++y)
            for (std::int32_t x = 0; x < 7; ++x)
                ASSERT_EQ(again.ReadPixel(x, y), Expected(bits, raw[static_cast<std::size_t>(y) * 7 + x]) & 0xFFFFFF)
                    << x << "," << y;
    }
}

TEST_F(CBitmapExFiles, FailedLoadsKeepOrDropTheImage)
{
    CBitmapEx image;
    ASSERT_EQ(image.CreateBlank(2, 2), 0);
    image.WritePixel(1, 1, 0x123456);
    // Files that cannot be opened leave the image in place.
    EXPECT_EQ(image.LoadFromFile(Path("missing.bmp").c_str()), -1);
    EXPECT_EQ(image.LoadFromFile(m_dir.c_str()), -1);
    EXPECT_EQ(image.LoadFromFile(nullptr), -1);
    EXPECT_EQ(image.ReadPixel(1, 1), 0x123456u);
    // A file that opens but is not an accepted bitmap leaves the raster empty.
    Bytes file = MakeBmp(24, 2, 2, {1, 2, 3, 4});
    file.pop_back();
    WriteAll(Path("short.bmp"), file);
    EXPECT_EQ(image.LoadFromFile(Path("short.bmp").c_str()), -1);
    ExpectEmpty(image);
}

TEST_F(CBitmapExFiles, FailedSavesKeepTheOldFile)
{
    CBitmapEx good;
    ASSERT_EQ(good.CreateBlank(3, 3), 0);
    Fill(good, RandomValues(9, 0xFFFFFF, 5));
    ASSERT_EQ(good.SaveToFile(Path("terrain.bmp").c_str()), 0);
    const Bytes before = ReadAll(Path("terrain.bmp"));

    CBitmapEx empty;
    EXPECT_EQ(empty.SaveToFile(Path("terrain.bmp").c_str()), -1);
    EXPECT_EQ(good.SaveToFile(nullptr), -1);
    EXPECT_EQ(good.SaveToFile(Path("no/such/folder.bmp").c_str()), -1);
    fs::create_directory(m_dir / "folder");
    EXPECT_EQ(good.SaveToFile(Path("folder").c_str()), -1);
    EXPECT_TRUE(fs::is_directory(m_dir / "folder"));

    // A disk that fills up in mid-write: the file size limit stands in for it.
    CBitmapEx big;
    ASSERT_EQ(big.CreateBlank(600, 600), 0);
    Fill(big, RandomValues(600 * 600, 0xFFFFFF, 6));
    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit limit = old;
    limit.rlim_cur = 100000;
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const int status = big.SaveToFile(Path("terrain.bmp").c_str());
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(status, -1);

    if (::geteuid() != 0) {
        fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(good.SaveToFile(Path("terrain.bmp").c_str()), -1);
        fs::permissions(m_dir, fs::perms::owner_all);
    }
    EXPECT_EQ(ReadAll(Path("terrain.bmp")), before);
    EXPECT_EQ(FileCount(), 2u); // terrain.bmp and folder, no temporary files
}

#ifdef VP_HAVE_QT
TEST_F(CBitmapExFiles, QtReadsOurFiles)
{
    for (std::int32_t width : {1, 5, 8, 31}) {
        CBitmapEx image;
        ASSERT_EQ(image.CreateBlank(width, 6), 0);
        const auto values = RandomValues(static_cast<std::size_t>(width) * 6, 0xFFFFFFFF, static_cast<unsigned>(width));
        Fill(image, values);
        ASSERT_EQ(image.SaveToFile(Path("qt.bmp").c_str()), 0);
        QImage qt;
        ASSERT_TRUE(qt.load(QString::fromStdString(Path("qt.bmp")), "BMP")) << width;
        ASSERT_EQ(qt.width(), width);
        ASSERT_EQ(qt.height(), 6);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(qt.pixel(x, y) & 0xFFFFFFu, values[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF)
                    << x << "," << y;
    }
}

TEST_F(CBitmapExFiles, WeReadQtFiles)
{
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888, QImage::Format_Indexed8}) {
        QImage qt(13, 7, QImage::Format_RGB32);
        const auto values = RandomValues(13 * 7, 0xFFFFFF, 21);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x)
                qt.setPixel(x, y, 0xFF000000u | values[static_cast<std::size_t>(y) * 13 + x]);
        if (format == QImage::Format_Indexed8) {
            qt = qt.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
        } else {
            qt = qt.convertToFormat(format);
        }
        ASSERT_TRUE(qt.save(QString::fromStdString(Path("from-qt.bmp")), "BMP"));
        const Bytes file = ReadAll(Path("from-qt.bmp"));
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(file[28], format == QImage::Format_Indexed8 ? 8 : 24); // the depths this test means to cover
        CBitmapEx image;
        ASSERT_EQ(image.LoadFromFile(Path("from-qt.bmp").c_str()), 0) << static_cast<int>(format);
        ASSERT_EQ(image.Width(), 13);
        ASSERT_EQ(image.Height(), 7);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(image.ReadPixel(x, y) & 0xFFFFFFu, qt.pixel(x, y) & 0xFFFFFFu) << x << "," << y;
    }
}
#endif
