// PathTracerCS on lavapipe: 32 x 32 images, a camera of our own, crafted spheres, and values
// worked out from the camera and sphere geometry by hand.
#include "tests/gpu/gpu_harness.h"

namespace {

// The tracer's outputs: colour, motion, position (w = id) and normal, 4 floats a pixel; depth, 1.
struct PathTraceImages {
    int width = 0;
    std::vector<float> color, motion, position, normal, depth;

    Float3 colorAt(int x, int y) const { return at(color, x, y); }
    Float3 positionAt(int x, int y) const { return at(position, x, y); }
    Float3 normalAt(int x, int y) const { return at(normal, x, y); }
    Float3 motionAt(int x, int y) const { return at(motion, x, y); }
    float idAt(int x, int y) const { return position[4 * (y * width + x) + 3]; }
    float depthAt(int x, int y) const { return depth[y * width + x]; }
    Float3 at(const std::vector<float>& image, int x, int y) const
    {
        const float* p = &image[4 * (y * width + x)];
        return {p[0], p[1], p[2]};
    }
};

class PathTracer : public GpuTest {
protected:
    // One dispatch of the frame's grid, floor(width / 32) x (floor(height / 32) + 1) groups,
    // bound as the frame binds it. Every image is 32-bit float so that values are checked at
    // full precision (the programs write formatless storage images).
    // `reference` runs the tracer that tests every sphere for every ray.
    PathTraceImages runPathTracer(const ParticleBlock& particles, const ConstantBufferData& frame,
                                  const ParticleSceneData& scene, const SimulationData& simulation, bool reference = false)
    {
        Pipeline* pipeline = computePipeline(reference ? PathTracerCSReference : PathTracerCS,
                                             {makeRange(RANGE_SRV, 1), makeRange(RANGE_UAV, 5), makeRange(RANGE_CBV, 3)});
        const uint32_t width = uint32_t(frame.resolution.x), height = uint32_t(frame.resolution.y);
        Buffer* particleBuffer = uploadBuffer(sizeof(ParticleBlock), BufferType::ReadWrite, particles.data());
        Buffer* blocks[3] = {uploadBuffer(sizeof(ConstantBufferData), BufferType::Constant, &frame),
                             uploadBuffer(sizeof(ParticleSceneData), BufferType::Constant, &scene),
                             uploadBuffer(sizeof(SimulationData), BufferType::Constant, &simulation)};
        Image* outputs[5];
        for (int i = 0; i < 5; ++i)
            outputs[i] = createStorageImage(width, height, i < 4 ? FORMAT_R32G32B32A32_FLOAT : FORMAT_R32_FLOAT);

        CommandList* list = beginCommands();
        transitionNow(list, particleBuffer, STATE_NON_PIXEL_SHADER_RESOURCE);
        resetDescriptorHeap(*heap);
        DescriptorTable table = allocateDescriptors(*heap, 9);
        writeBufferSRV(table, particleBuffer, MAX_PARTICLES, sizeof(ParticleData));
        for (Image* image : outputs)
            writeImageUAV(table, image, image->format);
        for (Buffer* block : blocks)
            writeCBV(table, block, uint32_t(block->size));
        recordCompute(list, pipeline, table, nullptr, uint32_t(frame.resolution.x * 0.03125f),
                      uint32_t(frame.resolution.y * 0.03125f) + 1);
        submitAndWait();
        return {int(width), readFloats(outputs[0]), readFloats(outputs[1]), readFloats(outputs[2]),
                readFloats(outputs[3]), readFloats(outputs[4])};
    }
};

constexpr int SIZE = 32;
constexpr float A = -1.0002f;  // depth terms of the piece's projection (near 0.1, far 1000)
constexpr float B = -0.20002f;
const Float3 EYE = {1.0f, 2.0f, 3.0f};

// The camera at EYE looks down -z with a 90 degree field of view and square pixels: pixel
// (x, y) has ndc (2x / 32 - 1, 2y / 32 - 1) and looks along (ndc.x, ndc.y, -1).
// invViewProj, in the dot-product form, takes (ndc, 1, 1) to (EYE + (ndc.x, ndc.y, -1), 1);
// viewProj, in the vector-times-matrix form, takes a point X to clip
// (X - EYE).x, (X - EYE).y, A (X - EYE).z + B, -(X - EYE).z. Neither is symmetric, so a
// product in the wrong form lands elsewhere.
const Float4x4 INV_VIEW_PROJ = {{{1, 0, 0, EYE.x}, {0, 1, 0, EYE.y}, {0, 0, 0, EYE.z - 1}, {0, 0, 1, 0}}};
const Float4x4 VIEW_PROJ = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, A, -1}, {-EYE.x, -EYE.y, B - A * EYE.z, EYE.z}}};

