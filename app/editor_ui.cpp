// The edit mode's side panel (transport, selected key, values at the playhead) and the layout
// of both panels around the viewport (app/editor_ui.h).
#include "app/editor_ui.h"

#include "app/main_loop.h"
#include "app/parameters.h"
#include "timeline/easing.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr ImGuiWindowFlags panelFlags = ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize |
                                        ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings;
constexpr ImU32 curveColour = IM_COL32(120, 200, 255, 255);
const ImVec4 errorColour = {1.0f, 0.45f, 0.4f, 1.0f};

void beginPanel(const char* name, float x, float y, float width, float height, ImGuiWindowFlags flags)
{
    ImGui::SetNextWindowPos({x, y});
    ImGui::SetNextWindowSize({width, height});
    ImGui::Begin(name, nullptr, panelFlags | flags);
}

// The names of the bookmarks for the loop's two lists ("3: 2450").
bool bookmarkLabel(void* data, int index, const char** text)
{
    static char label[32];
    std::snprintf(label, sizeof(label), "%d: %u", index, (*static_cast<const DynamicArray<uint32_t>*>(data))[index]);
    *text = label;
    return true;
}

void drawTransport(EditorView& view, EditModel& model, const EditorStatus& status, EditorRequests& requests)
{
    if (!status.ready)
        ImGui::TextColored(errorColour, "Preparing the soundtrack...");
    ImGui::BeginDisabled(!status.ready);
    if (ImGui::Button(status.paused ? "Play" : "Pause", {70, 0}))
        requests.togglePause = true;
    ImGui::SameLine();
    ImGui::Text("frame %u   %.2f s", status.frame, status.frame / timelineFramesPerSecond);
    // The bar shows the playhead except while dragged; the seek comes with the release.
    if (!view.scrubbing)
        view.scrubFrame = int32_t(status.frame);
    ImGui::SetNextItemWidth(-1);
    ImGui::SliderInt("##scrub", &view.scrubFrame, 0, int32_t(lastFrameShown));
    view.scrubbing = ImGui::IsItemActive();
    if (ImGui::IsItemDeactivatedAfterEdit())
        requests.seekTo = uint32_t(view.scrubFrame);
    DynamicArray<uint32_t>& bookmarks = model.timeline->bookmarks;
    for (uint32_t i = 0; i < bookmarks.count; ++i) {
        char label[24];
        std::snprintf(label, sizeof(label), "%u##bookmark%u", bookmarks[i], i);
        if (i % 4)
            ImGui::SameLine();
        if (ImGui::Button(label, {80, 0}))
            requests.seekTo = bookmarks[i];
    }
    ImGui::Checkbox("Loop", &view.looping);
    ImGui::SetNextItemWidth(110);
    ImGui::SameLine();
    ImGui::Combo("##from", &view.loopFrom, bookmarkLabel, &bookmarks, int(bookmarks.count));
    ImGui::SameLine();
    ImGui::SetNextItemWidth(110);
    ImGui::Combo("to##to", &view.loopTo, bookmarkLabel, &bookmarks, int(bookmarks.count));
    ImGui::EndDisabled();

    if (ImGui::Button("Undo"))
        undoFromEditor(view, model, requests);
    ImGui::SameLine();
    if (ImGui::Button("Redo"))
        redoFromEditor(view, model, requests);
    ImGui::SameLine();
    if (ImGui::Button("Save"))
        requests.save = true;
    ImGui::TextWrapped("%s", view.status);
    ImGui::PushStyleColor(ImGuiCol_Text, errorColour);
    if (model.lastLoad.error.failed)
        ImGui::TextWrapped("kivrel_timeline.json did not load: %s", model.lastLoad.error.message);
    ImGui::PopStyleColor();
    if (!model.lastLoad.error.failed && !model.lastLoad.warnings.empty())
        ImGui::TextWrapped("kivrel_timeline.json: %s", model.lastLoad.warnings.c_str());
    if (model.changedOnDisk) {
        ImGui::TextColored(errorColour, "kivrel_timeline.json changed on disk; the edits here are not saved.");
        if (ImGui::Button("Load the file (drop the edits)")) {
            view.status = reloadFromDisk(model) ? "Reloaded kivrel_timeline.json" : "The file did not load";
            requests.undoOrRedo = true;
        }
        ImGui::SameLine();
        if (ImGui::Button("Keep the edits"))
            keepEdits(model);
    }
}

