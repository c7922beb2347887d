// The flight options shared by the window program and the snapshot tool:
// both read every value alike, refuse the same ones naming the option, and
// differ only in the speed's default and in the help's wording.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/CFlightOptions.h"

namespace {

using Host = CFlightOptions::Host;

struct Parsed {
    COptionParser::Result result;
    CFlightOptions options;
    std::string error;
};

Parsed Parse(Host host, const std::vector<std::string>& arguments)
{
    COptionParser parser("prog", "[opciones]", "prueba");
    Parsed parsed{COptionParser::Result::Run, CFlightOptions(host), std::string()};
    parsed.options.Declare(parser);
    parsed.result = parser.Parse(arguments);
    parsed.error = parser.ErrorText();
    return parsed;
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
        {{"--tour", "--speed", "500", "--clearance", "50", "--look", "enhanced"}, true, 500.0, 0.0, 50.0,
         Look::Enhanced},
        {{"--speed=0", "--turn=-12.5", "--look=classic"}, false, 0.0, -12.5, 0.0, Look::Classic},
        {{"--speed", "1000", "--turn", "3600", "--clearance", "5000"}, false, 1000.0, 3600.0, 5000.0, Look::Classic},
        {{"--speed", "2.5e2", "--turn", "-3600"}, false, 250.0, -3600.0, 0.0, Look::Classic},
    };
    for (const Host host : {Host::Program, Host::Snapshot}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.arguments.front() + (host == Host::Program ? " (program)" : " (snapshot)"));
            const Parsed parsed = Parse(host, c.arguments);
            ASSERT_EQ(parsed.result, COptionParser::Result::Run) << parsed.error;
            EXPECT_EQ(parsed.options.tour, c.tour);
            EXPECT_DOUBLE_EQ(parsed.options.speedKmh, c.speed);
            EXPECT_DOUBLE_EQ(parsed.options.turnDegreesPerSecond, c.turn);
            EXPECT_DOUBLE_EQ(parsed.options.clearance, c.clearance);
            EXPECT_EQ(parsed.options.look, c.look);
        }
    }
}

TEST(CFlightOptions, BothProgramsRefuseTheSameValuesNamingTheOption)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* said;
    };
    const Case cases[] = {
        {{"--speed", "1000.5"}, "--speed: \"1000.5\" (se espera un número de 0 a 1000)"},
        {{"--speed", "-1"}, "--speed"},
        {{"--speed", "rapido"}, "--speed"},
        {{"--turn", "3600.1"}, "--turn: \"3600.1\" (se espera un número de -3600 a 3600)"},
        {{"--turn", "nan"}, "--turn"},
        {{"--clearance", "inf"}, "--clearance"},
        {{"--clearance", "-0.5"}, "(se espera un número de 0 a 5000)"},
        {{"--look", "fancy"}, "--look: \"fancy\" (se espera classic o enhanced)"},
        {{"--tour=yes"}, "--tour no lleva valor"},
        {{"--speed"}, "falta el valor de la opción --speed (KMH)"},
    };
    for (const Host host : {Host::Program, Host::Snapshot}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.said);
            const Parsed parsed = Parse(host, c.arguments);
            EXPECT_EQ(parsed.result, COptionParser::Result::Error);
            EXPECT_NE(parsed.error.find(c.said), std::string::npos) << parsed.error;
        }
    }
}

TEST(CFlightOptions, EachProgramKeepsItsDefaultsAndWording)
{
    const Parsed program = Parse(Host::Program, {});
    const Parsed snapshot = Parse(Host::Snapshot, {});
    EXPECT_DOUBLE_EQ(program.options.speedKmh, 0.0);
    EXPECT_DOUBLE_EQ(snapshot.options.speedKmh, 300.0);
    for (const Parsed* parsed : {&program, &snapshot}) {
        EXPECT_FALSE(parsed->options.tour);
        EXPECT_DOUBLE_EQ(parsed->options.turnDegreesPerSecond, 0.0);
        EXPECT_DOUBLE_EQ(parsed->options.clearance, 0.0);
        EXPECT_EQ(parsed->options.look, Look::Classic);
    }

    COptionParser programParser("vantapeak", "", "");
    CFlightOptions programOptions(Host::Program);
    programOptions.Declare(programParser);
    const std::string programHelp = programParser.HelpText();
    COptionParser snapshotParser("vantapeak-snapshot", "", "");
    CFlightOptions snapshotOptions(Host::Snapshot);
    snapshotOptions.Declare(snapshotParser);
    const std::string snapshotHelp = snapshotParser.HelpText();
    EXPECT_NE(programHelp.find("velocidad del deslizador al iniciar"), std::string::npos) << programHelp;
    EXPECT_EQ(programHelp.find("con --record"), std::string::npos) << programHelp;
    EXPECT_NE(snapshotHelp.find("con --record, velocidad del vuelo en km/h (por defecto: 300)"), std::string::npos)
        << snapshotHelp;
    EXPECT_NE(snapshotHelp.find("con --record, el vuelo guiado del programa en lugar de --turn"), std::string::npos)
        << snapshotHelp;
}

} // namespace
