// kivrel --edit (app/edit_mode.h): the piece's start-up in a framed window, the edit model on
// its timeline, the particle snapshots for seeks and the UI, then the main loop with the pump
// building the UI and carrying out what it asks. Talks to ImGui, the platform's UI feed and the
// gfx UI renderer; the panels themselves are app/editor_ui.
#include "app/edit_mode.h"

#include "app/edit_model.h"
#include "app/editor_ui.h"
#include "app/particle_snapshots.h"
#include "app/piece.h"
#include "audio/renderer.h"
#include "system/system.h"
#include "core/log.h"
#include "gfx/context.h"
#include "gfx/ui.h"
#include "platform/window_ui.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr double reloadPollMilliseconds = 250.0;
constexpr uint32_t controlKey = 0x11, spaceKey = 0x20, enterKey = 0x0D, escapeKey = 0x1B; // virtual-key codes (platform.h)

// Every object of the edit mode, owned by runEditMode from start-up to shutdown.
struct EditRun {
    RenderApp app;
    Piece piece; // its timeline is the model's: piece.timeline stays null
    InputState input = {};
    EditModel model;
    ParticleSnapshots snapshots;
    UiRenderer* ui = nullptr;
    MainLoop loop;
    EditorView view;
    bool paused = false;
    bool quit = false;        // Ctrl+Q
    bool controlHeld = false; // Ctrl was down at the end of the last pump
    double nextPoll = 0.0;    // milliseconds: the next look at the timeline file's time
    double iterationStart = 0.0; // milliseconds: when the last loop iteration began
    bool snapshotsMade = false;  // every snapshot up to the last frame shown is there
    MusicView music;          // built once the soundtrack is ready
    bool gridFromFile = false; // kivrel_grid.json loaded: the music's estimate does not replace it
};

bool soundtrackReady(const EditRun& run)
{
    return run.piece.audio->state == RendererState::Ready;
}

uint32_t playhead(const EditRun& run)
{
    return run.piece.state.simulation.frame;
}

// The particles stepped to frame from the nearest snapshot, the music and the loop's clock
// moved there.
void seekEditor(EditRun& run, uint32_t frame)
{
    Piece& piece = run.piece;
    frame = std::min(frame, lastFrameShown);
    double start = nowMilliseconds();
    uint32_t stepped = seekParticles(run.app, piece.scene, piece.state, *run.model.timeline, run.snapshots, frame);
    logMessage("kivrel: seek to frame %u, %u frames stepped in %.0f ms\n", frame, stepped, nowMilliseconds() - start);
    if (!run.paused)
        seekAudio(*piece.audio, frame);
    seekLoop(run.loop, piece.state, frame);
}

// Paused, the music stops and the loop holds the frame (the soundtrack reads as not playing);
// playing again starts the music at the playhead.
void setPaused(EditRun& run, bool paused)
{
    if (paused == run.paused || !soundtrackReady(run))
        return;
    run.paused = paused;
    if (paused) {
        pauseAudio(*run.piece.audio);
    } else {
        seekAudio(*run.piece.audio, playhead(run));
        seekLoop(run.loop, run.piece.state, playhead(run));
    }
}

// An edit that changed the particles' course: the snapshots after it go, and a paused picture
// is stepped again so that it shows the edit.
void followSimulationChange(EditRun& run)
{
    uint32_t from = takeSimulationChange(run.model);
    if (from == noFrame)
        return;
    discardSnapshotsFrom(run.snapshots, from);
    if (run.paused && from <= playhead(run))
        seekEditor(run, playhead(run));
}

// A save over a file the model did not load or write waits for the user's yes (saveOver).
void saveFromEditor(EditRun& run, bool saveOver)
{
    const SaveGuard guard = saveOver ? SaveGuard::Free : checkSave(run.model);
    if (guard != SaveGuard::Free) {
        logMessage("kivrel: kivrel_timeline.json %s: saved only when confirmed\n",
                   guard == SaveGuard::FileDidNotLoad ? "did not load" : "changed on disk");
        run.view.askSaveOver = guard;
        return;
    }
    switch (saveEdits(run.model)) {
    case TimelineSaved::DocumentAndHeader:
        run.view.status = "Saved kivrel_timeline.json and code/kivrel_timeline.json.h";
        break;
    case TimelineSaved::DocumentOnly:
        run.view.status = "Saved kivrel_timeline.json; code/kivrel_timeline.json.h could not be written (see the log)";
        break;
    case TimelineSaved::Nothing:
        run.view.status = "Could not save: kivrel_timeline.json on disk is as it was (see the log)";
        break;
    }
}

