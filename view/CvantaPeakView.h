#pragma once
// The simulation form (dialog 101) and the hub of the whole simulation: it
// owns the render area, the overview map, the navigation buttons, the speed
// slider, the two ROAM parameters, the information box, the camera, the
// terrain, the current landscape with the lock that guards it, and the render
// and paging threads.
//
// Threads: the widget, every command handler and the data exchange belong to
// the user-interface thread. The render thread (RenderLoop, RenderFrame) and
// the paging thread (PageTerrain) use the members marked below; the table of
// who writes what is in the comments on each group.
#include <QString>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "flight/CPagingRetry.h"
#include "flight/CTerrainPager.h"
#include "flight/CTerrainPaging.h"
#include "flight/CTourPilot.h"
#include "overview/COverviewMap.h"
#include "render/CCamera.h"
#include "render/Look.h"
#include "render/Units.h"
#include "terrain/CBitmapEx.h"
#include "terrain/CTerrainModel.h"
#include "terrain/CWindowPainter.h"
#include "terrain/ITerrainSource.h"

class CLandscape;
class COverviewControl;
class CStatsFile;
class CRenderInput;
class CQtWindowContext;
class CTerrainGenerator;
class IDevice;
class ITexture;
class QProgressDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

class CFullViewToggle;

class CvantaPeakView : public QWidget {
    Q_OBJECT

public:
    // Control ids of the form; also the controls' object names.
    enum ControlId : int {
        IDC_RENDER = 1000,
        IDC_LEFT = 1001,
        IDC_RIGHT = 1002,
        IDC_UP = 1003,
        IDC_DOWN = 1005,
        IDC_FORWARD = 1006,
        IDC_BACKWARD = 1007,
        IDC_TURN_LEFT = 1008,
        IDC_TURN_RIGHT = 1010,
        IDC_OVERVIEW = 1013,
        IDC_MIN_ERROR = 1014,
        IDC_MAX_RENDER_TIME = 1015,
        IDC_APPLY = 1016,
        IDC_SPEED = 1017,
        IDC_EXTENT = 1018,
        IDC_MAX_TRIANGLES = 1019,
    };
    // Menu commands handled by the view.
    enum CommandId : int {
        ID_GENERATE_TERRAIN = 32771,
        ID_START_SIMULATION = 32772,
        ID_WIREFRAME = 32774,
        ID_TEXTURED = 32775,
    };
    // Size of the form in dialog units.
    static constexpr int kFormWidthDlu = 639;
    static constexpr int kFormHeightDlu = 390;
    // Point size of the form's font; the dialog units derive from it.
    static constexpr int kFormFontPoints = 8;

    // One entry of the command map: a command id and the handler it runs.
    struct CommandEntry {
        int id;
        void (CvantaPeakView::*handler)();
    };
    static const std::array<CommandEntry, 13>& CommandMap();

    explicit CvantaPeakView(QWidget* parent = nullptr);
    ~CvantaPeakView() override;
    CvantaPeakView(const CvantaPeakView&) = delete;
    CvantaPeakView& operator=(const CvantaPeakView&) = delete;

    // Runs the handler mapped to `id`; false when the view has none (the
    // caller then offers the command to the next target).
    bool OnCommand(int id);

    // Data exchange between the members and the controls, in map order.
    // saveAndValidate true reads the controls into the members and stops at
    // the first edit that does not convert, with its message and the focus
    // on it (members exchanged before it keep their new values); false writes
    // the members into the controls. Returns false when a conversion failed.
    bool UpdateData(bool saveAndValidate = true);

    // The form's initial update: exchange towards the controls, then the
    // frame recalculates its layout and shrinks (never grows) to fit the form.
    // Runs again whenever the document is re-initialised.
    void OnInitialUpdate();

    // The render area, control 1000: a sunken static that the form never
    // paints into. The render surface (the OpenGL window's container) goes
    // inside it with SetRenderSurface, filling its client area; the view
    // takes ownership of `surface`.
    QFrame* RenderControl() const { return m_renderControl; }
    void SetRenderSurface(QWidget* surface);
    QWidget* RenderSurface() const { return m_renderSurface; }
    // The full-window flight view (F11 or a double click on the render area).
    CFullViewToggle* FullView() const { return m_fullView; }

    // The control with `id`, or null.
    QWidget* Control(int id) const;

