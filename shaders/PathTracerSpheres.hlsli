// Rays and the spheres they hit, for PathTracerCS (which declares the particle buffer and the
// constant blocks first). Every ray tests the visible spheres in particle order, except camera
// rays, which test only those that can meet their group's pixels: with the same arithmetic and
// order, and so exactly the same hit. A wave shares its reads of the spheres (nearestHit).
// REFERENCE_VARIANT keeps every sphere for every ray, each read by every lane.

static const uint NO_HIT = 0xffffffff;

// The visible spheres' centres and squared radii, staged once per thread group in particle
// order: the sphere loop of every ray reads only these. sphereIndex maps back to the particle
// record, which is read only for the sphere that was hit. tileSpheres lists, in the same order,
// the slots of the spheres that a camera ray of the group's pixels can meet.
groupshared uint sphereFlags[MAX_PARTICLES]; // SPHERE_VISIBLE, SPHERE_IN_TILE
groupshared float4 spheres[MAX_PARTICLES];
groupshared uint sphereIndex[MAX_PARTICLES];
groupshared uint sphereCount;
groupshared uint tileSpheres[MAX_PARTICLES];
groupshared uint tileSphereCount;

// Spheres a wave's lanes read for each other (nearestHit). Four rather than eight: scene 0's
// list has four, and a list shorter than a round still pays for the whole round.
static const uint SPHERES_A_TIME = 4;

static const uint SPHERE_VISIBLE = 1;
static const uint SPHERE_IN_TILE = 2;

struct Ray {
    float3 origin;
    float3 direction; // not always unit length: glossy directions are not renormalised
};

struct Hit {
    uint index;       // particle index; NO_HIT on a miss
    float3 centre;
    float t;          // nearest positive root
    float tFar;       // larger root: where the ray leaves the sphere
};

// Keeps the nearer of hit and the sphere in slot j (centre and squared radius). A sphere is
// passed over where D < 0 or t < 0, so a NaN is not.
void testSphere(Ray ray, float a, float4 sphere, uint j, inout uint nearest, inout Hit hit)
{
    float3 oc = ray.origin - sphere.xyz;
    float b = 2.0 * dot(oc, ray.direction);
    float c = dot(oc, oc) - sphere.w;
    float D = b * b - 4.0 * a * c;
    if (!(D < 0.0)) {
        float root = sqrt(D);
        float t0 = (-b - root) / (2.0 * a);
        float t1 = (-b + root) / (2.0 * a);
        float t = t0 > 0.0 ? t0 : t1; // from inside a sphere the far side is hit
        if (!(t < 0.0) && (nearest == NO_HIT || t < hit.t)) {
            nearest = j;
            hit.t = t;
            hit.tFar = max(t0, t1);
        }
    }
}

// The nearest of the spheres the loop visits: every visible one, or (inTile) those a camera
// ray of the group can meet, in the same order, so that of two equally near spheres the same
// one wins. Every lane of the wave calls it together (tracePath keeps lanes whose paths have
// ended): the first SPHERES_A_TIME lanes read one each of the next spheres (fewer if the
// wave is narrower) from shared memory, and every lane then tests them in order, each taken
// from the registers of the lane that read it. The tests are written out, each naming its
// lane by a constant: a lane chosen at run time costs lavapipe more than the test itself.
Hit nearestHit(Ray ray, bool inTile)
{
    uint nearest = NO_HIT; // the slot of the nearest sphere so far
    Hit hit;
    hit.t = 0.0;
    hit.tFar = 0.0;
    float a = dot(ray.direction, ray.direction);
    uint count = inTile ? tileSphereCount : sphereCount;
#ifdef REFERENCE_VARIANT
    for (uint k = 0; k < count; ++k) {
        uint j = inTile ? tileSpheres[k] : k;
        testSphere(ray, a, spheres[j], j, nearest, hit);
    }
#else
    uint width = min(WaveGetLaneCount(), SPHERES_A_TIME);
    for (uint first = 0; first < count; first += width) {
        uint k = min(first + WaveGetLaneIndex(), MAX_PARTICLES - 1); // past count: not tested
        uint slot = inTile ? min(tileSpheres[k], MAX_PARTICLES - 1) : k;
        float4 sphere = spheres[slot];
        uint n = min(width, count - first);
        [unroll]
        for (uint lane = 0; lane < SPHERES_A_TIME; ++lane) {
            if (lane < n)
                testSphere(ray, a, WaveReadLaneAt(sphere, lane), WaveReadLaneAt(slot, lane), nearest, hit);
        }
    }
#endif
    hit.index = nearest == NO_HIT ? NO_HIT : sphereIndex[nearest];
    hit.centre = nearest == NO_HIT ? float3(0.0, 0.0, 0.0) : spheres[nearest].xyz;
    return hit;
}

