// kivrel-capture: renders the piece headless, frame-locked at 60 Hz, into PNG frames (and the
// soundtrack as WAV, and with ffmpeg one video), through kivrel's own scene, timeline and GPU
// programs. Late frames are reached by moving the particles frame by frame without drawing;
// a few frames before the first one written are drawn so that the temporal history has settled.
#include "audio/renderer.h"
#include "audio/wav.h"
#include "core/log.h"
#include "system/system.h"
#include "tools/arguments.h"
#include "tools/headless_piece.h"
#include "tools/png_file.h"
#include "tools/tool_report.h"
#include "tools/video.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr const char* tool = "kivrel-capture";

// The folder exists (made if need be) and takes a new file.
bool prepareOutputFolder(const std::string& folder, std::string& reason)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        reason = error.message();
        return false;
    }
    if (!std::filesystem::is_directory(folder, error)) {
        reason = "not a folder";
        return false;
    }
    std::string probe = (std::filesystem::path(folder) / ".kivrel-capture-probe").string();
    if (writeWholeFile(probe.c_str(), "", 0) != FileWriteResult::Ok) {
        reason = "cannot write into it";
        return false;
    }
    std::filesystem::remove(probe, error);
    return true;
}

// The sound of frames first .. last: the picture of frame n is shown while the music is at n / 60 s.
bool writeSoundtrack(RenderApp& app, const std::string& path, uint32_t first, uint32_t last)
{
    AudioRenderer* audio = renderSoundtrack(app);
    if (!audio) {
        reportToolError(tool, "the soundtrack was not rendered as 32-bit floats\n");
        return false;
    }
    uint32_t start = first * soundFramesPerPicture;
    uint32_t count = (last - first + 1) * soundFramesPerPicture;
    bool ok = uint64_t(start) + count <= audio->totalFrames;
    if (ok) {
        const float* samples = reinterpret_cast<const float*>(audio->samples) + uint64_t(start) * audio->channels;
        DynamicArray<uint8_t> file = makeFloatWav(samples, count, audio->channels, audio->sampleRate);
        ok = file.count && writeWholeFile(path.c_str(), file.data, file.count) == FileWriteResult::Ok;
        file.clear();
        if (!ok)
            reportToolError(tool, "could not write %s\n", path.c_str());
    } else {
        reportToolError(tool, "the soundtrack ends before frame %u\n", last);
    }
    destroyAudioRenderer(app, audio);
    return ok;
}

int usageError(const std::string& reason)
{
    reportToolError(tool, "%s\n%s", reason.c_str(), captureUsage);
    return 2;
}

// One capture: what it was asked for and what it has done so far.
struct CaptureRun {
    const CaptureOptions& options;
    std::string ffmpeg;         // the program that muxes the video, when one is asked for
    std::string wavPath;        // FOLDER/soundtrack.wav
    double started = 0.0;       // milliseconds
    double drawingStarted = 0.0;
    uint32_t drawn = 0;
    uint32_t written = 0;
};

// Everything that can refuse the run does so before minutes of rendering.
bool prepareCapture(CaptureRun& run)
{
    const CaptureOptions& options = run.options;
    std::string reason;
    if (!options.videoPath.empty()) {
        run.ffmpeg = findProgram("ffmpeg", std::getenv("PATH"));
        if (run.ffmpeg.empty()) {
            reportToolError(tool, "--video needs ffmpeg, which is not installed\n");
            return false;
        }
    }
    if (!prepareOutputFolder(options.outputFolder, reason)) {
        reportToolError(tool, "cannot use %s as the output folder: %s\n", options.outputFolder.c_str(), reason.c_str());
        return false;
    }
    run.wavPath = (std::filesystem::path(options.outputFolder) / "soundtrack.wav").string();
    return true;
}

