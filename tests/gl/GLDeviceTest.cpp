// Pixel checks of the OpenGL device: fixed-function lighting times the
// texel, the axis colours, wireframe against solid fill, the depth buffer,
// the calls the device must refuse, and a texture arriving in slices.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "render/DeviceSetup.h"
#include "render/gl/Direct3D.h"
#include "tests/gl/GLTestSupport.h"

namespace {

constexpr unsigned kWidth = 160;
constexpr unsigned kHeight = 120;

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
static_assert(sizeof(LitVertex) == 32);

struct ColourVertex {
    float x, y, z;
    D3DCOLOR colour;
};

D3DXMATRIX Projection() { return D3DXMatrixPerspectiveFovLH(1.5707964f, 4.0f / 3.0f, 1.0f, 5000.0f); }

// Pixel of world point p under the device's view and projection.
bool ProjectToPixel(const D3DXMATRIX& view, const D3DXMATRIX& projection, const glm::vec3& p, int* x, int* y)
{
    const glm::vec4 clip = projection * view * glm::vec4(p, 1.0f);
    if (clip.w <= 0.0f)
        return false;
    *x = static_cast<int>((clip.x / clip.w + 1.0f) * 0.5f * kWidth);
    *y = static_cast<int>((1.0f - clip.y / clip.w) * 0.5f * kHeight);
    return *x >= 1 && *y >= 1 && *x < static_cast<int>(kWidth) - 1 && *y < static_cast<int>(kHeight) - 1;
}

// A flat quad at y = 0 from -1000 to 1000 in x and z, every vertex with the
// given normal, seen from 100 units above the origin looking straight down.
class FlatQuadScene {
public:
    explicit FlatQuadScene(CGLDevice& device, glm::vec3 normal) : m_device(device)
    {
        const LitVertex corners[4] = {{-1000, 0, -1000, normal.x, normal.y, normal.z, 0, 0},
                                      {1000, 0, -1000, normal.x, normal.y, normal.z, 1, 0},
                                      {1000, 0, 1000, normal.x, normal.y, normal.z, 1, 1},
                                      {-1000, 0, 1000, normal.x, normal.y, normal.z, 0, 1}};
        const LitVertex triangles[6] = {corners[0], corners[1], corners[2], corners[0], corners[2], corners[3]};
        EXPECT_EQ(device.CreateVertexBuffer(sizeof triangles, 0, FVF_LANDSCAPE, D3DPOOL_SYSTEMMEM, &m_buffer), 0);
        void* data = nullptr;
        EXPECT_EQ(m_buffer->Lock(&data), 0);
        std::memcpy(data, triangles, sizeof triangles);
        EXPECT_EQ(m_buffer->Unlock(), 0);
        device.SetTransform(D3DTS_PROJECTION, Projection());
        device.SetTransform(D3DTS_VIEW, D3DXMatrixLookAtLH({0, 100, 0}, {0, 0, 0}, {0, 0, 1}));
    }
    ~FlatQuadScene() { m_buffer->Release(); }

    void Draw(ITexture* texture)
    {
        m_device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        ASSERT_EQ(m_device.BeginScene(), 0);
        m_device.SetTexture(0, texture);
        m_device.SetStreamSource(0, m_buffer, 0, sizeof(LitVertex));
        m_device.SetFVF(FVF_LANDSCAPE);
        EXPECT_EQ(m_device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), 0);
        m_device.EndScene();
        m_device.Present();
    }

private:
    CGLDevice& m_device;
    IVertexBuffer* m_buffer = nullptr;
};

ITexture* SolidTexture(IDevice& device, D3DCOLOR colour)
{
    ITexture* texture = nullptr;
    EXPECT_EQ(device.CreateTexture(4, 4, 0, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture), 0);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(0, &locked, D3DLOCK_DISCARD), 0);
    EXPECT_EQ(locked.Pitch, 16);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            static_cast<std::uint32_t*>(locked.pBits)[j * locked.Pitch / 4 + i] = colour;
    EXPECT_EQ(texture->UnlockRect(0), 0);
    return texture;
}

} // namespace

class GLDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_gl.device)
            GTEST_SKIP() << "no headless OpenGL 3.3 context";
    }
    HeadlessDevice m_gl{kWidth, kHeight};
};