// >>music and grid
// The grid from kivrel_grid.json; a missing or broken file waits for the music's estimate.
void loadGridFile(EditRun& run)
{
    std::string text;
    JsonError error;
    const FileReadResult read = readWholeFile(gridFileName, text, 64 * 1024);
    run.gridFromFile = read == FileReadResult::Ok && parseGrid(text.c_str(), text.size(), run.view.grid, error);
    if (run.gridFromFile)
        std::snprintf(run.view.gridStatus, sizeof(run.view.gridStatus), "Grid from %s", gridFileName);
    else
        std::snprintf(run.view.gridStatus, sizeof(run.view.gridStatus), "%s %s: the grid is the music's estimate",
                      gridFileName, read == FileReadResult::Ok ? "did not load" : "not read");
    if (!run.gridFromFile && read != FileReadResult::Missing)
        logMessage("kivrel: %s not used: %s", gridFileName, read == FileReadResult::Ok ? error.message : "unreadable\n");
}

// Once the samples are in memory: the waveform's, onsets' and tempo's tables, and the grid from
// the tempo when no file gave one.
void buildMusic(EditRun& run)
{
    const AudioRenderer& audio = *run.piece.audio;
    if (!run.music.framePeaks.empty() || audio.state != RendererState::Ready || !audio.samples)
        return;
    const double start = nowMilliseconds();
    buildMusicView(run.music, audio.samples, audio.bitsPerSample, audio.totalFrames);
    const TempoEstimate& tempo = run.music.tempo;
    logMessage("kivrel: music: %zu frames, %zu onsets, %.2f bpm from frame %.2f, in %.0f ms\n",
               run.music.framePeaks.size(), run.music.onsets.size(), tempo.beatsPerMinute, tempo.firstBeatFrame,
               nowMilliseconds() - start);
    if (run.gridFromFile)
        return;
    run.view.grid.beatsPerMinute = tempo.beatsPerMinute;
    run.view.grid.firstBeatFrame = tempo.firstBeatFrame;
}

void saveGridFile(EditRun& run)
{
    const std::string text = formatGrid(run.view.grid);
    const bool saved = writeWholeFile(gridFileName, text.data(), text.size()) == FileWriteResult::Ok;
    run.gridFromFile = run.gridFromFile || saved;
    std::snprintf(run.view.gridStatus, sizeof(run.view.gridStatus), saved ? "Saved %s" : "Could not write %s",
                  gridFileName);
    logMessage("kivrel: %s %s\n", gridFileName, saved ? "saved" : "could not be written");
}

// Without Ctrl: Space, 1 to 8 (the bookmarks), Delete (the selection), C (the camera mode) and K
// (its keys), unless a text field has the keyboard.
void readPlainKeys(EditRun& run, EditorRequests& requests)
{
    const InputState& input = run.input;
    if (ImGui::GetIO().WantTextInput)
        return;
    requests.togglePause = input.keyPressed[spaceKey];
    const DynamicArray<uint32_t>& bookmarks = run.model.timeline->bookmarks;
    for (uint32_t i = 0; i < bookmarks.count && i < 8; ++i)
        if (input.keyPressed['1' + i])
            requests.seekTo = bookmarks[i];
    if (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Delete)))
        deleteSelection(run.view, run.model);
    requests.toggleCamera = requests.toggleCamera || input.keyPressed['C'];
    if (run.view.camera.flying && input.keyPressed['K'])
        keyCamera(run.view, run.model, playhead(run));
}

// Ctrl+S, Ctrl+Z, Ctrl+Y, Ctrl+Q, and for the keys Ctrl+A, Ctrl+C, Ctrl+X, Ctrl+V; the keys
// without Ctrl (readPlainKeys).
void readShortcuts(EditRun& run, EditorRequests& requests)
{
    const InputState& input = run.input;
    // Ctrl counts if it was down at any time in this pump: held from the last one or pressed in
    // this one, whether or not it has come up since (a fast Ctrl+S can come and go in one pump).
    bool control = run.controlHeld || input.keyPressed[controlKey];
    run.controlHeld = input.keyDown[controlKey];
    if (!control) {
        readPlainKeys(run, requests);
        return;
    }
    if (input.keyPressed['Q'])
        run.quit = true;
    requests.save = requests.save || input.keyPressed['S'];
    if (ImGui::GetIO().WantTextInput)
        return; // a text field undoes, copies and pastes its own text
    if (input.keyPressed['Z'])
        undoFromEditor(run.view, run.model, requests);
    if (input.keyPressed['Y'])
        redoFromEditor(run.view, run.model, requests);
    if (input.keyPressed['A'])
        selectAllKeys(run.view, run.model);
    if (input.keyPressed['C'])
        copySelection(run.view, run.model);
    if (input.keyPressed['X'])
        cutSelection(run.view, run.model);
    if (input.keyPressed['V'])
        pasteClipboard(run.view, run.model, playhead(run));
}

