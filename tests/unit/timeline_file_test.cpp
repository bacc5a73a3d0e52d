// Loading the timeline document, writing it back, the compiled-in text, and documents of
// the wrong shape (these also run under the sanitizers).
#include "app/timeline_save.h"
#include "code/kivrel_timeline.json.h"
#include "core/log.h"
#include "tests/unit/exit_status.h"
#include "timeline/easing.h"
#include "timeline/timeline_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t pieceFrameCount = 10843;

struct Loaded {
    Timeline* timeline = createTimeline(pieceFrameCount);
    bool ok = false;
    std::string log;

    explicit Loaded(const std::string& text)
    {
        testing::internal::CaptureStdout();
        ok = loadTimeline(*timeline, text.data(), text.size());
        log = testing::internal::GetCapturedStdout();
    }
    ~Loaded() { destroyTimeline(timeline); }

    // The log without the reader's two progress lines.
    std::string asserts() const
    {
        std::string lines = log;
        for (const char* progress : {"Lexing JSON buffer\n\n", "Parsing JSON token stream. Token count: "}) {
            for (size_t at; (at = lines.find(progress)) != std::string::npos;) {
                size_t end = std::strcmp(progress, "Lexing JSON buffer\n\n") == 0 ? at + std::strlen(progress)
                                                                                 : lines.find("\n\n", at) + 2;
                lines.erase(at, end - at);
            }
        }
        return lines;
    }
};

std::vector<uint32_t> keyFrames(const Track& track)
{
    std::vector<uint32_t> frames;
    for (uint32_t f = 0; f < track.keys.count; ++f)
        if (track.keys[f])
            frames.push_back(f);
    return frames;
}

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs each test that writes files in a fresh directory and goes back afterwards. A death
// test's child that runs the test again from the start (Windows) works in its parent's
// directory, which it finds in the environment.
struct InTemporaryDirectory : testing::Test {
    static constexpr const char* variable = "KIVREL_TEST_DIRECTORY";
    std::filesystem::path previous;
    std::filesystem::path directory;
    bool owner = false;

    void SetUp() override
    {
        previous = std::filesystem::current_path();
        const char* inherited = std::getenv(variable);
        if (inherited && *inherited) {
            directory = inherited;
        } else {
            // One directory per process and test: several builds may run their tests at once.
            const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
            directory = std::filesystem::temp_directory_path() /
                        ("kivrel_timeline_" + std::to_string(getpid()) + "_" + test->name());
            std::filesystem::remove_all(directory);
            ASSERT_TRUE(std::filesystem::create_directory(directory));
            owner = true;
            static std::string setting;
            setting = std::string(variable) + "=" + directory.string();
            putenv(setting.data());
        }
        std::filesystem::current_path(directory);
    }
    void TearDown() override
    {
        std::filesystem::current_path(previous);
        if (!owner)
            return;
        static std::string cleared = std::string(variable) + "=";
        putenv(cleared.data());
        EXPECT_GT(std::filesystem::remove_all(directory), 0u);
    }
};

using TimelineSave = InTemporaryDirectory;
using TimelineSaveDeathTest = InTemporaryDirectory;

Timeline* makeMixedTimeline()
{
    Timeline* timeline = createTimeline(200);
    timeline->bookmarks.push(5);
    timeline->bookmarks.push(150);
    addTrack(*timeline, "AA::Float", TrackType::FLOAT);
    addTrack(*timeline, "AA::Float3", TrackType::FLOAT3);
    addTrack(*timeline, "AA::Uint", TrackType::UINT);
    addTrack(*timeline, "AA::Nothing", TrackType::INVALID);
    float f1 = -1.234567f, f2 = 1000000.0f;
    setKeyFloat(*timeline, "AA::Float", 100, &f1, easingIndex("ElasticInOut"));
    setKeyFloat(*timeline, "AA::Float", 199, &f2, easingIndex("None"));
    Float3 v{0.0f, -69.970001f, -236.429993f};
    setKeyFloat3(*timeline, "AA::Float3", 3, &v, easingIndex("CircularOut"));
    uint32_t u = 4000000000u;
    setKeyUint(*timeline, "AA::Uint", 0, &u, easingIndex("BounceInOut"));
    return timeline;
}

} // namespace

