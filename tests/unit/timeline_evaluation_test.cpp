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

} // namespace

TEST_F(Evaluation, LinearSegmentAndItsEndKeys)
{
    addTrack(*timeline, "CM::Bright", TrackType::FLOAT);
    floatKey("CM::Bright", 439, 0.0f, "Linear");
    floatKey("CM::Bright", 579, 1.0f, "None");
    uint32_t easing = 99;
    // t = (509 - 439) / (579 - 439) = 0.5, Linear gives 0.5, x = 0.5 * (1 - 0) + 0.
    FrameValue middle = at("CM::Bright", 509, &easing);
    EXPECT_EQ(middle.type, TrackType::FLOAT);
    EXPECT_EQ(asFloat(middle.x), 0.5f);
    EXPECT_EQ(easing, 1u);
    EXPECT_EQ(asFloat(at("CM::Bright", 439, &easing).x), 0.0f);
    EXPECT_EQ(easing, 1u);
    EXPECT_EQ(asFloat(at("CM::Bright", 579, &easing).x), 1.0f);
    EXPECT_EQ(easing, 0u); // the key at 579 carries "None"
}

TEST_F(Evaluation, HoldsPreviousKeyWithoutEasing)
{
    Timeline* wide = createTimeline(4000);
    addTrack(*wide, "CM::Fov", TrackType::FLOAT);
    float first = 40.029999f, second = 57.540001f;
    setKeyFloat(*wide, "CM::Fov", 0, &first, 0);
    setKeyFloat(*wide, "CM::Fov", 3830, &second, 0);
    const Track& track = *wide->tracks[0];
    for (uint32_t frame : {0u, 1u, 1914u, 3829u}) {
        uint32_t easing = 99;
        EXPECT_EQ(asFloat(evaluateTrack(track, frame, &easing).x), 40.029999f) << frame;
        EXPECT_EQ(easing, 0u);
    }
    EXPECT_EQ(asFloat(evaluateTrack(track, 3830, nullptr).x), 57.540001f);
    destroyTimeline(wide);
    EXPECT_EQ(wide, nullptr);
}

TEST_F(Evaluation, BeforeFirstKeyGivesTypedZerosAndAfterLastKeyHolds)
{
    addTrack(*timeline, "CM::Pos", TrackType::FLOAT3);
    Float3 position{1.0f, -2.0f, 3.0f};
    setKeyFloat3(*timeline, "CM::Pos", 100, &position, easingIndex("Linear"));
    uint32_t easing = 99;
    FrameValue before = at("CM::Pos", 50, &easing);
    EXPECT_EQ(before.type, TrackType::FLOAT3);
    EXPECT_EQ(before.x | before.y | before.z, 0u);
    EXPECT_EQ(easing, 0u);
    // A Linear last key has no next key: its value holds up to frameCount - 1.
    for (uint32_t frame : {101u, 500u, 999u}) {
        FrameValue after = at("CM::Pos", frame, &easing);
        EXPECT_EQ(asFloat(after.y), -2.0f);
        EXPECT_EQ(easing, 1u);
    }
}

TEST_F(Evaluation, UintSegmentsTruncateTowardZero)
{
    addTrack(*timeline, "SM::NumPart", TrackType::UINT);
    uintKey("SM::NumPart", 0, 64, "Linear");
    uintKey("SM::NumPart", 2, 128, "None");
    // Halfway: 0.5 * (128 - 64) + 64 = 96.
    EXPECT_EQ(at("SM::NumPart", 1).x, 96u);
    addTrack(*timeline, "third", TrackType::UINT);
    uintKey("third", 0, 64, "Linear");
    uintKey("third", 3, 128, "None");
    // A third of the way: 0.33333334 * 64 + 64 = 85.33 -> 85.
    EXPECT_EQ(at("third", 1).x, 85u);

    // BackIn at t = 0.42: 0.42^2 * (2.70158 * 0.42 - 1.70158) = 0.1764 * -0.5669164 = -0.1000040.
    addTrack(*timeline, "dip", TrackType::UINT);
    uintKey("dip", 0, 10, "BackIn");
    uintKey("dip", 100, 20, "None");
    // 10 + 10 * -0.1000040 = 8.99996 -> 8: below the first key's value.
    EXPECT_EQ(at("dip", 42).x, 8u);
    addTrack(*timeline, "belowZero", TrackType::UINT);
    uintKey("belowZero", 0, 0, "BackIn");
    uintKey("belowZero", 100, 20, "None");
    // 20 * -0.1000040 = -2.00008 truncates toward zero to -2, whose low 32 bits are 0xFFFFFFFE.
    EXPECT_EQ(at("belowZero", 42).x, 0xFFFFFFFEu);
}

TEST_F(Evaluation, NextKeysEasingPlaysNoPartInTheSegment)
{
    addTrack(*timeline, "a", TrackType::FLOAT);
    floatKey("a", 0, 0.0f, "QuadraticIn");
    floatKey("a", 10, 1.0f, "BounceOut");
    // t = 0.5 under QuadraticIn: 0.25.
    EXPECT_EQ(asFloat(at("a", 5).x), 0.25f);
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
    EXPECT_EQ(timeline->tracks[1]->currentEasing, 1u);
    EXPECT_EQ(asFloat(timeline->tracks[1]->currentValue.x), 3.0f);
}

