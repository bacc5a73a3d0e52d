// Tracks, keys, per-frame evaluation and the easing curves.
#include "timeline/easing.h"
#include "timeline/timeline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TimelineFixture : testing::Test {
    Timeline* timeline = createTimeline(1000);
    ~TimelineFixture() override { destroyTimeline(timeline); }

    void floatKey(const char* name, uint32_t frame, float value, const char* easing)
    {
        setKeyFloat(*timeline, name, frame, &value, easingIndex(easing));
    }
    void uintKey(const char* name, uint32_t frame, uint32_t value, const char* easing)
    {
        setKeyUint(*timeline, name, frame, &value, easingIndex(easing));
    }
    FrameValue at(const char* name, uint32_t frame, uint32_t* easing = nullptr)
    {
        return evaluateTrack(*findTrack(*timeline, name), frame, easing);
    }
};

using Evaluation = TimelineFixture;
using Keys = TimelineFixture;

struct Key {
    uint32_t frame, value; // a float's bits for FLOAT tracks
    const char* easing;
};

} // namespace

TEST_F(Evaluation, SegmentsEaseFromTheirFirstKeyHoldWithoutEasingAndUintsTruncate)
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
        // Halfway: 0.5 * (128 - 64) + 64 = 96; a third: 0.33333334 * 64 + 64 = 85.33 -> 85.
        {"uint half", TrackType::UINT, {{0, 64, "Linear"}, {2, 128, "None"}}, 1, 96, "Linear"},
        {"uint third", TrackType::UINT, {{0, 64, "Linear"}, {3, 128, "None"}}, 1, 85, "Linear"},
        // BackIn at 0.42: 0.42^2 * (2.70158 * 0.42 - 1.70158) = -0.1000040: 10 + 10 x that =
        // 8.99996 -> 8, below the first key; 20 x that = -2.00008 -> -2, low 32 bits 0xFFFFFFFE.
        {"uint dip", TrackType::UINT, {{0, 10, "BackIn"}, {100, 20, "None"}}, 42, 8, "BackIn"},
        {"uint below zero", TrackType::UINT, {{0, 0, "BackIn"}, {100, 20, "None"}}, 42, 0xFFFFFFFEu, "BackIn"},
    };
    for (const Case& c : cases) {
        Timeline* line = createTimeline(1000);
        addTrack(*line, "t", c.type);
        for (const Key& key : c.keys) {
            uint32_t easing = easingIndex(key.easing);
            if (c.type == TrackType::UINT)
                setKeyUint(*line, "t", key.frame, &key.value, easing);
            else
                setKeyFloat(*line, "t", key.frame, reinterpret_cast<const float*>(&key.value), easing);
        }
        uint32_t easing = 99;
        FrameValue value = evaluateTrack(*line->tracks[0], c.frame, &easing);
        EXPECT_EQ(value.type, c.type) << c.name;
        EXPECT_EQ(value.x, c.expected) << c.name;
        EXPECT_EQ(easing, easingIndex(c.easing)) << c.name;
        destroyTimeline(line);
    }
    // A FLOAT3 track before its first key: three zeros.
    addTrack(*timeline, "CM::Pos", TrackType::FLOAT3);
    Float3 position{1.0f, -2.0f, 3.0f};
    setKeyFloat3(*timeline, "CM::Pos", 100, &position, 0);
    FrameValue before = at("CM::Pos", 50);
    EXPECT_EQ(before.x | before.y | before.z, 0u);
    EXPECT_EQ(asFloat(at("CM::Pos", 100).y), -2.0f);
}

