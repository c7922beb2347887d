#include "render/gl/CEglContext.h"

#include <cstdio>
#include <mutex>
#include <string>

#include <EGL/egl.h>
#include <EGL/eglext.h>

namespace {

// The surfaceless display, initialised by the first context and kept for the
// rest of the process: terminating it would unload the driver while other
// parts of the process may still hold memory it handed out.
std::mutex g_displayMutex;
EGLDisplay g_display = EGL_NO_DISPLAY;

// "step: error 0x3003" with EGL's last error on this thread.
std::string EglFailure(const char* step)
{
    char code[32];
    std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(eglGetError()));
    return std::string(step) + ": error EGL " + code;
}

// The display, or EGL_NO_DISPLAY with *failure saying which call failed.
EGLDisplay AcquireDisplay(std::string* failure)
{
    std::lock_guard<std::mutex> lock(g_displayMutex);
    if (g_display == EGL_NO_DISPLAY) {
        EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA,
                                                   reinterpret_cast<void*>(EGL_DEFAULT_DISPLAY), nullptr);
        if (display == EGL_NO_DISPLAY) {
            *failure = EglFailure("eglGetPlatformDisplay (pantalla sin superficie de Mesa)");
            return EGL_NO_DISPLAY;
        }
        EGLint major = 0, minor = 0;
        if (!eglInitialize(display, &major, &minor)) {
            *failure = EglFailure("eglInitialize");
            return EGL_NO_DISPLAY;
        }
        g_display = display;
    }
    return g_display;
}

} // namespace

CEglContext::~CEglContext()
{
    if (m_context != nullptr) {
        EGLDisplay display = static_cast<EGLDisplay>(m_display);
        if (eglGetCurrentContext() == static_cast<EGLContext>(m_context))
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, static_cast<EGLContext>(m_context));
    }
}

int CEglContext::Create()
{
    if (m_context != nullptr)
        return 0;
    std::string failure;
    EGLDisplay display = AcquireDisplay(&failure);
    if (display == EGL_NO_DISPLAY)
        return Fail(failure);
    m_display = display;
    if (!eglBindAPI(EGL_OPENGL_API))
        return Fail(EglFailure("eglBindAPI(EGL_OPENGL_API)"));

    const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                    EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttribs, &config, 1, &count) || count < 1)
        config = EGL_NO_CONFIG_KHR; // EGL_KHR_no_config_context: surfaceless needs none

    const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                     EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttribs);
    if (context == EGL_NO_CONTEXT)
        return Fail(EglFailure("eglCreateContext (OpenGL 3.3 core)"));
    m_context = context;
    // Prove it can be made current without a surface, then leave it free for
    // the render thread.
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        const std::string makeCurrent = EglFailure("eglMakeCurrent sin superficie");
        eglDestroyContext(display, context);
        m_context = nullptr;
        return Fail(makeCurrent);
    }
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    return 0;
}

int CEglContext::MakeCurrent()
{
    if (m_context == nullptr)
        return Fail("MakeCurrent: el contexto EGL no se ha creado");
    EGLDisplay display = static_cast<EGLDisplay>(m_display);
    eglBindAPI(EGL_OPENGL_API); // the bound API is per thread
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, static_cast<EGLContext>(m_context)))
        return Fail(EglFailure("eglMakeCurrent"));
    return 0;
}

void CEglContext::DoneCurrent()
{
    if (m_context != nullptr && eglGetCurrentContext() == static_cast<EGLContext>(m_context))
        eglMakeCurrent(static_cast<EGLDisplay>(m_display), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}
