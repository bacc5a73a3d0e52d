// The soundtrack's peaks, onsets and tempo for the edit mode (app/music_view.h). Runs once, when
// the samples are ready; nothing here is read per UI frame but the tables it leaves.
#include "app/music_view.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace {

constexpr float framesPerMinute = 3600.0f; // 60 timeline frames a second
constexpr float slowestTempo = 60.0f, fastestTempo = 200.0f, tempoStep = 0.01f; // beats a minute
constexpr float preferredTempo = 120.0f, tempoSpreadOctaves = 1.4f; // Ellis's prior
// A beat's period counts with its duple multiples: half bar, bar, two bars. A pulse every bar then
// gives the bar's four beats, and no tempo lives on one long period alone (a melody's steps).
constexpr uint32_t metricalLevels[] = {1, 2, 4, 8};
constexpr int32_t localMeanHalfWidth = 120; // frames: a loud passage's level is no periodicity
constexpr uint32_t fluxWindow = 1024;       // samples: 43 Hz bins, 23 ms
constexpr uint32_t fluxBands = 6;
// Each band's first bin: 43, 129, 258, 517, 1034 and 2067 Hz up.
constexpr uint32_t bandEdges[fluxBands] = {1, 3, 6, 12, 24, 48};
constexpr float magnitudeCompression = 100.0f; // log(1 + c |X|): quiet partials still count
constexpr int32_t peakHalfWidth = 4;           // frames each side an onset must top

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

// The envelope low-passed, less its mean over 4 s about each frame: what repeats, not how loud.
// The kernel (1 1 1) * (1 2 1) has zeros at periods of 2 and 3 frames, where a tremolo of 20 or
// 30 Hz lands at 60 frames a second, and one peak, so an onset keeps its frame.
std::vector<float> beatSignal(std::span<const float> envelope)
{
    constexpr float kernel[] = {1.0f / 12, 3.0f / 12, 4.0f / 12, 3.0f / 12, 1.0f / 12};
    const int64_t count = int64_t(envelope.size());
    std::vector<double> prefix(envelope.size() + 1, 0.0);
    for (size_t i = 0; i < envelope.size(); ++i)
        prefix[i + 1] = prefix[i] + envelope[i];
    std::vector<float> signal(envelope.size(), 0.0f);
    for (int64_t i = 0; i < count; ++i) {
        for (int64_t j = -2; j <= 2; ++j)
            signal[size_t(i)] += i + j < 0 || i + j >= count ? 0.0f : kernel[j + 2] * envelope[size_t(i + j)];
        const int64_t from = std::max<int64_t>(i - localMeanHalfWidth, 0), to = std::min(i + localMeanHalfWidth + 1, count);
        signal[size_t(i)] -= float((prefix[size_t(to)] - prefix[size_t(from)]) / double(to - from));
    }
    return signal;
}

// The signal's autocorrelation per lag, divided by the pairs it sums.
std::vector<float> autocorrelation(std::span<const float> signal, uint32_t maxLag)
{
    std::vector<float> result(maxLag + 1, 0.0f);
    for (uint32_t lag = 0; lag <= maxLag && lag < signal.size(); ++lag) {
        double sum = 0.0;
        for (size_t i = lag; i < signal.size(); ++i)
            sum += double(signal[i]) * signal[i - lag];
        result[lag] = float(sum / double(signal.size() - lag));
    }
    return result;
}

float bestTempo(std::span<const float> signal)
{
    const uint32_t maxLag = uint32_t(std::ceil(metricalLevels[3] * framesPerMinute / slowestTempo)) + 1;
    const std::vector<float> ac = autocorrelation(signal, maxLag);
    float best = preferredTempo, bestScore = -INFINITY;
    for (float bpm = slowestTempo; bpm <= fastestTempo; bpm += tempoStep) {
        const float period = framesPerMinute / bpm;
        float comb = 0.0f;
        for (uint32_t level : metricalLevels)
            comb += envelopeAt(ac, float(level) * period);
        const float octaves = std::log2(bpm / preferredTempo) / tempoSpreadOctaves;
        const float score = comb * std::exp(-0.5f * octaves * octaves);
        if (score > bestScore) {
            bestScore = score;
            best = bpm;
        }
    }
    return best;
}

// In place, radix 2 (size a power of two): X[k] = sum x[n] e^(-2 pi i k n / N).
void fft(std::span<std::complex<float>> x)
{
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j |= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const float angle = -6.2831853f / float(length);
        const std::complex<float> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += length) {
            std::complex<float> w(1.0f, 0.0f);
            for (size_t k = 0; k < length / 2; ++k, w *= step) {
                const std::complex<float> a = x[i + k], b = x[i + k + length / 2] * w;
                x[i + k] = a + b;
                x[i + k + length / 2] = a - b;
            }
        }
    }
}

