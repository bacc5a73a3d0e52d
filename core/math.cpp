// Vector and matrix math.
#include "core/math.h"

#include <cmath>

float dot(Float3 a, Float3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Float3 cross(Float3 a, Float3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float length(Float3 v)
{
    return std::sqrt(dot(v, v));
}

Float3 normalize(Float3 v)
{
    float len = length(v);
    return len == 0.0f ? v : v * (1.0f / len);
}

Float4x4 identity()
{
    Float4x4 result{};
    for (int i = 0; i < 4; ++i)
        result.m[i][i] = 1.0f;
    return result;
}

void transpose(Float4x4& matrix)
{
    for (int r = 0; r < 4; ++r)
        for (int c = r + 1; c < 4; ++c) {
            float swapped = matrix.m[r][c];
            matrix.m[r][c] = matrix.m[c][r];
            matrix.m[c][r] = swapped;
        }
}

Float4x4 multiply(const Float4x4& a, const Float4x4& b)
{
    Float4x4 result{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k)
                result.m[i][j] += a.m[i][k] * b.m[k][j];
    return result;
}

bool inverse(Float4x4& matrix)
{
    const float(*m)[4] = matrix.m;
    // 2 x 2 sub-determinants of rows 0-1 (s) and rows 2-3 (c) over the column pairs
    // (0,1), (0,2), (0,3), (1,2), (1,3), (2,3).
    float s0 = m[0][0] * m[1][1] - m[1][0] * m[0][1];
    float s1 = m[0][0] * m[1][2] - m[1][0] * m[0][2];
    float s2 = m[0][0] * m[1][3] - m[1][0] * m[0][3];
    float s3 = m[0][1] * m[1][2] - m[1][1] * m[0][2];
    float s4 = m[0][1] * m[1][3] - m[1][1] * m[0][3];
    float s5 = m[0][2] * m[1][3] - m[1][2] * m[0][3];

    float c0 = m[2][0] * m[3][1] - m[3][0] * m[2][1];
    float c1 = m[2][0] * m[3][2] - m[3][0] * m[2][2];
    float c2 = m[2][0] * m[3][3] - m[3][0] * m[2][3];
    float c3 = m[2][1] * m[3][2] - m[3][1] * m[2][2];
    float c4 = m[2][1] * m[3][3] - m[3][1] * m[2][3];
    float c5 = m[2][2] * m[3][3] - m[3][2] * m[2][3];

    float determinant = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (determinant == 0.0f)
        return false;
    float k = 1.0f / determinant;

    Float4x4 r;
    r.m[0][0] = (m[1][1] * c5 - m[1][2] * c4 + m[1][3] * c3) * k;
    r.m[0][1] = (-m[0][1] * c5 + m[0][2] * c4 - m[0][3] * c3) * k;
    r.m[0][2] = (m[3][1] * s5 - m[3][2] * s4 + m[3][3] * s3) * k;
    r.m[0][3] = (-m[2][1] * s5 + m[2][2] * s4 - m[2][3] * s3) * k;

    r.m[1][0] = (-m[1][0] * c5 + m[1][2] * c2 - m[1][3] * c1) * k;
    r.m[1][1] = (m[0][0] * c5 - m[0][2] * c2 + m[0][3] * c1) * k;
    r.m[1][2] = (-m[3][0] * s5 + m[3][2] * s2 - m[3][3] * s1) * k;
    r.m[1][3] = (m[2][0] * s5 - m[2][2] * s2 + m[2][3] * s1) * k;

    r.m[2][0] = (m[1][0] * c4 - m[1][1] * c2 + m[1][3] * c0) * k;
    r.m[2][1] = (-m[0][0] * c4 + m[0][1] * c2 - m[0][3] * c0) * k;
    r.m[2][2] = (m[3][0] * s4 - m[3][1] * s2 + m[3][3] * s0) * k;
    r.m[2][3] = (-m[2][0] * s4 + m[2][1] * s2 - m[2][3] * s0) * k;

    r.m[3][0] = (-m[1][0] * c3 + m[1][1] * c1 - m[1][2] * c0) * k;
    r.m[3][1] = (m[0][0] * c3 - m[0][1] * c1 + m[0][2] * c0) * k;
    r.m[3][2] = (-m[3][0] * s3 + m[3][1] * s1 - m[3][2] * s0) * k;
    r.m[3][3] = (m[2][0] * s3 - m[2][1] * s1 + m[2][2] * s0) * k;

    matrix = r;
    return true;
}

Float4x4 perspective(float fovY, float aspect, float nearZ, float farZ)
{
    float f = 1.0f / std::tan(fovY * 0.5f);
    Float4x4 result{};
    result.m[0][0] = f / aspect;
    result.m[1][1] = f;
    result.m[2][2] = (nearZ + farZ) / (nearZ - farZ);
    result.m[2][3] = -1.0f;
    result.m[3][2] = 2.0f * farZ * nearZ / (nearZ - farZ);
    return result;
}

Float4x4 lookAt(Float3 eye, Float3 target, Float3 up)
{
    Float3 z = eye - target;
    if (std::fabs(z.x) < 1e-6f && std::fabs(z.y) < 1e-6f && std::fabs(z.z) < 1e-6f)
        return identity();
    z = z * (1.0f / length(z));
    // normalize() leaves a zero vector as it is: parallel inputs give x = y = (0, 0, 0).
    Float3 x = normalize(cross(up, z));
    Float3 y = normalize(cross(z, x));
    return {{
        {x.x, y.x, z.x, 0.0f},
        {x.y, y.y, z.y, 0.0f},
        {x.z, y.z, z.z, 0.0f},
        {-dot(x, eye), -dot(y, eye), -dot(z, eye), 1.0f},
    }};
}

Float4x4 rotationZ(float radians)
{
    float c = std::cos(radians);
    float s = std::sin(radians);
    return {{
        {c, s, 0.0f, 0.0f},
        {-s, c, 0.0f, 0.0f},
        {0.0f, 0.0f, 1.0f, 0.0f},
        {0.0f, 0.0f, 0.0f, 1.0f},
    }};
}
