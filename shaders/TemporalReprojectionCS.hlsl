// Temporal accumulation of the path-traced colour: reprojects last frame's accumulated colour,
// accepts it only on the same surface, clamps its luma to the 3 x 3 neighbourhood and blends.
// Also keeps the running luma moments (mean of L and of L^2) that the a-trous filter reads.
#include "ParticleConfig.h"

Texture2D<float4> colorImage : register(t0);       // current colour, rgb
Texture2D<float4> motionImage : register(t1);      // screen-space motion in uv units, xy
Texture2D<float4> historyImage : register(t2);     // last frame's accumulated colour
Texture2D<float4> positionImage : register(t3);    // w = particle id, 0 = no particle
Texture2D<float4> normalImage : register(t4);
Texture2D<float4> prevPositionImage : register(t5);
Texture2D<float4> prevNormalImage : register(t6);
Texture2D<float> prevMoment1Image : register(t7);
Texture2D<float> prevMoment2Image : register(t8);
Texture2D<float> depthImage : register(t9);
Texture2D<float> prevDepthImage : register(t10);

RWTexture2D<float4> accumImage : register(u0);
RWTexture2D<float> moment1Image : register(u1);
RWTexture2D<float> moment2Image : register(u2);

ConstantBuffer<ConstantBufferData> frameData : register(b0);

SamplerState linearSampler : register(s0); // MIN_MAG_MIP_LINEAR, CLAMP
SamplerState pointSampler : register(s1);  // MIN_MAG_MIP_POINT, CLAMP

float luma(float3 c)
{
    return dot(c, float3(0.299, 0.587, 0.114));
}

// Mean of 17 taps at pixel centres: the linear sampler returns exactly one pixel per tap,
// and CLAMP repeats the edge pixel beyond the border.
float3 fallbackBlur(float2 pixelCentre, float2 size)
{
    static const float2 offsets[17] = {
        float2(0, 0),
        float2(-1, -1), float2(1, -1), float2(-1, 1), float2(1, 1),
        float2(0, -1), float2(1, 0), float2(0, 1), float2(-1, 0),
        float2(-2, -2), float2(2, -2), float2(-2, 2), float2(2, 2),
        float2(0, -2), float2(2, 0), float2(0, 2), float2(-2, 0),
    };
    float3 sum = 0;
    [unroll]
    for (int i = 0; i < 17; ++i)
        sum += colorImage.SampleLevel(linearSampler, (pixelCentre + offsets[i]) / size, 0).rgb;
    return sum * (1.0 / 17.0);
}

[numthreads(32, 32, 1)]
void main(uint3 dispatchId : SV_DispatchThreadID)
{
    float2 size = frameData.resolution.xy;
    uint width = uint(size.x);
    uint height = uint(size.y);
    if (dispatchId.x >= width || dispatchId.y >= height)
        return;

    int3 pixel = int3(dispatchId.xy, 0);
    uint id = uint(positionImage.Load(pixel).w);
    float3 current = colorImage.Load(pixel).rgb;
    float2 pixelCentre = float2(dispatchId.xy) + 0.5;
    float2 uv = pixelCentre / size;
    float3 normal = normalize(normalImage.Load(pixel).xyz);
    float depth = depthImage.Load(pixel);
    float2 prevUV = uv + motionImage.Load(pixel).xy * frameData.velocityScale;

    // >>history test: same particle, similar normal and depth at the reprojected position
    bool valid = prevUV.x > 0 && prevUV.y > 0 && prevUV.x <= 1 && prevUV.y <= 1 && id != 0;
    float3 history = 0;
    float historyM1 = 0;
    float historyM2 = 0;
    if (valid) {
        history = historyImage.SampleLevel(linearSampler, prevUV, 0).rgb;
        historyM1 = prevMoment1Image.SampleLevel(linearSampler, prevUV, 0);
        historyM2 = prevMoment2Image.SampleLevel(linearSampler, prevUV, 0);
        float3 historyNormal = normalize(prevNormalImage.SampleLevel(linearSampler, prevUV, 0).xyz);
        float historyDepth = prevDepthImage.SampleLevel(linearSampler, prevUV, 0);
        float depthTolerance = max(frameData.depthThreshold * depth, frameData.depthThreshold * 0.5);
        valid = dot(normal, historyNormal) > frameData.normalThreshold &&
                abs(depth - historyDepth) < depthTolerance;
        if (valid)
            valid = uint(prevPositionImage.SampleLevel(pointSampler, prevUV, 0).w) == id;
    }

    // >>neighbourhood: luma range of the 3 x 3 pixels around this one, widened by the spread
    int2 lastPixel = int2(width, height) - 1;
    float lumaMin = 1e30;
    float lumaMax = -1e30;
    float lumaSum = 0;
    float lumaSquareSum = 0;
    [unroll]
    for (int dy = -1; dy <= 1; ++dy) {
        [unroll]
        for (int dx = -1; dx <= 1; ++dx) {
            int2 q = clamp(pixel.xy + int2(dx, dy), int2(0, 0), lastPixel);
            float l = luma(colorImage.Load(int3(q, 0)).rgb);
            lumaMin = min(lumaMin, l);
            lumaMax = max(lumaMax, l);
            lumaSum += l;
            lumaSquareSum += l * l;
        }
    }
    float mean = lumaSum / 9.0;
    float meanOfSquares = lumaSquareSum / 9.0;
    float spread = frameData.standardDeviation * sqrt(max(meanOfSquares - mean * mean, 0.0));
    float lo = lumaMin - spread;
    float hi = lumaMax + spread;

    if (valid) {
        // The history keeps its hue; only its luma is brought into [lo, hi]. Near-black
        // history is used as sampled, to avoid dividing by almost nothing.
        float historyLuma = luma(history);
        if (historyLuma > 0.0001)
            history *= clamp(historyLuma, lo, hi) / historyLuma;
    }

    float currentLuma = luma(current);
    float3 colour;
    float m1;
    float m2;
    if (valid) {
        float a = 1.0 - frameData.blendFactor; // blendFactor is the weight of the current frame
        colour = current + a * (history - current);
        m1 = currentLuma + a * (historyM1 - currentLuma);
        m2 = currentLuma * currentLuma + a * (historyM2 - currentLuma * currentLuma);
    } else {
        colour = fallbackBlur(pixelCentre, size);
        m1 = currentLuma;
        m2 = currentLuma * currentLuma;
    }

    accumImage[dispatchId.xy] = float4(colour, 1.0);
    moment1Image[dispatchId.xy] = m1;
    moment2Image[dispatchId.xy] = m2;
}
