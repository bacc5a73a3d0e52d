// The capture and bench command lines: what they take, and that everything else is refused
// with a reason (the tools then print their usage line and exit with 2).
#include "tools/arguments.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

// argv as main receives it, the tool's name first.
struct CommandLine {
    std::vector<const char*> argv;
    CommandLine(std::initializer_list<const char*> arguments)
    {
        argv.push_back("tool");
        argv.insert(argv.end(), arguments);
    }
    int argc() const { return int(argv.size()); }
};

bool captureAccepts(std::initializer_list<const char*> arguments, CaptureOptions& options, std::string& error)
{
    CommandLine line(arguments);
    return parseCaptureArguments(line.argc(), line.argv.data(), options, error);
}

bool benchAccepts(std::initializer_list<const char*> arguments, BenchOptions& options, std::string& error)
{
    CommandLine line(arguments);
    return parseBenchArguments(line.argc(), line.argv.data(), options, error);
}

} // namespace

TEST(ToolArguments, NumbersAreDigitsOnlyAndSizesAreWidthByHeight)
{
    uint32_t value = 7;
    EXPECT_TRUE(parseUnsigned("0", value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(parseUnsigned("4294967295", value)); // 2^32 - 1
    EXPECT_EQ(value, 4294967295u);
    for (const char* bad : {"", "4294967296", "-1", "+1", " 1", "1 ", "12a", "0x10", "1.5"})
        EXPECT_FALSE(parseUnsigned(bad, value)) << bad;

    uint32_t width = 0, height = 0;
    EXPECT_TRUE(parseSize("320x180", width, height));
    EXPECT_EQ(width, 320u);
    EXPECT_EQ(height, 180u);
    EXPECT_TRUE(parseSize("65536x1", width, height));
    for (const char* bad : {"0x10", "10x0", "65537x10", "10x65537", "10X10", "10x", "x10", "10", "10x10x10", "-10x10"})
        EXPECT_FALSE(parseSize(bad, width, height)) << bad;
}

TEST(ToolArguments, CaptureTakesItsOptionsAndDefaultsToTheWholePieceAtFullSize)
{
    CaptureOptions options;
    std::string error;
    ASSERT_TRUE(captureAccepts({"--out", "frames"}, options, error)) << error;
    EXPECT_EQ(options.outputFolder, "frames");
    EXPECT_EQ(options.firstFrame, 0u);
    EXPECT_EQ(options.lastFrame, 7400u);
    EXPECT_EQ(options.outputWidth, 1920u);
    EXPECT_EQ(options.outputHeight, 1080u);
    EXPECT_EQ(options.renderWidth, 1920u);
    EXPECT_EQ(options.renderHeight, 1080u);
    EXPECT_FALSE(options.soundtrack);
    EXPECT_TRUE(options.videoPath.empty());

    ASSERT_TRUE(captureAccepts({"--from", "700", "--to", "710", "--size", "640x360", "--render-size", "320x180",
                                "--settle", "4", "--wav", "--video", "piece.mp4", "--validation", "--out", "x"},
                               options, error))
        << error;
    EXPECT_EQ(options.firstFrame, 700u);
    EXPECT_EQ(options.lastFrame, 710u);
    EXPECT_EQ(options.outputWidth, 640u);
    EXPECT_EQ(options.renderHeight, 180u);
    EXPECT_EQ(options.settleFrames, 4u);
    EXPECT_TRUE(options.soundtrack);
    EXPECT_EQ(options.videoPath, "piece.mp4");
    EXPECT_TRUE(options.validation);

    // One frame, the last of the piece.
    EXPECT_TRUE(captureAccepts({"--out", "x", "--from", "7400", "--to", "7400"}, options, error)) << error;
    EXPECT_TRUE(captureAccepts({"--help"}, options, error));
    EXPECT_TRUE(options.help);
}

TEST(ToolArguments, CaptureRefusesWhatItCannotDo)
{
    CaptureOptions options;
    std::string error;
    struct Case {
        std::initializer_list<const char*> arguments;
        const char* reason; // a word the reason must contain
    };
    const Case cases[] = {
        {{}, "--out"},
        {{"--from", "3"}, "--out"},
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
        {{"--out", "x", "extra"}, "unknown argument"},
    };
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(captureAccepts(c.arguments, options, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(ToolArguments, BenchMeasuresFramesWithinThePiece)
{
    BenchOptions options;
    std::string error;
    ASSERT_TRUE(benchAccepts({}, options, error)) << error;
    EXPECT_EQ(options.frame, 1000u);
    EXPECT_EQ(options.frames, 5u);
    EXPECT_EQ(options.width, 1920u);
    EXPECT_EQ(options.height, 1080u);

    ASSERT_TRUE(benchAccepts({"--frame", "3500", "--frames", "3", "--warmup", "0", "--size", "480x270"}, options,
                             error))
        << error;
    EXPECT_EQ(options.frame, 3500u);
    EXPECT_EQ(options.frames, 3u);
    EXPECT_EQ(options.warmupFrames, 0u);
    EXPECT_EQ(options.height, 270u);

    // Frames 7399 and 7400 are the piece's last two; one more is not.
    EXPECT_TRUE(benchAccepts({"--frame", "7399", "--frames", "2"}, options, error)) << error;
    EXPECT_FALSE(benchAccepts({"--frame", "7399", "--frames", "3"}, options, error));
    EXPECT_FALSE(benchAccepts({"--frames", "0"}, options, error));
    EXPECT_FALSE(benchAccepts({"--size", "481x270"}, options, error));
    EXPECT_FALSE(benchAccepts({"--out", "x"}, options, error));
    EXPECT_FALSE(benchAccepts({"--frame"}, options, error));
}
