// Test program: word i of the buffer becomes 3 * i + base (base from the root constants).
RWByteAddressBuffer output : register(u0);

struct RootConstants {
    uint base;
    uint unused0;
    uint unused1;
    uint unused2;
};
[[vk::push_constant]] ConstantBuffer<RootConstants> rootConstants;

[numthreads(64, 1, 1)]
void main(uint3 id : SV_DispatchThreadID)
{
    output.Store(id.x * 4, id.x * 3 + rootConstants.base);
}
