// Vector and matrix math: row vectors times row-major matrices (p' = p x M). The projection
// is checked through the camera's (app_parameters_test.cpp).
#include "core/math.h"

#include <gtest/gtest.h>

namespace {

Float3 transformPoint(Float3 p, const Float4x4& m)
{
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

void expectNear(Float3 actual, Float3 expected, const char* what)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-5f) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-5f) << what;
    EXPECT_NEAR(actual.z, expected.z, 1e-5f) << what;
}

void expectIdentity(const Float4x4& m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(m.m[r][c], r == c ? 1.0f : 0.0f, 1e-4f) << r << "," << c;
}

} // namespace

TEST(Matrices, LookAtPutsTheEyeAtTheOriginLookingDownMinusZWithXToTheRight)
{
    Float4x4 view = lookAt({1, 2, 3}, {1, 2, -7}, {0, 1, 0});
    expectNear(transformPoint({1, 2, 3}, view), {0, 0, 0}, "eye");
    expectNear(transformPoint({1, 2, -2}, view), {0, 0, -5}, "ahead");
    expectNear(transformPoint({2, 3, 3}, view), {1, 1, 0}, "right and up");
    // Eye on the target: identity. Viewing along up: the first two columns vanish.
    expectIdentity(lookAt({5, 5, 5}, {5, 5, 5.0000001f}, {0, 1, 0}));
    Float4x4 down = lookAt({0, 0, 0}, {0, -3, 0}, {0, 1, 0});
    EXPECT_EQ(down.m[0][0] + down.m[1][1] + down.m[2][0], 0.0f);
    EXPECT_EQ(down.m[1][2], 1.0f); // z = (0, 1, 0)
}

TEST(Matrices, MultiplyAppliesTheLeftOperandFirstAndInverseUndoesIt)
{
    // Translate by (1, 0, 0), then rotate 90 degrees about z: (0, 0, 0) -> (1, 0, 0) -> (0, 1, 0).
    Float4x4 translate = identity();
    translate.m[3][0] = 1.0f;
    Float4x4 rotate = rotationZ(3.14159265f / 2.0f);
    expectNear(transformPoint({0, 0, 0}, multiply(translate, rotate)), {0, 1, 0}, "translate, rotate");
    expectNear(transformPoint({0, 0, 0}, multiply(rotate, translate)), {1, 0, 0}, "rotate, translate");
    Float4x4 t = translate;
    transpose(t);
    EXPECT_EQ(t.m[0][3], 1.0f);

    Float4x4 a = multiply(multiply(rotate, lookAt({3, 1, -2}, {0, 0.5f, 4}, {0, 1, 0})),
                          perspective(1.0f, 1.7777778f, 0.1f, 1000.0f));
    Float4x4 inv = a;
    ASSERT_TRUE(inverse(inv));
    expectIdentity(multiply(inv, a));
    expectIdentity(multiply(a, inv));
    // Row 3 = row 0 + row 1: determinant exactly 0, and the matrix is left as it was.
    Float4x4 singular{{{1, 2, 3, 4}, {0, 1, 0, 2}, {5, 0, 1, 1}, {1, 3, 3, 6}}};
    EXPECT_FALSE(inverse(singular));
    EXPECT_EQ(singular.m[3][3], 6.0f);
}
