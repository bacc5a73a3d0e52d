// Path tracer: one thread per pixel traces the spheres of the particle buffer (read only) and
// writes colour, screen-space motion, world position with the sphere id, normal and depth.
// The image size comes from ConstantBufferData.resolution; nothing outside the image is written.
// Which sphere a ray hits is found in PathTracerSpheres.hlsli.
#pragma pack_matrix(row_major)
#include "ParticleConfig.h"

ByteAddressBuffer particles : register(t0);
RWTexture2D<float4> colorOutput : register(u0);
RWTexture2D<float4> motionOutput : register(u1);
RWTexture2D<float4> positionOutput : register(u2);
RWTexture2D<float4> normalOutput : register(u3); // normal, depth (as depthOutput)
RWTexture2D<float> depthOutput : register(u4);
ConstantBuffer<ConstantBufferData> frameData : register(b0);
ConstantBuffer<ParticleSceneData> sceneData : register(b1);
ConstantBuffer<SimulationData> simulation : register(b2);

static const uint MAX_BOUNCES = 5;
static const float FAR_AWAY = 3.4028235e38; // a missed ray's hitPoint lies this far along it

// Sample k is offset by (JITTER_X[k], JITTER_Y[k]) whole pixels: the pixel and its diagonals.
static const float JITTER_X[5] = {0.0, -1.0, 1.0, -1.0, 1.0};
static const float JITTER_Y[5] = {0.0, -1.0, -1.0, 1.0, 1.0};

// >>hashes
float rand(float2 q)
{
    return frac(sin(dot(q, float2(12.9898, 78.233))) * 43758.547);
}

float rand2(float2 q)
{
    return frac(cos(dot(q, float2(4.898, 7.23))) * 23421.63);
}

// 3-D value noise with its analytic gradient; corners hash n + k with n = i.x + 157 i.y + 113 i.z.
float valueNoise(float3 p, out float3 gradient)
{
    float3 i = floor(p);
    float3 f = frac(p);
    float3 w = f * f * (3.0 - 2.0 * f);
    float3 dw = 6.0 * f * (1.0 - f);
    float n = i.x + 157.0 * i.y + 113.0 * i.z;
    float h000 = frac(sin(n) * 753.5);
    float h100 = frac(sin(n + 1.0) * 753.5);
    float h010 = frac(sin(n + 157.0) * 753.5);
    float h110 = frac(sin(n + 158.0) * 753.5);
    float h001 = frac(sin(n + 113.0) * 753.5);
    float h101 = frac(sin(n + 114.0) * 753.5);
    float h011 = frac(sin(n + 270.0) * 753.5);
    float h111 = frac(sin(n + 271.0) * 753.5);

    float k1 = h100 - h000;
    float k2 = h010 - h000;
    float k3 = h001 - h000;
    float k4 = h000 - h100 - h010 + h110;
    float k5 = h000 - h010 - h001 + h011;
    float k6 = h000 - h100 - h001 + h101;
    float k7 = -h000 + h100 + h010 - h110 + h001 - h101 - h011 + h111;
    gradient = dw * float3(k1 + k4 * w.y + k6 * w.z + k7 * w.y * w.z,
                           k2 + k5 * w.z + k4 * w.x + k7 * w.z * w.x,
                           k3 + k6 * w.x + k5 * w.y + k7 * w.x * w.y);
    return lerp(lerp(lerp(h000, h100, w.x), lerp(h010, h110, w.x), w.y),
                lerp(lerp(h001, h101, w.x), lerp(h011, h111, w.x), w.y), w.z);
}

// Three octaves; the gradient is taken with respect to p * s.
float fbm(float3 p, float s, out float3 gradient)
{
    float3 g0, g1, g2;
    float value = 0.5 * valueNoise(p * s, g0)
        + 0.25 * valueNoise(1.8 * p * s, g1)
        + 0.125 * valueNoise(3.24 * p * s, g2);
    gradient = 0.5 * g0 + 0.25 * 1.8 * g1 + 0.125 * 3.24 * g2;
    return value;
}

float fbm(float3 p, float s)
{
    float3 unused;
    return fbm(p, s, unused);
}

// >>spheres
#include "PathTracerSpheres.hlsli"

uint particleId(uint index)
{
    return particles.Load(index * PARTICLE_STRIDE + OFFSET_ID);
}

float3 particlePosition(uint index)
{
    return asfloat(particles.Load3(index * PARTICLE_STRIDE + OFFSET_POSITION));
}

float3 particlePrevPosition(uint index)
{
    return asfloat(particles.Load3(index * PARTICLE_STRIDE + OFFSET_PREV_POSITION));
}

