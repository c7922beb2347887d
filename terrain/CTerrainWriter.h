#pragma once
#include <functional>
#include <string>
#include <vector>

#include "terrain/CFolderLock.h"
#include "terrain/CTerrainFileSet.h"
#include "terrain/CTextureGenerator.h"

class CTerrainModel;

// Writes the files of one terrain into a folder from a model's height grid,
// as one set (CTerrainFileSet): the heightmap bitmap
// "terrainMdt_8193x8193.bmp" (levels = grid truncated), the texture bitmap
// "terrainMdt_8193x8193_Texture.bmp" painted from that heightmap as written
// and read back, and either the 16-bit heightmap
// "terrainMdt_8193x8193_16.tif" (CHeightmap16File) from the grid before
// truncation, or none (an earlier one is removed with the set, so a 16-bit
// file never belongs to other bitmaps than its own).
//
// Used by the terrain generator and the elevation import, on one thread.
// Order: RemoveLeftovers (which locks the folder), LoadTiles (before the long part of a run, so that
// a run without tiles fails early), then Write once.
class CTerrainWriter {
public:
    // What goes into the 16-bit heightmap besides the heights.
    struct Heights16 {
        bool write = false;
        double heightScale = 0.0;          // world units per code, > 0
        std::vector<double> geoTransform;  // six GDAL coefficients, or empty
        std::string projection;            // WKT, or empty
    };

    explicit CTerrainWriter(const std::string& folder);

    // Takes the folder's lock (CFolderLock) for the writer's life, then
    // removes what killed runs left beside the set's files. 0, or -1 with
    // Message() saying why when another run is writing into the folder
    // (nothing is touched then).
    int RemoveLeftovers();

    // Loads the five tiles from `texturesFolder`. 0, or -1 (Message() says
    // why) when none could be read, as the texture could only be black.
    // Missing ones are skipped and listed by MissingTiles().
    int LoadTiles(const std::string& texturesFolder);
    const std::vector<std::string>& MissingTiles() const { return m_missingTiles; }

    // Writes the set from model.m_grid, levels 0..255 over m_gridWidth x
    // m_gridHeight; releases the grid on the way. `progress` is called with
    // the fraction of this step done; returning false cancels. 0 when the
    // whole set is in place; -1 when the folder keeps its earlier files,
    // with Message() holding the Spanish reason, or Cancelled() true.
    int Write(CTerrainModel& model, const Heights16& heights16, const std::function<bool(float)>& progress);

    // Paint the texture with soft transitions between bands and rock on
    // steep slopes (CBlendPainter) instead of the plain bands, from the
    // model's grid before truncation (the world units per level those
    // heights stand for: the 16-bit heightmap's, or the classic 2.5).
    void SetBlend(bool on) { m_blend = on; }

    const std::string& Message() const { return m_message; }
    bool Cancelled() const { return m_cancelled; }

private:
    int Fail(const std::string& message);
    // Saves the painted texture into its stage and puts the set in place.
    // `goOn` is Write's progress check (false: cancelled).
    int SaveTexture(const std::string& textureStage, const std::function<bool(float)>& goOn);

    std::string m_folder;
    // Declared before the file set, so that staged files are gone before
    // the lock is let go.
    CFolderLock m_lock;
    CTerrainFileSet m_files;
    CTextureGenerator m_texture;
    bool m_blend = false;
    std::vector<std::string> m_missingTiles;
    std::string m_message;
    bool m_cancelled = false;
};
