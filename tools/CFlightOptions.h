#pragma once
// The flight options that the window program and the snapshot tool share:
// --tour, --speed, --turn, --clearance, --look and the terrain read straight
// from elevation files (--terrain, --imagery, --vertical-scale, --cache-size), declared here once with
// their ranges so that both programs read them alike. The help words them
// for the program that declares them: the window program flies live from the
// slider, the snapshot tool flies the recording of --record (and there the
// speed defaults to 300 km/h).
//
// An option both programs take joins by a field here and its declaration in
// Declare; each program then copies the field where it needs it.
#include <string>
#include <vector>

#include "render/Look.h"
#include "tools/COptionParser.h"

struct CFlightOptions {
    enum class Host { Program, Snapshot };

    explicit CFlightOptions(Host host);

    // Declares the options on `parser`, which writes the values it reads
    // into this record: it must outlive the parser's Parse.
    void Declare(COptionParser& parser);

    Host host;
    // The guided flight steers (the autopilot of CTourPilot).
    bool tour = false;
    // Forward speed, km/h, 0..1000.
    double speedKmh = 0.0;
    // A steady turn, degrees per second, positive to the right, -3600..3600.
    double turnDegreesPerSecond = 0.0;
    // Terrain following: the least height above the ground, world units,
    // 0..5000 (0: off).
    double clearance = 0.0;
    Look look = Look::Classic;
    // Elevation files flown window by window instead of the terrain folder
    // (several: tiles of a mosaic), their colours (empty: painted from the
    // heights) and the exaggeration of their relief.
    std::vector<std::string> terrain;
    std::string imagery;
    double verticalScale = 1.0;
    // The bound of the local cache of a terrain read from a server, MB.
    double cacheSizeMb = 2048.0;
};
