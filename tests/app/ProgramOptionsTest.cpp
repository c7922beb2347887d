// The window program's options: every option into its field, errors naming
// the option, and the display check done before Qt starts. Its help is
// checked by running the program (tests/tools/ProgramCommandLineTest).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/ProgramOptions.h"

namespace {

TEST(ProgramOptions, EveryOptionReachesItsField)
{
    CCommandLineInfo info;
    std::string text;
    ASSERT_EQ(ParseProgramOptions({"--start", "--tour", "--speed", "500", "--turn=-12.5", "--quit-after", "120",
                                   "--stats", "s.csv", "doc.vp"},
                                  info, text),
              COptionParser::Result::Run)
        << text;
    EXPECT_TRUE(info.start);
    EXPECT_TRUE(info.tour);
    EXPECT_FLOAT_EQ(info.speedKmh, 500.0f);
    EXPECT_FLOAT_EQ(info.turnDegreesPerSecond, -12.5f);
    EXPECT_DOUBLE_EQ(info.quitAfterSeconds, 120.0);
    EXPECT_EQ(info.statsFile.toStdString(), "s.csv");
    EXPECT_EQ(info.fileName.toStdString(), "doc.vp");
    EXPECT_FALSE(info.showHelp);

    // None: the plain program.
    ASSERT_EQ(ParseProgramOptions({}, info, text), COptionParser::Result::Run);
    EXPECT_FALSE(info.start);
    EXPECT_FALSE(info.tour);
    EXPECT_FLOAT_EQ(info.speedKmh, 0.0f);
    EXPECT_TRUE(info.statsFile.isEmpty());
    EXPECT_TRUE(info.fileName.isEmpty());
}

TEST(ProgramOptions, ErrorsNameTheOptionInSpanish)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* named;
    };
    const Case cases[] = {
        {{"--speed", "1000.5"}, "--speed: \"1000.5\""},
        {{"--speed", "-1"}, "--speed"},
        {{"--speed", "rapido"}, "--speed"},
        {{"--quit-after", "-3"}, "--quit-after"},
        {{"--turn", "inf"}, "--turn"},
        {{"--stats"}, "falta el valor de la opción --stats"},
        {{"--tour=yes"}, "--tour no lleva valor"},
        {{"--torn"}, "opción desconocida: --torn"},
        {{"a", "b"}, "sobra el argumento: b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        CCommandLineInfo info;
        std::string text;
        EXPECT_EQ(ParseProgramOptions(c.arguments, info, text), COptionParser::Result::Error);
        EXPECT_EQ(text.rfind("vantapeak: ", 0), 0u) << text;
        EXPECT_NE(text.find(c.named), std::string::npos) << text;
    }
}

TEST(ProgramOptions, DisplayIsAnyOfItsThreeVariables)
{
    const char* const names[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    std::vector<std::string> saved;
    for (const char* name : names) {
        const char* value = std::getenv(name);
        saved.push_back(value != nullptr ? value : "");
        ::unsetenv(name);
    }
    EXPECT_FALSE(DisplayAvailable());
    for (const char* name : names) {
        ::setenv(name, "", 1);
        EXPECT_FALSE(DisplayAvailable()) << name << " empty";
        ::setenv(name, ":1", 1);
        EXPECT_TRUE(DisplayAvailable()) << name;
        ::unsetenv(name);
    }
    for (std::size_t i = 0; i < saved.size(); ++i) {
        if (!saved[i].empty()) {
            ::setenv(names[i], saved[i].c_str(), 1);
        }
    }
    const std::string message = NoDisplayMessage();
    EXPECT_NE(message.find("xvfb-run"), std::string::npos);
    EXPECT_EQ(message.find('\n'), message.size() - 1);
}

}  // namespace