TEST_F(Keys, RekeyingKeepsTheLaterKeyAndUnknownTracksAreIgnored)
{
    addTrack(*timeline, "a", TrackType::FLOAT);
    floatKey("a", 5, 1.0f, "Linear");
    floatKey("a", 5, 2.0f, "None");
    floatKey("missing", 5, 3.0f, "None");
    uint32_t easing = 99;
    EXPECT_EQ(asFloat(at("a", 5, &easing).x), 2.0f);
    EXPECT_EQ(easing, 0u);
    int keys = 0;
    for (const Keyframe* key : timeline->tracks[0]->keys)
        keys += key != nullptr;
    EXPECT_EQ(keys, 1);
    EXPECT_EQ(timeline->tracks.count, 1u);
}

TEST_F(Keys, TypeMismatchReportsAndStoresTheOperationsType)
{
    addTrack(*timeline, "SM::NumPart", TrackType::UINT);
    testing::internal::CaptureStdout();
    floatKey("SM::NumPart", 3, 1.5f, "None");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Track is FLOAT type\n");
    FrameValue value = at("SM::NumPart", 3);
    EXPECT_EQ(value.type, TrackType::FLOAT);
    EXPECT_EQ(asFloat(value.x), 1.5f);

    addTrack(*timeline, "CM::Pos", TrackType::FLOAT3);
    testing::internal::CaptureStdout();
    uintKey("CM::Pos", 0, 1, "None");
    Float3 xyz{};
    setKeyFloat3(*timeline, "SM::NumPart", 0, &xyz, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Track is UINT type\nASSERT: Track is FLOAT3 type\n");
}

TEST_F(Keys, FramesOutsideTheTrackAreReportedAndNeverStored)
{
    addTrack(*timeline, "a", TrackType::FLOAT);
    testing::internal::CaptureStdout();
    floatKey("a", 1000, 1.0f, "None");
    floatKey("a", 0xFFFFFFFFu, 1.0f, "None");
    uint32_t easing = 99;
    FrameValue outside = at("a", 1000, &easing);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ASSERT: Exceeded frame index. Max frame index is 1000\n"
              "ASSERT: Exceeded frame index. Max frame index is 1000\n"
              "ASSERT: Exceeded frame index. Max frame index is 1000\n");
    EXPECT_EQ(outside.type, TrackType::FLOAT);
    EXPECT_EQ(outside.x, 0u);
    EXPECT_EQ(easing, 0u);
    EXPECT_EQ(timeline->tracks[0]->keys.count, 1000u);
    for (const Keyframe* key : timeline->tracks[0]->keys)
        EXPECT_EQ(key, nullptr);
}

TEST_F(Keys, OverlongNamesAndUnknownEasingsAreRefused)
{
    std::string longest(255, 'n');
    std::string tooLong(256, 'n');
    EXPECT_NE(addTrack(*timeline, longest.c_str(), TrackType::FLOAT), nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(addTrack(*timeline, tooLong.c_str(), TrackType::FLOAT), nullptr);
    float value = 1.0f;
    setKeyFloat(*timeline, longest.c_str(), 0, &value, easingCount);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ASSERT: Track name exceeds 255 bytes\nASSERT: Unknown easing 32\n");
    EXPECT_EQ(timeline->tracks.count, 1u);
    EXPECT_STREQ(timeline->tracks[0]->name, longest.c_str());
    EXPECT_EQ(timeline->tracks[0]->keys[0], nullptr);
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
        // The in-out forms take their second branch at k = 1 and meet at one half.
        {"QuadraticInOut", 0.5f},
        {"CubicInOut", 0.5f},
        {"QuarticInOut", 0.5f},
        {"QuinticInOut", 0.5f},
        {"SinusoidalInOut", 0.5f},
        {"ExponentialInOut", 0.5f},
        {"CircularInOut", 0.5f},
        {"ElasticInOut", 0.5f},           // 0.5 * 2^0 * sin(-pi/2) + 1
        {"BackInOut", 0.5f},
        {"BounceInOut", 0.5f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(easingFunctions[easingIndex(c.name)](0.5f), c.expected, 1e-6f) << c.name;
}

TEST(Easing, OvershootsAndZerosOfTheSineCurves)
{
    EasingFunction backIn = easingFunctions[easingIndex("BackIn")];
    EasingFunction backOut = easingFunctions[easingIndex("BackOut")];
    // BackIn is below 0 while 2.70158 t < 1.70158, t < 0.6298; its minimum is at
    // t = 2 * 1.70158 / (3 * 2.70158) = 0.4199.
    for (float t = 0.01f; t < 0.62f; t += 0.01f) {
        EXPECT_LT(backIn(t), 0.0f) << t;
        EXPECT_GT(backOut(1.0f - t), 1.0f) << t;
    }
    EXPECT_GT(backIn(0.64f), 0.0f);
    EXPECT_LT(backIn(0.42f), backIn(0.40f));
    EXPECT_LT(backIn(0.42f), backIn(0.44f));
    // The sine's argument is 0 and -pi there.
    EXPECT_EQ(easingFunctions[easingIndex("ElasticOut")](0.1f), 1.0f);
    EXPECT_NEAR(easingFunctions[easingIndex("ElasticIn")](0.9f), 0.0f, 1e-6f);
}

TEST(Easing, NamesAreLookedUpExactly)
{
    EXPECT_EQ(easingIndex("None"), 0u);
    EXPECT_EQ(easingIndex("Linear"), 1u);
    EXPECT_EQ(easingIndex("CircularOut"), 21u);
    EXPECT_EQ(easingIndex("BounceInOut"), 31u);
    EXPECT_EQ(easingIndex("linear"), 32u);
    EXPECT_EQ(easingIndex("Linear "), 32u);
    EXPECT_EQ(easingIndex(""), 32u);
}
