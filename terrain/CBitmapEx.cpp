#include "terrain/CBitmapEx.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t kHeadersBytes = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
constexpr std::uint16_t kBitmapType = 0x4D42; // "BM"
// Packed rows are written in pieces of about this size.
constexpr std::size_t kWriteChunkBytes = std::size_t{1} << 20;

std::uint64_t PaddedRowBytes(std::uint64_t width, std::uint64_t bytesPerPixel)
{
    return (width * bytesPerPixel + 3) & ~std::uint64_t{3};
}

// Where the pieces of an accepted file lie; produced by ParseHeaders.
struct FileLayout {
    BITMAPFILEHEADER fileHeader;
    BITMAPINFOHEADER infoHeader;
    std::int32_t width;
    std::int32_t height;     // always positive
    bool topDown;
    std::int32_t bytesPerPixel;
    std::int32_t paletteSize;
    RGBQUAD palette[256];
    std::uint64_t rowBytes;   // padded source row
    std::uint64_t pixelOffset;
    std::uint64_t pixelBytes; // rowBytes * height
};

// Validates the headers found in `head` (the first `headBytes` bytes of a
// file of `fileBytes` bytes) and fills `layout`. False for anything the
// reader does not accept (see the class comment).
bool ParseHeaders(const std::uint8_t* head, std::size_t headBytes, std::uint64_t fileBytes, FileLayout& layout)
{
    if (headBytes < kHeadersBytes || fileBytes < kHeadersBytes)
        return false;
    std::memcpy(&layout.fileHeader, head, sizeof(BITMAPFILEHEADER));
    std::memcpy(&layout.infoHeader, head + sizeof(BITMAPFILEHEADER), sizeof(BITMAPINFOHEADER));
    const BITMAPINFOHEADER& ih = layout.infoHeader;
    if (ih.biSize != sizeof(BITMAPINFOHEADER) || ih.biCompression != 0)
        return false;
    if (ih.biBitCount != 8 && ih.biBitCount != 16 && ih.biBitCount != 24 && ih.biBitCount != 32)
        return false;
    if (ih.biWidth <= 0 || ih.biHeight == 0 || ih.biHeight == INT32_MIN)
        return false;
    layout.width = ih.biWidth;
    layout.topDown = ih.biHeight < 0;
    layout.height = layout.topDown ? -ih.biHeight : ih.biHeight;
    const std::uint64_t pixels = static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.height);
    if (pixels * 4 > INT32_MAX - kHeadersBytes)
        return false;
    layout.bytesPerPixel = ih.biBitCount / 8;
    layout.rowBytes = PaddedRowBytes(static_cast<std::uint64_t>(layout.width), static_cast<std::uint64_t>(layout.bytesPerPixel));
    layout.pixelBytes = layout.rowBytes * static_cast<std::uint64_t>(layout.height);

    std::memset(layout.palette, 0, sizeof(layout.palette));
    layout.paletteSize = 0;
    if (ih.biBitCount == 8) {
        if (ih.biClrUsed > 256)
            return false;
        layout.paletteSize = ih.biClrUsed == 0 ? 256 : static_cast<std::int32_t>(ih.biClrUsed);
    }
    const std::uint64_t paletteEnd = kHeadersBytes + static_cast<std::uint64_t>(layout.paletteSize) * sizeof(RGBQUAD);
    if (paletteEnd > headBytes || paletteEnd > fileBytes)
        return false;
    std::memcpy(layout.palette, head + kHeadersBytes, static_cast<std::size_t>(layout.paletteSize) * sizeof(RGBQUAD));

    layout.pixelOffset = layout.fileHeader.bfOffBits;
    if (layout.pixelOffset < paletteEnd || layout.pixelOffset > fileBytes
        || fileBytes - layout.pixelOffset < layout.pixelBytes)
        return false;
    return true;
}