TEST(TimelineLoad, CompiledInTextGivesThePiecesTracksAndBookmarks)
{
    EXPECT_EQ(sizeof(TIMELINE_JSON_DATA), 4872u);
    Loaded piece(std::string(TIMELINE_JSON_DATA, sizeof(TIMELINE_JSON_DATA)));
    ASSERT_TRUE(piece.ok);
    EXPECT_EQ(piece.asserts(), "");
    const char* names[] = {"SM::NumPart", "SM::SceneID", "SM::TimeSc", "CM::Pos",     "CM::Dir",
                           "CM::Bright",  "CM::Fov",     "BP::BkgColor", "DF::FocusSc", "DF::FocusPt",
                           "TR::BlendFct", "AT::Steps",  "PT::SampleCnt"};
    const TrackType types[] = {TrackType::UINT,  TrackType::UINT,  TrackType::FLOAT, TrackType::FLOAT3, TrackType::FLOAT3,
                               TrackType::FLOAT, TrackType::FLOAT, TrackType::FLOAT3, TrackType::FLOAT, TrackType::FLOAT,
                               TrackType::FLOAT, TrackType::UINT,  TrackType::UINT};
    const Timeline& timeline = *piece.timeline;
    ASSERT_EQ(timeline.tracks.count, 13u);
    for (uint32_t i = 0; i < 13; ++i) {
        EXPECT_STREQ(timeline.tracks[i]->name, names[i]);
        EXPECT_EQ(timeline.tracks[i]->type, types[i]) << names[i];
        EXPECT_EQ(timeline.tracks[i]->keys.count, pieceFrameCount);
    }
    EXPECT_EQ(std::vector<uint32_t>(timeline.bookmarks.begin(), timeline.bookmarks.end()),
              (std::vector<uint32_t>{0, 3254, 3255, 5208, 5318, 6256, 6829, 7400}));

    const Track& position = *timeline.tracks[3];
    EXPECT_EQ(keyFrames(position), (std::vector<uint32_t>{0, 436, 1144, 3255, 3584, 3830, 4742, 6136}));
    const Keyframe& key = *position.keys[3255];
    EXPECT_EQ(key.easing, 21u); // CircularOut
    EXPECT_EQ(key.value.type, TrackType::FLOAT3);
    EXPECT_EQ(asFloat(key.value.x), 0.0f);
    EXPECT_EQ(asFloat(key.value.y), -69.970001f);
    EXPECT_EQ(asFloat(key.value.z), -236.429993f);
    EXPECT_EQ(keyFrames(*timeline.tracks[9]).size(), 18u); // DF::FocusPt
}

TEST(TimelineLoad, EmptyRootsBookmarksAndInvalidTracks)
{
    Loaded empty("{}");
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.timeline->tracks.count, 0u);
    EXPECT_EQ(empty.timeline->bookmarks.count, 0u);

    Loaded document("{\"__bookmarks__\": [],\"X::Gone\":{\"type\":\"INVALID\",\"frames\":[]},\"other\":[1,2],"
                    "\"n\":3}");
    EXPECT_TRUE(document.ok);
    EXPECT_EQ(document.asserts(), "");
    EXPECT_EQ(document.timeline->bookmarks.count, 0u);
    ASSERT_EQ(document.timeline->tracks.count, 1u);
    EXPECT_STREQ(document.timeline->tracks[0]->name, "X::Gone");
    EXPECT_EQ(document.timeline->tracks[0]->type, TrackType::INVALID);
    EXPECT_TRUE(keyFrames(*document.timeline->tracks[0]).empty());
}

TEST(TimelineLoad, LoadingAgainReplacesTracksAndBookmarks)
{
    Loaded twice("{\"__bookmarks__\": [1,2],\"a\":{\"type\":\"UINT\",\"frames\":[]}}");
    std::string second = "{\"__bookmarks__\": [9],\"b\":{\"type\":\"FLOAT\",\"frames\":[]}}";
    testing::internal::CaptureStdout();
    EXPECT_TRUE(loadTimeline(*twice.timeline, second.data(), second.size()));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(twice.timeline->tracks.count, 1u);
    EXPECT_STREQ(twice.timeline->tracks[0]->name, "b");
    ASSERT_EQ(twice.timeline->bookmarks.count, 1u);
    EXPECT_EQ(twice.timeline->bookmarks[0], 9u);
    EXPECT_EQ(twice.timeline->frameCount, pieceFrameCount);
}

