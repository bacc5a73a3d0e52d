// Particle simulation: lays out the two scenes on their initialisation frames, moves the
// scripted spheres and integrates the dynamic ones, then resolves their contacts pair by pair
// in a fixed order. One group of 64 threads, two particles each; it reads and writes only the
// particle buffer (records of 104 bytes, byte-addressed), all of it read before any is written.
#include "ParticleConfig.h"

RWByteAddressBuffer particles : register(u0);
ConstantBuffer<SimulationData> simulation : register(b0);
ConstantBuffer<ParticleSceneData> sceneData : register(b1);

// >>records
// The record's fields at their offsets (ParticleConfig.h).

ParticleData loadParticle(uint index)
{
    uint base = index * PARTICLE_STRIDE;
    ParticleData p;
    p.position = asfloat(particles.Load3(base + OFFSET_POSITION));
    p.prevPosition = asfloat(particles.Load3(base + OFFSET_PREV_POSITION));
    p.velocity = asfloat(particles.Load3(base + OFFSET_VELOCITY));
    p.acceleration = asfloat(particles.Load3(base + OFFSET_ACCELERATION));
    p.radius = asfloat(particles.Load(base + OFFSET_RADIUS));
    p.elasticity = asfloat(particles.Load(base + OFFSET_ELASTICITY));
    p.friction = asfloat(particles.Load(base + OFFSET_FRICTION));
    p.id = particles.Load(base + OFFSET_ID);
    p.dynamic = particles.Load(base + OFFSET_DYNAMIC);
    p.visible = particles.Load(base + OFFSET_VISIBLE);
    p.material.albedo = asfloat(particles.Load3(base + OFFSET_ALBEDO));
    p.material.emissive = asfloat(particles.Load(base + OFFSET_EMISSIVE));
    p.material.reflection = asfloat(particles.Load(base + OFFSET_REFLECTION));
    p.material.metallic = asfloat(particles.Load(base + OFFSET_METALLIC));
    p.material.transparency = asfloat(particles.Load(base + OFFSET_TRANSPARENCY));
    p.material.indexOfRefraction = asfloat(particles.Load(base + OFFSET_INDEX_OF_REFRACTION));
    return p;
}

void storeParticle(uint index, ParticleData p)
{
    uint base = index * PARTICLE_STRIDE;
    particles.Store3(base + OFFSET_POSITION, asuint(p.position));
    particles.Store3(base + OFFSET_PREV_POSITION, asuint(p.prevPosition));
    particles.Store3(base + OFFSET_VELOCITY, asuint(p.velocity));
    particles.Store3(base + OFFSET_ACCELERATION, asuint(p.acceleration));
    particles.Store(base + OFFSET_RADIUS, asuint(p.radius));
    particles.Store(base + OFFSET_ELASTICITY, asuint(p.elasticity));
    particles.Store(base + OFFSET_FRICTION, asuint(p.friction));
    particles.Store(base + OFFSET_ID, p.id);
    particles.Store(base + OFFSET_DYNAMIC, p.dynamic);
    particles.Store(base + OFFSET_VISIBLE, p.visible);
    particles.Store3(base + OFFSET_ALBEDO, asuint(p.material.albedo));
    particles.Store(base + OFFSET_EMISSIVE, asuint(p.material.emissive));
    particles.Store(base + OFFSET_REFLECTION, asuint(p.material.reflection));
    particles.Store(base + OFFSET_METALLIC, asuint(p.material.metallic));
    particles.Store(base + OFFSET_TRANSPARENCY, asuint(p.material.transparency));
    particles.Store(base + OFFSET_INDEX_OF_REFRACTION, asuint(p.material.indexOfRefraction));
}

// >>random
// A hash of a per-thread seed, advanced on every draw; no generator state is stored.
float nextRandom(inout float seed)
{
    seed = frac(seed * 1.618034 + 0.12345679);
    return frac(sin(dot(float3(seed, seed, seed), float3(12.9898, 78.233, 37.719))) * 43758.547);
}