TEST_F(GLDeviceTest, LitColourIsAmbientPlusDiffuseTimesTexel)
{
    struct Case {
        glm::vec3 normal;
        D3DCOLOR texel; // 0: no texture
    };
    const float s = std::sqrt(0.5f);
    const Case cases[] = {
        {{0, 1, 0}, 0},                 // flat ground, untextured: ambient + 0.577 diffuse
        {{0, 1, 0}, 0xFFB47C3C},        // flat ground times a brown texel
        {{0, 1, 0}, 0x00FFFFFF},        // the texel's alpha does not matter
        {{-s, 0, -s}, 0xFF808080},      // facing the light: saturates at the texel
        {{s, 0, s}, 0xFFFFFFFF},        // facing away: ambient only
        {{0, 0.5f, 0}, 0xFFFFFFFF},     // unnormalised normals are used as they come
    };
    SetupRenderState(m_gl.device.get());
    const glm::vec3 direction = glm::normalize(glm::vec3(1, -1, 1));
    for (const Case& c : cases) {
        FlatQuadScene scene(*m_gl.device, c.normal);
        ITexture* texture = c.texel != 0 ? SolidTexture(*m_gl.device, c.texel) : nullptr;
        scene.Draw(texture);
        const std::vector<std::uint32_t> frame = m_gl.Frame();
        const float lit =
            std::min(1.0f, 0.5f * 200.0f / 255.0f + std::max(0.0f, glm::dot(c.normal, -direction)));
        const D3DCOLOR texel = c.texel != 0 ? c.texel : 0xFFFFFFFF;
        const std::uint32_t centre = frame[(kHeight / 2) * kWidth + kWidth / 2];
        EXPECT_TRUE(Near(centre, static_cast<int>(std::lround(lit * Red(texel))),
                         static_cast<int>(std::lround(lit * Green(texel))),
                         static_cast<int>(std::lround(lit * Blue(texel))), 3))
            << std::hex << "centre 0x" << centre << " texel 0x" << c.texel;
        if (texture != nullptr)
            texture->Release();
    }
}

TEST_F(GLDeviceTest, TextureLockedAgainAfterItsUploadShowsItsNewTexels)
{
    // Once drawn, a texture's texels live in GL alone; a later lock must
    // still hand out writable texels, and its unlock bring them to GL.
    SetupRenderState(m_gl.device.get());
    FlatQuadScene scene(*m_gl.device, {0, 1, 0});
    ITexture* texture = SolidTexture(*m_gl.device, 0xFFFF0000);
    scene.Draw(texture);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, D3DLOCK_DISCARD), 0);
    ASSERT_NE(locked.pBits, nullptr);
    std::fill_n(static_cast<std::uint32_t*>(locked.pBits), 16, 0xFF00FF00u);
    ASSERT_EQ(texture->UnlockRect(0), 0);
    scene.Draw(texture);
    const std::uint32_t centre = m_gl.Frame()[(kHeight / 2) * kWidth + kWidth / 2];
    EXPECT_TRUE(Red(centre) == 0 && Green(centre) > 0 && Blue(centre) == 0) << std::hex << "0x" << centre;
    texture->Release();
}

TEST_F(GLDeviceTest, AxisLinesShowTheirOwnColours)
{
    SetupRenderState(m_gl.device.get());
    const D3DXMATRIX view = D3DXMatrixLookAtLH({-250, 300, -350}, {150, 100, 150}, {0, 1, 0});
    m_gl.device->SetTransform(D3DTS_PROJECTION, Projection());
    m_gl.device->SetTransform(D3DTS_VIEW, view);
    m_gl.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    m_gl.device->BeginScene();
    DrawAxes(m_gl.device.get());
    m_gl.device->EndScene();
    m_gl.device->Present();
    const std::vector<std::uint32_t> frame = m_gl.Frame();

    const struct {
        glm::vec3 point;
        std::uint32_t colour;
    } axes[] = {{{300, 0, 0}, 0xFFFFFFFF}, {{0, 300, 0}, 0xFF0000FF}, {{0, 0, 300}, 0xFFFF0000}};
    for (const auto& axis : axes) {
        int x = 0, y = 0;
        ASSERT_TRUE(ProjectToPixel(view, Projection(), axis.point, &x, &y));
        bool found = false;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                found = found || frame[(y + dy) * kWidth + (x + dx)] == axis.colour;
        EXPECT_TRUE(found) << std::hex << "colour 0x" << axis.colour << " near " << std::dec << x << "," << y;
    }
}

