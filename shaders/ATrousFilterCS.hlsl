// Edge-aware a-trous filter: one run weighs a 5 x 5 grid of taps iterStep pixels apart by
// normal, depth and luma similarity (the luma term scaled by the per-pixel deviation taken
// from the two moment images). There is no spatial kernel: all 25 taps count equally.
#include "ParticleConfig.h"

Texture2D<float4> currentFrame : register(t0); // colour to filter, rgb
Texture2D<float4> normalBuffer : register(t1); // surface normal xyz, linear depth w
Texture2D<float> M1 : register(t2);            // first moment of luma
Texture2D<float> M2 : register(t3);            // second moment of luma
Texture2D<float> depthBuffer : register(t4);   // linear depth, as in normalBuffer.w; REFERENCE_VARIANT reads it here
RWTexture2D<float4> resultTexture : register(u0);

// Four 32-bit root constants. Written as scalars: glslang lays a push-constant block out
// with GLSL rules and would move a float3 to byte 16.
struct FilterConstants {
    int iterStep;
    float resolutionX;
    float resolutionY;
    float resolutionZ;
};
[[vk::push_constant]] ConstantBuffer<FilterConstants> constants; // root constants at b0

static const float LOG2_E = 1.44269504;
#ifdef REFERENCE_VARIANT
static const bool REREADS_CENTRE = true;
#else
static const bool REREADS_CENTRE = false;
#endif

float luma(float3 c)
{
    return dot(c, float3(0.299, 0.587, 0.114));
}

// The product of the three edge-stopping terms, pow(n, 48) exp(-depth / 0.002) exp(-luma /
// divisor): the power by squaring and the two exponentials as one exp2 of their summed
// exponents (REFERENCE_VARIANT: the three terms as written).
float tapWeight(float normalDot, float depthDifference, float lumaDifference, float lumaDivisor)
{
#ifdef REFERENCE_VARIANT
    float normalWeight = pow(saturate(normalDot), 48.0);
    float depthWeight = exp(-depthDifference / 0.002);
    float lumaWeight = exp(-lumaDifference / lumaDivisor);
    return normalWeight * depthWeight * lumaWeight;
#else
    float n = saturate(normalDot);
    float n3 = n * n * n;
    float n6 = n3 * n3;
    float n12 = n6 * n6;
    float n24 = n12 * n12;
    return n24 * n24 * exp2(-LOG2_E * (depthDifference / 0.002 + lumaDifference / lumaDivisor));
#endif
}

// Normal and depth at pixel q: one load of the normal image (REFERENCE_VARIANT: the depth from
// its own image).
float4 normalAndDepth(int2 q)
{
    float4 normal = normalBuffer.Load(int3(q, 0));
#ifdef REFERENCE_VARIANT
    normal.w = depthBuffer.Load(int3(q, 0));
#endif
    return normal;
}

[numthreads(32, 32, 1)]
void main(uint3 dispatchId : SV_DispatchThreadID)
{
    if (dispatchId.x >= constants.resolutionX || dispatchId.y >= constants.resolutionY)
        return;

    int2 p = int2(dispatchId.xy);
    int2 lastPixel = int2(int(constants.resolutionX), int(constants.resolutionY)) - 1;

    float3 centreColour = currentFrame.Load(int3(p, 0)).rgb;
    float4 centre = normalAndDepth(p);
    float centreLuma = luma(centreColour);
    float m1 = M1.Load(int3(p, 0));
    float sigma = sqrt(max(M2.Load(int3(p, 0)) - m1 * m1, 0.0));
    float lumaDivisor = max(0.001, 1.25 * sigma);

    float3 sum = 0;
    float weightSum = 0;
    [unroll]
    for (int dy = -2; dy <= 2; ++dy) {
        [unroll]
        for (int dx = -2; dx <= 2; ++dx) {
            // Taps beyond the edge read the edge pixel. The centre tap is the centre, read
            // above (REFERENCE_VARIANT reads it again).
            float3 colour = centreColour;
            float4 tap = centre;
            if (REREADS_CENTRE || dx != 0 || dy != 0) {
                int2 q = clamp(p + int2(dx, dy) * constants.iterStep, int2(0, 0), lastPixel);
                colour = currentFrame.Load(int3(q, 0)).rgb;
                tap = normalAndDepth(q);
            }
            float w = tapWeight(dot(centre.xyz, tap.xyz), abs(centre.w - tap.w),
                                abs(centreLuma - luma(colour)), lumaDivisor);
            sum += w * colour;
            weightSum += w;
        }
    }

    resultTexture[dispatchId.xy] = float4(sum / max(weightSum, 1e-6), 1.0);
}
