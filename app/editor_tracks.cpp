// The track panel of the edit mode (app/editor_ui.h): a ruler with the bookmarks and the
// playhead, then one row of keys per track on the same zoomable time axis. Click a key to
// select it (Shift: add or remove it), drag a selected key to move the selection (Alt: stretch
// it), drag over the rows to select the keys in a box, double-click a row to add a key; the
// wheel zooms about the mouse.
#include "app/editor_axis.h"
#include "app/editor_ui.h"

#include "app/editor_music.h"
#include "app/main_loop.h"
#include "app/track_curve.h"
#include "core/log.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr float nameWidth = 150.0f, rowHeight = 20.0f, tallRowHeight = 110.0f, rulerHeight = 22.0f;
constexpr float snapPixels = 6.0f; // a key snaps to a line, bookmark or onset this near
constexpr float pickRadius = 6.0f; // pixels about a key that select it
constexpr float dragThreshold = 3.0f; // pixels the mouse moves before a held key does
constexpr ImU32 playheadColour = IM_COL32(255, 80, 60, 255);
constexpr ImU32 keyColours[] = {IM_COL32(120, 200, 255, 255), IM_COL32(140, 230, 140, 255),
                                IM_COL32(240, 200, 90, 255)}; // FLOAT, FLOAT3, UINT
constexpr ImU32 curveColours[] = {IM_COL32(235, 90, 90, 255), IM_COL32(110, 220, 110, 255),
                                  IM_COL32(110, 150, 255, 255)}; // x, y, z; FLOAT and UINT use the first

// The wheel over the panel zooms about the frame under the mouse; the view stays in range
// (the axis gives its place and size only).
void zoomAxis(EditorView& view, const Axis& axis)
{
    const ImGuiIO& io = ImGui::GetIO();
    const float widest = float(axis.frameCount) / std::max(axis.width, 1.0f);
    if (ImGui::IsWindowHovered(ImGuiHoveredFlags_ChildWindows) && io.MouseWheel != 0.0f && io.MousePos.x >= axis.left) {
        float anchor = axis.start + (io.MousePos.x - axis.left) * view.framesPerPixel;
        view.framesPerPixel *= io.MouseWheel > 0.0f ? 0.8f : 1.25f;
        view.framesPerPixel = std::clamp(view.framesPerPixel, 0.05f, widest);
        view.axisStart = anchor - (io.MousePos.x - axis.left) * view.framesPerPixel;
    }
    view.framesPerPixel = std::clamp(view.framesPerPixel, 0.05f, widest);
    view.axisStart = std::clamp(view.axisStart, 0.0f, float(axis.frameCount) - axis.width * view.framesPerPixel);
}

