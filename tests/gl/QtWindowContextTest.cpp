// The on-screen provider. With a display (make test runs under a virtual X
// server) a frame is rendered on a render thread and shown in the window;
// without one (Qt's offscreen platform) no context can be made and
// InitDirect3D hands out no device.
#include <thread>

#include <QGuiApplication>
#include <QWindow>
#include <gtest/gtest.h>

#include "render/DeviceSetup.h"
#include "render/gl/CGLDevice.h"
#include "render/gl/CQtWindowContext.h"
#include "render/gl/Direct3D.h"

namespace {

// Never destroyed: closing the display at exit would unload the GL driver
// before the leak check looks at what it still holds.
QGuiApplication& Application()
{
    static int argc = 1;
    static char name[] = "qt-window-test";
    static char* argv[] = {name, nullptr};
    // With no display at all Qt's default platform would abort.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return *app;
}

} // namespace

TEST(QtWindowContextTest, RendersOnARenderThreadOrGivesNoDevice)
{
    Application();
    CQtWindowContext provider;
    ASSERT_NE(provider.Window(), nullptr);
    provider.Window()->resize(200, 150);
    provider.Window()->show();
    IDevice* device = nullptr;
    InitDirect3D(&provider, 200, 150, &device);
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        EXPECT_EQ(device, nullptr);
        EXPECT_EQ(g_device, nullptr);
        return;
    }
    if (device == nullptr)
        GTEST_SKIP() << "no OpenGL 3.3 context on platform " << QGuiApplication::platformName().toStdString();
    QCoreApplication::processEvents();

    std::vector<std::uint32_t> pixels;
    std::thread render([&]() {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF103050, 1.0f, 0);
        device->BeginScene();
        DrawAxes(device);
        device->EndScene();
        device->Present();
        auto* gl = static_cast<CGLDevice*>(device);
        gl->ReadBackBuffer(&pixels);
        gl->DetachRenderThread();
    });
    render.join();
    ASSERT_EQ(pixels.size(), 200u * 150u);
    EXPECT_EQ(pixels[30 * 200 + 30], 0xFF103050u); // away from the axis lines
    ReleaseDirect3D();
    EXPECT_EQ(g_device, nullptr);
}
