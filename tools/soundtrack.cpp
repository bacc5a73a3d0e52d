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

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kivrel-soundtrack OUT.wav\n");
        return 2;
    }

    RenderApp app;
    initGraphics(app, {.headless = true, .width = 8, .height = 8});
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
    FileWriteResult written = file.count ? writeWholeFile(argv[1], file.data, file.count) : FileWriteResult::writeFailed;
    if (written == FileWriteResult::ok)
        logMessage("kivrel-soundtrack: wrote %s (%u s, %u Hz, 32-bit float stereo)\n", argv[1], audio->durationSeconds,
                   audio->sampleRate);
    else
        logMessage("kivrel-soundtrack: could not write %s\n", argv[1]);
    file.clear();

    waitForAllFrames(app);
    destroyAudioRenderer(app, audio);
    destroyDescriptorHeap(app, heap);
    freeBarrierBatch(barriers);
    destroyGraphics(app);
    return written == FileWriteResult::ok ? 0 : 1;
}
