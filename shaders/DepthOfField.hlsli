// Circle of confusion of the depth of field, shared by its tile pre-pass and its pixel program
// so that both take it with the same arithmetic.
#include "ParticleConfig.h"

ConstantBuffer<DepthOfFieldData> constantData : register(b0);

static const float NEAR_PLANE = 0.1;
static const float FAR_PLANE = 1000.0;
static const float FAR_DISTANCE = 1000.0;
static const int TILE_SIZE = 32; // pixels a side of one tile record

float linearise(float z)
{
    return (NEAR_PLANE * FAR_PLANE) / max(FAR_PLANE - z * (FAR_PLANE - NEAR_PLANE), 1e-6);
}

// Distance of device depth z, scaled by maxDist.
float scaledDistance(float z)
{
    return linearise(z) / constantData.maxDist * FAR_DISTANCE;
}

// Signed blur of a point at scaled distance d, before clamping: -1 and below, 1 and above,
// are blurred by the whole blurSize.
float focusOffset(float d)
{
    return (1.0 / constantData.focusPoint - 1.0 / d) * constantData.focusScale;
}

// Circle-of-confusion radius in pixels of a point at scaled distance d.
float blur(float d)
{
    return abs(clamp(focusOffset(d), -1.0, 1.0)) * abs(constantData.blurSize);
}