// The question before a save over a file this model did not load or write: Enter or the first
// button says yes, Escape or the second no.
void drawSaveOverQuestion(EditorView& view, const EditModel& model, const EditorStatus& status,
                          EditorRequests& requests)
{
    constexpr const char* title = "Save over kivrel_timeline.json?";
    if (view.askSaveOver != SaveGuard::Free && !ImGui::IsPopupOpen(title))
        ImGui::OpenPopup(title);
    if (!ImGui::BeginPopupModal(title, nullptr, ImGuiWindowFlags_AlwaysAutoResize))
        return;
    if (view.askSaveOver == SaveGuard::FileDidNotLoad)
        ImGui::Text("kivrel_timeline.json did not load:\n%s", model.lastLoad.error.message);
    else
        ImGui::Text("kivrel_timeline.json was changed on disk by another program since it was loaded.");
    ImGui::Text("Saving replaces it with the timeline shown here.");
    const bool yes = ImGui::Button("Save over it (Enter)") || status.enterPressed;
    ImGui::SameLine();
    const bool no = ImGui::Button("Cancel (Escape)") || status.escapePressed;
    if (yes || no) {
        requests.saveOver = yes;
        view.askSaveOver = SaveGuard::Free;
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

// The value's editor for the track's type; true when Enter (or a step button) changed it.
bool editValue(TrackType type, FrameValue& value)
{
    constexpr ImGuiInputTextFlags enter = ImGuiInputTextFlags_EnterReturnsTrue;
    if (type == TrackType::UINT)
        return ImGui::InputScalar("value", ImGuiDataType_U32, &value.x, nullptr, nullptr, nullptr, enter);
    float v[3] = {asFloat(value.x), asFloat(value.y), asFloat(value.z)};
    bool changed = type == TrackType::FLOAT3 ? ImGui::InputFloat3("value", v, "%.4f", enter)
                                             : ImGui::InputFloat("value", v, 0.0f, 0.0f, "%.4f", enter);
    value.x = floatBits(v[0]);
    if (type == TrackType::FLOAT3) {
        value.y = floatBits(v[1]);
        value.z = floatBits(v[2]);
    }
    return changed;
}

void drawSelectedKey(EditorView& view, EditModel& model, const EditorStatus& status)
{
    ImGui::Separator();
    const Timeline& timeline = *model.timeline;
    if (view.selection.size() > 1) {
        drawSelectionPanel(view, model, status);
        return;
    }
    if (view.selectedTrack < 0 || uint32_t(view.selectedTrack) >= timeline.tracks.count) {
        ImGui::TextWrapped("Click a key to select it (Shift: more), drag it to move the selection (Alt: stretch); "
                           "drag over the rows to select a box; double-click a row to add a key.");
        return;
    }
    const uint32_t track = uint32_t(view.selectedTrack), frame = view.selectedFrame;
    const Track& t = *timeline.tracks[track];
    ImGui::Text("%s (%s)", t.name, trackTypeNames[uint32_t(t.type)]);
    if (!t.keys[frame]) {
        ImGui::Text("No key at frame %u", frame);
        uint32_t easing = 0;
        FrameValue value = evaluateTrack(t, frame, &easing);
        if (ImGui::Button("Add key here"))
            addKey(model, track, frame, value, easing);
        return;
    }
    const Keyframe key = *t.keys[frame]; // a copy: an edit below replaces the slot
    int32_t to = int32_t(frame);
    if (ImGui::InputInt("frame", &to, 1, 60, ImGuiInputTextFlags_EnterReturnsTrue) && to >= 0 &&
        moveKey(model, track, frame, uint32_t(to))) {
        view.selectedFrame = uint32_t(to);
        view.selection = {{track, uint32_t(to)}};
    }
    FrameValue value = key.value;
    const TrackDescription* description = findDemoTrack(t.name);
    if (editValue(t.type, value) && !changeKeyValue(model, track, frame, value))
        view.status = "Refused: a value must be a finite number within the track's range";
    if (description)
        ImGui::TextDisabled("range %s%g, %g%s", description->range.open ? "(" : "[", description->range.min,
                            description->range.max, description->range.open ? ")" : "]");
    editEasing(view, model, key.easing);
    drawEasingCurve(key.easing, 160.0f, 60.0f);
    if (ImGui::Button("Delete key") && deleteKey(model, track, view.selectedFrame)) {
        forgetSelection(view);
    }
}

// Each track's value at the playhead (the flown camera's in the camera mode), with a button
// that keys it there.
void drawValues(EditorView& view, EditModel& model, uint32_t frame)
{
    ImGui::Separator();
    ImGui::Text("At frame %u", frame);
    std::vector<TrackValue> flown;
    if (view.camera.flying)
        flown = flyCameraValues(view.camera, *model.timeline);
    for (uint32_t index = 0; index < model.timeline->tracks.count; ++index) {
        const Track& track = *model.timeline->tracks[index];
        TrackValue value = {index, evaluateTrack(track, frame, nullptr)};
        for (const TrackValue& camera : flown)
            value = camera.track == index ? camera : value;
        ImGui::PushID(int(index));
        if (ImGui::SmallButton("key"))
            reportEdit(view, keyValuesAt(model, frame, {&value, 1}), "Keyed the value at the playhead");
        ImGui::PopID();
        ImGui::SameLine();
        char text[96];
        formatValue(value.value, text, sizeof(text));
        ImGui::Text("%-20s %s", track.name, text);
    }
}

} // namespace

Float2 editorViewport(float width, float height)
{
    return {std::max(width - sidePanelWidth, 1.0f), std::max(height - trackPanelHeight, 1.0f)};
}

void drawEditor(EditorView& view, EditModel& model, const EditorStatus& status, float width, float height,
                EditorRequests& requests)
{
    const Float2 viewport = editorViewport(width, height);
    beginPanel("Editor", viewport.x, 0.0f, width - viewport.x, height, 0);
    drawTransport(view, model, status, requests);
    drawGridSettings(view, status, requests);
    drawSelectedKey(view, model, status);
    drawRipplePanel(view, model, status);
    drawCameraPanel(view, model, status, requests);
    drawValues(view, model, status.frame);
    ImGui::End();
    beginPanel("Tracks", 0.0f, viewport.y, viewport.x, height - viewport.y,
               ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse);
    drawTrackRows(view, model, status, requests);
    ImGui::End();
    drawSaveOverQuestion(view, model, status, requests);
}

// The curve over a width x height box at the cursor, t from 0 to 1 left to right; "None" holds
// until the next key. The overshooting curves leave room above and below.
void drawEasingCurve(uint32_t easing, float width, float height)
{
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const ImVec2 end = {origin.x + width, origin.y + height};
    ImGui::Dummy({width, height});
    draw->AddRectFilled(origin, end, IM_COL32(35, 35, 45, 255));
    constexpr int steps = 32;
    ImVec2 points[steps + 1];
    for (int i = 0; i <= steps; ++i) {
        float t = float(i) / steps;
        float y = easing == 0 ? (i == steps ? 1.0f : 0.0f) : easingFunctions[easing](t);
        points[i] = {origin.x + t * width, origin.y + height * (0.8f - 0.6f * y)};
    }
    draw->PushClipRect(origin, end, true);
    draw->AddPolyline(points, steps + 1, curveColour, 0, 1.5f);
    draw->PopClipRect();
}

// The choice goes to every selected key, or to the key at the clicked slot.
void editEasing(EditorView& view, EditModel& model, uint32_t easing)
{
    const char* shown = easing < easingCount ? easingNames[easing] : "(mixed)";
    if (!ImGui::BeginCombo("easing", shown, ImGuiComboFlags_HeightLarge))
        return;
    for (uint32_t e = 0; e < easingCount; ++e) {
        ImGui::PushID(int(e));
        drawEasingCurve(e, 36.0f, ImGui::GetTextLineHeight());
        ImGui::SameLine();
        if (ImGui::Selectable(easingNames[e], e == easing)) {
            if (!view.selection.empty())
                setKeysEasing(model, view.selection, e);
            else if (view.selectedTrack >= 0)
                changeKeyEasing(model, uint32_t(view.selectedTrack), view.selectedFrame, e);
        }
        ImGui::PopID();
    }
    ImGui::EndCombo();
}

void undoFromEditor(EditorView& view, EditModel& model, EditorRequests& requests)
{
    view.status = undoEdit(model) ? "Undone" : "Nothing to undo";
    requests.undoOrRedo = true;
}

void redoFromEditor(EditorView& view, EditModel& model, EditorRequests& requests)
{
    view.status = redoEdit(model) ? "Redone" : "Nothing to redo";
    requests.undoOrRedo = true;
}

void formatValue(const FrameValue& value, char* text, uint32_t capacity)
{
    switch (value.type) {
    case TrackType::FLOAT: std::snprintf(text, capacity, "%.3f", asFloat(value.x)); break;
    case TrackType::FLOAT3:
        std::snprintf(text, capacity, "(%.2f, %.2f, %.2f)", asFloat(value.x), asFloat(value.y), asFloat(value.z));
        break;
    case TrackType::UINT: std::snprintf(text, capacity, "%u", value.x); break;
    default: std::snprintf(text, capacity, "-"); break;
    }
}
