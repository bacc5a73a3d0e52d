// The main loop's bookkeeping: phases, the frame index taken from the music, the smooth audio
// clock, the simulation step, accumulated time, pacing while nothing is shown and the end of
// the piece. The window, the frame ring, the soundtrack and the clock reach it through the
// narrow interfaces below, so tests drive it with fakes.
#pragma once

#include "app/parameters.h"
#include "audio/player.h"
#include "timeline/timeline.h"

#include <cstdint>
#include <functional>
#include <limits>

// 10843.373 frames rounded; more than the piece shows, so the wrap to 0 never happens in a run.
constexpr uint32_t timelineFrameCount = 10843;
// The loop ends once the frame index passes this frame: 123.35 s of music.
constexpr uint32_t lastFrameShown = 7400;
// Timeline frames per second of music: frame = floor(audio clock ms × 60 / 1000).
constexpr double timelineFramesPerSecond = pictureFramesPerSecond;
constexpr double timelineFrameMilliseconds = 1000.0 / timelineFramesPerSecond;
// What the frame-locked capture takes off its clock as the output latency, milliseconds (the
// piece takes off what its audio device reports).
constexpr double audioLatencyMilliseconds = 17.4;
// The longest iteration the simulation steps over, milliseconds: a stall or a machine slower
// than 10 frames a second slows the particles down instead of stepping them out of the scene.
constexpr double longestSimulationStep = 100.0;
// How long a loop that shows nothing (window minimised or hidden) sleeps between pumps.
constexpr double hiddenTickMilliseconds = 1000.0 / 60.0;

enum class LoopPhase {
    Preparing, // the soundtrack is being rendered; frames are black
    Starting,  // the first frame with the soundtrack ready: frame 0, then play
    Playing,   // the frame the music has reached
    Hidden,    // the window shows nothing: no frame is recorded, the music goes on
    Teardown,  // the loop has been left
};

// Where the frame index comes from once the music plays.
enum class FrameClock {
    Music,       // the audio clock: floor(ms × 60 / 1000), never back; frames may be skipped
    FrameLocked, // one frame per iteration whatever the time (the capture tool)
};

// The soundtrack renderer and player as the loop sees them.
struct SoundtrackSource {
    std::function<void()> update;          // advances the preparation, once per frame
    std::function<bool()> ready;           // the soundtrack is rendered (renderer state 3)
    std::function<void()> recordRender;    // the one-time render, into this frame
    std::function<bool()> playing;
    std::function<void()> play;
    std::function<PlaybackClock()> clock;  // the device's count; all zero when the query fails
};

// The window and the frame ring as the loop sees them.
struct FrameSink {
    std::function<bool()> pumpMessages;    // pumps input; true once Escape or the window asks to quit
    std::function<bool()> shown;           // false while the window is minimised or hidden
    std::function<void(double)> waitUntil; // sleeps until that time of the loop's clock (milliseconds)
    std::function<void()> beginFrame;      // waits for the frame slot, records uploads, frame prologue
    std::function<void()> recordScene;     // the scene's GPU work, frame matrices first
    std::function<void()> endFrame;        // frame epilogue, submit, present
};

struct MainLoop {
    LoopPhase phase = LoopPhase::Preparing;
    FrameClock frameClock = FrameClock::Music;
    uint32_t firstFrame = 0;     // the frame shown when the music starts (a later one in tests)
    // The loop ends once the frame index passes this frame; the edit mode stops at it itself.
    uint32_t lastFrame = lastFrameShown;
    double frameStart = 0.0;     // milliseconds, taken before beginFrame
    double lastFrameTime = 0.0;  // milliseconds, the previous rendering iteration's duration
    // The audio clock's last value, milliseconds of music heard: it never goes back.
    double heard = -std::numeric_limits<double>::infinity();
    bool quit = false;
};

// Preparing, frame index firstFrame, audio clock 0, no previous iteration; the frame clock
// and first frame stay as the caller set them.
void startLoop(MainLoop& loop, DemoState& state);

// A seek of the music to frame: it is the frame shown next, and the clock reads its time of
// music (frame × 1000 / 60 ms) and runs on from there, never below it; the music's position is
// counted from frame 0 of the track from then on (firstFrame 0).
void seekLoop(MainLoop& loop, DemoState& state, uint32_t frame);

// Wraps the frame index at the timeline's end, evaluates every track into its destination
// and updates the camera.
void evaluateFrame(DemoState& state, Timeline& timeline);

// The smooth audio clock at now, milliseconds of music heard: the device's count advanced by
// the time since it last moved, at most one step ahead of it and never going back, less the
// output latency.
double readAudioClock(MainLoop& loop, const PlaybackClock& device, double now);

// The frame to show once the clock reads heard milliseconds, after frame shown: the music's,
// never an earlier one, and never one past a frame in which the simulation lays out a scene.
uint32_t musicFrame(uint32_t shown, uint32_t firstFrame, double heard);

// One iteration of the loop; false once the loop is to be left. A quit records no frame.
bool runLoopIteration(MainLoop& loop, DemoState& state, Timeline& timeline, const std::function<double()>& now,
                      SoundtrackSource& soundtrack, FrameSink& frames);

// startLoop, then iterations until the end of the piece, Escape or the window closing.
void runMainLoop(MainLoop& loop, DemoState& state, Timeline& timeline, const std::function<double()>& now,
                 SoundtrackSource& soundtrack, FrameSink& frames);
