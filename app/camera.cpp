// Demo camera.
#include "app/camera.h"

#include <cmath>

Camera makeCamera(Float3 position, Float3 direction)
{
    return Camera{
        .position = position,
        .velocity = {0.0f, 0.0f, 0.0f},
        .forward = {0.0f, 0.0f, -1.0f},
        .yaw = direction.y,
        .pitch = direction.x,
        .roll = direction.z,
        .view = identity(),
    };
}

void updateCamera(Camera& camera)
{
    float cosPitch = std::cos(camera.pitch);
    camera.forward = {std::cos(camera.yaw) * cosPitch, std::sin(camera.pitch), std::sin(camera.yaw) * cosPitch};
}

Float4x4 viewMatrix(Camera& camera)
{
    Float3 direction = normalize(camera.forward);
    Float4x4 lookAtMatrix = lookAt(camera.position, camera.position + direction, {0.0f, 1.0f, 0.0f});
    camera.view = multiply(lookAtMatrix, rotationZ(camera.roll));
    return camera.view;
}
