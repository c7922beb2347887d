// Network reads against a server that never answers: a listening socket on
// 127.0.0.1 that nobody accepts from (the kernel completes the handshakes,
// then nothing comes).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cpl_conv.h>

#include "terrain/CElevationImporter.h"
#include "terrain/CGdal.h"
#include "tests/terrain/ElevationTestSupport.h"

using namespace elevation_test;

namespace {

// A stall of a user's choosing, set before GDAL is first set up in this
// process, as a user's environment would.
const bool kShortStall = ::setenv("GDAL_HTTP_LOW_SPEED_TIME", "2", 1) == 0;

const std::vector<std::string> kSet
    = {"terrainMdt_8193x8193.bmp", "terrainMdt_8193x8193_16.tif", "terrainMdt_8193x8193_Texture.bmp"};

class CStalledServer {
public:
    CStalledServer()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_socket >= 0 && ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
            && ::listen(m_socket, 16) == 0
            && ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~CStalledServer() { ::close(m_socket); }
    int Port() const { return m_port; }
    // True once a client's connection waits (within `seconds`).
    bool WaitForClient(int seconds) const
    {
        pollfd waiting {m_socket, POLLIN, 0};
        return ::poll(&waiting, 1, seconds * 1000) == 1;
    }

private:
    int m_socket = -1;
    int m_port = 0;
};

// A VRT whose one band comes from `url`.
std::string NetworkVrt(const std::string& url)
{
    return "<VRTDataset rasterXSize=\"300\" rasterYSize=\"300\"><VRTRasterBand dataType=\"Float32\" band=\"1\">"
           "<SimpleSource><SourceFilename>/vsicurl/" + url + "</SourceFilename><SourceBand>1</SourceBand>"
           "<SourceProperties RasterXSize=\"300\" RasterYSize=\"300\" DataType=\"Float32\" BlockXSize=\"300\" "
           "BlockYSize=\"1\"/></SimpleSource></VRTRasterBand></VRTDataset>";
}

// An output folder holding an earlier terrain set.
std::string FolderWithSet(const std::string& name)
{
    const std::string folder = MakeFolder(name);
    for (const std::string& file : kSet)
        WriteFile(folder + "/" + file, "old " + file);
    return folder;
}

void ExpectEarlierSet(const std::string& folder)
{
    EXPECT_EQ(Entries(folder), kSet);
    for (const std::string& file : kSet)
        EXPECT_EQ(ReadFile(folder + "/" + file), "old " + file);
}

} // namespace

// The read gives up after the stall the user chose (ours would be 10 s),
// says that the server did not answer, and keeps GDAL's words for the
// detail. Without a stall limit it would wait as long as the server holds
// the connection: for ever here.
TEST(NetworkRead, ImportOverAStalledServerGivesUpAndNamesTheServer)
{
    ASSERT_TRUE(kShortStall);
    CStalledServer server;
    ASSERT_NE(server.Port(), 0);
    const std::string folder = MakeFolder("net_stalled");
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/dem.tif";
    WriteFile(folder + "/net.vrt", NetworkVrt(url));
    const std::string out = FolderWithSet("net_stalled_out");

    CElevationImporter importer;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(importer.Run({folder + "/net.vrt", out, 0, 1.0, kTiles}), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(importer.Message(), "No se pudo leer el fichero " + folder + "/net.vrt: el servidor no respondió");
    EXPECT_NE(importer.Detail().find(url), std::string::npos) << importer.Detail();
    ExpectEarlierSet(out);

    // The user's stall was kept; where the user said nothing, ours hold.
    EXPECT_STREQ(CPLGetConfigOption("GDAL_HTTP_LOW_SPEED_TIME", ""), "2");
    EXPECT_EQ(CPLGetConfigOption("GDAL_HTTP_CONNECTTIMEOUT", ""), std::to_string(CGdal::kConnectTimeoutSeconds));
    EXPECT_STREQ(CPLGetConfigOption(CGdal::kRawVrtOption, ""), "NO");
}

// Ctrl+C during a read that hangs on ends the tool within moments, before
// the read's own timeout, with the folder as it was.
TEST(NetworkRead, CtrlCEndsAnImportWaitingOnAServer)
{
    CStalledServer server;
    ASSERT_NE(server.Port(), 0);
    const std::string folder = MakeFolder("net_cancel");
    WriteFile(folder + "/net.vrt", NetworkVrt("http://127.0.0.1:" + std::to_string(server.Port()) + "/dem.tif"));
    const std::string out = FolderWithSet("net_cancel_out");
    const std::string errors = folder + "/stderr.txt";
    const std::string tool = VP_TERRAIN_TOOL;
    const pid_t child = ::fork();
    if (child == 0) {
        ::unsetenv("GDAL_HTTP_LOW_SPEED_TIME"); // the tool's own 10 s
        if (std::freopen(errors.c_str(), "w", stderr) == nullptr)
            ::_exit(127);
        ::execl(tool.c_str(), tool.c_str(), "--import", (folder + "/net.vrt").c_str(), "--out", out.c_str(),
            "--textures", kTiles.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    const bool reading = server.WaitForClient(30); // the tool is in its read, its handler set
    EXPECT_TRUE(reading);
    ::kill(child, SIGINT);
    const auto interrupted = std::chrono::steady_clock::now();
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0
        && std::chrono::steady_clock::now() - interrupted < std::chrono::seconds(30))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto waited = std::chrono::steady_clock::now() - interrupted;
    if (::waitpid(child, &status, WNOHANG) == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    EXPECT_LT(waited, std::chrono::seconds(CGdal::kStalledSeconds - 2));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(ReadFile(errors).find(CElevationImporter::kCancelledMessage), std::string::npos) << ReadFile(errors);
    ExpectEarlierSet(out);
}
