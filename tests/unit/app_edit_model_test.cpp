// The edit model in a working directory of its own: key edits and their undo and redo across a
// save, the simulation frames they report, reloads of changed and of broken files, and the
// operations on many keys at once.
#include "app/edit_model.h"

#include "app/key_edits.h"

#include "app/main_loop.h"
#include "app/parameters.h"
#include "app/timeline_save.h"
#include "system/system.h"
#include "timeline/easing.h"
#include "timeline/timeline_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace fs = std::filesystem;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// Starts the model in an empty folder of its own (with code/ for the header), left at the end.
struct EditFolder : testing::Test {
    fs::path previous = fs::current_path();
    EditModel model;

    void SetUp() override
    {
        // A folder per test: ctest runs the tests of this fixture side by side.
        const char* test = testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::path folder = fs::path(KIVREL_TEST_OUTPUT_DIR) / test;
        fs::remove_all(folder);
        fs::create_directories(folder / "code");
        fs::current_path(folder);
        CaptureStdout();
        startEditModel(model, timelineFrameCount);
        GetCapturedStdout();
    }
    void TearDown() override
    {
        stopEditModel(model);
        fs::current_path(previous);
    }
    uint32_t track(const char* name) const { return trackIndex(*model.timeline, name); }
    // The track's value at frame as text, with " key <easing>" where a key stands.
    std::string valueAt(const char* name, uint32_t frame) const
    {
        const Track& t = *findTrack(*model.timeline, name);
        FrameValue value = evaluateTrack(t, frame, nullptr);
        char text[64];
        if (t.type == TrackType::UINT)
            std::snprintf(text, sizeof(text), "%u", value.x);
        else
            std::snprintf(text, sizeof(text), "%g", double(asFloat(value.x)));
        return t.keys[frame] ? std::string(text) + " key " + easingNames[t.keys[frame]->easing] : text;
    }
    // The track's keys as "frame:value" ("/easing" unless None), or the bookmarks.
    std::string keysOf(const char* name) const
    {
        std::string text;
        char item[96];
        const Track* t = findTrack(*model.timeline, name);
        for (uint32_t frame = 0; t && frame < t->keys.count; ++frame) {
            const Keyframe* key = t->keys[frame];
            if (!key)
                continue;
            const FrameValue v = key->value;
            if (t->type == TrackType::FLOAT3)
                std::snprintf(item, sizeof(item), " %u:(%g,%g,%g)", frame, asFloat(v.x), asFloat(v.y), asFloat(v.z));
            else
                std::snprintf(item, sizeof(item), " %u:%g", frame, t->type == TrackType::UINT ? double(v.x) : asFloat(v.x));
            text += item + (key->easing ? "/" + std::string(easingNames[key->easing]) : "");
        }
        for (uint32_t bookmark : model.timeline->bookmarks)
            text += t ? "" : " " + std::to_string(bookmark);
        return text.empty() ? text : text.substr(1);
    }
    // Another program's save (the model goes by the bytes, not the time).
    void writeFile(const std::string& text)
    {
        ASSERT_EQ(writeWholeFile(timelineFileName, text.data(), text.size()), FileWriteResult::Ok);
    }
};

FrameValue floatValue(float x) { return {TrackType::FLOAT, floatBits(x), 0, 0}; }

} // namespace

