// Particle simulation: lays out the two scenes on their initialisation frames, moves the
// scripted spheres and integrates and collides the dynamic ones. One thread per particle;
// it reads and writes only the particle buffer (records of 104 bytes, byte-addressed).
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

// The collision pass changes only where a sphere is and how fast it moves; writing just those
// two fields keeps another thread's concurrent scripted writes to the same record intact.
void storeMotion(uint index, float3 position, float3 velocity)
{
    uint base = index * PARTICLE_STRIDE;
    particles.Store3(base + OFFSET_POSITION, asuint(position));
    particles.Store3(base + OFFSET_VELOCITY, asuint(velocity));
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
// All pairs, brute force. Fixed and scripted spheres never move. Both spheres of a dynamic
// pair are read as currently stored, so a contact that the other thread has already resolved
// is not resolved twice; the order in which different threads' writes land is not defined.
void collide(uint i, inout ParticleData self)
{
    // A fixed sphere meets no other: its loop has no pass. The bound is the sphere's, not the
    // constant block's alone (see README, GPU programs).
    uint others = self.dynamic != 0 ? min(sceneData.numParticles, MAX_PARTICLES) : 0;
    for (uint j = 0; j < others; ++j) {
        if (j == i)
            continue;
        uint base = i * PARTICLE_STRIDE;
        self.position = asfloat(particles.Load3(base + OFFSET_POSITION));
        self.velocity = asfloat(particles.Load3(base + OFFSET_VELOCITY));
        ParticleData other = loadParticle(j);
        float3 d = other.position - self.position;
        float dist = length(d);
        float R = self.radius + other.radius;
        if (dist >= R)
            continue;
        // Coincident centres have no direction between them: both kinds of contact separate
        // along +y.
        if (other.dynamic != 0) {
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
            storeMotion(i, self.position, self.velocity);
            storeMotion(j, other.position, other.velocity);
        } else {
            // Pushed out of the fixed sphere, away from its centre.
            float3 n = dist > 0.000001 ? -d / dist : float3(0.0, 1.0, 0.0);
            self.position += n * 0.8 * max(R - dist - 0.001, 0.0);
            float vn = dot(self.velocity, n);
            if (vn < 0.0) {
                float3 vN = vn * n;
                float3 vT = self.velocity - vN;
                self.velocity = vT * (1.0 - clamp(self.friction * other.friction, 0.0, 1.0))
                    - vN * clamp(self.elasticity, 0.0, 1.0);
            }
            storeMotion(i, self.position, self.velocity);
        }
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

void simulateScene0(uint i, inout ParticleData p)
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
        float3 centre = asfloat(particles.Load3(OFFSET_POSITION)); // particle 0
        p.acceleration = (centre - p.position) * 0.0021;
        p.material.emissive = abs(sin(0.5 * sin(time * 0.0005 + float(i))));
        p.velocity += p.acceleration * simulation.dt;
        p.position += p.velocity * simulation.dt;
    }
    storeParticle(i, p);
    if (falling)
        collide(i, p); // which moves dynamic spheres only
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

void simulateScene1(uint i, inout ParticleData p)
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

    storeParticle(i, p);
    collide(i, p);
}

// >>main
// What a frame does to the particles, by scene and frame number.
static const uint NO_STEP = 0;         // threads past the buffer's 128 records
static const uint LAY_OUT_SCENE_0 = 1; // scene 0, frame 0
static const uint MOVE_SCENE_0 = 2;
static const uint CLEAR_SCENE_0 = 3;   // scene 1, SCENE1_CLEAR_FRAME: every sphere goes
static const uint LAY_OUT_SCENE_1 = 4; // scene 1, SCENE1_LAYOUT_FRAME
static const uint MOVE_SCENE_1 = 5;
static const uint KEEP = 6;            // any other scene

[numthreads(32, 1, 1)]
void main(uint3 threadId : SV_DispatchThreadID)
{
    uint i = threadId.x;
    // The step is the thread's as well as the frame's: a thread past the 128 records, which a
    // larger dispatch must not write past, takes none. So no branch below depends on the
    // constant block alone (see README, GPU programs).
    uint frame = simulation.frame;
    uint sceneZeroStep = frame == 0 ? LAY_OUT_SCENE_0 : MOVE_SCENE_0;
    uint sceneOneStep = frame == SCENE1_CLEAR_FRAME ? CLEAR_SCENE_0
                      : (frame == SCENE1_LAYOUT_FRAME ? LAY_OUT_SCENE_1 : MOVE_SCENE_1);
    uint sceneStep = simulation.scene == 0 ? sceneZeroStep : (simulation.scene == 1 ? sceneOneStep : KEEP);
    uint step = i < MAX_PARTICLES ? sceneStep : NO_STEP;
    if (step == NO_STEP)
        return;

    ParticleData p = loadParticle(i);
    p.id = i + 1;
    p.prevPosition = p.position;
    float seed = simulation.time + float(i) + 1.0;

    if (step == LAY_OUT_SCENE_0) {
        initialiseScene0(i, p, seed);
        storeParticle(i, p);
    } else if (step == MOVE_SCENE_0) {
        simulateScene0(i, p);
    } else if (step == CLEAR_SCENE_0) {
        p.radius = 0.0;
        p.visible = 0;
        storeParticle(i, p);
    } else if (step == LAY_OUT_SCENE_1) {
        initialiseScene1(i, p, seed);
        storeParticle(i, p);
    } else if (step == MOVE_SCENE_1) {
        simulateScene1(i, p);
    } else {
        storeParticle(i, p);
    }
}
