#pragma once
// The local cache of a terrain that lives on a server. A remote name (an
// http:// or https:// URL, or a GDAL network path such as /vsicurl/... or
// /vsis3/...) is opened through CachedName, a path under GDAL's virtual file
// system that this class serves: every read is cut into aligned pieces of
// kPieceBytes, and a piece is read from the cache folder when it is there,
// else fetched through GDAL's network layer and kept. The folder is bounded
// (kDefaultBytes unless Configure says otherwise); the pieces used least
// recently go first. A file's pieces are keyed by its name and the server's
// validator (its size and modification time), so a file changed on the
// server never mixes with what was kept of its earlier self.
//
// While a file is read, the server's validator is asked again every
// kRecheckSeconds of fetching: once it differs, the file counts as changed
// (Changed()) and its pieces not yet kept fail to read, so that a flight goes
// on over what it has instead of joining two versions of the terrain.
//
// A fetch gives up after kStallSeconds without data, so a stalled server
// holds a read (and a close waiting for it) only that long.
//
// Threads: Configure before the first remote read; everything else from any
// thread.
#include <cstdint>
#include <string>

class CTileCache {
public:
    static constexpr std::int64_t kDefaultBytes = std::int64_t{2048} << 20;
    static constexpr std::int64_t kPieceBytes = std::int64_t{256} << 10;
    static constexpr int kRecheckSeconds = 5;
    static constexpr int kStallSeconds = 3;

    // Keeps the pieces in `folder` (created at the first piece kept), at
    // most `maxBytes` of them (at least one piece). Without a call: the
    // default folder and bound.
    static void Configure(const std::string& folder, std::int64_t maxBytes);
    // $XDG_CACHE_HOME/vantapeak, or ~/.cache/vantapeak.
    static std::string DefaultFolder();
    static std::string Folder();
    static std::int64_t MaxBytes();

    // Whether GDAL reads `name` over the network.
    static bool IsRemote(const std::string& name);
    // The name to open `name` with: a remote name through the cache, any
    // other unchanged.
    static std::string CachedName(const std::string& name);

    // The server's present version of the file opened by `cachedName` (a
    // CachedName), asked afresh: a text that changes with the file, or empty
    // when the server does not answer.
    static std::string Version(const std::string& cachedName);

    // Bytes fetched from servers and bytes read from the folder since the
    // process started.
    static std::int64_t BytesFetched();
    static std::int64_t BytesFromCache();
    // Bytes the folder holds now.
    static std::int64_t BytesKept();
    // Whether a fetch is in progress now.
    static bool Fetching();
    // Whether a file read through the cache has changed on its server.
    static bool Changed();
};