ConstantBufferData frameWith(uint32_t sampleCount)
{
    return {.cameraPos = EYE, .invViewProjMtx = INV_VIEW_PROJ, .viewProjMtx = VIEW_PROJ, .prevViewProjMtx = VIEW_PROJ,
            .resolution = {float(SIZE), float(SIZE), 1.0f}, .time = 1234.5f, .sampleCount = sampleCount};
}

Float2 ndcOf(float x, float y) { return {2.0f * x / SIZE - 1.0f, 2.0f * y / SIZE - 1.0f}; }
Float3 rayOf(float x, float y) { return normalize(Float3{ndcOf(x, y).x, ndcOf(x, y).y, -1.0f}); }
float depthOf(Float3 point) { return (A * (point - EYE).z + B) / -(point - EYE).z; }

// Distance along ray d from EYE, outside the sphere, to where it enters it.
float hitDistance(Float3 d, Float3 centre, float radius)
{
    Float3 c = centre - EYE;
    return dot(c, d) - std::sqrt(radius * radius - (dot(c, c) - dot(c, d) * dot(c, d)));
}

ParticleData sphereAt(uint32_t index, Float3 centre, float radius, uint32_t visible)
{
    return {.position = centre, .prevPosition = centre, .radius = radius, .id = index + 1, .visible = visible};
}

const float JITTER_X[5] = {0.0f, -1.0f, 1.0f, -1.0f, 1.0f};
const float JITTER_Y[5] = {0.0f, -1.0f, -1.0f, 1.0f, 1.0f};

// Light of rays that all leave the scene: sum over samples k = 0 .. samples - 1 of
// sky (1 - d_k.y)^2, d_k the ray through the pixel offset by jitter k (from the sixth sample
// on the table starts again).
Float3 skyLight(int x, int y, int samples, Float3 sky)
{
    Float3 sum = {0.0f, 0.0f, 0.0f};
    for (int k = 0; k < samples; ++k) {
        float falloff = 1.0f - rayOf(x + JITTER_X[k % 5], y + JITTER_Y[k % 5]).y;
        sum = sum + sky * (falloff * falloff);
    }
    return sum;
}

} // namespace