TEST_F(GLDeviceTest, WireframeLeavesBackgroundWhereSolidFillsAndSwitchesFromAnyThread)
{
    SetupRenderState(m_gl.device.get());
    FlatQuadScene scene(*m_gl.device, {0, 1, 0});
    const auto background = [&]() {
        const std::vector<std::uint32_t> frame = m_gl.Frame();
        int black = 0;
        for (unsigned y = 20; y < kHeight - 20; ++y)
            for (unsigned x = 20; x < kWidth - 20; ++x)
                black += (frame[y * kWidth + x] & 0xFFFFFF) == 0 ? 1 : 0;
        return black;
    };
    const int area = static_cast<int>((kWidth - 40) * (kHeight - 40));

    scene.Draw(nullptr);
    EXPECT_EQ(background(), 0);

    std::thread ui([&]() { SetFillMode(m_gl.device.get(), true); });
    ui.join();
    scene.Draw(nullptr);
    const int wire = background();
    EXPECT_GT(wire, area * 9 / 10);
    EXPECT_LT(wire, area); // the diagonal edge crosses the region

    SetFillMode(m_gl.device.get(), false);
    scene.Draw(nullptr);
    EXPECT_EQ(background(), 0);
}

namespace {

// Two unlit triangles facing the camera at the origin (looking along +z):
// a small red one at depth 10 and a large green one at depth 40, both over
// the centre.
void DrawTwoTriangles(CGLDevice& device, bool nearFirst, bool clearTarget, bool drawNear)
{
    const ColourVertex nearTriangle[3] = {{-4, -4, 10, 0xFFFF0000}, {0, 4, 10, 0xFFFF0000},
                                          {4, -4, 10, 0xFFFF0000}};
    const ColourVertex farTriangle[3] = {{-80, -80, 40, 0xFF00FF00}, {0, 80, 40, 0xFF00FF00},
                                         {80, -80, 40, 0xFF00FF00}};
    device.SetTransform(D3DTS_PROJECTION, Projection());
    device.SetTransform(D3DTS_VIEW, D3DXMATRIX(1.0f));
    if (clearTarget)
        device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device.BeginScene();
    device.SetFVF(FVF_AXIS);
    if (nearFirst && drawNear)
        device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nearTriangle, sizeof(ColourVertex));
    device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, farTriangle, sizeof(ColourVertex));
    if (!nearFirst && drawNear)
        device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nearTriangle, sizeof(ColourVertex));
    device.EndScene();
    device.Present();
}

} // namespace

TEST_F(GLDeviceTest, NearerSurfaceHidesFartherWhateverTheDrawOrder)
{
    SetupRenderState(m_gl.device.get());
    for (bool nearFirst : {true, false}) {
        DrawTwoTriangles(*m_gl.device, nearFirst, true, true);
        const std::vector<std::uint32_t> frame = m_gl.Frame();
        EXPECT_EQ(frame[(kHeight / 2) * kWidth + kWidth / 2], 0xFFFF0000u) << "near first " << nearFirst;
        EXPECT_EQ(frame[(kHeight - 8) * kWidth + kWidth / 2], 0xFF00FF00u); // only the far one reaches here
    }
}

TEST_F(GLDeviceTest, CullModeDropsTrianglesByTheirWindingOnScreen)
{
    SetupRenderState(m_gl.device.get());
    CGLDevice& device = *m_gl.device;
    device.SetTransform(D3DTS_PROJECTION, Projection());
    device.SetTransform(D3DTS_VIEW, D3DXMATRIX(1.0f));
    // Bottom left, top, bottom right: clockwise on the screen (y down).
    const ColourVertex clockwise[3] = {{-4, -4, 10, 0xFFFF0000}, {0, 4, 10, 0xFFFF0000}, {4, -4, 10, 0xFFFF0000}};
    const ColourVertex counterClockwise[3] = {clockwise[0], clockwise[2], clockwise[1]};
    struct Case {
        std::uint32_t cullMode;
        bool clockwiseShows;
        bool counterClockwiseShows;
    };
    for (const Case& c : {Case{D3DCULL_NONE, true, true}, Case{D3DCULL_CW, false, true},
                          Case{D3DCULL_CCW, true, false}}) {
        for (const ColourVertex* triangle : {clockwise, counterClockwise}) {
            device.SetRenderState(D3DRS_CULLMODE, c.cullMode);
            device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
            device.BeginScene();
            device.SetFVF(FVF_AXIS);
            device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(ColourVertex));
            device.EndScene();
            device.Present();
            const bool shows = m_gl.Frame()[(kHeight / 2) * kWidth + kWidth / 2] == 0xFFFF0000u;
            EXPECT_EQ(shows, triangle == clockwise ? c.clockwiseShows : c.counterClockwiseShows)
                << "cull mode " << c.cullMode << (triangle == clockwise ? ", clockwise" : ", counter-clockwise");
        }
    }
}

