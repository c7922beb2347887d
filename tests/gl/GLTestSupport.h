#pragma once
// Shared pieces of the GL tests: a headless device on the surfaceless EGL
// platform and pixel helpers. Tests run with QT_QPA_PLATFORM=offscreen so
// that fonts work without a display.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <QString>

#include "render/gl/CEglContext.h"
#include "render/gl/CGLDevice.h"

// The process's QGuiApplication (fonts need one), made on first use.
inline void EnsureGuiApplication()
{
    if (QGuiApplication::instance() != nullptr)
        return;
    static int argc = 1;
    static char name[] = "gl-test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

struct HeadlessDevice {
    explicit HeadlessDevice(unsigned width = 160, unsigned height = 120)
    {
        if (context.Create() == 0)
            device = std::make_unique<CGLDevice>(&context, width, height);
    }
    ~HeadlessDevice() { device.reset(); }

    std::vector<std::uint32_t> Frame()
    {
        std::vector<std::uint32_t> pixels;
        device->ReadBackBuffer(&pixels);
        return pixels;
    }

    CEglContext context;
    std::unique_ptr<CGLDevice> device;
};

inline int Red(std::uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }
inline int Green(std::uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
inline int Blue(std::uint32_t c) { return static_cast<int>(c & 0xFF); }

// Whether c is within `tolerance` levels of (r, g, b) in every channel.
inline bool Near(std::uint32_t c, int r, int g, int b, int tolerance)
{
    return std::abs(Red(c) - r) <= tolerance && std::abs(Green(c) - g) <= tolerance &&
           std::abs(Blue(c) - b) <= tolerance;
}

// With VP_TEST_DUMP_DIR set, writes the frame there as <name>.png, to look at
// what a failing check saw.
inline void DumpFrame(const std::vector<std::uint32_t>& pixels, int width, int height, const char* name)
{
    const char* dir = std::getenv("VP_TEST_DUMP_DIR");
    if (dir == nullptr || pixels.size() != static_cast<std::size_t>(width) * height)
        return;
    QImage image(reinterpret_cast<const uchar*>(pixels.data()), width, height, width * 4, QImage::Format_RGB32);
    image.save(QString::fromUtf8(dir) + QLatin1Char('/') + QString::fromUtf8(name) + QStringLiteral(".png"));
}
