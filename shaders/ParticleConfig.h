// Records shared byte for byte by the CPU side (compiled with IS_CPU) and the GPU programs.
// Constant blocks follow the 16-byte register rule; ParticleData is packed at 4 bytes
// (PARTICLE_STRIDE) and read on the GPU through a byte-address buffer, never a structured one.
#ifndef PARTICLE_CONFIG_H
#define PARTICLE_CONFIG_H

// The tone curves of FinalPassData.tonemapping, one number each on both sides
// (TransferToBackbufferPS switches over them).
#define TONEMAP_FUNCTIONS(CURVE) \
    CURVE(NONE, 0) \
    CURVE(ACES, 1) \
    CURVE(LINEAR, 2) \
    CURVE(SIMPLE_REINHARD, 3) \
    CURVE(LUMA_BASED_REINHARD, 4) \
    CURVE(WHITE_PRESERVING_LUMA_BASED_REINHARD, 5) \
    CURVE(ROMBINDAHAUS, 6) \
    CURVE(FILMIC, 7) \
    CURVE(UNCHARTED2, 8)

#ifdef IS_CPU
#include "core/math.h"
#include <cstddef>
#include <cstdint>
typedef Float2 float2;
typedef Float3 float3;
typedef Float4x4 float4x4;
typedef uint32_t uint;

#define TONEMAP_ENUMERATOR(name, value) name = value,
enum TonemapFunction : int32_t { TONEMAP_FUNCTIONS(TONEMAP_ENUMERATOR) };
#undef TONEMAP_ENUMERATOR
#else
#define TonemapFunction int
#define TONEMAP_CONSTANT(name, value) static const int name = value;
TONEMAP_FUNCTIONS(TONEMAP_CONSTANT)
#undef TONEMAP_CONSTANT

float toRad(float d)
{
    return 3.14159265359 * d / 180.0;
}
#endif

// Particle buffer capacity: the simulation and path tracer never index past it.
#define MAX_PARTICLES 128

// The frames in which the simulation lays scene 1 out: it hides every sphere in the first and
// places scene 1's in the second (scene 0 is laid out in frame 0), from which on the path
// tracer shows scene 1's sky. A frame that skipped them would leave scene 1 empty, so the main
// loop never steps over them.
#define SCENE1_CLEAR_FRAME 3254u
#define SCENE1_LAYOUT_FRAME 3255u
// From the frame after this one scene 1's lights float away dark; until it the flashing light
// pulses on the beat.
#define SCENE1_LIGHTS_OUT_FRAME 5560u
// The music's beat, in milliseconds of the simulation's time: the pulses of both scenes follow it.
#define BEAT_MS 2400.0

struct Material {
    float3 albedo;            // linear RGB in [0, 1]
    float emissive;           // 0 = not a light
    float reflection;
    float metallic;
    float transparency;
    float indexOfRefraction;
};

struct ParticleData {
    float3 position;          // world units
    float3 prevPosition;      // position before this simulation step
    float3 velocity;          // world units per unit of SimulationData.dt
    float3 acceleration;
    float radius;             // 0 hides the sphere from rays
    float elasticity;
    float friction;
    uint id;                  // particle index + 1; 0 names no particle
    uint dynamic;             // 0 = scripted or fixed, immovable in collisions
    uint visible;             // 0 = ignored by the path tracer; collisions ignore it
    Material material;
};

// Where each field of a ParticleData record lies in the particle buffer, which both GPU
// programs read and write through byte-address buffers (OFFSET_<name> there); the CPU side
// checks every offset and the stride against the struct.
#define PARTICLE_STRIDE 104
#define PARTICLE_FIELDS(FIELD) \
    FIELD(POSITION, position, 0) \
    FIELD(PREV_POSITION, prevPosition, 12) \
    FIELD(VELOCITY, velocity, 24) \
    FIELD(ACCELERATION, acceleration, 36) \
    FIELD(RADIUS, radius, 48) \
    FIELD(ELASTICITY, elasticity, 52) \
    FIELD(FRICTION, friction, 56) \
    FIELD(ID, id, 60) \
    FIELD(DYNAMIC, dynamic, 64) \
    FIELD(VISIBLE, visible, 68) \
    FIELD(ALBEDO, material.albedo, 72) \
    FIELD(EMISSIVE, material.emissive, 84) \
    FIELD(REFLECTION, material.reflection, 88) \
    FIELD(METALLIC, material.metallic, 92) \
    FIELD(TRANSPARENCY, material.transparency, 96) \
    FIELD(INDEX_OF_REFRACTION, material.indexOfRefraction, 100)

