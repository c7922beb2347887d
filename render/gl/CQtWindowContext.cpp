#include "render/gl/CQtWindowContext.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QThread>
#include <QWindow>

#include <string>

namespace {

QSurfaceFormat ContextFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setSwapInterval(0);
    return format;
}

bool IsCoreContext33(const QOpenGLContext& context)
{
    const QSurfaceFormat format = context.format();
    return format.version() >= qMakePair(3, 3);
}

// Why a context made by QOpenGLContext::create() cannot be used.
std::string ContextFailure(const QOpenGLContext& context, bool created)
{
    if (!created)
        return "QOpenGLContext::create: la plataforma Qt \"" + QGuiApplication::platformName().toStdString() +
               "\" no da un contexto OpenGL 3.3 core";
    const QSurfaceFormat format = context.format();
    return "QOpenGLContext::create: el contexto es OpenGL " + std::to_string(format.majorVersion()) + "." +
           std::to_string(format.minorVersion()) + ", hace falta 3.3 core";
}

} // namespace

CQtWindowContext::CQtWindowContext()
{
    if (QGuiApplication::instance() == nullptr)
        return;
    m_window = std::make_unique<QWindow>();
    m_window->setSurfaceType(QSurface::OpenGLSurface);
    m_window->setFormat(ContextFormat());
}

CQtWindowContext::~CQtWindowContext()
{
    if (m_context) {
        // A context whose thread has let go of it is pulled back here, with
        // its share group, to be deleted; the group goes by deleteLater.
        QOpenGLContextGroup* group = m_context->shareGroup();
        if (m_context->thread() == nullptr)
            m_context->moveToThread(QThread::currentThread());
        if (group != nullptr && group->thread() == nullptr)
            group->moveToThread(QThread::currentThread());
        if (QOpenGLContext::currentContext() == m_context.get())
            m_context->doneCurrent();
        m_context.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    m_window.reset();
}

int CQtWindowContext::Create()
{
    if (m_created)
        return 0;
    if (!m_window)
        return Fail("QWindow: no hay QGuiApplication en la que crear la ventana");
    m_window->create();
    QOpenGLContext probe;
    probe.setFormat(ContextFormat());
    const bool created = probe.create();
    if (!created || !IsCoreContext33(probe))
        return Fail(ContextFailure(probe, created));
    m_created = true;
    return 0;
}

int CQtWindowContext::MakeCurrent()
{
    if (!m_created)
        return Fail("MakeCurrent: el contexto no se ha creado");
    if (!m_context) {
        m_context = std::make_unique<QOpenGLContext>();
        m_context->setFormat(ContextFormat());
        const bool created = m_context->create();
        if (!created || !IsCoreContext33(*m_context)) {
            const std::string failure = ContextFailure(*m_context, created);
            m_context.reset();
            return Fail(failure);
        }
    } else if (m_context->thread() != QThread::currentThread()) {
        // Released by an earlier render thread (DoneCurrent): take it over.
        if (m_context->thread() != nullptr)
            return Fail("MakeCurrent: otro hilo tiene aún el contexto");
        m_context->moveToThread(QThread::currentThread());
        if (QOpenGLContextGroup* group = m_context->shareGroup(); group != nullptr && group->thread() == nullptr)
            group->moveToThread(QThread::currentThread());
    }
    if (!m_context->makeCurrent(m_window.get()))
        return Fail("QOpenGLContext::makeCurrent en la ventana de renderizado");
    return 0;
}

void CQtWindowContext::DoneCurrent()
{
    if (!m_context || m_context->thread() != QThread::currentThread())
        return;
    m_context->doneCurrent();
    if (QOpenGLContextGroup* group = m_context->shareGroup(); group != nullptr && group->thread() == m_context->thread())
        group->moveToThread(nullptr);
    m_context->moveToThread(nullptr);
}

unsigned CQtWindowContext::ScreenFramebuffer() const
{
    return m_context ? m_context->defaultFramebufferObject() : 0;
}

int CQtWindowContext::ScreenWidth() const
{
    return m_window ? static_cast<int>(m_window->width() * m_window->devicePixelRatio()) : 0;
}

int CQtWindowContext::ScreenHeight() const
{
    return m_window ? static_cast<int>(m_window->height() * m_window->devicePixelRatio()) : 0;
}

void CQtWindowContext::SwapBuffers()
{
    if (m_context && m_window->isExposed())
        m_context->swapBuffers(m_window.get());
}
