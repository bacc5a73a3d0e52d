// The beat grid's lines, the snap and the grid file's text (app/beat_grid.h).
#include "app/beat_grid.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr float framesPerMinute = 3600.0f; // 60 timeline frames a second
constexpr uint32_t subdivisions[] = {1, 2, 4, 8};

// The member of that key, or null (findValue ASSERTs on a missing one: the file is the user's).
const JsonValue* member(const JsonValue& root, const char* key)
{
    if (root.type != JsonValueType::Object)
        return nullptr;
    for (uint32_t i = 0; i < root.object->memberCount; ++i)
        if (std::strcmp(root.object->members[i].key.string.chars, key) == 0)
            return &root.object->members[i].value;
    return nullptr;
}

bool readNumber(const JsonValue& root, const char* key, float low, float high, float& value, JsonError& error)
{
    const JsonValue* found = member(root, key);
    if (found && found->type == JsonValueType::Number) {
        const JsonNumber number = found->number;
        value = number.kind == JsonNumberKind::IntegerNumber ? float(int32_t(number.bits))
                                                             : std::bit_cast<float>(number.bits);
        if (value >= low && value <= high)
            return true;
    }
    error.failed = true;
    std::snprintf(error.message, sizeof(error.message), "\"%s\" must be a number from %g to %g\n", key, low, high);
    return false;
}

} // namespace

float beatFrames(const BeatGrid& grid)
{
    return framesPerMinute / grid.beatsPerMinute;
}

int64_t gridLineBefore(const BeatGrid& grid, float frame, uint32_t subdivision)
{
    return int64_t(std::floor((frame - grid.firstBeatFrame) * float(subdivision) / beatFrames(grid)));
}

float gridLineFrame(const BeatGrid& grid, int64_t line, uint32_t subdivision)
{
    return grid.firstBeatFrame + float(double(line) * beatFrames(grid) / subdivision);
}

uint32_t snapFrame(float frame, float reach, const BeatGrid& grid, std::span<const uint32_t> bookmarks,
                   std::span<const uint32_t> onsets, uint32_t frameCount)
{
    float best = frame, bestDistance = reach;
    auto consider = [&](float candidate) {
        if (std::fabs(candidate - frame) <= bestDistance) {
            bestDistance = std::fabs(candidate - frame);
            best = candidate;
        }
    };
    if (grid.snapping) {
        const int64_t line = gridLineBefore(grid, frame, grid.subdivision);
        consider(gridLineFrame(grid, line, grid.subdivision));
        consider(gridLineFrame(grid, line + 1, grid.subdivision));
        for (uint32_t bookmark : bookmarks)
            consider(float(bookmark));
        // The onsets ascend: the nearest is at or next to the first one past frame.
        auto next = std::lower_bound(onsets.begin(), onsets.end(), uint32_t(std::max(frame, 0.0f)));
        if (next != onsets.end())
            consider(float(*next));
        if (next != onsets.begin())
            consider(float(*(next - 1)));
    }
    return uint32_t(std::clamp(std::round(best), 0.0f, float(frameCount - 1)));
}

std::string formatGrid(const BeatGrid& grid)
{
    char text[256];
    std::snprintf(text, sizeof(text),
                  "{\n    \"bpm\": %.3f,\n    \"firstBeatFrame\": %.3f,\n    \"subdivision\": %u,\n"
                  "    \"snapping\": %s\n}\n",
                  grid.beatsPerMinute, grid.firstBeatFrame, grid.subdivision, grid.snapping ? "true" : "false");
    return text;
}

bool parseGrid(const char* text, size_t length, BeatGrid& grid, JsonError& error)
{
    JsonValue root = {};
    if (!parseJson(root, text, length, 0, &error)) {
        if (!error.failed)
            std::snprintf(error.message, sizeof(error.message), "not a JSON document\n");
        error.failed = true;
        return false;
    }
    BeatGrid read;
    float subdivision = 0.0f;
    bool ok = readNumber(root, "bpm", slowestGridTempo, fastestGridTempo, read.beatsPerMinute, error) &&
              readNumber(root, "firstBeatFrame", 0.0f, 100000.0f, read.firstBeatFrame, error) &&
              readNumber(root, "subdivision", 1.0f, 8.0f, subdivision, error);
    read.subdivision = uint32_t(subdivision);
    if (ok && (float(read.subdivision) != subdivision ||
               std::find(std::begin(subdivisions), std::end(subdivisions), read.subdivision) == std::end(subdivisions))) {
        ok = false;
        std::snprintf(error.message, sizeof(error.message), "\"subdivision\" must be 1, 2, 4 or 8\n");
    }
    const JsonValue* snapping = member(root, "snapping");
    if (ok && (!snapping || snapping->type != JsonValueType::Boolean)) {
        ok = false;
        std::snprintf(error.message, sizeof(error.message), "\"snapping\" must be true or false\n");
    }
    error.failed = !ok;
    if (ok) {
        read.snapping = snapping->boolean;
        grid = read;
    }
    releaseJson(root);
    return ok;
}