// Unit vector of v, or zero for a zero vector (a sphere exactly at the origin has no direction).
float3 directionOf(float3 v)
{
    float len = length(v);
    return len > 0.0 ? v / len : float3(0.0, 0.0, 0.0);
}

void setMaterial(inout ParticleData p, float3 albedo, float emissive, float reflection, float metallic)
{
    p.material.albedo = albedo;
    p.material.emissive = emissive;
    p.material.reflection = reflection;
    p.material.metallic = metallic;
}

// >>collisions
// The step's contacts, resolved after every sphere has moved: each thread writes its sphere's
// contact fields here, and from then on the pairs change them only in disjoint pairs, so no
// thread reads a sphere that another thread is writing.
static const uint CONTACT_NONE = 0;    // not simulated this step, or no contacts this step
static const uint CONTACT_FIXED = 1;   // immovable: fixed or scripted
static const uint CONTACT_DYNAMIC = 2;

struct ContactSphere {
    float3 position;
    float3 velocity;
    float radius;
    float elasticity;
    float friction;
    uint role; // CONTACT_*
};

groupshared ContactSphere contactSpheres[MAX_PARTICLES];

// Both move: the impulse along the line of centres, scaled by other's friction, and each
// centre moved out by its share of the overlap, in proportion to the other's radius.
// Coincident centres have no direction between them: they separate along +y.
void resolveDynamicPair(inout ContactSphere self, inout ContactSphere other)
{
    float3 d = other.position - self.position;
    float dist = length(d);
    float R = self.radius + other.radius;
    if (dist >= R)
        return;
    float3 n = dist > 0.000001 ? d / dist : float3(0.0, 1.0, 0.0);
    float overlap = R - dist;
    float vn = dot(self.velocity - other.velocity, n);
    float e = min(self.elasticity, other.elasticity) + 1.0;
    float3 J = -vn * e * n;
    float3 corr = (overlap / R) * n;
    self.velocity += J * other.friction;
    other.velocity -= J * other.friction;
    self.position -= corr * other.radius;
    other.position += corr * self.radius;
}

// Pushed out of the fixed sphere, away from its centre (along +y from its very centre), and
// bounced if it was moving in.
void pushOutOfFixed(inout ContactSphere self, ContactSphere fixed)
{
    float3 d = fixed.position - self.position;
    float dist = length(d);
    float R = self.radius + fixed.radius;
    if (dist >= R)
        return;
    float3 n = dist > 0.000001 ? -d / dist : float3(0.0, 1.0, 0.0);
    self.position += n * 0.8 * max(R - dist - 0.001, 0.0);
    float vn = dot(self.velocity, n);
    if (vn < 0.0) {
        float3 vN = vn * n;
        float3 vT = self.velocity - vN;
        self.velocity = vT * (1.0 - clamp(self.friction * fixed.friction, 0.0, 1.0))
            - vN * clamp(self.elasticity, 0.0, 1.0);
    }
}

// Spheres a < b, in one of the two sweeps over all pairs. As each thread of the landed program
// met every other sphere, every contact is met from both of its spheres: two dynamic ones
// with a as self in the first sweep and b in the second, which resolves only what the other
// contacts pushed back into overlap; a dynamic one is pushed out of an immovable one in the
// first sweep only; two immovable ones, or a sphere outside the step, meet nothing.
void resolvePair(uint a, uint b, bool secondSweep)
{
    ContactSphere first = contactSpheres[a];
    ContactSphere second = contactSpheres[b];
    if (first.role == CONTACT_DYNAMIC && second.role == CONTACT_DYNAMIC) {
        if (secondSweep)
            resolveDynamicPair(second, first);
        else
            resolveDynamicPair(first, second);
        contactSpheres[a] = first;
        contactSpheres[b] = second;
    } else if (!secondSweep && first.role == CONTACT_DYNAMIC && second.role == CONTACT_FIXED) {
        pushOutOfFixed(first, second);
        contactSpheres[a] = first;
    } else if (!secondSweep && first.role == CONTACT_FIXED && second.role == CONTACT_DYNAMIC) {
        pushOutOfFixed(second, first);
        contactSpheres[b] = second;
    }
}

