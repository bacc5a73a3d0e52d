// The capture and bench tools end to end: each test runs the real program headless (no
// display needed) with the validation layer on, and reads what it wrote. Small render sizes
// and few frames; late frames are reached by moving the particles only.
//
// Golden frames: the references in tests/golden/ are compared with fresh captures by
// tools/image_compare.h. To refresh them on purpose (after a change that is
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
#include <string>

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int exitCode = -1;  // 128 + signal when the program was killed
    std::string output; // stdout, then stderr
    std::string errors; // stderr alone
};

// Quoted for the shell: in single quotes, each ' written as '\''.
std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A file's bytes as they are.
std::string fileBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
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
    result.errors = fileBytes(errors);
    result.output = fileBytes(log) + result.errors;
    return result;
}

// Writes the frames into folder, the log next to it.
RunResult capture(const fs::path& folder, const std::string& arguments)
{
    return run(shellQuote(KIVREL_CAPTURE) + " --validation --out " + shellQuote(folder.string()) + " " + arguments,
               folder.parent_path() / "capture.log");
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
    // The same device captures the same bytes; up to 0.1 % of the pixels (9 of 128 x 72) may
    // differ at all, by any amount, for another build of the driver's rounding. A picture one
    // level brighter or darker anywhere larger fails.
    const ImageTolerance tolerance = {.pixelThreshold = 0, .maxShareOverThreshold = 0.001};
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
        RgbaImage captured;
        EXPECT_TRUE(readPng(framePath(folder.string(), frame).c_str(), captured));
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

// Once the lights are up (frame 3421).
TEST(Golden, SceneOneAtFrame3430)
{
    checkGoldenFrames(3430, 3430);
}

// Each step's particles follow from the last step's alone, so a capture can be made in chunks:
// frames 4500 .. 4503 of scene 1 (balls in the pit, contacts at every step) in one run and in
// two. The first chunk starts where the run does: the same bytes. The second starts with a
// history of its (default) settle frames only: within PSNR 50 dB of the run's, and of a run
// begun 300 frames before.
TEST(Capture, ChunksJoinedAreTheFramesOfOneRun)
{
    fs::path folder = testFolder();
    const std::pair<const char*, const char*> runs[] = {
        {"one", "--from 4500 --to 4503"}, {"first", "--from 4500 --to 4501"}, {"second", "--from 4502 --to 4503"},
        {"long", "--from 4502 --to 4503 --settle 300"}}; // a run started long before: history settled
    for (auto [name, frames] : runs)
        ASSERT_EQ(capture(folder / name, std::string(frames) + " --size 64x36 --render-size 64x36").exitCode, 0);
    for (uint32_t frame = 4500; frame <= 4503; ++frame) {
        const fs::path chunk = folder / (frame < 4502 ? "first" : "second");
        const std::string joined = fileBytes(framePath(chunk.string(), frame));
        const std::string one = fileBytes(framePath((folder / "one").string(), frame));
        ASSERT_FALSE(joined.empty());
        if (frame < 4502) {
            EXPECT_TRUE(joined == one) << frame;
            continue;
        }
        for (const char* reference : {"one", "long"}) {
            RgbaImage a, b;
            ASSERT_TRUE(readPng(framePath(chunk.string(), frame).c_str(), a));
            ASSERT_TRUE(readPng(framePath((folder / reference).string(), frame).c_str(), b));
            EXPECT_GE(compareImages(a, b, 0).psnr, 50.0) << frame << " against " << reference;
            freeImage(a);
            freeImage(b);
        }
    }
}

TEST(Capture, WritesTheSoundtrackOfItsFramesAndAVideoAtSixtyASecondWithTheirSound)
{
    fs::path folder = testFolder();
    // Without ffmpeg on the search path the run is refused before anything is rendered.
    fs::create_directories(folder / "empty");
    RunResult refused = run("PATH=" + shellQuote((folder / "empty").string()) + " " + shellQuote(KIVREL_CAPTURE) +
                                " --out " + shellQuote((folder / "refused").string()) + " --video v.mp4",
                            folder / "refused.log");
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_NE(refused.output.find("needs ffmpeg"), std::string::npos) << refused.output;
    EXPECT_FALSE(fs::exists(folder / "refused"));

    // Frames 60 .. 63 (four: a count the muxer once cut short), a second into the music, in a
    // folder whose name the shell and ffmpeg's frame pattern ('%') must both take literally.
    fs::path frames = folder / "100% it's", video = folder / "piece.mp4";
    RunResult result = capture(frames, "--from 60 --to 63 --size 64x36 --render-size 64x36 --wav --video " +
                                           shellQuote(video.string()));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    ASSERT_EQ(run(shellQuote(KIVREL_SOUNDTRACK) + " " + shellQuote((folder / "whole.wav").string()),
                  folder / "soundtrack.log").exitCode, 0);
    // 44100 / 60 = 735 stereo float frames of 8 bytes per picture, after the 58-byte header;
    // frame 60 is shown one second (44100 sound frames) into the music.
    std::string part = fileBytes(frames / "soundtrack.wav"), whole = fileBytes(folder / "whole.wav");
    constexpr size_t header = 58, bytesPerPicture = 735 * 8;
    ASSERT_EQ(part.size(), header + 4 * bytesPerPicture);
    ASSERT_GE(whole.size(), header + 64 * bytesPerPicture);
    EXPECT_TRUE(std::equal(part.begin() + header, part.end(), whole.begin() + header + 60 * bytesPerPicture));

    RunResult probe = run("ffprobe -v error -count_frames -select_streams v -show_entries stream=avg_frame_rate,nb_read_frames"
                          " -of csv=p=0 " + shellQuote(video.string()), folder / "probe.log");
    EXPECT_EQ(probe.output, "60/1,4\n");
    // The sound as the video holds it: 4 pictures at 60 a second are 4 x 735 stereo frames at
    // 44100 Hz, and the audio encoder pads at most a block of 1024 (AAC); not silent.
    fs::path sound = folder / "sound.raw";
    ASSERT_EQ(run("ffmpeg -v error -i " + shellQuote(video.string()) + " -map 0:a -f f32le -ac 2 -ar 44100 " +
                      shellQuote(sound.string()), folder / "sound.log").exitCode, 0);
    std::string bytes = fileBytes(sound);
    EXPECT_GE(bytes.size() / 8, 4u * 735);
    EXPECT_LE(bytes.size() / 8, 4u * 735 + 1024);
    EXPECT_LT(std::count(bytes.begin(), bytes.end(), 0), std::ptrdiff_t(bytes.size() / 2)) << "silence";
}

TEST(Tools, RefuseWhatTheyCannotDoOnStandardErrorWithTheirExitCodes)
{
    fs::path folder = testFolder();
    fs::path file = folder / "a file";
    std::ofstream(file) << "not a folder";
    const std::string capture = shellQuote(KIVREL_CAPTURE), soundtrack = shellQuote(KIVREL_SOUNDTRACK);
    const std::string out = " --from 0 --to 0 --size 64x36 --out ";
    struct Case {
        std::string command;
        int exitCode;      // 2: a usage error, 1: an error, never 255 (a PANIC) or 128 + a signal
        const char* error; // where stderr must contain it
    } cases[] = {
        {capture + " --out x --from 5 --to 4", 2, "usage: kivrel-capture"},
        {shellQuote(KIVREL_BENCH) + " --frame 7400 --frames 2", 2, "usage: kivrel-bench"},
        {soundtrack + " ''", 2, "kivrel-soundtrack: OUT.wav is an empty path\nusage: "},
        // A file where the folder should be, or below it: refused before anything is rendered.
        {capture + out + shellQuote(file.string()), 1, "cannot use"},
        {capture + out + shellQuote((file / "frames").string()), 1, "cannot use"},
        // No device makes images 65536 pixels wide: a usage error that names the device's limit.
        {capture + out + shellQuote((folder / "wide").string()) + " --render-size 65536x32", 2,
         "kivrel-capture: this device makes images of at most "},
        // 8192 x 8192 RGBA32F images are 1 GiB each: within 4 GB of address space the scene runs
        // out of memory, an error and not a PANIC.
        {"ulimit -v 4000000; " + capture + out + shellQuote((folder / "big").string()) + " --render-size 8192x8192", 1,
         "kivrel-capture: out of memory: 1024.0 MiB for an image of 8192 x 8192 pixels"},
        // Refused before the synthesis, which would log its time on stdout.
        {soundtrack + " " + shellQuote((folder / "missing" / "out.wav").string()), 1, "kivrel-soundtrack: cannot write "},
        {soundtrack + " " + shellQuote(folder.string()), 1, "kivrel-soundtrack: cannot write "},
    };
    for (const Case& c : cases) {
        RunResult result = run(c.command, folder / "run.log");
        EXPECT_EQ(result.exitCode, c.exitCode) << c.command << "\n" << result.output;
        EXPECT_NE(result.errors.find(c.error), std::string::npos) << c.command << "\n" << result.output;
        EXPECT_EQ(result.output.find("synthesis of"), std::string::npos) << result.output;
    }
    RunResult help = run(capture + " --help", folder / "help.log");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.output.rfind("usage: kivrel-capture", 0), 0u);
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
