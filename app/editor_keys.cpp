// The edit mode's work on many keys (app/editor_ui.h): the selection's part of the side panel
// (count, easing, bias, scale, stretch), the ripple at the playhead with its question, the camera
// mode's part, and the selection's keyboard operations. The operations themselves are the edit
// model's (app/key_edits.h).
#include "app/editor_ui.h"

#include "core/log.h"
#include "timeline/easing.h"

#include <imgui.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <set>

namespace {

uint32_t selectedTrackCount(const KeySelection& selection)
{
    std::set<uint32_t> tracks;
    for (KeyRef key : selection)
        tracks.insert(key.track);
    return uint32_t(tracks.size());
}

// Stretch about the playhead or the selection's first key, by the typed factor.
void drawStretch(EditorView& view, EditModel& model, const EditorStatus& status)
{
    ImGui::SetNextItemWidth(100);
    ImGui::InputDouble("##stretch", &view.stretchFactor, 0.0, 0.0, "%.3f");
    ImGui::SameLine();
    if (ImGui::Button("Stretch"))
        reportEdit(view, stretchKeys(model, view.selection, stretchPivot(view, status), view.stretchFactor),
                   "Stretched the selected keys");
    ImGui::SameLine();
    ImGui::Checkbox("about the playhead", &view.stretchAboutPlayhead);
}

// The question before a ripple removal that deletes keys or bookmarks: Enter yes, Escape no.
void drawRemoveTimeQuestion(EditorView& view, EditModel& model, const EditorStatus& status)
{
    constexpr const char* title = "Remove time?";
    if (view.askRemoveTime && !ImGui::IsPopupOpen(title))
        ImGui::OpenPopup(title);
    if (!ImGui::BeginPopupModal(title, nullptr, ImGuiWindowFlags_AlwaysAutoResize))
        return;
    const uint32_t count = uint32_t(std::max(view.rippleFrames, 1));
    const RemovedByRipple removed = removedByRipple(*model.timeline, status.frame, count);
    ImGui::Text("Removing frames %u to %u deletes %u keys and %u bookmarks inside them;\n"
                "everything after moves back %u frames.",
                status.frame + 1, status.frame + count, removed.keys, removed.bookmarks, count);
    const bool yes = ImGui::Button("Remove (Enter)") || status.enterPressed;
    ImGui::SameLine();
    const bool no = ImGui::Button("Cancel (Escape)") || status.escapePressed;
    if (yes)
        reportEdit(view, removeTime(model, status.frame, count), "Removed time at the playhead");
    if (yes || no) {
        view.askRemoveTime = false;
        forgetSelection(view);
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

} // namespace

void drawSelectionPanel(EditorView& view, EditModel& model, const EditorStatus& status)
{
    ImGui::Text("%zu keys selected in %u tracks", view.selection.size(), selectedTrackCount(view.selection));
    editEasing(view, model, commonEasing(*model.timeline, view.selection));
    ImGui::SetNextItemWidth(200);
    ImGui::InputScalarN("##bias", ImGuiDataType_Double, view.bias, 3, nullptr, nullptr, "%.3f");
    ImGui::SameLine();
    if (ImGui::Button("Add"))
        reportEdit(view, biasKeys(model, view.selection, view.bias), "Added to the selected keys' values");
    ImGui::SetNextItemWidth(200);
    ImGui::InputScalarN("##pivot", ImGuiDataType_Double, view.scalePivot, 3, nullptr, nullptr, "%.3f");
    ImGui::SameLine();
    ImGui::TextDisabled("pivot");
    ImGui::SetNextItemWidth(100);
    ImGui::InputDouble("##factor", &view.scaleFactor, 0.0, 0.0, "%.3f");
    ImGui::SameLine();
    if (ImGui::Button("Multiply"))
        reportEdit(view, scaleKeys(model, view.selection, view.scalePivot, view.scaleFactor), "Multiplied the selected keys' values");
    drawStretch(view, model, status);
    ImGui::TextDisabled("FLOAT3 takes x, y, z; FLOAT and UINT take x; UINT stays whole");
    if (ImGui::Button("Delete keys"))
        deleteSelection(view, model);
}

void drawRipplePanel(EditorView& view, EditModel& model, const EditorStatus& status)
{
    ImGui::Separator();
    ImGui::Text("Time at the playhead");
    ImGui::SetNextItemWidth(100);
    ImGui::InputInt("frames##ripple", &view.rippleFrames, 1, 60);
    view.rippleFrames = std::clamp(view.rippleFrames, 1, int32_t(model.timeline->frameCount));
    ImGui::SameLine();
    // A ripple moves keys under the selection's frames: it starts again.
    if (ImGui::Button("Insert")) {
        reportEdit(view, insertTime(model, status.frame, uint32_t(view.rippleFrames)), "Inserted time at the playhead");
        forgetSelection(view);
    }
    ImGui::SameLine();
    if (ImGui::Button("Remove")) {
        const RemovedByRipple removed = removedByRipple(*model.timeline, status.frame, uint32_t(view.rippleFrames));
        if (removed.keys + removed.bookmarks > 0)
            view.askRemoveTime = true;
        else
            reportEdit(view, removeTime(model, status.frame, uint32_t(view.rippleFrames)), "Removed time at the playhead");
        forgetSelection(view);
    }
    drawRemoveTimeQuestion(view, model, status);
}

void drawCameraPanel(EditorView& view, EditModel& model, const EditorStatus& status, EditorRequests& requests)
{
    ImGui::Separator();
    bool flying = view.camera.flying;
    if (ImGui::Checkbox("Fly the camera (C)", &flying))
        requests.toggleCamera = true;
    if (!view.camera.flying)
        return;
    ImGui::TextDisabled("drag: look   W A S D: fly   Q E: down, up\nShift: faster   wheel: field of view");
    if (ImGui::Button("Key the camera here (K)"))
        keyCamera(view, model, status.frame);
}

void reportStatus(EditorView& view, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(view.statusText, sizeof(view.statusText), format, arguments);
    va_end(arguments);
    view.status = view.statusText;
}

void reportEdit(EditorView& view, const KeyEdit& edit, const char* doneText)
{
    reportStatus(view, "%s", edit.done ? doneText : edit.why);
}

uint32_t stretchPivot(const EditorView& view, const EditorStatus& status)
{
    return view.stretchAboutPlayhead ? status.frame : selectionSpan(view.selection).first;
}

void forgetSelection(EditorView& view)
{
    view.selection.clear();
    view.selectedTrack = -1;
}

void keyCamera(EditorView& view, EditModel& model, uint32_t frame)
{
    const std::vector<TrackValue> values = flyCameraValues(view.camera, *model.timeline);
    const KeyEdit edit = keyValuesAt(model, frame, values);
    if (edit.done)
        logMessage("kivrel: camera keyed at frame %u\n", frame);
    reportEdit(view, edit, "Keyed CM::Pos, CM::Dir and CM::Fov at the playhead");
}

void selectAllKeys(EditorView& view, const EditModel& model)
{
    const Timeline& timeline = *model.timeline;
    uint32_t from = 0, to = timeline.frameCount - 1;
    const DynamicArray<uint32_t>& bookmarks = timeline.bookmarks;
    if (view.looping && uint32_t(view.loopFrom) < bookmarks.count && uint32_t(view.loopTo) < bookmarks.count) {
        from = bookmarks[view.loopFrom];
        to = bookmarks[view.loopTo];
    }
    view.selection = keysInside(timeline, 0, timeline.tracks.count - 1, from, to);
    reportStatus(view, "Selected %zu keys from frame %u to %u", view.selection.size(), std::min(from, to),
                 std::max(from, to));
}

void copySelection(EditorView& view, const EditModel& model)
{
    if (view.selection.empty())
        return;
    view.clipboard = copyKeys(*model.timeline, view.selection);
    reportStatus(view, "Copied %zu keys", view.clipboard.keys.size());
}

void cutSelection(EditorView& view, EditModel& model)
{
    if (view.selection.empty())
        return;
    view.clipboard = copyKeys(*model.timeline, view.selection);
    reportEdit(view, deleteKeys(model, view.selection), "Cut the selected keys");
}

void pasteClipboard(EditorView& view, EditModel& model, uint32_t frame)
{
    const KeyEdit edit = pasteKeys(model, view.clipboard, frame, view.selection);
    if (edit.done)
        logMessage("kivrel: pasted %zu keys at frame %u\n", view.selection.size(), frame);
    reportEdit(view, edit, "Pasted at the playhead");
}

void deleteSelection(EditorView& view, EditModel& model)
{
    if (!view.selection.empty())
        reportEdit(view, deleteKeys(model, view.selection), "Deleted the selected keys");
    forgetSelection(view);
}
