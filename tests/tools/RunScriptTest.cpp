// scripts/run.sh, behind `make run`: a missing program is named with the
// command that builds it, and the script fails instead of pretending; and
// `make run` starts it with the guided flight the launcher uses too.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include <sys/wait.h>

#include "config/GuidedFlight.h"

namespace {

TEST(RunScript, FailsClearlyWhenTheProgramIsNotBuilt)
{
    const std::string command =
        std::string("bash '") + VP_SOURCE_DIR + "/scripts/run.sh' build-that-does-not-exist --start 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    std::array<char, 1024> buffer;
    std::size_t read = 0;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        output.append(buffer.data(), read);
    }
    const int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << output;
    EXPECT_NE(output.find("build-that-does-not-exist/app/vantapeak"), std::string::npos) << output;
    EXPECT_NE(output.find("make programs"), std::string::npos) << output;
}

// A dry run of `make run` (nothing is built or run) shows the script's line.
TEST(RunScript, MakeRunFliesTheGuidedFlightOfTheLauncher)
{
    const std::string command = std::string("make -n -C '") + VP_SOURCE_DIR + "' run BUILD=nowhere 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    for (int c = std::fgetc(pipe); c != EOF; c = std::fgetc(pipe))
        output += static_cast<char>(c);
    ::pclose(pipe);
    EXPECT_NE(output.find(std::string("bash scripts/run.sh nowhere ") + kGuidedFlightLine + "\n"), std::string::npos)
        << output;
}

}  // namespace
