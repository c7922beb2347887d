#pragma once
// The overview map: the whole heightmap shrunk to the map control's client
// area, with the camera's position and heading, the current page window and
// the zone inside the paging margin marked on it.
//
// Threads: Build runs on the user-interface thread. Refresh may run on any
// thread (the render thread calls it); it only stores the marks and asks the
// control for a repaint. Paint runs on the user-interface thread, from the
// control's paint event. Every field below is guarded by m_lock; the getters
// take it too.
//
// Map coordinates: column x grows to the right, row z grows upward from the
// bottom edge of the control. Heightmap pixel (c, r), r counted from the top
// of the image, lies at map column c / m_scaleX and map row r / m_scaleY.
#include <cstdint>
#include <mutex>

#include <QImage>

#include "terrain/CBitmapEx.h"

class QPainter;
class QWidget;

// A rectangle on the map: near edges x0, z0 and far edges x1, z1 in map
// pixels, x from the left, z from the bottom.
struct MapRect {
    std::int32_t x0 = 0;
    std::int32_t z0 = 0;
    std::int32_t x1 = 0;
    std::int32_t z1 = 0;
};

// Client rectangle of the map control; left and top are 0.
struct MapClient {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

class COverviewMap {
public:
    // The heightmap file Build reads, relative to the working directory.

    COverviewMap() = default;
    COverviewMap(const COverviewMap&) = delete;
    COverviewMap& operator=(const COverviewMap&) = delete;

    // Makes the map image from the heightmap file at the size of the
    // control's client area (nearest sample, no averaging). Returns 0, or -1
    // when the file cannot be read; the image then stays as it was.
    int Build(QWidget* control);
    // The same from `heightmap`, the image of a sourceWidth x sourceHeight
    // terrain (the heightmap itself, or a reduced image of the whole terrain,
    // grey levels in the red channel) with `metresPerSample` metres between
    // samples.
    void BuildFrom(QWidget* control, const CBitmapEx& heightmap, std::int32_t sourceWidth, std::int32_t sourceHeight,
                   double metresPerSample);

    // Convert a rectangle in heightmap pixels into m_pageRect / m_innerRect.
    void SetPageRect(std::int32_t x, std::int32_t z, std::int32_t width, std::int32_t height);
    void SetInnerRect(std::int32_t x, std::int32_t z, std::int32_t width, std::int32_t height);

    // Stores the camera mark (position and look vector in world units), the
    // page window at the page origin with the nominal page size, and the zone
    // inside the paging margin, then draws the map on `control`.
    void Refresh(float cameraX, float cameraZ, float lookX, float lookZ, float pageOriginX,
                 float pageOriginZ, std::int32_t pageWidth, std::int32_t pageHeight,
                 std::int32_t margin, QWidget* control);

    // Asks `control` to repaint the map (a queued request, so any thread may
    // call it). Returns 0 when requested or when `control` is null, -1 when
    // the map image is empty.
    int Draw(QWidget* control);

    // Paints the image, the heading line, the blue page frame and the yellow
    // inner frame, in that order, with the client area's top-left corner at
    // the painter's origin and clipped to the client area. Nothing is painted
    // while the image is empty. User-interface thread only.
    void Paint(QPainter& painter);

    // Terrain extent in metres (heightmap width / height x 10), set by Build.
    std::int32_t ExtentX() const;
    std::int32_t ExtentZ() const;
    float ScaleX() const;
    float ScaleY() const;
    MapRect PageRect() const;
    MapRect InnerRect() const;
    MapClient Client() const;
    std::int32_t CameraX() const;
    std::int32_t CameraY() const;
    bool HasImage() const;

    // Pixels of one 1-pixel frame drawn like a Windows FrameRect: `rect` in
    // control coordinates (top-down), right and bottom exclusive, intersected
    // with the client area. Returns false when nothing is left to draw.
    static bool ClipToClient(const MapClient& client, int& left, int& top, int& right,
                             int& bottom);

private:
    static MapRect ToMapRect(std::int32_t x, std::int32_t z, std::int32_t width,
                             std::int32_t height, float scaleX, float scaleY);

    mutable std::mutex m_lock;
    QWidget* m_control = nullptr;  // not owned
    CBitmapEx m_bitmap;            // 32-bit, bottom-up, exactly the client size
    QImage m_image;                // m_bitmap top-down, ready for painting
    std::int32_t m_extentX = 0;
    std::int32_t m_extentZ = 0;
    MapClient m_client;
    std::int32_t m_cameraX = 0;
    std::int32_t m_cameraY = 0;
    float m_headingX = 0.0f;
    float m_headingZ = 1.0f;
    float m_scaleX = 1.0f;
    float m_scaleY = 1.0f;
    MapRect m_pageRect;
    MapRect m_innerRect;
};
