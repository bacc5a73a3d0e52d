// Test program: the source texel under the pixel, times a tint from the constant block.
Texture2D<float4> source : register(t0);
cbuffer TintData : register(b0)
{
    float4 tint;
};

float4 main(float4 position : SV_Position) : SV_Target
{
    return source.Load(int3(int2(position.xy), 0)) * tint;
}
