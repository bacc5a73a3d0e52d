// Single-pass depth of field: gathers samples along a golden-angle spiral around each pixel,
// each weighted by its own circle of confusion so that sharp foreground edges are not smeared
// over blurred background. The tile records of DepthOfFieldTilesCS end the spiral where no
// sample can change the result any more; REFERENCE_VARIANT walks the whole spiral.
#include "DepthOfField.hlsli"

Texture2D<float> depthBuffer : register(t0); // device depth, 1 where nothing was hit
Texture2D<float4> Frame : register(t1);      // colour to blur
#ifndef REFERENCE_VARIANT
Texture2D<float4> colourAndDepth : register(t2); // rgb colour, a device depth
Texture2D<float4> tileBounds : register(t3);     // per tile: largest blur, focus offset range
#endif
SamplerState Sampler : register(s0);         // MIN_MAG_MIP_LINEAR, CLAMP

static const float GOLDEN_ANGLE = 7.39996323; // radians per spiral sample
static const float2 GOLDEN_TURN = float2(0.438580245, 0.898692012); // its cosine and sine
static const float MAX_UV = 0.995;

// What the spiral of one pixel can read, from the records of the tiles it reaches.
struct Reach {
    float largestBlur; // no sample within reach blurs by more
    bool saturated;    // every sample within reach blurs by the whole blurSize
};

#ifdef REFERENCE_VARIANT
Reach reachOf(uint2 pixel)
{
    Reach reach = {abs(constantData.blurSize), false};
    return reach;
}
#else
// A spiral sample lies less than blurSize pixels from the pixel, and its bilinear footprint one
// texel further; two pixels of margin cover the rounding of the sample positions.
Reach reachOf(uint2 pixel)
{
    float blurSize = abs(constantData.blurSize);
    Reach reach = {blurSize, false};
    bool bounded = blurSize < 4096.0; // not NaN nor infinite, and its span fits an int
    int span = int(ceil(bounded ? blurSize : 0.0)) + 2;
    int2 lastPixel = int2(constantData.resolution) - 1;
    int2 firstTile = clamp(int2(pixel) - span, 0, lastPixel) / TILE_SIZE;
    int2 lastTile = clamp(int2(pixel) + span, 0, lastPixel) / TILE_SIZE;
    int2 tiles = lastTile - firstTile + 1;
    if (!bounded || tiles.x * tiles.y > 16)
        return reach; // a spiral this wide reaches most tiles anyway

    float largest = 0.0;
    float lo = 1.#INF;
    float hi = -1.#INF;
    for (int y = firstTile.y; y <= lastTile.y; ++y) {
        for (int x = firstTile.x; x <= lastTile.x; ++x) {
            float4 bounds = tileBounds.Load(int3(x, y, 0));
            largest = max(largest, bounds.x);
            lo = min(lo, bounds.y);
            hi = max(hi, bounds.z);
        }
    }
    reach.largestBlur = largest;
    // Beyond +-1 the blur is clamped to blurSize, and a filtered depth between two such texels
    // stays beyond +-1 (the margin covers the filter's rounding).
    reach.saturated = lo >= 1.01 || hi <= -1.01;
    return reach;
}
#endif

// Colour and blur radius of the spiral sample at t.
float4 spiralSample(float2 t, float centreDistance, float centreSize)
{
#ifdef REFERENCE_VARIANT
    float3 colour = Frame.SampleLevel(Sampler, t, 0).rgb;
    float distance = scaledDistance(depthBuffer.SampleLevel(Sampler, t, 0));
#else
    float4 packed = colourAndDepth.SampleLevel(Sampler, t, 0); // one read for colour and depth
    float3 colour = packed.rgb;
    float distance = scaledDistance(packed.a);
#endif
    float size = blur(distance);
    if (distance > centreDistance) // behind the centre: cannot blur over it
        size = clamp(size, 0.0, 2.0 * centreSize);
    return float4(colour, size);
}

// The running sum of a pixel's spiral.
struct Spiral {
    float2 uv;
    float3 colour;
    float tot;
    float radius;
    float angle;
    float2 direction; // cos and sin of angle, turned along with it (REFERENCE_VARIANT: not used)
};

float2 samplePosition(Spiral spiral)
{
    float2 pixelStep = 1.0 / constantData.resolution;
#ifdef REFERENCE_VARIANT
    float2 direction = float2(cos(spiral.angle), sin(spiral.angle));
#else
    float2 direction = spiral.direction;
#endif
    return clamp(spiral.uv + direction * pixelStep * spiral.radius, 0.0, MAX_UV);
}