TEST_F(EditFolder, EditsUndoAndRedoAcrossASaveAndReportTheFirstFrameTheSimulationChanges)
{
    // The compiled-in DF::FocusSc: 0 None 200, 888 Linear 200, 1051 None 400, 3255 None 20.
    // CM::Pos: 0 None, 436 Linear, 1144 None. SM::NumPart: 0 None 64, 3254 None 128.
    const uint32_t focus = track("DF::FocusSc"), camera = track("CM::Pos"), count = track("SM::NumPart");
    const uint32_t linear = easingIndex("Linear");
    EXPECT_EQ(takeSimulationChange(model), 0u); // a start lays every frame out afresh
    struct Step {
        const char* what;
        std::function<bool()> edit;
        bool accepted;
        const char* trackName;
        uint32_t frame;
        const char* expected;
        uint32_t simulationFrom;
    } steps[] = {
        // 944 lies half-way from 888 (200, Linear) to the new 1000 (300): 250.
        {"add", [&] { return addKey(model, focus, 1000, floatValue(300), linear); }, true, "DF::FocusSc", 944, "250", noFrame},
        {"add onto a key", [&] { return addKey(model, focus, 1000, floatValue(1), 0); }, false, "DF::FocusSc", 1000, "300 key Linear", noFrame},
        {"add of another type", [&] { return addKey(model, focus, 5, {TrackType::UINT, 1, 0, 0}, 0); }, false, "DF::FocusSc", 5, "200", noFrame},
        {"add past the end", [&] { return addKey(model, focus, timelineFrameCount, floatValue(1), 0); }, false, "DF::FocusSc", 5, "200", noFrame},
        {"easing outside the table", [&] { return changeKeyEasing(model, focus, 888, easingCount); }, false, "DF::FocusSc", 944, "250", noFrame},
        {"easing None holds 200", [&] { return changeKeyEasing(model, focus, 888, 0); }, true, "DF::FocusSc", 944, "200", noFrame},
        {"move onto the 400 key", [&] { return moveKey(model, focus, 1000, 1051); }, true, "DF::FocusSc", 1051, "300 key Linear", noFrame},
        {"move of no key", [&] { return moveKey(model, focus, 1000, 1100); }, false, "DF::FocusSc", 1000, "200", noFrame},
        {"delete", [&] { return deleteKey(model, focus, 1051); }, true, "DF::FocusSc", 1051, "200", noFrame},
        {"save", [&] { return saveEdits(model) == TimelineSaved::DocumentAndHeader && reloadChangedTimeline(model) == FilePoll::Unchanged; }, true, "DF::FocusSc", 1051, "200", noFrame},
        {"a value outside the range", [&] { return changeKeyValue(model, focus, 0, floatValue(20000)); }, false, "DF::FocusSc", 0, "200 key None", noFrame},
        {"a value not finite", [&] { return addKey(model, focus, 5, floatValue(INFINITY), 0); }, false, "DF::FocusSc", 5, "200", noFrame},
        {"undo the delete", [&] { return undoEdit(model); }, true, "DF::FocusSc", 1051, "300 key Linear", noFrame},
        {"undo the move", [&] { return undoEdit(model); }, true, "DF::FocusSc", 1051, "400 key None", noFrame},
        {"the moved key is back", [&] { return true; }, true, "DF::FocusSc", 1000, "300 key Linear", noFrame},
        {"undo the easing", [&] { return undoEdit(model); }, true, "DF::FocusSc", 944, "250", noFrame},
        {"redo the easing", [&] { return redoEdit(model); }, true, "DF::FocusSc", 944, "200", noFrame},
        // A held segment changes from the key's own frame, an eased one after the key before it.
        {"a particle count", [&] { return addKey(model, count, 100, {TrackType::UINT, 96, 0, 0}, 0); }, true, "SM::NumPart", 150, "96", 100},
        {"a new edit drops the redo", [&] { return !redoEdit(model); }, true, "SM::NumPart", 100, "96 key None", noFrame},
        {"the camera's eased segment", [&] { return deleteKey(model, camera, 1144); }, true, "DF::FocusSc", 0, "200 key None", 437},
        {"undo reports it again", [&] { return undoEdit(model); }, true, "DF::FocusSc", 0, "200 key None", 437},
    };
    for (const Step& step : steps) {
        CaptureStdout();
        EXPECT_EQ(step.edit(), step.accepted) << step.what;
        GetCapturedStdout();
        EXPECT_EQ(valueAt(step.trackName, step.frame), step.expected) << step.what;
        EXPECT_EQ(takeSimulationChange(model), step.simulationFrom) << step.what;
    }
    // The save wrote the timeline as it was then (the key at 1000 deleted by then) and its header.
    std::string saved, header;
    ASSERT_EQ(readWholeFile(timelineFileName, saved), FileReadResult::Ok);
    ASSERT_EQ(readWholeFile("code/kivrel_timeline.json.h", header), FileReadResult::Ok);
    EXPECT_NE(saved.find("{\"frame\":888,\"easing\":\"None\",\"value\":200.000000},{\"frame\":3255"), std::string::npos);
    EXPECT_EQ(header.rfind("#pragma once\nconst char TIMELINE_JSON_DATA[] = \"", 0), 0u);
}

