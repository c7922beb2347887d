#include "view/CvantaPeakView.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlatformSurfaceEvent>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <string>

#include "landscape/CLandscape.h"
#include "overview/COverviewControl.h"
#include "render/gl/CQtWindowContext.h"
#include "terrain/CTerrainCheck.h"
#include "terrain/CTerrainGenerator.h"
#include "terrain/TerrainFiles.h"
#include "view/CSpeedSlider.h"
#include "view/CFullViewToggle.h"
#include "view/DataExchange.h"
#include "view/DialogUnits.h"
#include "view/MessageBox.h"

namespace {

QPushButton* MakeButton(QWidget* parent, const char* text)
{
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* text)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent)
{
    // A single-line edit scrolls its text horizontally as the caret moves.
    auto* edit = new QLineEdit(parent);
    edit->setFrame(true);
    return edit;
}

}  // namespace

const std::array<CvantaPeakView::CommandEntry, 13>& CvantaPeakView::CommandMap()
{
    static const std::array<CommandEntry, 13> map{{
        {IDC_LEFT, &CvantaPeakView::OnMoveLeft},
        {IDC_RIGHT, &CvantaPeakView::OnMoveRight},
        {IDC_UP, &CvantaPeakView::OnMoveUp},
        {IDC_DOWN, &CvantaPeakView::OnMoveDown},
        {IDC_FORWARD, &CvantaPeakView::OnMoveForward},
        {IDC_BACKWARD, &CvantaPeakView::OnMoveBackward},
        {IDC_TURN_LEFT, &CvantaPeakView::OnTurnLeft},
        {IDC_TURN_RIGHT, &CvantaPeakView::OnTurnRight},
        {ID_GENERATE_TERRAIN, &CvantaPeakView::OnGenerateTerrain},
        {ID_START_SIMULATION, &CvantaPeakView::OnStartSimulation},
        {ID_WIREFRAME, &CvantaPeakView::OnWireframe},
        {ID_TEXTURED, &CvantaPeakView::OnTextured},
        {IDC_APPLY, &CvantaPeakView::OnApply},
    }};
    return map;
}

CvantaPeakView::CvantaPeakView(QWidget* parent) : QWidget(parent)
{
    m_camera.Reset();
    // Clicking the form (or the render area) gives the view the keyboard
    // focus, so that the arrow keys reach OnKeyDown.
    setFocusPolicy(Qt::ClickFocus);
    // Elevation files dropped on the form open as the terrain.
    setAcceptDrops(true);
    CreateControls();
    // The form's font: the desktop's family at 8 points. Changing it lays
    // the controls out again.
    QFont formFont = font();
    formFont.setPointSize(kFormFontPoints);
    setFont(formFont);
    LayoutControls();
}

CvantaPeakView::~CvantaPeakView()
{
    StopWorkers();
    m_paging.DestroyLandscape();
    ReleaseGraphics();
    // The map control outlives the members; it must not paint a freed map.
    m_overviewStatic->SetMap(nullptr);
}

void CvantaPeakView::StopWorkers()
{
    m_stop = true;
    m_paging.Cancel();
    // Waited for without a time limit: once m_stop is set the render loop ends
    // after its current frame and starts no paging run; a paging run gives up
    // at its next step and a generation at its next fault, leaving the files
    // as they were. The render thread goes first, as it is the one that
    // starts paging threads.
    if (m_renderThread.joinable()) {
        m_renderThread.join();
    }
    m_paging.Join();
    CancelGeneration();
}

bool CvantaPeakView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::PlatformSurface
        && static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType()
            == QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
        StopWorkers();
    }
    return QWidget::eventFilter(watched, event);
}

void CvantaPeakView::ReportHeights16Problem()
{
    std::string reason;
    if (CTerrainCheck::CheckHeights16(TerrainFiles::kHeights16, m_terrain.m_image.Width(),
                                      m_terrain.m_image.Height(), &reason)
        == 0) {
        reason = "sus alturas no se pudieron leer (fichero dañado o memoria insuficiente)";
    }
    const QString message = QString::fromUtf8("Error en leer el fichero ") + QString::fromUtf8(TerrainFiles::kHeights16);
    const QString detail = QString::fromUtf8("Motivo: ") + QString::fromStdString(reason)
        + QString::fromUtf8(". Se vuela con los niveles del mapa de alturas de 8 bits.");
    if (m_scripted) {
        std::fprintf(stderr, "vantapeak: %s\nvantapeak: %s\n", message.toUtf8().constData(),
                     detail.toUtf8().constData());
        return;
    }
    ShowMessageBox(message + QStringLiteral("\n\n") + detail, this);
}

void CvantaPeakView::SetStartSpeed(float kmh)
{
    m_speedKmh = kmh < 0.0f ? 0.0f : (kmh > 1000.0f ? 1000.0f : kmh);
}

