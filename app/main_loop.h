// The main loop's bookkeeping: phases, frame index, audio clock, simulation step, accumulated
// time and the end of the piece. The window, the frame ring, the soundtrack and the clock
// reach it through the narrow interfaces below, so tests drive it with fakes.
#pragma once

#include "app/parameters.h"
#include "timeline/timeline.h"

#include <cstdint>
#include <functional>

// 10843.373 frames rounded; more than the piece shows, so the wrap to 0 never happens in a run.
constexpr uint32_t timelineFrameCount = 10843;
// The loop ends once the frame index passes this frame.
constexpr uint32_t lastFrameShown = 7400;
// Output latency taken off the playback position, milliseconds.
constexpr double audioLatencyMilliseconds = 17.4;

enum class LoopPhase {
    preparing, // the soundtrack is being rendered; frames are black
    starting,  // the first frame with the soundtrack ready: frame 0, then play
    playing,   // one timeline frame per presented frame
    teardown,  // the loop has been left
};

// The soundtrack renderer and player as the loop sees them.
struct SoundtrackSource {
    std::function<void()> update;            // advances the preparation, once per frame
    std::function<bool()> ready;             // the soundtrack is rendered (renderer state 3)
    std::function<void()> recordRender;      // the one-time render, into this frame
    std::function<bool()> playing;
    std::function<void()> play;
    std::function<double()> positionSeconds; // playback position; 0 when the query fails
};

// The window and the frame ring as the loop sees them.
struct FrameSink {
    std::function<bool()> pumpMessages; // pumps input; true once Escape or closing the window asks to quit
    std::function<void()> beginFrame;   // waits for the frame slot, records uploads, frame prologue
    std::function<void()> recordScene;  // the scene's GPU work, frame matrices first
    std::function<void()> endFrame;     // frame epilogue, submit, present
};

struct MainLoop {
    LoopPhase phase = LoopPhase::preparing;
    double frameStart = 0.0;    // milliseconds, taken before beginFrame
    double lastFrameTime = 0.0; // milliseconds, the previous iteration's duration
    bool quit = false;
};

// Frame index 0, audio clock 0, no previous iteration.
void startLoop(MainLoop& loop, DemoState& state);

// Wraps the frame index at the timeline's end, evaluates every track into its destination
// and updates the camera.
void evaluateFrame(DemoState& state, Timeline& timeline);

// One iteration of the loop; false once the loop is to be left.
bool runLoopIteration(MainLoop& loop, DemoState& state, Timeline& timeline, const std::function<double()>& now,
                      SoundtrackSource& soundtrack, FrameSink& frames);

// startLoop, then iterations until the end of the piece, Escape or the window closing.
void runMainLoop(MainLoop& loop, DemoState& state, Timeline& timeline, const std::function<double()>& now,
                 SoundtrackSource& soundtrack, FrameSink& frames);