TEST_F(PathTracer, HitsShowTheirSurfaceLightAndMotionAndInvisibleSpheresNever)
{
    const Float3 centre = EYE + Float3{0.0f, 0.0f, -10.0f};
    const float radius = 4.0f;
    ParticleBlock particles{};
    // Particle 1 in scene 1 shades with its own material: reflection 0 makes every bounce
    // diffuse with weight albedo, so a path that hits it gathers albedo x emissive x albedo and
    // then escapes into a black sky (frame 100 takes backgroundColor, here 0). It stood 1 to
    // the right last frame.
    particles[1] = sphereAt(1, centre, radius, 1);
    particles[1].prevPosition = centre + Float3{1.0f, 0.0f, 0.0f};
    particles[1].material = {{0.5f, 0.25f, 1.0f}, 2.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    // Invisible: in front of the light, and around the camera.
    particles[3] = sphereAt(3, EYE + Float3{0.0f, 0.0f, -5.0f}, 1.0f, 0);
    particles[4] = sphereAt(4, EYE, 50.0f, 0);
    ConstantBufferData frame = frameWith(4);
    // Last frame the camera saw x twice as wide: proj(prev, X).x = 2 ndc.x of X.
    frame.prevViewProjMtx.m[0][0] = 2.0f;
    frame.prevViewProjMtx.m[3][0] = -2.0f * EYE.x;
    PathTraceImages images = runPathTracer(particles, frame, {{0.0f, 0.0f, 0.0f}, 32}, {.scene = 1, .frame = 100, .time = 700.0f});

    // The ray (nx, ny, -1) passes within 4 of (0, 0, -10) when nx^2 + ny^2 < 16 / 84.
    auto inside = [](float x, float y) {
        Float2 n = ndcOf(x, y);
        return n.x * n.x + n.y * n.y - 16.0f / 84.0f;
    };
    const Float3 gathered = Float3{0.25f, 0.0625f, 1.0f} * 2.0f; // albedo^2 x emissive
    int hits = 0;
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            SCOPED_TRACE(testing::Message() << "pixel " << x << ", " << y);
            Float3 d = rayOf(float(x), float(y));
            float margin = inside(float(x), float(y));
            if (std::fabs(margin) < 0.01f)
                continue; // too close to the silhouette to call
            // Motion of a hit: 0.5 (camera share ndc.x + sphere share 1 / 10, the centre's
            // depth being 10); of a miss: 0.5 ndc.x, the point at infinity along the ray.
            float ndcX = ndcOf(float(x), float(y)).x;
            EXPECT_NEAR(images.motionAt(x, y).x, margin < 0.0f ? 0.5f * (ndcX + 0.1f) : 0.5f * ndcX, 1e-5f);
            EXPECT_NEAR(images.motionAt(x, y).y, 0.0f, 1e-6f);
            if (margin < 0.0f) {
                ++hits;
                Float3 X = EYE + d * hitDistance(d, centre, radius);
                EXPECT_EQ(images.idAt(x, y), 2.0f);
                expectNear(images.positionAt(x, y), X, 1e-4f);
                expectNear(images.normalAt(x, y), (X - centre) * (1.0f / radius), 1e-4f);
                EXPECT_NEAR(images.depthAt(x, y), depthOf(X), 1e-5f);
            } else {
                EXPECT_EQ(images.idAt(x, y), 0.0f);
                expectNear(images.normalAt(x, y), d * -1.0f, 1e-6f);
                EXPECT_EQ(images.depthAt(x, y), 1.0f);
                // The point of a miss lies 3.4028235e38 along the ray.
                expectNear(images.positionAt(x, y) * (1.0f / 3.4028235e38f), d, 1e-6f);
            }
            EXPECT_EQ(images.normal[4 * (y * SIZE + x) + 3], images.depthAt(x, y)); // for the a-trous filter
            // Five paths over sampleCount 4: 5/4 of one path when all five rays hit, nothing
            // when all five miss.
            bool allHit = true, allMiss = true;
            for (int k = 0; k < 5; ++k) {
                float m = inside(x + JITTER_X[k], y + JITTER_Y[k]);
                allHit = allHit && m < -0.01f;
                allMiss = allMiss && m > 0.01f;
            }
            if (allHit)
                expectNear(images.colorAt(x, y), gathered * 1.25f, 1e-5f);
            if (allMiss)
                expectNear(images.colorAt(x, y), {0.0f, 0.0f, 0.0f}, 0.0f);
        }
    }
    EXPECT_GT(hits, 40); // the disc spans about 7 pixels either side of the centre
}

TEST_F(PathTracer, RayFromInsideASphereHitsItsFarSide)
{
    const Float3 centre = EYE + Float3{0.0f, 0.0f, -2.0f};
    ParticleBlock particles{};
    particles[0] = sphereAt(0, centre, 5.0f, 1);
    PathTraceImages images = runPathTracer(particles, frameWith(4), {{0.0f, 0.0f, 0.0f}, 32},
                                           {.scene = 2, .frame = 100, .time = 700.0f});
    // Straight ahead: roots -3 and 7, so the far side at 7 with the outward normal (0, 0, -1).
    EXPECT_EQ(images.idAt(16, 16), 1.0f);
    expectNear(images.positionAt(16, 16), EYE + Float3{0.0f, 0.0f, -7.0f}, 1e-5f);
    expectNear(images.normalAt(16, 16), {0.0f, 0.0f, -1.0f}, 1e-6f);
    EXPECT_NEAR(images.depthAt(16, 16), (A * -7.0f + B) / 7.0f, 1e-6f);
    expectNear(images.colorAt(16, 16), {0.0f, 0.0f, 0.0f}, 0.0f); // another scene number shades black
}

TEST_F(PathTracer, ColourSumsSampleCountPlusOnePathsOverSampleCount)
{
    ParticleBlock particles{};
    particles[5] = sphereAt(5, EYE + Float3{0.0f, 0.0f, -10.0f}, 6.0f, 0); // invisible
    const Float3 background = {0.2f, 0.4f, 0.6f};
    const Float3 fixedSky = {0.044f, 0.071f, 0.068f};
    struct Case { uint32_t frame; uint32_t sampleCount; int paths; float divisor; Float3 sky; };
    const Case cases[] = {
        {3254, 4, 5, 4.0f, background},     // backgroundColor up to frame 3254
        {3255, 2, 3, 2.0f, fixedSky * 0.1f}, // then a fixed sky, whatever backgroundColor says
        {6149, 4, 5, 4.0f, fixedSky * 0.1f},
        {6150, 0, 2, 1.0f, fixedSky},        // ten times brighter; sampleCount 0 counts as 1
        {6150, 6, 7, 6.0f, fixedSky},        // jitters 0 to 4, then 0 and 1 again
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        PathTraceImages images = runPathTracer(particles, frameWith(c.sampleCount),
                                               {background, 32}, {.scene = 1, .frame = c.frame, .time = 700.0f});
        for (int y = 0; y < SIZE; y += 3) {
            for (int x = 0; x < SIZE; x += 3) {
                Float3 expected = skyLight(x, y, c.paths, c.sky) * (1.0f / c.divisor);
                expectNear(images.colorAt(x, y), expected, 1e-5f);
                EXPECT_EQ(images.idAt(x, y), 0.0f);
            }
        }
    }
}

