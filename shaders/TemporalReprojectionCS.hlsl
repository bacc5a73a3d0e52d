// Temporal accumulation of the path-traced colour: reprojects last frame's accumulated colour,
// accepts it only on the same surface, clamps its luma to the 3 x 3 neighbourhood and blends.
// Also keeps the running luma moments (mean of L and of L^2) that the a-trous filter reads.
// Each pixel of the 3 x 3 neighbourhood is read once, for the luma range and the blur alike.
#include "ParticleConfig.h"

Texture2D<float4> colorImage : register(t0);       // current colour, rgb
Texture2D<float4> motionImage : register(t1);      // screen-space motion in uv units, xy
Texture2D<float4> historyImage : register(t2);     // last frame's accumulated colour
Texture2D<float4> positionImage : register(t3);    // w = particle id, 0 = no particle
Texture2D<float4> normalImage : register(t4);      // normal, depth (as depthImage)
Texture2D<float4> prevPositionImage : register(t5);
Texture2D<float4> prevNormalImage : register(t6);  // last frame's normal, depth
Texture2D<float> prevMoment1Image : register(t7);
Texture2D<float> prevMoment2Image : register(t8);
Texture2D<float> depthImage : register(t9);        // REFERENCE_VARIANT reads the depths here
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

// The colours of the 3 x 3 pixels around a pixel (clamped to the image), read once for the
// luma range and the fallback blur.
struct Neighbourhood {
    float3 colour[3][3]; // [dy + 1][dx + 1]
};

Neighbourhood loadNeighbourhood(int2 pixel, int2 lastPixel)
{
    Neighbourhood around;
    [unroll]
    for (int dy = -1; dy <= 1; ++dy) {
        [unroll]
        for (int dx = -1; dx <= 1; ++dx)
            around.colour[dy + 1][dx + 1] = colorImage.Load(int3(clamp(pixel + int2(dx, dy), int2(0, 0), lastPixel), 0)).rgb;
    }
    return around;
}

// The 17 offsets (dx, dy) of the fallback blur, in the order they are summed.
static const int2 BLUR_OFFSETS[17] = {
    int2(0, 0),
    int2(-1, -1), int2(1, -1), int2(-1, 1), int2(1, 1),
    int2(0, -1), int2(1, 0), int2(0, 1), int2(-1, 0),
    int2(-2, -2), int2(2, -2), int2(-2, 2), int2(2, 2),
    int2(0, -2), int2(2, 0), int2(0, 2), int2(-2, 0),
};

#ifdef REFERENCE_VARIANT
// Mean of 17 taps at pixel centres: the linear sampler returns exactly one pixel per tap,
// and CLAMP repeats the edge pixel beyond the border.
float3 fallbackBlur(float2 pixelCentre, float2 size, Neighbourhood around)
{
    float3 sum = 0;
    [unroll]
    for (int i = 0; i < 17; ++i)
        sum += colorImage.SampleLevel(linearSampler, (pixelCentre + float2(BLUR_OFFSETS[i])) / size, 0).rgb;
    return sum * (1.0 / 17.0);
}
#else
// Mean of the 17 taps, which lie at pixel centres so that each is one pixel: the inner nine
// are the neighbourhood's, the eight at distance 2 are loaded (clamped, as CLAMP repeats the
// edge pixel).
float3 fallbackBlur(float2 pixelCentre, float2 size, Neighbourhood around)
{
    int2 pixel = int2(pixelCentre);
    int2 lastPixel = int2(size) - 1;
    float3 sum = 0;
    [unroll]
    for (int i = 0; i < 17; ++i) {
        int2 offset = BLUR_OFFSETS[i];
        if (i < 9)
            sum += around.colour[offset.y + 1][offset.x + 1];
        else
            sum += colorImage.Load(int3(clamp(pixel + offset, int2(0, 0), lastPixel), 0)).rgb;
    }
    return sum * (1.0 / 17.0);
}
#endif

// >>neighbourhood: the luma range of the 3 x 3 pixels around this one, widened by their spread.
float2 neighbourhoodLumaRange(Neighbourhood around)
{
    float lumaMin = 1e30;
    float lumaMax = -1e30;
    float lumaSum = 0;
    float lumaSquareSum = 0;
    [unroll]
    for (int dy = -1; dy <= 1; ++dy) {
        [unroll]
        for (int dx = -1; dx <= 1; ++dx) {
            float l = luma(around.colour[dy + 1][dx + 1]);
            lumaMin = min(lumaMin, l);
            lumaMax = max(lumaMax, l);
            lumaSum += l;
            lumaSquareSum += l * l;
        }
    }
    float mean = lumaSum / 9.0;
    float meanOfSquares = lumaSquareSum / 9.0;
    float spread = frameData.standardDeviation * sqrt(max(meanOfSquares - mean * mean, 0.0));
    return float2(lumaMin - spread, lumaMax + spread);
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
    int2 lastPixel = int2(width, height) - 1;
    uint id = uint(positionImage.Load(pixel).w);
    Neighbourhood around = loadNeighbourhood(pixel.xy, lastPixel);
    float3 current = around.colour[1][1];
    float2 pixelCentre = float2(dispatchId.xy) + 0.5;
    float2 uv = pixelCentre / size;
    // The depths come with the normals, in one read each (REFERENCE_VARIANT: from their own
    // images).
    float4 normalAndDepth = normalImage.Load(pixel);
    float3 normal = normalize(normalAndDepth.xyz);
#ifdef REFERENCE_VARIANT
    float depth = depthImage.Load(pixel);
#else
    float depth = normalAndDepth.w;
#endif
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
        float4 historyNormalAndDepth = prevNormalImage.SampleLevel(linearSampler, prevUV, 0);
        float3 historyNormal = normalize(historyNormalAndDepth.xyz);
#ifdef REFERENCE_VARIANT
        float historyDepth = prevDepthImage.SampleLevel(linearSampler, prevUV, 0);
#else
        float historyDepth = historyNormalAndDepth.w;
#endif
        float depthTolerance = max(frameData.depthThreshold * depth, frameData.depthThreshold * 0.5);
        valid = dot(normal, historyNormal) > frameData.normalThreshold &&
                abs(depth - historyDepth) < depthTolerance;
        if (valid)
            valid = uint(prevPositionImage.SampleLevel(pointSampler, prevUV, 0).w) == id;
    }

    float2 range = neighbourhoodLumaRange(around);
    float lo = range.x;
    float hi = range.y;

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
        colour = fallbackBlur(pixelCentre, size, around);
        m1 = currentLuma;
        m2 = currentLuma * currentLuma;
    }

    accumImage[dispatchId.xy] = float4(colour, 1.0);
    moment1Image[dispatchId.xy] = m1;
    moment2Image[dispatchId.xy] = m2;
}
