// "Iniciar": builds the device on the render control, loads the terrain,
// builds the first landscape over the window at the terrain's origin and
// starts the render thread.
#include "view/CvantaPeakView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFrame>
#include <QProgressDialog>
#include <QSlider>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

#include "flight/CTerrainPager.h"
#include "flight/DetailTiles.h"
#include "landscape/CLandscape.h"
#include "terrain/CFolderTerrainSource.h"
#include "terrain/CGdalTerrainSource.h"
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
    m_camera.SetPosition(D3DXVECTOR3(0.0f, 5.0f, 0.0f));
    if (g_font == nullptr) {
        CreateOverlayFont(m_device);
    }

    m_speedSlider->setRange(0, 1000);
    m_speedSlider->setValue(1000 - static_cast<int>(m_speedKmh));
    m_sliderPosition = m_speedSlider->value();
    UpdateData(false);

    CTerrainPager::Page page;
    if (!m_terrainFiles.empty()) {
        if (OpenStreamedTerrain() != 0) {
            return;
        }
        page = m_pager->BuildFirst(m_textured.load());
        if (!page.landscape) {
            ShowMessageBox(QString::fromUtf8("No se pudo leer el terreno de ")
                               + QString::fromStdString(m_terrainFiles.front()),
                           this);
            return;
        }
    } else {
        if (m_overviewMap.Build(m_overviewControl) != 0) {
            ShowMessageBox(QString::fromUtf8("No exite el fichero terrainMdt_8193x8193.bmp. Para generarlo "
                                             "ir a la opción Terreno=>Generar terreno"),
                           this);
            return;
        }
        m_extentText = QString::asprintf("%.2f Kms  x  %2.f Kms", m_overviewMap.ExtentX() / 1000.0,
                                         m_overviewMap.ExtentZ() / 1000.0);
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
        // The enhanced look's ground detail: the tiles beside the terrain,
        // when the folder has them (without, the picture goes without).
        SetupDetail(m_device, TerrainFiles::kTilesFolder, m_terrain);
        m_source = std::make_unique<CFolderTerrainSource>(m_terrain, &m_textureImage);
        m_pager = std::make_unique<CTerrainPager>(m_device, *m_source, nullptr);
        if (!m_terrain.m_image.HasPixels()) {
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
        page = m_pager->BuildFirst(m_textured.load());
    }
    m_showPagingNotice = false;
    m_mapWidth = m_source->Width();
    m_mapHeight = m_source->Height();
    m_pagingMargin = m_pager->Window().margin;
    m_windowWidth = page.width;
    m_windowHeight = page.height;
    m_pageOriginY = 0.0f;

    D3DXVECTOR3 start;
    float pitch = 0.0f;
    m_pager->StartView(*page.landscape, page.width, page.height, &start, &pitch);
    m_camera.SetPosition(start);
    // A camera that flies from the start stays level: pitched, its forward
    // flight would dive into the ground.
    if (pitch != 0.0f && !m_tour && m_speedKmh == 0.0f) {
        m_camera.Pitch(pitch, pitch);
    }
    const int leafCount = page.landscape->m_leafCount;
    m_paging.Begin(*m_pager, std::move(page), m_minError, m_maxRenderTime);
    m_started = true;
    SetupRenderState(m_device);
    m_maxTrianglesText = QString::asprintf("%d", leafCount);
    UpdateData(false);

    m_renderThread = std::thread(&CvantaPeakView::RenderThreadProc, this);
    m_renderThreadId = m_renderThread.get_id();
    emit simulationStarted();
}

void CvantaPeakView::SetTerrainFiles(std::vector<std::string> files, std::string imagery, double verticalScale)
{
    m_terrainFiles = std::move(files);
    m_imageryFile = std::move(imagery);
    m_verticalScale = verticalScale;
}

int CvantaPeakView::OpenStreamedTerrain()
{
    auto source = std::make_unique<CGdalTerrainSource>();
    if (source->Open(m_terrainFiles, m_verticalScale) != 0
        || (!m_imageryFile.empty() && source->OpenImagery(m_imageryFile) != 0)) {
        std::fprintf(stderr, "vantapeak: %s\n", source->Message().c_str());
        ShowMessageBox(QString::fromStdString(source->Message()), this);
        return -1;
    }
    // The whole terrain, small, for the overview map: from its coarsest
    // overview that serves, or read once at a reduced size.
    const QRect contents = m_overviewControl != nullptr ? m_overviewControl->contentsRect() : QRect();
    std::vector<std::int32_t> codes;
    std::int32_t width = 0;
    std::int32_t height = 0;
    const std::int32_t side = std::max({2, contents.width(), contents.height()});
    // Without overviews the whole file is read once: its progress is shown,
    // and a cancel leaves the map empty.
    std::unique_ptr<QProgressDialog> progress;
    if (!source->HasOverviews()) {
        progress = std::make_unique<QProgressDialog>(QString::fromUtf8("Leyendo el mapa general del terreno..."),
                                                     QString::fromUtf8("Cancelar"), 0, 1000, this);
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(500);
    }
    const auto shown = [](double fraction, const char*, void* dialog) -> int {
        auto* bar = static_cast<QProgressDialog*>(dialog);
        bar->setValue(static_cast<int>(fraction * 1000.0));
        QCoreApplication::processEvents();
        return bar->wasCanceled() ? 0 : 1;
    };
    if (source->ReadReduced(side, &codes, &width, &height, progress ? +shown : nullptr, progress.get()) == 0) {
        std::int32_t low = 0;
        std::int32_t high = 0;
        source->CodeRange(&low, &high);
        const double range = std::max(1, high - low);
        CBitmapEx image;
        if (image.CreateBlank(width, height) == 0 && image.HasPixels()) {
            for (std::int32_t z = 0; z < height; ++z) {
                for (std::int32_t x = 0; x < width; ++x) {
                    const auto level = static_cast<std::uint32_t>(
                        std::clamp((codes[static_cast<std::size_t>(z) * width + x] - low) * 255.0 / range, 0.0, 255.0));
                    image.WritePixel(x, z, level * 0x010101u);
                }
            }
            m_overviewMap.BuildFrom(m_overviewControl, image, source->Width(), source->Height(), source->Spacing());
        }
    }
    m_extentText = QString::asprintf("%.2f Kms  x  %2.f Kms", source->Width() * source->Spacing() / 1000.0,
                                     source->Height() * source->Spacing() / 1000.0);
    m_painter = std::make_unique<CWindowPainter>();
    m_painter->LoadTiles(TerrainFiles::kTilesFolder);
    SetupDetail(m_device, TerrainFiles::kTilesFolder, *source, m_imageryFile.empty());
    m_pager = std::make_unique<CTerrainPager>(m_device, *source, m_painter.get());
    m_source = std::move(source);
    return 0;
}
