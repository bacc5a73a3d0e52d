// The soundtrack's peaks, onsets and tempo for the edit mode (app/music_view.h). Runs once, when
// the samples are ready; nothing here is read per UI frame but the tables it leaves.
#include "app/music_view.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float framesPerMinute = 3600.0f; // 60 timeline frames a second
constexpr float slowestTempo = 60.0f, fastestTempo = 200.0f, tempoStep = 0.01f; // beats a minute
constexpr uint32_t combMultiples = 8;
constexpr float preferredTempo = 120.0f, tempoSpreadOctaves = 1.4f; // Ellis's prior
constexpr float energyCompression = 1000.0f; // log(1 + c e): quiet passages still count
constexpr int32_t peakHalfWidth = 4;         // frames each side an onset must top

float sampleAt(const void* samples, uint32_t bitsPerSample, size_t index)
{
    if (bitsPerSample == 16)
        return float(static_cast<const int16_t*>(samples)[index]) / 32767.0f;
    return static_cast<const float*>(samples)[index];
}

// The envelope at a fractional frame, 0 past its ends.
float envelopeAt(std::span<const float> envelope, float frame)
{
    if (frame < 0.0f || frame > float(envelope.size() - 1))
        return 0.0f;
    size_t i = size_t(frame);
    float a = frame - float(i);
    return i + 1 < envelope.size() ? envelope[i] * (1.0f - a) + envelope[i + 1] * a : envelope[i];
}

// The mean-free envelope's autocorrelation per lag, divided by the pairs it sums.
std::vector<float> autocorrelation(std::span<const float> envelope, uint32_t maxLag)
{
    double mean = 0.0;
    for (float v : envelope)
        mean += v;
    mean /= double(std::max<size_t>(envelope.size(), 1));
    std::vector<float> centred(envelope.size());
    for (size_t i = 0; i < envelope.size(); ++i)
        centred[i] = float(envelope[i] - mean);
    std::vector<float> result(maxLag + 1, 0.0f);
    for (uint32_t lag = 0; lag <= maxLag && lag < centred.size(); ++lag) {
        double sum = 0.0;
        for (size_t i = lag; i < centred.size(); ++i)
            sum += double(centred[i]) * centred[i - lag];
        result[lag] = float(sum / double(centred.size() - lag));
    }
    return result;
}

float bestTempo(std::span<const float> envelope)
{
    const uint32_t maxLag = uint32_t(std::ceil(combMultiples * framesPerMinute / slowestTempo)) + 1;
    const std::vector<float> ac = autocorrelation(envelope, maxLag);
    float best = preferredTempo, bestScore = -INFINITY;
    for (float bpm = slowestTempo; bpm <= fastestTempo; bpm += tempoStep) {
        const float period = framesPerMinute / bpm;
        float comb = 0.0f;
        for (uint32_t k = 1; k <= combMultiples; ++k)
            comb += envelopeAt(ac, float(k) * period);
        const float octaves = std::log2(bpm / preferredTempo) / tempoSpreadOctaves;
        const float score = comb * std::exp(-0.5f * octaves * octaves);
        if (score > bestScore) {
            bestScore = score;
            best = bpm;
        }
    }
    return best;
}

} // namespace

void buildMusicView(MusicView& view, const void* samples, uint32_t bitsPerSample, uint32_t sampleFrames)
{
    const uint32_t frames = (sampleFrames + samplesPerTimelineFrame - 1) / samplesPerTimelineFrame;
    view.framePeaks.assign(frames, SoundPeaks{});
    view.loudest = 0.0f;
    std::vector<float> energy(frames, 0.0f);
    for (uint32_t f = 0; f < frames; ++f) {
        SoundPeaks& peaks = view.framePeaks[f];
        const uint32_t end = std::min(sampleFrames, (f + 1) * samplesPerTimelineFrame);
        double sum = 0.0;
        for (uint32_t s = f * samplesPerTimelineFrame; s < end; ++s) {
            float mono = 0.0f;
            for (uint32_t c = 0; c < musicChannels; ++c) {
                float v = sampleAt(samples, bitsPerSample, size_t(s) * musicChannels + c);
                peaks.low[c] = peaks.empty ? v : std::min(peaks.low[c], v);
                peaks.high[c] = peaks.empty ? v : std::max(peaks.high[c], v);
                mono += v * 0.5f;
            }
            peaks.empty = false;
            sum += double(mono) * mono;
        }
        energy[f] = float(sum / samplesPerTimelineFrame);
        view.loudest = std::max({view.loudest, -peaks.low[0], peaks.high[0], -peaks.low[1], peaks.high[1]});
    }
    view.onsetStrength = onsetEnvelope(energy);
    view.onsets = onsetPeaks(view.onsetStrength);
    view.tempo = estimateTempo(view.onsetStrength);
}

