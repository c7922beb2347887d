#pragma once
#include "render/gl/IContextProvider.h"

// A headless context: Mesa's surfaceless EGL platform, no display and no
// window. Frames stay in the device's framebuffer object and are read back
// (CGLDevice::ReadBackBuffer). Used by the command-line tools and the tests.
//
// The EGL display is shared by every CEglContext of the process and lives
// until the process ends.
class CEglContext final : public IContextProvider {
public:
    CEglContext() = default;
    ~CEglContext() override;
    CEglContext(const CEglContext&) = delete;
    CEglContext& operator=(const CEglContext&) = delete;

    int Create() override;
    int MakeCurrent() override;
    void DoneCurrent() override;
    bool HasScreen() const override { return false; }
    unsigned ScreenFramebuffer() const override { return 0; }
    int ScreenWidth() const override { return 0; }
    int ScreenHeight() const override { return 0; }
    void SwapBuffers() override {}

private:
    void* m_display = nullptr; // EGLDisplay
    void* m_context = nullptr; // EGLContext
};