// Each frame's spectral flux per band: the rises of log magnitude from the frame before, from a
// Hann window of fluxWindow samples that ends with the frame's last sample (so a sound that
// starts in frame f rises in frame f). Frame-major, fluxBands a frame.
std::vector<float> bandFlux(std::span<const float> mono, size_t frames)
{
    std::vector<float> hann(fluxWindow), flux(frames * fluxBands, 0.0f);
    for (uint32_t n = 0; n < fluxWindow; ++n)
        hann[n] = 0.5f - 0.5f * std::cos(6.2831853f * float(n) / float(fluxWindow));
    std::vector<std::complex<float>> spectrum(fluxWindow);
    std::vector<float> previous(fluxWindow / 2, 0.0f), current(fluxWindow / 2);
    for (size_t f = 0; f < frames; ++f) {
        const int64_t start = int64_t(f + 1) * soundFramesPerPicture - fluxWindow;
        for (uint32_t n = 0; n < fluxWindow; ++n)
            spectrum[n] = start + n < 0 ? 0.0f : hann[n] * mono[size_t(start + n)];
        fft(spectrum);
        for (uint32_t k = 1, band = 0; k < fluxWindow / 2; ++k) {
            band += band + 1 < fluxBands && k == bandEdges[band + 1];
            current[k] = std::log1p(magnitudeCompression * std::abs(spectrum[k]));
            if (f > 0)
                flux[f * fluxBands + band] += std::max(current[k] - previous[k], 0.0f);
        }
        std::swap(previous, current);
    }
    return flux;
}

} // namespace

void buildMusicView(MusicView& view, const void* samples, uint32_t bitsPerSample, uint32_t sampleFrames)
{
    const uint32_t frames = (sampleFrames + soundFramesPerPicture - 1) / soundFramesPerPicture;
    view.framePeaks.assign(frames, SoundPeaks{});
    view.loudest = 0.0f;
    std::vector<float> mono(size_t(frames) * soundFramesPerPicture, 0.0f);
    for (uint32_t f = 0; f < frames; ++f) {
        SoundPeaks& peaks = view.framePeaks[f];
        const uint32_t end = std::min(sampleFrames, (f + 1) * soundFramesPerPicture);
        for (uint32_t s = f * soundFramesPerPicture; s < end; ++s) {
            for (uint32_t c = 0; c < musicChannels; ++c) {
                float v = sampleAt(samples, bitsPerSample, size_t(s) * musicChannels + c);
                peaks.low[c] = peaks.empty ? v : std::min(peaks.low[c], v);
                peaks.high[c] = peaks.empty ? v : std::max(peaks.high[c], v);
                mono[s] += v * 0.5f;
            }
            peaks.empty = false;
        }
        view.loudest = std::max({view.loudest, -peaks.low[0], peaks.high[0], -peaks.low[1], peaks.high[1]});
    }
    view.onsetStrength = onsetEnvelope(mono);
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

std::vector<float> onsetEnvelope(std::span<const float> mono)
{
    const size_t frames = mono.size() / soundFramesPerPicture;
    const std::vector<float> flux = bandFlux(mono, frames);
    std::vector<float> envelope(frames, 0.0f);
    for (uint32_t band = 0; band < fluxBands; ++band) {
        double sum = 0.0;
        for (size_t f = 0; f < frames; ++f)
            sum += flux[f * fluxBands + band];
        // Each band over its mean: a rhythm in the bass counts as much as one in the chords.
        const float scale = sum > 0.0 ? float(double(frames) / sum) / float(fluxBands) : 0.0f;
        for (size_t f = 0; f < frames; ++f)
            envelope[f] += flux[f * fluxBands + band] * scale;
    }
    // Compressed: forty even pulses outweigh sixteen loud chord changes.
    for (float& value : envelope)
        value = std::log1p(value);
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
    const std::vector<float> signal = beatSignal(envelope);
    TempoEstimate estimate = {.beatsPerMinute = bestTempo(signal)};
    const float period = framesPerMinute / estimate.beatsPerMinute;
    float bestSum = -INFINITY;
    for (float phase = 0.0f; phase < period; phase += 0.1f) {
        float sum = 0.0f;
        for (uint32_t k = 0; phase + float(k) * period < float(signal.size()); ++k)
            sum += envelopeAt(signal, phase + float(k) * period);
        if (sum > bestSum) {
            bestSum = sum;
            estimate.firstBeatFrame = phase;
        }
    }
    return estimate;
}