void CvantaPeakView::CreateControls()
{
    // Dialog 101 in template order; positions in dialog units.
    m_renderControl = new QFrame(this);
    m_renderControl->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_renderControl->setLineWidth(1);
    auto* renderLayout = new QVBoxLayout(m_renderControl);
    renderLayout->setContentsMargins(0, 0, 0, 0);
    renderLayout->setSpacing(0);
    m_fullView = new CFullViewToggle(this, m_renderControl);

    m_minErrorEdit = MakeEdit(this);
    m_maxRenderTimeEdit = MakeEdit(this);
    m_speedControl = new CSpeedSlider(Qt::Vertical, this);
    // A vertical trackbar: position 0 at the top, the down keys increase it;
    // its fill grows with the speed, from the bottom up.
    m_speedControl->setInvertedAppearance(true);
    m_speedControl->setInvertedControls(true);
    m_speedControl->setTickPosition(QSlider::NoTicks);
    m_speedControl->setRange(0, 100);
    m_speedControl->setSingleStep(1);
    m_speedControl->setPageStep(20);
    m_speedControl->setFocusPolicy(Qt::StrongFocus);
    connect(m_speedControl, &QSlider::valueChanged, this,
            [this](int position) { m_sliderPosition = position; });
    m_overviewStatic = new COverviewControl(this);
    m_overviewStatic->SetMap(&m_overviewMap);
    m_extentStatic = MakeLabel(this, "Static");
    m_maxTrianglesStatic = MakeLabel(this, "Static");

    auto* roamGroup = new QGroupBox(QString::fromUtf8("Parametros del ROAM"), this);
    auto* infoGroup = new QGroupBox(QString::fromUtf8("Información"), this);

    m_controls = {{
        {m_renderControl, 7, 7, 371, 240},
        {MakeButton(this, "Izquierda"), 7, 271, 50, 14},
        {MakeButton(this, "Derecha"), 74, 271, 50, 14},
        {MakeButton(this, "Arriba"), 39, 254, 50, 14},
        {MakeButton(this, "Abajo"), 39, 289, 50, 14},
        {MakeButton(this, "Acercarse"), 153, 256, 50, 14},
        {MakeButton(this, "Alejarse"), 154, 275, 50, 14},
        {MakeButton(this, "Girar Izq."), 217, 258, 50, 14},
        {MakeButton(this, "Girar Drch."), 276, 258, 50, 14},
        {m_overviewStatic, 383, 7, 240, 240},
        {roamGroup, 383, 286, 173, 74},
        {MakeLabel(this, "Error de Distorsión Minimo"), 389, 300, 84, 8},
        {m_minErrorEdit, 485, 296, 27, 14},
        {MakeLabel(this, "Tiempo Max.Render(mseg)"), 389, 315, 87, 8},
        {m_maxRenderTimeEdit, 485, 313, 28, 14},
        {MakeButton(this, "Aplicar"), 515, 339, 32, 14},
        {m_speedControl, 349, 287, 25, 68},
        {MakeLabel(this, "Velocidad"), 345, 361, 31, 8},
        {infoGroup, 7, 311, 290, 63},
        {MakeLabel(this, "Extensión Total del Terreno (1 pixel=10 metros):"), 17, 325, 157, 8},
        {m_extentStatic, 180, 326, 104, 8},
        {MakeLabel(this, "Triangulos Máximos en el ROAM:"), 17, 338, 105, 8},
        {m_maxTrianglesStatic, 127, 338, 159, 8},
    }};
    // Ids in the same order; -1 marks a control the code never addresses.
    static constexpr std::array<int, 23> kIds{
        IDC_RENDER,    IDC_LEFT,  IDC_RIGHT,    IDC_UP,
        IDC_DOWN,      IDC_FORWARD, IDC_BACKWARD, IDC_TURN_LEFT,
        IDC_TURN_RIGHT, IDC_OVERVIEW, -1,         -1,
        IDC_MIN_ERROR, -1,        IDC_MAX_RENDER_TIME, IDC_APPLY,
        IDC_SPEED,     -1,        -1,           -1,
        IDC_EXTENT,    -1,        IDC_MAX_TRIANGLES};

    // Z-order follows the template: a later control lies above an earlier one
    // (the labels above their group boxes).
    QWidget* previousTabStop = nullptr;
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        QWidget* widget = m_controls[i].widget;
        const int id = kIds[i];
        widget->setProperty("controlId", id);
        if (id != -1) {
            widget->setObjectName(QString::number(id));
        }
        widget->raise();
        if (widget->focusPolicy() & Qt::TabFocus) {
            if (previousTabStop != nullptr) {
                setTabOrder(previousTabStop, widget);
            }
            previousTabStop = widget;
        }
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        }
    }
}

QRect CvantaPeakView::MapDialogRect(int x, int y, int width, int height) const
{
    return ::MapDialogRect(font(), x, y, width, height);
}

