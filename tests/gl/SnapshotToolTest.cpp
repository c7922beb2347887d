// vantapeak-snapshot on a small generated terrain folder: the statistics
// lines it prints and the picture it writes, solid and wireframe.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <QImage>
#include <gtest/gtest.h>

#include "terrain/CBitmapEx.h"
#include "tests/gl/HillsTerrain.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/TerrainFiles.h"

namespace {

using hills_terrain::kSide;

// Runs the tool; its standard output lines, or none when it failed.
std::vector<std::string> RunTool(const std::string& arguments, int* status)
{
    const std::string command = std::string(VP_SNAPSHOT_TOOL) + " " + arguments + " 2>/dev/null";
    std::vector<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        *status = -1;
        return lines;
    }
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        lines.push_back(line);
    }
    *status = pclose(pipe);
    return lines;
}

// Share of non-black pixels in the lower half of the picture.
double LowerHalfCovered(const QImage& image)
{
    int lit = 0, all = 0;
    for (int y = image.height() / 2; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x, ++all)
            lit += (image.pixel(x, y) & 0xFFFFFF) != 0 ? 1 : 0;
    return static_cast<double>(lit) / all;
}

} // namespace

class SnapshotToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() / ("vp-snapshot-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
        ASSERT_TRUE(hills_terrain::Write(m_dir));
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::filesystem::path m_dir;
};

TEST_F(SnapshotToolTest, WritesLitTexturedAndWireframePicturesWithStatistics)
{
    const std::string solidPng = (m_dir / "solid.png").string();
    int status = 0;
    const std::vector<std::string> lines =
        RunTool("--dir " + m_dir.string() + " --out " + solidPng + " --frames 3", &status);
    if (status != 0 && !std::filesystem::exists(solidPng))
        GTEST_SKIP() << "no headless OpenGL 3.3 context";
    ASSERT_EQ(status, 0);
    const char* prefixes[] = {"Tiempo ROAM:", "Tiempo DirectX:", "Camara: X:0.26Kms Y:", "Velocidad:0.00",
                              "N\xC2\xBA triangulos renderizados:", "Frames por segundo:"};
    ASSERT_EQ(lines.size(), std::size(prefixes));
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind(prefixes[i], 0), 0u) << lines[i];
    EXPECT_EQ(lines[4].find(":0"), std::string::npos) << "some triangles are drawn";

    QImage solid(QString::fromStdString(solidPng));
    ASSERT_EQ(solid.width(), 556);
    ASSERT_EQ(solid.height(), 390);
    EXPECT_GT(LowerHalfCovered(solid), 0.6) << "terrain fills the lower part";
    int white = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 150; ++x)
            white += (solid.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF ? 1 : 0;
    EXPECT_GT(white, 20) << "the first statistics line stands at the top left";

    const std::string wirePng = (m_dir / "wire.png").string();
    RunTool("--dir " + m_dir.string() + " --out " + wirePng + " --frames 3 --wireframe --no-overlay --size 300x200",
        &status);
    ASSERT_EQ(status, 0);
    QImage wire(QString::fromStdString(wirePng));
    ASSERT_EQ(wire.width(), 300);
    EXPECT_LT(LowerHalfCovered(wire), LowerHalfCovered(solid));
    EXPECT_GT(LowerHalfCovered(wire), 0.05);
}

TEST_F(SnapshotToolTest, EnhancedLookShowsASkyWhereClassicIsBlack)
{
    int status = 0;
    const std::string classicPng = (m_dir / "classic.png").string();
    const std::string enhancedPng = (m_dir / "enhanced.png").string();
    RunTool("--dir " + m_dir.string() + " --out " + classicPng + " --frames 2 --no-overlay --look classic", &status);
    if (status != 0 && !std::filesystem::exists(classicPng))
        GTEST_SKIP() << "no headless OpenGL 3.3 context";
    RunTool("--dir " + m_dir.string() + " --out " + enhancedPng + " --frames 2 --no-overlay --look enhanced", &status);
    ASSERT_EQ(status, 0);
    const QImage classic(QString::fromStdString(classicPng));
    const QImage enhanced(QString::fromStdString(enhancedPng));
    ASSERT_EQ(enhanced.size(), classic.size());
    // The top row looks up into the sky: black in classic, blue above haze
    // in enhanced.
    for (int x = 0; x < classic.width(); x += 50) {
        EXPECT_EQ(classic.pixel(x, 0) & 0xFFFFFF, 0u) << x;
        const QRgb sky = enhanced.pixel(x, 0);
        EXPECT_GT(qBlue(sky), qRed(sky) + 40) << x;
    }
    RunTool("--look modern", &status);
    EXPECT_NE(status, 0);
}

TEST_F(SnapshotToolTest, RefusesBadArgumentsAndMissingFiles)
{
    int status = 0;
    RunTool("--frames 0", &status);
    EXPECT_NE(status, 0);
    RunTool("--size 300", &status);
    EXPECT_NE(status, 0);
    RunTool("--camera 1,2", &status);
    EXPECT_NE(status, 0);
    RunTool("--dir " + (m_dir / "missing").string(), &status);
    EXPECT_NE(status, 0);
    std::filesystem::remove(m_dir / "terrainMdt_8193x8193_Texture.bmp");
    RunTool("--dir " + m_dir.string() + " --out " + (m_dir / "x.png").string(), &status);
    EXPECT_NE(status, 0) << "the textured display needs the texture file";
    RunTool("--dir " + m_dir.string() + " --out " + (m_dir / "x.png").string() + " --wireframe --frames 1", &status);
    EXPECT_EQ(status, 0) << "the wireframe display does not read it";
}

TEST_F(SnapshotToolTest, SixteenBitHeightsBesideTheHeightmapReachTheFlight)
{
    const auto startHeight = [this](int* status) {
        const std::vector<std::string> lines =
            RunTool("--dir " + m_dir.string() + " --out " + (m_dir / "h.png").string() + " --frames 1", status);
        const std::string& camera = lines.size() > 2 ? lines[2] : std::string();
        const auto y = camera.find("Y:");
        return y == std::string::npos ? -1.0 : std::stod(camera.substr(y + 2));
    };
    int status = 0;
    const double levels = startHeight(&status);
    if (status != 0)
        GTEST_SKIP() << "no headless OpenGL 3.3 context";

    // The same terrain half a level higher everywhere, at 16-bit precision.
    CBitmapEx heights;
    ASSERT_EQ(heights.LoadFromFile((m_dir / TerrainFiles::kHeightmap).c_str()), 0);
    std::vector<float> raised(static_cast<std::size_t>(kSide) * kSide);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            raised[static_cast<std::size_t>(y) * kSide + x] =
                static_cast<float>((heights.ReadPixel(x, y) >> 16) & 0xFF) + 0.5f;
    const std::string file = (m_dir / TerrainFiles::kHeights16).string();
    ASSERT_EQ(CHeightmap16File::WriteLevels(file.c_str(), raised.data(), kSide, kSide, 2.5 / 257.0), 0);
    const double precise = startHeight(&status);
    ASSERT_EQ(status, 0);
    EXPECT_NEAR(precise - levels, 1.25, 0.02) << "half a level of 2.5 units, kept to the camera's start";

    std::FILE* broken = std::fopen(file.c_str(), "wb");
    ASSERT_NE(broken, nullptr);
    std::fputs("not a GeoTIFF", broken);
    std::fclose(broken);
    startHeight(&status);
    EXPECT_NE(status, 0) << "an unusable 16-bit file is an error, not a silent fallback";
}
