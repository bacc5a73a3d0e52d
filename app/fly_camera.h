// The edit mode's camera mode: the viewport's camera flown by hand (mouse look, WASD and QE,
// the wheel for the field of view), starting from the timeline's camera at the playhead, and
// its values as keys of CM::Pos, CM::Dir and CM::Fov. Plain math: the edit mode feeds it input.
#pragma once

#include "app/key_edits.h"
#include "app/parameters.h"

#include <array>

struct FlyCamera {
    bool flying = false;
    Float3 position{};  // as CM::Pos
    Float3 direction{}; // as CM::Dir: pitch, yaw, roll in radians
    float fov = 60.0f;  // as CM::Fov: vertical, degrees
};

// One frame's hand input: movement along the view (forward, right, up: -1, 0 or 1 each), the
// mouse's movement while it looks (pixels), wheel notches and the frame's duration.
struct FlyInput {
    float forward = 0.0f, right = 0.0f, up = 0.0f;
    float lookX = 0.0f, lookY = 0.0f;
    float wheel = 0.0f;
    double seconds = 0.0;
    bool fast = false; // Shift: five times the speed
};

// The camera the timeline gives at frame.
void startFlying(FlyCamera& camera, const Timeline& timeline, uint32_t frame);
// Flies: 20 units a second along the view, 0.005 radians a pixel of look (pitch held within
// ±89 degrees), 2 degrees a notch of field of view (held within 5 to 150).
void fly(FlyCamera& camera, const FlyInput& input);
// The three tracks' values: CM::Pos, CM::Dir, CM::Fov, each with its track's index (tracks the
// timeline lacks are left out).
std::vector<TrackValue> flyCameraValues(const FlyCamera& camera, const Timeline& timeline);
// Writes the flown camera over what the timeline gave this frame (the picture's camera).
void applyFlyCamera(const FlyCamera& camera, DemoState& state);