TEST(TimelineLoad, DuplicateTrackNamesSendKeysToTheFirst)
{
    Loaded twice("{\"a\":{\"type\":\"UINT\",\"frames\":[{\"frame\":1,\"easing\":\"None\",\"value\":5}]},"
                 "\"a\":{\"type\":\"UINT\",\"frames\":[{\"frame\":2,\"easing\":\"None\",\"value\":6}]}}");
    ASSERT_EQ(twice.timeline->tracks.count, 2u);
    EXPECT_EQ(keyFrames(*twice.timeline->tracks[0]), (std::vector<uint32_t>{1, 2}));
    EXPECT_TRUE(keyFrames(*twice.timeline->tracks[1]).empty());
}

TEST(TimelineLoad, RootThatIsNotAnObjectLeavesTheTimelineAsItWas)
{
    Loaded kept("{\"a\":{\"type\":\"UINT\",\"frames\":[]}}");
    for (std::string text : {"[1,2]", "7", "\"text\"", "]"}) {
        testing::internal::CaptureStdout();
        EXPECT_FALSE(loadTimeline(*kept.timeline, text.data(), text.size())) << text;
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(kept.timeline->tracks.count, 1u);
    }
}

TEST(TimelineLoad, MembersOfTheWrongShapeAreReportedAndSkipped)
{
    // Each broken track or key sits between good ones, which must still load.
    std::string longName(300, 'L');
    Loaded broken(std::string("{\"__bookmarks__\": [1.5,2.5],") +
                  "\"t1\":{\"type\":7,\"frames\":[]}," +
                  "\"t2\":{\"type\":\"DOUBLE\",\"frames\":[]}," +
                  "\"t3\":{\"frames\":[]}," +
                  "\"" + longName + "\":{\"type\":\"UINT\",\"frames\":[{\"frame\":0,\"easing\":\"None\",\"value\":1}]}," +
                  "\"f\":{\"type\":\"FLOAT\",\"frames\":[" +
                  "{\"frame\":0,\"easing\":\"None\",\"value\":1.5}," +
                  "{\"frame\":\"1\",\"easing\":\"None\",\"value\":1.5}," +
                  "{\"frame\":2,\"easing\":3,\"value\":1.5}," +
                  "{\"frame\":3,\"easing\":\"linear\",\"value\":1.5}," +
                  "{\"frame\":4,\"easing\":\"None\",\"value\":\"1.5\"}," +
                  "{\"frame\":5,\"easing\":\"None\"}," +
                  "7,[1]," +
                  "{\"frame\":99999,\"easing\":\"None\",\"value\":1.5}," +
                  "{\"frame\":6,\"easing\":\"Linear\",\"value\":2.5}]}," +
                  "\"v\":{\"type\":\"FLOAT3\",\"frames\":[" +
                  "{\"frame\":0,\"easing\":\"None\",\"value\":[1.0,2.0]}," +
                  "{\"frame\":1,\"easing\":\"None\",\"value\":[1.0,2,3.0]}," +
                  "{\"frame\":2,\"easing\":\"None\",\"value\":1.0}," +
                  "{\"frame\":3,\"easing\":\"None\",\"value\":[]}," +
                  "{\"frame\":4,\"easing\":\"None\",\"value\":[1.0,2.0,3.0,4.0]}]}," +
                  "\"p\":{\"type\":\"UINT\",\"frames\":[1,2]}," +
                  "\"q\":{\"type\":\"UINT\",\"frames\":{}}," +
                  "\"u\":{\"type\":\"UINT\",\"frames\":[{\"frame\":0,\"easing\":\"None\",\"value\":8}]}}");
    ASSERT_TRUE(broken.ok);
    EXPECT_EQ(broken.asserts(),
              "ASSERT: Bookmarks are not a list of integers\n"
              "ASSERT: Value of key \"type\" has the wrong type\n"
              "ASSERT: Unknown track type \"DOUBLE\"\n"
              "ASSERT: Failed to find value with key \"type\"\n\n"
              "ASSERT: Track name exceeds 255 bytes\n"
              "ASSERT: Value of key \"frame\" has the wrong type\n"
              "ASSERT: Value of key \"easing\" has the wrong type\n"
              "ASSERT: Unknown easing \"linear\"\n"
              "ASSERT: Value of key \"value\" has the wrong type\n"
              "ASSERT: Failed to find value with key \"value\"\n\n"
              "ASSERT: Key of track \"f\" is not an object\n"
              "ASSERT: Key of track \"f\" is not an object\n"
              "ASSERT: Exceeded frame index. Max frame index is 10843\n"
              "ASSERT: FLOAT3 value of track \"v\" needs three numbers\n"
              "ASSERT: FLOAT3 value of track \"v\" needs three numbers\n"
              "ASSERT: FLOAT3 value of track \"v\" needs three numbers\n"
              "ASSERT: Key of track \"p\" is not an object\n"
              "ASSERT: Value of key \"frames\" has the wrong type\n");
    const Timeline& timeline = *broken.timeline;
    EXPECT_EQ(timeline.bookmarks.count, 0u);
    ASSERT_EQ(timeline.tracks.count, 5u);
    EXPECT_STREQ(timeline.tracks[0]->name, "f");
    EXPECT_EQ(keyFrames(*timeline.tracks[0]), (std::vector<uint32_t>{0, 6}));
    EXPECT_EQ(asFloat(timeline.tracks[0]->keys[6]->value.x), 2.5f);
    EXPECT_EQ(timeline.tracks[0]->keys[6]->easing, 1u);
    // [1.0,2,3.0] mixes both number forms; extra elements of a FLOAT3 value are not read.
    EXPECT_EQ(keyFrames(*timeline.tracks[1]), (std::vector<uint32_t>{1, 4}));
    EXPECT_EQ(asFloat(timeline.tracks[1]->keys[1]->value.y), 2.0f);
    EXPECT_EQ(asFloat(timeline.tracks[1]->keys[4]->value.z), 3.0f);
    EXPECT_STREQ(timeline.tracks[4]->name, "u");
    EXPECT_EQ(timeline.tracks[4]->keys[0]->value.x, 8u);
}

