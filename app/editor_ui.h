// The edit mode's panels on Dear ImGui: the transport, the selected key and the values at the
// playhead beside the viewport, the tracks' rows of keys below it. Key edits go straight to the
// edit model; what needs the GPU or the music comes back as requests. ImGui's API only.
#pragma once

#include "app/beat_grid.h"
#include "app/edit_model.h"
#include "app/fly_camera.h"
#include "app/key_edits.h"
#include "app/music_view.h"
#include "core/math.h"

#include <cstdint>

constexpr float sidePanelWidth = 380.0f;   // pixels, right of the viewport
constexpr float trackPanelHeight = 360.0f; // pixels, below it

// What one frame of the UI asks the edit mode to do.
struct EditorRequests {
    bool togglePause = false;
    bool save = false;
    bool undoOrRedo = false;   // done already; the selection may point at nothing now
    uint32_t seekTo = noFrame; // the frame to show next
    bool saveOver = false;     // the user confirmed a save over a file the model does not know
    bool saveGrid = false;     // the user changed the beat grid: its file is written
    bool toggleCamera = false; // into or out of the camera mode
};

// The UI's own state between frames.
struct EditorView {
    KeySelection selection;     // the selected keys, across tracks
    int32_t selectedTrack = -1; // the slot last clicked (a key or an empty frame of a row); none
    uint32_t selectedFrame = 0;
    KeyClipboard clipboard;     // Ctrl+C, Ctrl+X; by track name, so a reload keeps it
    bool boxing = false;        // a box is being dragged over the rows from boxStartX, boxStartY
    float boxStartX = 0.0f, boxStartY = 0.0f;
    bool stretching = false;    // Alt was held during the drag of the selection: a stretch
    bool stretchAboutPlayhead = false; // its pivot: the playhead, or the selection's first key
    double bias[3] = {0.0, 0.0, 0.0}, scalePivot[3] = {0.0, 0.0, 0.0}, scaleFactor = 1.0, stretchFactor = 1.0;
    int32_t rippleFrames = 60;  // frames a ripple inserts or removes at the playhead
    bool askRemoveTime = false; // a ripple removal that deletes keys or bookmarks waits for a yes
    FlyCamera camera;           // the camera mode
    float axisStart = 0.0f;     // frame at the left edge of the time axis
    float framesPerPixel = 0.0f; // the axis's zoom; 0 fits the piece's frames to the axis
    uint32_t followedFrame = 0; // the playhead the axis last saw: a new one is kept in view
    int32_t draggedTrack = -1;  // a key held by the mouse, from selectedFrame: the selection moves with it
    float dragStartX = 0.0f, dragStartY = 0.0f; // where the mouse took it, screen pixels
    bool draggingValue = false; // a tall row's key dragged up or down: its value, not its frame
    float valuePerPixel = 0.0f; // the tall row's scale when the value drag began
    uint32_t dragComponent = 0; // FLOAT3: the component nearest the mouse when it began
    uint32_t tallRows = 0;      // one bit a track: the row is tall, its curve readable
    bool looping = false;       // between bookmarks loopFrom and loopTo
    int32_t loopFrom = 0, loopTo = 1;
    int32_t scrubFrame = 0;     // the scrub bar's value while it is dragged
    bool scrubbing = false;     // the scrub bar was held last frame
    const char* status = "";    // the last save, undo, redo, reload or operation
    char statusText[200] = "";  // a status made up as it happened
    SaveGuard askSaveOver = SaveGuard::Free; // a save waits for the user's yes: why
    BeatGrid grid;              // from kivrel_grid.json, or the music's estimate
    char gridStatus[160] = "";  // where the grid came from, or why its file was not used
};

// What the UI shows of the run.
struct EditorStatus {
    uint32_t frame; // the playhead: the frame shown next
    bool paused;
    bool ready;     // the soundtrack is rendered: the transport works
    // Enter and Escape pressed in this pump (ImGui of this version misses a press that comes and
    // goes within one frame, as a fast key does on a slow frame).
    bool enterPressed = false, escapePressed = false;
    const MusicView* music = nullptr; // null until the soundtrack is ready
};

// The viewport's size in a display of width x height: what the panels leave, from the top left.
Float2 editorViewport(float width, float height);
// One frame's panels, between ImGui::NewFrame and ImGui::Render.
void drawEditor(EditorView& view, EditModel& model, const EditorStatus& status, float width, float height,
                EditorRequests& requests);
// The tracks' rows (app/editor_tracks.cpp), inside the track panel.
void drawTrackRows(EditorView& view, EditModel& model, const EditorStatus& status, EditorRequests& requests);
// The music under the ruler and the grid (app/editor_music.cpp): the grid's settings in the side
// panel.
void drawGridSettings(EditorView& view, const EditorStatus& status, EditorRequests& requests);
// Undo and redo with their status line (the buttons and Ctrl+Z, Ctrl+Y).
void undoFromEditor(EditorView& view, EditModel& model, EditorRequests& requests);
void redoFromEditor(EditorView& view, EditModel& model, EditorRequests& requests);
// The selection's operations from the keyboard (Ctrl+A, Ctrl+C, Ctrl+X, Ctrl+V, Delete), each
// with its status line.
void selectAllKeys(EditorView& view, const EditModel& model);
void copySelection(EditorView& view, const EditModel& model);
void cutSelection(EditorView& view, EditModel& model);
void pasteClipboard(EditorView& view, EditModel& model, uint32_t frame);
void deleteSelection(EditorView& view, EditModel& model);
// The side panel's parts for the selection (app/editor_keys.cpp): the keys' count, easing,
// bias, scale and stretch; the ripple at the playhead; the camera mode.
void drawSelectionPanel(EditorView& view, EditModel& model, const EditorStatus& status);
void drawRipplePanel(EditorView& view, EditModel& model, const EditorStatus& status);
void drawCameraPanel(EditorView& view, EditModel& model, const EditorStatus& status, EditorRequests& requests);
// The status line: a formatted text, or after an operation doneText or why nothing changed.
void reportStatus(EditorView& view, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
void reportEdit(EditorView& view, const KeyEdit& edit, const char* doneText);
// The pivot of a stretch: the playhead, or the selection's first key.
uint32_t stretchPivot(const EditorView& view, const EditorStatus& status);
// No key selected and no slot clicked: after an undo, a reload or a ripple moved the keys.
void forgetSelection(EditorView& view);
// K: the flown camera's keys at frame (CM::Pos, CM::Dir, CM::Fov), one undo step.
void keyCamera(EditorView& view, EditModel& model, uint32_t frame);
// The easing list, each name with its curve; the choice goes to every selected key (or the key
// at the slot when nothing is selected).
void editEasing(EditorView& view, EditModel& model, uint32_t easing);
void drawEasingCurve(uint32_t easing, float width, float height);
// A value as the UI writes it ("0.500", "(1.0, 2.0, 3.0)", "42").
void formatValue(const FrameValue& value, char* text, uint32_t capacity);