Material particleMaterial(uint index)
{
    uint base = index * PARTICLE_STRIDE;
    float4 packed = asfloat(particles.Load4(base + OFFSET_EMISSIVE)); // then reflection, metallic, transparency
    Material m;
    m.albedo = asfloat(particles.Load3(base + OFFSET_ALBEDO));
    m.emissive = packed.x;
    m.reflection = packed.y;
    m.metallic = packed.z;
    m.transparency = packed.w;
    m.indexOfRefraction = asfloat(particles.Load(base + OFFSET_INDEX_OF_REFRACTION));
    return m;
}

// >>materials
// The materials both variants below write whole, from the noise value where there is one.
void makeClearSphere(inout Material m, float noise)
{
    m.albedo = float3(0.0, 0.0, 0.0);
    m.reflection = 0.5 + 0.5 * noise;
    m.transparency = 1.0;
    m.indexOfRefraction = 0.9 + 0.15 * noise;
}

void makeSceneZeroLight(inout Material m)
{
    m.emissive = 1.0;
    m.transparency = 1.0;
    m.indexOfRefraction = 0.5;
}

void makeInert(inout Material m)
{
    m.albedo = float3(0.0, 0.0, 0.0);
    m.emissive = 0.0;
    m.reflection = 0.0;
    m.metallic = 0.0;
    m.transparency = 0.0;
    m.indexOfRefraction = 0.0;
}

float3 flashingAlbedo()
{
    float beta = exp(-50.0 * frac(simulation.time / BEAT_MS)); // flashes on the beat
    return float3(0.585 + 0.415 * beta, 0.585 + 0.415 * beta, 0.65 + 0.35 * beta);
}

#ifdef REFERENCE_VARIANT
// What a sphere is made of where the ray hit it (p), by scene and particle index.
Material shadingMaterial(uint index, float3 p)
{
    Material m = particleMaterial(index);
    uint scene = simulation.scene;
    if (scene == 0) {
        if (index == 0) {
            makeClearSphere(m, fbm(p, 1.0));
        } else {
            makeSceneZeroLight(m);
        }
    } else if (scene == 1) {
        if (index == 1) {
        } else if (index >= 2 && index <= 6) {
            float3 gradient;
            float value = fbm(p, 0.015, gradient);
            m.reflection = clamp(sqrt(value * value + dot(gradient, gradient)), 0.2, 1.0);
        } else if (index == 8 && simulation.frame < SCENE1_LIGHTS_OUT_FRAME) {
            m.albedo = flashingAlbedo();
        } else {
            m.reflection = fbm(p, 0.5);
        }
    } else {
        makeInert(m);
    }
    return m;
}
#else
// The material rules, one per kind of sphere.
static const uint CLEAR_SPHERE = 0;   // scene 0, index 0
static const uint SCENE_0_LIGHT = 1;  // scene 0, every other index
static const uint CEILING = 2;        // scene 1, index 1: as the record says
static const uint WALL = 3;           // scene 1, indices 2 to 6
static const uint FLASHING_LIGHT = 4; // scene 1, index 8 until SCENE1_LIGHTS_OUT_FRAME
static const uint BALL = 5;           // scene 1, every other index
static const uint NO_SCENE = 6;       // any other scene: black and inert

// What a sphere is made of where the ray hit it (p), by scene and particle index. The clear
// sphere of scene 0 and most spheres of scene 1 take fbm at p, scaled by 1 or 0.5; the walls
// of scene 1 its value and gradient at 0.015. The noise is taken once for whichever material
// needs it, so that neighbouring rays on different spheres share one evaluation. The scene and
// the index pick one rule, so that no branch depends on the scene alone (see README, GPU
// programs).
Material shadingMaterial(uint index, float3 p)
{
    Material m = particleMaterial(index);
    uint scene = simulation.scene;
    bool wall = index >= 2 && index <= 6;
    bool flashing = index == 8 && simulation.frame < SCENE1_LIGHTS_OUT_FRAME;
    uint sceneOneRule = index == 1 ? CEILING : (wall ? WALL : (flashing ? FLASHING_LIGHT : BALL));
    uint rule = scene == 0 ? (index == 0 ? CLEAR_SPHERE : SCENE_0_LIGHT) : (scene == 1 ? sceneOneRule : NO_SCENE);
    float value = 0.0;
    float3 gradient = float3(0.0, 0.0, 0.0);
    if (rule == CLEAR_SPHERE || rule == WALL || rule == BALL)
        value = fbm(p, rule == CLEAR_SPHERE ? 1.0 : (rule == WALL ? 0.015 : 0.5), gradient);
    if (rule == CLEAR_SPHERE) {
        makeClearSphere(m, value);
    } else if (rule == SCENE_0_LIGHT) {
        makeSceneZeroLight(m);
    } else if (rule == WALL) {
        m.reflection = clamp(sqrt(value * value + dot(gradient, gradient)), 0.2, 1.0);
    } else if (rule == FLASHING_LIGHT) {
        m.albedo = flashingAlbedo();
    } else if (rule == BALL) {
        m.reflection = value;
    } else if (rule == NO_SCENE) {
        makeInert(m);
    }
    return m;
}
#endif