// Round-robin schedule (the circle method) of the 128 spheres: in round r, sphere 127 meets
// r, and for k = 1 to 63 sphere (r + k) mod 127 meets (r - k) mod 127. The 64 pairs of a
// round are disjoint, and the 127 rounds of a sweep meet every pair exactly once.
static const uint ROUNDS = MAX_PARTICLES - 1;

uint2 pairOfRound(uint round, uint k)
{
    uint x = k == 0 ? MAX_PARTICLES - 1 : (round + k) % ROUNDS;
    uint y = k == 0 ? round : (round + ROUNDS - k) % ROUNDS;
    return uint2(min(x, y), max(x, y));
}

// Thread k resolves pair k of each round; a barrier between rounds, a fixed two sweeps of 127
// whatever the scene (see README, GPU programs), always in this order.
void collideAll(uint k)
{
    GroupMemoryBarrierWithGroupSync();
    for (uint round = 0; round < 2 * ROUNDS; ++round) {
        uint2 pair = pairOfRound(round % ROUNDS, k);
        resolvePair(pair.x, pair.y, round >= ROUNDS);
        GroupMemoryBarrierWithGroupSync();
    }
}

// >>scene0
// One large transparent sphere (particle 0) and three lights that orbit it, then fall towards it.
// Lights 1 to 3 start on a circle of radius 20 at (20 sin 2k, 20 cos 2k) for k = 0, 1, 2 and
// grow in over the frames [start, end] of their orbit.
static const float3 LIGHT_START[3] = {
    float3(0.0, 20.0, -100.0),
    float3(18.185947, -8.322937, -100.0),
    float3(-15.13605, -13.072872, -100.0),
};
static const float LIGHT_GROW_START[3] = {713.0, 868.0, 1008.0};
static const float LIGHT_GROW_END[3] = {800.0, 953.0, 1093.0};
static const float LIGHT_VELOCITY_GAIN[3] = {2.985, 2.0, 2.0};

void initialiseScene0(uint i, inout ParticleData p, inout float seed)
{
    p.prevPosition = float3(0.0, 0.0, 0.0);
    p.visible = 0;
    if (i > 3)
        return;
    p.velocity = float3(0.0, 0.0, 0.0);
    p.acceleration = float3(0.0, 0.0, 0.0);
    p.visible = 1;
    if (i == 0) {
        p.position = float3(0.0, 0.0, -100.0);
        p.radius = 8.0;
        p.elasticity = 0.0;
        p.friction = 0.55948;
        p.dynamic = 0;
        setMaterial(p, float3(1.0, 1.0, 1.0), 0.0, 1.0, 1.0);
        p.material.transparency = 1.0;
        p.material.indexOfRefraction = 1.1;
        return;
    }
    p.position = LIGHT_START[i - 1];
    p.radius = 0.0;
    p.elasticity = 0.3 * nextRandom(seed) + 0.1;
    p.friction = i == 1 ? 0.006 : 0.01;
    p.dynamic = 1;
    p.material.albedo = float3(1.0, 1.0, 1.0);
    p.material.emissive = 1.0;
    p.material.metallic = 0.0;
}

