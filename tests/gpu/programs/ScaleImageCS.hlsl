// Test program: out = in * scale.xyzw + (bias, 0, 0, 0), with the bias and an x offset from
// the four root constants; a second storage image receives the pixel's coordinates.

Texture2D<float4> inputImage : register(t0);
RWTexture2D<float4> outputImage : register(u0);
RWTexture2D<float4> coordinateImage : register(u1);
cbuffer ScaleData : register(b0)
{
    float4 scale;
};

struct RootConstants {
    int offsetX;
    float bias;
    float unused0;
    float unused1;
};
[[vk::push_constant]] ConstantBuffer<RootConstants> rootConstants;

[numthreads(8, 8, 1)]
void main(uint3 id : SV_DispatchThreadID)
{
    uint width, height;
    outputImage.GetDimensions(width, height);
    if (id.x >= width || id.y >= height)
        return;
    float4 value = inputImage.Load(int3(id.xy, 0));
    outputImage[id.xy] = value * scale + float4(rootConstants.bias, 0.0, 0.0, 0.0);
    coordinateImage[id.xy] = float4(float(id.x + rootConstants.offsetX), float(id.y), 0.0, 1.0);
}