// Converts `height` rows of `bytesPerPixel`-byte pixels, `srcRowBytes` apart,
// into 32-bit values, `width` per row. With `flip` source row r becomes
// destination row height - 1 - r. `palette` serves 1-byte pixels.
void ExpandRows(const std::uint8_t* src, std::uint64_t srcRowBytes, std::int32_t bytesPerPixel, std::int32_t width,
    std::int32_t height, const RGBQUAD* palette, bool flip, std::uint32_t* dst)
{
    std::uint32_t lut[256];
    if (bytesPerPixel == 1) {
        for (int i = 0; i < 256; ++i)
            lut[i] = static_cast<std::uint32_t>(palette[i].rgbRed) << 16
                | static_cast<std::uint32_t>(palette[i].rgbGreen) << 8 | palette[i].rgbBlue;
    }
    const std::size_t w = static_cast<std::size_t>(width);
    for (std::int32_t r = 0; r < height; ++r) {
        const std::uint8_t* s = src + static_cast<std::uint64_t>(r) * srcRowBytes;
        std::uint32_t* d = dst + static_cast<std::size_t>(flip ? height - 1 - r : r) * w;
        switch (bytesPerPixel) {
        case 1:
            for (std::size_t x = 0; x < w; ++x)
                d[x] = lut[s[x]];
            break;
        case 2:
            for (std::size_t x = 0; x < w; ++x) {
                const std::uint32_t v = s[2 * x] | static_cast<std::uint32_t>(s[2 * x + 1]) << 8;
                d[x] = ((v >> 10) & 31) << 16 | ((v >> 5) & 31) << 8 | (v & 31);
            }
            break;
        case 3:
            for (std::size_t x = 0; x < w; ++x)
                d[x] = static_cast<std::uint32_t>(s[3 * x + 2]) << 16 | static_cast<std::uint32_t>(s[3 * x + 1]) << 8
                    | s[3 * x];
            break;
        default:
            std::memcpy(d, s, w * 4);
            break;
        }
    }
}

std::size_t BlockBytes(const FileLayout& layout)
{
    return std::size_t{4} * static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height);
}

// Gives a raster whose block already holds the image in 32-bit form the
// headers and bookkeeping of that image.
void AdoptHeaders(CBitmapEx& bitmap, const FileLayout& layout)
{
    const std::size_t bytes = BlockBytes(layout);
    bitmap.m_fileHeader = layout.fileHeader;
    bitmap.m_infoHeader = layout.infoHeader;
    bitmap.m_infoHeader.biHeight = layout.height;
    bitmap.m_infoHeader.biBitCount = 32;
    bitmap.m_fileHeader.bfSize = static_cast<std::uint32_t>(bytes) + kHeadersBytes;
    bitmap.m_fileHeader.bfOffBits = kHeadersBytes;
    bitmap.m_paletteSize = layout.paletteSize;
    std::memcpy(bitmap.m_palette, layout.palette, sizeof(bitmap.m_palette));
    bitmap.m_bytesPerPixel = 4;
    bitmap.m_rowBytes = 4 * layout.width;
    bitmap.m_imageBytes = static_cast<std::int32_t>(bytes);
}

// Expands the file's rows, read into the last pixelBytes bytes of the 32-bit
// block, in place, first row first. A padded source row is never longer than
// a 32-bit row, so destination row r ends no later than source row r + 1
// starts; each source row is copied aside before its destination row is
// written over it. Rows stay in file order. False when out of memory.
bool ExpandInPlace(std::uint8_t* block, const FileLayout& layout)
{
    const std::size_t width = static_cast<std::size_t>(layout.width);
    const std::size_t rowBytes = static_cast<std::size_t>(layout.rowBytes);
    if (layout.bytesPerPixel == 4)
        return true; // the rows are already in place
    const std::uint8_t* source = block + (BlockBytes(layout) - static_cast<std::size_t>(layout.pixelBytes));
    auto* scratch = static_cast<std::uint8_t*>(std::malloc(rowBytes));
    if (scratch == nullptr)
        return false;
    auto* pixels = reinterpret_cast<std::uint32_t*>(block);
    for (std::int32_t r = 0; r < layout.height; ++r) {
        std::memcpy(scratch, source + static_cast<std::size_t>(r) * rowBytes, rowBytes);
        ExpandRows(scratch, rowBytes, layout.bytesPerPixel, layout.width, 1, layout.palette, false,
            pixels + static_cast<std::size_t>(r) * width);
    }
    std::free(scratch);
    return true;
}

