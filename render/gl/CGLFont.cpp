#include "render/gl/CGLFont.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "render/gl/CGLDevice.h"

namespace {

// Windows-1252 characters 0x80..0x9F; the rest of the code page is Latin-1.
const char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

QString FromCp1252(const char* text, int count)
{
    QString result;
    result.reserve(count);
    for (int i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        result.append(byte >= 0x80 && byte < 0xA0 ? QChar(kCp1252High[byte - 0x80]) : QChar(byte));
    }
    return result;
}

// Largest text image drawn at once; bigger rectangles are cut to it.
constexpr int kMaxImageSide = 4096;

} // namespace

CGLFont* CGLFont::Create(CGLDevice* device, const D3DXFONT_DESC& desc)
{
    if (QGuiApplication::instance() == nullptr)
        return nullptr;
    char face[sizeof desc.FaceName + 1] = {};
    std::memcpy(face, desc.FaceName, sizeof desc.FaceName);
    const QString family = face[0] != '\0' ? QString::fromLatin1(face) : QStringLiteral("Times New Roman");
    const int weight = desc.Weight == 0 ? 400 : std::clamp(static_cast<int>(desc.Weight), 100, 900);

    QFont probe(family);
    probe.setStyleHint(QFont::Serif);
    probe.setWeight(static_cast<QFont::Weight>(weight));
    probe.setItalic(desc.Italic);
    int pixelSize = desc.Height < 0 ? -desc.Height : (desc.Height == 0 ? 12 : desc.Height);
    probe.setPixelSize(pixelSize);
    if (desc.Height > 0) {
        // A positive height is the whole cell: shrink the em until ascent
        // plus descent fit it.
        const QFontMetricsF metrics(probe);
        const double cell = metrics.ascent() + metrics.descent();
        if (cell > 0.0)
            pixelSize = std::max(1, static_cast<int>(std::lround(pixelSize * desc.Height / cell)));
        probe.setPixelSize(pixelSize);
    }
    int stretch = 100;
    if (desc.Width > 0) {
        const double average = QFontMetricsF(probe).averageCharWidth();
        if (average > 0.0)
            stretch = std::clamp(static_cast<int>(std::lround(100.0 * desc.Width / average)), 1, 4000);
    }
    probe.setStretch(stretch);
    const int lineHeight = static_cast<int>(std::ceil(QFontMetricsF(probe).height()));
    return new CGLFont(device, family, pixelSize, weight, desc.Italic, stretch, lineHeight);
}

CGLFont::CGLFont(CGLDevice* device, QString family, int pixelSize, int weight, bool italic, int stretch,
                 int lineHeight)
    : m_device(device), m_family(std::move(family)), m_pixelSize(pixelSize), m_weight(weight), m_italic(italic),
      m_stretch(stretch), m_lineHeight(lineHeight)
{
}

CGLFont::~CGLFont() = default;

QFont CGLFont::MakeFont() const
{
    QFont font(m_family);
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(m_pixelSize);
    font.setWeight(static_cast<QFont::Weight>(m_weight));
    font.setItalic(m_italic);
    font.setStretch(m_stretch);
    return font;
}

int CGLFont::DrawTextA(const char* text, int count, const RECT* rect, std::uint32_t, D3DCOLOR color)
{
    if (m_device == nullptr || text == nullptr || rect == nullptr)
        return 0;
    if (count < 0)
        count = static_cast<int>(std::strlen(text));
    const int width = std::min(rect->right - rect->left, kMaxImageSide);
    const int height = std::min(rect->bottom - rect->top, kMaxImageSide);
    if (count == 0 || width <= 0 || height <= 0)
        return 0;

    if (!m_font || m_fontThread != std::this_thread::get_id()) {
        m_font = std::make_unique<QFont>(MakeFont());
        m_fontThread = std::this_thread::get_id();
    }
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const QString string = FromCp1252(text, count);
    {
        QPainter painter(&image);
        painter.setFont(*m_font);
        painter.setPen(QColor((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF, (color >> 24) & 0xFF));
        painter.drawText(QRect(0, 0, width, height), Qt::AlignLeft | Qt::AlignTop, string);
    }
    m_device->DrawImage(reinterpret_cast<const std::uint32_t*>(image.constBits()), width, height, rect->left,
                        rect->top);
    return m_lineHeight * (static_cast<int>(string.count(QLatin1Char('\n'))) + 1);
}

void CGLFont::Release()
{
    if (m_device != nullptr)
        m_device->ReleaseFont(this);
    delete this;
}