// Frames `first` to `last` as PNG files; the frames before them are reached by moving the
// particles, the last `settle` of those drawn. False when a frame could not be written.
bool writeFrames(HeadlessPiece& headless, CaptureRun& run)
{
    const uint32_t first = run.options.firstFrame;
    const uint32_t last = run.options.lastFrame;
    const uint32_t drawFrom = first > run.options.settleFrames ? first - run.options.settleFrames : 0;
    double lastProgress = nowMilliseconds();
    while (true) {
        const uint32_t frame = nextFrame(headless);
        const bool draw = frame >= drawFrom;
        if (draw && run.drawn++ == 0)
            run.drawingStarted = nowMilliseconds();
        if (!draw && nowMilliseconds() - lastProgress > 5000.0) {
            lastProgress = nowMilliseconds();
            logMessage("kivrel-capture: moving the particles to frame %u: at frame %u\n", drawFrom, frame);
        }
        playFrame(headless, draw);
        // The first iteration shows frame 0 while the music starts; the next shows it again.
        if (headless.loop.phase != LoopPhase::Playing || frame < first)
            continue;

        DynamicArray<uint8_t> pixels = readBackBuffer(headless.app);
        std::string path = framePath(run.options.outputFolder, frame);
        bool ok = pixels.count && writePng(path.c_str(), pixels.data, headless.app.width, headless.app.height);
        pixels.clear();
        if (!ok) {
            reportToolError(tool, "could not write %s\n", path.c_str());
            return false;
        }
        run.written += 1;
        logMessage("kivrel-capture: wrote %s (%u of %u, %.1f s)\n", path.c_str(), run.written, last - first + 1,
                   (nowMilliseconds() - run.started) / 1000.0);
        if (frame == last)
            return true;
    }
}

bool muxVideo(const CaptureRun& run)
{
    // Whole paths, so that a name starting with '-' is not read as an option.
    const CaptureOptions& options = run.options;
    std::string folder = std::filesystem::absolute(options.outputFolder).string();
    std::string video = std::filesystem::absolute(options.videoPath).string();
    std::string wav = std::filesystem::absolute(run.wavPath).string();
    bool ok = runProgram(muxArguments(run.ffmpeg, folder, options.firstFrame,
                                      options.lastFrame - options.firstFrame + 1, wav, video)) == 0;
    if (ok)
        logMessage("kivrel-capture: wrote %s\n", video.c_str());
    else
        reportToolError(tool, "ffmpeg could not write %s\n", video.c_str());
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    CaptureOptions options;
    std::string reason;
    if (!parseCaptureArguments(argc, argv, options, reason))
        return usageError(reason);
    if (options.help) {
        std::printf("%s", captureUsage);
        return 0;
    }
    CaptureRun run = {.options = options, .ffmpeg = {}, .wavPath = {}};
    if (!prepareCapture(run))
        return 1;

    run.started = nowMilliseconds();
    HeadlessPiece headless;
    startHeadlessPiece(headless, {.renderWidth = options.renderWidth, .renderHeight = options.renderHeight,
                                  .outputWidth = options.outputWidth, .outputHeight = options.outputHeight,
                                  .validation = options.validation, .tool = {tool, captureUsage}});
    bool ok = true;
    if (options.soundtrack || !options.videoPath.empty())
        ok = writeSoundtrack(headless.app, run.wavPath, options.firstFrame, options.lastFrame);
    logMessage("kivrel-capture: frames %u to %u at %ux%u (render %ux%u) into %s\n", options.firstFrame,
               options.lastFrame, options.outputWidth, options.outputHeight, options.renderWidth, options.renderHeight,
               options.outputFolder.c_str());
    ok = ok && writeFrames(headless, run);
    double finished = nowMilliseconds();
    stopHeadlessPiece(headless);

    if (ok && !options.videoPath.empty())
        ok = muxVideo(run);
    if (options.validation && headless.app.validationErrors) {
        reportToolError(tool, "%llu validation errors\n", (unsigned long long)headless.app.validationErrors);
        ok = false;
    }
    if (run.written)
        logMessage("kivrel-capture: %u frames written in %.1f s; %u frames drawn, %.2f s each with read-back and "
                   "PNG\n",
                   run.written, (finished - run.started) / 1000.0, run.drawn,
                   (finished - run.drawingStarted) / 1000.0 / run.drawn);
    return ok ? 0 : 1;
}
