#include "sim/SimOptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ParseResult Parse(std::vector<const char*> args, SimOptions& options, std::string& error)
{
    args.insert(args.begin(), "quorvane-sim");
    return ParseSimArgs(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(SimOptions, Defaults)
{
    SimOptions options;
    std::string error;
    ASSERT_EQ(Parse({}, options, error), ParseResult::Run);
    EXPECT_EQ(options.lines, 64);
    EXPECT_EQ(options.language, SimLanguage::En);
    EXPECT_EQ(options.length, LengthMode::Text);
    EXPECT_DOUBLE_EQ(options.changeRate, 0.1);
    EXPECT_EQ(options.bind, "127.0.0.1");
    EXPECT_EQ(options.closeAfter, -1);
    EXPECT_EQ(options.stallAfter, -1);
    EXPECT_EQ(options.chunk, 0);
}

TEST(SimOptions, EveryOptionInBothSpellings)
{
    SimOptions options;
    std::string error;
    ASSERT_EQ(Parse({"--lines",
                     "2048",
                     "--language=zh",
                     "--length",
                     "binary",
                     "--change-rate",
                     "0.5",
                     "--seed",
                     "18446744073709551615",
                     "--close-after",
                     "3",
                     "--delay-ms=250",
                     "--chunk",
                     "7",
                     "--garbage-after",
                     "0",
                     "--oversize-after",
                     "4",
                     "--stall-after",
                     "5",
                     "--port",
                     "0",
                     "--bind",
                     "::1"},
                    options, error),
              ParseResult::Run)
        << error;
    EXPECT_EQ(options.lines, 2048);
    EXPECT_EQ(options.language, SimLanguage::Zh);
    EXPECT_EQ(options.length, LengthMode::Binary);
    EXPECT_DOUBLE_EQ(options.changeRate, 0.5);
    EXPECT_EQ(options.seed, 18446744073709551615ull);
    EXPECT_EQ(options.closeAfter, 3);
    EXPECT_EQ(options.delayMs, 250);
    EXPECT_EQ(options.chunk, 7);
    EXPECT_EQ(options.garbageAfter, 0);
    EXPECT_EQ(options.oversizeAfter, 4);
    EXPECT_EQ(options.stallAfter, 5);
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.bind, "::1");
}

TEST(SimOptions, Help)
{
    for (const char* arg : {"--help", "-h"}) {
        SimOptions options;
        std::string error;
        EXPECT_EQ(Parse({"--lines", "3", arg, "--bogus"}, options, error), ParseResult::Help);
    }
    EXPECT_NE(std::string(SimUsage()).find("--stall-after"), std::string::npos);
}

TEST(SimOptions, BadArgumentsAreRefusedWithAReason)
{
    const struct {
        std::vector<const char*> args;
        const char* mentions;
    } cases[] = {
        {{"--lines", "0"}, "--lines"},
        {{"--lines", "2049"}, "--lines"},
        {{"--lines", "12x"}, "--lines"},
        {{"--lines", ""}, "--lines"},
        {{"--lines"}, "needs a value"},
        {{"--lines", "99999999999999999999"}, "--lines"},
        {{"--language", "fr"}, "en or zh"},
        {{"--length", "hex"}, "text or binary"},
        {{"--change-rate", "1.01"}, "--change-rate"},
        {{"--change-rate", "-0.1"}, "--change-rate"},
        {{"--change-rate", "nan"}, "--change-rate"},
        {{"--change-rate", "0.5x"}, "--change-rate"},
        {{"--seed", "-1"}, "--seed"},
        {{"--seed", "abc"}, "--seed"},
        {{"--close-after", "-1"}, "--close-after"},
        {{"--delay-ms", "600001"}, "--delay-ms"},
        {{"--chunk", "0"}, "--chunk"},
        {{"--port", "65536"}, "--port"},
        {{"--port", "-1"}, "--port"},
        {{"--bind", ""}, "--bind"},
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--lines=5", "stray"}, "unexpected argument 'stray'"},
        {{"-x"}, "unexpected argument"},
    };
    for (const auto& c : cases) {
        SimOptions options;
        std::string error;
        EXPECT_EQ(Parse(c.args, options, error), ParseResult::Error) << c.args[0];
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    }
}

} // namespace
