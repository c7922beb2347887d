#include "overview/COverviewMap.h"
#include "terrain/TerrainFiles.h"

#include <QColor>
#include <QMetaObject>
#include <QPainter>
#include <QPen>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Truncation toward zero into int32; values beyond the range saturate and NaN
// gives 0, so a camera far outside the terrain cannot overflow the marks.
std::int32_t TruncToInt(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::trunc(std::clamp(value, kMin, kMax)));
}

}  // namespace

int COverviewMap::Build(QWidget* control)
{
    CBitmapEx heightmap;
    heightmap.LoadFromFile(TerrainFiles::kHeightmap);
    if (heightmap.m_pixels == nullptr) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_control = control;
        return -1;
    }
    BuildFrom(control, heightmap, heightmap.m_infoHeader.biWidth, heightmap.m_infoHeader.biHeight, 10.0);
    return 0;
}

void COverviewMap::BuildFrom(QWidget* control, const CBitmapEx& heightmap, std::int32_t sourceWidth,
                             std::int32_t sourceHeight, double metresPerSample)
{
    const std::int64_t imageWidth = std::max(1, heightmap.Width());
    const std::int64_t imageHeight = std::max(1, heightmap.Height());
    MapClient client;
    if (control != nullptr) {
        const QRect contents = control->contentsRect();
        client.right = std::max(0, contents.width());
        client.bottom = std::max(0, contents.height());
    }
    const std::int32_t mapWidth = client.right;
    const std::int32_t mapHeight = client.bottom;

    // Both factors use the heightmap's width: the heightmap is square.
    const float scaleX = static_cast<float>(sourceWidth) / static_cast<float>(std::max(1, mapWidth));
    const float scaleY = static_cast<float>(sourceWidth) / static_cast<float>(std::max(1, mapHeight));

    // The heightmap is loaded outside the lock; the downscale itself reads one
    // pixel per map pixel and is quick.
    std::lock_guard<std::mutex> guard(m_lock);
    m_control = control;
    m_client = client;
    m_extentX = TruncToInt(static_cast<double>(sourceWidth) * metresPerSample);
    m_extentZ = TruncToInt(static_cast<double>(sourceHeight) * metresPerSample);
    m_scaleX = scaleX;
    m_scaleY = scaleY;

    // Nearest sample, written top-down and then flipped, so that block row j
    // (the j-th row from the bottom on screen) holds heightmap row j x scaleY:
    // the image's first row ends up at the bottom of the control. The source
    // row is the outer loop so that the big raster is read in memory order.
    m_bitmap.CreateBlank(mapWidth, mapHeight);
    for (std::int32_t j = 0; j < mapHeight; ++j) {
        const std::int32_t row = TruncToInt(static_cast<float>(j) * scaleY);
        for (std::int32_t i = 0; i < mapWidth; ++i) {
            const std::int32_t column = TruncToInt(static_cast<float>(i) * scaleX);
            // A reduced image (a streamed terrain's) holds terrain sample
            // (c, r) at (c x its width / the terrain's, likewise for r).
            m_bitmap.WritePixel(i, j, heightmap.ReadPixel(static_cast<std::int32_t>(column * imageWidth / sourceWidth),
                                                          static_cast<std::int32_t>(row * imageHeight / sourceHeight)));
        }
    }
    m_bitmap.FlipRows();

    // Screen rows run top-down, the block bottom-up.
    m_image = QImage();
    if (m_bitmap.m_pixels != nullptr) {
        m_image = QImage(mapWidth, mapHeight, QImage::Format_RGB32);
        for (std::int32_t y = 0; y < mapHeight; ++y) {
            auto* line = reinterpret_cast<std::uint32_t*>(m_image.scanLine(y));
            for (std::int32_t x = 0; x < mapWidth; ++x) {
                line[x] = 0xFF000000u | (m_bitmap.ReadPixel(x, y) & 0x00FFFFFFu);
            }
        }
    }
}

MapRect COverviewMap::ToMapRect(std::int32_t x, std::int32_t z, std::int32_t width,
                                std::int32_t height, float scaleX, float scaleY)
{
    // The far edges are computed from the already truncated near edges.
    MapRect rect;
    rect.x0 = TruncToInt(static_cast<float>(x) / scaleX);
    rect.z0 = TruncToInt(static_cast<float>(z) / scaleY);
    rect.x1 = TruncToInt(static_cast<float>(width) / scaleX + static_cast<float>(rect.x0));
    rect.z1 = TruncToInt(static_cast<float>(height) / scaleY + static_cast<float>(rect.z0));
    return rect;
}