// >>camera
// Through screen position uv (pixel / resolution, plus any jitter): no half-pixel offset and
// no flip of y.
Ray cameraRay(float2 uv)
{
    float4 ndc = float4(2.0 * uv.x - 1.0, 2.0 * uv.y - 1.0, 1.0, 1.0);
    float4 P = mul(frameData.invViewProjMtx, ndc); // component r = dot(register r, ndc)
    Ray ray;
    ray.origin = frameData.cameraPos;
    ray.direction = normalize(P.xyz / P.w - frameData.cameraPos);
    return ray;
}

// >>staging
// Whether a camera ray of the group's pixels, jittered by up to a pixel, can hit the sphere:
// false only when the sphere lies clearly outside the pyramid of the tile's corner rays, which
// holds every such ray (the pixels x0 - 1 .. x0 + 32, and one more for rounding). The margin,
// a thousandth of the distance, exceeds what rounding can move a computed hit.
bool mayMeetCameraRays(float3 centre, float radius, uint2 tileOrigin)
{
#ifdef REFERENCE_VARIANT
    return true; // every camera ray tests every visible sphere
#else
    float2 resolution = frameData.resolution.xy;
    float2 lo = (float2(tileOrigin) - 2.0) / resolution;
    float2 hi = (float2(tileOrigin) + 33.0) / resolution;
    float3 corners[4] = {cameraRay(lo).direction, cameraRay(float2(hi.x, lo.y)).direction, cameraRay(hi).direction,
                         cameraRay(float2(lo.x, hi.y)).direction};
    float3 inward = corners[0] + corners[1] + corners[2] + corners[3];
    float3 v = centre - frameData.cameraPos;
    float margin = radius + 1e-3 * (length(v) + radius);
    bool behind = true;
    [unroll]
    for (int k = 0; k < 4; ++k) {
        // The side through two neighbouring corner rays, its normal turned into the pyramid.
        float3 n = cross(corners[k], corners[(k + 1) % 4]);
        n = dot(n, inward) < 0.0 ? -n : n;
        if (dot(n, v) < -margin * length(n))
            return false;
        behind = behind && dot(corners[k], v) < -margin;
    }
    return !behind; // behind every corner ray is behind every ray of the tile
#endif
}

// Thread k of the group loads particle k; each visible sphere then goes to the slot given by
// the number of visible spheres before it, so the order (and with it which of two equally
// near spheres wins) stays that of the particle buffer. The tile list keeps the same order.
void stageSpheres(uint groupIndex, uint2 tileOrigin)
{
    uint count = min(sceneData.numParticles, MAX_PARTICLES);
    float4 sphere = float4(0.0, 0.0, 0.0, 0.0);
    uint flags = 0;
    if (groupIndex < count) {
        uint base = groupIndex * PARTICLE_STRIDE;
        float3 centre = asfloat(particles.Load3(base + OFFSET_POSITION));
        float radius = asfloat(particles.Load(base + OFFSET_RADIUS));
        sphere = float4(centre, radius * radius);
        if (particles.Load(base + OFFSET_VISIBLE) != 0)
            flags = SPHERE_VISIBLE | (mayMeetCameraRays(centre, radius, tileOrigin) ? SPHERE_IN_TILE : 0);
    }
    if (groupIndex < MAX_PARTICLES)
        sphereFlags[groupIndex] = flags; // 0 past the particle count
    GroupMemoryBarrierWithGroupSync();

    if (flags != 0) {
        uint slot = 0;
        uint tileSlot = 0;
        for (uint j = 0; j < groupIndex; ++j) {
            slot += sphereFlags[j] & SPHERE_VISIBLE;
            tileSlot += (sphereFlags[j] & SPHERE_IN_TILE) >> 1;
        }
        spheres[slot] = sphere;
        sphereIndex[slot] = groupIndex;
        if ((flags & SPHERE_IN_TILE) != 0)
            tileSpheres[tileSlot] = slot;
    }
    if (groupIndex == 0) {
        uint visibleCount = 0;
        uint tileCount = 0;
        // Over every record rather than up to the particle count, a bound from the constant
        // block alone (see README, GPU programs).
        for (uint j = 0; j < MAX_PARTICLES; ++j) {
            visibleCount += sphereFlags[j] & SPHERE_VISIBLE;
            tileCount += (sphereFlags[j] & SPHERE_IN_TILE) >> 1;
        }
        sphereCount = visibleCount;
        tileSphereCount = tileCount;
    }
    GroupMemoryBarrierWithGroupSync();
}
