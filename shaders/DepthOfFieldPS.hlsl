// Single-pass depth of field: gathers samples along a golden-angle spiral around each pixel,
// each weighted by its own circle of confusion so that sharp foreground edges are not smeared
// over blurred background.
#include "ParticleConfig.h"

Texture2D<float> depthBuffer : register(t0); // device depth, 1 where nothing was hit
Texture2D<float4> Frame : register(t1);      // colour to blur
ConstantBuffer<DepthOfFieldData> constantData : register(b0);
SamplerState Sampler : register(s0);         // MIN_MAG_MIP_LINEAR, CLAMP

static const float GOLDEN_ANGLE = 7.39996323; // radians per spiral sample
static const float NEAR_PLANE = 0.1;
static const float FAR_PLANE = 1000.0;
static const float FAR_DISTANCE = 1000.0;
static const float MAX_UV = 0.995;

float linearise(float z)
{
    return (NEAR_PLANE * FAR_PLANE) / max(FAR_PLANE - z * (FAR_PLANE - NEAR_PLANE), 1e-6);
}

// Circle-of-confusion radius in pixels of a point at scaled distance d.
float blur(float d)
{
    return abs(clamp((1.0 / constantData.focusPoint - 1.0 / d) * constantData.focusScale, -1.0, 1.0)) *
           abs(constantData.blurSize);
}

float scaledDistance(float2 uv)
{
    return linearise(depthBuffer.SampleLevel(Sampler, uv, 0)) / constantData.maxDist * FAR_DISTANCE;
}

float4 main(float4 position : SV_Position) : SV_Target
{
    float2 uv = position.xy / constantData.resolution;
    // Images have one mip level, so every read is at LOD 0, the pass-through one included.
    if (depthBuffer.SampleLevel(Sampler, uv, 0) < -1.0)
        return Frame.SampleLevel(Sampler, uv, 0);

    float4 centre = Frame.SampleLevel(Sampler, uv, 0);
    float centreDistance = scaledDistance(uv);
    float centreSize = blur(centreDistance);

    float3 colour = centre.rgb;
    float tot = 1.0;
    float radiusScale = constantData.radiusScale;
    float radius = radiusScale;
    float2 pixelStep = 1.0 / constantData.resolution;
    float angle = 0.0;
    // The spiral grows by radiusScale / radius per sample: a radiusScale that is not positive
    // would never reach blurSize, so it means no blur.
    if (radiusScale > 0.0) {
        while (radius < abs(constantData.blurSize)) {
            float2 t = clamp(uv + float2(cos(angle), sin(angle)) * pixelStep * radius, 0.0, MAX_UV);
            float3 sampleColour = Frame.SampleLevel(Sampler, t, 0).rgb;
            float sampleDistance = scaledDistance(t);
            float sampleSize = blur(sampleDistance);
            if (sampleDistance > centreDistance) // behind the centre: cannot blur over it
                sampleSize = clamp(sampleSize, 0.0, 2.0 * centreSize);
            float m = smoothstep(radius - 0.5, radius + 0.5, sampleSize);
            colour += lerp(colour / tot, sampleColour, m);
            tot += 1.0;
            float nextRadius = radius + radiusScale / radius;
            // A radiusScale too small to move the radius in float would spin forever.
            if (nextRadius <= radius)
                break;
            radius = nextRadius;
            angle += GOLDEN_ANGLE;
        }
    }
    return float4(colour / tot, 1.0);
}
