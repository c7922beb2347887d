#include "render/gl/CGLDevice.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "render/gl/CGLFont.h"
#include "render/gl/CGLTexture.h"
#include "render/gl/CGLVertexBuffer.h"
#include "render/gl/IContextProvider.h"

namespace {

glm::vec4 ToVec4(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }

glm::vec4 ColourOf(std::uint32_t argb)
{
    return {((argb >> 16) & 0xFF) / 255.0f, ((argb >> 8) & 0xFF) / 255.0f, (argb & 0xFF) / 255.0f,
            ((argb >> 24) & 0xFF) / 255.0f};
}

// Fog limits of the enhanced look: the fog is whole before the far plane
// clips anything (kFogReach of it), and a device without a window fogs as
// if the window were endless.
constexpr float kFogReach = 0.95f;
constexpr float kNoWindow = 1.0e9f;

unsigned VerticesPerPrimitive(D3DPRIMITIVETYPE type)
{
    switch (type) {
    case D3DPT_LINELIST:
        return 2;
    case D3DPT_TRIANGLELIST:
        return 3;
    }
    return 0;
}

} // namespace

CGLDevice::CGLDevice(IContextProvider* provider, unsigned width, unsigned height)
    : m_provider(provider), m_width(std::max(width, 1u)), m_height(std::max(height, 1u))
{
    // The classic device defaults.
    m_renderStates[D3DRS_FILLMODE] = D3DFILL_SOLID;
    m_renderStates[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    m_renderStates[D3DRS_CULLMODE] = D3DCULL_CCW;
    m_renderStates[D3DRS_LIGHTING] = 1;
    m_renderStates[D3DRS_AMBIENT] = 0;
}

CGLDevice::~CGLDevice()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (CGLVertexBuffer* buffer : m_buffers) {
        buffer->m_device = nullptr;
        if (buffer->m_glName != 0)
            m_deadBuffers.push_back(buffer->m_glName);
        buffer->m_glName = 0;
    }
    for (CGLTexture* texture : m_textures) {
        texture->m_device = nullptr;
        if (texture->m_glName != 0)
            m_deadTextures.push_back({texture->m_glName, texture->m_width, texture->m_height, texture->m_levelCount});
        texture->m_glName = 0;
    }
    for (CGLFont* font : m_fonts)
        font->Detach();
    // GL objects can only be deleted with the context current here: on the
    // render thread, or on any thread once the render thread has let go.
    const std::thread::id self = std::this_thread::get_id();
    bool current = m_renderThread == self;
    if (!current && m_renderThread == std::thread::id() && m_renderer.Ready())
        current = m_provider->MakeCurrent() == 0;
    if (current) {
        DeleteDeadObjects();
        for (const DeadTexture& spare : m_spareTextures)
            m_renderer.DeleteTexture(spare.name);
        m_spareTextures.clear();
        m_renderer.Destroy();
        m_provider->DoneCurrent();
    }
}

int CGLDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DXMATRIX& matrix)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    switch (state) {
    case D3DTS_VIEW:
        m_view = matrix;
        return 0;
    case D3DTS_PROJECTION:
        m_projection = matrix;
        return 0;
    case D3DTS_WORLD:
        m_world = matrix;
        return 0;
    }
    return -1;
}

int CGLDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DXMATRIX* matrix)
{
    if (matrix == nullptr)
        return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    switch (state) {
    case D3DTS_VIEW:
        *matrix = m_view;
        return 0;
    case D3DTS_PROJECTION:
        *matrix = m_projection;
        return 0;
    case D3DTS_WORLD:
        *matrix = m_world;
        return 0;
    }
    return -1;
}

int CGLDevice::GetViewport(D3DVIEWPORT9* viewport)
{
    if (viewport == nullptr)
        return -1;
    *viewport = D3DVIEWPORT9{0, 0, m_width, m_height, 0.0f, 1.0f};
    return 0;
}

int CGLDevice::SetRenderState(D3DRENDERSTATETYPE state, std::uint32_t value)
{
    if (state == D3DRS_FILLMODE && value != D3DFILL_SOLID && value != D3DFILL_WIREFRAME && value != 1)
        return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_renderStates[state] = value;
    return 0;
}

int CGLDevice::GetRenderState(D3DRENDERSTATETYPE state, std::uint32_t* value)
{
    if (value == nullptr)
        return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_renderStates.find(state);
    *value = it == m_renderStates.end() ? 0 : it->second;
    return 0;
}

int CGLDevice::SetLight(unsigned index, const D3DLIGHT9& light)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lights[index] = light;
    return 0;
}

int CGLDevice::LightEnable(unsigned index, bool enable)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (enable)
        m_enabledLights.insert(index);
    else
        m_enabledLights.erase(index);
    return 0;
}

int CGLDevice::SetMaterial(const D3DMATERIAL9& material)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_material = material;
    return 0;
}

