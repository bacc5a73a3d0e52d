// Loading the timeline document, writing it back, the compiled-in text, and the check of an
// edited document against the piece's tracks (these also run under the sanitizers; documents
// of every other wrong shape are the fuzz corpus's, tests/fuzz).
#include "app/parameters.h"
#include "core/format.h"
#include "app/timeline_save.h"
#include "code/kivrel_timeline.json.h"
#include "tests/unit/test_platform.h"
#include "timeline/timeline_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr uint32_t pieceFrameCount = 10843;

struct Loaded {
    Timeline* timeline = createTimeline(pieceFrameCount);
    bool ok = false;
    std::string asserts; // the log after the reader's two progress lines

    explicit Loaded(const std::string& text)
    {
        testing::internal::CaptureStdout();
        ok = loadTimeline(*timeline, text.data(), text.size());
        std::string log = testing::internal::GetCapturedStdout();
        size_t parsed = log.find("\n\n", log.find("Parsing JSON token stream"));
        asserts = parsed == std::string::npos ? log : log.substr(parsed + 2);
    }
    ~Loaded() { destroyTimeline(timeline); }
};

} // namespace

TEST(TimelineSerialize, CompiledInTextComesBackCharacterForCharacterAndNamesStayInsideTheLiteral)
{
    // The piece's text holds every kind of track but INVALID, bookmarks, and floats of six decimals.
    Loaded piece(TIMELINE_JSON_DATA);
    ASSERT_TRUE(piece.ok);
    EXPECT_EQ(piece.asserts, "");
    EXPECT_EQ(serializeTimeline(*piece.timeline, false), std::string(TIMELINE_JSON_DATA));

    Timeline* timeline = createTimeline(10);
    addTrack(*timeline, "a\\b\nc", TrackType::INVALID);
    // Plain: the name as it is. Escaped: backslash doubled, line feed as an octal escape.
    EXPECT_EQ(serializeTimeline(*timeline, false),
              "{\"__bookmarks__\": [],\"a\\b\nc\":{\"type\":\"INVALID\",\"frames\":[]}}");
    EXPECT_EQ(serializeTimeline(*timeline, true),
              "{\\\"__bookmarks__\\\": [],\\\"a\\\\b\\012c\\\":{\\\"type\\\":\\\"INVALID\\\",\\\"frames\\\":[]}}");
    destroyTimeline(timeline);
}

namespace {

// A document of one track holding one key, as a person might have written it.
std::string oneKey(const char* track, const char* type, const std::string& key)
{
    return std::string("{\"") + track + "\":{\"type\":\"" + type + "\",\"frames\":[" + key + "]}}";
}

std::string keyAt(const std::string& frame, const std::string& value, const char* easing = "None")
{
    return "{\"frame\":" + frame + ",\"easing\":\"" + easing + "\",\"value\":" + value + "}";
}

} // namespace

