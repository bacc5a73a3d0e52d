// kivrel-soundtrack OUT.wav: renders the soundtrack headless through the audio renderer and
// its synthesis program, frame by frame as the piece does, and writes the read-back floats
// unchanged as a 32-bit float stereo WAV (180 s at 44100 Hz). Opens no audio device.
#include "audio/renderer.h"
#include "audio/wav.h"
#include "core/log.h"
#include "gfx/context.h"
#include "system/system.h"
#include "tools/tool_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

ToolIdentity tool = {"kivrel-soundtrack", "usage: kivrel-soundtrack OUT.wav\n"};

// The path can take the WAV: refused before seconds of synthesis when it is a folder or cannot
// be opened for writing. A file already there is left as it is until the WAV replaces it.
bool checkOutputFile(const char* path, std::string& reason)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        reason = "it is a folder";
        return false;
    }
    const bool existed = std::filesystem::exists(path, error);
    std::FILE* file = std::fopen(path, "ab");
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    std::fclose(file);
    if (!existed)
        std::filesystem::remove(path, error);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || !*argv[1]) {
        if (argc == 2)
            reportToolError(tool.name, "OUT.wav is an empty path\n");
        std::fprintf(stderr, "%s", tool.usage);
        return 2;
    }
    const char* path = argv[1];
    std::string reason;
    if (!checkOutputFile(path, reason)) {
        reportToolError(tool.name, "cannot write %s: %s\n", path, reason.c_str());
        return 1;
    }

    RenderApp app;
    initGraphics(app, {.headless = true,
                       .width = 8,
                       .height = 8,
                       .allocationFailureReport = reportToolAllocationFailure,
                       .allocationFailureData = &tool});
    double createStart = nowMilliseconds();
    AudioRenderer* audio = createAudioRenderer(app, {.waveOut = nullptr});
    double createEnd = nowMilliseconds();
    SoundtrackTimes times;
    if (!renderWholeSoundtrack(app, *audio, &times)) {
        reportToolError(tool.name, "out of memory: the soundtrack's samples could not be read back\n");
        destroyAudioRenderer(app, audio);
        destroyGraphics(app);
        return 1;
    }

    logMessage("kivrel-soundtrack: renderer and pipeline created in %.1f ms\n", createEnd - createStart);
    logMessage("kivrel-soundtrack: synthesis of %u frames (%u groups of 256) took %.1f ms, submission to completion\n",
               audio->totalFrames, audio->totalFrames / 256, times.completed - times.recorded);

    DynamicArray<uint8_t> file = makeFloatWav(reinterpret_cast<const float*>(audio->samples), audio->totalFrames,
                                              audio->channels, audio->sampleRate);
    FileWriteResult written = file.count ? writeWholeFile(path, file.data, file.count) : FileWriteResult::WriteFailed;
    if (written == FileWriteResult::Ok)
        logMessage("kivrel-soundtrack: wrote %s (%u s, %u Hz, 32-bit float stereo)\n", path, audio->durationSeconds,
                   audio->sampleRate);
    else
        reportToolError(tool.name, "could not write %s\n", path);
    file.clear();

    destroyAudioRenderer(app, audio);
    destroyGraphics(app);
    return written == FileWriteResult::Ok ? 0 : 1;
}