// Returns the sphere's part in this step's contacts: none until the fall.
uint simulateScene0(uint i, inout ParticleData p)
{
    float time = simulation.time;
    uint frame = simulation.frame;
    if (i == 0)
        p.radius = 8.5 + 0.5 * sin(2.0 * 3.14159265 * frac(time / BEAT_MS)); // pulses on the beat

    // Until frame 2375 the lights orbit on a script and grow in one after the other; then the
    // dynamic spheres fall towards particle 0 and collide.
    bool scripted = frame < 2375;
    if (scripted && i >= 1 && i <= 3) {
        float angle = time * 0.0005 + 2.0 * float(i - 1);
        float3 old = p.position;
        p.position = float3(20.0 * sin(angle), 15.0 * cos(angle), -100.0 - 14.0 * sin(angle));
        p.radius = 4.0 * smoothstep(LIGHT_GROW_START[i - 1], LIGHT_GROW_END[i - 1], float(frame));
        p.velocity = (p.position - old) * LIGHT_VELOCITY_GAIN[i - 1];
    }
    bool falling = !scripted && p.dynamic != 0;
    if (falling) {
        // Particle 0 as the last step left it: no thread writes the buffer before the contacts.
        float3 centre = asfloat(particles.Load3(OFFSET_POSITION));
        p.acceleration = (centre - p.position) * 0.0021;
        p.material.emissive = abs(sin(0.5 * sin(time * 0.0005 + float(i))));
        p.velocity += p.acceleration * simulation.dt;
        p.position += p.velocity * simulation.dt;
    }
    return scripted ? CONTACT_NONE : (p.dynamic != 0 ? CONTACT_DYNAMIC : CONTACT_FIXED);
}

// >>scene1
// Balls 9 to 100: dynamic, of random size and metal, in a cloud that falls towards the origin.
void initialiseBall(uint i, inout ParticleData p, inout float seed)
{
    p.radius = 4.0 * nextRandom(seed) + 0.8;
    float rx = nextRandom(seed);
    float ry = nextRandom(seed);
    float rz = nextRandom(seed);
    p.position = p.radius * float3(2.0 * rx - 1.0, 2.0 * ry - 1.0, 2.0 * rz - 1.0)
        + float3(0.0, 25.0, -300.0);
    p.elasticity = 0.1;
    p.velocity = -1.8 * directionOf(p.position); // towards the origin
    p.acceleration = float3(0.0, 0.049, 0.0);
    p.friction = 0.5;
    p.dynamic = 1;
    float k = float(i) / float(sceneData.numParticles);
    p.material.albedo = 0.5 + 0.5 * cos(6.283185 * float3(k, k + 0.1, k + 0.2));
    p.material.emissive = 0.0;
    p.material.reflection = 1.0;
    p.material.metallic = nextRandom(seed);
    p.material.transparency = 0.0;
    p.material.indexOfRefraction = 0.0;
    p.visible = 1;
}

// Four very large fixed spheres around the origin, a central light and 92 balls.
void initialiseScene1(uint i, inout ParticleData p, inout float seed)
{
    if (i >= 9 && i <= 100) {
        initialiseBall(i, p, seed);
        return;
    }

    // Table rows: radius, position, elasticity, velocity, acceleration, friction, dynamic,
    // then the material (albedo, emissive, reflection, metallic) and visible.
    float3 zero = float3(0.0, 0.0, 0.0);
    float3 grey = float3(0.1, 0.1, 0.1);
    float3 white = float3(1.0, 1.0, 1.0);
    float radius = 0.0;
    float3 position = zero;
    float elasticity = 0.0;
    float3 velocity = zero;
    float3 acceleration = zero;
    float friction = 0.0;
    float3 albedo = zero;
    float emissive = 0.0;
    float reflection = 0.0;
    float metallic = 0.0;
    uint visible = 0;
    if (i == 1) {
        radius = 2000.0; position = float3(0.0, 2025.0, 0.0); friction = 0.1;
        albedo = float3(0.01, 0.01, 0.01); reflection = 1.0; metallic = 1.0; visible = 1;
    } else if (i == 2) {
    } else if (i == 3) {
        radius = 500.0; position = float3(-525.0, 0.0, 0.0);
        albedo = grey; reflection = 1.0; metallic = 1.0; visible = 1;
    } else if (i == 4) {
        radius = 500.0; position = float3(525.0, 0.0, 0.0);
        albedo = grey; reflection = 1.0; metallic = 1.0; visible = 1;
    } else if (i == 5) {
        radius = 500.0; position = float3(0.0, 0.0, 525.0);
        albedo = grey; reflection = 1.0; metallic = 1.0; visible = 1;
    } else if (i == 6) {
        position = float3(0.0, 0.0, -525.0);
    } else if (i == 7) {
        radius = 4.0; position = simulation.cameraPos;
    } else if (i == 8) {
        radius = 8.0; friction = 0.5; emissive = 1.0; albedo = white; visible = 1;
    } else if (i == 101) {
        radius = 4.0; position = float3(0.0, 25.0, -300.0); elasticity = 0.3;
        acceleration = float3(0.0, 0.49, 0.0); emissive = 1.0; albedo = white; reflection = 0.5;
    } else if (i == 102) {
        radius = 8.0; position = simulation.cameraPos; elasticity = 0.3;
        velocity = float3(0.0, 0.0, 3.0); acceleration = float3(0.0, 0.49, 0.0);
        emissive = 1.0; albedo = white; reflection = 0.5;
    } else {
        p.visible = 0; // particle 0 and 103 upwards keep everything else
        return;
    }
    p.radius = radius;
    p.position = position;
    p.elasticity = elasticity;
    p.velocity = velocity;
    p.acceleration = acceleration;
    p.friction = friction;
    p.dynamic = 0;
    setMaterial(p, albedo, emissive, reflection, metallic);
    p.visible = visible;
}

