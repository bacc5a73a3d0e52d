// The capture and bench tools end to end: each test runs the real program headless (no
// display needed) with the validation layer on, and reads what it wrote. Small render sizes
// and few frames; late frames are reached by moving the particles only.
//
// Golden frames: the references in tests/golden/ are compared with fresh captures by the
// tolerant rule of tools/image_compare.h. To refresh them on purpose (after a change that is
// meant to alter the picture), run
//     KIVREL_REFRESH_GOLDEN=1 ctest --test-dir build -R Golden
// look at the new pictures, and commit them.
#include "tools/image_compare.h"
#include "tools/png_file.h"
#include "tools/video.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int exitCode = -1;  // 128 + signal when the program was killed
    std::string output; // stdout, then stderr
    std::string errors; // stderr alone
};

std::string fileText(const fs::path& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A folder of its own for the running test, emptied first.
fs::path testFolder()
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    fs::path folder = fs::path(KIVREL_TEST_OUTPUT_DIR) / (std::string(test->test_suite_name()) + "." + test->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

RunResult run(const std::string& command, const fs::path& log)
{
    fs::path errors = log.string() + ".stderr";
    int status =
        std::system((command + " > " + shellQuote(log.string()) + " 2> " + shellQuote(errors.string())).c_str());
    RunResult result;
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.exitCode = 128 + WTERMSIG(status);
    result.errors = fileText(errors);
    result.output = fileText(log) + result.errors;
    return result;
}

// The output and log of the test's runs lie in its folder, under the names given.
RunResult capture(const fs::path& folder, const std::string& arguments, const char* logName = "capture.log")
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    fs::path log = fs::path(KIVREL_TEST_OUTPUT_DIR) / (std::string(test->test_suite_name()) + "." + test->name()) /
                   logName;
    return run(shellQuote(KIVREL_CAPTURE) + " --validation --out " + shellQuote(folder.string()) + " " + arguments,
               log);
}

RgbaImage readFrame(const fs::path& folder, uint32_t frame)
{
    RgbaImage image;
    std::string path = framePath(folder.string(), frame);
    EXPECT_TRUE(readPng(path.c_str(), image)) << path;
    return image;
}

std::vector<std::string> fileNames(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> fileBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// Captures frames first .. last at 128 x 72 and compares each with tests/golden/, or, when
// KIVREL_REFRESH_GOLDEN is set, makes the captures the new references.
void checkGoldenFrames(uint32_t first, uint32_t last)
{
    fs::path folder = testFolder() / "frames";
    RunResult result = capture(folder, "--from " + std::to_string(first) + " --to " + std::to_string(last) +
                                           " --size 128x72 --render-size 128x72");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const bool refresh = std::getenv("KIVREL_REFRESH_GOLDEN") != nullptr;
    // Driver rounding moves many pixels a little; a sample that lands elsewhere moves a few a
    // lot. A changed picture moves many a lot.
    const ImageTolerance tolerance = {.pixelThreshold = 16, .maxMeanAbsolute = 1.5, .maxShareOverThreshold = 0.01};
    for (uint32_t frame = first; frame <= last; ++frame) {
        fs::path reference = framePath(KIVREL_GOLDEN_DIR, frame);
        if (refresh) {
            fs::create_directories(KIVREL_GOLDEN_DIR);
            fs::copy_file(framePath(folder.string(), frame), reference, fs::copy_options::overwrite_existing);
            std::printf("refreshed %s\n", reference.c_str());
            continue;
        }
        RgbaImage expected;
        ASSERT_TRUE(readPng(reference.c_str(), expected))
            << reference << " is missing: KIVREL_REFRESH_GOLDEN=1 ctest --test-dir build -R Golden makes it";
        RgbaImage captured = readFrame(folder, frame);
        ImageDifference difference = compareImages(expected, captured, tolerance.pixelThreshold);
        EXPECT_TRUE(withinTolerance(difference, tolerance))
            << "frame " << frame << ": mean difference " << difference.meanAbsolute << ", "
            << difference.shareOverThreshold * 100.0 << "% of pixels off by more than " << tolerance.pixelThreshold
            << " (largest " << difference.largest << "); the capture is " << framePath(folder.string(), frame);
        freeImage(expected);
        freeImage(captured);
    }
}

} // namespace

TEST(Golden, SceneZeroWithTheTitleAtFrames1649And1650)
{
    checkGoldenFrames(1649, 1650);
}

// Scene 1's collisions write in no fixed order, so its particles drift apart between runs
// from its first frames on: slowly at first (well under one level in 255 on average until about
// frame 3440), then faster. Its reference is taken early, once the lights are up (frame 3421).
TEST(Golden, SceneOneAtFrame3430)
{
    checkGoldenFrames(3430, 3430);
}

TEST(Capture, FramesBeforeTheLightsComeUpAreBlack)
{
    fs::path folder = testFolder() / "frames";
    RunResult result = capture(folder, "--from 0 --to 2 --size 64x36 --render-size 64x36");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(fileNames(folder), (std::vector<std::string>{"frame_00000.png", "frame_00001.png", "frame_00002.png"}));
    // The brightness track is 0 until frame 439: the final pass scales every colour by
    // saturate(0 + luma) × 0 = 0, and the tone curve maps 0 to 0.
    for (uint32_t frame = 0; frame <= 2; ++frame) {
        RgbaImage image = readFrame(folder, frame);
        EXPECT_EQ(image.width, 64u);
        EXPECT_EQ(image.height, 36u);
        uint64_t lit = 0;
        for (uint64_t i = 0; i < image.pixels.count; ++i)
            lit += (i % 4 != 3 && image.pixels[i] != 0) ? 1 : 0;
        EXPECT_EQ(lit, 0u) << "frame " << frame;
        freeImage(image);
    }
}

TEST(Capture, ShowsTheTitleCentredAndBrightAtFrame1650)
{
    // The picture is rendered small and scaled up 10 times by the final pass, so it is smooth
    // at the output size; the title is sampled at the output size and is the only thing with
    // sharp edges. Pixels much brighter than their 7 x 7 neighbourhood are the title's.
    fs::path folder = testFolder() / "frames";
    RunResult result = capture(folder, "--from 1650 --to 1650 --size 1280x720 --render-size 128x72 --settle 4");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    RgbaImage image = readFrame(folder, 1650);
    ASSERT_EQ(image.width, 1280u);
    const int width = int(image.width), height = int(image.height);
    std::vector<double> luma(size_t(width) * height);
    for (size_t i = 0; i < luma.size(); ++i)
        luma[i] = (image.pixels[i * 4] + image.pixels[i * 4 + 1] + image.pixels[i * 4 + 2]) / 3.0;
    int left = width, right = -1, top = height, bottom = -1;
    double brightest = 0.0;
    for (int y = 4; y < height - 4; ++y) {
        for (int x = 4; x < width - 4; ++x) {
            double sum = 0.0;
            for (int dy = -3; dy <= 3; ++dy)
                for (int dx = -3; dx <= 3; ++dx)
                    sum += luma[size_t(y + dy) * width + x + dx];
            double value = luma[size_t(y) * width + x];
            if (value - sum / 49.0 <= 12.0)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
            brightest = std::max(brightest, value);
        }
    }
    ASSERT_GE(right, 0) << "no title found";
    // The text is centred in its image, which the final pass maps onto the whole picture.
    EXPECT_NEAR((left + right) / 2.0, width / 2.0, width * 0.02);
    EXPECT_NEAR((top + bottom) / 2.0, height / 2.0, height * 0.02);
    // "TOLVE" at 80 pixels in a 3840 x 2160 image: a line of text, a few per cent of the picture.
    EXPECT_GT(right - left, width / 50);
    EXPECT_LT(right - left, width / 5);
    EXPECT_LT(bottom - top, height / 10);
    // White under the frame's tone curve: well above the grey of the picture around it.
    EXPECT_GT(brightest, 170.0);
    freeImage(image);
}

TEST(Capture, SameRangeTwiceGivesTheSameFrames)
{
    // Scene 0 around frame 700: lit, and no two spheres touch, so no collision writes race.
    fs::path folder = testFolder();
    ASSERT_EQ(capture(folder / "first", "--from 700 --to 701 --size 64x36 --render-size 64x36", "first.log").exitCode,
              0);
    ASSERT_EQ(capture(folder / "second", "--from 700 --to 701 --size 64x36 --render-size 64x36", "second.log").exitCode,
              0);
    for (uint32_t frame = 700; frame <= 701; ++frame) {
        RgbaImage first = readFrame(folder / "first", frame);
        RgbaImage second = readFrame(folder / "second", frame);
        ImageDifference difference = compareImages(first, second, 0);
        EXPECT_TRUE(difference.sameSize);
        EXPECT_EQ(difference.largest, 0u) << "frame " << frame;
        // Lit (brightness 1 from frame 579): black frames would be equal for nothing.
        EXPECT_GT(first.pixels[0] + first.pixels[1] + first.pixels[2], 0) << "frame " << frame;
        freeImage(first);
        freeImage(second);
    }
}

TEST(Capture, WritesTheSoundtrackOfTheCapturedFrames)
{
    fs::path folder = testFolder();
    RunResult result = capture(folder / "frames", "--from 60 --to 61 --size 64x36 --render-size 64x36 --wav");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    ASSERT_EQ(run(shellQuote(KIVREL_SOUNDTRACK) + " " + shellQuote((folder / "whole.wav").string()),
                  folder / "soundtrack.log")
                  .exitCode,
              0);
    std::vector<uint8_t> part = fileBytes(folder / "frames" / "soundtrack.wav");
    std::vector<uint8_t> whole = fileBytes(folder / "whole.wav");
    // 44100 / 60 = 735 stereo float frames of 8 bytes per picture, after the 58-byte header;
    // frame 60 is shown one second (44100 sound frames) into the music.
    constexpr size_t header = 58, bytesPerPicture = 735 * 8;
    ASSERT_EQ(part.size(), header + 2 * bytesPerPicture);
    ASSERT_GE(whole.size(), header + 62 * bytesPerPicture);
    EXPECT_TRUE(std::equal(part.begin() + header, part.end(), whole.begin() + header + 60 * bytesPerPicture));
    EXPECT_NE(std::count(part.begin() + header, part.end(), 0), std::ptrdiff_t(2 * bytesPerPicture)) << "silence";
}

TEST(Capture, RefusesBadCommandLinesWithItsUsageAndExitCode2)
{
    fs::path folder = testFolder();
    const char* captureLines[] = {
        "",
        "--out x --from 5 --to 4",
        "--out x --to 7401",
        "--out x --size 0x10",
        "--out x --render-size 100x100",
        "--out x --from",
        "--out x --frames 3",
    };
    for (const char* arguments : captureLines) {
        RunResult result = run(shellQuote(KIVREL_CAPTURE) + " " + arguments, folder / "capture.log");
        EXPECT_EQ(result.exitCode, 2) << arguments;
        EXPECT_NE(result.output.find("usage: kivrel-capture"), std::string::npos) << result.output;
    }
    for (const char* arguments : {"--frames 0", "--frame 7400 --frames 2", "--size 1x1", "--out x"}) {
        RunResult result = run(shellQuote(KIVREL_BENCH) + " " + arguments, folder / "bench.log");
        EXPECT_EQ(result.exitCode, 2) << arguments;
        EXPECT_NE(result.output.find("usage: kivrel-bench"), std::string::npos) << result.output;
    }
    RunResult help = run(shellQuote(KIVREL_CAPTURE) + " --help", folder / "help.log");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.output.rfind("usage: kivrel-capture", 0), 0u);
}