void COverviewMap::SetPageRect(std::int32_t x, std::int32_t z, std::int32_t width,
                               std::int32_t height)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_pageRect = ToMapRect(x, z, width, height, m_scaleX, m_scaleY);
}

void COverviewMap::SetInnerRect(std::int32_t x, std::int32_t z, std::int32_t width,
                                std::int32_t height)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_innerRect = ToMapRect(x, z, width, height, m_scaleX, m_scaleY);
}

void COverviewMap::Refresh(float cameraX, float cameraZ, float lookX, float lookZ,
                           float pageOriginX, float pageOriginZ, std::int32_t pageWidth,
                           std::int32_t pageHeight, std::int32_t margin, QWidget* control)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_cameraX = TruncToInt(static_cast<float>(TruncToInt(cameraX)) / m_scaleX);
        m_cameraY = TruncToInt(static_cast<float>(TruncToInt(cameraZ)) / m_scaleY);
        const std::int32_t originX = TruncToInt(pageOriginX);
        const std::int32_t originZ = TruncToInt(pageOriginZ);
        m_pageRect = ToMapRect(originX, originZ, pageWidth, pageHeight, m_scaleX, m_scaleY);
        m_innerRect = ToMapRect(originX + margin, originZ + margin, pageWidth - 2 * margin,
                                pageHeight - 2 * margin, m_scaleX, m_scaleY);
        m_headingX = lookX;
        m_headingZ = lookZ;
    }
    Draw(control);
}

int COverviewMap::Draw(QWidget* control)
{
    if (control == nullptr) {
        return 0;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bitmap.m_pixels == nullptr) {
            return -1;
        }
    }
    // Widgets are painted on the user-interface thread only: post the request.
    QMetaObject::invokeMethod(control, [control] { control->update(); }, Qt::QueuedConnection);
    return 0;
}

bool COverviewMap::ClipToClient(const MapClient& client, int& left, int& top, int& right,
                                int& bottom)
{
    left = std::max(left, client.left);
    top = std::max(top, client.top);
    right = std::min(right, client.right);
    bottom = std::min(bottom, client.bottom);
    return left < right && top < bottom;
}

void COverviewMap::Paint(QPainter& painter)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_image.isNull()) {
        return;
    }
    const int height = m_image.height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRect(QRect(m_client.left, m_client.top, m_client.right - m_client.left,
                              m_client.bottom - m_client.top),
                        Qt::IntersectClip);
    painter.drawImage(0, 0, m_image);

    // Heading: 20 pixels along the look vector when it is horizontal.
    const int startX = m_cameraX;
    const int startY = height - m_cameraY;
    const int endX = startX + TruncToInt(20.0f * m_headingX);
    const int endY = startY - TruncToInt(20.0f * m_headingZ);
    painter.setPen(QPen(QColor(255, 0, 0), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(startX, startY, endX, endY);

    // 1-pixel frames, right and bottom edges exclusive; the yellow inner
    // frame is drawn over the blue page frame where they touch.
    const auto frame = [&](const MapRect& rect, const QColor& colour) {
        int left = rect.x0;
        int top = height - rect.z1;
        int right = rect.x1;
        int bottom = height - rect.z0;
        if (!ClipToClient(m_client, left, top, right, bottom)) {
            return;
        }
        painter.fillRect(QRect(left, top, right - left, 1), colour);
        painter.fillRect(QRect(left, bottom - 1, right - left, 1), colour);
        painter.fillRect(QRect(left, top, 1, bottom - top), colour);
        painter.fillRect(QRect(right - 1, top, 1, bottom - top), colour);
    };
    frame(m_pageRect, QColor(0, 0, 255));
    frame(m_innerRect, QColor(255, 255, 0));
    painter.restore();
}

std::int32_t COverviewMap::ExtentX() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_extentX;
}

std::int32_t COverviewMap::ExtentZ() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_extentZ;
}

float COverviewMap::ScaleX() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_scaleX;
}

float COverviewMap::ScaleY() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_scaleY;
}

MapRect COverviewMap::PageRect() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pageRect;
}

MapRect COverviewMap::InnerRect() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_innerRect;
}

MapClient COverviewMap::Client() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_client;
}

std::int32_t COverviewMap::CameraX() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_cameraX;
}

std::int32_t COverviewMap::CameraY() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_cameraY;
}

bool COverviewMap::HasImage() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bitmap.m_pixels != nullptr;
}
