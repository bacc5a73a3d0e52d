// Command lines of the capture and bench tools: "--name value" options and flags, checked
// strictly (digits only, sizes as WxH, ranges) so that a mistyped option is refused, not guessed.
// No GPU, no files: the tools act on what these return.
#pragma once

#include "app/main_loop.h"

#include <cstdint>
#include <string>

// Pixels, either side: more than any device's images. The device's own limit (16384 on
// lavapipe) is checked once the device is known.
constexpr uint32_t toolSizeLimit = 65536;

struct CaptureOptions {
    std::string outputFolder;           // --out, required
    uint32_t firstFrame = 0;            // --from, inclusive
    uint32_t lastFrame = lastFrameShown; // --to, inclusive
    uint32_t outputWidth = 1920;        // --size: the written frames (the screen the piece fills)
    uint32_t outputHeight = 1080;
    uint32_t renderWidth = 1920;        // --render-size: what the scene renders (the piece: 1920 x 1080)
    uint32_t renderHeight = 1080;
    // --settle: frames rendered, not written, before --from. The temporal history keeps (1 - blend)
    // of itself a frame: after 60 frames at scene 1's blend of 0.05, 0.95^60 = 4.6 % of where a
    // chunk started is left, and a chunk's frames are those of one long run within PSNR 61 dB.
    uint32_t settleFrames = 60;
    bool soundtrack = false;            // --wav: the soundtrack of the captured frames
    std::string videoPath;              // --video: frames and soundtrack muxed by ffmpeg
    bool validation = false;            // --validation: Khronos layer on; any error fails the run
    bool help = false;                  // --help
};

struct BenchOptions {
    uint32_t frame = 1000;       // --frame: the timeline frame measured
    uint32_t frames = 5;         // --frames: measured frames, from --frame on
    uint32_t warmupFrames = 2;   // --warmup: rendered before the measured ones
    uint32_t width = 1920;       // --size: render size and back buffer
    uint32_t height = 1080;
    bool validation = false;     // --validation
    bool seek = false;           // --seek: times seeks of the particles to --frame instead
    bool help = false;           // --help
};

extern const char* const captureUsage; // one line, ends in a newline
extern const char* const benchUsage;

// False with a one-line reason (no newline) when the command line is not one the tool takes.
bool parseCaptureArguments(int argc, const char* const* argv, CaptureOptions& options, std::string& error);
bool parseBenchArguments(int argc, const char* const* argv, BenchOptions& options, std::string& error);

// Decimal digits only, no sign, no spaces, at most 2^32 - 1.
bool parseUnsigned(const char* text, uint32_t& value);
// "WxH" with both sides in 1 .. toolSizeLimit.
bool parseSize(const char* text, uint32_t& width, uint32_t& height);
