// The track panel of the edit mode (app/editor_ui.h): a ruler with the bookmarks and the
// playhead, then one row of keys per track on the same zoomable time axis. Click a key to
// select it, drag it to move it, double-click a row to add one; the wheel zooms about the mouse.
#include "app/editor_ui.h"

#include "app/main_loop.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr float nameWidth = 150.0f, rowHeight = 20.0f, rulerHeight = 22.0f;
constexpr float pickRadius = 6.0f; // pixels about a key that select it
constexpr float dragThreshold = 3.0f; // pixels the mouse moves before a held key does
constexpr ImU32 playheadColour = IM_COL32(255, 80, 60, 255);
constexpr ImU32 keyColours[] = {IM_COL32(120, 200, 255, 255), IM_COL32(140, 230, 140, 255),
                                IM_COL32(240, 200, 90, 255)}; // FLOAT, FLOAT3, UINT

// The axis: x of its left edge and width in screen pixels, over the timeline's frames.
struct Axis {
    float left, width;
    float start, framesPerPixel;
    uint32_t frameCount;
};

float frameX(const Axis& axis, float frame)
{
    return axis.left + (frame - axis.start) / axis.framesPerPixel;
}

uint32_t frameAt(const Axis& axis, float x)
{
    float frame = std::round(axis.start + (x - axis.left) * axis.framesPerPixel);
    return uint32_t(std::clamp(frame, 0.0f, float(axis.frameCount - 1)));
}

// The wheel over the panel zooms about the frame under the mouse; the view stays in range
// (the axis gives its place and size only).
void zoomAxis(EditorView& view, const Axis& axis)
{
    const ImGuiIO& io = ImGui::GetIO();
    const float widest = float(axis.frameCount) / std::max(axis.width, 1.0f);
    if (ImGui::IsWindowHovered() && io.MouseWheel != 0.0f && io.MousePos.x >= axis.left) {
        float anchor = axis.start + (io.MousePos.x - axis.left) * view.framesPerPixel;
        view.framesPerPixel *= io.MouseWheel > 0.0f ? 0.8f : 1.25f;
        view.framesPerPixel = std::clamp(view.framesPerPixel, 0.05f, widest);
        view.axisStart = anchor - (io.MousePos.x - axis.left) * view.framesPerPixel;
    }
    view.framesPerPixel = std::clamp(view.framesPerPixel, 0.05f, widest);
    view.axisStart = std::clamp(view.axisStart, 0.0f, float(axis.frameCount) - axis.width * view.framesPerPixel);
}

// Frame ticks at least 60 pixels apart, the bookmarks as marks; pressed, it seeks on release.
void drawRuler(const Axis& axis, const Timeline& timeline, EditorRequests& requests)
{
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 top = {axis.left, ImGui::GetCursorScreenPos().y};
    ImGui::SetCursorScreenPos(top);
    ImGui::InvisibleButton("ruler", {axis.width, rulerHeight});
    if (ImGui::IsItemDeactivated())
        requests.seekTo = frameAt(axis, ImGui::GetIO().MousePos.x);
    draw->AddRectFilled(top, {top.x + axis.width, top.y + rulerHeight}, IM_COL32(30, 30, 38, 255));
    uint32_t tick = 1;
    for (uint32_t step : {1u, 5u, 10u, 30u, 60u, 300u, 600u, 1200u, 3000u})
        if (step / axis.framesPerPixel < 60.0f)
            tick = step * 2 > 3000 ? 3000 : step;
    tick = std::max(tick, 1u);
    for (uint32_t frame = uint32_t(axis.start) / tick * tick; frameX(axis, float(frame)) < axis.left + axis.width;
         frame += tick) {
        float x = frameX(axis, float(frame));
        draw->AddLine({x, top.y + rulerHeight - 6}, {x, top.y + rulerHeight}, IM_COL32(160, 160, 170, 255));
        char label[16];
        std::snprintf(label, sizeof(label), "%u", frame);
        draw->AddText({x + 2, top.y + 2}, IM_COL32(160, 160, 170, 255), label);
    }
    for (uint32_t bookmark : timeline.bookmarks) {
        float x = frameX(axis, float(bookmark));
        draw->AddTriangleFilled({x - 5, top.y}, {x + 5, top.y}, {x, top.y + 8}, IM_COL32(250, 220, 80, 255));
    }
}

// Where a key held since x = dragStartX lands with the mouse at x: a click alone moves nothing.
uint32_t dragTarget(const EditorView& view, const Axis& axis, float x)
{
    float moved = x - view.dragStartX;
    if (std::fabs(moved) < dragThreshold)
        return view.selectedFrame;
    float frame = std::round(float(view.selectedFrame) + moved * axis.framesPerPixel);
    return uint32_t(std::clamp(frame, 0.0f, float(axis.frameCount - 1)));
}

// The key nearest x within the pick radius, or noFrame.
uint32_t keyNear(const Track& track, const Axis& axis, float x)
{
    uint32_t best = noFrame;
    float bestDistance = pickRadius;
    for (uint32_t frame = frameAt(axis, x - pickRadius); frame <= frameAt(axis, x + pickRadius); ++frame) {
        float distance = std::fabs(frameX(axis, float(frame)) - x);
        if (track.keys[frame] && distance <= bestDistance) {
            best = frame;
            bestDistance = distance;
        }
    }
    return best;
}

