#pragma once
// What the command line asked for. ParseProgramOptions (app/ProgramOptions)
// declares the options and fills this record; an option joins by adding a
// field here and its declaration there (in tools/CFlightOptions when the
// snapshot tool takes it too).
#include <QString>

#include <string>
#include <vector>

#include "render/Look.h"

struct CCommandLineInfo {
    // The document to open; empty: a new, empty document.
    QString fileName;
    // --help or --version was given: print and end successfully.
    bool showHelp = false;
    bool showVersion = false;
    // Flight options: choose "Iniciar" once the window is up; the speed on
    // the slider (km/h, 0..1000); a steady turn (degrees per second); close
    // the window after this many seconds (0: never); one statistics row per
    // frame into this CSV file (empty: none).
    bool start = false;
    // The guided flight steers the forward flight.
    bool tour = false;
    float speedKmh = 0.0f;
    float turnDegreesPerSecond = 0.0f;
    double quitAfterSeconds = 0.0;
    QString statsFile;
    // Terrain following: the least height above the ground, world units
    // (0: off).
    float clearance = 0.0f;
    // --look: how the flight is drawn (classic, the original picture, or enhanced).
    Look look = Look::Classic;
    // --terrain (repeated for tiles of a mosaic): fly over these elevation
    // files read straight through GDAL instead of the working folder; their
    // colours from --imagery (empty: painted), their relief times
    // --vertical-scale.
    std::vector<std::string> terrainFiles;
    std::string imageryFile;
    double verticalScale = 1.0;
    // --cache-size: the bound of the local cache of a terrain read from a
    // server, in MB.
    double cacheSizeMb = 2048.0;
};
