// The waveform strip under the ruler and the beat grid's lines (app/editor_music.h), and the
// grid's settings in the side panel (app/editor_ui.h). Reads the music's tables; never its samples.
#include "app/editor_music.h"
#include "app/editor_ui.h"

#include <imgui.h>

#include <cstdio>
#include <vector>

namespace {

constexpr float minimumLineGap = 7.0f; // pixels between drawn grid lines
constexpr ImU32 leftColour = IM_COL32(110, 190, 240, 255), rightColour = IM_COL32(240, 160, 110, 255);
constexpr ImU32 barColour = IM_COL32(230, 230, 240, 150), beatColour = IM_COL32(200, 200, 215, 80),
                subdivisionColour = IM_COL32(180, 180, 200, 36);

// Lines a beat that the zoom leaves room for: 8, 4, 2 or 1; 0 when even beats are too close.
uint32_t visibleSubdivision(const Axis& axis, const BeatGrid& grid)
{
    const float beatPixels = beatFrames(grid) / axis.framesPerPixel;
    for (uint32_t lines : {8u, 4u, 2u, 1u})
        if (beatPixels / float(lines) >= minimumLineGap)
            return lines;
    return 0;
}

} // namespace

void drawWaveformStrip(const Axis& axis, const MusicView* music, const BeatGrid& grid)
{
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 top = {axis.left, ImGui::GetCursorScreenPos().y};
    ImGui::SetCursorScreenPos(top);
    ImGui::Dummy({axis.width, waveformHeight});
    const ImVec2 end = {top.x + axis.width, top.y + waveformHeight};
    draw->AddRectFilled(top, end, IM_COL32(22, 22, 28, 255));
    if (!music || music->framePeaks.empty()) {
        draw->AddText({top.x + 4, top.y + 4}, IM_COL32(150, 150, 160, 255), "the soundtrack is being prepared");
        return;
    }
    drawGridLines(axis, grid, top.y, end.y, false);
    // One column a pixel; each channel in its half, about that half's middle.
    std::vector<SoundPeaks> columns(size_t(axis.width));
    reduceColumns(music->framePeaks, axis.start, axis.framesPerPixel, columns);
    const float half = waveformHeight * 0.5f;
    for (size_t c = 0; c < columns.size(); ++c) {
        if (columns[c].empty)
            continue;
        const float x = top.x + float(c) + 0.5f;
        for (uint32_t channel = 0; channel < musicChannels; ++channel) {
            const float middle = top.y + half * (float(channel) + 0.5f);
            const float scale = half * 0.5f / std::max(music->loudest, 1e-6f);
            const float y0 = middle - columns[c].high[channel] * scale;
            const float y1 = middle - columns[c].low[channel] * scale;
            draw->AddLine({x, y0}, {x, std::max(y1, y0 + 1.0f)}, channel ? rightColour : leftColour);
        }
    }
}

void drawGridLines(const Axis& axis, const BeatGrid& grid, float top, float bottom, bool labels)
{
    ImDrawList* draw = ImGui::GetWindowDrawList();
    uint32_t lines = visibleSubdivision(axis, grid);
    // Too far out even for beats: bars only, when they have room.
    const uint32_t step = lines == 0 ? beatsPerBar : 1;
    if (lines == 0) {
        if (beatFrames(grid) * beatsPerBar / axis.framesPerPixel < minimumLineGap)
            return;
        lines = 1;
    }
    const float endFrame = frameAtX(axis, axis.left + axis.width);
    for (int64_t n = gridLineBefore(grid, axis.start, lines); gridLineFrame(grid, n, lines) <= endFrame; ++n) {
        const int64_t perBar = int64_t(lines * beatsPerBar);
        const bool beat = n % int64_t(lines) == 0, bar = n % perBar == 0;
        if (!beat && step > 1)
            continue;
        if (beat && (n / int64_t(lines)) % int64_t(step) != 0)
            continue;
        const float x = frameX(axis, gridLineFrame(grid, n, lines));
        if (x < axis.left)
            continue;
        draw->AddLine({x, top}, {x, bottom}, bar ? barColour : beat ? beatColour : subdivisionColour);
        if (labels && bar && beatFrames(grid) * beatsPerBar / axis.framesPerPixel >= 40.0f) {
            char label[24];
            std::snprintf(label, sizeof(label), "%lld", (long long)(n / perBar + 1));
            draw->AddText({x + 2, bottom - 12}, IM_COL32(230, 210, 120, 255), label);
        }
    }
}

void drawGridSettings(EditorView& view, const EditorStatus& status, EditorRequests& requests)
{
    ImGui::Separator();
    BeatGrid& grid = view.grid;
    constexpr ImGuiInputTextFlags enter = ImGuiInputTextFlags_EnterReturnsTrue;
    ImGui::SetNextItemWidth(110);
    float bpm = grid.beatsPerMinute;
    if (ImGui::InputFloat("bpm", &bpm, 0.0f, 0.0f, "%.2f", enter) && bpm >= slowestGridTempo && bpm <= fastestGridTempo) {
        grid.beatsPerMinute = bpm;
        requests.saveGrid = true;
    }
    ImGui::SameLine();
    ImGui::SetNextItemWidth(90);
    float first = grid.firstBeatFrame;
    if (ImGui::InputFloat("first beat", &first, 0.0f, 0.0f, "%.2f", enter) && first >= 0.0f) {
        grid.firstBeatFrame = first;
        requests.saveGrid = true;
    }
    static const char* const subdivisionNames[] = {"1 beat", "1/2 beat", "1/4 beat", "1/8 beat"};
    int level = grid.subdivision == 8 ? 3 : grid.subdivision == 4 ? 2 : grid.subdivision == 2 ? 1 : 0;
    ImGui::SetNextItemWidth(110);
    if (ImGui::Combo("snap to", &level, subdivisionNames, 4)) {
        grid.subdivision = 1u << level;
        requests.saveGrid = true;
    }
    ImGui::SameLine();
    requests.saveGrid |= ImGui::Checkbox("snap (Shift: off)", &grid.snapping);
    ImGui::BeginDisabled(!status.music);
    if (ImGui::Button("Tempo from the music") && status.music) {
        grid.beatsPerMinute = status.music->tempo.beatsPerMinute;
        grid.firstBeatFrame = status.music->tempo.firstBeatFrame;
        requests.saveGrid = true;
    }
    ImGui::EndDisabled();
    ImGui::TextWrapped("%s", view.gridStatus);
}
