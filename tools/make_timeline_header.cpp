// Writes the piece's compiled-in timeline text, code/kivrel_timeline.json.h, from the key
// table below. Run from the project root: kivrel_make_timeline_header [header path]
#include "system/system.h"
#include "timeline/easing.h"
#include "timeline/timeline_io.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>

namespace {

constexpr uint32_t frameCount = 10843;

struct FloatKey {
    uint32_t frame;
    float value;
    const char* easing;
};

struct Float3Key {
    uint32_t frame;
    Float3 value;
    const char* easing;
};

struct UintKey {
    uint32_t frame;
    uint32_t value;
    const char* easing;
};

void keys(Timeline& timeline, const char* name, std::initializer_list<UintKey> list)
{
    addTrack(timeline, name, TrackType::UINT);
    for (const UintKey& key : list)
        setKeyUint(timeline, name, key.frame, &key.value, easingIndex(key.easing));
}

void keys(Timeline& timeline, const char* name, std::initializer_list<FloatKey> list)
{
    addTrack(timeline, name, TrackType::FLOAT);
    for (const FloatKey& key : list)
        setKeyFloat(timeline, name, key.frame, &key.value, easingIndex(key.easing));
}

void keys(Timeline& timeline, const char* name, std::initializer_list<Float3Key> list)
{
    addTrack(timeline, name, TrackType::FLOAT3);
    for (const Float3Key& key : list)
        setKeyFloat3(timeline, name, key.frame, &key.value, easingIndex(key.easing));
}

// Scene 0 (64 particles, title shown) up to frame 3253, scene 1 (128 particles) from 3254.
void buildPiece(Timeline& timeline)
{
    for (uint32_t bookmark : {0u, 3254u, 3255u, 5208u, 5318u, 6256u, 6829u, 7400u})
        timeline.bookmarks.push(bookmark);

    keys(timeline, "SM::NumPart", {UintKey{0, 64, "None"}, {3254, 128, "None"}});
    keys(timeline, "SM::SceneID", {UintKey{0, 0, "None"}, {3254, 1, "None"}});
    keys(timeline, "SM::TimeSc", {FloatKey{0, 0.025f, "None"}, {3255, 0.02f, "None"}});
    keys(timeline, "CM::Pos",
         {Float3Key{0, {0, 0, -208.839996f}, "None"},
          {436, {0, 0, -208}, "Linear"},
          {1144, {0, 0, -157.380005f}, "None"},
          {3255, {0, -69.970001f, -236.429993f}, "CircularOut"},
          {3584, {0, 0, -236.429993f}, "None"},
          {3830, {-23.23f, 20.139999f, 6.35f}, "None"},
          {4742, {0, -52.790001f, 25.24f}, "None"},
          {6136, {15.17f, -5.26f, 25.110001f}, "None"}});
    keys(timeline, "CM::Dir",
         {Float3Key{0, {0, 1.57f, 0}, "None"},
          {2805, {0, 1.57f, 0}, "Linear"},
          {3254, {-0.179f, 1.57f, 0}, "Linear"},
          {3255, {-0.07f, 1.57f, 0}, "SinusoidalOut"},
          {3584, {0.05f, 1.57f, 0}, "None"},
          {3830, {-0.15f, -0.9f, 0}, "QuadraticInOut"},
          {4163, {-0.72f, -0.33f, 0}, "None"},
          {4742, {0.94f, -1.58f, 0}, "None"},
          {4912, {0.94f, -1.58f, 0}, "QuadraticInOut"},
          {5132, {0.63f, -1.58f, 0}, "None"},
          {5213, {0.63f, -1.58f, 0}, "SinusoidalInOut"},
          {5318, {0.93f, -1.58f, 0}, "None"},
          {6136, {0.49f, -2.22f, 0}, "None"}});
    keys(timeline, "CM::Bright",
         {FloatKey{0, 0, "None"},
          {439, 0, "Linear"},
          {579, 1, "None"},
          {2820, 1, "CircularOut"},
          {3245, 0, "None"},
          {3255, 0, "SinusoidalInOut"},
          {3421, 1, "None"},
          {6000, 1, "Linear"},
          {6132, 0, "Linear"},
          {6136, 0, "Linear"},
          {6256, 1, "None"},
          {6829, 1, "SinusoidalInOut"},
          {7215, 0, "None"}});
    keys(timeline, "CM::Fov", {FloatKey{0, 40.029999f, "None"}, {3830, 57.540001f, "None"}, {4742, 51.150002f, "None"}});
    keys(timeline, "BP::BkgColor",
         {Float3Key{0, {0.23032f, 0.255249f, 0.348039f}, "None"},
          {2375, {0.23032f, 0.255249f, 0.348039f}, "Linear"},
          {2697, {0, 0, 0}, "None"},
          {3255, {0.043737f, 0.070588f, 0.067745f}, "None"},
          {6136, {1, 1, 1}, "None"}});
    keys(timeline, "DF::FocusSc",
         {FloatKey{0, 200, "None"}, {888, 200, "Linear"}, {1051, 400, "None"}, {3255, 20, "None"}});
    keys(timeline, "DF::FocusPt",
         {FloatKey{0, 0, "None"},
          {905, 0, "SinusoidalIn"},
          {1290, 28.24f, "None"},
          {2805, 28.24f, "Linear"},
          {3223, 0, "None"},
          {3255, 0.0001f, "None"},
          {3378, 0.0001f, "CircularOut"},
          {3602, 77.57f, "None"},
          {3830, 17.059999f, "None"},
          {4223, 17.059999f, "CircularInOut"},
          {4567, 10.41f, "None"},
          {4742, 23.9f, "None"},
          {4963, 23.9f, "QuadraticInOut"},
          {5208, 65.580002f, "SinusoidalOut"},
          {5318, 26.870001f, "None"},
          {6136, 16.73f, "None"},
          {6829, 16.73f, "SinusoidalInOut"},
          {7215, 0, "None"}});
    keys(timeline, "TR::BlendFct", {FloatKey{0, 0.15f, "None"}, {3255, 0.05f, "None"}});
    keys(timeline, "AT::Steps", {UintKey{0, 3, "None"}, {3255, 2, "None"}});
    keys(timeline, "PT::SampleCnt", {UintKey{0, 4, "None"}, {3255, 4, "None"}});
}

} // namespace

int main(int argumentCount, char** arguments)
{
    const char* path = argumentCount > 1 ? arguments[1] : "code/kivrel_timeline.json.h";
    Timeline* timeline = createTimeline(frameCount);
    buildPiece(*timeline);
    std::string header = timelineHeaderText(*timeline);
    bool written = writeWholeFile(path, header.data(), header.size()) == FileWriteResult::Ok;
    if (written)
        std::printf("Saved timeline file header %s\n", path);
    else
        std::fprintf(stderr, "kivrel_make_timeline_header: could not write %s\n", path);
    destroyTimeline(timeline);
    return written ? 0 : 1;
}
