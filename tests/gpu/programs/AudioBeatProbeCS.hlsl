// Test program: the soundtrack's two bass beats alone, bassBeat120 (25 beats a minute) in x
// and bassBeat120_2 (120 a minute) in y, one frame per thread at t = i / sampleRate.
#define AUDIO_PROCESS_INSTRUMENTS_ONLY
#include "AudioProcessCS.hlsl"

[numthreads(256, 1, 1)]
void main(uint3 id : SV_DispatchThreadID)
{
    precise float t = float(id.x) / float(audioData.sampleRate);
    outputFrame[id.x] = float2(bassBeat120(t).x, bassBeat120_2(t).x);
}