TEST(Capture, OutputFolderThatCannotBeWrittenIsAnError)
{
    fs::path folder = testFolder();
    fs::path file = folder / "a file";
    std::ofstream(file) << "not a folder";
    // Exit code 1 with a reason, before anything is rendered; not a crash (which reads 128 + signal).
    for (const fs::path& output : {file, file / "frames"}) {
        RunResult result = capture(output, "--from 0 --to 0 --size 64x36 --render-size 64x36");
        EXPECT_EQ(result.exitCode, 1) << result.output;
        EXPECT_NE(result.errors.find("cannot use"), std::string::npos) << result.output;
    }
}

TEST(Tools, ReportFailuresOnStandardErrorWithTheirExitCodes)
{
    fs::path folder = testFolder();
    struct Case {
        std::string command;
        int exitCode;
        const char* error; // the start of the line on stderr
    } cases[] = {
        // No device makes images 65536 pixels wide: a usage error that names the device's limit.
        {shellQuote(KIVREL_CAPTURE) + " --out " + shellQuote((folder / "wide").string()) +
             " --from 0 --to 0 --render-size 65536x32 --size 64x36",
         2, "kivrel-capture: this device makes images of at most "},
        // 8192 x 8192 RGBA32F images are 1 GiB each: within 4 GB of address space the scene runs
        // out of memory, an error and not a PANIC (which exits 255).
        {"ulimit -v 4000000; " + shellQuote(KIVREL_CAPTURE) + " --out " + shellQuote((folder / "big").string()) +
             " --from 0 --to 0 --render-size 8192x8192 --size 64x36",
         1, "kivrel-capture: out of memory: 1024.0 MiB for an image of 8192 x 8192 pixels"},
        {shellQuote(KIVREL_SOUNDTRACK) + " ''", 2, "kivrel-soundtrack: OUT.wav is an empty path\nusage: "},
        // Refused before the synthesis, which would log its time on stdout.
        {shellQuote(KIVREL_SOUNDTRACK) + " " + shellQuote((folder / "missing" / "out.wav").string()), 1,
         "kivrel-soundtrack: cannot write "},
        {shellQuote(KIVREL_SOUNDTRACK) + " " + shellQuote(folder.string()), 1, "kivrel-soundtrack: cannot write "},
    };
    for (const Case& c : cases) {
        RunResult result = run(c.command, folder / "run.log");
        EXPECT_EQ(result.exitCode, c.exitCode) << c.command << "\n" << result.output;
        EXPECT_EQ(result.errors.rfind(c.error, 0), 0u) << c.command << "\n" << result.output;
        EXPECT_EQ(result.output.find("PANIC"), std::string::npos) << result.output;
        EXPECT_EQ(result.output.find("synthesis of"), std::string::npos) << result.output;
    }
}