bool CGLDevice::EnterRenderThread()
{
    const std::thread::id self = std::this_thread::get_id();
    if (m_renderThread == std::thread::id()) {
        if (m_provider == nullptr || m_provider->MakeCurrent() != 0) {
            // Said once: the render loop asks again every frame.
            if (m_provider != nullptr && !m_makeCurrentReported) {
                m_makeCurrentReported = true;
                std::fprintf(stderr, "vantaPeak: el dispositivo no puede dibujar en este hilo: %s\n",
                             m_provider->Failure().c_str());
            }
            return false;
        }
        m_renderThread = self;
        if (!m_renderer.Ready() && !m_broken && !m_renderer.Init(m_width, m_height)) {
            m_broken = true;
            std::fprintf(stderr, "vantaPeak: el dispositivo no dibujará: falló la preparación de OpenGL\n");
        }
    }
    if (m_renderThread != self) {
        ++m_foreignThreadCalls;
        return false;
    }
    return !m_broken;
}

void CGLDevice::DetachRenderThread()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_renderThread != std::this_thread::get_id())
        return;
    DeleteDeadObjects();
    m_provider->DoneCurrent();
    m_renderThread = std::thread::id();
    m_inScene = false;
}

int CGLDevice::Clear(unsigned rectCount, const RECT* rects, std::uint32_t flags, D3DCOLOR color, float z,
                     std::uint32_t)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!EnterRenderThread())
        return -1;
    const bool target = (flags & D3DCLEAR_TARGET) != 0;
    const bool depth = target || (flags & D3DCLEAR_ZBUFFER) != 0;
    m_renderer.Clear(rectCount, rects, target, depth, color, z);
    if (m_look == Look::Enhanced && target && (rectCount == 0 || rects == nullptr)) {
        const glm::mat4 viewProj = m_projection * m_view;
        m_renderer.DrawSky(glm::inverse(viewProj), glm::vec3(glm::inverse(m_view)[3]));
    }
    return 0;
}

int CGLDevice::SetLook(Look look)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_look = look;
    return 0;
}

Look CGLDevice::CurrentLook() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_look;
}

void CGLDevice::SetFogWindow(float x0, float z0, float x1, float z1)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fogWindow = glm::vec4(x0, z0, x1, z1);
}

int CGLDevice::SetDetail(const DetailSet& detail)
{
    if (detail.Empty())
        return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_detail = detail;
    m_detailPending = true;
    return 0;
}

int CGLDevice::BeginScene()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!EnterRenderThread() || m_inScene)
        return -1;
    DeleteDeadObjects();
    if (m_detailPending) {
        m_renderer.SetDetail(m_detail);
        m_detailPending = false;
        m_detail = DetailSet{};
    }
    UploadPendingTextures(kUploadTexelsPerFrame);
    m_inScene = true;
    return 0;
}

int CGLDevice::EndScene()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!EnterRenderThread() || !m_inScene)
        return -1;
    m_inScene = false;
    return 0;
}

int CGLDevice::Present()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!EnterRenderThread())
        return -1;
    m_renderer.Present(*m_provider);
    return 0;
}

int CGLDevice::ReadBackBuffer(std::vector<std::uint32_t>* pixels)
{
    if (pixels == nullptr)
        return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!EnterRenderThread())
        return -1;
    m_renderer.ReadBack(pixels);
    return 0;
}

int CGLDevice::SetTexture(unsigned stage, ITexture* texture)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (stage > 1)
        return texture == nullptr ? 0 : -1;
    auto* own = static_cast<CGLTexture*>(texture);
    if (own != nullptr && m_textures.count(own) == 0)
        return -1;
    (stage == 0 ? m_texture : m_lightMap) = own;
    return 0;
}

int CGLDevice::SetStreamSource(unsigned stream, IVertexBuffer* buffer, unsigned offset, unsigned stride)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto* own = static_cast<CGLVertexBuffer*>(buffer);
    if (stream != 0 || (own != nullptr && m_buffers.count(own) == 0))
        return -1;
    m_stream = own;
    m_streamOffset = offset;
    m_streamStride = stride;
    return 0;
}

int CGLDevice::SetFVF(std::uint32_t fvf)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fvf = fvf;
    return 0;
}

