// "Generar terreno": a new default terrain is generated on a worker thread
// behind a progress dialog, while the form and a running simulation go on.
#include "view/CvantaPeakView.h"

#include <QProgressDialog>
#include <QTimer>

#include <ctime>

#include "terrain/CTerrainGenerator.h"
#include "view/MessageBox.h"

namespace {

constexpr int kProgressSteps = 1000;
constexpr int kPollMs = 100;

} // namespace

void CvantaPeakView::OnGenerateTerrain()
{
    // One run at a time: a second command brings the running one's dialog up.
    if (m_generator != nullptr) {
        if (m_generateProgress != nullptr) {
            m_generateProgress->raise();
            m_generateProgress->activateWindow();
        }
        return;
    }
    CTerrainGenerator::Settings settings;
    settings.folder = ".";
    settings.size = CTerrainGenerator::kDefaultSize;
    settings.seed = static_cast<std::uint32_t>(std::time(nullptr));
    settings.texturesFolder = "Textures";

    m_generator = std::make_unique<CTerrainGenerator>();
    CTerrainGenerator* generator = m_generator.get();
    m_generateDone = false;
    m_generateThread = std::thread([this, generator, settings] {
        generator->Run(settings);
        m_generateDone = true;
    });

    m_generateProgress = new QProgressDialog(QString::fromUtf8("Generando el terreno y su textura..."),
                                             QString::fromUtf8("Cancelar"), 0, kProgressSteps, this);
    m_generateProgress->setWindowTitle(QString::fromUtf8("vantaPeak"));
    m_generateProgress->setWindowModality(Qt::NonModal);
    m_generateProgress->setMinimumDuration(0);
    m_generateProgress->setAutoClose(false);
    m_generateProgress->setAutoReset(false);
    m_generateProgress->setValue(0);
    connect(m_generateProgress, &QProgressDialog::canceled, this, [generator] { generator->Cancel(); });

    auto* poll = new QTimer(m_generateProgress);
    connect(poll, &QTimer::timeout, this, &CvantaPeakView::PollGeneration);
    poll->start(kPollMs);
    m_generateProgress->show();
}

void CvantaPeakView::PollGeneration()
{
    if (m_generator == nullptr) {
        return;
    }
    if (!m_generateDone.load()) {
        if (m_generateProgress != nullptr && !m_generator->CancelRequested()) {
            m_generateProgress->setValue(static_cast<int>(m_generator->Progress() * kProgressSteps));
        }
        return;
    }
    FinishGeneration();
    const QString message = QString::fromUtf8(m_lastGenerateMessage.c_str());
    ShowMessageBox(message, this);
}

void CvantaPeakView::FinishGeneration()
{
    if (m_generateThread.joinable()) {
        m_generateThread.join();
    }
    if (m_generator != nullptr) {
        m_lastGenerateMessage = m_generator->Message();
        m_generator.reset();
    }
    if (m_generateProgress != nullptr) {
        m_generateProgress->deleteLater();
        m_generateProgress = nullptr;
    }
}

void CvantaPeakView::CancelGeneration()
{
    if (m_generator != nullptr) {
        m_generator->Cancel();
    }
    FinishGeneration();
}
