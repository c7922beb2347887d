#pragma once
// The launcher's run: probe, decide, act, until the program is started or a
// failure has been shown. The acts that talk to the user or start processes
// come in as functions, so the whole run can be driven without a screen.
// Runs on the thread that owns the user-interface objects the actions use.
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "app/CLauncher.h"

class CLaunchSequence {
public:
    enum class Generation { Done, Cancelled, Failed };

    struct Actions {
        // Asks whether to generate the default terrain; true: yes. `problem`
        // is empty when there is no terrain, else why the one there cannot
        // be used (the new one replaces it).
        std::function<bool(const QString& dataDir, const QString& problem)> askGenerate;
        // Generates the default terrain into dataDir with the tiles of
        // dataDir/Textures, showing its progress; a failure's reason is shown
        // by the action itself.
        std::function<Generation(const QString& dataDir)> generate;
        // Starts the program in dataDir with `arguments`; 0, or -1 when it
        // could not be started.
        std::function<int(const QString& dataDir, const QStringList& arguments)> start;
        // Shows a Spanish failure message.
        std::function<void(const QString& message)> showError;
    };

    CLaunchSequence(QString dataDir, QStringList tileCandidates, Actions actions);

    // 0 when the program was started, -1 when the run ended on a failure.
    int Run();

    // The steps taken, in order.
    const std::vector<CLauncher::Step>& Steps() const { return m_steps; }

private:
    QString m_dataDir;
    QStringList m_tileCandidates;
    Actions m_actions;
    std::vector<CLauncher::Step> m_steps;
};
