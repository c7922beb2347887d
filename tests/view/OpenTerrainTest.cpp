// A terrain opened from an elevation file (--terrain, a drop): an unreadable
// file is told and leaves the form as it was; a readable one starts over the
// middle of its first window and pages from the file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <string>

#include "landscape/CLandscape.h"
#include "tests/QtApplicationEnvironment.h"
#include "tests/support/CRecordingDevice.h"
#include "tests/terrain/ElevationTestSupport.h"
#include "view/CvantaPeakView.h"
#include "view/MessageBox.h"

using namespace elevation_test;

namespace {

class OpenView : public CvantaPeakView {
public:
    using CvantaPeakView::m_camera;
    using CvantaPeakView::m_landscape;
    using CvantaPeakView::m_mapWidth;
    using CvantaPeakView::m_pageOriginX;
    using CvantaPeakView::m_pagingCount;
    using CvantaPeakView::m_pagingMargin;
    using CvantaPeakView::m_started;
    using CvantaPeakView::m_windowHeight;
    using CvantaPeakView::m_windowWidth;
    using CvantaPeakView::PageTerrain;
};

// A flat 16-bit model, 30 m samples: 20 metres of relief over 600 x 300.
void WriteFlatModel(const std::string& path)
{
    Raster model = MakeValues(600, 300, GDT_UInt16, [](std::int32_t x, std::int32_t y) { return 100 + (x + y) % 21; });
    model.geoTransform = {300000.0, 30.0, 0.0, 5000000.0, 0.0, -30.0};
    ASSERT_TRUE(MakeRaster(path, "GTiff", model));
}

} // namespace

TEST(OpenTerrainTest, AnUnreadableFileIsToldAndAReadableDropStartsAndPagesFromIt)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    QStringList messages;
    SetMessageBoxHook([&messages](const QString& text) { messages.append(text); });
    CRecordingDevice device(556, 390);
    device.SetRecording(false);
    {
        OpenView view;
        view.SetDeviceFactory([&device](QWidget*, int, int) -> IDevice* { return &device; });
        view.show();
        view.OnInitialUpdate();

        const std::string broken = folder.path().toStdString() + "/broken.tif";
        WriteFile(broken, "II*\1\2\3 no es un GeoTIFF");
        view.SetTerrainFiles({broken});
        view.OnStartSimulation();
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].contains(QString::fromStdString(broken))) << messages[0].toStdString();
        EXPECT_FALSE(view.m_started);
        EXPECT_EQ(view.m_landscape, nullptr);

        const std::string flat = folder.path().toStdString() + "/flat.tif";
        WriteFlatModel(flat);
        view.OpenTerrainFiles({flat});
        EXPECT_EQ(messages.size(), 1) << messages.join('\n').toStdString();
        ASSERT_TRUE(view.m_started);
        EXPECT_EQ(view.m_mapWidth, 600);
        EXPECT_EQ(view.m_windowWidth, 300); // half the terrain
        EXPECT_EQ(view.m_windowHeight, 150);
        EXPECT_EQ(view.m_pagingMargin, 75);
        // Over the middle of the first window, well above 20 m of relief
        // (under a unit at true proportion): a fortieth of the window.
        const D3DXVECTOR3 eye = view.m_camera.Position();
        EXPECT_EQ(eye.x, 150.0f);
        EXPECT_EQ(eye.z, 75.0f);
        EXPECT_NEAR(eye.y - 110.0f / 30.0f, 150.0f / 40.0f, 1.0f);
        EXPECT_LT(view.m_camera.Elevation(), 0.0f); // looking down at it

        // A paging run reads the window around the camera from the file.
        view.m_camera.SetPosition(D3DXVECTOR3(400.0f, eye.y, 75.0f));
        view.m_pagingCount.fetch_add(1); // counted as its owner does: the render thread starts none
        view.PageTerrain();
        view.m_pagingCount.fetch_sub(1);
        EXPECT_EQ(view.m_pageOriginX.load(), 250.0f);
        ASSERT_NE(view.m_landscape, nullptr);
        EXPECT_EQ(view.m_landscape->m_columns, 300);
    }
    SetMessageBoxHook(nullptr);
    QDir::setCurrent(previous);
}