TEST_F(EditFolder, ReloadsAChangedFileAndKeepsTheTimelineAndTheErrorOfABrokenOne)
{
    // Without code/ the document is saved and the header is not: said so, not taken for both.
    fs::remove_all("code");
    CaptureStdout();
    EXPECT_EQ(saveEdits(model), TimelineSaved::DocumentOnly);
    std::string saved = serializeTimeline(*model.timeline, false);
    // Another program's file of the same time as the save is its own, not the save: the bytes tell.
    // The saved file read back is the same timeline; a changed value arrives whole.
    // The particles' frames change from the first key that differs in a track that moves them
    // (CM::Pos at 3830 follows an unchanged key without easing), and not at all when none does.
    takeSimulationChange(model);
    std::string moved = saved;
    moved.replace(moved.find("[-23.230000"), 11, "[-20.000000");
    const fs::file_time_type saveTime = fs::last_write_time(timelineFileName);
    writeFile(moved);
    fs::last_write_time(timelineFileName, saveTime);
    EXPECT_EQ(reloadChangedTimeline(model), FilePoll::Reloaded);
    EXPECT_EQ(takeSimulationChange(model), 3830u);
    writeFile(saved);
    EXPECT_EQ(reloadChangedTimeline(model), FilePoll::Reloaded);
    EXPECT_EQ(serializeTimeline(*model.timeline, false), saved);
    EXPECT_EQ(takeSimulationChange(model), 3830u);
    // Over unsaved edits a change on disk drops neither: the edit stays, a save asks first, and
    // the user's reload takes the file (the edit cannot be undone on the timeline it replaced).
    std::string changed = saved;
    changed.replace(changed.find("\"value\":64"), 10, "\"value\":32");
    addKey(model, track("CM::Fov"), 10, floatValue(1), 0);
    writeFile(changed);
    EXPECT_EQ(reloadChangedTimeline(model), FilePoll::ChangedOverEdits);
    EXPECT_TRUE(model.changedOnDisk);
    EXPECT_EQ(valueAt("CM::Fov", 10), "1 key None");
    keepEdits(model);
    EXPECT_EQ(checkSave(model), SaveGuard::FileChangedOnDisk);
    EXPECT_EQ(reloadChangedTimeline(model), FilePoll::Unchanged); // each content once
    EXPECT_TRUE(reloadFromDisk(model));
    EXPECT_EQ(valueAt("SM::NumPart", 0), "32 key None");
    EXPECT_FALSE(undoEdit(model));
    EXPECT_EQ(takeSimulationChange(model), 0u);
    EXPECT_EQ(checkSave(model), SaveGuard::Free);
    GetCapturedStdout();

    const struct {
        std::string text, error;
    } broken[] = {
        {"{\"SM::NumPart\": {\"type\": \"UINT\"", "PANIC: Missing }\n"},
        {"{\n\"a\": \"x", "PANIC: Incomplete string at line 2\n"},
        {"[1, 2]", "The document is not an object\n"},
        {"", "The document holds no value\n"},
        {std::string(checkedDocumentLimit + 1, ' '), "The file is larger than 2097152 bytes\n"},
    };
    for (const auto& [text, error] : broken) {
        writeFile(text);
        CaptureStdout();
        EXPECT_EQ(reloadChangedTimeline(model), FilePoll::NotLoaded) << error;
        GetCapturedStdout();
        EXPECT_STREQ(model.lastLoad.error.message, error.c_str());
        EXPECT_EQ(serializeTimeline(*model.timeline, false), changed) << error;
        EXPECT_EQ(checkSave(model), SaveGuard::FileDidNotLoad) << error;
    }
    writeFile(saved);
    CaptureStdout();
    EXPECT_EQ(reloadChangedTimeline(model), FilePoll::Reloaded);
    GetCapturedStdout();
    EXPECT_FALSE(model.lastLoad.error.failed);
    EXPECT_EQ(valueAt("SM::NumPart", 0), "64 key None");
}

TEST_F(EditFolder, AFileThatDidNotLoadAtTheStartIsNotSavedOverUnaskedNorByAPanicAndNoEditIsLostAtTheEnd)
{
    const std::string broken = "{\"AT::Steps\":{\"type\":\"UINT\",\"frames\":[{\"frame\":0,\"easing\":\"None\",\"value\":1000}]}}";
    ASSERT_EQ(writeWholeFile(timelineFileName, broken.data(), broken.size()), FileWriteResult::Ok);
    stopEditModel(model);
    CaptureStdout();
    startEditModel(model, timelineFrameCount);
    EXPECT_STREQ(model.lastLoad.error.message, "Track \"AT::Steps\", key at frame 0: value 1000 is outside [0, 14]\n");
    EXPECT_EQ(model.timeline->tracks.count, demoTrackCount); // the compiled-in timeline
    EXPECT_EQ(checkSave(model), SaveGuard::FileDidNotLoad);
    saveEditsOnPanic(&model);
    GetCapturedStdout();
    std::string onDisk, rescued;
    EXPECT_EQ(readWholeFile(timelineFileName, onDisk), FileReadResult::Ok);
    EXPECT_EQ(onDisk, broken);
    EXPECT_EQ(readWholeFile("kivrel_timeline.unsaved.json", rescued), FileReadResult::Ok);
    EXPECT_EQ(rescued, serializeTimeline(*model.timeline, false));
    // Ended with an edit that is in no file: it is written beside the file, which stays.
    fs::remove("kivrel_timeline.unsaved.json");
    addKey(model, track("CM::Fov"), 10, floatValue(1), 0);
    const std::string edited = serializeTimeline(*model.timeline, false);
    CaptureStdout();
    stopEditModel(model);
    startEditModel(model, timelineFrameCount);
    GetCapturedStdout();
    EXPECT_EQ(readWholeFile("kivrel_timeline.unsaved.json", rescued), FileReadResult::Ok);
    EXPECT_EQ(rescued, edited);
}