TEST_F(GLDeviceTest, ClearingTheTargetAlsoClearsDepth)
{
    SetupRenderState(m_gl.device.get());
    DrawTwoTriangles(*m_gl.device, true, true, true);
    // Next frame: only the far triangle; last frame's near depth must be gone.
    DrawTwoTriangles(*m_gl.device, true, true, false);
    const std::vector<std::uint32_t> frame = m_gl.Frame();
    EXPECT_EQ(frame[(kHeight / 2) * kWidth + kWidth / 2], 0xFF00FF00u);
}

TEST_F(GLDeviceTest, RefusesWhatWouldBeUnsafeOrOutOfOrder)
{
    CGLDevice& device = *m_gl.device;
    IVertexBuffer* buffer = nullptr;
    ASSERT_EQ(device.CreateVertexBuffer(32 * 3, 0, FVF_LANDSCAPE, D3DPOOL_SYSTEMMEM, &buffer), 0);
    EXPECT_EQ(buffer->Length(), 96u);
    device.SetStreamSource(0, buffer, 0, 32);
    device.SetFVF(FVF_LANDSCAPE);
    EXPECT_EQ(device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), -1) << "outside a scene";
    ASSERT_EQ(device.BeginScene(), 0);
    EXPECT_EQ(device.BeginScene(), -1) << "nested scene";
    EXPECT_EQ(device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), 0);
    EXPECT_EQ(device.DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), -1) << "past the buffer's end";
    EXPECT_EQ(device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), -1) << "past the buffer's end";
    void* data = nullptr;
    ASSERT_EQ(buffer->Lock(&data), 0);
    EXPECT_EQ(buffer->Lock(&data), -1) << "locked twice";
    EXPECT_EQ(device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), -1) << "drawn while locked";
    EXPECT_EQ(buffer->Unlock(), 0);
    EXPECT_EQ(device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, 32), -1);
    EXPECT_EQ(device.EndScene(), 0);
    EXPECT_EQ(device.EndScene(), -1);

    // Only the render thread (this one) may issue GL calls.
    int foreign = 0;
    std::thread other([&]() { foreign = device.BeginScene(); });
    other.join();
    EXPECT_EQ(foreign, -1);
    EXPECT_EQ(device.ForeignThreadCalls(), 1u);

    ITexture* texture = nullptr;
    EXPECT_EQ(device.CreateTexture(0, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture), -1);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(device.CreateTexture(1u << 20, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture), -1);
    ASSERT_EQ(device.CreateTexture(5, 3, 0, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture), 0);
    EXPECT_EQ(texture->Width(), 5u);
    EXPECT_EQ(texture->Height(), 3u);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(1, &locked, 0), -1) << "only level 0 is lockable";
    ASSERT_EQ(texture->LockRect(0, &locked, D3DLOCK_DISCARD), 0);
    EXPECT_GE(locked.Pitch, 20);
    EXPECT_EQ(texture->LockRect(0, &locked, 0), -1) << "locked twice";
    EXPECT_EQ(texture->UnlockRect(0), 0);
    EXPECT_EQ(texture->UnlockRect(0), -1);

    // Releasing what is bound unbinds it; the next draw does not touch it.
    device.SetTexture(0, texture);
    texture->Release();
    buffer->Release();
    device.BeginScene();
    EXPECT_EQ(device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), -1) << "no stream source any more";
    device.EndScene();
}

