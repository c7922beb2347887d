#include "terrain/CTileCache.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cpl_conv.h>
#include <cpl_string.h>
#include <cpl_vsi.h>

#include "terrain/CGdal.h"

namespace fs = std::filesystem;

namespace {

// The virtual file system prefix this cache serves.
constexpr const char* kPrefix = "/vsivpcache/";
constexpr const char* kPieceSuffix = ".piece";
// Once the folder passes its bound it is brought down to this share of it,
// so that eviction runs once every many pieces rather than at each.
constexpr std::int64_t kEvictToPercent = 90;

struct Piece {
    std::int64_t bytes = 0;
    std::int64_t lastUse = 0; // nanoseconds since the epoch
};

// Process-wide state. Never destroyed: GDAL may close files at exit.
struct State {
    std::mutex lock; // everything but the counters
    std::string folder;
    std::int64_t maxBytes = CTileCache::kDefaultBytes;
    bool configured = false;
    bool scanned = false;
    std::unordered_map<std::string, Piece> pieces; // by path relative to the folder
    std::int64_t kept = 0;
    std::int64_t clock = 0;
    std::atomic<std::int64_t> fetched{0};
    std::atomic<std::int64_t> fromCache{0};
    std::atomic<int> fetching{0};
    std::atomic<bool> changed{false};
};

State& Shared()
{
    static State* state = new State;
    return *state;
}

// One open remote file.
struct CHandle {
    std::string remote; // the name GDAL's network layer reads
    std::string key;    // folder of its pieces
    vsi_l_offset size = 0;
    std::int64_t mtime = 0;
    vsi_l_offset position = 0;
    bool eof = false;
    std::int64_t pieceIndex = -1;
    std::vector<unsigned char> piece;
    std::chrono::steady_clock::time_point checked;
    bool changed = false;
};

std::int64_t Now(State& state)
{
    const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    state.clock = std::max(state.clock + 1, now);
    return state.clock;
}

std::string Key(const std::string& remote, vsi_l_offset size, std::int64_t mtime)
{
    // FNV-1a over the name and the validator.
    const std::string text = remote + "\n" + std::to_string(size) + "\n" + std::to_string(mtime);
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

// Under state.lock: drops the pieces used least recently until the folder
// is back within its bound.
void Evict(State& state)
{
    if (state.kept <= state.maxBytes)
        return;
    std::vector<std::pair<std::int64_t, std::string>> order;
    order.reserve(state.pieces.size());
    for (const auto& [path, piece] : state.pieces)
        order.emplace_back(piece.lastUse, path);
    std::sort(order.begin(), order.end());
    const std::int64_t target = state.maxBytes / 100 * kEvictToPercent;
    for (const auto& [used, path] : order) {
        if (state.kept <= target)
            break;
        const fs::path file = fs::path(state.folder) / path;
        std::error_code error;
        fs::remove(file, error);
        fs::remove(file.parent_path(), error); // only when it is empty now
        state.kept -= state.pieces[path].bytes;
        state.pieces.erase(path);
    }
}

// Under state.lock: the folder's pieces, read once.
void Scan(State& state)
{
    if (state.scanned)
        return;
    state.scanned = true;
    if (!state.configured) {
        state.folder = CTileCache::DefaultFolder();
        state.configured = true;
    }
    std::error_code error;
    for (fs::recursive_directory_iterator it(state.folder, error), end; !error && it != end; it.increment(error)) {
        if (it.depth() > 1 || !it->is_regular_file(error) || it->path().extension() != kPieceSuffix)
            continue;
        struct stat info {};
        if (::stat(it->path().c_str(), &info) != 0)
            continue;
        const std::string relative = it->path().parent_path().filename().string() + "/" + it->path().filename().string();
        const std::int64_t used = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        state.pieces[relative] = {static_cast<std::int64_t>(info.st_size), used};
        state.kept += info.st_size;
        state.clock = std::max(state.clock, used);
    }
    Evict(state);
}

std::string PiecePath(const CHandle& handle, std::int64_t index)
{
    return handle.key + "/" + std::to_string(index) + kPieceSuffix;
}

// Reads a kept piece of `bytes` bytes. 0, or -1 when it is not kept whole.
int ReadKept(State& state, const CHandle& handle, std::int64_t index, std::int64_t bytes,
             std::vector<unsigned char>* data)
{
    std::string folder;
    const std::string relative = PiecePath(handle, index);
    {
        std::lock_guard<std::mutex> guard(state.lock);
        Scan(state);
        folder = state.folder;
    }
    const std::string path = folder + "/" + relative;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info {};
    data->resize(static_cast<std::size_t>(bytes));
    const bool whole = ::fstat(fd, &info) == 0 && info.st_size == bytes
                       && ::pread(fd, data->data(), data->size(), 0) == static_cast<ssize_t>(bytes);
    ::close(fd);
    if (!whole)
        return -1;
    // Its use is remembered across runs by the file's time.
    ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
    std::lock_guard<std::mutex> guard(state.lock);
    Piece& piece = state.pieces[relative];
    if (piece.bytes == 0) {
        piece.bytes = bytes;
        state.kept += bytes;
    }
    piece.lastUse = Now(state);
    state.fromCache += bytes;
    return 0;
}

// Keeps a fetched piece (written aside, then renamed into place, so that a
// piece is whole or absent). A piece that cannot be written is only not kept.
void Keep(State& state, const CHandle& handle, std::int64_t index, const std::vector<unsigned char>& data)
{
    static std::atomic<unsigned> serial{0};
    std::lock_guard<std::mutex> guard(state.lock);
    Scan(state);
    const std::string relative = PiecePath(handle, index);
    const fs::path path = fs::path(state.folder) / relative;
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    const std::string aside = path.string() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    const int fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const bool written = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    if (::close(fd) != 0 || !written || ::rename(aside.c_str(), path.c_str()) != 0) {
        ::unlink(aside.c_str());
        return;
    }
    Piece& piece = state.pieces[relative];
    state.kept += static_cast<std::int64_t>(data.size()) - piece.bytes;
    piece.bytes = static_cast<std::int64_t>(data.size());
    piece.lastUse = Now(state);
    Evict(state);
}

// Sets GDAL's network limits for this thread's fetches for its lifetime.
class CFetchLimits {
public:
    CFetchLimits()
    {
        const std::string stall = std::to_string(CTileCache::kStallSeconds);
        Set("GDAL_HTTP_CONNECTTIMEOUT", stall.c_str());
        Set("GDAL_HTTP_LOW_SPEED_TIME", stall.c_str());
        Set("GDAL_HTTP_LOW_SPEED_LIMIT", "1");
    }
    ~CFetchLimits()
    {
        for (const auto& [name, value] : m_saved)
            CPLSetThreadLocalConfigOption(name.c_str(), value ? value->c_str() : nullptr);
    }
    CFetchLimits(const CFetchLimits&) = delete;
    CFetchLimits& operator=(const CFetchLimits&) = delete;

private:
    void Set(const char* name, const char* value)
    {
        const char* old = CPLGetThreadLocalConfigOption(name, nullptr);
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        CPLSetThreadLocalConfigOption(name, value);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// After a failed fetch GDAL forgets what it learnt of the file and of its
// folder (a listing that failed marks the file missing), so that the next
// try asks the server afresh.
void Forget(CHandle& handle) { VSICurlPartialClearCache(CPLGetPath(handle.remote.c_str())); }

// Whether the server still serves the file the handle opened; a file found
// changed stays so.
bool StillSame(State& state, CHandle& handle)
{
    const auto now = std::chrono::steady_clock::now();
    if (handle.changed)
        return false;
    if (now - handle.checked < std::chrono::seconds(CTileCache::kRecheckSeconds))
        return true;
    handle.checked = now;
    VSICurlPartialClearCache(handle.remote.c_str());
    VSIStatBufL info {};
    if (VSIStatL(handle.remote.c_str(), &info) != 0)
        return true; // no answer now: the piece just fetched is still of the file
    if (static_cast<vsi_l_offset>(info.st_size) != handle.size || static_cast<std::int64_t>(info.st_mtime) != handle.mtime) {
        handle.changed = true;
        state.changed = true;
        return false;
    }
    return true;
}

int Fetch(State& state, CHandle& handle, std::int64_t index, std::int64_t bytes, std::vector<unsigned char>* data)
{
    if (handle.changed)
        return -1;
    CFetchLimits limits;
    CGdal::CQuiet quiet;
    // A network handle of its own for each piece: one kept open would read
    // further and further ahead of pieces asked for one after the other.
    VSILFILE* fetcher = VSIFOpenExL(handle.remote.c_str(), "rb", TRUE);
    if (fetcher == nullptr) {
        Forget(handle);
        return -1;
    }
    data->resize(static_cast<std::size_t>(bytes));
    ++state.fetching;
    const bool whole = VSIFSeekL(fetcher, static_cast<vsi_l_offset>(index * CTileCache::kPieceBytes), SEEK_SET) == 0
                       && VSIFReadL(data->data(), 1, data->size(), fetcher) == data->size();
    --state.fetching;
    VSIFCloseL(fetcher);
    if (!whole) {
        Forget(handle);
        return -1;
    }
    if (!StillSame(state, handle))
        return -1;
    state.fetched += bytes;
    Keep(state, handle, index, *data);
    return 0;
}

int LoadPiece(CHandle& handle, std::int64_t index)
{
    if (index == handle.pieceIndex)
        return 0;
    State& state = Shared();
    const std::int64_t start = index * CTileCache::kPieceBytes;
    const std::int64_t bytes = std::min<std::int64_t>(CTileCache::kPieceBytes, static_cast<std::int64_t>(handle.size) - start);
    handle.pieceIndex = -1;
    if (ReadKept(state, handle, index, bytes, &handle.piece) != 0 && Fetch(state, handle, index, bytes, &handle.piece) != 0)
        return -1;
    handle.pieceIndex = index;
    return 0;
}

// The callbacks get the names without the cache's prefix: the remote names.
int OnStat(void*, const char* name, VSIStatBufL* info, int flags)
{
    CFetchLimits limits;
    return VSIStatExL(name, info, flags);
}

char** OnSiblingFiles(void*, const char*)
{
    // No side files are looked for beside a served terrain: each would cost
    // the server a request.
    return static_cast<char**>(CPLCalloc(1, sizeof(char*)));
}

void* OnOpen(void*, const char* name, const char* access)
{
    if (std::strpbrk(access, "wa+") != nullptr)
        return nullptr;
    auto handle = std::make_unique<CHandle>();
    handle->remote = name;
    VSIStatBufL info {};
    {
        // The validator comes from the server, not from what GDAL learnt of
        // the file before.
        VSICurlPartialClearCache(name);
        CFetchLimits limits;
        if (VSIStatExL(handle->remote.c_str(), &info, VSI_STAT_EXISTS_FLAG | VSI_STAT_SIZE_FLAG) != 0
            || S_ISDIR(info.st_mode))
            return nullptr;
    }
    handle->size = static_cast<vsi_l_offset>(info.st_size);
    handle->mtime = static_cast<std::int64_t>(info.st_mtime);
    handle->key = Key(handle->remote, handle->size, handle->mtime);
    handle->checked = std::chrono::steady_clock::now();
    return handle.release();
}

vsi_l_offset OnTell(void* file) { return static_cast<CHandle*>(file)->position; }

int OnSeek(void* file, vsi_l_offset offset, int whence)
{
    auto* handle = static_cast<CHandle*>(file);
    if (whence == SEEK_SET)
        handle->position = offset;
    else if (whence == SEEK_CUR)
        handle->position += offset;
    else if (whence == SEEK_END)
        handle->position = handle->size + offset;
    else
        return -1;
    handle->eof = false;
    return 0;
}

std::size_t OnRead(void* file, void* buffer, std::size_t size, std::size_t count)
{
    auto* handle = static_cast<CHandle*>(file);
    if (size == 0 || count == 0)
        return 0;
    const std::size_t total = size * count;
    std::size_t done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (done < total) {
        if (handle->position >= handle->size) {
            handle->eof = true;
            break;
        }
        const auto index = static_cast<std::int64_t>(handle->position / CTileCache::kPieceBytes);
        if (LoadPiece(*handle, index) != 0)
            break;
        const auto within = static_cast<std::size_t>(handle->position - static_cast<vsi_l_offset>(index) * CTileCache::kPieceBytes);
        const std::size_t n = std::min(handle->piece.size() - within, total - done);
        std::memcpy(out + done, handle->piece.data() + within, n);
        handle->position += n;
        done += n;
    }
    return done / size;
}

int OnEof(void* file) { return static_cast<CHandle*>(file)->eof ? 1 : 0; }

int OnClose(void* file)
{
    delete static_cast<CHandle*>(file);
    return 0;
}

void Install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        CGdal::Initialise();
        VSIFilesystemPluginCallbacksStruct* callbacks = VSIAllocFilesystemPluginCallbacksStruct();
        callbacks->stat = OnStat;
        callbacks->sibling_files = OnSiblingFiles;
        callbacks->open = OnOpen;
        callbacks->tell = OnTell;
        callbacks->seek = OnSeek;
        callbacks->read = OnRead;
        callbacks->eof = OnEof;
        callbacks->close = OnClose;
        VSIInstallPluginHandler(kPrefix, callbacks);
        VSIFreeFilesystemPluginCallbacksStruct(callbacks);
    });
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

} // namespace

void CTileCache::Configure(const std::string& folder, std::int64_t maxBytes)
{
    // Nothing is touched on disk until a remote file is read.
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    state.folder = folder;
    state.maxBytes = std::max(maxBytes, kPieceBytes);
    state.configured = true;
    state.scanned = false;
    state.pieces.clear();
    state.kept = 0;
}

std::string CTileCache::DefaultFolder()
{
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/vantapeak";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && home[0] != '\0' ? home : "/tmp") + "/.cache/vantapeak";
}

std::string CTileCache::Folder()
{
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.configured ? state.folder : DefaultFolder();
}

std::int64_t CTileCache::MaxBytes()
{
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.maxBytes;
}

bool CTileCache::IsRemote(const std::string& name)
{
    for (const char* prefix : {"http://", "https://", "/vsicurl/", "/vsicurl?", "/vsis3/", "/vsigs/", "/vsiaz/",
                               "/vsiadls/", "/vsioss/", "/vsiswift/", "/vsiwebhdfs/"})
        if (StartsWith(name, prefix))
            return true;
    return false;
}

std::string CTileCache::CachedName(const std::string& name)
{
    if (!IsRemote(name))
        return name;
    Install();
    if (StartsWith(name, "http://") || StartsWith(name, "https://"))
        return std::string(kPrefix) + "/vsicurl/" + name;
    return kPrefix + name;
}

std::string CTileCache::Version(const std::string& cachedName)
{
    if (cachedName.rfind(kPrefix, 0) != 0)
        return "";
    const std::string remote = cachedName.substr(std::strlen(kPrefix));
    CFetchLimits limits;
    CGdal::CQuiet quiet;
    VSICurlPartialClearCache(CPLGetPath(remote.c_str()));
    VSIStatBufL info {};
    if (VSIStatL(remote.c_str(), &info) != 0)
        return "";
    return Key(remote, static_cast<vsi_l_offset>(info.st_size), static_cast<std::int64_t>(info.st_mtime));
}

std::int64_t CTileCache::BytesFetched() { return Shared().fetched.load(); }

std::int64_t CTileCache::BytesFromCache() { return Shared().fromCache.load(); }

std::int64_t CTileCache::BytesKept()
{
    State& state = Shared();
    std::lock_guard<std::mutex> guard(state.lock);
    Scan(state);
    return state.kept;
}

bool CTileCache::Fetching() { return Shared().fetching.load() > 0; }

bool CTileCache::Changed() { return Shared().changed.load(); }
