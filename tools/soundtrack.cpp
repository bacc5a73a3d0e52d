// kivrel-soundtrack OUT.wav: renders the soundtrack headless through the audio renderer and
// its synthesis program, frame by frame as the piece does, and writes the read-back floats
// unchanged as a 32-bit float stereo WAV (180 s at 44100 Hz). Opens no audio device.
#include "audio/renderer.h"
#include "audio/wav.h"
#include "core/log.h"
#include "gfx/context.h"
#include "gfx/descriptors.h"
#include "gfx/fence.h"
#include "gfx/passes.h"
#include "platform/platform.h"
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
    DescriptorHeap* heap = createDescriptorHeap(app, HEAP_CBV_SRV_UAV, 16, HEAP_FLAG_SHADER_VISIBLE);
    BarrierBatch barriers;
    double createStart = nowMilliseconds();
    AudioRenderer* audio = createAudioRenderer(app, {.waveOut = nullptr});
    double createEnd = nowMilliseconds();

    // Frame 0 records the render, frame 1 enqueues the completion signal, frame 2 reads back.
    double submitted = 0.0;
    double finished = 0.0;
    while (audio->state != 3) {
        FrameContext* frame = beginFrame(app);
        if (audio->state == 2) {
            // Waiting here rather than inside updateAudio times the GPU work alone.
            waitForGpuFence(app, audio->copyFence, audio->fenceValue);
            finished = nowMilliseconds();
        }
        updateAudio(app, *audio);
        uint32_t stateBefore = audio->state;
        recordAudioRender(*audio, frame->commandList, *heap, barriers);
        if (stateBefore == 0 && audio->state == 1)
            submitted = nowMilliseconds();
        endFrame(app);
    }

    logMessage("kivrel-soundtrack: renderer and pipeline created in %.1f ms\n", createEnd - createStart);
    logMessage("kivrel-soundtrack: synthesis of %u frames (%u groups of 256) took %.1f ms, submission to completion\n",
               audio->totalFrames, audio->totalFrames / 256, finished - submitted);

    DynamicArray<uint8_t> file = makeFloatWav(reinterpret_cast<const float*>(audio->samples), audio->totalFrames,
                                              audio->channels, audio->sampleRate);
    FileWriteResult written = file.count ? writeWholeFile(path, file.data, file.count) : FileWriteResult::writeFailed;
    if (written == FileWriteResult::ok)
        logMessage("kivrel-soundtrack: wrote %s (%u s, %u Hz, 32-bit float stereo)\n", path, audio->durationSeconds,
                   audio->sampleRate);
    else
        reportToolError(tool.name, "could not write %s\n", path);
    file.clear();

    waitForAllFrames(app);
    destroyAudioRenderer(app, audio);
    destroyDescriptorHeap(app, heap);
    freeBarrierBatch(barriers);
    destroyGraphics(app);
    return written == FileWriteResult::ok ? 0 : 1;
}
