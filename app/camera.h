// The demo camera: position and pitch, yaw and roll written by the timeline each frame, the
// viewing direction derived from them, and the view matrix built from both.
#pragma once

#include "core/math.h"

struct Camera {
    Float3 position;
    Float3 velocity;   // stays zero in the demo
    Float3 forward;    // recomputed from yaw and pitch by updateCamera
    float yaw;         // radians, about +y
    float pitch;       // radians, elevation
    float roll;        // radians, about the viewing axis
    Float4x4 view;     // last matrix built by viewMatrix
};

// direction is (pitch, yaw, roll) in radians; forward starts as (0, 0, -1), view as identity.
Camera makeCamera(Float3 position, Float3 direction);
// forward = (cos yaw cos pitch, sin pitch, sin yaw cos pitch); nothing else changes.
void updateCamera(Camera& camera);
// lookAt(position, position + normalised forward, +y) x rotation about z by roll; also
// stored in camera.view.
Float4x4 viewMatrix(Camera& camera);
