// The title text through GDI. The prefix the tests run in maps "Corbel Light" to "Lato Light"
// (tests/win32/wine_run.sh), the face of the embedded font: its tables give the expected
// numbers (2000 units to the em, usWinAscent 1974, usWinDescent 426, advances T 1158, O 1583,
// L 1012, V 1311, E 1160 units). With another face only the face-free checks run.
#include "gfx/text.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The family GDI's font mapper picks for the title's font description (GetTextFace would
// give back the name asked for when a substitution applies).
std::wstring mappedFace(uint32_t characterHeight)
{
    HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTW font = {};
    font.lfHeight = -LONG(characterHeight);
    font.lfWeight = FW_NORMAL;
    font.lfQuality = ANTIALIASED_QUALITY;
    wcscpy(font.lfFaceName, L"Corbel Light");
    HFONT handle = CreateFontIndirectW(&font);
    HGDIOBJ previous = SelectObject(dc, handle);
    std::wstring name;
    UINT size = GetOutlineTextMetricsW(dc, 0, nullptr);
    if (size > 0) {
        std::vector<uint8_t> metrics(size);
        OUTLINETEXTMETRICW* outline = reinterpret_cast<OUTLINETEXTMETRICW*>(metrics.data());
        if (GetOutlineTextMetricsW(dc, size, outline))
            name = reinterpret_cast<const wchar_t*>(metrics.data() + size_t(outline->otmpFamilyName));
    }
    SelectObject(dc, previous);
    DeleteObject(handle);
    DeleteDC(dc);
    return name;
}

// While a face is open the embedded font is registered, so the mapper can pick it.
bool mapsToLato()
{
    TextFace* face = openTextFace(titleFontBytes, titleFontSize, 40);
    std::wstring name = mappedFace(40);
    closeTextFace(face);
    std::printf("GDI maps \"Corbel Light\" to \"%ls\"\n", name.c_str());
    return name == L"Lato Light";
}

} // namespace

TEST(GdiText, MeasuresTheAdvancesAndTheCell)
{
    if (!mapsToLato())
        GTEST_SKIP() << "the expected numbers are Lato Light's";
    // 40 px: 0.02 px a unit. Advances 23.16 + 31.66 + 20.24 + 26.22 + 23.20, each rounded:
    // 23 + 32 + 20 + 26 + 23 = 124. Cell: ascent 39.48 -> 39 plus descent 8.52 -> 9 = 48.
    TextFace* face = openTextFace(titleFontBytes, titleFontSize, 40);
    ASSERT_NE(face, nullptr);
    uint32_t width = 0;
    uint32_t height = 0;
    ASSERT_TRUE(measureText(face, "TOLVE", width, height));
    EXPECT_EQ(width, 124u);
    EXPECT_EQ(height, 48u);
    closeTextFace(face);
    EXPECT_EQ(face, nullptr);
}

TEST(GdiText, DrawsGreyCoverageClippedAndLeavesTheFourthByte)
{
    TextFace* face = openTextFace(titleFontBytes, titleFontSize, 40);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(openTextFace(titleFontBytes, titleFontSize, 0), nullptr);
    // A 40 x 20 surface between two guard runs of 64 pixels, text cell from (-30, -25).
    constexpr uint32_t width = 40;
    constexpr uint32_t height = 20;
    constexpr size_t guard = 64 * 4;
    std::vector<uint8_t> memory(guard + width * height * 4 + guard, 0x5A);
    uint8_t* surface = memory.data() + guard;
    for (size_t i = 0; i < width * height; ++i) {
        surface[i * 4 + 0] = surface[i * 4 + 1] = surface[i * 4 + 2] = 0;
        surface[i * 4 + 3] = 0x33;
    }
    ASSERT_TRUE(drawText(face, "TOLVE", -30, -25, surface, width, height));
    ASSERT_TRUE(drawText(face, "TOLVE", 1000, -1000, surface, width, height)); // wholly outside
    closeTextFace(face);

    for (size_t i = 0; i < guard; ++i) {
        ASSERT_EQ(memory[i], 0x5A) << "before the surface, byte " << i;
        ASSERT_EQ(memory[guard + width * height * 4 + i], 0x5A) << "after the surface, byte " << i;
    }
    int inked = 0;
    for (size_t i = 0; i < width * height; ++i) {
        const uint8_t* pixel = surface + i * 4;
        EXPECT_EQ(pixel[3], 0x33);
        EXPECT_EQ(pixel[0], pixel[1]); // white text, grey antialiasing
        EXPECT_EQ(pixel[1], pixel[2]);
        inked += pixel[0] != 0;
    }
    EXPECT_GT(inked, 20);
}

TEST(GdiText, TitleIsCentredWhiteCoverageInA3840x2160Image)
{
    DynamicArray<uint8_t> pixels;
    uint32_t width = 0;
    uint32_t height = 0;
    ASSERT_TRUE(rasteriseTitle(pixels, width, height));
    EXPECT_EQ(width, 3840u);
    EXPECT_EQ(height, 2160u);
    ASSERT_EQ(pixels.count, 3840u * 2160u * 4u);
    uint32_t left = UINT32_MAX, right = 0, top = UINT32_MAX, bottom = 0;
    bool white = true;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* pixel = pixels.data + (uint64_t(y) * width + x) * 4;
            white = white && pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255;
            if (pixel[3] == 0)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    pixels.clear();
    EXPECT_TRUE(white);
    ASSERT_LE(left, right);
    // Any face: the ink sits around the centre, far inside the image.
    EXPECT_NEAR((left + right + 1) / 2.0, width / 2.0, 20.0);
    EXPECT_NEAR((top + bottom + 1) / 2.0, height / 2.0, 20.0);
    if (!mapsToLato())
        GTEST_SKIP() << "the expected ink box is Lato Light's";
    // At 80 px (0.04 px a unit): text 247 x 96, cell at (1796, 1032), baseline 1111. T starts
    // 1.16 px in (column 1797), E ends at 1997 + 42.36 (column 2039); O rises to row 1053
    // and dips to row 1111. Hinting may move an edge by a pixel.
    EXPECT_NEAR(left, 1797, 1);
    EXPECT_NEAR(right, 2039, 1);
    EXPECT_NEAR(top, 1053, 1);
    EXPECT_NEAR(bottom, 1111, 1);
}