// >>response
// Sample around unit vector a, cosine-weighted by cosTheta.
float3 sampleAround(float3 a, float phi, float cosTheta, float sinTheta)
{
    float3 e1 = abs(a.x) > abs(a.z) ? float3(-a.y, a.x, 0.0) : float3(0.0, -a.z, a.y);
    e1 = normalize(e1);
    float3 e2 = normalize(cross(a, e1));
    return e1 * cos(phi) * sinTheta + e2 * sin(phi) * sinTheta + a * cosTheta;
}

float3 mirror(float3 d, float3 n)
{
    return normalize(d - 2.0 * dot(d, n) * n);
}

// Picks the continuation of a path at a hit and returns the weight of that choice.
float3 respond(inout Ray ray, inout float2 seed, float3 hitPoint, float3 normal, float3 exitPoint,
               float3 centre, Material m)
{
    float3 d = ray.direction;
    float3 N = normalize(normal);
    float3 V = normalize(-d);
    float NdotV = clamp(dot(N, V), 0.0, 1.0);
    float3 F0 = 0.04 + (m.albedo - 0.04) * m.metallic;
    float3 F = F0 + (1.0 - F0) * pow(1.0 - NdotV, 5.0);
    float P = clamp(max(F.r, max(F.g, F.b)) * m.reflection, 0.0, 1.0);
    bool specular = rand(seed + float2(-1.0, 1.0)) < P;

    float3 weight;
    if (m.transparency > 0.0) {
        if (specular) {
            ray.direction = mirror(d, N);
            ray.origin = hitPoint + ray.direction * 0.001;
            weight = F / max(P, 0.001);
        } else {
            // Refracted once, where the ray leaves the sphere; M faces into the sphere.
            float3 M = normalize(centre - exitPoint);
            float c = dot(d, M);
            float eta = m.indexOfRefraction;
            float k = 1.0 - eta * eta * (1.0 - c * c);
            // Total internal reflection has no refracted ray: the ray is mirrored back inside.
            ray.direction = k >= 0.0 ? normalize(eta * d - (eta * c + sqrt(k)) * M) : mirror(d, M);
            ray.origin = exitPoint + ray.direction * 0.001;
            weight = (m.albedo + (1.0 - m.albedo) * m.transparency) * 1.1 / max(1.0 - P, 0.001);
        }
        seed = seed + float2(-1.0, 1.0);
    } else {
        float2 q = seed + float2(-2.0, 2.0);
        float phi = 2.0 * 3.14159265 * rand(q);
        float cosTheta = sqrt(rand2(q));
        float sinTheta = sqrt(max(0.0, 1.0 - rand2(q)));
        if (specular) {
            float3 R = mirror(d, N);
            float3 s = sampleAround(R, phi, cosTheta, sinTheta);
            ray.direction = R + (s - R) * P; // glossy: not renormalised
            ray.origin = hitPoint + ray.direction * 0.001;
            weight = F / max(P, 0.001);
        } else {
            ray.direction = sampleAround(N, phi, cosTheta, sinTheta);
            ray.origin = hitPoint + ray.direction * 0.001;
            weight = m.albedo / max(1.0 - P, 0.001);
        }
        seed = q;
    }
    return weight;
}

// Light of a ray that leaves the scene. The second scene has a fixed sky that brightens tenfold
// at frame 6150, whatever backgroundColor holds.
float3 skyLight(float3 d)
{
    float3 secondSky = simulation.frame < 6150 ? float3(0.044, 0.071, 0.068) * 0.1 : float3(0.044, 0.071, 0.068);
    // From scene 1's layout on; a select rather than a branch on the frame alone (see README,
    // GPU programs).
    float3 sky = simulation.frame > SCENE1_CLEAR_FRAME ? secondSky : sceneData.backgroundColor;
    float falloff = 1.0 - d.y;
    return sky * falloff * falloff;
}