void reduceColumns(std::span<const SoundPeaks> framePeaks, float startFrame, float framesPerColumn,
                   std::span<SoundPeaks> columns)
{
    const int64_t frameCount = int64_t(framePeaks.size());
    for (size_t c = 0; c < columns.size(); ++c) {
        const float from = startFrame + float(c) * framesPerColumn;
        const int64_t first = int64_t(std::floor(from));
        const int64_t last = std::max(first + 1, int64_t(std::ceil(from + framesPerColumn))); // one past
        SoundPeaks column;
        for (int64_t f = std::max<int64_t>(first, 0); f < std::min(last, frameCount); ++f) {
            const SoundPeaks& frame = framePeaks[size_t(f)];
            for (uint32_t ch = 0; ch < musicChannels && !frame.empty; ++ch) {
                column.low[ch] = column.empty ? frame.low[ch] : std::min(column.low[ch], frame.low[ch]);
                column.high[ch] = column.empty ? frame.high[ch] : std::max(column.high[ch], frame.high[ch]);
            }
            column.empty = column.empty && frame.empty;
        }
        columns[c] = column;
    }
}

std::vector<float> onsetEnvelope(std::span<const float> frameEnergy)
{
    std::vector<float> envelope(frameEnergy.size(), 0.0f);
    for (size_t f = 1; f < frameEnergy.size(); ++f) {
        const float rise = std::log1p(energyCompression * frameEnergy[f]) -
                           std::log1p(energyCompression * frameEnergy[f - 1]);
        envelope[f] = std::max(rise, 0.0f);
    }
    return envelope;
}

std::vector<uint32_t> onsetPeaks(std::span<const float> envelope)
{
    double sum = 0.0, squares = 0.0;
    for (float v : envelope) {
        sum += v;
        squares += double(v) * v;
    }
    const double n = double(std::max<size_t>(envelope.size(), 1));
    const double mean = sum / n;
    const float threshold = float(mean + 2.0 * std::sqrt(std::max(squares / n - mean * mean, 0.0)));
    std::vector<uint32_t> peaks;
    const int64_t count = int64_t(envelope.size());
    for (int64_t f = 0; f < count; ++f) {
        bool top = envelope[size_t(f)] > threshold;
        // Strictly above the frames before, at least the frames after: a flat top counts once.
        for (int64_t g = std::max<int64_t>(f - peakHalfWidth, 0); top && g <= std::min(f + peakHalfWidth, count - 1); ++g)
            top = g < f ? envelope[size_t(g)] < envelope[size_t(f)] : envelope[size_t(g)] <= envelope[size_t(f)];
        if (top)
            peaks.push_back(uint32_t(f));
    }
    return peaks;
}

TempoEstimate estimateTempo(std::span<const float> envelope)
{
    TempoEstimate estimate = {.beatsPerMinute = bestTempo(envelope)};
    const float period = framesPerMinute / estimate.beatsPerMinute;
    float bestSum = -1.0f;
    for (float phase = 0.0f; phase < period; phase += 0.1f) {
        float sum = 0.0f;
        for (uint32_t k = 0; phase + float(k) * period < float(envelope.size()); ++k)
            sum += envelopeAt(envelope, phase + float(k) * period);
        if (sum > bestSum) {
            bestSum = sum;
            estimate.firstBeatFrame = phase;
        }
    }
    return estimate;
}
