// The 32 easing curves, in single precision throughout (sine, cosine, power, square root).
#include "timeline/easing.h"

#include <cmath>

namespace {

constexpr float pi = 3.1415927f;
constexpr float twoPi = 6.2831855f;

// In the in-out forms k = 2t, and k < 1 takes the first half only when 1 > k.

float linear(float t) { return t; }

float quadraticIn(float t) { return t * t; }
float quadraticOut(float t) { return (2.0f - t) * t; }
float quadraticInOut(float t)
{
    float k = 2.0f * t;
    if (k < 1.0f)
        return 0.5f * k * k;
    float u = k - 1.0f;
    return -0.5f * (u * (u - 2.0f) - 1.0f);
}

float cubicIn(float t) { return t * t * t; }
float cubicOut(float t)
{
    float u = t - 1.0f;
    return u * u * u + 1.0f;
}
float cubicInOut(float t)
{
    float k = 2.0f * t;
    if (k < 1.0f)
        return 0.5f * k * k * k;
    float u = k - 2.0f;
    return 0.5f * (u * u * u + 2.0f);
}

float quarticIn(float t) { return t * t * t * t; }
float quarticOut(float t)
{
    float u = t - 1.0f;
    return 1.0f - u * u * u * u;
}
float quarticInOut(float t)
{
    float k = 2.0f * t;
    if (k < 1.0f)
        return 0.5f * k * k * k * k;
    float u = k - 2.0f;
    return -0.5f * (u * u * u * u - 2.0f);
}

float quinticIn(float t) { return t * t * t * t * t; }
float quinticOut(float t)
{
    float u = t - 1.0f;
    return u * u * u * u * u + 1.0f;
}
float quinticInOut(float t)
{
    float k = 2.0f * t;
    if (k < 1.0f)
        return 0.5f * k * k * k * k * k;
    float u = k - 2.0f;
    return 0.5f * (u * u * u * u * u + 2.0f);
}

float sinusoidalIn(float t) { return 1.0f - std::cos(t * pi * 0.5f); }
float sinusoidalOut(float t) { return std::sin(t * pi * 0.5f); }
float sinusoidalInOut(float t) { return 0.5f * (1.0f - std::cos(t * pi)); }

// The exponential and elastic curves meet 0 and 1 exactly at the ends, where their formulas
// only come close.
bool atEnd(float t) { return t == 0.0f || t == 1.0f; }

// 2^(10 (x - 1)) is written 1024^(x - 1). The tests against 0 and 1 are exact.
float exponentialIn(float t) { return t == 0.0f ? 0.0f : std::pow(1024.0f, t - 1.0f); }
float exponentialOut(float t) { return t == 1.0f ? 1.0f : 1.0f - std::pow(2.0f, -10.0f * t); }
float exponentialInOut(float t)
{
    if (atEnd(t))
        return t == 1.0f ? 1.0f : 0.0f;
    float k = 2.0f * t;
    if (k < 1.0f)
        return 0.5f * std::pow(1024.0f, k - 1.0f);
    return 0.5f * (2.0f - std::pow(2.0f, -10.0f * (k - 1.0f)));
}

float circularIn(float t) { return 1.0f - std::sqrt(1.0f - t * t); }
float circularOut(float t)
{
    float u = t - 1.0f;
    return std::sqrt(1.0f - u * u);
}
float circularInOut(float t)
{
    float k = 2.0f * t;
    if (k < 1.0f)
        return -0.5f * (std::sqrt(1.0f - k * k) - 1.0f);
    float u = k - 2.0f;
    return 0.5f * (std::sqrt(1.0f - u * u) + 1.0f);
}

// Period 0.4, phase offset 0.1 (a quarter period), amplitude 1, exponent scale 10.
float elasticIn(float t)
{
    if (atEnd(t))
        return t == 1.0f ? 1.0f : 0.0f;
    float u = t - 1.0f;
    return -(std::pow(2.0f, 10.0f * u) * std::sin((u - 0.1f) * twoPi / 0.4f));
}
float elasticOut(float t)
{
    if (atEnd(t))
        return t == 1.0f ? 1.0f : 0.0f;
    return std::pow(2.0f, -10.0f * t) * std::sin((t - 0.1f) * twoPi / 0.4f) + 1.0f;
}
float elasticInOut(float t)
{
    if (atEnd(t))
        return t == 1.0f ? 1.0f : 0.0f;
    float k = 2.0f * t;
    float u = k - 1.0f;
    float s = std::sin((u - 0.1f) * twoPi / 0.4f);
    if (k < 1.0f)
        return -0.5f * std::pow(2.0f, 10.0f * u) * s;
    return 0.5f * std::pow(2.0f, -10.0f * u) * s + 1.0f;
}

// Overshoot s = 1.70158; the in-out form uses s * 1.525 = 2.5949094.
float backIn(float t) { return t * t * (2.70158f * t - 1.70158f); }
float backOut(float t)
{
    float u = t - 1.0f;
    return u * u * (2.70158f * u + 1.70158f) + 1.0f;
}
float backInOut(float t)
{
    float k = 2.0f * t;
    if (k < 1.0f)
        return 0.5f * k * k * (3.5949094f * k - 2.5949094f);
    float u = k - 2.0f;
    return 0.5f * (u * u * (3.5949094f * u + 2.5949094f) + 2.0f);
}

// 7.5625 = 121/16; the thresholds are n / 2.75 in single precision.
float bounceOut(float t)
{
    if (t < 0.36363637f)
        return 7.5625f * t * t;
    if (t < 0.72727275f) {
        float u = t - 0.54545456f;
        return 7.5625f * u * u + 0.75f;
    }
    if (t < 0.90909094f) {
        float u = t - 0.8181818f;
        return 7.5625f * u * u + 0.9375f;
    }
    float u = t - 0.95454544f;
    return 7.5625f * u * u + 0.984375f;
}
float bounceIn(float t) { return 1.0f - bounceOut(1.0f - t); }
float bounceInOut(float t)
{
    float k = 2.0f * t;
    if (t < 0.5f)
        return 0.5f * (1.0f - bounceOut(1.0f - k));
    return 0.5f * bounceOut(k - 1.0f) + 0.5f;
}

} // namespace

