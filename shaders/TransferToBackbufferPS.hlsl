// Final pass into the back buffer: fits the finished picture into the target with its aspect
// kept (black bars on the long side), blends the title overlay in during its frame window,
// scales by the brightness and applies the chosen tone curve. Always writes alpha 1.
#include "ParticleConfig.h"

Texture2D<float4> frameInput : register(t0);
Texture2D<float4> extraTexture : register(t1); // title overlay with alpha
ConstantBuffer<FinalPassData> finalPassData : register(b0);
SamplerState linearSampler : register(s0);     // MIN_MAG_MIP_LINEAR, BORDER opaque black

static const float GAMMA = 2.2;

float luma(float3 c)
{
    return dot(c, float3(0.299, 0.587, 0.114));
}

float3 gammaCorrect(float3 c)
{
    return pow(c, 1.0 / GAMMA);
}

float3 aces(float3 k)
{
    float3 v = float3(dot(float3(0.59719, 0.07600, 0.02840), k),
                      dot(float3(0.35458, 0.90834, 0.13383), k),
                      dot(float3(0.04823, 0.01566, 0.83777), k));
    float3 a = v * (v + 0.0245786) - 0.000090537;
    float3 b = v * (0.983729 * v + 0.4329510) + 0.238081;
    float3 fitted = a / b;
    float3 x = float3(dot(float3(1.60475, -0.10208, -0.00327), fitted),
                      dot(float3(-0.53108, 1.10813, -0.07276), fitted),
                      dot(float3(-0.07367, -0.00605, 1.07602), fitted));
    return gammaCorrect(saturate(x));
}

float3 simpleReinhard(float3 k)
{
    return gammaCorrect(k * 1.5 / (1.0 + k / 1.5));
}

// Curves 4 and 5 scale the colour by (mapped luma / luma); black has luma 0 and stays black
// rather than becoming 0 / 0.
float3 lumaBasedReinhard(float3 k)
{
    float l = dot(k, float3(0.2126, 0.7152, 0.0722));
    if (l == 0.0)
        return 0;
    return gammaCorrect(k * (l / (1.0 + l)) / l);
}

float3 whitePreservingLumaBasedReinhard(float3 k)
{
    const float white = 2.0;
    float l = dot(k, float3(0.2126, 0.7152, 0.0722));
    if (l == 0.0)
        return 0;
    return gammaCorrect(k * (l * (1.0 + l / (white * white)) / (1.0 + l)) / l);
}

float3 rombindahaus(float3 k)
{
    return gammaCorrect(exp(-1.0 / (2.72 * k + 0.15)));
}

float3 filmic(float3 k)
{
    float3 x = max(0.0, k - 0.004);
    return x * (6.2 * x + 0.5) / (x * (6.2 * x + 1.7) + 0.06);
}

float3 uncharted2Curve(float3 x)
{
    const float A = 0.15;
    const float B = 0.50;
    const float C = 0.10;
    const float D = 0.20;
    const float E = 0.02;
    const float F = 0.30;
    return (x * (A * x + C * B) + D * E) / (x * (A * x + B) + D * F) - E / F;
}

float3 uncharted2(float3 k)
{
    const float W = 11.2;
    return gammaCorrect(uncharted2Curve(2.0 * k) / uncharted2Curve(W));
}

float3 tonemap(float3 k, int curve)
{
    switch (curve) {
    case ACES: return aces(k);
    case LINEAR: return gammaCorrect(saturate(k));
    case SIMPLE_REINHARD: return simpleReinhard(k);
    case LUMA_BASED_REINHARD: return lumaBasedReinhard(k);
    case WHITE_PRESERVING_LUMA_BASED_REINHARD: return whitePreservingLumaBasedReinhard(k);
    case ROMBINDAHAUS: return rombindahaus(k);
    case FILMIC: return filmic(k);
    case UNCHARTED2: return uncharted2(k);
    default: return k;
    }
}

float4 main(float4 position : SV_Position) : SV_Target
{
    float2 src = finalPassData.resolution;
    float2 dst = finalPassData.nativeResolution;
    float srcAspect = src.x / max(src.y, 1e-6);
    float dstAspect = dst.x / max(dst.y, 1e-6);
    float2 displayed = srcAspect > dstAspect ? float2(dst.x, dst.x / srcAspect)
                                             : float2(dst.y * srcAspect, dst.y);
    float2 topLeft = 0.5 * (dst - displayed);
    float2 bottomRight = topLeft + displayed;
    float2 p = position.xy;
    // The bars beside the picture are black. Whether the pixel lies inside stays a value, not an
    // early return, and joins the overlay and curve choices, so that no branch depends on the
    // constant block alone (see README, GPU programs).
    bool inside = all(p >= topLeft) && all(p < bottomRight);
    float2 uv = (p - topLeft) / displayed;
    float3 colour = float3(0.0, 0.0, 0.0);
    if (inside) // images have one mip level: every read is at LOD 0
        colour = frameInput.SampleLevel(linearSampler, uv, 0).rgb;
    float lum = luma(colour); // before the overlay

    if (inside && finalPassData.showExtraTexture != 0) {
        float4 overlay = extraTexture.SampleLevel(linearSampler, uv, 0);
        float frame = float(finalPassData.frame);
        // Fades in over frames 1430-1600, holds, fades out over 1700-1900.
        float fade = smoothstep(1430.0, 1600.0, frame) * (1.0 - smoothstep(1700.0, 1900.0, frame));
        colour = lerp(colour, overlay.rgb, overlay.a * fade);
    }

    float brightness = finalPassData.brightness;
    float3 k = inside ? colour * (saturate(brightness + lum) * brightness) : float3(0.0, 0.0, 0.0);
    int curve = inside ? finalPassData.tonemapping : NONE; // NONE keeps the bars' black
    return float4(tonemap(k, curve), 1.0);
}
