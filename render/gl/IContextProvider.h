#pragma once
// Where an OpenGL 3.3 core context lives and where finished frames go.
//
// The device (CGLDevice) owns its own framebuffer object with colour and
// depth; a provider only supplies the context and, when it has one, the
// on-screen surface that Present copies the frame to.
//
// Threads: Create may run on any thread (the start command runs it on the
// user-interface thread). MakeCurrent, DoneCurrent, SwapBuffers and the
// screen queries are called by the device on the render thread only, and
// DoneCurrent must come before another thread calls MakeCurrent.
#include <string>
#include <utility>

class IContextProvider {
public:
    virtual ~IContextProvider() = default;

    // Checks that a 3.3 core context can be made. 0, or -1 (no display, no
    // driver, too old a version): then no device may be built on it, and
    // Failure() says which step failed.
    virtual int Create() = 0;
    // Makes the context current on the calling thread. 0 or -1.
    virtual int MakeCurrent() = 0;
    virtual void DoneCurrent() = 0;

    // Whether frames are shown anywhere; a headless provider has no screen
    // and its frames are only read back.
    virtual bool HasScreen() const = 0;
    // The on-screen framebuffer and its size in device pixels (only when
    // HasScreen()). The size may differ from the device's back buffer: the
    // frame is then stretched, as a windowed back buffer would be.
    virtual unsigned ScreenFramebuffer() const = 0;
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
    // Shows the screen framebuffer's contents.
    virtual void SwapBuffers() = 0;

    // The step at which the last Create or MakeCurrent failed and why, in
    // Spanish, for standard error (e.g. "eglInitialize: EGL_NOT_INITIALIZED");
    // empty when none failed or the provider does not say. Read on the
    // thread that made the failing call.
    const std::string& Failure() const { return m_failure; }

protected:
    // Records `step` as the failure; returns -1 for the caller to return.
    int Fail(std::string step)
    {
        m_failure = std::move(step);
        return -1;
    }

private:
    std::string m_failure;
};