// The camera mode: in, from the timeline's camera at the playhead; out, the picture's camera
// is the timeline's again and the particles (which the flown camera may have pushed) are
// stepped again from a snapshot. While in: WASD and QE fly unless Ctrl is down or a text field
// has the keyboard, a drag over the viewport looks, the wheel there sets the field of view.
void flyCamera(EditRun& run, bool toggle)
{
    FlyCamera& camera = run.view.camera;
    if (toggle) {
        if (camera.flying) {
            camera.flying = false;
            seekEditor(run, playhead(run));
        } else {
            startFlying(camera, *run.model.timeline, playhead(run));
        }
        logMessage("kivrel: camera mode %s at frame %u\n", camera.flying ? "on" : "off", playhead(run));
    }
    if (!camera.flying)
        return;
    const ImGuiIO& io = ImGui::GetIO();
    const uint8_t* down = run.input.keyDown;
    const bool keys = !io.WantTextInput && !down[controlKey];
    const bool overViewport = !io.WantCaptureMouse;
    FlyInput input;
    if (keys) {
        input.forward = float(down['W'] != 0) - float(down['S'] != 0);
        input.right = float(down['D'] != 0) - float(down['A'] != 0);
        input.up = float(down['E'] != 0) - float(down['Q'] != 0);
        input.fast = io.KeyShift;
    }
    if (overViewport && io.MouseDown[0]) {
        input.lookX = io.MouseDelta.x;
        input.lookY = io.MouseDelta.y;
    }
    input.wheel = overViewport ? io.MouseWheel : 0.0f;
    input.seconds = std::min(double(io.DeltaTime), 0.1);
    fly(camera, input);
}

// While playing: the loop between two bookmarks, and a pause at the piece's last frame.
void keepPlayheadInRange(EditRun& run)
{
    if (run.paused || !soundtrackReady(run))
        return;
    const DynamicArray<uint32_t>& bookmarks = run.model.timeline->bookmarks;
    const EditorView& view = run.view;
    if (view.looping && uint32_t(view.loopTo) < bookmarks.count && uint32_t(view.loopFrom) < bookmarks.count) {
        uint32_t from = bookmarks[view.loopFrom], to = bookmarks[view.loopTo];
        if (from < to && (playhead(run) >= to || playhead(run) < from))
            seekEditor(run, from);
    } else if (playhead(run) >= lastFrameShown) {
        setPaused(run, true);
    }
}

// The pump of one iteration: the messages, then the UI built and its requests carried out.
bool pumpEditor(EditRun& run)
{
    pumpMessages(run.app, run.input);
    if (run.app.windowState.quit)
        return true;
    buildMusic(run);
    beginWindowUiFrame(run.app.window);
    ImGui::NewFrame();
    EditorRequests requests;
    readShortcuts(run, requests);
    const ImGuiIO& io = ImGui::GetIO();
    const EditorStatus status = {.frame = playhead(run),
                                 .paused = run.paused,
                                 .ready = soundtrackReady(run),
                                 .enterPressed = run.input.keyPressed[enterKey] != 0,
                                 .escapePressed = run.input.keyPressed[escapeKey] != 0,
                                 .music = run.music.framePeaks.empty() ? nullptr : &run.music};
    drawEditor(run.view, run.model, status, io.DisplaySize.x, io.DisplaySize.y, requests);
    ImGui::Render();
    if (requests.undoOrRedo)
        forgetSelection(run.view);
    flyCamera(run, requests.toggleCamera);
    if (requests.save || requests.saveOver)
        saveFromEditor(run, requests.saveOver);
    if (requests.saveGrid)
        saveGridFile(run);
    if (requests.togglePause)
        setPaused(run, !run.paused);
    if (requests.seekTo != noFrame && status.ready)
        seekEditor(run, requests.seekTo);
    followSimulationChange(run);
    keepPlayheadInRange(run);
    // The viewport: the window less the panels, in the back buffer's pixels.
    Float2 picture = editorViewport(io.DisplaySize.x, io.DisplaySize.y);
    run.piece.scene.pictureWidth = uint32_t(std::max(1.0f, picture.x * io.DisplayFramebufferScale.x));
    run.piece.scene.pictureHeight = uint32_t(std::max(1.0f, picture.y * io.DisplayFramebufferScale.y));
    return run.quit;
}

// Between iterations, as much time as the last iteration took (at most 150 ms) goes to making
// the particle snapshots, until every one is there: a seek then steps at most 299 frames. None
// while a mouse button is held: a drag gets every frame there is.
void makeSnapshotsBetweenFrames(EditRun& run)
{
    const double now = nowMilliseconds();
    if (ImGui::IsAnyMouseDown()) {
        run.iterationStart = now; // no slice: even an empty one waits for the GPU
        return;
    }
    const double budget = std::min(now - run.iterationStart, 150.0);
    const bool made = makeSnapshots(run.app, run.piece.scene, run.piece.state, *run.model.timeline, run.snapshots, budget);
    if (made && !run.snapshotsMade)
        logMessage("kivrel: particle snapshots made up to frame %u\n", lastFrameShown / snapshotInterval * snapshotInterval);
    run.snapshotsMade = made;
    run.iterationStart = nowMilliseconds();
}

