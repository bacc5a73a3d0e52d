// kivrel-bench: renders N frames of the piece headless from a given frame index on and prints,
// per step of the frame chain, the GPU time read from timestamps (median, fastest, slowest),
// the CPU time to record a frame, and the frames per second the chain would sustain. Late
// frames are reached by moving the particles only; a few warm-up frames are drawn first (the
// first draw of a program also compiles it on some drivers). With --seek it times seeks of the
// particles to the frame instead: from frame 0, and from the snapshots (app/particle_snapshots.h).
#include "app/particle_snapshots.h"
#include "core/log.h"
#include "gfx/timestamps.h"
#include "system/system.h"
#include "tools/arguments.h"
#include "tools/headless_piece.h"
#include "tools/tool_report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Step i is the time between marks i - 1 and i (app/scene.h).
const char* const stepNames[sceneMarkCount] = {
    "",           "uploads",        "simulation", "path tracing", "temporal reprojection",
    "a-trous filter", "history and copies", "depth of field", "final transfer",
};

struct Spread {
    double median, fastest, slowest;
};

Spread spreadOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    double median = n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
    return {median, values.front(), values.back()};
}

void printRow(const char* name, const Spread& spread)
{
    std::printf("  %-24s %10.2f %10.2f %10.2f\n", name, spread.median, spread.fastest, spread.slowest);
}

// To frame from frame 0 (taking the snapshots on the way), back to frame 0, then to frame again
// from the nearest snapshot.
void timeSeeks(HeadlessPiece& headless, uint32_t frame)
{
    RenderApp& app = headless.app;
    Piece& piece = headless.piece;
    ParticleSnapshots snapshots;
    createParticleSnapshots(app, snapshots);
    double times[2] = {};
    uint32_t stepped[2] = {};
    for (uint32_t run = 0; run < 2; ++run) {
        double start = nowMilliseconds();
        stepped[run] = seekParticles(app, piece.scene, piece.state, *piece.timeline, snapshots, frame);
        times[run] = nowMilliseconds() - start;
        seekParticles(app, piece.scene, piece.state, *piece.timeline, snapshots, 0);
    }
    std::printf("kivrel-bench: %s\n", graphicsDeviceName(app));
    for (uint32_t run = 0; run < 2; ++run)
        std::printf("  seek to frame %u %s: %u frames stepped in %.1f ms\n", frame,
                    run == 0 ? "from frame 0" : "from the snapshots", stepped[run], times[run]);
    destroyParticleSnapshots(app, snapshots);
}

// --frames frames from --frame on, after the warm-up: the steps' GPU times and the recording's.
void measureFrames(HeadlessPiece& headless, const BenchOptions& options)
{
    TimestampQueries* queries = createTimestampQueries(headless.app, sceneMarkCount);
    if (!queries)
        logMessage("kivrel-bench: this device's queue writes no timestamps: CPU times only\n");

    const uint32_t first = options.frame;
    const uint32_t last = options.frame + options.frames - 1;
    const uint32_t drawFrom = first > options.warmupFrames ? first - options.warmupFrames : 0;
    std::vector<double> steps[sceneMarkCount]; // [0]: the whole chain, mark 0 to the last
    std::vector<double> recording;
    while (true) {
        const uint32_t frame = nextFrame(headless);
        // The starting iteration shows frame 0 before the playing one shows it again.
        const bool measured = headless.playing && frame >= first;
        headless.piece.scene.timestamps = measured ? queries : nullptr;
        playFrame(headless, frame >= drawFrom);
        if (!measured)
            continue;
        recording.push_back(headless.recordMilliseconds);
        double marks[sceneMarkCount] = {};
        if (queries && readTimestamps(headless.app, queries, marks, sceneMarkCount)) {
            for (uint32_t i = 1; i < sceneMarkCount; ++i)
                steps[i].push_back(marks[i] - marks[i - 1]);
            steps[0].push_back(marks[sceneMarkCount - 1]);
        }
        if (frame == last)
            break;
    }

    const DemoState& state = headless.piece.state;
    std::printf("kivrel-bench: %s\n", graphicsDeviceName(headless.app));
    std::printf("kivrel-bench: frames %u to %u at %ux%u: scene %u, %u particles, %u filter steps, %u samples per "
                "pixel\n",
                first, last, options.width, options.height, state.simulation.scene, state.scene.numParticles,
                state.filterSteps, state.frame.sampleCount);
    std::printf("  %-24s %10s %10s %10s\n", "milliseconds", "median", "fastest", "slowest");
    if (!steps[0].empty()) {
        for (uint32_t i = 1; i < sceneMarkCount; ++i)
            printRow(stepNames[i], spreadOf(steps[i]));
        printRow("GPU, whole chain", spreadOf(steps[0]));
    }
    Spread cpu = spreadOf(recording);
    printRow("CPU, recording a frame", cpu);
    // The GPU and the CPU work side by side on frames in flight: the slower one sets the pace.
    double gpu = steps[0].empty() ? 0.0 : spreadOf(steps[0]).median;
    double pace = std::max(gpu, cpu.median);
    std::printf("  sustained: %.2f frames per second (%s-bound)\n", pace > 0.0 ? 1000.0 / pace : 0.0,
                gpu >= cpu.median ? "GPU" : "CPU");

    destroyTimestampQueries(headless.app, queries);
}

} // namespace

int main(int argc, char** argv)
{
    BenchOptions options;
    std::string reason;
    if (!parseBenchArguments(argc, argv, options, reason)) {
        reportToolError("kivrel-bench", "%s\n%s", reason.c_str(), benchUsage);
        return 2;
    }
    if (options.help) {
        std::printf("%s", benchUsage);
        return 0;
    }

    HeadlessPiece headless;
    startHeadlessPiece(headless, {.renderWidth = options.width, .renderHeight = options.height,
                                  .outputWidth = options.width, .outputHeight = options.height,
                                  .validation = options.validation, .tool = {"kivrel-bench", benchUsage}});
    if (options.seek)
        timeSeeks(headless, options.frame);
    else
        measureFrames(headless, options);
    stopHeadlessPiece(headless);
    if (options.validation && headless.app.validationErrors) {
        reportToolError("kivrel-bench", "%llu validation errors\n", (unsigned long long)headless.app.validationErrors);
        return 1;
    }
    return 0;
}