// From frame 5561 on the two lights go out and drift upwards with the balls.
void floatAwayDark(inout ParticleData p, float dt)
{
    p.dynamic = 1;
    p.acceleration = float3(0.0, 0.49, 0.0);
    p.velocity += p.acceleration * dt;
    p.position += p.velocity * dt;
    p.material.emissive = 0.0;
}

// Returns the sphere's part in this step's contacts.
uint simulateScene1(uint i, inout ParticleData p)
{
    float time = simulation.time;
    uint frame = simulation.frame;
    float dt = simulation.dt;
    float beat = frac(time / BEAT_MS);

    // Every branch tests the particle with the frame, never the frame alone (see README, GPU
    // programs).
    if (i == 8 && frame > SCENE1_LIGHTS_OUT_FRAME) {
        floatAwayDark(p, dt);
    } else if (i == 8 && frame < SCENE1_LIGHTS_OUT_FRAME) {
        p.radius = 8.0 + 0.25 * exp(-50.0 * beat);
    } else if (i == 8) {
        p.material.emissive = 1.0;
    }

    if (i <= 100 && p.dynamic != 0) {
        float pulse = beat <= 0.02 ? 1.0 : 0.0; // the first 48 ms of every beat
        float3 n = directionOf(p.position);
        // After SCENE1_LIGHTS_OUT_FRAME everything rises; before it the beat pushes the balls in, with a
        // damping pull from 3300 to 4000; until 3300 they keep their acceleration.
        float3 acceleration = frame > SCENE1_LIGHTS_OUT_FRAME ? float3(0.0, 0.49, 0.0)
            : (frame > 4000 ? -2.0 * pulse * n : (frame > 3300 ? -5.0 * pulse * n : p.acceleration));
        bool damped = frame > 3300 && frame <= 4000;
        p.acceleration = acceleration;
        p.velocity += (damped ? lerp(acceleration, -0.001 * n, pulse) : acceleration) * dt;
        p.position += p.velocity * dt;
    }

    if (i == 102)
        p.position = simulation.cameraPos; // invisible, pushes balls away from the camera

    if (i == 101 && frame > SCENE1_LIGHTS_OUT_FRAME) {
        floatAwayDark(p, dt);
    } else if (i == 101 && frame > 4900) {
        p.visible = 1;
        p.dynamic = 1;
        p.velocity = -2.1 * directionOf(p.position);
        p.velocity += p.acceleration * dt;
        p.position += p.velocity * dt;
    }

    return p.dynamic != 0 ? CONTACT_DYNAMIC : CONTACT_FIXED;
}

