// Vector and matrix math of the camera and projection. Row-major matrices, row vectors:
// p' = p * M, translation in row 3, and A * B applies A first. Layout matches the GPU records.
#pragma once

struct Float2 {
    float x, y;
};

struct Float3 {
    float x, y, z;
};

struct Float4x4 {
    float m[4][4]; // m[r][c] is float 4r + c
};

static_assert(sizeof(Float2) == 8);
static_assert(sizeof(Float3) == 12);
static_assert(sizeof(Float4x4) == 64);

inline Float3 operator+(Float3 a, Float3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Float3 operator-(Float3 a, Float3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Float3 operator*(Float3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }

float dot(Float3 a, Float3 b);
Float3 cross(Float3 a, Float3 b);
float length(Float3 v);
// A zero-length vector is returned unchanged.
Float3 normalize(Float3 v);

Float4x4 identity();
void transpose(Float4x4& matrix);
Float4x4 multiply(const Float4x4& a, const Float4x4& b);
// Leaves the matrix unchanged and returns false when its determinant is exactly 0.
bool inverse(Float4x4& matrix);

// Right-handed, clip depth -1 ... 1; fovY in radians.
Float4x4 perspective(float fovY, float aspect, float nearZ, float farZ);
// The camera looks down -z of its own space; eye == target gives the identity.
Float4x4 lookAt(Float3 eye, Float3 target, Float3 up);
Float4x4 rotationZ(float radians);
