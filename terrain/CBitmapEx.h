#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

// On-disk BMP headers with the exact layout of the file (little-endian
// fields; this code runs on little-endian machines only). Only the file
// header needs byte packing; its 32-bit fields are unaligned, so copy them
// (bfSize + 0) rather than bind references to them.
#pragma pack(push, 1)
struct BITMAPFILEHEADER {
    std::uint16_t bfType;      // "BM" = 0x4D42
    std::uint32_t bfSize;      // whole file in bytes
    std::uint16_t bfReserved1;
    std::uint16_t bfReserved2;
    std::uint32_t bfOffBits;   // offset of the pixel rows from the start of the file
};
#pragma pack(pop)

struct BITMAPINFOHEADER {
    std::uint32_t biSize;      // 40
    std::int32_t biWidth;
    std::int32_t biHeight;     // > 0: rows bottom-up
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};

struct RGBQUAD {
    std::uint8_t rgbBlue;
    std::uint8_t rgbGreen;
    std::uint8_t rgbRed;
    std::uint8_t rgbReserved;
};
static_assert(sizeof(BITMAPFILEHEADER) == 14);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(RGBQUAD) == 4);

// An image in memory together with the BMP headers and palette it came with.
//
// Between calls a raster is either empty (m_pixels null, m_imageBytes 0) or
// holds one malloc'd block of 32-bit pixels 0x00RRGGBB (blue in the low byte),
// 4 x width bytes per row without padding, rows stored bottom-up: block row 0
// is the bottom row of the image. Pixel coordinates (x, y) elsewhere count y
// from the top row, so image row y is block row height - 1 - y. The
// heightmap's elevation level is the red channel, (value >> 16) & 0xFF.
// A raster loaded from a 32-bit file keeps the file's fourth byte in the top
// byte; every other raster has 0 there.
//
// Files read: a 14-byte file header, a 40-byte info header, for 8 bits per
// pixel a palette of biClrUsed entries (256 when biClrUsed is 0), and the
// pixel rows at bfOffBits, each padded to a multiple of 4 bytes. Depths 8
// (palette indices; an index beyond the palette read gives 0), 16 (5-5-5,
// the 5-bit values go into the channels unscaled), 24 and 32, uncompressed.
// Top-down files (negative biHeight) are read correctly: the rows are put in
// bottom-up order and biHeight is stored positive. Everything else loads as
// an empty raster: fewer than 8 or an unknown number of bits per pixel, an
// info header other than 40 bytes, any compression (bit fields included),
// more than 256 palette entries, a zero or negative width or a zero height,
// a 32-bit block larger than INT32_MAX bytes, bfOffBits pointing into the
// headers or palette, and a file shorter than its headers say.
//
// Files written: always 24 bits per pixel, bottom-up, 54-byte headers with
// the palette-free values of the info header (biSize 40, biPlanes 1, no
// compression, biSizeImage, biClrUsed and biClrImportant 0), zero padding.
//
// No locking. Loading, saving and every mutator belong to one thread at a
// time; any number of threads may call the const members of a raster that
// nobody modifies.
class CBitmapEx {
public:
    CBitmapEx();
    virtual ~CBitmapEx();
    CBitmapEx(const CBitmapEx&) = delete;
    CBitmapEx& operator=(const CBitmapEx&) = delete;

    // A 32-bit raster of width x height whose pixels are NOT cleared (every
    // caller writes every pixel). A negative size is taken as 0; a raster of
    // no pixels is empty but keeps the size in its header. Returns 0, or -1
    // when the block would exceed INT32_MAX bytes or cannot be allocated (the
    // raster is then empty with width and height 0).
    int CreateBlank(std::int32_t width, std::int32_t height);

    // Reads a BMP file with one read of its pixel rows, straight into the
    // 32-bit block where they are widened (no second block). A null path, or
    // a file that cannot be opened or is not a regular file, returns -1 and
    // leaves the raster exactly as it was. Otherwise the current image is dropped first:
    // 0 means the raster now holds the file's image, -1 that it is empty
    // (headers zeroed, width and height 0).
    int LoadFromFile(const char* path);

    // Same as LoadFromFile for a whole file image held in memory; the raster
    // is always replaced (empty on -1). `data` may be null when size is 0.
    int LoadFromMemory(const void* data, std::size_t size);