// Between iterations (a reload replaces the timeline the iteration evaluates).
void pollTimelineFile(EditRun& run)
{
    double now = nowMilliseconds();
    if (now < run.nextPoll)
        return;
    run.nextPoll = now + reloadPollMilliseconds;
    switch (reloadChangedTimeline(run.model)) {
    case FilePoll::Unchanged:
        return;
    case FilePoll::Reloaded:
        logMessage("kivrel: reloaded kivrel_timeline.json\n");
        if (!run.model.lastLoad.warnings.empty())
            logMessage("kivrel: kivrel_timeline.json: %s", run.model.lastLoad.warnings.c_str());
        forgetSelection(run.view);
        run.view.status = "Reloaded kivrel_timeline.json";
        followSimulationChange(run);
        return;
    case FilePoll::NotLoaded:
        // Once per broken file; the UI shows it for as long as it stays.
        logMessage("kivrel: kivrel_timeline.json not loaded: %s", run.model.lastLoad.error.message);
        return;
    case FilePoll::ChangedOverEdits:
        logMessage("kivrel: kivrel_timeline.json changed on disk over unsaved edits: both kept, the user chooses\n");
        return;
    }
}

void startEditRun(EditRun& run, const EditOptions& options)
{
    RenderApp& app = run.app;
    const WindowShape window = {.framed = true,
                               .width = std::max(options.renderWidth + uint32_t(sidePanelWidth), 1000u),
                               .height = std::max(options.renderHeight + uint32_t(trackPanelHeight), 660u)};
    initGraphics(app, {.validation = options.validation, .window = window});
    app.windowState.escapeQuits = false;
    startPiece(app, run.piece,
               {.renderWidth = options.renderWidth, .renderHeight = options.renderHeight, .compiledInTimeline = false});
    setCursorVisible(app.window, true);
    // The model's timeline is the one shown, edited and saved on a PANIC, also after a reload;
    // a file on disk that the model does not know is not written over then either.
    startEditModel(run.model, timelineFrameCount);
    if (run.model.lastLoad.error.failed)
        logMessage("kivrel: kivrel_timeline.json not loaded: %s", run.model.lastLoad.error.message);
    panicHook = {.function = saveEditsOnPanic, .userData = &run.model};
    createParticleSnapshots(app, run.snapshots);
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr; // the layout is fixed: nothing to remember
    ImGui::StyleColorsDark();
    startWindowUi(app.window);
    run.ui = createUiRenderer(app);
    loadGridFile(run);
}

void stopEditRun(EditRun& run)
{
    destroyUiRenderer(run.app, run.ui);
    stopWindowUi(run.app.window);
    ImGui::DestroyContext();
    destroyParticleSnapshots(run.app, run.snapshots);
    stopPiece(run.app, run.piece);
    stopEditModel(run.model); // the hook sees a null timeline from here on
    destroyGraphics(run.app);
}

} // namespace

int runEditMode(const EditOptions& options)
{
    EditRun run;
    startEditRun(run, options);

    SoundtrackSource soundtrack = pieceSoundtrack(run.app, run.piece);
    soundtrack.playing = [&run, playing = soundtrack.playing] { return !run.paused && playing(); };
    soundtrack.play = [&run, play = soundtrack.play] {
        if (!run.paused)
            play();
    };
    FrameSink frames = pieceFrames(run.app, run.piece, run.input);
    frames.pumpMessages = [&run] { return pumpEditor(run); };
    frames.recordScene = [&run, recordScene = frames.recordScene] {
        if (run.paused)
            run.piece.state.simulation.dt = 0.0f; // the picture holds still
        if (run.view.camera.flying)
            applyFlyCamera(run.view.camera, run.piece.state);
        recordScene();
    };
    frames.endFrame = [&run, endFrame = frames.endFrame] {
        recordUi(run.app, *run.ui, run.app.frames[run.piece.scene.frameSlot].commandList);
        endFrame();
    };

    run.loop.lastFrame = timelineFrameCount; // the edit mode pauses at the last frame itself
    startLoop(run.loop, run.piece.state);
    do {
        pollTimelineFile(run);
        makeSnapshotsBetweenFrames(run);
    } while (runLoopIteration(run.loop, run.piece.state, *run.model.timeline, nowMilliseconds, soundtrack, frames));

    stopEditRun(run);
    logMessage("kivrel: edit mode closed at frame %u\n", playhead(run));
    return exitCodeOf(run.app);
}