TEST(Capture, VideoWithSoundWhereFfmpegIsInstalled)
{
    fs::path folder = testFolder();
    fs::path video = folder / "piece.mkv";
    // Without ffmpeg on the search path the run is refused before anything is rendered.
    fs::create_directories(folder / "empty");
    RunResult refused = run("PATH=" + shellQuote((folder / "empty").string()) + " " + shellQuote(KIVREL_CAPTURE) +
                                " --out " + shellQuote((folder / "refused").string()) + " --video " +
                                shellQuote(video.string()),
                            folder / "refused.log");
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_NE(refused.output.find("needs ffmpeg"), std::string::npos) << refused.output;
    EXPECT_FALSE(fs::exists(folder / "refused"));

    if (findProgram("ffmpeg", std::getenv("PATH")).empty())
        GTEST_SKIP() << "ffmpeg is not installed";
    RunResult result = capture(folder / "frames", "--from 0 --to 2 --size 64x36 --render-size 64x36 --video " +
                                                      shellQuote(video.string()));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(fs::exists(folder / "frames" / "soundtrack.wav"));
    ASSERT_TRUE(fs::exists(video));
    EXPECT_GT(fs::file_size(video), 1000u);
}

TEST(Bench, PrintsEveryStepOfTheChainAndTheSustainedRate)
{
    fs::path folder = testFolder();
    RunResult result = run(shellQuote(KIVREL_BENCH) + " --validation --frame 2 --frames 3 --warmup 1 --size 64x36",
                           folder / "bench.log");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    for (const char* row : {"uploads", "simulation", "path tracing", "temporal reprojection", "a-trous filter",
                            "history and copies", "depth of field", "final transfer", "GPU, whole chain",
                            "CPU, recording a frame", "sustained:"})
        EXPECT_NE(result.output.find(row), std::string::npos) << row << " in\n" << result.output;
    EXPECT_NE(result.output.find("frames 2 to 4 at 64x36: scene 0, 64 particles, 3 filter steps"), std::string::npos)
        << result.output;
    // The whole chain took time on the GPU: its median is a positive number of milliseconds.
    size_t row = result.output.find("GPU, whole chain");
    ASSERT_NE(row, std::string::npos);
    double median = std::atof(result.output.c_str() + row + std::strlen("GPU, whole chain"));
    EXPECT_GT(median, 0.0) << result.output;
}
