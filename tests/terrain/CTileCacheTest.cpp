// A terrain served by a loopback nginx through the local cache: the same
// windows as the file itself, a second flight from the folder, the folder's
// bound, a file changed on the server, and a server that fails, stops or
// crawls.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include "tests/support/CLoopbackNginx.h"
#include "ElevationTestSupport.h"
#include "terrain/CGdalTerrainSource.h"
#include "terrain/CTileCache.h"

using namespace elevation_test;

namespace {

// Large enough for the source to take the height range from the overviews,
// so that opening reads only a little of the file.
constexpr std::int32_t kSide = 4100;
constexpr long kSlowBytesPerSecond = 4 << 20;

// Writes a cloud-optimised GeoTIFF of kSide x kSide 16-bit heights (512-sample
// tiles, overviews); `seed` changes every sample.
void WriteCog(const std::string& path, int seed)
{
    const Raster raster = MakeValues(kSide, kSide, GDT_UInt16, [seed](std::int32_t x, std::int32_t y) {
        return 30000.0 + 20000.0 * std::sin(x * 0.013 + seed) * std::cos(y * 0.011 - seed) + (x * 7 + y * 3 + seed) % 11;
    });
    ASSERT_TRUE(MakeRaster(path, "COG", raster));
}

std::vector<std::int32_t> Window(ITerrainSource& source, std::int32_t x0, std::int32_t z0, std::int32_t side,
                                 int* status)
{
    std::int32_t w = side;
    std::int32_t h = side;
    std::vector<std::int32_t> window(static_cast<std::size_t>(side) * side, -1);
    *status = source.ReadWindow(x0, z0, &w, &h, window.data());
    return window;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

class CTileCacheTest : public testing::Test {
protected:
    // The two versions of the served file, written once.
    static void SetUpTestSuite()
    {
        s_files = MakeFolder("served");
        WriteCog(s_files + "/1.tif", 1);
        WriteCog(s_files + "/2.tif", 2);
    }

    void SetUp() override
    {
        if (!CLoopbackNginx::Available())
            GTEST_SKIP() << "nginx is not installed (scripts/install-deps.sh)";
        m_folder = MakeFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_EQ(::mkdir((m_folder + "/www").c_str(), 0755), 0);
        Serve(1);
        CTileCache::Configure(m_folder + "/cache", CTileCache::kDefaultBytes);
        ASSERT_EQ(m_server.Start(m_folder + "/www", m_folder + "/nginx", kSlowBytesPerSecond), 0);
    }

    // The served files and caches are tens of MB: none is left behind.
    static void TearDownTestSuite() { std::system(("rm -rf '" + s_files + "'").c_str()); }

    void TearDown() override
    {
        m_server.Stop();
        if (!m_folder.empty())
            std::system(("rm -rf '" + m_folder + "'").c_str());
    }

    void Serve(int version)
    {
        ASSERT_EQ(std::system(("cp '" + s_files + "/" + std::to_string(version) + ".tif' '" + m_folder + "/www/t.tif'").c_str()), 0);
    }

    static inline std::string s_files;
    std::string m_folder;
    CLoopbackNginx m_server;
};

} // namespace

TEST_F(CTileCacheTest, ServedTerrainReadsAsTheFileAndASecondFlightFromTheFolder)
{
    CGdalTerrainSource local;
    ASSERT_EQ(local.Open({m_folder + "/www/t.tif"}), 0) << local.Message();
    struct Case {
        std::int32_t x0, z0, side;
    };
    const Case cases[] = {{0, 0, 300}, {700, 900, 512}, {4000, 4000, 200}, {-5, 3000, 64}};
    std::vector<std::vector<std::int32_t>> expected;
    for (const Case& c : cases) {
        int status = -1;
        expected.push_back(Window(local, c.x0, c.z0, c.side, &status));
        ASSERT_EQ(status, 0);
    }
    // Every spelling of the URL reads the same terrain; the first flight
    // fetches, later ones find every piece in the folder.
    const std::vector<std::string> names = {m_server.Url("t.tif"), "/vsicurl/" + m_server.Url("t.tif"),
                                            m_server.Url("t.tif")};
    for (std::size_t flight = 0; flight < names.size(); ++flight) {
        SCOPED_TRACE(names[flight]);
        const std::int64_t fetched = CTileCache::BytesFetched();
        CGdalTerrainSource served;
        ASSERT_EQ(served.Open({names[flight]}), 0) << served.Message();
        EXPECT_EQ(served.Width(), kSide);
        EXPECT_FLOAT_EQ(served.HeightScale(), local.HeightScale());
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            int status = -1;
            EXPECT_EQ(Window(served, cases[i].x0, cases[i].z0, cases[i].side, &status), expected[i]) << i;
            EXPECT_EQ(status, 0);
        }
        if (flight == 0)
            EXPECT_GT(CTileCache::BytesFetched() - fetched, 0);
        else
            EXPECT_EQ(CTileCache::BytesFetched() - fetched, 0);
    }
    EXPECT_GT(CTileCache::BytesKept(), 0);
    EXPECT_LE(CTileCache::BytesKept(), CTileCache::kDefaultBytes);
}

