// The soundtrack: one thread computes one stereo sample frame as a pure function of its time.
// Single precision throughout; the constants are as composed (3.1415 is not pi) and the
// arithmetic is `precise` because the order of the phase products is part of the sound.
#include "ParticleConfig.h"

RWStructuredBuffer<float2> outputFrame : register(u0);

cbuffer audioConstants : register(b0)
{
    AudioData audioData;
};

// >>elementary functions

float mtof(float m)
{
    precise float hz = 440.0 * pow(2.0, (m - 69.0) / 12.0);
    return hz;
}

float sine(float f, float t)
{
    precise float phase = 2.0 * 3.1415 * f * t;
    return sin(phase);
}

float sine_(float t, float f)
{
    precise float phase = t * 6.2832 * f;
    return sin(phase);
}

float tone(float f, float t)
{
    precise float phase = 6.2831 * f * t;
    return sin(phase);
}

float slowLFO(float t, float rate)
{
    precise float phase = 2.0 * 3.1415 * rate * t;
    return sin(phase);
}

float env(float x, float a, float r)
{
    if (x < a)
        return smoothstep(0.0, a, x);
    precise float decay = exp(-r * (x - a));
    return decay;
}

float beatEnv(float p, float attack, float decay)
{
    precise float e = smoothstep(0.0, attack, p) * exp(-decay * max(0.0, p - attack));
    return e;
}

float2 stereo(float m, float pan)
{
    precise float2 lr = float2(m * sqrt(0.5 * (1.0 - pan)), m * sqrt(0.5 * (1.0 + pan)));
    return lr;
}

// >>instruments

// Only the left component is used by the mix; it equals the right.
float2 bassBeat(float t, float beatsPerMinute)
{
    precise float p = frac(t * beatsPerMinute / 60.0);
    precise float e = beatEnv(p, 0.015, 10.0);
    precise float bass = e * sine(mtof(36.0), t);
    precise float sub = 0.5 * e * sine(mtof(36.0) * 0.5, t);
    precise float result = tanh(1.6 * (bass + sub));
    return float2(result, result);
}

float2 bassBeat120(float t)
{
    return bassBeat(t, 25.0);
}

float2 bassBeat120_2(float t)
{
    return bassBeat(t, 120.0);
}

// The right component is always 0.
float2 sineLoop(float t, float f, float rhythm)
{
    precise float loop = frac(t * rhythm);
    precise float x = sine_(t, f) * exp(-3.0 * loop);
    precise float pan = (sine_(t, rhythm * 0.3) + 1.0) * 0.5;
    precise float result = x * pan;
    return float2(result, 0.0);
}

float chimeTrack(float t)
{
    precise float sum = 0.2 * sineLoop(t, 1730.0, 0.44).x
                      + sineLoop(t, 880.0, 1.00).x
                      + 0.4 * sineLoop(t, 990.0, 0.30).x
                      + sineLoop(t, 330.0, 0.40).x
                      + sineLoop(t, 110.0, 0.10).x
                      + sineLoop(t, 60.0, 0.05).x;
    precise float result = sum / 6.0;
    return result;
}

// Five partials; the ratios scale the time argument of `tone`, which shifts the pitch alike.
float chord(float base, float t)
{
    precise float p1 = tone(base, t) * 1.0 * (1.0 + 0.1 * sin(5.2 * t));
    precise float p2 = tone(base, 1.26 * t) * 0.6 * (1.0 + 0.3 * sin(10.02 * t));
    precise float p3 = tone(base, 1.498 * t) * 0.4 * (1.0 + 0.3 * sin(23.4 * t));
    precise float p4 = tone(base, 2.0 * 1.498 * t) * 0.2 * (1.0 + 0.3 * sin(43.4 * t));
    precise float p5 = tone(base, 2.0 * 1.26 * t) * 0.2 * (1.0 + 0.3 * sin(10.4 * t));
    precise float result = (p1 + p2 + p3 + p4 + p5) / 2.0;
    return result;
}

