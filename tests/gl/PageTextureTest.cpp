// The page window and margin, and the page texture cut from the colour
// raster: texel (i, j) from pixel (x0 + i, z0 + j), clamped, opaque.
#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "flight/PageTexture.h"
#include "terrain/CBitmapEx.h"
#include "tests/gl/GLTestSupport.h"
#include "tests/support/CRecordingDevice.h"

TEST(PageTextureTest, PageWindowIsHalfTheMapAndMarginAQuarterOfThat)
{
    const struct {
        int w, h, pageW, pageH, margin;
    } cases[] = {
        {8193, 8193, 4096, 4096, 1024}, {100, 60, 50, 30, 12}, {60, 100, 30, 50, 12}, {1025, 1025, 512, 512, 128},
        {3, 3, 1, 1, 0},                {0, 0, 0, 0, 0},       {-5, 9, 0, 4, 1},
    };
    for (const auto& c : cases) {
        const PageWindow page = ComputePageWindow(c.w, c.h);
        EXPECT_EQ(page.width, c.pageW) << c.w << "x" << c.h;
        EXPECT_EQ(page.height, c.pageH) << c.w << "x" << c.h;
        EXPECT_EQ(page.margin, c.margin) << c.w << "x" << c.h;
    }
}

namespace {

// A raster whose pixel (x, y) encodes its own coordinates, with a non-zero
// top byte that the texture must replace.
void CoordinateRaster(CBitmapEx* raster, int width, int height)
{
    ASSERT_EQ(raster->CreateBlank(width, height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            raster->WritePixel(x, y, 0x5A000000u | static_cast<std::uint32_t>(x << 8 | y));
}

std::vector<std::uint32_t> Texels(ITexture* texture)
{
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(0, &locked, 0), 0);
    std::vector<std::uint32_t> texels;
    for (unsigned j = 0; j < texture->Height(); ++j)
        for (unsigned i = 0; i < texture->Width(); ++i)
            texels.push_back(static_cast<const std::uint32_t*>(locked.pBits)[j * (locked.Pitch / 4) + i]);
    texture->UnlockRect(0);
    return texels;
}

} // namespace

TEST(PageTextureTest, TexelsComeFromTheWindowOfTheRasterClampedAndOpaque)
{
    CEglContext context; // never made current: creating and filling needs no GL
    CGLDevice device(&context, 16, 16);
    CBitmapEx raster;
    CoordinateRaster(&raster, 40, 30);
    const struct {
        int x0, z0, width, height;
    } windows[] = {
        {0, 0, 20, 15},   // the first page
        {20, 15, 20, 15}, // the last page, up to the far edges
        {30, 25, 17, 9},  // past the right and bottom edges: clamped
        {-3, -2, 6, 5},   // before the left and top edges: clamped
        {50, 40, 3, 2},   // wholly outside: the corner pixel
        {5, 7, 1, 1},
    };
    for (const auto& w : windows) {
        ITexture* texture = CreatePageTexture(&device, raster, w.x0, w.z0, w.width, w.height);
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->Width(), static_cast<unsigned>(w.width));
        EXPECT_EQ(texture->Height(), static_cast<unsigned>(w.height));
        const std::vector<std::uint32_t> texels = Texels(texture);
        for (int j = 0; j < w.height; ++j)
            for (int i = 0; i < w.width; ++i) {
                const int x = std::clamp(w.x0 + i, 0, 39);
                const int y = std::clamp(w.z0 + j, 0, 29);
                ASSERT_EQ(texels[j * w.width + i], 0xFF000000u | static_cast<std::uint32_t>(x << 8 | y))
                    << "window " << w.x0 << "," << w.z0 << " texel " << i << "," << j;
            }
        texture->Release();
    }
}

TEST(PageTextureTest, EmptyRasterGivesOpaqueBlack)
{
    CEglContext context;
    CGLDevice device(&context, 16, 16);
    CBitmapEx empty;
    ITexture* texture = CreatePageTexture(&device, empty, 0, 0, 4, 3);
    ASSERT_NE(texture, nullptr);
    for (std::uint32_t texel : Texels(texture))
        EXPECT_EQ(texel, 0xFF000000u);
    texture->Release();
}

TEST(PageTextureTest, NoTextureWhenItCannotBeCreatedOrLocked)
{
    CBitmapEx raster;
    CoordinateRaster(&raster, 8, 8);
    CRecordingDevice device(64, 64);
    EXPECT_EQ(CreatePageTexture(nullptr, raster, 0, 0, 4, 4), nullptr);
    EXPECT_EQ(CreatePageTexture(&device, raster, 0, 0, 0, 4), nullptr);
    EXPECT_EQ(CreatePageTexture(&device, raster, 0, 0, 4, -1), nullptr);

    device.SetFailures(DeviceOp::CreateTexture, 1);
    EXPECT_EQ(CreatePageTexture(&device, raster, 0, 0, 4, 4), nullptr);
    device.SetFailures(DeviceOp::TextureLock, 1);
    EXPECT_EQ(CreatePageTexture(&device, raster, 0, 0, 4, 4), nullptr);
    EXPECT_EQ(device.LiveObjects(), 0) << "a texture that could not be locked is released";

    device.ClearCalls();
    ITexture* texture = CreatePageTexture(&device, raster, 0, 0, 4, 4);
    ASSERT_NE(texture, nullptr);
    const std::vector<DeviceCall> calls = device.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].op, DeviceOp::CreateTexture);
    EXPECT_EQ(calls[0].args[2], static_cast<std::int64_t>(D3DX_DEFAULT_MIPLEVELS));
    EXPECT_EQ(calls[0].args[3], D3DFMT_A8R8G8B8);
    EXPECT_EQ(calls[1].op, DeviceOp::TextureLock);
    EXPECT_EQ(calls[1].args[1], static_cast<std::int64_t>(D3DLOCK_DISCARD));
    EXPECT_EQ(calls[2].op, DeviceOp::TextureUnlock);
    texture->Release();
}
