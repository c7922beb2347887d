#include <gtest/gtest.h>

#include <string>

#include "terrain/CGdal.h"
#include "tests/terrain/ElevationTestSupport.h"

using namespace elevation_test;

namespace {

std::string Band(const std::string& inner, const char* subClass = nullptr)
{
    return std::string("<VRTRasterBand dataType=\"Byte\" band=\"1\"")
        + (subClass != nullptr ? std::string(" subClass=\"") + subClass + "\"" : std::string()) + ">" + inner
        + "</VRTRasterBand>";
}

std::string Vrt(const std::string& bands)
{
    return "<VRTDataset rasterXSize=\"8\" rasterYSize=\"8\">" + bands + "</VRTDataset>";
}

std::string Source(const std::string& file, bool relative)
{
    return std::string("<SimpleSource><SourceFilename relativeToVRT=\"") + (relative ? "1" : "0") + "\">" + file
        + "</SourceFilename><SourceBand>1</SourceBand></SimpleSource>";
}

} // namespace

// Raw bands are found wherever a VRT can hide them: in the file itself, in
// a VRT text given as the name, behind "vrt://", in the VRTs it takes its
// sources from, however they name them; a VRT naming itself ends the search
// instead of recursing for ever.
TEST(CGdal, FindsRawVrtBandsThroughNestedSources)
{
    const std::string folder = MakeFolder("gdal_raw");
    const std::string raw = Band("<SourceFilename>/etc/passwd</SourceFilename>", "VRTRawRasterBand");
    ASSERT_TRUE(MakeRaster(folder + "/dem.tif", "GTiff", MakeValues(8, 8, GDT_Byte, [](int x, int) { return x; })));
    WriteFile(folder + "/raw.vrt", Vrt(raw));
    WriteFile(folder + "/plain.vrt", Vrt(Band(Source("dem.tif", true))));
    WriteFile(folder + "/nested.vrt", Vrt(Band(Source("plain.vrt", true)) + Band(Source("raw.vrt", true))));
    WriteFile(folder + "/absolute.vrt", Vrt(Band(Source(folder + "/nested.vrt", false))));
    WriteFile(folder + "/byname.vrt", Vrt(Band(Source("vrt://" + folder + "/raw.vrt?bands=1", false))));
    WriteFile(folder + "/self.vrt", Vrt(Band(Source("self.vrt", true))));
    WriteFile(folder + "/raw.txt", Vrt(raw)); // a VRT by content, not by name

    const struct {
        std::string name;
        bool raw;
    } cases[] = {{folder + "/raw.vrt", true}, {Vrt(raw), true}, {folder + "/nested.vrt", true},
        {folder + "/absolute.vrt", true}, {folder + "/byname.vrt", true}, {"vrt://" + folder + "/raw.vrt", true},
        {folder + "/self.vrt", true}, {folder + "/raw.txt", true}, {folder + "/plain.vrt", false},
        {folder + "/dem.tif", false}, {folder + "/none.vrt", false}, {Vrt(Band(Source(folder + "/dem.tif", false))), false}};
    CGdal::CQuiet quiet;
    for (const auto& c : cases)
        EXPECT_EQ(CGdal::HasRawVrtBand(c.name), c.raw) << c.name;
    EXPECT_FALSE(CGdal::RawVrtBandsAllowed());
}
