// The running simulation on a small terrain with the recording device: the
// start command and its messages, the paging decision and run, "Aplicar"
// across a paging run, the speed slider, terrain following with its
// statistics column, and closing while threads run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QSlider>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "landscape/CLandscape.h"
#include "tests/support/CRecordingDevice.h"
#include "terrain/CBitmapEx.h"
#include "view/CStatsFile.h"
#include "view/CvantaPeakView.h"
#include "view/MessageBox.h"
#include "tests/QtApplicationEnvironment.h"

namespace {

constexpr int kMapSize = 129; // window 64 x 64, margin 16

class SimView : public CvantaPeakView {
public:
    using CvantaPeakView::m_camera;
    using CvantaPeakView::m_extentText;
    using CvantaPeakView::m_landscape;
    using CvantaPeakView::m_landscapeLock;
    using CvantaPeakView::m_maxRenderTime;
    using CvantaPeakView::m_maxTrianglesText;
    using CvantaPeakView::m_minError;
    using CvantaPeakView::m_pageOriginX;
    using CvantaPeakView::m_pageOriginZ;
    using CvantaPeakView::m_pagingCount;
    using CvantaPeakView::m_pagingMargin;
    using CvantaPeakView::m_renderThread;
    using CvantaPeakView::m_speedKmh;
    using CvantaPeakView::m_speedPerSecond;
    using CvantaPeakView::m_stop;
    using CvantaPeakView::m_speedSlider;
    using CvantaPeakView::m_started;
    using CvantaPeakView::m_textured;
    using CvantaPeakView::m_windowHeight;
    using CvantaPeakView::m_windowWidth;
    using CvantaPeakView::PageTerrain;
    using CvantaPeakView::PagingNeeded;
};

// Writes a kMapSize heightmap (a ramp) and, when asked, its texture.
void WriteTerrain(const QString& folder, bool texture)
{
    CBitmapEx heightmap;
    ASSERT_EQ(heightmap.CreateBlank(kMapSize, kMapSize), 0);
    for (int y = 0; y < kMapSize; ++y) {
        for (int x = 0; x < kMapSize; ++x) {
            const std::uint32_t level = static_cast<std::uint32_t>((x + y) % 256);
            heightmap.WritePixel(x, y, level * 0x010101u);
        }
    }
    const QString heightPath = folder + "/terrainMdt_8193x8193.bmp";
    ASSERT_EQ(heightmap.SaveToFile(heightPath.toLocal8Bit().constData()), 0);
    if (texture) {
        const QString texturePath = folder + "/terrainMdt_8193x8193_Texture.bmp";
        ASSERT_EQ(heightmap.SaveToFile(texturePath.toLocal8Bit().constData()), 0);
    }
}

class SimulationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_previous = QDir::currentPath();
        QDir::setCurrent(m_folder.path());
        SetMessageBoxHook([this](const QString& text) { m_messages.append(text); });
        m_device.SetRecording(false);
        m_view = std::make_unique<SimView>();
        m_view->SetDeviceFactory([this](QWidget*, int, int) -> IDevice* { return &m_device; });
        m_view->show();
        m_view->OnInitialUpdate();
    }
    void TearDown() override
    {
        m_view.reset();
        SetMessageBoxHook(nullptr);
        QDir::setCurrent(m_previous);
    }
    QString StaticText(int id) { return qobject_cast<QLabel*>(m_view->Control(id))->text(); }

    QTemporaryDir m_folder;
    QString m_previous;
    QStringList m_messages;
    CRecordingDevice m_device{556, 390}; // outlives the view
    std::unique_ptr<SimView> m_view;
};

} // namespace

TEST_F(SimulationTest, StartWithoutFilesTellsHowToGenerateThem)
{
    m_view->OnStartSimulation();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_messages[0], QString::fromUtf8("No exite el fichero terrainMdt_8193x8193.bmp. Para "
                                               "generarlo ir a la opción Terreno=>Generar terreno"));
    EXPECT_FALSE(m_view->m_started);
    EXPECT_EQ(m_view->m_landscape, nullptr);
    EXPECT_TRUE(StaticText(CvantaPeakView::IDC_EXTENT).isEmpty());
}