// Frame ticks at least 60 pixels apart over the grid, the bookmarks as marks; pressed, it seeks on release.
void drawRuler(const Axis& axis, const Timeline& timeline, const BeatGrid& grid, EditorRequests& requests)
{
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 top = {axis.left, ImGui::GetCursorScreenPos().y};
    ImGui::SetCursorScreenPos(top);
    ImGui::InvisibleButton("ruler", {axis.width, rulerHeight});
    if (ImGui::IsItemDeactivated())
        requests.seekTo = frameAt(axis, ImGui::GetIO().MousePos.x);
    draw->AddRectFilled(top, {top.x + axis.width, top.y + rulerHeight}, IM_COL32(30, 30, 38, 255));
    drawGridLines(axis, grid, top.y, top.y + rulerHeight, true);
    uint32_t tick = 3000; // the finest step whose labels stay 60 pixels apart
    for (uint32_t step : {3000u, 1200u, 600u, 300u, 60u, 30u, 10u, 5u, 1u})
        if (step / axis.framesPerPixel >= 60.0f)
            tick = step;
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

// The frame a held or added key lands on: the mouse's frame snapped (app/beat_grid.h) unless
// Shift is held.
uint32_t landingFrame(const EditorView& view, const EditorStatus& status, const Timeline& timeline,
                      const Axis& axis, float frame)
{
    BeatGrid grid = view.grid;
    grid.snapping = grid.snapping && !ImGui::GetIO().KeyShift;
    std::span<const uint32_t> onsets;
    if (status.music)
        onsets = status.music->onsets;
    return snapFrame(frame, snapPixels * axis.framesPerPixel, grid,
                     {timeline.bookmarks.data, size_t(timeline.bookmarks.count)}, onsets, axis.frameCount);
}

// Where the held key lands with the mouse at x: a click alone moves nothing.
uint32_t dragTarget(const EditorView& view, const EditorStatus& status, const Timeline& timeline, const Axis& axis,
                    float x)
{
    float moved = x - view.dragStartX;
    if (std::fabs(moved) < dragThreshold || view.draggingValue)
        return view.selectedFrame;
    return landingFrame(view, status, timeline, axis, float(view.selectedFrame) + moved * axis.framesPerPixel);
}

// The selection on its way with the held key: moved by an offset (held within the timeline as
// the move holds it), or stretched about a pivot with Alt.
struct DragPreview {
    bool active = false, stretch = false;
    int64_t offset = 0, pivot = 0;
    double factor = 1.0;
    uint32_t lastFrame = 0;
};

DragPreview previewDrag(EditorView& view, const EditorStatus& status, const Timeline& timeline, const Axis& axis)
{
    DragPreview drag;
    if (view.draggedTrack < 0 || view.draggingValue || view.selection.empty())
        return drag;
    const int64_t grab = view.selectedFrame, target = dragTarget(view, status, timeline, axis, ImGui::GetIO().MousePos.x);
    drag.active = true;
    drag.lastFrame = timeline.frameCount - 1;
    // Alt at any time of the drag makes it a stretch (a slow frame may see Alt and the button
    // let go together).
    view.stretching = view.stretching || ImGui::GetIO().KeyAlt;
    drag.stretch = view.stretching;
    drag.pivot = stretchPivot(view, status);
    drag.factor = grab != drag.pivot ? double(target - drag.pivot) / double(grab - drag.pivot) : 1.0;
    drag.offset = heldOffset(timeline, view.selection, target - grab); // as the move holds it
    return drag;
}

// Where a selected key is drawn while the selection is held (the stretch without its collision
// rule: the model settles that on release).
uint32_t previewFrame(const DragPreview& drag, uint32_t frame)
{
    const int64_t to = drag.stretch ? drag.pivot + std::llround((double(frame) - double(drag.pivot)) * drag.factor)
                                    : int64_t(frame) + drag.offset;
    return uint32_t(std::clamp<int64_t>(to, 0, drag.lastFrame));
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

// A tall row's curve area: below the key strip, with the visible values' range.
struct CurveBox {
    float top, bottom;
    float low, high;
};

float valueY(const CurveBox& box, float value)
{
    return box.bottom - (value - box.low) / (box.high - box.low) * (box.bottom - box.top);
}

// The value a tall row's key dragged from dragStartY has with the mouse at y.
FrameValue draggedValue(const EditorView& view, const Keyframe& key, float y)
{
    FrameValue value = key.value;
    const float moved = (view.dragStartY - y) * view.valuePerPixel;
    if (value.type == TrackType::UINT) {
        value.x = uint32_t(std::max(std::round(float(value.x) + moved), 0.0f));
        return value;
    }
    uint32_t* word = view.dragComponent == 2 ? &value.z : view.dragComponent == 1 ? &value.y : &value.x;
    *word = floatBits(asFloat(*word) + moved);
    return value;
}

// On release the held selection lands as one command: moved or stretched, or, in a tall row,
// the selected keys of the row biased by the held key's change.
void releaseSelection(EditorView& view, EditModel& model, const DragPreview& drag)
{
    const uint32_t index = uint32_t(view.draggedTrack);
    const float mouseY = ImGui::GetIO().MousePos.y;
    const Keyframe* key = model.timeline->tracks[index]->keys[view.selectedFrame];
    if (view.draggingValue && key) {
        if (std::fabs(mouseY - view.dragStartY) >= dragThreshold) {
            const FrameValue moved = draggedValue(view, *key, mouseY);
            const uint32_t* words[3] = {&moved.x, &moved.y, &moved.z};
            const uint32_t* was[3] = {&key->value.x, &key->value.y, &key->value.z};
            const uint32_t c = view.dragComponent;
            double offset[3] = {0.0, 0.0, 0.0};
            offset[c] = key->value.type == TrackType::UINT ? double(*words[c]) - double(*was[c])
                                                           : double(asFloat(*words[c])) - double(asFloat(*was[c]));
            KeySelection row;
            for (KeyRef selected : view.selection)
                if (selected.track == index)
                    row.push_back(selected);
            reportEdit(view, biasKeys(model, row, offset), "Changed the value");
        }
    } else if (drag.active && (drag.stretch ? drag.factor != 1.0 : drag.offset != 0)) {
        const uint32_t grabbed = previewFrame(drag, view.selectedFrame);
        const KeyEdit edit = drag.stretch ? stretchKeys(model, view.selection, uint32_t(drag.pivot), drag.factor)
                                          : moveKeys(model, view.selection, drag.offset);
        if (edit.done) {
            logMessage("kivrel: %zu keys %s, the held one from frame %u to %u\n", view.selection.size(),
                       drag.stretch ? "stretched" : "moved", view.selectedFrame, grabbed);
            view.selectedFrame = grabbed;
        }
        reportEdit(view, edit, drag.stretch ? "Stretched the selection" : "Moved the selection");
    } else if (!view.draggingValue && std::fabs(ImGui::GetIO().MousePos.x - view.dragStartX) < dragThreshold) {
        view.selection = {{index, view.selectedFrame}}; // a click on a selected key: that key alone
    }
    view.draggedTrack = -1;
    view.draggingValue = false;
}

// Where a press on a row picks a component of a tall row's FLOAT3 key: the nearest curve.
uint32_t nearestComponent(const Track& track, uint32_t key, const CurveBox& box, float y)
{
    const FrameValue value = track.keys[key]->value;
    const float ys[3] = {valueY(box, asFloat(value.x)), valueY(box, asFloat(value.y)), valueY(box, asFloat(value.z))};
    uint32_t nearest = 0;
    for (uint32_t c = 1; c < 3; ++c)
        if (std::fabs(ys[c] - y) < std::fabs(ys[nearest] - y))
            nearest = c;
    return nearest;
}

// A press on one row: on a key it selects (Shift: adds or removes) and takes hold of the
// selection, or in a tall row below the key strip of the key's value; on empty space it starts
// a box, and a double-click adds a key.
void handleRowMouse(EditorView& view, EditModel& model, const EditorStatus& status, uint32_t index, const Axis& axis,
                    const CurveBox& box)
{
    if (!ImGui::IsItemClicked(ImGuiMouseButton_Left))
        return;
    const Track& track = *model.timeline->tracks[index];
    const ImVec2 mouse = ImGui::GetIO().MousePos;
    const bool shift = ImGui::GetIO().KeyShift;
    const uint32_t key = keyNear(track, axis, mouse.x);
    view.selectedTrack = int32_t(index);
    view.selectedFrame = key != noFrame ? key : frameAt(axis, mouse.x);
    view.dragStartX = mouse.x;
    view.dragStartY = mouse.y;
    if (key != noFrame && shift) {
        toggleKey(view.selection, {index, key});
        return;
    }
    if (key == noFrame) {
        if (!shift)
            view.selection.clear();
        view.boxing = true;
        view.boxStartX = mouse.x;
        view.boxStartY = mouse.y;
        if (ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left)) {
            view.boxing = false;
            view.selectedFrame = landingFrame(view, status, *model.timeline, axis, frameAtX(axis, mouse.x));
            uint32_t easing = 0;
            FrameValue value = evaluateTrack(track, view.selectedFrame, &easing);
            if (addKey(model, index, view.selectedFrame, value, easing))
                view.selection = {{index, view.selectedFrame}};
        }
        return;
    }
    if (!isSelected(view.selection, {index, key}))
        view.selection = {{index, key}};
    view.draggedTrack = int32_t(index);
    view.stretching = false;
    view.draggingValue = box.bottom > box.top && mouse.y > box.top;
    view.valuePerPixel = (box.high - box.low) / std::max(box.bottom - box.top, 1.0f);
    view.dragComponent = view.draggingValue && track.type == TrackType::FLOAT3 ? nearestComponent(track, key, box, mouse.y) : 0;
}

// The rows' screen spans, for the box.
struct RowSpan {
    float top, bottom;
};

// The box being dragged over the rows; on release, the keys inside it are the selection (Shift:
// added to it).
void handleBox(EditorView& view, const Timeline& timeline, const Axis& axis, const std::vector<RowSpan>& rows)
{
    if (!view.boxing)
        return;
    const ImVec2 mouse = ImGui::GetIO().MousePos;
    const ImVec2 low = {std::min(mouse.x, view.boxStartX), std::min(mouse.y, view.boxStartY)};
    const ImVec2 high = {std::max(mouse.x, view.boxStartX), std::max(mouse.y, view.boxStartY)};
    const bool moved = high.x - low.x >= dragThreshold || high.y - low.y >= dragThreshold;
    if (ImGui::IsMouseDown(ImGuiMouseButton_Left)) {
        if (moved)
            ImGui::GetWindowDrawList()->AddRectFilled(low, high, IM_COL32(120, 170, 255, 50));
        return;
    }
    view.boxing = false;
    if (!moved)
        return; // a click on empty space: the slot is selected, no key
    uint32_t first = UINT32_MAX, last = 0;
    for (uint32_t index = 0; index < rows.size(); ++index)
        if (rows[index].bottom >= low.y && rows[index].top <= high.y) {
            first = std::min(first, index);
            last = index;
        }
    if (first == UINT32_MAX)
        return;
    KeySelection boxed = keysInside(timeline, first, last, frameAt(axis, low.x), frameAt(axis, high.x));
    if (ImGui::GetIO().KeyShift)
        for (KeyRef key : boxed)
            if (!isSelected(view.selection, key))
                toggleKey(view.selection, key);
    if (!ImGui::GetIO().KeyShift)
        view.selection = boxed;
    if (view.selection.size() == 1) { // the key's own inspector
        view.selectedTrack = int32_t(view.selection[0].track);
        view.selectedFrame = view.selection[0].frame;
    }
    logMessage("kivrel: box selected %zu keys in tracks %u to %u, frames %u to %u\n", boxed.size(), first, last,
               frameAt(axis, low.x), frameAt(axis, high.x));
}

// A frame's buffers for the rows' curves: sized once for the axis, reused by every row.
struct CurveBuffers {
    std::vector<CurveSample> samples;
    std::vector<ImVec2> points;
};

// Adds a curve point; a point level with the two before it only moves the last one on, so a
// held value draws as one segment rather than one a pixel (the same picture, fewer vertices).
void addCurvePoint(std::vector<ImVec2>& points, ImVec2 point)
{
    const size_t n = points.size();
    if (n >= 2 && points[n - 1].y == point.y && points[n - 2].y == point.y)
        points[n - 1].x = point.x;
    else
        points.push_back(point);
}

// The track's value over the visible frames, one sample a pixel (or a frame, zoomed in), scaled
// to the range it covers there: a line per component, steps for UINT.
CurveBox drawCurve(const Track& track, const Axis& axis, float top, float bottom, CurveBuffers& buffers)
{
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const float step = std::max(axis.framesPerPixel, 1.0f);
    std::vector<CurveSample>& samples = buffers.samples;
    samples.resize(size_t(axis.width * axis.framesPerPixel / step) + 2);
    sampleTrackCurve(track, std::floor(axis.start), step, samples);
    CurveBox box = {.top = top + 3.0f, .bottom = bottom - 3.0f, .low = 0.0f, .high = 1.0f};
    curveRange(samples, track.type, box.low, box.high);
    std::vector<ImVec2>& points = buffers.points;
    for (uint32_t c = 0; c < curveComponents(track.type); ++c) {
        points.clear();
        for (const CurveSample& sample : samples) {
            const ImVec2 point = {frameX(axis, float(sample.frame)), valueY(box, sample.value[c])};
            if (track.type == TrackType::UINT && !points.empty())
                addCurvePoint(points, {point.x, points.back().y}); // held until the next sample
            addCurvePoint(points, point);
        }
        draw->AddPolyline(points.data(), int(points.size()), curveColours[c], 0, 1.2f);
    }
    return box;
}

// The held value's key at its new height, with the value beside it.
void drawDraggedValue(const EditorView& view, const Track& track, const CurveBox& box, const Axis& axis)
{
    const Keyframe* key = track.keys[view.selectedFrame];
    if (!key)
        return;
    const ImVec2 mouse = ImGui::GetIO().MousePos;
    const FrameValue value = draggedValue(view, *key, mouse.y);
    const uint32_t word = view.dragComponent == 2 ? value.z : view.dragComponent == 1 ? value.y : value.x;
    const float number = track.type == TrackType::UINT ? float(word) : asFloat(word);
    const float x = frameX(axis, float(view.selectedFrame));
    ImGui::GetWindowDrawList()->AddCircleFilled({x, valueY(box, number)}, 4.0f, IM_COL32_WHITE);
    ImGui::SetTooltip("%g", number);
}

// One row: the name (a click makes it tall or short again), its curve over the grid and its keys.
void drawTrackRow(EditorView& view, EditModel& model, const EditorStatus& status, uint32_t index, const Axis& axis,
                  const DragPreview& drag, CurveBuffers& buffers)
{
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const Track& track = *model.timeline->tracks[index];
    const ImVec2 start = ImGui::GetCursorScreenPos();
    const bool tall = (view.tallRows >> index) & 1u, selectedRow = view.selectedTrack == int32_t(index);
    const float height = tall ? tallRowHeight : rowHeight, middle = start.y + rowHeight * 0.5f;
    draw->AddText({start.x, start.y + 3}, selectedRow ? IM_COL32_WHITE : IM_COL32(190, 190, 200, 255), track.name);
    ImGui::PushID(int(index));
    if (ImGui::InvisibleButton("name", {nameWidth - 4.0f, height}))
        view.tallRows ^= 1u << index;
    ImGui::SetCursorScreenPos({axis.left, start.y});
    ImGui::InvisibleButton("keys", {axis.width, height});
    ImGui::PopID();
    const ImVec2 end = {axis.left + axis.width, start.y + height - 1};
    if (!ImGui::IsRectVisible({axis.left, start.y}, end)) { // scrolled out of the panel: nothing to draw
        handleRowMouse(view, model, status, index, axis, CurveBox{});
        return;
    }
    draw->AddRectFilled({axis.left, start.y + 1}, end, selectedRow ? IM_COL32(50, 50, 66, 255) : IM_COL32(38, 38, 46, 255));
    draw->PushClipRect({axis.left, start.y}, end, true);
    drawGridLines(axis, view.grid, start.y + 1, end.y, false);
    CurveBox box = drawCurve(track, axis, tall ? start.y + rowHeight : start.y + 1, end.y, buffers);
    if (!tall)
        box.top = box.bottom; // a short row's curve is for reading only
    handleRowMouse(view, model, status, index, axis, box);
    const ImU32 colour = keyColours[std::min(uint32_t(track.type), 2u)];
    const bool held = view.draggedTrack == int32_t(index);
    for (uint32_t frame = frameAt(axis, axis.left); frame <= frameAt(axis, axis.left + axis.width); ++frame) {
        if (!track.keys[frame])
            continue;
        const bool selected = isSelected(view.selection, {index, frame});
        const uint32_t target = selected && drag.active ? previewFrame(drag, frame) : frame;
        drawKey(draw, frameX(axis, float(frame)), middle, target != frame ? IM_COL32(90, 90, 100, 255) : colour, selected);
        if (target != frame)
            drawKey(draw, frameX(axis, float(target)), middle, colour, true);
    }
    if (held && view.draggingValue)
        drawDraggedValue(view, track, box, axis);
    draw->PopClipRect();
}

void drawPlayhead(const Axis& axis, uint32_t frame, float top, float bottom)
{
    const float x = frameX(axis, float(frame));
    if (x >= axis.left && x <= axis.left + axis.width)
        ImGui::GetWindowDrawList()->AddLine({x, top}, {x, bottom}, playheadColour, 2.0f);
}

} // namespace

