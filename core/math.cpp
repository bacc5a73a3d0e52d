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
    // (0,1), (0,2), (0,3), (1,2), (1,3), (2,3); pairOf[a][b] numbers the pair of columns a, b.
    constexpr int pairs[6][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
    constexpr int pairOf[4][4] = {{-1, 0, 1, 2}, {0, -1, 3, 4}, {1, 3, -1, 5}, {2, 4, 5, -1}};
    float s[6], c[6];
    for (int p = 0; p < 6; ++p) {
        int a = pairs[p][0], b = pairs[p][1];
        s[p] = m[0][a] * m[1][b] - m[1][a] * m[0][b];
        c[p] = m[2][a] * m[3][b] - m[3][a] * m[2][b];
    }

    float determinant = s[0] * c[5] - s[1] * c[4] + s[2] * c[3] + s[3] * c[2] - s[4] * c[1] + s[5] * c[0];
    if (determinant == 0.0f)
        return false;
    float k = 1.0f / determinant;

    // Entry (i, j) is the cofactor of m[j][i] over the determinant: along row j's partner in its
    // row pair (1, 0, 3, 2), over the other pair's sub-determinants, on the columns other than i.
    constexpr int partnerRow[4] = {1, 0, 3, 2};
    Float4x4 r;
    for (int i = 0; i < 4; ++i) {
        int a = i == 0 ? 1 : 0, b = i <= 1 ? 2 : 1, d = i == 3 ? 2 : 3;
        for (int j = 0; j < 4; ++j) {
            const float* row = m[partnerRow[j]];
            const float* other = j < 2 ? c : s;
            float x = row[a] * other[pairOf[b][d]], y = row[b] * other[pairOf[a][d]], z = row[d] * other[pairOf[a][b]];
            r.m[i][j] = ((i + j) % 2 ? -x + y - z : x - y + z) * k;
        }
    }
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
