#pragma once
// What the menu entry's launcher does next, decided from what is on disk.
//
// The program reads its terrain and tiles from the working directory, so a
// program started from the desktop menu gets a data folder of its own,
// $XDG_DATA_HOME/vantapeak (~/.local/share/vantapeak by default). The
// launcher repeats: look at the disk (Probe), decide (NextStep), act; every
// act is checked by looking again, so a failed act is seen as such and never
// repeated. NextStep is a pure function; Probe and CopyMissingTiles only touch
// the filesystem. Any thread may call them.
#include <QString>
#include <QStringList>

class CLauncher {
public:
    enum class Folder {
        Missing,     // nothing at the data folder's path
        Ready,       // a folder we may write in
        NotWritable, // a folder we may not write in
        NotAFolder,  // something else holds the path
    };

    // The answer to the offer to generate the default terrain.
    enum class Offer {
        NotAsked,
        Declined,  // the user said no or cancelled the generation
        Generated, // the generator reported success
        Failed,    // the generator reported failure (it has been shown)
    };

    struct Facts {
        QString dataDir;           // empty: no place for it is known
        Folder folder = Folder::Missing;
        QStringList missingTiles;  // tile file names absent from dataDir/Textures
        QString tileSource;        // a folder holding all five tiles; empty: none found
        bool terrainPresent = false; // both terrain files are in dataDir
        // Why the terrain there cannot be used (a file cut short, a damaged
        // header: CTerrainCheck); empty when it can, or is not there.
        QString terrainProblem;
        // What was tried already in this run.
        bool createTried = false;
        bool copyTried = false;
        Offer offer = Offer::NotAsked;
    };

    enum class Step {
        CreateFolder, // make dataDir (and its parents)
        CopyTiles,    // copy the missing tiles from tileSource
        OfferTerrain, // ask whether to generate the default terrain (again,
                      // over an unusable one), and do it
        StartFlight,  // start the program in dataDir with FlightArguments()
        StartPlain,   // start the program in dataDir with no option
        Fail,         // tell the user Decision::message and end
    };

    struct Decision {
        Step step;
        QString message; // Spanish, for Step::Fail only
    };

    static Decision NextStep(const Facts& facts);

    // $XDG_DATA_HOME/vantapeak when that variable holds an absolute path, else
    // $HOME/.local/share/vantapeak; empty when neither is usable.
    static QString DataFolder(const QString& xdgDataHome, const QString& home);

    // The first of `candidates` that holds all five tiles; empty when none does.
    static QString FindTileSource(const QStringList& candidates);

    // Where an installed or a built launcher finds the tiles, given the folder
    // of its own executable: <prefix>/share/vantapeak/Textures beside
    // <prefix>/bin, the source tree's data/Textures beside <source>/build/app,
    // then the system's /usr/share/vantapeak/Textures.
    static QStringList TileCandidates(const QString& executableDir);

    // Looks at dataDir and the candidates; the "tried" fields stay at their
    // defaults.
    static Facts Probe(const QString& dataDir, const QStringList& tileCandidates);

    // Copies the tiles that dataDir/Textures lacks from `source`, creating the
    // Textures folder; tiles already there are kept. 0, or -1 when a copy failed.
    static int CopyMissingTiles(const QString& source, const QString& dataDir);

    // The options the flight is started with: the guided flight of
    // app/guided-flight.args, the same as `make run`'s.
    static QStringList FlightArguments();
};