    // The form's size in pixels for its current font (dialog units converted
    // with the font's base units).
    QSize FormSize() const;
    // Dialog-unit rectangle to pixels with the current font's base units.
    QRect MapDialogRect(int x, int y, int width, int height) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Command handlers (user-interface thread).
    void OnMoveLeft();
    void OnMoveRight();
    void OnMoveUp();
    void OnMoveDown();
    void OnMoveForward();
    void OnMoveBackward();
    void OnTurnLeft();
    void OnTurnRight();
    void OnGenerateTerrain();
    void OnStartSimulation();
    void OnWireframe();
    void OnTextured();
    void OnApply();
    // Key-down handling: `key` is a Qt::Key. Called only while the view
    // itself has the keyboard focus.
    void OnKeyDown(int key);

    // --- Running the simulation from the command line or a test. All of
    // these belong to the user-interface thread and take effect at the next
    // start (the speed) or at once.
    // The speed in km/h (0..1000) the next start puts on the slider.
    void SetStartSpeed(float kmh);
    // A steady turn of the flight, radians per second (positive turns right).
    void SetTurnRate(float radiansPerSecond) { m_turnRate = radiansPerSecond; }
    // The guided flight: an autopilot steers the forward flight.
    void SetTour(bool on) { m_tour = on; }
    // One CSV row per rendered frame goes to `file` (not owned; null stops).
    // Set before the start, or after the simulation has stopped; the render
    // thread writes it.
    void SetStatsFile(CStatsFile* file) { m_statsFile = file; }
    bool Started() const { return m_started; }
    // A scripted flight (--start with --quit-after): nobody is there to
    // answer a box, so a problem the flight goes on after is written to
    // standard error instead of being shown. User-interface thread.
    void SetScripted(bool scripted) { m_scripted = scripted; }
    // Ends the simulation's threads (render, paging, a generation) before
    // the window goes: the render thread presents into the OpenGL window,
    // whose platform surface Qt destroys as the main window closes, before
    // any destructor runs. The frame calls it on close; the surface's own
    // about-to-be-destroyed event calls it too. Nothing renders afterwards.
    // User-interface thread.
    void StopSimulation() { StopWorkers(); }
    // The look the next start draws with (Look.h); classic by default.
    void SetLook(Look look) { m_look = look; }
    // The terrain the next start flies over: `files` read straight through
    // GDAL, window by window (one elevation file, or tiles to mosaic), with
    // the colours of `imagery` (empty: painted from the working folder's
    // tiles) and the vertical exaggeration `verticalScale`. No files: the
    // working folder's terrain, as by default.
    void SetTerrainFiles(std::vector<std::string> files, std::string imagery = {}, double verticalScale = 1.0);
    // Opens elevation files (dropped on the form): before the start they
    // become the terrain and the simulation starts over them (an unreadable
    // file is reported and the form goes on as before); a running flight
    // keeps its terrain and the files open in a new vantaPeak window.
    void OpenTerrainFiles(const std::vector<std::string>& files);
    // Builds the device the start command draws with: the render surface the
    // device shows its frames in (or null) and the device, from the client
    // size of the render control. By default an OpenGL window inside the
    // render control; tests hand in a recording or headless device.
    using DeviceFactory = std::function<IDevice*(QWidget* renderControl, int width, int height)>;
    void SetDeviceFactory(DeviceFactory factory) { m_deviceFactory = std::move(factory); }

    // --- Input in the render area (user-interface thread). Nothing here
    // acts until the user drags, turns the wheel or presses a key there.
    // A left-button drag of dx, dy pixels: turns right for dx > 0 and looks
    // down for dy > 0, the pitch held within 80 degrees either way.
    void OnMouseLook(int dx, int dy);
    // Wheel notches (positive: away from the user) move the speed slider
    // towards the fast end.
    void OnWheelSpeed(int notches);
    // W/S forward and back, A/D strafe, Q/E down and up (the buttons' steps),
    // the arrow keys as OnKeyDown; true when `key` (a Qt::Key) steers.
    bool OnRenderKey(int key);
    // Terrain following: the eye stays at least `clearance` world units above
    // the ground (brought within the controller's bounds); 0 or less: off,
    // as by default. While it is on, "Arriba" and "Abajo" raise and lower
    // the clearance instead of the camera.
    void SetClearance(float clearance);
    float Clearance() const { return m_clearance.load(); }

signals:
    // Emitted after a command id was routed to its handler.
    void commandRouted(int id);
    // The start command has started the render thread.
    void simulationStarted();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Watches the OpenGL window for the loss of its platform surface.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The exchange itself, in map order; UpdateData's contract.
    bool DoDataExchange(bool saveAndValidate);

