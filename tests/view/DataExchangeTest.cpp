// The text conversions behind the form's data exchange.
#include <gtest/gtest.h>

#include <cstdint>

#include "view/DataExchange.h"

TEST(DataExchangeTest, FloatsReadAsTheEditShowsThem)
{
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {
        {0.05f, "0.05"}, {200.0f, "200"},      {0.0f, "0"},          {-1.5f, "-1.5"},
        {1e-5f, "1e-05"}, {123456789.0f, "1.23457e+08"}, {0.1f, "0.1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatFloatText(c.value).toStdString(), c.text);
    }
}

TEST(DataExchangeTest, FloatParsingAcceptsDecimalNumbersOnly)
{
    struct Case {
        const char* text;
        bool accepted;
        float value;
    };
    const Case cases[] = {
        {"0.05", true, 0.05f},  {" 1.5\t", true, 1.5f}, {"+2", true, 2.0f},
        {"-0.5", true, -0.5f},  {"1e-3", true, 1e-3f},  {".5", true, 0.5f},
        {"5.", true, 5.0f},     {"0", true, 0.0f},      {"3.4e38", true, 3.4e38f},
        {"", false, 0},         {"   ", false, 0},      {"abc", false, 0},
        {"1,5", false, 0},      {"1 2", false, 0},      {"1.5x", false, 0},
        {"inf", false, 0},      {"nan", false, 0},      {"0x10", false, 0},
        {"1e39", false, 0},     {"-1e39", false, 0},    {"+-1", false, 0},
        {"--1", false, 0},      {"e5", false, 0},       {"\xc3\xb3", false, 0},
    };
    for (const Case& c : cases) {
        float value = 42.0f;
        EXPECT_EQ(ParseFloatText(QString::fromUtf8(c.text), value), c.accepted) << c.text;
        EXPECT_EQ(value, c.accepted ? c.value : 42.0f) << c.text;
    }
}

TEST(DataExchangeTest, UnsignedParsingRejectsSignsFractionsAndOverflow)
{
    struct Case {
        const char* text;
        bool accepted;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"200", true, 200},         {" +7 ", true, 7},        {"0", true, 0},
        {"4294967295", true, 4294967295u}, {"007", true, 7},
        {"-1", false, 0},           {"4294967296", false, 0}, {"1.0", false, 0},
        {"", false, 0},             {"abc", false, 0},        {"1e3", false, 0},
        {"+", false, 0},            {"1 2", false, 0},        {"99999999999999999999", false, 0},
    };
    for (const Case& c : cases) {
        std::uint32_t value = 42;
        EXPECT_EQ(ParseUnsignedText(QString::fromUtf8(c.text), value), c.accepted) << c.text;
        EXPECT_EQ(value, c.accepted ? c.value : 42u) << c.text;
    }
}
