// Full-screen vertex program: passes the pass's triangle through to clip space.
// The triangle (-1, -7), (-1, 7), (7, 7) covers every pixel of the target once.

struct VertexInput {
    float3 position : POSITION;
};

struct VertexOutput {
    float4 position : SV_Position;
};

VertexOutput main(VertexInput input)
{
    VertexOutput output;
    output.position = float4(input.position, 1.0);
    return output;
}