TEST_F(EditFolder, OperationsOnManyKeysEachUndoAndRedoAsOneStepToTheExactDocument)
{
    // The compiled-in DF::FocusSc: 0 200, 888 200 Linear, 1051 400, 3255 20; AT::Steps 0 3, 3255 2;
    // CM::Pos 436 (0, 0, -208) Linear; bookmarks 0 3254 3255 5208 5318 6256 6829 7400.
    const uint32_t focus = track("DF::FocusSc"), blend = track("TR::BlendFct"), steps = track("AT::Steps");
    const uint32_t camera = track("CM::Pos"), linear = easingIndex("Linear");
    const KeySelection pair = keysInside(*model.timeline, focus, focus, 800, 1100);
    ASSERT_EQ(pair, (KeySelection{{focus, 888}, {focus, 1051}}));
    EXPECT_EQ(keysInside(*model.timeline, blend, focus, 3300, 3000).size(), 4u); // FocusSc, FocusPt 3223 3255, BlendFct
    KeySelection selection;
    const double up50[3] = {50, 0, 0}, down[3] = {-1000, 0, 0}, xyz[3] = {1, 2, 3}, plus1_6[3] = {1.6, 0, 0},
                 plus20[3] = {20, 0, 0}, at200[3] = {200, 0, 0}, at0[3] = {0, 0, 0};
    KeyClipboard clipboard;
    const FrameValue somewhere = {TrackType::FLOAT3, floatBits(1), floatBits(2), floatBits(3)};
    const TrackValue keyed[] = {{camera, somewhere}, {focus, floatValue(7)}};
    struct Step {
        const char* what;
        KeySelection selected;
        std::function<KeyEdit()> edit;
        bool done;
        const char* name;
        const char* expected;
    } table[] = {
        {"move one beat on", pair, [&] { return moveKeys(model, selection, 144); }, true, "DF::FocusSc", "0:200 1032:200/Linear 1195:400 3255:20"},
        {"move back past frame 0: held there, the key on it replaced", pair, [&] { return moveKeys(model, selection, -2000); }, true, "DF::FocusSc", "0:200/Linear 163:400 3255:20"},
        {"move past the end: held at the last frame", pair, [&] { return moveKeys(model, selection, 20000); }, true, "DF::FocusSc", "0:200 3255:20 10679:200/Linear 10842:400"},
        {"stretch x2 about the first key", pair, [&] { return stretchKeys(model, selection, 888, 2.0); }, true, "DF::FocusSc", "0:200 888:200/Linear 1214:400 3255:20"},
        {"squeeze onto one frame: the farther key one frame away", pair, [&] { return stretchKeys(model, selection, 1000, 0.001); }, true, "DF::FocusSc", "0:200 999:200/Linear 1000:400 3255:20"},
        {"stretch out of the timeline", pair, [&] { return stretchKeys(model, selection, 0, 20.0); }, false, "DF::FocusSc", "0:200 888:200/Linear 1051:400 3255:20"},
        {"stretch by 0", pair, [&] { return stretchKeys(model, selection, 888, 0.0); }, false, "DF::FocusSc", "0:200 888:200/Linear 1051:400 3255:20"},
        {"bias", pair, [&] { return biasKeys(model, selection, up50); }, true, "DF::FocusSc", "0:200 888:250/Linear 1051:450 3255:20"},
        {"scale about 200", pair, [&] { return scaleKeys(model, selection, at200, 2.0); }, true, "DF::FocusSc", "0:200 888:200/Linear 1051:600 3255:20"},
        {"bias below the range: all or nothing", pair, [&] { return biasKeys(model, selection, down); }, false, "DF::FocusSc", "0:200 888:200/Linear 1051:400 3255:20"},
        {"bias per component", {{camera, 436}}, [&] { return biasKeys(model, selection, xyz); }, true, "CM::Pos", "... 436:(1,2,-205)/Linear 1144:"},
        {"whole numbers: 3 + 1.6", {{steps, 0}}, [&] { return biasKeys(model, selection, plus1_6); }, true, "AT::Steps", "0:5 3255:2"},
        {"whole numbers: 3 x 1.5, halves away", {{steps, 0}}, [&] { return scaleKeys(model, selection, at0, 1.5); }, true, "AT::Steps", "0:5 3255:2"},
        {"whole numbers past the range", {{steps, 0}}, [&] { return biasKeys(model, selection, plus20); }, false, "AT::Steps", "0:3 3255:2"},
        {"easing of many", pair, [&] { return setKeysEasing(model, selection, linear); }, true, "DF::FocusSc", "0:200 888:200/Linear 1051:400/Linear 3255:20"},
        {"delete", pair, [&] { return deleteKeys(model, selection); }, true, "DF::FocusSc", "0:200 3255:20"},
        {"copy, paste at 5000 over 3255's span", {{focus, 888}, {focus, 1051}, {blend, 3255}}, [&] { clipboard = copyKeys(*model.timeline, selection); return pasteKeys(model, clipboard, 5000, selection); }, true, "TR::BlendFct", "0:0.15 3255:0.05 7367:0.05"},
        {"paste that would pass the end", {}, [&] { return pasteKeys(model, clipboard, 10842 - 2366, selection); }, false, "TR::BlendFct", "0:0.15 3255:0.05"},
        {"ripple: 100 frames in after 3254, its own bookmark stays", {}, [&] { return insertTime(model, 3254, 100); }, true, "__bookmarks__", "0 3254 3355 5308 5418 6356 6929 7500"},
        {"ripple at frame 0: the first keys stay", {}, [&] { return insertTime(model, 0, 10); }, true, "DF::FocusSc", "0:200 898:200/Linear 1061:400 3265:20"},
        {"ripple past the end", {}, [&] { return insertTime(model, 3255, 3443); }, false, "__bookmarks__", "0 3254 3255 5208 5318 6256 6829 7400"},
        {"ripple: 300 frames out at 1000", {}, [&] { return removeTime(model, 1000, 300); }, true, "DF::FocusSc", "0:200 888:200/Linear 2955:20"},
        {"ripple out at 3250: the bookmarks inside go", {}, [&] { return removeTime(model, 3250, 10); }, true, "__bookmarks__", "0 5198 5308 6246 6819 7390"},
        {"key values at the playhead: eased as the segment is", {}, [&] { return keyValuesAt(model, 600, keyed); }, true, "CM::Pos", "... 436:(0,0,-208)/Linear 600:(1,2,3)/Linear 1144:"},
    };
    for (const Step& step : table) {
        const std::string before = serializeTimeline(*model.timeline, false);
        selection = step.selected;
        const KeyEdit edit = step.edit();
        EXPECT_EQ(edit.done, step.done) << step.what << ": " << edit.why;
        const std::string after = serializeTimeline(*model.timeline, false), keys = keysOf(step.name);
        const std::string expected = step.expected; // "... part" for a part of a long track
        if (expected.starts_with("... "))
            EXPECT_NE(keys.find(expected.substr(4)), std::string::npos) << step.what << ": " << keys;
        else
            EXPECT_EQ(keys, expected) << step.what;
        if (!edit.done) {
            EXPECT_EQ(after, before) << step.what;
            continue;
        }
        ASSERT_TRUE(undoEdit(model)) << step.what;
        EXPECT_EQ(serializeTimeline(*model.timeline, false), before) << step.what;
        ASSERT_TRUE(redoEdit(model)) << step.what;
        EXPECT_EQ(serializeTimeline(*model.timeline, false), after) << step.what;
        EXPECT_TRUE(undoEdit(model)) << step.what;
    }
    EXPECT_EQ(removedByRipple(*model.timeline, 1000, 300).keys, 3u); // FocusSc 1051, CM::Pos 1144, FocusPt 1290
    EXPECT_EQ(removedByRipple(*model.timeline, 3250, 10).bookmarks, 2u);
    // The clipboard outlives a reload, which builds every track afresh.
    clipboard = copyKeys(*model.timeline, pair);
    std::string changed = serializeTimeline(*model.timeline, false);
    changed.replace(changed.find("\"value\":64"), 10, "\"value\":32");
    writeFile(changed);
    CaptureStdout();
    EXPECT_EQ(reloadChangedTimeline(model), FilePoll::Reloaded);
    GetCapturedStdout();
    EXPECT_TRUE(pasteKeys(model, clipboard, 2000, selection).done);
    EXPECT_EQ(keysOf("DF::FocusSc"), "0:200 888:200/Linear 1051:400 2000:200/Linear 2163:400 3255:20");
}