TEST_F(SimulationTest, StartWithoutTextureStopsAfterComputingTheExtent)
{
    WriteTerrain(m_folder.path(), false);
    m_view->OnStartSimulation();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_messages[0], QString::fromUtf8("Error en leer el fichero terrainMdt_8193x8193_Texture.bmp"));
    EXPECT_FALSE(m_view->m_started);
    EXPECT_EQ(m_view->m_extentText, QString::fromUtf8("1.29 Kms  x   1 Kms"));
    EXPECT_TRUE(StaticText(CvantaPeakView::IDC_EXTENT).isEmpty()); // the last exchange never came

    // The files arrive (as after "Generar terreno"): the next start succeeds.
    WriteTerrain(m_folder.path(), true);
    m_view->OnStartSimulation();
    EXPECT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_view->m_started);
}

TEST_F(SimulationTest, StartBuildsTheFirstLandscapeAndFillsTheInformation)
{
    WriteTerrain(m_folder.path(), true);
    m_view->OnStartSimulation();
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    ASSERT_TRUE(m_view->m_started);
    EXPECT_EQ(m_view->m_windowWidth, 64);
    EXPECT_EQ(m_view->m_pagingMargin, 16);
    EXPECT_EQ(StaticText(CvantaPeakView::IDC_EXTENT), QString::fromUtf8("1.29 Kms  x   1 Kms"));
    {
        std::lock_guard<std::mutex> guard(m_view->m_landscapeLock);
        ASSERT_NE(m_view->m_landscape, nullptr);
        EXPECT_EQ(StaticText(CvantaPeakView::IDC_MAX_TRIANGLES),
                  QString::number(m_view->m_landscape->m_leafCount));
        EXPECT_NE(m_view->m_landscape->m_texture, nullptr);
    }
    // 200 units above the middle of the window: level (32 + 32) x 2.5.
    const D3DXVECTOR3 position = m_view->m_camera.Position();
    EXPECT_FLOAT_EQ(position.x, 32.0f);
    EXPECT_FLOAT_EQ(position.z, 32.0f);
    EXPECT_FLOAT_EQ(position.y, 64.0f * 2.5f + 200.0f);
    // The slider stands at its bottom end: speed 0, and the item is disabled
    // for a second start, which changes nothing.
    EXPECT_EQ(m_view->m_speedSlider->value(), 1000);
    CLandscape* first = m_view->m_landscape;
    m_view->OnStartSimulation();
    EXPECT_EQ(m_view->m_landscape, first);
}

TEST_F(SimulationTest, PagingDecisionAtTheMarginEdges)
{
    WriteTerrain(m_folder.path(), true);
    m_view->OnStartSimulation();
    ASSERT_TRUE(m_view->m_started);
    struct Case {
        float x, z;
        bool needed;
    };
    // Window 64 x 64 at (0, 0), margin 16: strictly inside [16, 48] needs none.
    const Case cases[] = {
        {32, 32, false}, {16, 32, false}, {15.9f, 32, true}, {48, 32, false},
        {48.1f, 32, true}, {32, 48.1f, true}, {32, 15.5f, true},
    };
    for (const Case& c : cases) {
        m_view->m_camera.SetPosition(D3DXVECTOR3(c.x, 300.0f, c.z));
        EXPECT_EQ(m_view->PagingNeeded(), c.needed) << c.x << ", " << c.z;
    }
}

TEST_F(SimulationTest, PagingRunCentresTheWindowAndKeepsAppliedParameters)
{
    WriteTerrain(m_folder.path(), false);
    m_view->OnWireframe(); // no device yet: changes nothing
    EXPECT_TRUE(m_view->m_textured.load());
    m_view->m_textured = false; // wireframe display: no texture needed
    m_view->OnStartSimulation();
    ASSERT_TRUE(m_view->m_started);
    {
        std::lock_guard<std::mutex> guard(m_view->m_landscapeLock);
        m_view->m_landscape->m_minError = 0.1f;
        m_view->m_landscape->m_maxRenderTime = 50;
    }
    struct Case {
        float x, z;
        float originX, originZ;
        int columns; // the window is cut short at the far edge
    };
    const Case cases[] = {
        {60, 40, 28, 8, 64},   // centred on the camera
        {10, 10, 0, 0, 64},    // never before column 0 / row 0
        {110, 40, 78, 8, 51},  // clamped at the far edge (129 - 78)
    };
    for (const Case& c : cases) {
        m_view->m_camera.SetPosition(D3DXVECTOR3(c.x, 300.0f, c.z));
        m_view->m_pagingCount = 1; // counted as its owner does: the render thread starts none
        m_view->PageTerrain();
        m_view->m_pagingCount = 0;
        EXPECT_FLOAT_EQ(m_view->m_pageOriginX.load(), c.originX);
        EXPECT_FLOAT_EQ(m_view->m_pageOriginZ.load(), c.originZ);
        std::lock_guard<std::mutex> guard(m_view->m_landscapeLock);
        EXPECT_EQ(m_view->m_landscape->m_columns, c.columns);
        EXPECT_FLOAT_EQ(m_view->m_landscape->m_minError, 0.1f);
        EXPECT_EQ(m_view->m_landscape->m_maxRenderTime, 50u);
        EXPECT_EQ(m_view->m_landscape->m_texture, nullptr);
    }
    // Beyond the far edge the window would be empty: the landscape stays.
    CLandscape* kept = m_view->m_landscape;
    m_view->m_camera.SetPosition(D3DXVECTOR3(500.0f, 300.0f, 500.0f));
    m_view->m_pagingCount = 1;
    m_view->PageTerrain();
    m_view->m_pagingCount = 0;
    EXPECT_EQ(m_view->m_landscape, kept);
}

