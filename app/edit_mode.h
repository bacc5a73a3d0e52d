// kivrel --edit: the piece in a viewport of a normal window with the editor's UI around it,
// the music following the playhead, the timeline edited live, saved and reloaded.
#pragma once

#include <cstdint>

// The preview's render size unless --render-size asks for another.
constexpr uint32_t editRenderWidth = 960, editRenderHeight = 540;

struct EditOptions {
    uint32_t renderWidth = editRenderWidth, renderHeight = editRenderHeight; // width a multiple of 32
    bool validation = false;                                                 // test builds only
};

// Runs the edit mode until Ctrl+Q or the window closes; the process's exit code (0, or 3 after
// validation errors).
int runEditMode(const EditOptions& options);
