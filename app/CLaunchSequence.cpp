#include "app/CLaunchSequence.h"

#include <QDir>

#include <utility>

CLaunchSequence::CLaunchSequence(QString dataDir, QStringList tileCandidates, Actions actions)
    : m_dataDir(std::move(dataDir)), m_tileCandidates(std::move(tileCandidates)), m_actions(std::move(actions))
{
}

int CLaunchSequence::Run()
{
    m_steps.clear();
    bool createTried = false;
    bool copyTried = false;
    CLauncher::Offer offer = CLauncher::Offer::NotAsked;
    // Each act below sets the flag that keeps NextStep from choosing it
    // again, so the loop ends after at most four acts.
    for (;;) {
        CLauncher::Facts facts = CLauncher::Probe(m_dataDir, m_tileCandidates);
        facts.createTried = createTried;
        facts.copyTried = copyTried;
        facts.offer = offer;
        const CLauncher::Decision decision = CLauncher::NextStep(facts);
        m_steps.push_back(decision.step);
        switch (decision.step) {
        case CLauncher::Step::CreateFolder:
            createTried = true;
            QDir().mkpath(m_dataDir);
            break;
        case CLauncher::Step::CopyTiles:
            copyTried = true;
            CLauncher::CopyMissingTiles(facts.tileSource, m_dataDir);
            break;
        case CLauncher::Step::OfferTerrain:
            if (!m_actions.askGenerate(m_dataDir, facts.terrainProblem)) {
                offer = CLauncher::Offer::Declined;
                break;
            }
            switch (m_actions.generate(m_dataDir)) {
            case Generation::Done:
                offer = CLauncher::Offer::Generated;
                break;
            case Generation::Cancelled:
                offer = CLauncher::Offer::Declined;
                break;
            case Generation::Failed:
                offer = CLauncher::Offer::Failed;
                break;
            }
            break;
        case CLauncher::Step::StartFlight:
        case CLauncher::Step::StartPlain: {
            const QStringList arguments = decision.step == CLauncher::Step::StartFlight
                ? CLauncher::FlightArguments()
                : QStringList();
            if (m_actions.start(m_dataDir, arguments) != 0) {
                m_actions.showError(QStringLiteral("No se pudo iniciar vantapeak en %1.").arg(m_dataDir));
                return -1;
            }
            return 0;
        }
        case CLauncher::Step::Fail:
            m_actions.showError(decision.message);
            return -1;
        }
    }
}
