// The platform's font engine: GDI-style measurement and clipped, transparent drawing.
#include "gfx/text.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <vector>

TEST(TextDrawing, MeasuresAdvancesAndTheWindowsCell)
{
    // Lato Light at 40 pixels, 0.02 px a unit: advances 23.16 + 31.66 + 20.24 + 26.22 + 23.20
    // rounded each: 23 + 32 + 20 + 26 + 23 = 124. Ascent 1974 -> 39.48 -> 39, descent 426 ->
    // 8.52 -> 9: 48. Kerning would pull "TO" and "LV" together; GDI does not apply it.
    TextFace* face = openTextFace(titleFontBytes, titleFontSize, 40);
    ASSERT_NE(face, nullptr);
    uint32_t width = 0;
    uint32_t height = 0;
    ASSERT_TRUE(measureText(face, "TOLVE", width, height));
    EXPECT_EQ(width, 124u);
    EXPECT_EQ(height, 48u);
    ASSERT_TRUE(measureText(face, "", width, height));
    EXPECT_EQ(width, 0u);
    EXPECT_EQ(height, 48u);
    closeTextFace(face);
    EXPECT_EQ(face, nullptr);
}

TEST(TextDrawing, ClipsAtTheSurfaceEdgesAndLeavesTheFourthByte)
{
    TextFace* face = openTextFace(titleFontBytes, titleFontSize, 40);
    ASSERT_NE(face, nullptr);

    // A 40 x 20 surface between two guard runs of 64 pixels.
    constexpr uint32_t width = 40;
    constexpr uint32_t height = 20;
    constexpr size_t guard = 64 * 4;
    std::vector<uint8_t> memory(guard + width * height * 4 + guard, 0x5A);
    uint8_t* surface = memory.data() + guard;
    for (size_t i = 0; i < width * height; ++i) {
        surface[i * 4 + 0] = surface[i * 4 + 1] = surface[i * 4 + 2] = 0;
        surface[i * 4 + 3] = 0x33;
    }

    // Cell at (-30, -25): baseline at row 14, capitals 28 px tall from row -14; the T ends
    // left of column -6 and the O, from about column -5, crosses the surface's top-left.
    ASSERT_TRUE(drawText(face, "TOLVE", -30, -25, surface, width, height));
    // Wholly outside: nothing to draw, and still no failure.
    ASSERT_TRUE(drawText(face, "TOLVE", 1000, -1000, surface, width, height));
    closeTextFace(face);

    for (size_t i = 0; i < guard; ++i) {
        ASSERT_EQ(memory[i], 0x5A) << "before the surface, byte " << i;
        ASSERT_EQ(memory[guard + width * height * 4 + i], 0x5A) << "after the surface, byte " << i;
    }
    int inked = 0;
    for (size_t i = 0; i < width * height; ++i) {
        const uint8_t* pixel = surface + i * 4;
        EXPECT_EQ(pixel[3], 0x33);
        // White text in grey antialiasing: the three colour bytes agree.
        EXPECT_EQ(pixel[0], pixel[1]);
        EXPECT_EQ(pixel[1], pixel[2]);
        inked += pixel[0] != 0;
    }
    EXPECT_GT(inked, 20);
    // Row 14 begins at the baseline and only the O dips into it (0.3 px); below, no ink.
    for (uint32_t y = 15; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            EXPECT_EQ(surface[(y * width + x) * 4], 0) << x << ", " << y;
}
