// The device shared by three threads as the simulation shares it: the render
// thread draws frames, a paging-like thread creates, fills and hands over
// vertex buffers and page textures and releases the old ones, and a
// user-interface thread switches the fill mode. Run under ThreadSanitizer too.
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "flight/PageTexture.h"
#include "render/DeviceSetup.h"
#include "terrain/CBitmapEx.h"
#include "tests/gl/GLTestSupport.h"

namespace {

constexpr unsigned kWidth = 96;
constexpr unsigned kHeight = 72;
constexpr int kPages = 4;
constexpr int kTextureSide = 1024;

struct Vertex {
    float x, y, z, nx, ny, nz, u, v;
};

// What the paging thread hands over, guarded like the landscape pointer.
struct Page {
    IVertexBuffer* buffer = nullptr;
    ITexture* texture = nullptr;
    std::uint32_t colour = 0;
};

// A full-screen quad facing the camera at the origin, 10 units ahead.
void FillQuad(IVertexBuffer* buffer)
{
    const Vertex quad[6] = {{-20, -20, 10, 0, 0, -1, 0, 0}, {20, -20, 10, 0, 0, -1, 1, 0},
                            {20, 20, 10, 0, 0, -1, 1, 1},   {-20, -20, 10, 0, 0, -1, 0, 0},
                            {20, 20, 10, 0, 0, -1, 1, 1},   {-20, 20, 10, 0, 0, -1, 0, 1}};
    void* data = nullptr;
    ASSERT_EQ(buffer->Lock(&data), 0);
    std::memcpy(data, quad, sizeof quad);
    buffer->Unlock();
}

} // namespace

TEST(GLThreadsTest, PagingAndDisplayModeThreadsBesideTheRenderThread)
{
    HeadlessDevice gl(kWidth, kHeight);
    if (!gl.device)
        GTEST_SKIP() << "no headless OpenGL 3.3 context";
    CGLDevice& device = *gl.device;
    SetupRenderState(&device);
    // Lighting off: the quad shows the texel itself.
    device.SetRenderState(D3DRS_LIGHTING, 0);
    device.SetTransform(D3DTS_PROJECTION, D3DXMatrixPerspectiveFovLH(1.5707964f, 4.0f / 3.0f, 1.0f, 5000.0f));

    std::mutex pageLock;
    Page current;
    std::atomic<bool> pagingDone{false};
    std::atomic<bool> stop{false};

    std::thread paging([&]() {
        CBitmapEx raster;
        ASSERT_EQ(raster.CreateBlank(kTextureSide, kTextureSide), 0);
        for (int page = 0; page < kPages; ++page) {
            const std::uint32_t colour = 0x00204060u + static_cast<std::uint32_t>(page) * 0x00300000u;
            for (std::int32_t y = 0; y < kTextureSide; ++y)
                for (std::int32_t x = 0; x < kTextureSide; ++x)
                    raster.WritePixel(x, y, colour);
            Page next;
            next.colour = colour;
            ASSERT_EQ(device.CreateVertexBuffer(96000000, 0, FVF_LANDSCAPE, D3DPOOL_SYSTEMMEM, &next.buffer), 0);
            FillQuad(next.buffer);
            next.texture = CreatePageTexture(&device, raster, 0, 0, kTextureSide, kTextureSide);
            ASSERT_NE(next.texture, nullptr);
            Page old;
            {
                std::lock_guard<std::mutex> lock(pageLock);
                old = current;
                current = next;
                if (old.buffer != nullptr) {
                    old.buffer->Release();
                    old.texture->Release();
                }
            }
        }
        pagingDone = true;
    });
    std::thread ui([&]() {
        bool wire = false;
        while (!stop) {
            wire = !wire;
            SetFillMode(&device, wire);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        SetFillMode(&device, false);
    });

    auto frame = [&]() {
        device.SetTransform(D3DTS_VIEW, D3DXMATRIX(1.0f));
        device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        device.BeginScene();
        DrawAxes(&device);
        {
            std::lock_guard<std::mutex> lock(pageLock);
            if (current.buffer != nullptr) {
                device.SetTexture(0, current.texture);
                device.SetStreamSource(0, current.buffer, 0, sizeof(Vertex));
                device.SetFVF(FVF_LANDSCAPE);
                EXPECT_EQ(device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), 0);
            }
        }
        device.EndScene();
        device.Present();
    };
    int frames = 0;
    while (!pagingDone || frames < 20) {
        frame();
        ++frames;
    }
    stop = true;
    ui.join();
    paging.join();

    // The last page is drawn in full with its own texels, solid again.
    frame();
    const std::vector<std::uint32_t> pixels = gl.Frame();
    EXPECT_EQ(pixels[(kHeight / 2) * kWidth + kWidth / 2], 0xFF000000u | current.colour);
    EXPECT_EQ(pixels[5 * kWidth + 5], 0xFF000000u | current.colour);
    EXPECT_EQ(device.ForeignThreadCalls(), 0u);
    current.buffer->Release();
    current.texture->Release();
}
