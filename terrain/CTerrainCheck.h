#pragma once
#include <cstdint>
#include <string>

// Says, from the files' headers and sizes alone (no pixel is read), whether
// the terrain files in a folder can be used, and if not, why: a file cut
// short, a header that is not a bitmap the loader reads, a 16-bit heightmap
// whose size differs from the heightmap's or that lacks its height scale. The reasons are Spanish, lower case, without a
// final full stop, for a message to show them below its own text.
//
// Cheap enough to run before every start; any thread.
class CTerrainCheck {
public:
    enum class State {
        Missing,  // the heightmap or the texture is not there
        Usable,   // every file there can be read
        Unusable, // a file is there but cannot be used; see the reason
    };

    // A BMP file the bitmap loader reads whole: 0 with its size, or -1 with
    // the reason.
    static int CheckBitmap(const std::string& path, std::int32_t& width, std::int32_t& height, std::string* reason);

    // The 16-bit heightmap at `path` for a width x height heightmap: 0 when
    // its header promises a usable file, -1 with the reason.
    static int CheckHeights16(const std::string& path, std::int32_t width, std::int32_t height, std::string* reason);

    // The terrain set in `folder` ("" is the current folder): heightmap,
    // texture and, when there is one, the 16-bit heightmap. The reason of an
    // unusable set starts with the file's name.
    static State CheckFolder(const std::string& folder, std::string* reason);
};