TEST(TimelineCheck, EveryKeyALoadWouldDropOrChangeIsAnErrorThatNamesItAndTheTimelineStays)
{
    const std::string zero = keyAt("0", "1.0");
    const struct {
        std::string text, error;
    } files[] = {
        // Values past what the scene was made for: the frame heap's filter steps, the particle
        // buffer, the paths per pixel, the scenes the simulation knows, an open field of view.
        {oneKey("AT::Steps", "UINT", keyAt("0", "1000")), "Track \"AT::Steps\", key at frame 0: value 1000 is outside [0, 14]"},
        {oneKey("AT::Steps", "UINT", keyAt("0", "15")), "Track \"AT::Steps\", key at frame 0: value 15 is outside [0, 14]"},
        {oneKey("SM::NumPart", "UINT", keyAt("7", "129")), "Track \"SM::NumPart\", key at frame 7: value 129 is outside [0, 128]"},
        {oneKey("PT::SampleCnt", "UINT", keyAt("0", "100000")), "Track \"PT::SampleCnt\", key at frame 0: value 100000 is outside [0, 16]"},
        {oneKey("SM::SceneID", "UINT", keyAt("0", "2")), "Track \"SM::SceneID\", key at frame 0: value 2 is outside [0, 1]"},
        {oneKey("CM::Fov", "FLOAT", keyAt("0", "180.0")), "Track \"CM::Fov\", key at frame 0: value 180 is outside (0, 180)"},
        {oneKey("CM::Fov", "FLOAT", keyAt("0", "0")), "Track \"CM::Fov\", key at frame 0: value 0 is outside (0, 180)"},
        {oneKey("CM::Pos", "FLOAT3", keyAt("3", "[0.0,1.0,-2000.0]")), "Track \"CM::Pos\", key at frame 3: value -2000 is outside [-1000, 1000]"},
        // Numbers that do not fit their type: no wrap, no infinity, no "-" read as 0.
        {oneKey("CM::Fov", "FLOAT", keyAt("0", "1" + std::string(39, '0') + ".0")), "PANIC: Number out of range at line 1"},
        {oneKey("CM::Fov", "FLOAT", keyAt("4294968296", "1.0")), "PANIC: Number out of range at line 1"},
        {oneKey("AT::Steps", "UINT", keyAt("0", "99999999999")), "PANIC: Number out of range at line 1"},
        {oneKey("AT::Steps", "UINT", keyAt("0", "-64")), "Track \"AT::Steps\", key at frame 0: a value is not a whole number from 0"},
        {oneKey("AT::Steps", "UINT", keyAt("0", "2.5")), "Track \"AT::Steps\", key at frame 0: a value is not a whole number from 0"},
        {oneKey("CM::Fov", "FLOAT", keyAt("0", "-")), "PANIC: Invalid token at line 1"},
        {oneKey("CM::Fov", "FLOAT", keyAt("0", "16777217")), "Track \"CM::Fov\", key at frame 0: a value has no exact float"},
        // Keys that would be dropped.
        {oneKey("CM::Fov", "FLOAT", keyAt("-1", "1.0")), "Track \"CM::Fov\", key 1: the frame is not a whole number from 0 to 10842"},
        {oneKey("CM::Fov", "FLOAT", keyAt("10843", "1.0")), "Track \"CM::Fov\", key 1: the frame is not a whole number from 0 to 10842"},
        {oneKey("CM::Fov", "FLOAT", zero + "," + keyAt("0", "2.0")), "Track \"CM::Fov\", key at frame 0: a second key on this frame"},
        {oneKey("CM::Fov", "FLOAT", zero + "," + keyAt("1", "1.0", "Lin")), "Track \"CM::Fov\", key at frame 1: unknown easing"},
        {oneKey("CM::Fov", "FLOAT", keyAt("0", "\"1\"")), "Track \"CM::Fov\", key at frame 0: a value is not a number"},
        {oneKey("CM::Pos", "FLOAT3", keyAt("0", "[1.0,2.0]")), "Track \"CM::Pos\", key at frame 0: the value is not a list of three numbers"},
        {oneKey("CM::Fov", "FLOAT", zero + ",7"), "Track \"CM::Fov\", key 2: not an object"},
        {oneKey("CM::Fov", "FLOAT", "{\"frame\":0,\"easing\":\"None\"}"), "Track \"CM::Fov\", key 1: no \"value\""},
        // Tracks and bookmarks.
        {oneKey("CM::Pos", "FLOAT", zero), "Track \"CM::Pos\" is not of type FLOAT3"},
        {"{\"CM::Fov\":{\"type\":\"FLOAT\",\"frames\":[]},\"CM::Fov\":{\"type\":\"FLOAT\",\"frames\":[]}}", "Track \"CM::Fov\" is there twice"},
        {"{\"CM::Fov\":{\"type\":\"FLOAT\",\"frames\":{}}}", "Track \"CM::Fov\" has no list of keys under \"frames\""},
        {"{\"__bookmarks__\": [0,-1]}", "Bookmark -1 is not a frame from 0 to 10842"},
        {"{\"__bookmarks__\": [1.5]}", "The bookmarks are not a list of at most 64 frames"},
        {std::string(checkedDocumentLimit + 1, ' '), "The document is larger than 2097152 bytes"},
    };
    Timeline* timeline = createTimeline(pieceFrameCount);
    loadCompiledInTimeline(*timeline);
    const std::string before = serializeTimeline(*timeline, false);
    testing::internal::CaptureStdout();
    for (const auto& [text, error] : files) {
        TimelineReport report;
        EXPECT_FALSE(loadCheckedTimeline(*timeline, text.data(), text.size(), demoTimelineRules, report)) << error;
        EXPECT_EQ(report.error.message, error + "\n");
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(serializeTimeline(*timeline, false), before);
    destroyTimeline(timeline);
}

TEST(TimelineCheck, ThePieceIsWithinItsRangesAndUnknownTracksTakeNoMemory)
{
    Timeline* timeline = createTimeline(pieceFrameCount);
    TimelineReport report;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(loadCheckedTimeline(*timeline, TIMELINE_JSON_DATA, sizeof(TIMELINE_JSON_DATA), demoTimelineRules, report));
    EXPECT_EQ(report.warnings, "");
    EXPECT_EQ(serializeTimeline(*timeline, false), TIMELINE_JSON_DATA);

    // 5000 tracks of names the piece does not have (124 KB) once took 438 MB in key slots.
    std::string many = "{";
    for (int i = 0; i < 5000; ++i)
        many += "\"XX::T" + std::to_string(10000 + i) + "\":{\"type\":\"FLOAT\",\"frames\":[]},";
    many += "\"n\":3}";
    ASSERT_GT(many.size(), 120000u);
    const bool measured = resetPeakMemory();
    EXPECT_TRUE(loadCheckedTimeline(*timeline, many.data(), many.size(), demoTimelineRules, report));
    testing::internal::GetCapturedStdout();
    if (measured) {
        EXPECT_LT(peakMemoryGrowth(), uint64_t(32) << 20);
    }
    EXPECT_EQ(timeline->tracks.count, 0u);
    EXPECT_EQ(std::count(report.warnings.begin(), report.warnings.end(), '\n'), 5001);
    EXPECT_EQ(report.warnings.rfind("\"XX::T10000\" is not a track of the timeline: left out\n", 0), 0u);
    destroyTimeline(timeline);
}

TEST(TimelineSerialize, FloatsAreWrittenWithTheDigitsThatReadBackAsTheSameFloat)
{
    // %f where six decimals give the float back; the fewest decimals that do otherwise. Document
    // and header take the same digits; the reader gives the same bits back.
    const std::pair<float, const char*> values[] = {
        {1e-7f, "0.0000001"},
        {3.4e38f, "339999995214436424907732413799364296704.000000"},
        {-69.970001f, "-69.970001"},
        {0.1f, "0.100000"},
        {1.17549435e-38f, "0.000000000000000000000000000000000000011754944"}, // the smallest normal float
    };
    for (auto [value, text] : values) {
        EXPECT_EQ(formatFloat(value), text);
        JsonValue number;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(parseJson(number, text, std::strlen(text), 0));
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(number.number.bits, floatBits(value)) << text;
    }
}
