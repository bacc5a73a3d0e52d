// Tracks, keys, per-frame evaluation and the easing curves.
#include "timeline/easing.h"
#include "timeline/timeline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Key {
    uint32_t frame, value; // a float's bits for FLOAT tracks
    const char* easing;
};

// A timeline of 1000 frames with one track "t" of the type and keys given.
Timeline* timelineOf(TrackType type, const std::vector<Key>& keys)
{
    Timeline* timeline = createTimeline(1000);
    addTrack(*timeline, "t", type);
    for (const Key& key : keys) {
        uint32_t easing = easingIndex(key.easing);
        if (type == TrackType::UINT)
            setKeyUint(*timeline, "t", key.frame, &key.value, easing);
        else
            setKeyFloat(*timeline, "t", key.frame, reinterpret_cast<const float*>(&key.value), easing);
    }
    return timeline;
}

float ease(const char* name, float t)
{
    return easingFunctions[easingIndex(name)](t);
}

} // namespace

TEST(Evaluation, SegmentsEaseFromTheirFirstKeyHoldWithoutEasingAndUintsTruncate)
{
    const uint32_t zero = floatBits(0.0f), one = floatBits(1.0f), fov = floatBits(40.03f);
    struct Case {
        const char* name;
        TrackType type;
        std::vector<Key> keys;
        uint32_t frame, expected;
        const char* easing; // the segment's: its first key's
    };
    const Case cases[] = {
        // t = (509 - 439) / (579 - 439) = 0.5 under Linear: 0.5 * (1 - 0) + 0.
        {"linear middle", TrackType::FLOAT, {{439, zero, "Linear"}, {579, one, "None"}}, 509, floatBits(0.5f), "Linear"},
        {"linear start", TrackType::FLOAT, {{439, zero, "Linear"}, {579, one, "None"}}, 439, zero, "Linear"},
        {"linear end", TrackType::FLOAT, {{439, zero, "Linear"}, {579, one, "None"}}, 579, one, "None"},
        // Without easing the key holds up to the frame before the next one.
        {"hold", TrackType::FLOAT, {{0, fov, "None"}, {830, one, "None"}}, 829, fov, "None"},
        // Before the first key: the type's zero; after the last: its value, up to frameCount - 1.
        {"before the first", TrackType::FLOAT, {{100, one, "Linear"}}, 50, 0, "None"},
        {"after the last", TrackType::FLOAT, {{100, one, "Linear"}}, 999, one, "Linear"},
        // The next key's easing plays no part: t = 0.5 under QuadraticIn is 0.25.
        {"first key's easing", TrackType::FLOAT, {{0, zero, "QuadraticIn"}, {10, one, "BounceOut"}}, 5, floatBits(0.25f), "QuadraticIn"},
        // A key set twice keeps the later value and easing.
        {"rekeyed", TrackType::FLOAT, {{5, zero, "Linear"}, {5, one, "None"}}, 5, one, "None"},
        // Halfway: 0.5 * (128 - 64) + 64 = 96; a third: 0.33333334 * 64 + 64 = 85.33 -> 85.
        {"uint half", TrackType::UINT, {{0, 64, "Linear"}, {2, 128, "None"}}, 1, 96, "Linear"},
        {"uint third", TrackType::UINT, {{0, 64, "Linear"}, {3, 128, "None"}}, 1, 85, "Linear"},
        // BackIn at 0.42: 0.42^2 * (2.70158 * 0.42 - 1.70158) = -0.1000040: 10 + 10 x that =
        // 8.99996 -> 8, below the first key; 20 x that = -2.00008 -> -2, low 32 bits 0xFFFFFFFE.
        {"uint dip", TrackType::UINT, {{0, 10, "BackIn"}, {100, 20, "None"}}, 42, 8, "BackIn"},
        {"uint below zero", TrackType::UINT, {{0, 0, "BackIn"}, {100, 20, "None"}}, 42, 0xFFFFFFFEu, "BackIn"},
    };
    for (const Case& c : cases) {
        Timeline* timeline = timelineOf(c.type, c.keys);
        uint32_t easing = 99;
        FrameValue value = evaluateTrack(*timeline->tracks[0], c.frame, &easing);
        EXPECT_EQ(value.type, c.type) << c.name;
        EXPECT_EQ(value.x, c.expected) << c.name;
        EXPECT_EQ(easing, easingIndex(c.easing)) << c.name;
        destroyTimeline(timeline);
    }
}

TEST(Easing, EveryCurveRunsFromZeroToOneThroughItsMidpoint)
{
    const std::pair<const char*, float> midpoints[] = {
        {"Linear", 0.5f},
        {"QuadraticIn", 0.25f},         // 0.5^2
        {"QuadraticOut", 0.75f},        // (2 - 0.5) * 0.5
        {"CubicIn", 0.125f},            // 0.5^3
        {"CubicOut", 0.875f},           // (-0.5)^3 + 1
        {"QuarticIn", 0.0625f},         // 0.5^4
        {"QuarticOut", 0.9375f},        // 1 - (-0.5)^4
        {"QuinticIn", 0.03125f},        // 0.5^5
        {"QuinticOut", 0.96875f},       // (-0.5)^5 + 1
        {"SinusoidalIn", 0.29289322f},  // 1 - cos(pi/4)
        {"SinusoidalOut", 0.70710678f}, // sin(pi/4)
        {"ExponentialIn", 0.03125f},    // 1024^-0.5 = 1/32
        {"ExponentialOut", 0.96875f},   // 1 - 2^-5
        {"CircularIn", 0.13397460f},    // 1 - sqrt(0.75)
        {"CircularOut", 0.86602540f},   // sqrt(1 - 0.25)
        {"ElasticIn", 0.0f},            // -(2^-5 * sin(-3 pi))
        {"ElasticOut", 1.0f},           // 2^-5 * sin(2 pi) + 1
        {"BackIn", -0.0876975f},        // 0.25 * (1.35079 - 1.70158)
        {"BackOut", 1.0876975f},        // 0.25 * (-1.35079 + 1.70158) + 1
        {"BounceOut", 0.765625f},       // 7.5625 * (0.5 - 0.54545456)^2 + 0.75
        {"BounceIn", 0.234375f},        // 1 - BounceOut(0.5)
    };
    for (auto [name, expected] : midpoints)
        EXPECT_NEAR(ease(name, 0.5f), expected, 1e-6f) << name;
    // The in-out forms take their second branch at k = 1 and meet at one half (ElasticInOut:
    // 0.5 * 2^0 * sin(-pi/2) + 1).
    for (std::string family : {"Quadratic", "Cubic", "Quartic", "Quintic", "Sinusoidal", "Exponential", "Circular",
                               "Elastic", "Back", "Bounce"})
        EXPECT_NEAR(ease((family + "InOut").c_str(), 0.5f), 0.5f, 1e-6f) << family;
    for (uint32_t i = 1; i < easingCount; ++i) {
        EXPECT_NEAR(easingFunctions[i](0.0f), 0.0f, 1e-6f) << easingNames[i];
        EXPECT_NEAR(easingFunctions[i](1.0f), 1.0f, 1e-6f) << easingNames[i];
    }
    // Names are looked up exactly; None is entry 0, with no curve.
    EXPECT_EQ(easingFunctions[easingIndex("None")], nullptr);
    for (const char* unknown : {"linear", "Linear ", ""})
        EXPECT_EQ(easingIndex(unknown), easingCount) << unknown;
}