static_assert(std::endian::native == std::endian::little, "the file layouts are written from memory as they stand");

// Packs `rows` rows of 32-bit pixels into 24-bit rows of `dstRowBytes`,
// padding zeroed.
void PackRows(const std::uint32_t* src, std::int32_t width, std::int32_t rows, std::size_t dstRowBytes, std::uint8_t* dst)
{
    const std::size_t w = static_cast<std::size_t>(width);
    for (std::int32_t r = 0; r < rows; ++r) {
        const std::uint32_t* s = src + static_cast<std::size_t>(r) * w;
        std::uint8_t* d = dst + static_cast<std::size_t>(r) * dstRowBytes;
        // Each pixel is stored as 4 little-endian bytes whose last one the
        // next pixel overwrites; the row's last pixel takes its 3 bytes alone.
        for (std::size_t x = 0; x + 1 < w; ++x) {
            const std::uint32_t bgr = s[x];
            std::memcpy(d + 3 * x, &bgr, 4);
        }
        if (w > 0) {
            const std::uint32_t bgr = s[w - 1];
            d[3 * w - 3] = static_cast<std::uint8_t>(bgr);
            d[3 * w - 2] = static_cast<std::uint8_t>(bgr >> 8);
            d[3 * w - 1] = static_cast<std::uint8_t>(bgr >> 16);
        }
        std::memset(d + 3 * w, 0, dstRowBytes - 3 * w);
    }
}