#ifndef IS_CPU
#define PARTICLE_OFFSET(name, member, offset) static const uint OFFSET_##name = offset;
PARTICLE_FIELDS(PARTICLE_OFFSET)
#undef PARTICLE_OFFSET
#endif

struct ParticleSceneData {
    float3 backgroundColor;
    uint numParticles;        // records in use; the simulation steps numParticles / 32 x 32 of them
};

struct SimulationData {
    float3 cameraPos;
    uint scene;               // 0 or 1; other values only do the per-run bookkeeping
    uint frame;               // 0 initialises scene 0
    float time;               // playback position, milliseconds
    float dt;                 // integration step of this frame
};

struct AudioData {
    float duration;           // seconds
    uint sampleRate;          // sample frames per second
};

struct ConstantBufferData {
    float3 cameraPos;
    float _padding0;          // keeps the matrices on 16-byte registers on both sides
    float4x4 invViewProjMtx;  // dot-product form: component r = dot(register r, v)
    float3 prevCameraPos;
    float _padding1;
    float4x4 prevInvViewProjMtx;
    float4x4 viewMtx;
    float4x4 viewProjMtx;     // vector-times-matrix form, translation in m[3]
    float4x4 prevViewProjMtx;
    float3 resolution;        // render width, height, 1
    float time;               // accumulated frame time, milliseconds
    float frame;              // rendered-frame count
    uint sampleCount;
    float blendFactor;
    float depthThreshold;
    float normalThreshold;
    float standardDeviation;
    float velocityScale;
};

struct DepthOfFieldData {
    float2 resolution;
    float focusPoint;
    float focusScale;
    float radiusScale;
    float blurSize;
    float maxDist;
};

struct FinalPassData {
    float2 resolution;
    float2 nativeResolution;
    float time;
    float brightness;
    TonemapFunction tonemapping;
    uint showExtraTexture;
    uint frame;
};

#ifdef IS_CPU
// Material is 32 bytes: its fields run from byte 72 to the end of the record.
static_assert(sizeof(Material) == 32);
static_assert(sizeof(ParticleData) == PARTICLE_STRIDE);
#define PARTICLE_OFFSET_CHECK(name, member, offset) static_assert(offsetof(ParticleData, member) == offset);
PARTICLE_FIELDS(PARTICLE_OFFSET_CHECK)
#undef PARTICLE_OFFSET_CHECK

// The constant blocks hold 4-byte members only, which C++ packs without gaps. HLSL packs them
// the same way, except that a vector that would cross a 16-byte register, and every matrix,
// starts on the next register. So where each vector and matrix lies in C++ is checked against
// that rule, which makes every offset agree; the sizes are what the uploads copy.
constexpr bool inHlslRegister(size_t offset, size_t size)
{
    return offset % 16 == 0 || offset % 16 + size <= 16;
}
#define HLSL_PLACED(Record, member) inHlslRegister(offsetof(Record, member), sizeof(Record::member))

static_assert(sizeof(ParticleSceneData) == 16 && HLSL_PLACED(ParticleSceneData, backgroundColor));
static_assert(sizeof(SimulationData) == 28 && HLSL_PLACED(SimulationData, cameraPos));
static_assert(sizeof(AudioData) == 8);
static_assert(sizeof(ConstantBufferData) == 396);
static_assert(HLSL_PLACED(ConstantBufferData, cameraPos) && HLSL_PLACED(ConstantBufferData, invViewProjMtx));
static_assert(HLSL_PLACED(ConstantBufferData, prevCameraPos) && HLSL_PLACED(ConstantBufferData, prevInvViewProjMtx));
static_assert(HLSL_PLACED(ConstantBufferData, viewMtx) && HLSL_PLACED(ConstantBufferData, viewProjMtx));
static_assert(HLSL_PLACED(ConstantBufferData, prevViewProjMtx) && HLSL_PLACED(ConstantBufferData, resolution));
static_assert(sizeof(DepthOfFieldData) == 28 && HLSL_PLACED(DepthOfFieldData, resolution));
static_assert(sizeof(FinalPassData) == 36);
static_assert(HLSL_PLACED(FinalPassData, resolution) && HLSL_PLACED(FinalPassData, nativeResolution));
#undef HLSL_PLACED
#endif

#endif // PARTICLE_CONFIG_H