TEST_F(PathTracer, CameraRaysOfEachTileFindTheHitsOfEverySphere)
{
    // 96 x 70 pixels, 3 x 3 tiles of 32 (the last row reaching below the image), each of
    // whose camera rays tests only the spheres that can meet it; the reference tests all. 128
    // records: small spheres spread over the view (some across tile edges), a pair of
    // identical ones (the lower index must win), a few hidden, one behind the camera, and a
    // sphere of radius 60 around everything, so that every path bounces its five times
    // between spheres of every material. Both scenes' material rules, the walls' gradient
    // noise (indices 2 to 6) and the flashing sphere (8) included. Ids, depths, positions,
    // normals and motion must be the same to the bit, the colour within 1e-4.
    uint32_t seed = 2024;
    auto next = [&seed] { return nextUniform(seed); };
    ParticleBlock particles{};
    for (uint32_t i = 0; i < MAX_PARTICLES; ++i) {
        float z = -5.0f - 35.0f * next();
        Float3 centre = EYE + Float3{(2.0f * next() - 1.0f) * -z, (2.0f * next() - 1.0f) * -z * 0.7f, z};
        particles[i] = sphereAt(i, centre, 0.3f + 2.0f * next(), i % 9 != 4);
        particles[i].prevPosition = centre + Float3{0.1f * next(), 0.0f, 0.0f};
        particles[i].material = {{next(), next(), next()}, next() < 0.2f ? 2.0f : 0.0f, next(), next(),
                                 next() < 0.5f ? 0.8f : 0.0f, 1.0f + next()};
    }
    particles[1] = sphereAt(1, EYE + Float3{0.0f, 0.0f, 1.0f}, 60.0f, 1); // around the camera: its far side everywhere
    particles[1].material = {{0.7f, 0.7f, 0.7f}, 0.0f, 0.3f, 0.0f, 0.0f, 1.0f};
    particles[21] = particles[20]; // the same sphere twice: 20 must be seen, never 21
    particles[21].id = 22;
    particles[30].position = EYE + Float3{0.0f, 0.0f, 8.0f}; // behind the camera
    ConstantBufferData frame = frameWith(4);
    frame.resolution = {96.0f, 70.0f, 1.0f};
    frame.prevViewProjMtx.m[3][0] += 0.01f; // the camera moved a little
    for (uint32_t scene : {0u, 1u}) {
        SCOPED_TRACE(testing::Message() << "scene " << scene);
        SimulationData simulation = {.scene = scene, .frame = scene == 0 ? 1000u : 3500u, .time = 700.0f};
        PathTraceImages fast = runPathTracer(particles, frame, {{0.3f, 0.4f, 0.5f}, 128}, simulation);
        PathTraceImages reference = runPathTracer(particles, frame, {{0.3f, 0.4f, 0.5f}, 128}, simulation, true);
        auto sameBits = [](const std::vector<float>& a, const std::vector<float>& b) {
            return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
        };
        ASSERT_TRUE(sameBits(fast.position, reference.position)); // ids in w
        ASSERT_TRUE(sameBits(fast.depth, reference.depth));
        ASSERT_TRUE(sameBits(fast.normal, reference.normal));
        ASSERT_TRUE(sameBits(fast.motion, reference.motion));
        int seen21 = 0, small = 0;
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 96; ++x) {
                expectNear(fast.colorAt(x, y), reference.colorAt(x, y), 1e-4f);
                EXPECT_TRUE(std::isfinite(fast.colorAt(x, y).x)); // refraction and its total reflection included
                seen21 += fast.idAt(x, y) == 22.0f;
                small += fast.idAt(x, y) != 2.0f;
            }
        EXPECT_EQ(seen21, 0);
        EXPECT_GT(small, 96 * 70 / 4); // the small spheres cover much of the picture
    }
}