float smallMelody(float sc, float t, float st, float en)
{
    precise float d = max(en - st, 0.001);
    precise float u = clamp((t - st) / d, 0.0, 1.0);
    precise float gates = smoothstep(st, st + 5.0, t) * (1.0 - smoothstep(en - 5.0, en, t));
    precise float base = 220.0 * sc;

    precise float barIdx = floor(u / 0.25);
    precise float localU = frac(u / 0.25);

    float rootRatio = 3.0 / 2.0;
    if (barIdx < 0.5)
        rootRatio = 1.0;
    else if (barIdx < 1.5)
        rootRatio = 5.0 / 3.0;
    else if (barIdx < 2.5)
        rootRatio = 4.0 / 3.0;
    precise float fRoot = base * rootRatio;

    precise float pad = chord(fRoot, t) * env(u, 0.5, 0.6);

    precise float a1 = chord(fRoot, t) * env(localU, 0.08, 0.10);
    precise float a2 = chord(fRoot * 5.0 / 4.0, t) * env(localU, 0.40, 0.10);
    precise float a3 = chord(fRoot * 3.0 / 2.0, t) * env(localU, 0.72, 0.10);

    const float pent[5] = { 1.0, 9.0 / 8.0, 5.0 / 4.0, 3.0 / 2.0, 5.0 / 3.0 };
    precise float step = floor(localU * 4.0);
    int leadIx = int(fmod(step + barIdx, 5.0));
    precise float fLead = base * pent[leadIx] * 2.0;
    precise float lead = chord(fLead, t) * env(localU, 0.25, 0.22);

    precise float result = (0.55 * pad + 0.30 * (a1 + a2 + a3) / 3.0 + 0.25 * lead) * gates;
    return result;
}

// >>mix

float2 makeSound(float t)
{
    // The sound scale of 1.8 is folded into the layer gains.
    precise float ch = bassBeat120(t + 2.0).x * chimeTrack(t)
                     * smoothstep(17.0, 25.0, t) * (1.0 - smoothstep(95.0, 100.0, t)) * 0.144;
    precise float ch2 = bassBeat120_2(t + 2.0).x * chimeTrack(t)
                      * smoothstep(30.0, 35.0, t) * (1.0 - smoothstep(95.0, 100.0, t)) * 0.144;
    precise float co1 = chord(200.0, t) * sine(20.0, t)
                      * smoothstep(30.0, 35.0, t) * (1.0 - smoothstep(90.0, 100.0, t)) * 0.036;
    precise float co2 = chord(50.0, t) * sine(20.0, t)
                      * smoothstep(25.0, 35.0, t) * (1.0 - smoothstep(90.0, 100.0, t)) * 0.09;
    precise float co3 = chord(250.0, t) * sine(20.0, t)
                      * smoothstep(50.0, 55.0, t) * (1.0 - smoothstep(90.0, 100.0, t)) * 0.036;
    precise float b1 = bassBeat120(t).x
                     * smoothstep(5.0, 15.0, t) * (1.0 - smoothstep(95.0, 100.0, t)) * 0.18;

    precise float p1 = sine(mtof(48.0) + 2.0 * slowLFO(t, 0.05), t);
    precise float p2 = sine(mtof(51.0) + 2.0 * slowLFO(t + 10.0, 0.04), t);
    precise float p3 = sine(mtof(53.0) + 2.0 * slowLFO(t + 20.0, 0.03), t);
    precise float ntime = (t / 107.0) * 120.0;
    precise float pad = (p1 + p2 + p3) / 3.0 * env(ntime, 10.0, 0.015) * 0.018;

    precise float mel = smallMelody(0.20, t, 15.0, 107.0) * 0.18;

    // The two chime layers enter as their product.
    precise float mono = (mel + pad + co3 + co2 + co1 + ch * ch2 + b1)
                       * smoothstep(0.0, 8.0, t) * (1.0 - smoothstep(100.0, 107.0, t));
    return stereo(mono, 0.3 * slowLFO(t, 0.05));
}

// A test program that includes this file for its instruments defines this and its own main.
#ifndef AUDIO_PROCESS_INSTRUMENTS_ONLY

// No bounds check: the dispatch covers whole groups of 256 frames inside the buffer.
[numthreads(256, 1, 1)]
void main(uint3 id : SV_DispatchThreadID)
{
    precise float t = float(id.x) / float(audioData.sampleRate);
    outputFrame[id.x] = clamp(makeSound(t), -0.9, 0.9);
}

#endif