// pread until `bytes` are in or the file ends; true when all arrived.
bool ReadFully(int fd, void* buffer, std::uint64_t bytes, std::uint64_t offset)
{
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (bytes > 0) {
        const ssize_t n = ::pread(fd, p, bytes, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        bytes -= static_cast<std::uint64_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool WriteFully(int fd, const void* buffer, std::size_t bytes)
{
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    while (bytes > 0) {
        const ssize_t n = ::write(fd, p, bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

// Opens a new file next to `path` for writing; its name goes to `tempPath`.
// Created with mode 0666 less the umask, as the target would be. -1 on failure.
int CreateTempFile(const std::string& path, std::string& tempPath)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Makes a completed rename durable; failures here do not undo the save.
void SyncParentFolder(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

CBitmapEx::CBitmapEx()
    : m_fileHeader{}, m_infoHeader{}, m_paletteSize(0), m_palette{}, m_rowBytes(0), m_bytesPerPixel(0),
      m_imageBytes(0), m_pixels(nullptr)
{
}

CBitmapEx::~CBitmapEx()
{
    std::free(m_pixels);
}

void CBitmapEx::Reset()
{
    std::free(m_pixels);
    m_pixels = nullptr;
    m_fileHeader = {};
    m_infoHeader = {};
    m_paletteSize = 0;
    std::memset(m_palette, 0, sizeof(m_palette));
    m_rowBytes = 0;
    m_bytesPerPixel = 0;
    m_imageBytes = 0;
}

int CBitmapEx::CreateBlank(std::int32_t width, std::int32_t height)
{
    Reset();
    width = width < 0 ? 0 : width;
    height = height < 0 ? 0 : height;
    const std::uint64_t bytes = std::uint64_t{4} * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (bytes > INT32_MAX - kHeadersBytes)
        return -1;
    if (bytes > 0) {
        m_pixels = static_cast<std::uint8_t*>(std::malloc(bytes));
        if (m_pixels == nullptr)
            return -1;
    }
    m_fileHeader.bfType = kBitmapType;
    m_fileHeader.bfSize = static_cast<std::uint32_t>(bytes) + kHeadersBytes;
    m_fileHeader.bfOffBits = kHeadersBytes;
    m_infoHeader.biSize = sizeof(BITMAPINFOHEADER);
    m_infoHeader.biWidth = width;
    m_infoHeader.biHeight = height;
    m_infoHeader.biPlanes = 1;
    m_infoHeader.biBitCount = 32;
    m_bytesPerPixel = 4;
    m_rowBytes = 4 * width;
    m_imageBytes = static_cast<std::int32_t>(bytes);
    return 0;
}

int CBitmapEx::LoadFromFile(const char* path)
{
    if (path == nullptr)
        return -1;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    Reset();
    const std::uint64_t fileBytes = static_cast<std::uint64_t>(info.st_size);
    std::uint8_t head[kHeadersBytes + 256 * sizeof(RGBQUAD)];
    const std::uint64_t headBytes = fileBytes < sizeof(head) ? fileBytes : sizeof(head);
    FileLayout layout;
    bool ok = ReadFully(fd, head, headBytes, 0) && ParseHeaders(head, headBytes, fileBytes, layout);
    if (ok) {
        // The pixel rows go straight into the tail of the final block and are
        // widened there: no second block, and a single read.
        const std::size_t bytes = BlockBytes(layout);
        m_pixels = static_cast<std::uint8_t*>(std::malloc(bytes));
        ok = m_pixels != nullptr
            && ReadFully(fd, m_pixels + (bytes - static_cast<std::size_t>(layout.pixelBytes)), layout.pixelBytes,
                layout.pixelOffset)
            && ExpandInPlace(m_pixels, layout);
    }
    ::close(fd);
    if (!ok) {
        Reset();
        return -1;
    }
    AdoptHeaders(*this, layout);
    if (layout.topDown)
        FlipRows();
    return 0;
}

int CBitmapEx::LoadFromMemory(const void* data, std::size_t size)
{
    Reset();
    if (data == nullptr)
        return -1;
    const auto* bytesIn = static_cast<const std::uint8_t*>(data);
    FileLayout layout;
    if (!ParseHeaders(bytesIn, size, size, layout))
        return -1;
    m_pixels = static_cast<std::uint8_t*>(std::malloc(BlockBytes(layout)));
    if (m_pixels == nullptr)
        return -1;
    ExpandRows(bytesIn + layout.pixelOffset, layout.rowBytes, layout.bytesPerPixel, layout.width, layout.height,
        layout.palette, layout.topDown, Pixels32());
    AdoptHeaders(*this, layout);
    return 0;
}

int CBitmapEx::SaveToFile(const char* path) const
{
    if (path == nullptr || *path == '\0' || m_pixels == nullptr || m_bytesPerPixel != 4 || m_infoHeader.biWidth <= 0
        || m_infoHeader.biHeight <= 0)
        return -1;
    const std::int32_t width = m_infoHeader.biWidth;
    const std::int32_t height = m_infoHeader.biHeight;
    const std::size_t rowBytes = static_cast<std::size_t>(PaddedRowBytes(static_cast<std::uint64_t>(width), 3));
    const std::uint64_t pixelBytes = static_cast<std::uint64_t>(rowBytes) * static_cast<std::uint64_t>(height);

    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = kBitmapType;
    fileHeader.bfSize = static_cast<std::uint32_t>(pixelBytes + kHeadersBytes);
    fileHeader.bfOffBits = kHeadersBytes;
    BITMAPINFOHEADER infoHeader{};
    infoHeader.biSize = sizeof(BITMAPINFOHEADER);
    infoHeader.biWidth = width;
    infoHeader.biHeight = height;
    infoHeader.biPlanes = 1;
    infoHeader.biBitCount = 24;
    infoHeader.biXPelsPerMeter = m_infoHeader.biXPelsPerMeter;
    infoHeader.biYPelsPerMeter = m_infoHeader.biYPelsPerMeter;

    // The headers lead the first piece, so small files take one write.
    const std::int32_t rowsPerChunk = static_cast<std::int32_t>(
        std::min<std::size_t>(static_cast<std::size_t>(height), std::max<std::size_t>(1, kWriteChunkBytes / rowBytes)));
    auto* chunk = static_cast<std::uint8_t*>(std::malloc(kHeadersBytes + rowBytes * static_cast<std::size_t>(rowsPerChunk)));
    if (chunk == nullptr)
        return -1;
    std::memcpy(chunk, &fileHeader, sizeof(fileHeader));
    std::memcpy(chunk + sizeof(fileHeader), &infoHeader, sizeof(infoHeader));

    const std::string target(path);
    std::string tempPath;
    const int fd = CreateTempFile(target, tempPath);
    bool ok = fd >= 0;
    std::size_t lead = kHeadersBytes;
    for (std::int32_t row = 0; ok && row < height; row += rowsPerChunk) {
        const std::int32_t rows = std::min(rowsPerChunk, height - row);
        PackRows(Pixels32() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width), width, rows, rowBytes,
            chunk + lead);
        ok = WriteFully(fd, chunk, lead + rowBytes * static_cast<std::size_t>(rows));
        lead = 0; // later pieces hold rows only
    }
    std::free(chunk);
    if (fd >= 0) {
        ok = ok && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        ok = ok && ::rename(tempPath.c_str(), target.c_str()) == 0;
        if (!ok)
            ::unlink(tempPath.c_str());
    }
    if (!ok)
        return -1;
    SyncParentFolder(target);
    return 0;
}

int CBitmapEx::ExpandTo32Bit()
{
    if (m_pixels == nullptr || m_infoHeader.biWidth <= 0 || m_infoHeader.biHeight <= 0)
        return 0;
    if (m_bytesPerPixel < 1 || m_bytesPerPixel > 4)
        return -1;
    const std::int32_t width = m_infoHeader.biWidth;
    const std::int32_t height = m_infoHeader.biHeight;
    const std::uint64_t bytes = std::uint64_t{4} * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(m_rowBytes);
    if (bytes > INT32_MAX - kHeadersBytes || rowBytes < static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(m_bytesPerPixel)
        || rowBytes * static_cast<std::uint64_t>(height) > static_cast<std::uint64_t>(m_imageBytes))
        return -1;
    auto* block = static_cast<std::uint8_t*>(std::malloc(bytes));
    if (block == nullptr)
        return -1;
    ExpandRows(m_pixels, rowBytes, m_bytesPerPixel, width, height, m_palette, false,
        reinterpret_cast<std::uint32_t*>(block));
    std::free(m_pixels);
    m_pixels = block;
    m_rowBytes = 4 * width;
    m_bytesPerPixel = 4;
    m_imageBytes = static_cast<std::int32_t>(bytes);
    m_fileHeader.bfSize = static_cast<std::uint32_t>(bytes) + kHeadersBytes;
    m_fileHeader.bfOffBits = kHeadersBytes;
    m_infoHeader.biBitCount = 32;
    return 0;
}

int CBitmapEx::PackTo24Bit()
{
    if (m_pixels == nullptr || m_bytesPerPixel != 4 || m_infoHeader.biWidth <= 0 || m_infoHeader.biHeight <= 0)
        return 0;
    const std::int32_t width = m_infoHeader.biWidth;
    const std::int32_t height = m_infoHeader.biHeight;
    const std::size_t rowBytes = static_cast<std::size_t>(PaddedRowBytes(static_cast<std::uint64_t>(width), 3));
    const std::size_t bytes = rowBytes * static_cast<std::size_t>(height);
    auto* block = static_cast<std::uint8_t*>(std::malloc(bytes));
    if (block == nullptr)
        return -1;
    PackRows(Pixels32(), width, height, rowBytes, block);
    std::free(m_pixels);
    m_pixels = block;
    m_rowBytes = static_cast<std::int32_t>(rowBytes);
    m_bytesPerPixel = 3;
    m_imageBytes = static_cast<std::int32_t>(bytes);
    m_fileHeader.bfSize = static_cast<std::uint32_t>(bytes) + kHeadersBytes;
    m_fileHeader.bfOffBits = kHeadersBytes;
    m_infoHeader.biBitCount = 24;
    return 0;
}

void CBitmapEx::FlipRows()
{
    const std::int32_t height = m_infoHeader.biHeight;
    if (m_pixels == nullptr || height <= 1 || m_rowBytes <= 0
        || static_cast<std::int64_t>(m_rowBytes) * height > m_imageBytes)
        return;
    const std::size_t rowBytes = static_cast<std::size_t>(m_rowBytes);
    for (std::int32_t i = 0; i < height / 2; ++i) {
        std::uint8_t* a = m_pixels + static_cast<std::size_t>(i) * rowBytes;
        std::uint8_t* b = m_pixels + static_cast<std::size_t>(height - 1 - i) * rowBytes;
        std::swap_ranges(a, a + rowBytes, b);
    }
}
