// The flight options shared by the window program and the snapshot tool:
// both read every value alike and refuse the same ones naming the option;
// only the speed's default differs.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/CFlightOptions.h"

namespace {

using Host = CFlightOptions::Host;

// Parses `arguments` into `options`; the error text, empty on success.
std::string Parse(CFlightOptions& options, const std::vector<std::string>& arguments)
{
    COptionParser parser("prog", "[opciones]", "prueba");
    options.Declare(parser);
    return parser.Parse(arguments) == COptionParser::Result::Run ? std::string() : parser.ErrorText();
}

TEST(CFlightOptions, BothProgramsReadTheSameValues)
{
    struct Case {
        std::vector<std::string> arguments;
        bool tour;
        double speed, turn, clearance;
        Look look;
    };
    const Case cases[] = {
        {{"--tour", "--speed", "500", "--clearance", "50", "--look", "enhanced"}, true, 500, 0, 50, Look::Enhanced},
        {{"--speed=0", "--turn=-12.5", "--look=classic"}, false, 0, -12.5, 0, Look::Classic},
        {{"--speed", "1e3", "--turn", "3600", "--clearance", "5000"}, false, 1000, 3600, 5000, Look::Classic},
    };
    for (const Host host : {Host::Program, Host::Snapshot}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.arguments.front());
            CFlightOptions options(host);
            ASSERT_EQ(Parse(options, c.arguments), "");
            EXPECT_EQ(options.tour, c.tour);
            EXPECT_DOUBLE_EQ(options.speedKmh, c.speed);
            EXPECT_DOUBLE_EQ(options.turnDegreesPerSecond, c.turn);
            EXPECT_DOUBLE_EQ(options.clearance, c.clearance);
            EXPECT_EQ(options.look, c.look);
        }
    }
    CFlightOptions program(Host::Program), snapshot(Host::Snapshot);
    ASSERT_EQ(Parse(program, {}) + Parse(snapshot, {}), "");
    EXPECT_DOUBLE_EQ(program.speedKmh, 0.0);
    EXPECT_DOUBLE_EQ(snapshot.speedKmh, 300.0);
}

TEST(CFlightOptions, BothProgramsRefuseTheSameValuesNamingTheOption)
{
    const std::vector<std::pair<std::vector<std::string>, const char*>> cases = {
        {{"--speed", "1000.5"}, "--speed: \"1000.5\" (se espera un número de 0 a 1000)"},
        {{"--turn", "-3600.1"}, "--turn: \"-3600.1\" (se espera un número de -3600 a 3600)"},
        {{"--turn", "nan"}, "--turn"},
        {{"--clearance", "-0.5"}, "(se espera un número de 0 a 5000)"},
        {{"--look", "fancy"}, "--look: \"fancy\" (se espera classic o enhanced)"},
        {{"--tour=yes"}, "--tour no lleva valor"},
    };
    for (const Host host : {Host::Program, Host::Snapshot}) {
        for (const auto& [arguments, said] : cases) {
            CFlightOptions options(host);
            const std::string error = Parse(options, arguments);
            EXPECT_NE(error.find(said), std::string::npos) << said << "\n" << error;
        }
    }
}

} // namespace