TEST(TimelineLoad, NumbersTakeTheTypeOfTheirTrack)
{
    auto key = [](const char* frame, const char* value) {
        return std::string("{\"frame\":") + frame + ",\"easing\":\"None\",\"value\":" + value + "}";
    };
    Loaded loaded("{\"f\":{\"type\":\"FLOAT\",\"frames\":[" + key("0", "1") + "," + key("2.5", "-3") + "]}," +
                  "\"u\":{\"type\":\"UINT\",\"frames\":[" + key("0", "2.7") + "," + key("1", "4.0") + "," +
                  key("2", "-1.5") + "]}," + "\"v\":{\"type\":\"FLOAT3\",\"frames\":[" + key("0", "[1,-2,3]") + "]}}");
    // A fraction in a UINT track or as a frame is truncated toward zero (negative: 0), and
    // reported unless it was whole.
    EXPECT_EQ(loaded.asserts(), "ASSERT: Frame 2.500000 of track \"f\" is not a whole number: taken as 2\n"
                                "ASSERT: Value 2.700000 of track \"u\" is not a whole number: taken as 2\n"
                                "ASSERT: Value -1.500000 of track \"u\" is not a whole number: taken as 0\n");
    const Timeline& timeline = *loaded.timeline;
    ASSERT_EQ(timeline.tracks.count, 3u);
    // The integer 1 is 1.0 in a FLOAT track, not the float whose bits are 1.
    EXPECT_EQ(asFloat(timeline.tracks[0]->keys[0]->value.x), 1.0f);
    EXPECT_EQ(asFloat(timeline.tracks[0]->keys[2]->value.x), -3.0f);
    EXPECT_EQ(timeline.tracks[1]->keys[0]->value.x, 2u);
    EXPECT_EQ(timeline.tracks[1]->keys[1]->value.x, 4u);
    EXPECT_EQ(timeline.tracks[1]->keys[2]->value.x, 0u);
    EXPECT_EQ(asFloat(timeline.tracks[2]->keys[0]->value.y), -2.0f);
    // Saved, the FLOAT value is written as a fraction and reads back as a float.
    std::string text = serializeTimeline(timeline, false);
    EXPECT_NE(text.find("{\"frame\":0,\"easing\":\"None\",\"value\":1.000000}"), std::string::npos) << text;
    Loaded again(text);
    EXPECT_EQ(again.asserts(), "");
    EXPECT_EQ(asFloat(again.timeline->tracks[0]->keys[0]->value.x), 1.0f);
}