const char* const easingNames[easingCount] = {
    "None",           "Linear",          "QuadraticIn",      "QuadraticOut",   "QuadraticInOut",
    "CubicIn",        "CubicOut",        "CubicInOut",       "QuarticIn",      "QuarticOut",
    "QuarticInOut",   "QuinticIn",       "QuinticOut",       "QuinticInOut",   "SinusoidalIn",
    "SinusoidalOut",  "SinusoidalInOut", "ExponentialIn",    "ExponentialOut", "ExponentialInOut",
    "CircularIn",     "CircularOut",     "CircularInOut",    "ElasticIn",      "ElasticOut",
    "ElasticInOut",   "BackIn",          "BackOut",          "BackInOut",      "BounceIn",
    "BounceOut",      "BounceInOut",
};

const EasingFunction easingFunctions[easingCount] = {
    nullptr,       linear,          quadraticIn,      quadraticOut,   quadraticInOut,
    cubicIn,       cubicOut,        cubicInOut,       quarticIn,      quarticOut,
    quarticInOut,  quinticIn,       quinticOut,       quinticInOut,   sinusoidalIn,
    sinusoidalOut, sinusoidalInOut, exponentialIn,    exponentialOut, exponentialInOut,
    circularIn,    circularOut,     circularInOut,    elasticIn,      elasticOut,
    elasticInOut,  backIn,          backOut,          backInOut,      bounceIn,
    bounceOut,     bounceInOut,
};

uint32_t easingIndex(std::string_view name)
{
    for (uint32_t i = 0; i < easingCount; ++i)
        if (name == easingNames[i])
            return i;
    return easingCount;
}