TEST_F(Evaluation, UpdateEvaluatesEveryTrackThenCallsBackInTrackOrder)
{
    addTrack(*timeline, "first", TrackType::UINT);
    addTrack(*timeline, "second", TrackType::FLOAT);
    uintKey("first", 0, 7, "None");
    floatKey("second", 0, 2.0f, "Linear");
    floatKey("second", 20, 4.0f, "None");
    timeline->callbackValue = 42;
    std::vector<std::string> names;
    std::vector<FrameValue> values;
    updateTimeline(*timeline, 10, [&](const char* name, uint32_t callbackValue, FrameValue value) {
        EXPECT_EQ(callbackValue, 42u);
        names.push_back(name);
        values.push_back(value);
    });
    ASSERT_EQ(names, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(values[0].x, 7u);
    EXPECT_EQ(asFloat(values[1].x), 3.0f); // 2 + 0.5 * (4 - 2)
    EXPECT_EQ(asFloat(timeline->tracks[1]->currentValue.x), 3.0f);
}

TEST_F(Keys, RekeyingKeepsTheLaterKeyAndMismatchedTypesAreReportedButStored)
{
    addTrack(*timeline, "a", TrackType::FLOAT);
    floatKey("a", 5, 1.0f, "Linear");
    floatKey("a", 5, 2.0f, "None");
    floatKey("missing", 5, 3.0f, "None"); // no such track: ignored
    uint32_t easing = 99;
    EXPECT_EQ(asFloat(at("a", 5, &easing).x), 2.0f);
    EXPECT_EQ(easing, 0u);
    EXPECT_EQ(timeline->tracks.count, 1u);

    // A key of another type than its track's is reported and keeps the operation's type.
    addTrack(*timeline, "SM::NumPart", TrackType::UINT);
    addTrack(*timeline, "CM::Pos", TrackType::FLOAT3);
    testing::internal::CaptureStdout();
    floatKey("SM::NumPart", 3, 1.5f, "None");
    uintKey("CM::Pos", 0, 1, "None");
    Float3 xyz{};
    setKeyFloat3(*timeline, "SM::NumPart", 0, &xyz, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ASSERT: Track is FLOAT type\nASSERT: Track is UINT type\nASSERT: Track is FLOAT3 type\n");
    FrameValue value = at("SM::NumPart", 3);
    EXPECT_EQ(value.type, TrackType::FLOAT);
    EXPECT_EQ(asFloat(value.x), 1.5f);
}

TEST_F(Keys, FramesOutsideTheTrackOverlongNamesAndUnknownEasingsAreRefused)
{
    addTrack(*timeline, "a", TrackType::FLOAT);
    std::string longest(255, 'n'), tooLong(256, 'n');
    EXPECT_NE(addTrack(*timeline, longest.c_str(), TrackType::FLOAT), nullptr);
    testing::internal::CaptureStdout();
    floatKey("a", 1000, 1.0f, "None"); // frames 0 .. 999
    floatKey("a", 0xFFFFFFFFu, 1.0f, "None");
    uint32_t easing = 99;
    FrameValue outside = at("a", 1000, &easing);
    EXPECT_EQ(addTrack(*timeline, tooLong.c_str(), TrackType::FLOAT), nullptr);
    float one = 1.0f;
    setKeyFloat(*timeline, longest.c_str(), 0, &one, easingCount);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Exceeded frame index. Max frame index is 1000\n"
                                                      "ASSERT: Exceeded frame index. Max frame index is 1000\n"
                                                      "ASSERT: Exceeded frame index. Max frame index is 1000\n"
                                                      "ASSERT: Track name exceeds 255 bytes\n"
                                                      "ASSERT: Unknown easing 32\n");
    EXPECT_EQ(outside.type, TrackType::FLOAT);
    EXPECT_EQ(outside.x, 0u);
    EXPECT_EQ(easing, 0u);
    for (const Track* track : timeline->tracks)
        for (const Keyframe* key : track->keys)
            ASSERT_EQ(key, nullptr) << track->name;
    EXPECT_EQ(timeline->tracks.count, 2u);
}

TEST(Easing, EveryCurveRunsFromZeroToOne)
{
    for (uint32_t i = 1; i < easingCount; ++i) {
        EXPECT_NEAR(easingFunctions[i](0.0f), 0.0f, 1e-6f) << easingNames[i];
        EXPECT_NEAR(easingFunctions[i](1.0f), 1.0f, 1e-6f) << easingNames[i];
    }
    EXPECT_EQ(easingFunctions[0], nullptr);
    // 1024^(0 - 1) is not 0: the exact test for 0 comes first.
    EXPECT_EQ(easingFunctions[easingIndex("ExponentialIn")](0.0f), 0.0f);
}

TEST(Easing, MidpointsDerivedFromTheFormulas)
{
    struct Case {
        const char* name;
        float expected;
    };
    const Case cases[] = {
        {"Linear", 0.5f},
        {"QuadraticIn", 0.25f},           // 0.5^2
        {"QuadraticOut", 0.75f},          // (2 - 0.5) * 0.5
        {"CubicIn", 0.125f},              // 0.5^3
        {"CubicOut", 0.875f},             // (-0.5)^3 + 1
        {"QuarticIn", 0.0625f},           // 0.5^4
        {"QuarticOut", 0.9375f},          // 1 - (-0.5)^4
        {"QuinticIn", 0.03125f},          // 0.5^5
        {"QuinticOut", 0.96875f},         // (-0.5)^5 + 1
        {"SinusoidalIn", 0.29289322f},    // 1 - cos(pi/4)
        {"SinusoidalOut", 0.70710678f},   // sin(pi/4)
        {"ExponentialIn", 0.03125f},      // 1024^-0.5 = 1/32
        {"ExponentialOut", 0.96875f},     // 1 - 2^-5
        {"CircularIn", 0.13397460f},      // 1 - sqrt(0.75)
        {"CircularOut", 0.86602540f},     // sqrt(1 - 0.25)
        {"ElasticIn", 0.0f},              // -(2^-5 * sin(-3 pi))
        {"ElasticOut", 1.0f},             // 2^-5 * sin(2 pi) + 1
        {"BackIn", -0.0876975f},          // 0.25 * (1.35079 - 1.70158)
        {"BackOut", 1.0876975f},          // 0.25 * (-1.35079 + 1.70158) + 1
        {"BounceOut", 0.765625f},         // 7.5625 * (0.5 - 0.54545456)^2 + 0.75
        {"BounceIn", 0.234375f},          // 1 - BounceOut(0.5)
    };
    for (const Case& c : cases)
        EXPECT_NEAR(easingFunctions[easingIndex(c.name)](0.5f), c.expected, 1e-6f) << c.name;
    // The in-out forms take their second branch at k = 1 and meet at one half (ElasticInOut:
    // 0.5 * 2^0 * sin(-pi/2) + 1).
    for (const char* family : {"Quadratic", "Cubic", "Quartic", "Quintic", "Sinusoidal", "Exponential", "Circular",
                               "Elastic", "Back", "Bounce"})
        EXPECT_NEAR(easingFunctions[easingIndex((std::string(family) + "InOut").c_str())](0.5f), 0.5f, 1e-6f) << family;
}

TEST(Easing, BackOvershootsAndElasticHasItsSineZeros)
{
    EasingFunction backIn = easingFunctions[easingIndex("BackIn")];
    EasingFunction backOut = easingFunctions[easingIndex("BackOut")];
    // BackIn is below 0 while 2.70158 t < 1.70158, t < 0.6298; BackOut mirrors it above 1.
    for (float t = 0.01f; t < 0.62f; t += 0.01f) {
        EXPECT_LT(backIn(t), 0.0f) << t;
        EXPECT_GT(backOut(1.0f - t), 1.0f) << t;
    }
    EXPECT_GT(backIn(0.64f), 0.0f);
    // The sine's argument is 0 and -pi there.
    EXPECT_EQ(easingFunctions[easingIndex("ElasticOut")](0.1f), 1.0f);
    EXPECT_NEAR(easingFunctions[easingIndex("ElasticIn")](0.9f), 0.0f, 1e-6f);
}

TEST(Easing, NamesAreLookedUpExactly)
{
    EXPECT_EQ(easingIndex("None"), 0u);
    EXPECT_STREQ(easingNames[easingIndex("CircularOut")], "CircularOut");
    for (const char* unknown : {"linear", "Linear ", ""})
        EXPECT_EQ(easingIndex(unknown), easingCount) << unknown;
}