TEST(TimelineLoadDeathTest, TruncatedTextEndsInAReaderPanic)
{
    std::string piece(TIMELINE_JSON_DATA);
    // Cuts inside a string, a number, after a colon, a comma and a bracket.
    for (size_t length : {1ul, 2ul, 17ul, 20ul, 25ul, 60ul, 61ul, 64ul, 75ul, 90ul, 1000ul, 4000ul, 4870ul}) {
        std::string text = piece.substr(0, length);
        // The text has no escaped quotes: an odd count means the cut is inside a string.
        bool insideString = std::count(text.begin(), text.end(), '"') % 2 == 1;
        EXPECT_EXIT(
            {
                std::fflush(stdout);
                dup2(STDERR_FILENO, STDOUT_FILENO);
                Timeline* timeline = createTimeline(pieceFrameCount);
                loadTimeline(*timeline, text.data(), text.size());
            },
            testing::ExitedWithCode(minusOneExitStatus),
            insideString ? "PANIC: Incomplete string" : "PANIC: Missing")
            << length;
    }
}

TEST(TimelineSerialize, CompiledInTextComesBackCharacterForCharacter)
{
    Loaded piece(TIMELINE_JSON_DATA);
    std::string plain = serializeTimeline(*piece.timeline, false);
    EXPECT_EQ(plain.size(), 4871u);
    EXPECT_EQ(plain, std::string(TIMELINE_JSON_DATA));
    EXPECT_EQ(plain.rfind("{\"frame\":3255,\"easing\":\"None\",\"value\":4}]}}"), 4871u - 43u);

    // The escaped form is the plain text with a backslash before every double quote (the
    // piece's names hold no characters that need more), and it is the committed header.
    std::string expected;
    for (char c : plain) {
        if (c == '"')
            expected += '\\';
        expected += c;
    }
    std::string escaped = serializeTimeline(*piece.timeline, true);
    EXPECT_EQ(escaped, expected);
    EXPECT_EQ(readFile(KIVREL_SOURCE_DIR "/code/kivrel_timeline.json.h"),
              "#pragma once\nconst char TIMELINE_JSON_DATA[] = \"" + escaped + "\";\n");
}

TEST(TimelineSerialize, PiecesOfTheDocument)
{
    Timeline* timeline = createTimeline(200);
    // No tracks and no bookmarks: the trailing comma the reader accepts.
    EXPECT_EQ(serializeTimeline(*timeline, false), "{\"__bookmarks__\": [],}");
    addTrack(*timeline, "A", TrackType::FLOAT3);
    addTrack(*timeline, "B", TrackType::UINT);
    Float3 v{0.0f, -69.970001f, -236.429993f};
    setKeyFloat3(*timeline, "A", 100, &v, easingIndex("CircularOut"));
    setKeyFloat3(*timeline, "A", 150, &v, 0);
    EXPECT_EQ(serializeTimeline(*timeline, false),
              "{\"__bookmarks__\": [],"
              "\"A\":{\"type\":\"FLOAT3\",\"frames\":["
              "{\"frame\":100,\"easing\":\"CircularOut\",\"value\":[0.000000,-69.970001,-236.429993]},"
              "{\"frame\":150,\"easing\":\"None\",\"value\":[0.000000,-69.970001,-236.429993]}]},"
              "\"B\":{\"type\":\"UINT\",\"frames\":[]}}");
    destroyTimeline(timeline);
}

TEST(TimelineSerialize, EscapedNamesStayInsideTheStringLiteral)
{
    Timeline* timeline = createTimeline(10);
    addTrack(*timeline, "a\\b\nc", TrackType::INVALID);
    // Plain: the name as it is. Escaped: backslash doubled, line feed as an octal escape.
    EXPECT_EQ(serializeTimeline(*timeline, false),
              "{\"__bookmarks__\": [],\"a\\b\nc\":{\"type\":\"INVALID\",\"frames\":[]}}");
    EXPECT_EQ(serializeTimeline(*timeline, true),
              "{\\\"__bookmarks__\\\": [],\\\"a\\\\b\\012c\\\":{\\\"type\\\":\\\"INVALID\\\",\\\"frames\\\":[]}}");
    destroyTimeline(timeline);
}