TEST_F(CTileCacheTest, FolderStaysWithinItsBoundKeepingThePiecesUsedLast)
{
    const std::int64_t bound = 4 * CTileCache::kPieceBytes;
    CTileCache::Configure(m_folder + "/small", bound);
    CGdalTerrainSource local;
    CGdalTerrainSource served;
    ASSERT_EQ(local.Open({m_folder + "/www/t.tif"}), 0);
    ASSERT_EQ(served.Open({m_server.Url("t.tif")}), 0) << served.Message();
    for (std::int32_t z0 : {0, 1024, 2048}) {
        int status = -1;
        int localStatus = -1;
        EXPECT_EQ(Window(served, 0, z0, 1024, &status), Window(local, 0, z0, 1024, &localStatus)) << z0;
        EXPECT_EQ(status, 0);
        EXPECT_LE(CTileCache::BytesKept(), bound);
    }
    // A fresh start over the same folder counts what the folder holds.
    CTileCache::Configure(m_folder + "/small", bound);
    EXPECT_GT(CTileCache::BytesKept(), 0);
    EXPECT_LE(CTileCache::BytesKept(), bound);
}

TEST_F(CTileCacheTest, FileChangedOnTheServerIsNeverMixedWithWhatWasKept)
{
    CGdalTerrainSource before;
    ASSERT_EQ(before.Open({m_server.Url("t.tif")}), 0) << before.Message();
    int status = -1;
    const std::vector<std::int32_t> kept = Window(before, 0, 0, 256, &status);
    ASSERT_EQ(status, 0);

    // The new file gets a later modification time, as a server's would.
    Serve(2);
    timeval later[2] = {{std::time(nullptr) + 60, 0}, {std::time(nullptr) + 60, 0}};
    ASSERT_EQ(::utimes((m_folder + "/www/t.tif").c_str(), later), 0);
    CGdalTerrainSource local;
    ASSERT_EQ(local.Open({m_folder + "/www/t.tif"}), 0);
    CGdalTerrainSource after;
    ASSERT_EQ(after.Open({m_server.Url("t.tif")}), 0) << after.Message();
    int localStatus = -1;
    EXPECT_EQ(Window(after, 0, 0, 256, &status), Window(local, 0, 0, 256, &localStatus));
    EXPECT_NE(Window(after, 0, 0, 256, &status), kept);

    // The source opened before the change notices it at its next check and
    // reads nothing more of the new file; what it had stays.
    std::this_thread::sleep_for(std::chrono::seconds(CTileCache::kRecheckSeconds + 1));
    Window(before, 3000, 3000, 400, &status);
    EXPECT_EQ(status, -1);
    EXPECT_TRUE(CTileCache::Changed());
    EXPECT_EQ(Window(before, 0, 0, 256, &status), kept);
    EXPECT_EQ(status, 0);
}

TEST_F(CTileCacheTest, FailingStoppedAndSlowServersEndReadsCleanly)
{
    // A location that answers 500 is refused at once, with a Spanish reason.
    CGdalTerrainSource failing;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failing.Open({m_server.Url("fail/t.tif")}), -1);
    EXPECT_NE(failing.Message().find("No se pudo leer"), std::string::npos) << failing.Message();
    EXPECT_LT(Seconds(start), 2.0 * CTileCache::kStallSeconds);

    // A server that takes the connection and never answers costs the stall
    // limit for each request, not more.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    CGdalTerrainSource stalled;
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(stalled.Open({"http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/t.tif"}), -1);
    EXPECT_LT(Seconds(start), 4.0 * CTileCache::kStallSeconds);
    ::close(listener);

    // A slow link delivers the same windows.
    CGdalTerrainSource local;
    CGdalTerrainSource slow;
    ASSERT_EQ(local.Open({m_folder + "/www/t.tif"}), 0);
    ASSERT_EQ(slow.Open({m_server.Url("slow/t.tif")}), 0) << slow.Message();
    int status = -1;
    int localStatus = -1;
    EXPECT_EQ(Window(slow, 500, 500, 512, &status), Window(local, 500, 500, 512, &localStatus));
    EXPECT_EQ(status, 0);

    // A server stopped mid-flight: what is kept still reads, the rest fails
    // within the stall limit, and the first read after the server is back
    // succeeds.
    CGdalTerrainSource served;
    ASSERT_EQ(served.Open({m_server.Url("t.tif")}), 0) << served.Message();
    const std::vector<std::int32_t> kept = Window(served, 0, 0, 300, &status);
    ASSERT_EQ(status, 0);
    const int port = m_server.Port();
    m_server.Stop();
    start = std::chrono::steady_clock::now();
    Window(served, 3500, 3500, 300, &status);
    EXPECT_EQ(status, -1);
    EXPECT_LT(Seconds(start), 2.0 * CTileCache::kStallSeconds);
    CGdalTerrainSource reopened;
    EXPECT_EQ(reopened.Open({m_server.Url("t.tif")}), -1) << "a file is never opened without its server's validator";
    ASSERT_EQ(m_server.Start(m_folder + "/www", m_folder + "/nginx", kSlowBytesPerSecond, port), 0);
    EXPECT_EQ(Window(served, 3500, 3500, 300, &status), Window(local, 3500, 3500, 300, &localStatus));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Window(served, 0, 0, 300, &status), kept);
}