void drawKey(ImDrawList* draw, float x, float y, ImU32 colour, bool selected)
{
    const float r = selected ? 6.0f : 4.5f;
    draw->AddQuadFilled({x, y - r}, {x + r, y}, {x, y + r}, {x - r, y}, colour);
    if (selected)
        draw->AddQuad({x, y - r}, {x + r, y}, {x, y + r}, {x - r, y}, IM_COL32_WHITE, 1.5f);
}

// Selecting, dragging (the move lands on release) and adding keys on one row.
void handleRowMouse(EditorView& view, EditModel& model, uint32_t index, const Axis& axis)
{
    const Track& track = *model.timeline->tracks[index];
    const float mouseX = ImGui::GetIO().MousePos.x;
    if (ImGui::IsItemClicked(ImGuiMouseButton_Left)) {
        uint32_t key = keyNear(track, axis, mouseX);
        view.selectedTrack = int32_t(index);
        view.selectedFrame = key != noFrame ? key : frameAt(axis, mouseX);
        view.draggedTrack = key != noFrame ? int32_t(index) : -1;
        view.dragStartX = mouseX;
        if (key == noFrame && ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left)) {
            uint32_t easing = 0;
            FrameValue value = evaluateTrack(track, view.selectedFrame, &easing);
            addKey(model, index, view.selectedFrame, value, easing);
        }
    }
    if (view.draggedTrack == int32_t(index) && ImGui::IsMouseReleased(ImGuiMouseButton_Left)) {
        uint32_t to = dragTarget(view, axis, mouseX);
        if (to != view.selectedFrame && moveKey(model, index, view.selectedFrame, to))
            view.selectedFrame = to;
        view.draggedTrack = -1;
    }
}

void drawTrackRow(EditorView& view, EditModel& model, uint32_t index, const Axis& axis)
{
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const Track& track = *model.timeline->tracks[index];
    const ImVec2 start = ImGui::GetCursorScreenPos();
    const float middle = start.y + rowHeight * 0.5f;
    const bool selectedRow = view.selectedTrack == int32_t(index);
    draw->AddText({start.x, start.y + 3}, selectedRow ? IM_COL32_WHITE : IM_COL32(190, 190, 200, 255), track.name);
    ImGui::PushID(int(index));
    ImGui::SetCursorScreenPos({axis.left, start.y});
    ImGui::InvisibleButton("keys", {axis.width, rowHeight});
    handleRowMouse(view, model, index, axis);
    ImGui::PopID();
    draw->AddRectFilled({axis.left, start.y + 1}, {axis.left + axis.width, start.y + rowHeight - 1},
                        selectedRow ? IM_COL32(50, 50, 66, 255) : IM_COL32(38, 38, 46, 255));
    draw->PushClipRect({axis.left, start.y}, {axis.left + axis.width, start.y + rowHeight}, true);
    const ImU32 colour = keyColours[std::min(uint32_t(track.type), 2u)];
    // Where this row's held key would land; the selected frame when it holds none.
    const uint32_t target =
        view.draggedTrack == int32_t(index) ? dragTarget(view, axis, ImGui::GetIO().MousePos.x) : view.selectedFrame;
    for (uint32_t frame = frameAt(axis, axis.left); frame <= frameAt(axis, axis.left + axis.width); ++frame) {
        if (!track.keys[frame])
            continue;
        bool selected = selectedRow && frame == view.selectedFrame;
        bool dragged = selected && target != frame;
        drawKey(draw, frameX(axis, float(frame)), middle, dragged ? IM_COL32(90, 90, 100, 255) : colour, selected);
        if (dragged)
            drawKey(draw, frameX(axis, float(target)), middle, colour, true);
    }
    draw->PopClipRect();
}

} // namespace

void drawTrackRows(EditorView& view, EditModel& model, const EditorStatus& status, EditorRequests& requests)
{
    const Timeline& timeline = *model.timeline;
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    Axis axis = {.left = origin.x + nameWidth,
                 .width = std::max(ImGui::GetContentRegionAvail().x - nameWidth, 50.0f),
                 .start = 0.0f,
                 .framesPerPixel = 1.0f,
                 .frameCount = timeline.frameCount};
    if (view.framesPerPixel <= 0.0f)
        view.framesPerPixel = float(lastFrameShown) / axis.width;
    if (status.frame != view.followedFrame) {
        float visible = axis.width * view.framesPerPixel;
        if (float(status.frame) < view.axisStart || float(status.frame) > view.axisStart + visible)
            view.axisStart = float(status.frame) - visible * 0.1f;
        view.followedFrame = status.frame;
    }
    zoomAxis(view, axis);
    axis.start = view.axisStart;
    axis.framesPerPixel = view.framesPerPixel;
    ImGui::TextDisabled("wheel: zoom");
    ImGui::SameLine();
    drawRuler(axis, timeline, requests);
    for (uint32_t index = 0; index < timeline.tracks.count; ++index)
        drawTrackRow(view, model, index, axis);
    const float bottom = ImGui::GetCursorScreenPos().y;
    ImGui::SetNextItemWidth(axis.width);
    ImGui::SetCursorScreenPos({axis.left, bottom + 4});
    float visible = axis.width * view.framesPerPixel;
    ImGui::SliderFloat("##scroll", &view.axisStart, 0.0f, std::max(float(timeline.frameCount) - visible, 0.0f), "");
    const float x = frameX(axis, float(status.frame));
    if (x >= axis.left && x <= axis.left + axis.width)
        ImGui::GetWindowDrawList()->AddLine({x, origin.y}, {x, bottom}, playheadColour, 2.0f);
}