TEST(TimelineSerialize, SaveAndLoadRoundTripIsLosslessToSixDecimals)
{
    Timeline* original = makeMixedTimeline();
    std::string text = serializeTimeline(*original, false);
    Loaded copy(text);
    ASSERT_TRUE(copy.ok);
    EXPECT_EQ(copy.asserts(), "");
    Timeline* loaded = copy.timeline;
    ASSERT_EQ(loaded->tracks.count, original->tracks.count);
    EXPECT_EQ(std::vector<uint32_t>(loaded->bookmarks.begin(), loaded->bookmarks.end()),
              (std::vector<uint32_t>{5, 150}));
    for (uint32_t t = 0; t < original->tracks.count; ++t) {
        const Track& a = *original->tracks[t];
        const Track& b = *loaded->tracks[t];
        EXPECT_STREQ(a.name, b.name);
        EXPECT_EQ(a.type, b.type);
        for (uint32_t f = 0; f < 200; ++f) {
            ASSERT_EQ(a.keys[f] == nullptr, b.keys[f] == nullptr) << a.name << " " << f;
            if (!a.keys[f])
                continue;
            EXPECT_EQ(a.keys[f]->easing, b.keys[f]->easing);
            EXPECT_EQ(a.keys[f]->value.type, b.keys[f]->value.type);
            if (a.type == TrackType::UINT) {
                EXPECT_EQ(a.keys[f]->value.x, b.keys[f]->value.x);
                continue;
            }
            const uint32_t* wa = &a.keys[f]->value.x;
            const uint32_t* wb = &b.keys[f]->value.x;
            for (int w = 0; w < 3; ++w)
                EXPECT_NEAR(asFloat(wa[w]), asFloat(wb[w]), 5e-7 * std::max(1.0f, std::abs(asFloat(wa[w]))));
        }
    }
    // Written again, the loaded timeline gives the same text.
    EXPECT_EQ(serializeTimeline(*loaded, false), text);
    destroyTimeline(original);
}

TEST_F(TimelineSave, WritesTheDocumentAndTheHeader)
{
    ASSERT_TRUE(std::filesystem::create_directory("code"));
    Timeline* timeline = makeMixedTimeline();
    testing::internal::CaptureStdout();
    saveTimeline(*timeline);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Saved timeline file kivrel_timeline.json\nSaved timeline file header code/kivrel_timeline.json.h\n");
    EXPECT_EQ(readFile("kivrel_timeline.json"), serializeTimeline(*timeline, false));
    EXPECT_EQ(readFile("code/kivrel_timeline.json.h"),
              "#pragma once\nconst char TIMELINE_JSON_DATA[] = \"" + serializeTimeline(*timeline, true) + "\";\n");
    destroyTimeline(timeline);
}

TEST_F(TimelineSave, MissingCodeFolderFailsOnlyTheHeader)
{
    Timeline* timeline = makeMixedTimeline();
    testing::internal::CaptureStdout();
    saveTimeline(*timeline);
    EXPECT_FALSE(exportTimelineHeader(*timeline, "code/other.h"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Saved timeline file kivrel_timeline.json\nFailed to open file code/kivrel_timeline.json.h\n"
              "Failed to open file code/other.h\n");
    EXPECT_EQ(readFile("kivrel_timeline.json"), serializeTimeline(*timeline, false));
    // A document that cannot be opened skips the header.
    ASSERT_TRUE(std::filesystem::remove("kivrel_timeline.json"));
    ASSERT_TRUE(std::filesystem::create_directory("kivrel_timeline.json"));
    ASSERT_TRUE(std::filesystem::create_directory("code"));
    testing::internal::CaptureStdout();
    saveTimeline(*timeline);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failed to open file kivrel_timeline.json\n");
    destroyTimeline(timeline);
}

TEST_F(TimelineSaveDeathTest, PanicHookSavesTheTimelineBeforeTheExit)
{
    std::filesystem::create_directory("code"); // a child that runs the test again finds it made
    ASSERT_TRUE(std::filesystem::is_directory("code"));
    Timeline* timeline = makeMixedTimeline();
    EXPECT_EXIT(
        {
            std::fflush(stdout);
            dup2(STDERR_FILENO, STDOUT_FILENO);
            panicHook.function = saveTimelineHook;
            panicHook.userData = &timeline;
            PANIC("PANIC: Failed to present\n");
        },
        testing::ExitedWithCode(minusOneExitStatus),
        "^PANIC: Failed to present\nSaved timeline file kivrel_timeline.json\n"
        "Saved timeline file header code/kivrel_timeline.json.h\n$");
    EXPECT_EQ(readFile("kivrel_timeline.json"), serializeTimeline(*timeline, false));
    // A destroyed timeline leaves a null variable behind, and the hook then saves nothing.
    destroyTimeline(timeline);
    ASSERT_TRUE(std::filesystem::remove("kivrel_timeline.json"));
    testing::internal::CaptureStdout();
    saveTimelineHook(&timeline);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(access("kivrel_timeline.json", F_OK), 0);
}