// >>main
// What a frame does to the particles, by scene and frame number.
static const uint NO_STEP = 0;         // threads past the simulated particles
static const uint LAY_OUT_SCENE_0 = 1; // scene 0, frame 0
static const uint MOVE_SCENE_0 = 2;
static const uint CLEAR_SCENE_0 = 3;   // scene 1, SCENE1_CLEAR_FRAME: every sphere goes
static const uint LAY_OUT_SCENE_1 = 4; // scene 1, SCENE1_LAYOUT_FRAME
static const uint MOVE_SCENE_1 = 5;
static const uint KEEP = 6;            // any other scene

// The step's rules for particle i, before the contacts; returns its part in them.
uint stepParticle(uint step, uint i, inout ParticleData p)
{
    float seed = simulation.time + float(i) + 1.0;
    if (step == LAY_OUT_SCENE_0) {
        initialiseScene0(i, p, seed);
    } else if (step == MOVE_SCENE_0) {
        return simulateScene0(i, p);
    } else if (step == CLEAR_SCENE_0) {
        p.radius = 0.0;
        p.visible = 0;
    } else if (step == LAY_OUT_SCENE_1) {
        initialiseScene1(i, p, seed);
    } else if (step == MOVE_SCENE_1) {
        return simulateScene1(i, p);
    }
    return CONTACT_NONE;
}

ContactSphere contactSphereOf(ParticleData p, uint role)
{
    ContactSphere sphere = {p.position, p.velocity, p.radius, p.elasticity, p.friction, role};
    return sphere;
}

// The step of particle i: the thread's as well as the frame's, so that no branch depends on
// the constant block alone (see README, GPU programs). A particle from numParticles / 32 x 32
// on, or past the 128 records, takes none.
uint stepOf(uint i)
{
    uint simulated = min(sceneData.numParticles / 32 * 32, MAX_PARTICLES);
    uint frame = simulation.frame;
    uint sceneZeroStep = frame == 0 ? LAY_OUT_SCENE_0 : MOVE_SCENE_0;
    uint sceneOneStep = frame == SCENE1_CLEAR_FRAME ? CLEAR_SCENE_0
                      : (frame == SCENE1_LAYOUT_FRAME ? LAY_OUT_SCENE_1 : MOVE_SCENE_1);
    uint sceneStep = simulation.scene == 0 ? sceneZeroStep : (simulation.scene == 1 ? sceneOneStep : KEEP);
    return i < simulated ? sceneStep : NO_STEP;
}

// Particle i moved by its rules, its contact sphere left in slot.
ParticleData stepBeforeContacts(uint i, uint step, uint slot)
{
    ParticleData p = (ParticleData)0;
    uint role = CONTACT_NONE;
    if (step != NO_STEP) {
        p = loadParticle(i);
        p.id = i + 1;
        p.prevPosition = p.position;
        role = stepParticle(step, i, p);
    }
    contactSpheres[slot] = contactSphereOf(p, role);
    return p;
}

void storeAfterContacts(uint i, uint step, uint slot, ParticleData p)
{
    if (step == NO_STEP)
        return;
    p.position = contactSpheres[slot].position;
    p.velocity = contactSpheres[slot].velocity;
    storeParticle(i, p);
}

// One group holds every sphere, so a step reads the previous step's records and nothing else,
// whatever order its threads run in. Thread k steps particles k and k + 64 and resolves pair k
// of each round, all 64 busy in every round; a larger dispatch's further groups take no step.
[numthreads(MAX_PARTICLES / 2, 1, 1)]
void main(uint3 groupId : SV_GroupID, uint k : SV_GroupIndex)
{
    uint first = groupId.x * MAX_PARTICLES + k;
    uint second = first + MAX_PARTICLES / 2;
    uint firstStep = stepOf(first);
    uint secondStep = stepOf(second);
    // Every thread reaches the barriers, those without a particle too.
    ParticleData a = stepBeforeContacts(first, firstStep, k);
    ParticleData b = stepBeforeContacts(second, secondStep, k + MAX_PARTICLES / 2);
    collideAll(k);
    storeAfterContacts(first, firstStep, k, a);
    storeAfterContacts(second, secondStep, k + MAX_PARTICLES / 2, b);
}
