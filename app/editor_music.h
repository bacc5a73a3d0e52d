// The track panel's music (app/editor_music.cpp): the soundtrack's waveform strip and the beat
// grid's lines, drawn on the panel's time axis. ImGui's API only; the numbers come from
// app/music_view and app/beat_grid.
#pragma once

#include "app/beat_grid.h"
#include "app/editor_axis.h"
#include "app/music_view.h"

constexpr float waveformHeight = 40.0f; // pixels: left channel above, right below

// The strip at the cursor, the axis wide; a note while the soundtrack is not ready.
void drawWaveformStrip(const Axis& axis, const MusicView* music, const BeatGrid& grid);
// The grid's lines between top and bottom: bars, beats, and the subdivisions the zoom leaves room
// for. On the ruler (labels) the bars are numbered from 1.
void drawGridLines(const Axis& axis, const BeatGrid& grid, float top, float bottom, bool labels);