    // Releases the overlay font, the device and the graphics runtime, each
    // when it exists; called by the destructor after the threads have ended
    // and the landscape is gone.
    void ReleaseGraphics();

    // Render thread: the thread's routine, the loop
    // and one frame. RenderFrame also runs on the user-interface thread for a
    // navigation button while no render thread exists.
    static unsigned RenderThreadProc(CvantaPeakView* view);
    void RenderLoop();
    void RenderFrame();
    // Paging: the decision (render thread), the start of a run, and the run
    // itself (paging thread).
    bool PagingNeeded() const;
    void StartPagingThread();
    static unsigned PagingThreadProc(CvantaPeakView* view);
    void PageTerrain();
    // Ends the render thread, a paging run and a terrain generation, waiting
    // for each; the user-interface thread, before the render surface or
    // anything else is freed. Safe to call again.
    void StopWorkers();

    // --- Members, in declaration order ---------------------------------
    // Paging's owner: the landscape, its lock and window origin, the paging
    // thread, its run count and retry live there; the members of the same
    // names below are its state under the view's names.
    CTerrainPaging m_paging{CTerrainPaging::Runs::OnThread};
    // Control 1000's window object, looked up by the start command; not owned.
    QWidget* m_renderWindow = nullptr;
    // The full texture bitmap, loaded at start when the display is textured.
    CBitmapEx m_textureImage;
    COverviewMap m_overviewMap;
    // Owned by m_paging. Guarded by m_landscapeLock: written by the start
    // command and the paging thread (swap), its parameters by OnApply; read
    // by the render thread.
    CLandscape*& m_landscape = m_paging.Landscape();
    // World position of column 0 / row 0 of the current landscape's window;
    // written by the paging thread together with the swap, read by the render
    // thread without the lock. Windows lie on the ground plane: Y stays 0.
    std::atomic<float>& m_pageOriginX = m_paging.OriginX();
    std::atomic<float> m_pageOriginY{0.0f};
    std::atomic<float>& m_pageOriginZ = m_paging.OriginZ();
    CTerrainModel m_terrain;
    // What the start command opened: the terrain source (the folder over
    // m_terrain and m_textureImage, or a streamed raster), the painter of
    // streamed windows without colours, and the paging policy and work over
    // them. Made by the start command before any paging thread exists and
    // kept until the view goes; the paging thread reads through them.
    std::vector<std::string> m_terrainFiles;
    std::string m_imageryFile;
    double m_verticalScale = 1.0;
    std::unique_ptr<ITerrainSource> m_source;
    std::unique_ptr<CWindowPainter> m_painter;
    std::unique_ptr<CTerrainPager> m_pager;
    std::int32_t m_mapWidth = 0;
    std::int32_t m_mapHeight = 0;
    CCamera m_camera;
    // Created by the start command; not owned.
    IDevice* m_device = nullptr;
    std::thread& m_pagingThread = m_paging.Thread();
    std::thread::id m_pagingThreadId;
    std::thread m_renderThread;
    std::thread::id m_renderThreadId;
    // Guards m_landscape, the landscape's contents and its two parameters.
    // Never held while waiting for a thread, never taken twice.
    std::mutex& m_landscapeLock = m_paging.Lock();
    // Paging runs in progress (0 or 1).
    std::atomic<std::int32_t>& m_pagingCount = m_paging.Count();
    // A run that could not read its window (a served terrain whose server
    // fails) holds the next one back for a while; the paging thread reports,
    // the render thread asks.
    CPagingRetry& m_pagingRetry = m_paging.Retry();
    // Set by StopWorkers; ends the render loop. StopWorkers then waits
    // for the worker threads without a time limit, so once it is set no
    // worker may wait for the user-interface thread (a blocking queued call
    // would never be answered).
    std::atomic<bool> m_stop{false};
    bool m_showPagingNotice = false;
    std::uint32_t m_pagingNoticeTick = 0;
    // Written by the paging thread (duration and tick before the flag),
    // read by the render thread, which also lowers the flag.
    std::atomic<bool> m_showPagingTime{false};
    std::atomic<std::uint32_t> m_pagingTimeTick{0};
    std::uint32_t m_lastFrameTick = 0;
    // Forward speed in world units per second, and in km/h as on the slider.
    float m_speedPerSecond = KmhToUnitsPerSecond(0.0);
    float m_speedKmh = 0.0f;
    std::atomic<std::uint32_t> m_pagingDuration{0};
    std::uint32_t m_overviewTick = 0;
    std::int32_t m_windowWidth = 0;
    std::int32_t m_windowHeight = 0;
    std::int32_t m_pagingMargin = 0;
    std::uint32_t m_frameCount = 0;
    std::uint32_t m_fpsTick = 0;
    std::uint32_t m_fps = 0;
    // The start command has built the first landscape.
    bool m_started = false;
    // Display mode: textured (true) or wireframe; read once per paging run.
    std::atomic<bool> m_textured{true};
    // Edit 1014 and edit 1015 (milliseconds).
    float m_minError = 0.05f;
    std::uint32_t m_maxRenderTime = 200;
    // Control 1017, attached by the data exchange.
    QSlider* m_speedSlider = nullptr;
    // Text of static 1018.
    QString m_extentText;
    // Control 1013, attached by the data exchange; the map paints through it.
    COverviewControl* m_overviewControl = nullptr;
    // Text of static 1019.
    QString m_maxTrianglesText;