// Up to five bounces from the first hit; a path still bouncing after that ends dark. A lane
// whose path has ended, or that has none (not active), goes on through the loop with its
// wave, as nearestHit needs, until every path of the wave has ended.
float3 tracePath(Ray ray, Hit hit, inout float2 seed, bool active)
{
    float3 throughput = float3(1.0, 1.0, 1.0);
    float3 radiance = float3(0.0, 0.0, 0.0);
    bool done = !active;
    for (uint bounce = 0; bounce < MAX_BOUNCES; ++bounce) {
        if (bounce > 0)
            hit = nearestHit(ray, false);
        if (!done && hit.index == NO_HIT) {
            radiance += throughput * skyLight(ray.direction);
            done = true;
        }
        if (WaveActiveAllTrue(done))
            break;
        if (!done) {
            float3 centre = hit.centre;
            float3 hitPoint = ray.origin + hit.t * ray.direction;
            float3 exitPoint = ray.origin + hit.tFar * ray.direction;
            Material m = shadingMaterial(particleId(hit.index) - 1, hitPoint);
            throughput *= respond(ray, seed, hitPoint, normalize(hitPoint - centre), exitPoint, centre, m);
            if (m.emissive > 0.0)
                radiance += m.albedo * m.emissive * throughput;
        }
    }
    return radiance;
}

// >>projections
float2 project(float4x4 m, float3 p)
{
    float4 clip = mul(float4(p, 1.0), m); // the hitPoint multiplies the matrix from the left
    return clip.xy / clip.w;
}

// Where the far end of direction d lands on screen: the limit of project(m, o + t d) as t grows,
// which a hitPoint FAR_AWAY along d would overflow to infinity.
float2 projectDirection(float4x4 m, float3 d)
{
    float4 clip = mul(float4(d, 0.0), m);
    return clip.xy / clip.w;
}

// >>main
[numthreads(32, 32, 1)]
void main(uint3 threadId : SV_DispatchThreadID, uint3 groupId : SV_GroupID, uint groupIndex : SV_GroupIndex)
{
    stageSpheres(groupIndex, groupId.xy * 32);

    // The last row of tiles reaches below the image: those threads trace no path and write
    // nothing. That test bounds the sample loop rather than returning early, so that the loop
    // bound is not the constant block's alone (see README, GPU programs).
    float2 resolution = frameData.resolution.xy;
    uint2 pixel = threadId.xy;
    bool inImage = pixel.x < uint(resolution.x) && pixel.y < uint(resolution.y);

    float2 uv = float2(pixel) / resolution;
    float time = frameData.time;
    float tau = (pixel.x % 4 == 0 || pixel.y % 4 == 0) ? fmod(time, 1.0) : time;
    float2 seed = float2(cos(tau) + uv.x, cos(tau) + uv.y);

    // Primary ray: feeds the auxiliary images and is also the path of every unjittered sample.
    Ray primary = cameraRay(uv);
    Hit primaryHit = nearestHit(primary, true);

    // sampleCount 0 is taken as 1, and samples past the fifth cycle through the jitter table.
    // A wave with a pixel in the image runs every path in all its lanes (see tracePath).
    uint sampleCount = max(frameData.sampleCount, 1);
    uint pathCount = WaveActiveMax(inImage ? sampleCount + 1 : 0);
    float3 sum = float3(0.0, 0.0, 0.0);
    for (uint k = 0; k < pathCount; ++k) {
        uint jitter = k % 5;
        Ray ray = primary;
        Hit hit = primaryHit;
        if (jitter != 0) {
            ray = cameraRay(uv + float2(JITTER_X[jitter], JITTER_Y[jitter]) / resolution);
            hit = nearestHit(ray, true);
        }
        sum += tracePath(ray, hit, seed, inImage); // the seed runs on from path to path
    }
    float3 colour = sum / float(sampleCount);
    if (!inImage)
        return;

    float3 X;
    float3 N0;
    float id;
    float depth;
    float2 motion;
    if (primaryHit.index != NO_HIT) {
        uint index = primaryHit.index;
        float3 centre = primaryHit.centre;
        X = primary.origin + primaryHit.t * primary.direction;
        N0 = normalize(X - centre);
        id = float(particleId(index));
        float4 clip = mul(float4(X, 1.0), frameData.viewProjMtx);
        depth = clip.z / clip.w;
        float2 cameraShare = project(frameData.prevViewProjMtx, X) - project(frameData.viewProjMtx, X);
        float2 sphereShare = project(frameData.viewProjMtx, particlePrevPosition(index))
            - project(frameData.viewProjMtx, particlePosition(index));
        motion = 0.5 * (cameraShare + sphereShare);
    } else {
        // No sphere: the camera's share alone, and no sphere term.
        X = primary.origin + primary.direction * FAR_AWAY;
        N0 = -primary.direction;
        id = 0.0;
        depth = 1.0;
        motion = 0.5 * (projectDirection(frameData.prevViewProjMtx, primary.direction)
            - projectDirection(frameData.viewProjMtx, primary.direction));
    }

    colorOutput[pixel] = float4(colour, 1.0);
    motionOutput[pixel] = float4(motion, 0.0, 1.0);
    positionOutput[pixel] = float4(X, id);
    normalOutput[pixel] = float4(N0, depth); // the a-trous filter reads both in one load
    depthOutput[pixel] = depth;
}
