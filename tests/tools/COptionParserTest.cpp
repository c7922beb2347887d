// The option parser shared by the programs: values, ranges, defaults in the
// help, and errors that name the option or argument at fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/COptionParser.h"

namespace {

struct Parsed {
    bool flag = false;
    std::string text = "default-text";
    double number = 2.5;
    long long count = 10;
    std::string positional;
    std::string custom;
};

class OptionParserTest : public ::testing::Test {
protected:
    COptionParser::Result Parse(const std::vector<std::string>& arguments, bool positional = false)
    {
        m_values = Parsed();
        m_parser = COptionParser("prog", "[opciones]", "Hace una cosa.");
        m_parser.AddFlag("flag", "una bandera", &m_values.flag);
        m_parser.AddText("text", "TEXTO", "un texto", &m_values.text);
        m_parser.AddNumber("number", "X", "un número", -1.0, 10.0, &m_values.number);
        m_parser.AddInteger("count", "N", "un entero", 1, 100, &m_values.count, "diez");
        m_parser.AddCustom("pair", "A,B", "dos partes", "ninguna", "A,B", [this](const std::string& text) {
            if (text.find(',') == std::string::npos) {
                return false;
            }
            m_values.custom = text;
            return true;
        });
        if (positional) {
            m_parser.AddPositional("fichero", "un fichero", &m_values.positional);
        }
        return m_parser.Parse(arguments);
    }

    COptionParser m_parser{"prog", "", ""};
    Parsed m_values;
};

TEST_F(OptionParserTest, ReadsEveryKindOfValueInBothSpellings)
{
    ASSERT_EQ(Parse({"--flag", "--text", "hola", "--number=-0.5", "--count", "100", "--pair=1,2"}),
              COptionParser::Result::Run);
    EXPECT_TRUE(m_values.flag);
    EXPECT_EQ(m_values.text, "hola");
    EXPECT_DOUBLE_EQ(m_values.number, -0.5);
    EXPECT_EQ(m_values.count, 100);
    EXPECT_EQ(m_values.custom, "1,2");
    EXPECT_TRUE(m_parser.ErrorText().empty());

    // A negative number is a value, not an option.
    ASSERT_EQ(Parse({"--number", "-1"}), COptionParser::Result::Run);
    EXPECT_DOUBLE_EQ(m_values.number, -1.0);
    // Nothing given: the defaults stay.
    ASSERT_EQ(Parse({}), COptionParser::Result::Run);
    EXPECT_FALSE(m_values.flag);
    EXPECT_EQ(m_values.text, "default-text");
    EXPECT_EQ(m_values.count, 10);
}

TEST_F(OptionParserTest, BadCommandLinesNameWhatIsWrong)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* named;
    };
    const Case cases[] = {
        {{"--nope"}, "opción desconocida: --nope"},
        {{"-x"}, "opción desconocida: -x"},
        {{"--count"}, "falta el valor de la opción --count"},
        {{"--count", "0"}, "--count: \"0\" (se espera un entero de 1 a 100)"},
        {{"--count", "12abc"}, "--count: \"12abc\""},
        {{"--count", "99999999999999999999"}, "--count"},
        {{"--number", "nan"}, "--number: \"nan\""},
        {{"--number", "11"}, "(se espera un número de -1 a 10)"},
        {{"--text="}, "--text: \"\""},
        {{"--pair", "12"}, "--pair: \"12\" (se espera A,B)"},
        {{"--flag=1"}, "la opción --flag no lleva valor"},
        {{"suelto"}, "argumento inesperado: suelto"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        EXPECT_EQ(Parse(c.arguments), COptionParser::Result::Error);
        const std::string error = m_parser.ErrorText();
        EXPECT_EQ(error.rfind("prog: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.named), std::string::npos) << error;
        EXPECT_NE(error.find("prog --help"), std::string::npos) << error;
    }
}

TEST_F(OptionParserTest, OnePositionalArgumentAtMost)
{
    ASSERT_EQ(Parse({"a.doc", "--flag"}, true), COptionParser::Result::Run);
    EXPECT_EQ(m_values.positional, "a.doc");
    ASSERT_EQ(Parse({"--", "--flag"}, true), COptionParser::Result::Run);
    EXPECT_EQ(m_values.positional, "--flag");
    EXPECT_FALSE(m_values.flag);
    EXPECT_EQ(Parse({"a.doc", "b.doc"}, true), COptionParser::Result::Error);
    EXPECT_NE(m_parser.ErrorText().find("sobra el argumento: b.doc"), std::string::npos);
}

TEST_F(OptionParserTest, HelpListsEveryOptionWithItsDefaultAndWinsOverVersion)
{
    EXPECT_EQ(Parse({"--version"}), COptionParser::Result::Version);
    EXPECT_EQ(m_parser.VersionText(), std::string("prog ") + COptionParser::kVersion + "\n");
    EXPECT_EQ(Parse({"--version", "-h"}), COptionParser::Result::Help);
    // Help is answered even after other options, but not after a bad one.
    EXPECT_EQ(Parse({"--flag", "--help"}), COptionParser::Result::Help);
    EXPECT_EQ(Parse({"--nope", "--help"}), COptionParser::Result::Error);

    const std::string help = m_parser.HelpText();
    EXPECT_EQ(help.rfind("Uso: prog [opciones]\nHace una cosa.\n", 0), 0u) << help;
    for (const char* line : {"--flag ", "--text TEXTO ", "un texto (por defecto: default-text)",
                             "(por defecto: 2.5)", "un entero (por defecto: diez)", "--pair A,B",
                             "(por defecto: ninguna)", "-h, --help", "--version"}) {
        EXPECT_NE(help.find(line), std::string::npos) << line << "\n" << help;
    }
    // One line per option: the usage, the description, a blank line, the
    // heading, five options and the two standard ones.
    EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), 11);
}

}  // namespace