QSize CvantaPeakView::FormSize() const
{
    return MapDialogRect(0, 0, kFormWidthDlu, kFormHeightDlu).size();
}

QSize CvantaPeakView::sizeHint() const
{
    return FormSize();
}

QSize CvantaPeakView::minimumSizeHint() const
{
    return FormSize();
}

void CvantaPeakView::LayoutControls()
{
    for (const FormControl& control : m_controls) {
        control.widget->setGeometry(
            MapDialogRect(control.x, control.y, control.width, control.height));
    }
    setMinimumSize(FormSize());
    updateGeometry();
}

void CvantaPeakView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange && m_renderControl != nullptr) {
        LayoutControls();
    }
    QWidget::changeEvent(event);
}

QWidget* CvantaPeakView::Control(int id) const
{
    for (const FormControl& control : m_controls) {
        if (control.widget->property("controlId").toInt() == id && id != -1) {
            return control.widget;
        }
    }
    return nullptr;
}

void CvantaPeakView::SetRenderSurface(QWidget* surface)
{
    if (m_renderSurface != nullptr) {
        m_renderControl->layout()->removeWidget(m_renderSurface);
        delete m_renderSurface;
    }
    m_renderSurface = surface;
    if (surface != nullptr) {
        WatchRenderInput(surface);
        m_renderControl->layout()->addWidget(surface);
        surface->show();
        m_renderControl->layout()->activate();
    }
}

bool CvantaPeakView::OnCommand(int id)
{
    for (const CommandEntry& entry : CommandMap()) {
        if (entry.id == id) {
            (this->*entry.handler)();
            emit commandRouted(id);
            return true;
        }
    }
    return false;
}

bool CvantaPeakView::UpdateData(bool saveAndValidate)
{
    return DoDataExchange(saveAndValidate);
}

bool CvantaPeakView::DoDataExchange(bool saveAndValidate)
{
    // 1. Edit 1014 with m_minError, as a float.
    if (saveAndValidate) {
        float value = 0.0f;
        if (!ParseFloatText(m_minErrorEdit->text(), value)) {
            FailExchange(m_minErrorEdit, QStringLiteral("Please enter a number."));
            return false;
        }
        m_minError = value;
    } else {
        m_minErrorEdit->setText(FormatFloatText(m_minError));
    }
    // 2. Edit 1015 with m_maxRenderTime, as an unsigned integer.
    if (saveAndValidate) {
        std::uint32_t value = 0;
        if (!ParseUnsignedText(m_maxRenderTimeEdit->text(), value)) {
            FailExchange(m_maxRenderTimeEdit, QStringLiteral("Please enter a positive integer."));
            return false;
        }
        m_maxRenderTime = value;
    } else {
        m_maxRenderTimeEdit->setText(QString::number(m_maxRenderTime));
    }
    // 3. Control 1017 attached to m_speedSlider.
    m_speedSlider = m_speedControl;
    // 4. Static 1018 with m_extentText.
    if (saveAndValidate) {
        m_extentText = m_extentStatic->text();
    } else {
        m_extentStatic->setText(m_extentText);
    }
    // 5. Control 1013 attached to m_overviewControl.
    m_overviewControl = m_overviewStatic;
    // 6. Static 1019 with m_maxTrianglesText.
    if (saveAndValidate) {
        m_maxTrianglesText = m_maxTrianglesStatic->text();
    } else {
        m_maxTrianglesStatic->setText(m_maxTrianglesText);
    }
    return true;
}

void CvantaPeakView::FailExchange(QLineEdit* edit, const QString& message)
{
    ShowMessageBox(message, this);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

void CvantaPeakView::OnInitialUpdate()
{
    UpdateData(false);
    ResizeParentToFit();
}

void CvantaPeakView::ResizeParentToFit()
{
    QWidget* frame = window();
    if (frame == this) {
        return;
    }
    if (frame->layout() != nullptr) {
        frame->layout()->activate();
    }
    // The frame's size less the area the view is shown in is what the frame
    // needs around the form (menu bar, borders). In a scrolling viewport that
    // area is the viewport without its scroll bars.
    QWidget* host = parentWidget();
    QSize shown = host == frame ? size() : host->size();
    if (auto* area = qobject_cast<QAbstractScrollArea*>(host->parentWidget())) {
        shown = area->maximumViewportSize();
    }
    const QSize needed = frame->size() - shown + FormSize();
    const QSize fitted(std::min(frame->width(), needed.width()),
                       std::min(frame->height(), needed.height()));
    if (fitted != frame->size()) {
        frame->resize(fitted);
    }
}

void CvantaPeakView::keyPressEvent(QKeyEvent* event)
{
    // Keys typed into a control of the form belong to that control; Qt hands
    // the ones a control ignores on to its parent, which Windows would not.
    if (hasFocus()) {
        OnKeyDown(event->key());
    }
    QWidget::keyPressEvent(event);
}