TEST_F(SimulationTest, SliderEndsGiveFullSpeedAndHover)
{
    WriteTerrain(m_folder.path(), true);
    m_view->OnStartSimulation();
    ASSERT_TRUE(m_view->m_started);
    // The start puts the thumb at the bottom: the camera hovers.
    const D3DXVECTOR3 start = m_view->m_camera.Position();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(m_view->m_camera.Position(), start);

    // The top of the slider is full speed: the camera flies along +z.
    m_view->m_speedSlider->setValue(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    m_view->m_stop = true;
    m_view->m_renderThread.join(); // the render thread's members are ours now
    EXPECT_FLOAT_EQ(m_view->m_speedKmh, 1000.0f);
    EXPECT_FLOAT_EQ(m_view->m_speedPerSecond, 1000.0f * 1000.0f / 3600.0f);
    EXPECT_GT(m_view->m_camera.Position().z, start.z);
}

TEST_F(SimulationTest, ClosingWhileFlyingAcrossPagesEndsEveryThread)
{
    WriteTerrain(m_folder.path(), true);
    m_view->OnStartSimulation();
    ASSERT_TRUE(m_view->m_started);
    m_view->m_speedSlider->setValue(0); // 1000 km/h: a page every few frames
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (m_view->m_pagingCount.load() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_view.reset(); // joins the render and paging threads before freeing
    EXPECT_EQ(m_device.LiveObjects(), 0);
}

TEST_F(SimulationTest, TerrainFollowingHoldsTheClearanceAndTheStatsShowTheGround)
{
    WriteTerrain(m_folder.path(), true);
    const std::string statsPath = (m_folder.path() + "/s.csv").toStdString();
    CStatsFile statsFile;
    ASSERT_EQ(statsFile.Open(statsPath, "header\n"), 0);
    m_view->SetStatsFile(&statsFile);
    m_view->SetClearance(150.0f);
    m_view->OnStartSimulation();
    ASSERT_TRUE(m_view->m_started);
    // Hovering over level 64 (ground 160), 200 above it: the eye sinks to the
    // comfortable 1.25 x 150 above the ground within a third of a second.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    m_view.reset();
    ASSERT_EQ(statsFile.Close(), 0);
    std::FILE* stats = std::fopen(statsPath.c_str(), "r");
    ASSERT_NE(stats, nullptr);
    char line[256];
    ASSERT_NE(std::fgets(line, sizeof line, stats), nullptr); // the header
    int rows = 0;
    float lastY = 0.0f;
    while (std::fgets(line, sizeof line, stats) != nullptr) {
        unsigned t = 0, fps = 0;
        int roam = 0, draw = 0, triangles = 0, paging = 0;
        float x = 0, y = 0, z = 0, ground = 0;
        ASSERT_EQ(std::sscanf(line, "%u,%d,%d,%d,%u,%f,%f,%f,%d,%f", &t, &roam, &draw, &triangles, &fps, &x, &y, &z,
                              &paging, &ground),
                  10)
            << line;
        EXPECT_FLOAT_EQ(ground, 160.0f);
        EXPECT_GE(y - ground, 150.0f);
        lastY = y;
        ++rows;
    }
    std::fclose(stats);
    EXPECT_GT(rows, 5);
    EXPECT_FLOAT_EQ(lastY, 160.0f + 1.25f * 150.0f);
}