    // --- Beyond the form's own members
    // The slider's position (0..1000), mirrored by the user-interface thread
    // so that the render thread never waits for it.
    std::atomic<int> m_sliderPosition{1000};
    float m_turnRate = 0.0f;           // radians per second of steady turn
    bool m_tour = false;               // the guided flight steers (--tour)
    // The guided flight's autopilot; the render thread alone uses it.
    CTourPilot m_tourPilot;
    Look m_look = Look::Classic;       // set on the device when the start makes it
    CStatsFile* m_statsFile = nullptr; // per-frame statistics rows, not owned
    // When "Iniciar" was chosen; the statistics rows count from it. Written
    // by the user-interface thread before the render thread starts.
    std::uint32_t m_statsStartTick = 0;
    // Terrain following's clearance in world units, 0 when off; changed by
    // the user-interface thread, read by the render thread every frame.
    std::atomic<float> m_clearance{0.0f};
    bool m_scripted = false; // SetScripted

private:
    // The device of the start command and the surface it shows frames on;
    // 0, or -1 when none can be made.
    int CreateDevice();
    // Opens m_terrainFiles (and m_imageryFile) as the streamed terrain, with
    // its overview map, painter and pager. 0, or -1 after telling the user.
    int OpenStreamedTerrain();
    // After a move or turn: a frame at once while no render thread runs.
    void AfterNavigation();
    // While terrain following is on: the clearance changed by `step` world
    // units, and true; false (nothing changed) while it is off.
    bool ChangeClearance(float step);
    // The 16-bit heightmap is there but unusable: its message with the
    // reason below it, in a box or (scripted) on standard error. The flight
    // goes on with the heightmap's levels.
    void ReportHeights16Problem();
    // Mouse and keys arriving at `target` (the render surface or the OpenGL
    // window) reach the input handlers above.
    void WatchRenderInput(QObject* target);
    // Terrain generation on its worker thread: polled by a timer of the
    // progress dialog, finished (joined) on the user-interface thread.
    void PollGeneration();
    void FinishGeneration();
    void CancelGeneration();

    // Creates the controls of dialog 101 in template order.
    void CreateControls();
    // Places every control from its dialog-unit rectangle.
    void LayoutControls();
    // Shows the framework's message for a failed conversion and puts the
    // focus on `edit` with its text selected.
    void FailExchange(QLineEdit* edit, const QString& message);
    void ResizeParentToFit();

    struct FormControl {
        QWidget* widget;
        int x;
        int y;
        int width;
        int height;
    };
    std::array<FormControl, 23> m_controls{};
    QFrame* m_renderControl = nullptr;
    QWidget* m_renderSurface = nullptr;
    CFullViewToggle* m_fullView = nullptr; // child of the view
    QLineEdit* m_minErrorEdit = nullptr;
    QLineEdit* m_maxRenderTimeEdit = nullptr;
    QSlider* m_speedControl = nullptr;
    QLabel* m_extentStatic = nullptr;
    QLabel* m_maxTrianglesStatic = nullptr;
    COverviewControl* m_overviewStatic = nullptr;

    DeviceFactory m_deviceFactory;
    CRenderInput* m_renderInput = nullptr; // a child of the view
    std::unique_ptr<CQtWindowContext> m_contextProvider;
    std::unique_ptr<CTerrainGenerator> m_generator;
    std::thread m_generateThread;
    std::atomic<bool> m_generateDone{false};
    QProgressDialog* m_generateProgress = nullptr;
    std::string m_lastGenerateMessage;
};
