// Command lines of the tools (see arguments.h).
#include "tools/arguments.h"

#include <cstring>

const char* const captureUsage =
    "usage: kivrel-capture --out FOLDER [--from N] [--to N] [--size WxH] [--render-size WxH] [--settle N] [--wav] "
    "[--video FILE] [--validation]\n";
const char* const benchUsage =
    "usage: kivrel-bench [--frame N] [--frames N] [--warmup N] [--size WxH] [--seek] [--validation]\n";

namespace {

// The option at argv[index] takes the next argument as its value.
const char* valueOf(int argc, const char* const* argv, int& index, std::string& error)
{
    if (index + 1 >= argc) {
        error = std::string(argv[index]) + " needs a value";
        return nullptr;
    }
    return argv[++index];
}

bool readUnsigned(int argc, const char* const* argv, int& index, uint32_t& value, std::string& error)
{
    const char* name = argv[index];
    const char* text = valueOf(argc, argv, index, error);
    if (!text)
        return false;
    if (!parseUnsigned(text, value)) {
        error = std::string(name) + " takes a whole number, not \"" + text + "\"";
        return false;
    }
    return true;
}

bool readSize(int argc, const char* const* argv, int& index, uint32_t& width, uint32_t& height, std::string& error)
{
    const char* name = argv[index];
    const char* text = valueOf(argc, argv, index, error);
    if (!text)
        return false;
    if (!parseSize(text, width, height)) {
        error = std::string(name) + " takes WIDTHxHEIGHT (1 to " + std::to_string(toolSizeLimit) + " each), not \"" +
                text + "\"";
        return false;
    }
    return true;
}

// The compute steps run 32 x 32 pixel groups, ⌊width ÷ 32⌋ across: a width that is not a
// multiple of 32 would leave its last columns unrendered.
bool checkRenderWidth(uint32_t width, const char* name, std::string& error)
{
    if (width % 32 == 0)
        return true;
    error = std::string(name) + " width must be a multiple of 32, not " + std::to_string(width);
    return false;
}

// A value that may not be empty.
bool readText(int argc, const char* const* argv, int& index, std::string& value, const char* emptyError,
              std::string& error)
{
    const char* text = valueOf(argc, argv, index, error);
    if (text && !*text)
        error = emptyError;
    if (!text || !*text)
        return false;
    value = text;
    return true;
}

bool is(const char* argument, const char* name)
{
    return std::strcmp(argument, name) == 0;
}

// What a tool's own option did with the command line.
enum class OptionRead { Taken, Refused, Unknown };

OptionRead taken(bool ok)
{
    return ok ? OptionRead::Taken : OptionRead::Refused;
}

// --help / -h and --validation for every tool, the tool's own options through readOption;
// false with the reason on the first argument that is refused or unknown. --help ends the
// reading: nothing after it is looked at.
template <typename Options, typename ReadOption>
bool readOptions(int argc, const char* const* argv, Options& options, std::string& error, ReadOption readOption)
{
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (is(argument, "--help") || is(argument, "-h")) {
            options.help = true;
            return true;
        }
        if (is(argument, "--validation")) {
            options.validation = true;
            continue;
        }
        OptionRead read = readOption(argument, i);
        if (read == OptionRead::Unknown)
            error = std::string("unknown argument \"") + argument + "\"";
        if (read != OptionRead::Taken)
            return false;
    }
    return true;
}

} // namespace

bool parseUnsigned(const char* text, uint32_t& value)
{
    if (!text || !*text)
        return false;
    uint64_t result = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        result = result * 10 + uint64_t(*c - '0');
        if (result > UINT32_MAX)
            return false;
    }
    value = uint32_t(result);
    return true;
}

bool parseSize(const char* text, uint32_t& width, uint32_t& height)
{
    if (!text)
        return false;
    const char* separator = std::strchr(text, 'x');
    if (!separator)
        return false;
    std::string left(text, size_t(separator - text));
    uint32_t w = 0, h = 0;
    if (!parseUnsigned(left.c_str(), w) || !parseUnsigned(separator + 1, h))
        return false;
    if (w == 0 || h == 0 || w > toolSizeLimit || h > toolSizeLimit)
        return false;
    width = w;
    height = h;
    return true;
}

bool parseCaptureArguments(int argc, const char* const* argv, CaptureOptions& options, std::string& error)
{
    options = {};
    bool haveOutput = false;
    bool read = readOptions(argc, argv, options, error, [&](const char* argument, int& i) {
        if (is(argument, "--out")) {
            haveOutput = readText(argc, argv, i, options.outputFolder, "--out needs a folder", error);
            return taken(haveOutput);
        }
        if (is(argument, "--from"))
            return taken(readUnsigned(argc, argv, i, options.firstFrame, error));
        if (is(argument, "--to"))
            return taken(readUnsigned(argc, argv, i, options.lastFrame, error));
        if (is(argument, "--size"))
            return taken(readSize(argc, argv, i, options.outputWidth, options.outputHeight, error));
        if (is(argument, "--render-size"))
            return taken(readSize(argc, argv, i, options.renderWidth, options.renderHeight, error) &&
                         checkRenderWidth(options.renderWidth, "--render-size", error));
        if (is(argument, "--settle"))
            return taken(readUnsigned(argc, argv, i, options.settleFrames, error));
        if (is(argument, "--video"))
            return taken(readText(argc, argv, i, options.videoPath, "--video needs a file name", error));
        if (is(argument, "--wav")) {
            options.soundtrack = true;
            return OptionRead::Taken;
        }
        return OptionRead::Unknown;
    });
    if (!read || options.help)
        return read;
    if (!haveOutput) {
        error = "--out FOLDER is required";
        return false;
    }
    if (options.lastFrame > lastFrameShown) {
        error = "--to " + std::to_string(options.lastFrame) + " is past the piece's last frame, " +
                std::to_string(lastFrameShown);
        return false;
    }
    if (options.firstFrame > options.lastFrame) {
        error = "--from " + std::to_string(options.firstFrame) + " is after --to " + std::to_string(options.lastFrame);
        return false;
    }
    if (options.settleFrames > 600) {
        error = "--settle is at most 600 frames";
        return false;
    }
    return true;
}

bool parseBenchArguments(int argc, const char* const* argv, BenchOptions& options, std::string& error)
{
    options = {};
    bool read = readOptions(argc, argv, options, error, [&](const char* argument, int& i) {
        if (is(argument, "--frame"))
            return taken(readUnsigned(argc, argv, i, options.frame, error));
        if (is(argument, "--frames"))
            return taken(readUnsigned(argc, argv, i, options.frames, error));
        if (is(argument, "--warmup"))
            return taken(readUnsigned(argc, argv, i, options.warmupFrames, error));
        if (is(argument, "--size"))
            return taken(readSize(argc, argv, i, options.width, options.height, error) &&
                         checkRenderWidth(options.width, "--size", error));
        if (is(argument, "--seek")) {
            options.seek = true;
            return OptionRead::Taken;
        }
        return OptionRead::Unknown;
    });
    if (!read || options.help)
        return read;
    if (options.frames == 0 || options.frames > 1000) {
        error = "--frames is 1 to 1000";
        return false;
    }
    if (options.warmupFrames > 600) {
        error = "--warmup is at most 600 frames";
        return false;
    }
    // The measured frames are frame .. frame + frames - 1, all within the piece.
    if (uint64_t(options.frame) + options.frames - 1 > lastFrameShown) {
        error = "--frame " + std::to_string(options.frame) + " with " + std::to_string(options.frames) +
                " frames runs past the piece's last frame, " + std::to_string(lastFrameShown);
        return false;
    }
    return true;
}