void drawTrackRows(EditorView& view, EditModel& model, const EditorStatus& status, EditorRequests& requests)
{
    const Timeline& timeline = *model.timeline;
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const float scrollbar = ImGui::GetStyle().ScrollbarSize;
    Axis axis = {.left = origin.x + nameWidth,
                 .width = std::max(ImGui::GetContentRegionAvail().x - nameWidth - scrollbar, 50.0f),
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
    drawRuler(axis, timeline, view.grid, requests);
    ImGui::SetCursorScreenPos({axis.left, ImGui::GetCursorScreenPos().y});
    drawWaveformStrip(axis, status.music, view.grid);
    drawPlayhead(axis, status.frame, origin.y, ImGui::GetCursorScreenPos().y);
    // The rows scroll under the ruler and the strip when tall rows make them higher than the panel.
    ImGui::SetCursorScreenPos({origin.x, ImGui::GetCursorScreenPos().y});
    const float rowsHeight = std::max(ImGui::GetContentRegionAvail().y - ImGui::GetFrameHeightWithSpacing(), rowHeight);
    ImGui::BeginChild("rows", {nameWidth + axis.width + scrollbar, rowsHeight}, false, ImGuiWindowFlags_NoScrollWithMouse);
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, {0.0f, 0.0f});
    const float rowsTop = ImGui::GetCursorScreenPos().y;
    CurveBuffers buffers;
    const DragPreview drag = previewDrag(view, status, timeline, axis);
    std::vector<RowSpan> rows;
    for (uint32_t index = 0; index < timeline.tracks.count; ++index) {
        const float top = ImGui::GetCursorScreenPos().y;
        ImGui::SetCursorScreenPos({origin.x, top});
        drawTrackRow(view, model, status, index, axis, drag, buffers);
        rows.push_back({top, ImGui::GetCursorScreenPos().y});
    }
    drawPlayhead(axis, status.frame, rowsTop, ImGui::GetCursorScreenPos().y);
    handleBox(view, timeline, axis, rows);
    if (view.draggedTrack >= 0 && ImGui::IsMouseReleased(ImGuiMouseButton_Left))
        releaseSelection(view, model, drag);
    ImGui::PopStyleVar();
    ImGui::EndChild();
    ImGui::SetNextItemWidth(axis.width);
    ImGui::SetCursorScreenPos({axis.left, ImGui::GetCursorScreenPos().y});
    float visible = axis.width * view.framesPerPixel;
    ImGui::SliderFloat("##scroll", &view.axisStart, 0.0f, std::max(float(timeline.frameCount) - visible, 0.0f), "");
}