namespace {

class FailingProvider final : public IContextProvider {
public:
    int Create() override { return Fail("eglInitialize: error EGL 0x3001"); }
    int MakeCurrent() override { return -1; }
    void DoneCurrent() override {}
    bool HasScreen() const override { return false; }
    unsigned ScreenFramebuffer() const override { return 0; }
    int ScreenWidth() const override { return 0; }
    int ScreenHeight() const override { return 0; }
    void SwapBuffers() override {}
};

} // namespace

TEST(InitDirect3DTest, NoContextGivesNoDevice)
{
    FailingProvider provider;
    IDevice* device = nullptr;
    EXPECT_EQ(InitDirect3D(&provider, 556, 390, &device), 0);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(g_device, nullptr);
    EXPECT_EQ(InitDirect3D(nullptr, 556, 390, &device), 0);
    EXPECT_EQ(device, nullptr);

    CEglContext context;
    EXPECT_EQ(InitDirect3D(&context, 0, 390, &device), 0);
    EXPECT_EQ(device, nullptr);
    InitDirect3D(&context, 556, 390, &device);
    if (device == nullptr)
        GTEST_SKIP() << "no headless OpenGL 3.3 context";
    EXPECT_EQ(g_device, device);
    D3DVIEWPORT9 viewport;
    ASSERT_EQ(device->GetViewport(&viewport), 0);
    EXPECT_EQ(viewport.Width, 556u);
    EXPECT_EQ(viewport.Height, 390u);
    ReleaseDirect3D();
    EXPECT_EQ(g_device, nullptr);
}

// Standard error names the step that kept the device from starting.
TEST(InitDirect3DTest, AFailedStartSaysWhichStepFailed)
{
    FailingProvider provider;
    const std::tuple<IContextProvider*, int, const char*> cases[] = {
        {nullptr, 556, "no hay proveedor de contexto"},
        {&provider, 0, "el búfer trasero de 0x390 no tiene área"},
        {&provider, 556, "falla el contexto OpenGL 3.3: eglInitialize: error EGL 0x3001"},
    };
    for (const auto& [from, width, said] : cases) {
        IDevice* device = nullptr;
        testing::internal::CaptureStderr();
        InitDirect3D(from, width, 390, &device);
        const std::string text = testing::internal::GetCapturedStderr();
        EXPECT_EQ(device, nullptr);
        EXPECT_NE(text.find(std::string("no se crea el dispositivo gráfico: ") + said), std::string::npos) << text;
    }
}

TEST(GLDeviceHandoverTest, ARenderThreadThatDetachesHandsTheContextOver)
{
    CEglContext context;
    if (context.Create() != 0)
        GTEST_SKIP() << "no headless OpenGL 3.3 context";
    CGLDevice device(&context, 32, 24);
    std::vector<std::uint32_t> first;
    std::thread render([&]() {
        device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060, 1.0f, 0);
        device.ReadBackBuffer(&first);
        device.DetachRenderThread();
    });
    render.join();
    ASSERT_EQ(first.size(), 32u * 24u);
    EXPECT_EQ(first[0], 0xFF204060u);
    // This thread takes over: the frame drawn before is still there.
    std::vector<std::uint32_t> second;
    ASSERT_EQ(device.ReadBackBuffer(&second), 0);
    EXPECT_EQ(second[5 * 32 + 5], 0xFF204060u);
    EXPECT_EQ(device.ForeignThreadCalls(), 0u);
}

TEST_F(GLDeviceTest, ATextureArrivesFromItsFirstSliceToItsLast)
{
    // Four frames' worth of texels: arriving from the first frame's slice to
    // the last one, not while locked nor before a frame nor once done.
    CGLDevice& device = *m_gl.device;
    ITexture* texture = nullptr;
    ASSERT_EQ(device.CreateTexture(2048, 2048, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture), 0);
    static_assert(2048 * 2048 == 4 * CGLDevice::kUploadTexelsPerFrame);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, D3DLOCK_DISCARD), 0);
    std::vector<bool> arriving{texture->Arriving()};
    ASSERT_EQ(texture->UnlockRect(0), 0);
    for (int frame = 0; frame <= 5; ++frame) {
        arriving.push_back(texture->Arriving());
        ASSERT_TRUE(device.BeginScene() == 0 && device.EndScene() == 0);
    }
    EXPECT_EQ(arriving, (std::vector<bool>{false, false, true, true, true, false, false}));
    texture->Release();
}
