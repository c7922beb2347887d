// "Iniciar": builds the device on the render control, loads the terrain,
// builds the first landscape over the window at the terrain's origin and
// starts the render thread.
#include "view/CvantaPeakView.h"

#include <QApplication>
#include <QFrame>
#include <QSlider>
#include <QWindow>

#include <memory>

#include "flight/CPageBuilder.h"
#include "flight/DetailTiles.h"
#include "flight/PageTexture.h"
#include "landscape/CLandscape.h"
#include "overview/COverviewControl.h"
#include "render/DeviceSetup.h"
#include "render/Overlay.h"
#include "render/gl/CQtWindowContext.h"
#include "render/gl/Direct3D.h"
#include "terrain/TerrainFiles.h"
#include "terrain/TickCount.h"
#include "view/CFullViewToggle.h"
#include "view/MessageBox.h"

namespace {

// The start blocks the user interface while it loads and builds: show it.
class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

} // namespace

int CvantaPeakView::CreateDevice()
{
    if (m_device != nullptr) {
        return 0; // made by an earlier start that stopped later on
    }
    const QSize client = m_renderWindow->contentsRect().size();
    if (m_deviceFactory) {
        m_device = m_deviceFactory(m_renderWindow, client.width(), client.height());
        return m_device != nullptr ? 0 : -1;
    }
    auto provider = std::make_unique<CQtWindowContext>();
    IDevice* device = nullptr;
    InitDirect3D(provider.get(), client.width(), client.height(), &device);
    if (device == nullptr) {
        return -1;
    }
    // The container takes the window in; the provider still deletes it, so it
    // is taken out again before either goes (ReleaseGraphics).
    SetRenderSurface(QWidget::createWindowContainer(provider->Window(), m_renderWindow));
    WatchRenderInput(provider->Window());
    m_fullView->WatchWindow(provider->Window());
    provider->Window()->installEventFilter(this);
    m_contextProvider = std::move(provider);
    m_device = device;
    return 0;
}

void CvantaPeakView::OnStartSimulation()
{
    // A running simulation goes on: the menu item is disabled while it runs,
    // and a command that still arrives changes nothing.
    if (m_started) {
        return;
    }
    m_statsStartTick = TickCount();
    CWaitCursor wait;

    m_renderWindow = RenderControl();
    if (m_renderWindow == nullptr) {
        ShowMessageBox(QString::fromUtf8("No se puede hallar el handle a la ventana de renderizado"),
                       this);
        return;
    }
    if (CreateDevice() != 0) {
        ShowMessageBox(QString::fromUtf8("No se puede crear el dispositivo gráfico: hace falta una "
                                         "pantalla con OpenGL 3.3. La simulación no se ha iniciado."),
                       this);
        return;
    }
    m_device->SetLook(m_look);
    m_device->SetTransform(D3DTS_PROJECTION, CCamera::ProjectionMatrix());

    m_camera.SetDevice(m_device);
    m_pagingCount = 0;
    m_camera.SetPosition(D3DXVECTOR3(0.0f, 5.0f, 0.0f));
    if (g_font == nullptr) {
        CreateOverlayFont(m_device);
    }

    m_speedSlider->setRange(0, 1000);
    m_speedSlider->setValue(1000 - static_cast<int>(m_speedKmh));
    m_sliderPosition = m_speedSlider->value();
    UpdateData(false);

    if (m_overviewMap.Build(m_overviewControl) != 0) {
        ShowMessageBox(QString::fromUtf8("No exite el fichero terrainMdt_8193x8193.bmp. Para generarlo "
                                         "ir a la opción Terreno=>Generar terreno"),
                       this);
        return;
    }
    m_extentText = QString::asprintf("%.2f Kms  x  %2.f Kms", m_overviewMap.ExtentX() / 1000.0,
                                     m_overviewMap.ExtentZ() / 1000.0);
    m_showPagingNotice = false;

    if (!m_terrain.m_image.HasPixels()) {
        m_terrain.LoadHeightmap(TerrainFiles::kHeightmap);
        m_mapWidth = m_terrain.m_gridWidth;
        m_mapHeight = m_terrain.m_gridHeight;
        // The 16-bit heights, when the folder has them, replace the levels
        // in every window; a file that is there but unusable is reported and
        // the flight goes on with the levels.
        if (m_terrain.LoadHeights16(TerrainFiles::kHeights16) != 0) {
            ReportHeights16Problem();
        }
    }
    // The enhanced look's ground detail: the tiles beside the terrain, when
    // the folder has them (without, the picture goes without detail).
    SetupDetail(m_device, TerrainFiles::kTilesFolder, m_terrain);
    const PageWindow page = ComputePageWindow(m_mapWidth, m_mapHeight);
    m_windowWidth = page.width;
    m_windowHeight = page.height;
    m_pagingMargin = page.margin;

    std::unique_ptr<std::int32_t[]> window;
    m_pageOriginX = 0.0f;
    m_pageOriginY = 0.0f;
    m_pageOriginZ = 0.0f;
    if (CPageBuilder::CutWindow(m_terrain, 0, 0, &m_windowWidth, &m_windowHeight, &window) != 0) {
        ShowMessageBox(QString::fromUtf8("Error en leer el fichero terrainMdt_8193x8193.bmp"), this);
        return;
    }

    if (m_textured.load()) {
        m_textureImage.LoadFromFile(TerrainFiles::kTexture);
        if (!m_textureImage.HasPixels()) {
            ShowMessageBox(QString::fromUtf8("Error en leer el fichero terrainMdt_8193x8193_Texture.bmp"),
                           this);
            return;
        }
    }
    CLandscape* landscape = CPageBuilder::BuildPage(m_device, m_textured.load() ? &m_textureImage : nullptr, 0, 0,
                                                    m_pageOriginY.load(), m_terrain.HeightScale(), window.get(),
                                                    m_windowWidth,
                                                    m_windowHeight)
                                .release();
    window.reset();
    landscape->m_minError = m_minError;
    landscape->m_maxRenderTime = m_maxRenderTime;
    m_camera.SetPosition(CPageBuilder::StartPosition(*landscape, m_windowWidth, m_windowHeight));
    {
        std::lock_guard<std::mutex> guard(m_landscapeLock);
        m_landscape = landscape;
    }
    m_started = true;
    SetupRenderState(m_device);
    m_maxTrianglesText = QString::asprintf("%d", landscape->m_leafCount);
    UpdateData(false);

    m_renderThread = std::thread(&CvantaPeakView::RenderThreadProc, this);
    m_renderThreadId = m_renderThread.get_id();
    emit simulationStarted();
}
