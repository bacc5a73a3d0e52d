// Entry point of the piece: start-up, main loop, shutdown. The window, the graphics context,
// the soundtrack and the frame's GPU work are wired in as those layers land; today start-up
// runs the parameters, the timeline and the panic hook.
#include "app/main_loop.h"
#include "app/parameters.h"
#include "code/kivrel_timeline.json.h"
#include "core/log.h"
#include "timeline/timeline_io.h"

#include <cstdlib>
#include <cstring>

namespace {

// The loader reads a writable copy of the compiled-in text, one zero byte longer.
void loadCompiledInTimeline(Timeline& timeline)
{
    char* text = static_cast<char*>(std::calloc(sizeof(TIMELINE_JSON_DATA) + 1, 1));
    std::memcpy(text, TIMELINE_JSON_DATA, sizeof(TIMELINE_JSON_DATA));
    loadTimeline(timeline, text, sizeof(TIMELINE_JSON_DATA));
    std::free(text);
}

} // namespace

int main()
{
    DemoParameters parameters;
    Timeline* timeline = createTimeline(timelineFrameCount);

    DemoState state;
    state.camera = makeCamera(parameters.cameraPos, parameters.cameraDir);
    // Until the window exists the screen is taken to be the render size.
    initRecords(state, parameters, {renderWidth, renderHeight});
    applyDefaults(state, parameters);

    loadCompiledInTimeline(*timeline);
    if (timeline->tracks.count == 0)
        seedTracks(*timeline, parameters);

    // From here on a PANIC writes the timeline out before the process ends.
    panicHook.function = saveTimelineHook;
    panicHook.userData = &timeline;

    // The loop (runMainLoop) is entered here once the window, the frame ring and the
    // soundtrack player exist: without them no frame could be presented or paced.

    // The hook sees a null timeline from here on and saves nothing.
    destroyTimeline(timeline);
    return 0;
}
