// The capture and bench command lines: what they take, and that everything else is refused
// with a reason (the tools then print their usage line and exit with 2).
#include "tools/arguments.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

using Arguments = std::initializer_list<const char*>;

// Why the tool's parser refuses the arguments, given as main receives them after its name;
// empty when it takes them.
template <typename Options>
std::string refusal(bool (*parse)(int, const char* const*, Options&, std::string&), Arguments arguments, Options& options)
{
    std::vector<const char*> argv = {"tool"};
    argv.insert(argv.end(), arguments);
    std::string error;
    return parse(int(argv.size()), argv.data(), options, error) ? std::string() : error;
}

} // namespace

TEST(ToolArguments, NumbersAreDigitsOnlyAndSizesAreWidthByHeightUpTo65536)
{
    uint32_t value = 7, width = 0, height = 0;
    EXPECT_TRUE(parseUnsigned("4294967295", value)); // 2^32 - 1
    EXPECT_EQ(value, 4294967295u);
    for (const char* bad : {"", "4294967296", "-1", "+1", " 1", "1 ", "12a", "0x10", "1.5"})
        EXPECT_FALSE(parseUnsigned(bad, value)) << bad;
    EXPECT_TRUE(parseSize("65536x180", width, height));
    EXPECT_EQ(width, 65536u);
    EXPECT_EQ(height, 180u);
    for (const char* bad : {"0x10", "10x0", "65537x10", "10x65537", "10X10", "10x", "x10", "10", "10x10x10", "-10x10"})
        EXPECT_FALSE(parseSize(bad, width, height)) << bad;
}

TEST(ToolArguments, CaptureAndBenchRefuseWhatTheyCannotDoWithAReason)
{
    struct Case {
        Arguments arguments;
        const char* reason; // a word the reason must contain
    };
    const Case cases[] = {
        {{}, "--out"},
        {{"--out"}, "needs a value"},
        {{"--out", ""}, "folder"},
        {{"--out", "x", "--to", "7401"}, "7400"},
        {{"--out", "x", "--from", "11", "--to", "10"}, "after"},
        {{"--out", "x", "--from", "ten"}, "whole number"},
        {{"--out", "x", "--size", "640"}, "WIDTHxHEIGHT"},
        // 100 pixels would leave 4 columns outside the 32-pixel groups of the compute steps.
        {{"--out", "x", "--render-size", "100x100"}, "multiple of 32"},
        {{"--out", "x", "--settle", "601"}, "600"},
        {{"--out", "x", "--frames", "3"}, "unknown argument"},
    };
    CaptureOptions options;
    for (const Case& c : cases) {
        std::string error = refusal(parseCaptureArguments, c.arguments, options);
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    // Frames 7399 and 7400 are the piece's last two; one more is not.
    BenchOptions bench;
    ASSERT_EQ(refusal(parseBenchArguments, {"--frame", "7399", "--frames", "2", "--warmup", "0", "--size", "480x270"}, bench),
              "");
    EXPECT_EQ(bench.warmupFrames, 0u);
    EXPECT_EQ(bench.height, 270u);
    for (Arguments arguments : {Arguments{"--frame", "7399", "--frames", "3"}, Arguments{"--frames", "0"},
                                Arguments{"--size", "481x270"}, Arguments{"--out", "x"}, Arguments{"--frame"}})
        EXPECT_NE(refusal(parseBenchArguments, arguments, bench), "") << *arguments.begin();
}
