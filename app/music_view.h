// What the edit mode knows of the soundtrack, computed once from its samples: each timeline
// frame's peaks for the waveform strip, an onset envelope with its peaks, and the tempo and first
// beat estimated from it. Plain logic on CPU samples: no GPU, no UI.
#pragma once

#include "audio/player.h"

#include <cstdint>
#include <span>
#include <vector>

// A timeline frame's sound is soundFramesPerPicture (735) stereo frames, from f × 735 on.
constexpr uint32_t musicChannels = 2; // left, right

// The lowest and highest sample of each channel over a span of sound; empty when it covers none.
struct SoundPeaks {
    float low[musicChannels] = {0.0f, 0.0f};
    float high[musicChannels] = {0.0f, 0.0f};
    bool empty = true;
};

struct TempoEstimate {
    float beatsPerMinute = 0.0f;
    float firstBeatFrame = 0.0f; // the first beat's position in timeline frames, below one beat
};

struct MusicView {
    std::vector<SoundPeaks> framePeaks; // one per timeline frame the sound reaches
    std::vector<float> onsetStrength;   // one per timeline frame: its onsets' strength
    std::vector<uint32_t> onsets;       // frames where the onset strength peaks, ascending
    TempoEstimate tempo;
    float loudest = 0.0f;               // the largest sample's magnitude: the strip's full height
};

// The samples interleaved left, right: 32-bit floats, or 16-bit integers (bitsPerSample 16) as
// the device may have asked for; sampleFrames counts left-right pairs.
void buildMusicView(MusicView& view, const void* samples, uint32_t bitsPerSample, uint32_t sampleFrames);

// Each column's peaks over the frames it covers: column c covers frames [start + c * framesPerColumn,
// start + (c + 1) * framesPerColumn), and takes every frame that interval touches (at least one).
void reduceColumns(std::span<const SoundPeaks> framePeaks, float startFrame, float framesPerColumn,
                   std::span<SoundPeaks> columns);

// Each frame's onset strength from the mono samples: the spectral flux (the rises of log
// magnitude from the frame before, over 1024-sample windows) in six bands, each band over its
// mean so a pulse in the bass counts as much as chords above it, summed and log-compressed.
std::vector<float> onsetEnvelope(std::span<const float> mono);
// Frames whose strength is the highest within 4 frames each side and above the mean by twice
// the standard deviation.
std::vector<uint32_t> onsetPeaks(std::span<const float> envelope);
// The envelope low-passed and less its local mean; its autocorrelation summed at each candidate
// beat period (60 to 200 beats a minute) and 2, 4 and 8 times it, weighted towards 120 by a
// log-Gaussian (Ellis, "Beat tracking by dynamic programming", 2007). Duple multiples only: a
// pulse every bar gives four beats to it, not five. Then the phase whose beats sum the most.
TempoEstimate estimateTempo(std::span<const float> envelope);
