// Every program run as a user would, with no display: --help lists every
// option and ends with 0, --version too, a bad option or value is named and
// ends with 2, all in Spanish; the window program without a display says how
// to run it under a virtual X server and ends with 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "config/GuidedFlight.h"
#include "config/Version.h"

namespace {

struct Outcome {
    int status = -1;
    std::string output;  // standard output and standard error together
};

// Runs `program` with `arguments` (already quoted) and no display at all.
Outcome RunProgram(const std::string& program, const std::string& arguments)
{
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + program + "' " + arguments + " 2>&1";
    Outcome outcome;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return outcome;
    }
    std::array<char, 4096> buffer;
    std::size_t read = 0;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        outcome.output.append(buffer.data(), read);
    }
    const int status = ::pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

struct Program {
    const char* name;
    const char* path;
    std::vector<const char*> options;  // every option the help must list
    const char* badValue;              // an option with a value it refuses
    const char* option;                // the option of badValue
};

std::vector<Program> Programs()
{
    std::vector<Program> programs = {
        {"vantapeak-terrain", VP_TERRAIN_PROGRAM, {"--out DIR", "--size N", "--seed N", "--textures DIR", "--heights16",
          "--import FICHERO", "--vertical-scale S", "--blend", "--cog SALIDA.tif"},
         "--size 1", "--size"},
        {"vantapeak-tiles", VP_TILES_PROGRAM, {"--out DIR"}, "--out ''", "--out"},
    };
#ifdef VP_APP_PROGRAM
    programs.push_back({"vantapeak", VP_APP_PROGRAM,
                        {"--start", "--tour", "--speed KMH", "--turn GRADOS_S", "--quit-after SEGUNDOS",
                         "--stats FICHERO.csv", "--clearance M", "--look classic|enhanced", "--terrain FICHERO",
                         "--imagery FICHERO", "--vertical-scale FACTOR", "--cache-size MB", "fichero"},
                        "--speed 1001", "--speed"});
    programs.push_back({"vantapeak-snapshot", VP_SNAPSHOT_PROGRAM,
                        {"--dir DIR", "--out FICHERO.png", "--camera X,Y,Z", "--heading GRADOS", "--min-error E",
                         "--max-render-time MS", "--wireframe", "--frames N", "--no-overlay", "--size ANCHOxALTO",
                         "--record SALIDA", "--seconds S", "--fps F", "--speed KMH", "--turn GRADOS_S",
                         "--tour", "--clearance M", "--look classic|enhanced", "--terrain FICHERO",
                         "--imagery FICHERO", "--vertical-scale FACTOR", "--cache-size MB"},
                        "--size 10y10", "--size"});
#endif
    return programs;
}

TEST(ProgramCommandLine, HelpAndVersionEndWithZeroWithoutADisplay)
{
    for (const Program& program : Programs()) {
        SCOPED_TRACE(program.name);
        const Outcome help = RunProgram(program.path, "--help");
        EXPECT_EQ(help.status, 0) << help.output;
        EXPECT_EQ(help.output.rfind(std::string("Uso: ") + program.name + " ", 0), 0u) << help.output;
        for (const char* option : program.options) {
            EXPECT_NE(help.output.find(option), std::string::npos) << option << "\n" << help.output;
        }
        // Every option that takes a value states its default.
        const auto defaults = static_cast<std::size_t>(
            std::count_if(program.options.begin(), program.options.end(), [](const char* option) {
                return std::string(option).find(' ') != std::string::npos;
            }));
        std::size_t stated = 0;
        for (std::size_t at = help.output.find("(por defecto: "); at != std::string::npos;
             at = help.output.find("(por defecto: ", at + 1)) {
            ++stated;
        }
        EXPECT_EQ(stated, defaults) << help.output;

        const Outcome version = RunProgram(program.path, "--version");
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.output, std::string(program.name) + " " + kVantaPeakVersion + "\n");
    }
}

#ifdef VP_LAUNCHER_PROGRAM
// The menu entry's launcher says the programs' version and the options it
// starts vantapeak with.
TEST(ProgramCommandLine, LauncherSaysTheVersionAndTheGuidedFlight)
{
    const Outcome version = RunProgram(VP_LAUNCHER_PROGRAM, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, std::string("vantapeak-launcher ") + kVantaPeakVersion + "\n");

    const Outcome help = RunProgram(VP_LAUNCHER_PROGRAM, "--help");
    EXPECT_EQ(help.status, 0) << help.output;
    std::string joined = help.output;
    std::replace(joined.begin(), joined.end(), '\n', ' ');
    EXPECT_NE(joined.find(std::string("con las opciones ") + kGuidedFlightLine + "."), std::string::npos)
        << help.output;
}
#endif

TEST(ProgramCommandLine, BadOptionsAndValuesAreNamedAndEndWithTwo)
{
    for (const Program& program : Programs()) {
        SCOPED_TRACE(program.name);
        const Outcome unknown = RunProgram(program.path, "--no-such-option");
        EXPECT_EQ(unknown.status, 2) << unknown.output;
        EXPECT_NE(unknown.output.find("opción desconocida: --no-such-option"), std::string::npos)
            << unknown.output;

        const Outcome bad = RunProgram(program.path, program.badValue);
        EXPECT_EQ(bad.status, 2) << bad.output;
        EXPECT_NE(bad.output.find(std::string("valor no válido para la opción ") + program.option),
                  std::string::npos)
            << bad.output;

        const Outcome missing = RunProgram(program.path, program.option);
        EXPECT_EQ(missing.status, 2) << missing.output;
        EXPECT_NE(missing.output.find(std::string("falta el valor de la opción ") + program.option),
                  std::string::npos)
            << missing.output;
    }
}

#ifdef VP_APP_PROGRAM
TEST(ProgramCommandLine, WindowProgramWithoutADisplaySaysHowToRunIt)
{
    const Outcome outcome = RunProgram(VP_APP_PROGRAM, "--start --tour");
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_NE(outcome.output.find("xvfb-run"), std::string::npos) << outcome.output;
    // One line, and no abort of Qt's platform plugin.
    EXPECT_EQ(std::count(outcome.output.begin(), outcome.output.end(), '\n'), 1) << outcome.output;
}
#endif

}  // namespace
