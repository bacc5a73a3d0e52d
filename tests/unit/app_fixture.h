// The demo as start-up leaves it, for the app tests: defaults, records for a 2560 x 1440
// screen, the camera, and the compiled-in timeline (or the given text), seeded from the
// defaults when it has no tracks. The order is kivrel's start-up order.
#pragma once

#include "app/main_loop.h"
#include "app/parameters.h"
#include "timeline/timeline_io.h"

#include <gtest/gtest.h>

#include <cstring>

struct StartedDemo {
    DemoParameters parameters;
    DemoState state;
    Timeline* timeline = createTimeline(timelineFrameCount);

    explicit StartedDemo(const char* timelineText = nullptr)
    {
        state.camera = makeCamera(parameters.cameraPos, parameters.cameraDir);
        initRecords(state, parameters, {2560.0f, 1440.0f});
        testing::internal::CaptureStdout();
        if (timelineText)
            loadTimeline(*timeline, timelineText, std::strlen(timelineText));
        else
            loadCompiledInTimeline(*timeline);
        testing::internal::GetCapturedStdout();
        if (timeline->tracks.count == 0)
            seedTracks(*timeline, parameters);
    }
    ~StartedDemo() { destroyTimeline(timeline); }
};
