// The edit mode's beat grid: a tempo and a first beat in timeline frames, its lines, the snap of
// a dragged or added key, and the grid's own file "kivrel_grid.json" (the piece never reads it).
// Plain logic: no UI, no GPU.
#pragma once

#include "timeline/json.h"

#include <cstdint>
#include <span>
#include <string>

constexpr uint32_t beatsPerBar = 4;
constexpr const char* gridFileName = "kivrel_grid.json";
constexpr float slowestGridTempo = 20.0f, fastestGridTempo = 400.0f; // beats a minute the file may hold

struct BeatGrid {
    float beatsPerMinute = 120.0f;
    float firstBeatFrame = 0.0f; // timeline frames; fractional, as the music's beats fall
    uint32_t subdivision = 1;    // lines a beat: 1, 2, 4 or 8
    bool snapping = true;
};

// Timeline frames from one beat to the next.
float beatFrames(const BeatGrid& grid);
// The grid line at or before frame at the grid's subdivision, as an index from the first beat
// (negative before it); line n lies at firstBeatFrame + n * beatFrames / subdivision.
int64_t gridLineBefore(const BeatGrid& grid, float frame, uint32_t subdivision);
float gridLineFrame(const BeatGrid& grid, int64_t line, uint32_t subdivision);

// Where a key held at frame (fractional: the mouse's place) lands: the nearest of the grid's lines
// at its subdivision, the bookmarks and the onsets within reach frames of it, as the whole frame
// nearest to it; with none in reach, or snapping off, the frame rounded. Always inside
// [0, frameCount - 1].
uint32_t snapFrame(float frame, float reach, const BeatGrid& grid, std::span<const uint32_t> bookmarks,
                   std::span<const uint32_t> onsets, uint32_t frameCount);

// The file's text: one member a line, fractions with three decimals.
std::string formatGrid(const BeatGrid& grid);
// The grid from the file's text; false, with the reason in error, for a text that does not parse
// or lacks a member, or a value of the wrong kind or outside its range (the grid is untouched).
bool parseGrid(const char* text, size_t length, BeatGrid& grid, JsonError& error);
