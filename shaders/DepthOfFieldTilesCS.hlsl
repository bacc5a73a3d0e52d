// Depth-of-field pre-pass, one thread per pixel: packs colour and device depth into one image,
// so that a spiral sample is one filtered read, and records for each 32 x 32 tile the largest
// blur radius and the range of the signed focus offset, which bound what a spiral can gather.
#include "DepthOfField.hlsli"

Texture2D<float> depthBuffer : register(t0); // device depth, 1 where nothing was hit
Texture2D<float4> Frame : register(t1);      // colour to blur
RWTexture2D<float4> colourAndDepth : register(u0); // rgb colour, a device depth
// Per tile: x the largest blur radius, y and z the smallest and largest focus offset.
RWTexture2D<float4> tileBounds : register(u1);

groupshared uint largestBlur;    // float bits: blur radii are never negative
groupshared uint smallestOffset; // orderedKey
groupshared uint largestOffset;  // orderedKey

// A key whose unsigned order is the order of the floats.
uint orderedKey(float x)
{
    uint bits = asuint(x);
    return (bits & 0x80000000) != 0 ? ~bits : bits | 0x80000000;
}

float keyValue(uint key)
{
    return asfloat((key & 0x80000000) != 0 ? key & 0x7fffffff : ~key);
}

[numthreads(32, 32, 1)]
void main(uint3 pixel : SV_DispatchThreadID, uint3 tile : SV_GroupID, uint groupIndex : SV_GroupIndex)
{
    if (groupIndex == 0) {
        largestBlur = 0;
        smallestOffset = 0xffffffff;
        largestOffset = 0;
    }
    GroupMemoryBarrierWithGroupSync();

    if (pixel.x < uint(constantData.resolution.x) && pixel.y < uint(constantData.resolution.y)) {
        float z = depthBuffer.Load(int3(pixel.xy, 0));
        colourAndDepth[pixel.xy] = float4(Frame.Load(int3(pixel.xy, 0)).rgb, z);
        float d = scaledDistance(z);
        float offset = focusOffset(d);
        float size = blur(d);
        float lo = offset;
        float hi = offset;
        if (isnan(offset)) { // focusPoint and focusScale both 0: no bound at all
            size = abs(constantData.blurSize);
            lo = -1.#INF;
            hi = 1.#INF;
        }
        InterlockedMax(largestBlur, asuint(size));
        InterlockedMin(smallestOffset, orderedKey(lo));
        InterlockedMax(largestOffset, orderedKey(hi));
    }
    GroupMemoryBarrierWithGroupSync();

    if (groupIndex == 0)
        tileBounds[tile.xy] = float4(asfloat(largestBlur), keyValue(smallestOffset), keyValue(largestOffset), 0.0);
}
