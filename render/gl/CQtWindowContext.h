#pragma once
#include <memory>

#include "render/gl/IContextProvider.h"

class QOpenGLContext;
class QWindow;

// An on-screen context: a QWindow with a QOpenGLContext that lives on the
// render thread. The application embeds Window() in the form's render
// control with QWidget::createWindowContainer.
//
// Threads: construct, Create and destroy on the user-interface thread.
// Create only proves that a 3.3 core context can be made (it fails, for
// example, on Qt's offscreen platform); the real context is made by the
// first MakeCurrent on the render thread. DoneCurrent releases the context
// from its thread, so that a later render thread (or the destructor) can
// take it over.
class CQtWindowContext final : public IContextProvider {
public:
    CQtWindowContext();
    ~CQtWindowContext() override;
    CQtWindowContext(const CQtWindowContext&) = delete;
    CQtWindowContext& operator=(const CQtWindowContext&) = delete;

    // The window frames are shown in; owned by this object.
    QWindow* Window() const { return m_window.get(); }

    int Create() override;
    int MakeCurrent() override;
    void DoneCurrent() override;
    bool HasScreen() const override { return true; }
    unsigned ScreenFramebuffer() const override;
    int ScreenWidth() const override;
    int ScreenHeight() const override;
    void SwapBuffers() override;

private:
    std::unique_ptr<QWindow> m_window;
    std::unique_ptr<QOpenGLContext> m_context;
    bool m_created = false;
};
