#pragma once
#include <memory>
#include <thread>

#include <QString>

#include "render/IFont.h"

class CGLDevice;
class QFont;

// A font made by CGLDevice::CreateFont: the description is matched through
// Qt's font matching (a "Times New Roman" face gives the system's Times-like
// serif), each DrawTextA rasterises its text with QPainter into an image the
// size of the rectangle, which clips it, and the device blends that image
// over the back buffer. Height and Width follow the classic meaning: a
// positive Height is the character cell (ascent plus descent), a negative one
// the em size, and a non-zero Width the average character width, reached by
// stretching the glyphs.
//
// Needs a QGuiApplication (creation fails without one). Threads: create on
// any thread, draw on the render thread only; only format 0 (left, top,
// clipped, line breaks honoured, no word wrap) is drawn, other format bits
// are ignored.
class CGLFont final : public IFont {
public:
    // Null when no QGuiApplication exists.
    static CGLFont* Create(CGLDevice* device, const D3DXFONT_DESC& desc);

    int DrawTextA(const char* text, int count, const RECT* rect, std::uint32_t format, D3DCOLOR color) override;
    void Release() override;

    // Cuts the font off a device that is being destroyed.
    void Detach() { m_device = nullptr; }
    // Pixel metrics that Create settled on.
    int PixelSize() const { return m_pixelSize; }
    int Stretch() const { return m_stretch; }

private:
    CGLFont(CGLDevice* device, QString family, int pixelSize, int weight, bool italic, int stretch, int lineHeight);
    ~CGLFont() override;
    QFont MakeFont() const;

    CGLDevice* m_device;
    QString m_family;
    int m_pixelSize;
    int m_weight;
    bool m_italic;
    int m_stretch;
    int m_lineHeight;
    // The QFont used for drawing, made on the drawing thread.
    std::unique_ptr<QFont> m_font;
    std::thread::id m_fontThread;
};
