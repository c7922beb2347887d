// Network reads against a server that never answers: a listening socket on
// 127.0.0.1 that nobody accepts from (the kernel completes the handshakes,
// then nothing comes).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cpl_conv.h>

#include "terrain/CElevationImporter.h"
#include "terrain/CGdal.h"
#include "terrain/TerrainFiles.h"
#include "tests/terrain/ElevationTestSupport.h"

using namespace elevation_test;

namespace {

// A stall of the user's choosing, set before GDAL is set up in this process.
const bool kShortStall = ::setenv("GDAL_HTTP_LOW_SPEED_TIME", "2", 1) == 0;

using Clock = std::chrono::steady_clock;

struct Stalled {
    int socket = -1;
    std::string vrt; // a VRT whose band comes from the stalled server
    std::string out; // a folder holding an earlier set
};

Stalled StalledServer(const std::string& name)
{
    Stalled stalled;
    stalled.socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(stalled.socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(stalled.socket, 16), 0);
    ::getsockname(stalled.socket, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string folder = MakeFolder(name);
    stalled.vrt = folder + "/net.vrt";
    WriteFile(stalled.vrt, "<VRTDataset rasterXSize=\"300\" rasterYSize=\"300\"><VRTRasterBand dataType=\"Float32\" "
        "band=\"1\"><SimpleSource><SourceFilename>/vsicurl/http://127.0.0.1:" + std::to_string(ntohs(address.sin_port))
        + "/dem.tif</SourceFilename><SourceBand>1</SourceBand></SimpleSource></VRTRasterBand></VRTDataset>");
    stalled.out = MakeFolder(name + "_out");
    WriteFile(stalled.out + "/" + TerrainFiles::kHeightmap, "old");
    return stalled;
}

} // namespace

// The read gives up after the user's stall (ours would be 10 s, and none at
// all waits as long as the server holds on: for ever here), says that the
// server did not answer and keeps GDAL's words for the detail.
TEST(NetworkRead, AStalledServerIsGivenUpAndNamed)
{
    ASSERT_TRUE(kShortStall);
    const Stalled stalled = StalledServer("net_stalled");
    CElevationImporter importer;
    const auto start = Clock::now();
    EXPECT_EQ(importer.Run({stalled.vrt, stalled.out, 0, 1.0, kTiles}), -1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(importer.Message(), "No se pudo leer el fichero " + stalled.vrt + ": el servidor no respondió");
    EXPECT_NE(importer.Detail().find("http://127.0.0.1:"), std::string::npos) << importer.Detail();
    EXPECT_EQ(ReadFile(stalled.out + "/" + TerrainFiles::kHeightmap), "old");
    // Where the user said nothing, ours hold.
    EXPECT_EQ(CPLGetConfigOption("GDAL_HTTP_CONNECTTIMEOUT", ""), std::to_string(CGdal::kConnectTimeoutSeconds));
    ::close(stalled.socket);
}

// Ctrl+C during such a read ends the tool within moments, well before the
// read's own timeout, with the folder as it was.
TEST(NetworkRead, CtrlCEndsAToolWaitingOnAServer)
{
    const Stalled stalled = StalledServer("net_cancel");
    const std::string errors = stalled.out + ".stderr";
    const pid_t child = ::fork();
    if (child == 0) {
        ::unsetenv("GDAL_HTTP_LOW_SPEED_TIME"); // the tool's own
        if (std::freopen(errors.c_str(), "w", stderr) != nullptr)
            ::execl(VP_TERRAIN_TOOL, VP_TERRAIN_TOOL, "--import", stalled.vrt.c_str(), "--out", stalled.out.c_str(),
                "--textures", kTiles.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    pollfd waiting {stalled.socket, POLLIN, 0};
    EXPECT_EQ(::poll(&waiting, 1, 30000), 1); // the tool is in its read, its handler set
    ::kill(child, SIGINT);
    const auto interrupted = Clock::now();
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0 && Clock::now() - interrupted < std::chrono::seconds(30))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_LT(Clock::now() - interrupted, std::chrono::seconds(CGdal::kStalledSeconds - 2));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(ReadFile(errors).find(CElevationImporter::kCancelledMessage), std::string::npos) << ReadFile(errors);
    EXPECT_EQ(Entries(stalled.out), std::vector<std::string>{TerrainFiles::kHeightmap});
    ::close(stalled.socket);
}