    // Writes the raster as a 24-bit BMP file. The file is written under a
    // temporary name in the same folder, flushed to disk and renamed over
    // `path` only when complete, so a failed save leaves any earlier file at
    // `path` untouched (a symbolic link at `path` is replaced, not followed).
    // Returns 0 when the file was written, -1 otherwise (null path, empty
    // raster, a raster not in 32-bit form, or any I/O failure). The raster
    // itself is not changed.
    int SaveToFile(const char* path) const;

    // Converts the block to 32 bits per pixel (the form every raster has
    // between calls) from rows of m_rowBytes holding m_bytesPerPixel-byte
    // pixels: 1 = index into m_palette, 2 = 5-5-5 word, 3 = blue, green,
    // red, 4 = copied unchanged. Sets
    // m_rowBytes, m_bytesPerPixel, m_imageBytes, bfSize, bfOffBits and
    // biBitCount. Nothing happens on an empty raster. Returns 0, or -1 when
    // the new block cannot be allocated (the raster is then unchanged).
    int ExpandTo32Bit();

    // Converts a 32-bit block to 24 bits per pixel, rows padded to a multiple
    // of 4 bytes (padding zero). Same fields rewritten as ExpandTo32Bit.
    // Nothing happens on an empty raster or one not in 32-bit form. Returns 0,
    // or -1 when the new block cannot be allocated (raster unchanged).
    int PackTo24Bit();

    // Reverses the order of the block's rows in place; an odd height keeps
    // its middle row. Nothing happens on an empty raster.
    void FlipRows();

    // Pixel (x, y), y counted from the top row; both coordinates are clamped
    // into the raster. Reads the 4 bytes at x * m_bytesPerPixel +
    // (height - 1 - y) * m_rowBytes rounded down to a multiple of 4 (exact on
    // a 32-bit raster). An empty raster reads 0 and ignores writes.
    std::uint32_t ReadPixel(std::int32_t x, std::int32_t y) const
    {
        const std::int64_t offset = PixelOffset(x, y);
        if (offset < 0)
            return 0;
        std::uint32_t value;
        std::memcpy(&value, m_pixels + offset, 4);
        return value;
    }

    void WritePixel(std::int32_t x, std::int32_t y, std::uint32_t value)
    {
        const std::int64_t offset = PixelOffset(x, y);
        if (offset >= 0)
            std::memcpy(m_pixels + offset, &value, 4);
    }

    std::int32_t Width() const { return m_infoHeader.biWidth; }
    std::int32_t Height() const { return m_infoHeader.biHeight; }
    bool HasPixels() const { return m_pixels != nullptr; }

    // The 32-bit block in memory order (bottom row first, Width() values per
    // row), for callers that walk a whole raster; null when empty. Only
    // meaningful while m_bytesPerPixel is 4, which holds between calls.
    std::uint32_t* Pixels32() { return reinterpret_cast<std::uint32_t*>(m_pixels); }
    const std::uint32_t* Pixels32() const { return reinterpret_cast<const std::uint32_t*>(m_pixels); }

    BITMAPFILEHEADER m_fileHeader;
    BITMAPINFOHEADER m_infoHeader;
    std::int32_t m_paletteSize;
    RGBQUAD m_palette[256];
    std::int32_t m_rowBytes;
    std::int32_t m_bytesPerPixel;
    std::int32_t m_imageBytes;
    std::uint8_t* m_pixels;

private:
    // Byte offset of the clamped pixel, or -1 when there is no 4-byte value
    // to address.
    std::int64_t PixelOffset(std::int32_t x, std::int32_t y) const
    {
        if (m_pixels == nullptr || m_imageBytes < 4 || m_infoHeader.biWidth <= 0 || m_infoHeader.biHeight <= 0)
            return -1;
        const std::int32_t w = m_infoHeader.biWidth;
        const std::int32_t h = m_infoHeader.biHeight;
        x = x < 0 ? 0 : (x >= w ? w - 1 : x);
        y = y < 0 ? 0 : (y >= h ? h - 1 : y);
        std::int64_t offset = static_cast<std::int64_t>(x) * m_bytesPerPixel
            + static_cast<std::int64_t>(h - 1 - y) * m_rowBytes;
        offset &= ~static_cast<std::int64_t>(3);
        return offset <= m_imageBytes - 4 ? offset : m_imageBytes - 4;
    }

    // Frees the block and returns to the state of a new raster.
    void Reset();
};
