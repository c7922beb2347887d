// The plain snapshot of a generated terrain keeps its picture pixel for
// pixel: the terrain tool makes the 1025 x 1025 terrain of seed 7 and the
// snapshot tool draws three views of it, which must equal the kept pictures.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include <QImage>
#include <gtest/gtest.h>

namespace {

int RunQuiet(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

struct View {
    const char* picture;
    const char* options;
};

} // namespace

TEST(ClassicPictureTest, SnapshotsOfSeedSevenKeepTheirPixels)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vp-classic-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string tiles = std::string(VP_SOURCE_DIR) + "/data/Textures";
    ASSERT_EQ(RunQuiet(std::string(VP_TERRAIN_TOOL) + " --out " + dir.string() + " --size 1025 --seed 7 --textures " +
                  tiles),
              0);

    const View views[] = {
        {"heading45.png", "--heading 45"},
        {"heading20-wireframe.png", "--heading 20 --wireframe"},
        {"heading70-min-error-0.02.png", "--heading 70 --min-error 0.02"},
    };
    for (const View& view : views) {
        SCOPED_TRACE(view.picture);
        const std::string out = (dir / view.picture).string();
        const int status = RunQuiet(std::string(VP_SNAPSHOT_TOOL) + " --dir " + dir.string() + " --no-overlay " +
                               view.options + " --out " + out);
        if (status != 0 && !std::filesystem::exists(out)) {
            std::filesystem::remove_all(dir);
            GTEST_SKIP() << "no headless OpenGL 3.3 context";
        }
        ASSERT_EQ(status, 0);
        const QImage drawn(QString::fromStdString(out));
        const QImage kept(QString::fromStdString(std::string(VP_SOURCE_DIR) + "/tests/gl/classic/" + view.picture));
        ASSERT_FALSE(kept.isNull());
        EXPECT_TRUE(drawn.convertToFormat(QImage::Format_RGB32) == kept.convertToFormat(QImage::Format_RGB32));
    }
    std::filesystem::remove_all(dir);
}
