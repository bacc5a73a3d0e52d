// Vector and matrix math.
#include "core/math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectMatrixNear(const Float4x4& actual, const Float4x4& expected, float tolerance)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(actual.m[r][c], expected.m[r][c], tolerance) << "element " << r << "," << c;
}

bool equalBits(const Float4x4& a, const Float4x4& b)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (a.m[r][c] != b.m[r][c])
                return false;
    return true;
}

Float3 transformPoint(Float3 p, const Float4x4& m)
{
    // Row vector times matrix, w = 1.
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

} // namespace

TEST(Perspective, ElementsFollowFieldOfViewAndDepthRange)
{
    // f = 1 / tan(pi / 6) = sqrt(3) = 1.7320508; m00 = f / (16 / 9) = 0.9742786.
    Float4x4 p = perspective(3.14159265f / 3.0f, 16.0f / 9.0f, 0.1f, 1000.0f);
    EXPECT_NEAR(p.m[1][1], 1.7320508f, 1e-6f);
    EXPECT_NEAR(p.m[0][0], 0.9742786f, 1e-6f);
    // (0.1 + 1000) / (0.1 - 1000) = -1.0002; 2 * 1000 * 0.1 / (0.1 - 1000) = -0.20002.
    EXPECT_NEAR(p.m[2][2], -1.0002f, 1e-6f);
    EXPECT_NEAR(p.m[3][2], -0.20002f, 1e-6f);
    EXPECT_EQ(p.m[2][3], -1.0f);
    EXPECT_EQ(p.m[3][3], 0.0f);
    EXPECT_EQ(p.m[0][1], 0.0f);
    EXPECT_EQ(p.m[2][0], 0.0f);
}

TEST(LookAt, MapsEyeToOriginAndTargetOntoMinusZ)
{
    Float3 eye{1.0f, 2.0f, 3.0f};
    Float4x4 view = lookAt(eye, {1.0f, 2.0f, -7.0f}, {0.0f, 1.0f, 0.0f});
    Float3 origin = transformPoint(eye, view);
    EXPECT_NEAR(length(origin), 0.0f, 1e-6f);
    Float3 ahead = transformPoint({1.0f, 2.0f, -2.0f}, view);
    EXPECT_NEAR(ahead.x, 0.0f, 1e-6f);
    EXPECT_NEAR(ahead.y, 0.0f, 1e-6f);
    EXPECT_NEAR(ahead.z, -5.0f, 1e-5f);
    // Looking down -z with y up: world +x is view +x.
    Float3 right = transformPoint({2.0f, 2.0f, 3.0f}, view);
    EXPECT_NEAR(right.x, 1.0f, 1e-6f);
}

TEST(LookAt, DegenerateInputs)
{
    // Eye on the target: identity.
    Float3 eye{5.0f, 5.0f, 5.0f};
    EXPECT_TRUE(equalBits(lookAt(eye, {5.0f, 5.0f, 5.0000001f}, {0.0f, 1.0f, 0.0f}), identity()));

    // Viewing along up: x and y are zero, so the first two columns of the rotation vanish.
    Float4x4 view = lookAt({0.0f, 0.0f, 0.0f}, {0.0f, -3.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(view.m[r][0], 0.0f);
        EXPECT_EQ(view.m[r][1], 0.0f);
    }
    EXPECT_EQ(view.m[1][2], 1.0f); // z = (0, 1, 0)
}

TEST(Inverse, RoundTripIdentityAndSingularCase)
{
    Float4x4 unit = identity();
    EXPECT_TRUE(inverse(unit));
    EXPECT_TRUE(equalBits(unit, identity()));

    Float4x4 a = multiply(multiply(rotationZ(0.3f), lookAt({3.0f, 1.0f, -2.0f}, {0.0f, 0.5f, 4.0f}, {0.0f, 1.0f, 0.0f})),
                          perspective(1.0f, 1.7777778f, 0.1f, 1000.0f));
    Float4x4 inv = a;
    ASSERT_TRUE(inverse(inv));
    expectMatrixNear(multiply(inv, a), identity(), 1e-4f);
    expectMatrixNear(multiply(a, inv), identity(), 1e-4f);

    // Row 3 = row 0 + row 1: determinant exactly 0, matrix left as it was.
    Float4x4 singular{{{1, 2, 3, 4}, {0, 1, 0, 2}, {5, 0, 1, 1}, {1, 3, 3, 6}}};
    Float4x4 before = singular;
    EXPECT_FALSE(inverse(singular));
    EXPECT_TRUE(equalBits(singular, before));
}

TEST(Multiply, AppliesLeftOperandFirstAndDoesNotCommute)
{
    // Translate by (1, 0, 0), then rotate 90 degrees about z: (0,0,0) -> (1,0,0) -> (0,1,0).
    Float4x4 translate = identity();
    translate.m[3][0] = 1.0f;
    Float4x4 rotate = rotationZ(3.14159265f / 2.0f);
    Float3 p = transformPoint({0.0f, 0.0f, 0.0f}, multiply(translate, rotate));
    EXPECT_NEAR(p.x, 0.0f, 1e-6f);
    EXPECT_NEAR(p.y, 1.0f, 1e-6f);
    EXPECT_FALSE(equalBits(multiply(translate, rotate), multiply(rotate, translate)));

    Float4x4 t = translate;
    transpose(t);
    EXPECT_EQ(t.m[0][3], 1.0f);
    EXPECT_EQ(t.m[3][0], 0.0f);
}

TEST(Vectors, NormaliseLeavesZeroUnchanged)
{
    Float3 zero = normalize({0.0f, 0.0f, 0.0f});
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
    EXPECT_EQ(zero.z, 0.0f);
    Float3 n = normalize({3.0f, 0.0f, 4.0f});
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.z, 0.8f);
    Float3 c = cross({1, 0, 0}, {0, 1, 0});
    EXPECT_EQ(c.z, 1.0f);
}