GLDrawState CGLDevice::CurrentDrawState() const
{
    GLDrawState state;
    state.world = m_world;
    // Row-vector "world then view then projection" is P * V * W in GLM terms.
    state.worldViewProj = m_projection * m_view * m_world;
    const auto stateOr = [this](D3DRENDERSTATETYPE s, std::uint32_t fallback) {
        const auto it = m_renderStates.find(s);
        return it == m_renderStates.end() ? fallback : it->second;
    };
    state.lighting = stateOr(D3DRS_LIGHTING, 1) != 0;
    state.ambient = ColourOf(stateOr(D3DRS_AMBIENT, 0));
    state.wireframe = stateOr(D3DRS_FILLMODE, D3DFILL_SOLID) == D3DFILL_WIREFRAME;
    state.cullMode = stateOr(D3DRS_CULLMODE, D3DCULL_CCW);
    const auto light = m_lights.find(0);
    if (light != m_lights.end() && m_enabledLights.count(0) != 0 && light->second.Type == D3DLIGHT_DIRECTIONAL) {
        const D3DVECTOR& d = light->second.Direction;
        const glm::vec3 direction(d.x, d.y, d.z);
        const float length = glm::length(direction);
        if (length > 0.0f) {
            state.lightOn = true;
            state.lightDirection = direction / length;
            state.lightDiffuse = ToVec4(light->second.Diffuse);
        }
    }
    state.materialDiffuse = ToVec4(m_material.Diffuse);
    state.materialAmbient = ToVec4(m_material.Ambient);
    state.materialEmissive = ToVec4(m_material.Emissive);
    state.fvf = m_fvf;
    if (m_look == Look::Enhanced) {
        state.enhanced = true;
        state.eye = glm::vec3(glm::inverse(m_view)[3]);
        // With no window set the fog reaches only to the far plane.
        state.fogWindow = m_fogWindow == glm::vec4(0.0f)
                              ? glm::vec4(-kNoWindow, -kNoWindow, kNoWindow, kNoWindow)
                              : m_fogWindow;
        // The far plane of a left-handed perspective: _43 / (1 - _33).
        const float farPlane = m_projection[2][2] != 1.0f ? m_projection[3][2] / (1.0f - m_projection[2][2]) : 0.0f;
        state.fogEnd = farPlane > 0.0f ? kFogReach * farPlane : kNoWindow;
    }
    return state;
}

int CGLDevice::Draw(D3DPRIMITIVETYPE type, unsigned primitiveCount, unsigned buffer, const void* data,
                    unsigned firstVertex, unsigned stride)
{
    GLDrawState state = CurrentDrawState();
    state.stride = stride;
    if (m_texture != nullptr && !m_texture->Locked()) {
        if (m_texture->m_uploadedRows < m_texture->TotalRows()) {
            const bool partial = m_texture->m_levelCount > 1;
            UploadTexture(m_texture, partial ? kUploadTexelsPerFrame : SIZE_MAX);
            if (partial && m_texture->FinestCompleteLevel() >= m_texture->m_levelCount)
                UploadTexture(m_texture, SIZE_MAX);
        }
        state.texture = m_texture->m_glName;
    }
    if (state.enhanced && state.texture != 0 && m_lightMap != nullptr && !m_lightMap->Locked()) {
        if (m_lightMap->m_uploadedRows < m_lightMap->TotalRows())
            UploadTexture(m_lightMap, kUploadTexelsPerFrame);
        if (m_lightMap->FinestCompleteLevel() < m_lightMap->m_levelCount) {
            state.lightMap = m_lightMap->m_glName;
            state.lightMapOffset = glm::vec2(0.5f / static_cast<float>(m_texture->m_width),
                                             0.5f / static_cast<float>(m_texture->m_height));
        }
    }
    m_renderer.Draw(state, type, buffer, data, firstVertex, primitiveCount * VerticesPerPrimitive(type));
    return 0;
}

int CGLDevice::DrawPrimitive(D3DPRIMITIVETYPE type, unsigned startVertex, unsigned primitiveCount)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const unsigned perPrimitive = VerticesPerPrimitive(type);
    if (perPrimitive == 0 || m_stream == nullptr || m_streamStride < 12 || m_stream->m_locked ||
        m_streamOffset % m_streamStride != 0)
        return -1;
    if (!m_inScene || !EnterRenderThread())
        return -1;
    if (primitiveCount == 0)
        return 0;
    const std::uint64_t first = startVertex + m_streamOffset / m_streamStride;
    const std::uint64_t end = (first + static_cast<std::uint64_t>(primitiveCount) * perPrimitive) * m_streamStride;
    if (end > m_stream->m_length)
        return -1;
    CGLVertexBuffer& vb = *m_stream;
    if (vb.m_glName == 0)
        vb.m_glName = m_renderer.CreateBuffer();
    // Copy the used prefix when the contents changed since the last copy or
    // this draw reaches further than it.
    if (vb.m_uploadedGeneration != vb.m_generation || vb.m_uploadedBytes < end) {
        m_renderer.UploadBuffer(vb.m_glName, vb.m_data.get(), static_cast<std::size_t>(end));
        vb.m_uploadedGeneration = vb.m_generation;
        vb.m_uploadedBytes = static_cast<std::size_t>(end);
    }
    return Draw(type, primitiveCount, vb.m_glName, nullptr, static_cast<unsigned>(first), m_streamStride);
}

int CGLDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, unsigned primitiveCount, const void* data, unsigned stride)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (VerticesPerPrimitive(type) == 0 || data == nullptr || stride < 12)
        return -1;
    if (!m_inScene || !EnterRenderThread())
        return -1;
    if (primitiveCount == 0)
        return 0;
    return Draw(type, primitiveCount, 0, data, 0, stride);
}

int CGLDevice::DrawImage(const std::uint32_t* pixels, int width, int height, int x, int y)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_inScene || !EnterRenderThread())
        return -1;
    m_renderer.DrawImage(pixels, width, height, x, y);
    return 0;
}