// The direction of the spiral turned by the golden angle and by what rounding added to the
// angle: a few multiplies instead of a cosine and a sine a sample, following the angle as it
// is rounded (over the 198 samples of a 20-pixel blur its rounding moves a sample by up to
// 0.07 pixels). The error term is exact since the angle is 0 or at least the golden angle
// it adds; precise keeps the compiler from simplifying it to 0.
float2 turned(float2 direction, float angle, float nextAngle)
{
    precise float rounding = (nextAngle - angle) - GOLDEN_ANGLE;
    float2 d = float2(direction.x * GOLDEN_TURN.x - direction.y * GOLDEN_TURN.y,
                      direction.y * GOLDEN_TURN.x + direction.x * GOLDEN_TURN.y);
    return d + float2(-d.y, d.x) * rounding;
}

// Moves the spiral on by one sample; false when the radius no longer grows.
bool advance(inout Spiral spiral)
{
    float nextRadius = spiral.radius + constantData.radiusScale / spiral.radius;
    // A radiusScale too small to move the radius in float would spin forever.
    if (nextRadius <= spiral.radius)
        return false;
    spiral.radius = nextRadius;
    float nextAngle = spiral.angle + GOLDEN_ANGLE;
#ifndef REFERENCE_VARIANT
    spiral.direction = turned(spiral.direction, spiral.angle, nextAngle);
#endif
    spiral.angle = nextAngle;
    return true;
}

// Blends in sample s (colour, blur radius) and moves on; false when the radius no longer grows.
bool addSample(inout Spiral spiral, float4 s)
{
    float m = smoothstep(spiral.radius - 0.5, spiral.radius + 0.5, s.a);
    spiral.colour += lerp(spiral.colour / spiral.tot, s.rgb, m);
    spiral.tot += 1.0;
    return advance(spiral);
}

// addSample for a sample whose blur exceeds the spiral's radius + 0.5, where m is 1 and the
// blend takes the sample's colour whole (up to the blend's rounding).
bool addWholeSample(inout Spiral spiral, float3 colour)
{
    spiral.colour += colour;
    spiral.tot += 1.0;
    return advance(spiral);
}

float4 main(float4 position : SV_Position) : SV_Target
{
    float2 uv = position.xy / constantData.resolution;
    // Images have one mip level, so every read is at LOD 0, the pass-through one included.
    if (depthBuffer.SampleLevel(Sampler, uv, 0) < -1.0)
        return Frame.SampleLevel(Sampler, uv, 0);

    float4 centre = Frame.SampleLevel(Sampler, uv, 0);
    float centreDistance = scaledDistance(depthBuffer.SampleLevel(Sampler, uv, 0));
    float centreSize = blur(centreDistance);
    Spiral spiral = {uv, centre.rgb, 1.0, constantData.radiusScale, 0.0, float2(1.0, 0.0)};

    // A sample contributes only when its radius exceeds the spiral's radius - 0.5 (m > 0).
    // Beyond the largest radius within reach + 0.5 every sample adds colour / tot, which
    // leaves colour / tot as it is: the spiral ends there (0.01 covers the rounding). It grows
    // by radiusScale / radius per sample: a radiusScale that is not positive would never reach
    // blurSize, so it means no blur, and the spiral ends before its first sample: a bound
    // rather than a branch on radiusScale alone (see README, GPU programs).
    Reach reach = reachOf(uint2(position.xy));
    float blurSize = abs(constantData.blurSize);
    float endRadius = constantData.radiusScale > 0.0 ? min(blurSize, reach.largestBlur + 0.51) : -1.#INF;
    // Two loops rather than a branch in one: a device that runs neighbouring pixels in step
    // skips the loop that none of them needs.
    float saturatedEnd = reach.saturated ? endRadius : -1.#INF;
    float mixedEnd = reach.saturated ? -1.#INF : endRadius;
    // Saturated: every sample blurs by blurSize, the centre too (it is within reach), so there
    // is no depth to read, and up to a radius of blurSize - 0.5 every sample counts whole.
    float wholeEnd = min(saturatedEnd, blurSize - 0.5);
    while (spiral.radius < wholeEnd) {
        if (!addWholeSample(spiral, Frame.SampleLevel(Sampler, samplePosition(spiral), 0).rgb))
            break;
    }
    while (spiral.radius < saturatedEnd) {
        if (!addSample(spiral, float4(Frame.SampleLevel(Sampler, samplePosition(spiral), 0).rgb, blurSize)))
            break;
    }
    while (spiral.radius < mixedEnd) {
        if (!addSample(spiral, spiralSample(samplePosition(spiral), centreDistance, centreSize)))
            break;
    }
    return float4(spiral.colour / spiral.tot, 1.0);
}
