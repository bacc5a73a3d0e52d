// The shared records as the GPU reads them: registers of 16 bytes, matrices in storage order.
#include "shaders/ParticleConfig.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ParticleConfig, MatricesLandOnTheirRegisters)
{
    ConstantBufferData constants{};
    constants.invViewProjMtx.m[1][2] = 7.0f;     // register 1 + 1, component 2
    constants.prevInvViewProjMtx.m[0][0] = 8.0f; // register 6
    constants.prevViewProjMtx.m[3][3] = 9.0f;    // register 21, component 3
    constants.resolution = {480.0f, 270.0f, 1.0f};
    const float* words = reinterpret_cast<const float*>(&constants);
    EXPECT_EQ(words[(2 * 16 + 2 * 4) / 4], 7.0f);
    EXPECT_EQ(words[6 * 16 / 4], 8.0f);
    EXPECT_EQ(words[(21 * 16 + 12) / 4], 9.0f);
    EXPECT_EQ(words[22 * 16 / 4], 480.0f);
    EXPECT_EQ(words[(22 * 16 + 8) / 4], 1.0f);
}

TEST(ParticleConfig, ParticleRecordsFollowEachOtherEvery104Bytes)
{
    ParticleData particles[2]{};
    particles[1].material.indexOfRefraction = 1.5f;
    particles[1].id = 2;
    unsigned char bytes[sizeof(particles)];
    std::memcpy(bytes, particles, sizeof(particles));
    float ior;
    uint32_t id;
    std::memcpy(&ior, bytes + 104 + 100, 4);
    std::memcpy(&id, bytes + 104 + 60, 4);
    EXPECT_EQ(ior, 1.5f);
    EXPECT_EQ(id, 2u);
    EXPECT_EQ(int32_t(FILMIC), 7);
    EXPECT_EQ(int32_t(UNCHARTED2), 8);
}
