// Text on Linux: FreeType opens the embedded face from memory, measures a line the way GDI
// does and draws it antialiased onto a 32-bit surface. Knows nothing of images or the GPU.
#include "platform/text_backend.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cstdlib>
#include <new>

struct TextFace {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    uint32_t ascent = 0;  // pixels above the baseline in the cell
    uint32_t descent = 0; // pixels below it
};

namespace {

// Hinted outlines rendered to 8-bit coverage; embedded bitmap strikes would bypass the
// antialiasing, so they are never used.
constexpr FT_Int32 glyphLoadFlags = FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP;

// Font units to whole pixels at the face's size, rounded to nearest.
uint32_t unitsToPixels(FT_Face face, uint32_t units)
{
    uint64_t scaled = uint64_t(units) * face->size->metrics.y_ppem;
    return uint32_t((scaled + face->units_per_EM / 2) / face->units_per_EM);
}

bool loadGlyph(FT_Face face, char character)
{
    FT_UInt glyphIndex = FT_Get_Char_Index(face, FT_ULong(static_cast<unsigned char>(character)));
    return FT_Load_Glyph(face, glyphIndex, glyphLoadFlags) == 0;
}

// The advance GDI steps by: the hinted advance in whole pixels.
int64_t glyphAdvance(FT_Face face)
{
    return (int64_t(face->glyph->advance.x) + 32) >> 6;
}

// Blends white over the surface with coverage 0-255, as transparent text output does.
void blendWhite(uint8_t* pixel, uint8_t coverage)
{
    for (int channel = 0; channel < 3; ++channel) {
        uint32_t value = pixel[channel];
        pixel[channel] = uint8_t(value + ((255 - value) * coverage + 127) / 255);
    }
}

void blitGlyph(const FT_Bitmap& bitmap, int64_t left, int64_t top, uint8_t* surface,
               uint32_t width, uint32_t height)
{
    // A negative pitch means rows flow upwards from the start of the buffer.
    const uint8_t* firstRow = bitmap.buffer;
    if (bitmap.pitch < 0)
        firstRow -= int64_t(bitmap.pitch) * (int64_t(bitmap.rows) - 1);
    for (int64_t row = 0; row < int64_t(bitmap.rows); ++row) {
        int64_t y = top + row;
        if (y < 0 || y >= int64_t(height))
            continue;
        const uint8_t* coverage = firstRow + row * bitmap.pitch;
        for (int64_t column = 0; column < int64_t(bitmap.width); ++column) {
            int64_t x = left + column;
            if (x < 0 || x >= int64_t(width) || coverage[column] == 0)
                continue;
            blendWhite(surface + (uint64_t(y) * width + uint64_t(x)) * 4, coverage[column]);
        }
    }
}

} // namespace

TextFace* openTextFace(const void* fontBytes, size_t fontSize, uint32_t characterHeight)
{
    if (!fontBytes || fontSize == 0 || characterHeight == 0 || characterHeight > 0xFFFF)
        return nullptr;
    TextFace* text = new (std::nothrow) TextFace;
    if (!text)
        return nullptr;
    bool opened = FT_Init_FreeType(&text->library) == 0 &&
                  FT_New_Memory_Face(text->library, static_cast<const FT_Byte*>(fontBytes),
                                     FT_Long(fontSize), 0, &text->face) == 0 &&
                  FT_IS_SCALABLE(text->face) && text->face->units_per_EM > 0 &&
                  FT_Set_Pixel_Sizes(text->face, 0, characterHeight) == 0;
    if (!opened) {
        closeTextFace(text);
        return nullptr;
    }

    // GDI's cell is the Windows ascent and descent; faces without them fall back to hhea.
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(text->face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF) {
        text->ascent = unitsToPixels(text->face, os2->usWinAscent);
        text->descent = unitsToPixels(text->face, os2->usWinDescent);
    } else {
        text->ascent = unitsToPixels(text->face, uint32_t(std::abs(text->face->ascender)));
        text->descent = unitsToPixels(text->face, uint32_t(std::abs(text->face->descender)));
    }
    return text;
}

void releaseTextFace(TextFace* face)
{
    if (face->face)
        FT_Done_Face(face->face);
    if (face->library)
        FT_Done_FreeType(face->library);
    delete face;
}

bool measureFaceText(TextFace& face, const char* text, uint32_t& width, uint32_t& height)
{
    int64_t advance = 0;
    for (const char* character = text; *character; ++character) {
        if (!loadGlyph(face.face, *character))
            return false;
        advance += glyphAdvance(face.face);
    }
    if (advance < 0 || advance > int64_t(UINT32_MAX))
        return false;
    width = uint32_t(advance);
    height = face.ascent + face.descent;
    return true;
}

bool drawFaceText(TextFace& face, const char* text, int32_t x, int32_t y, uint8_t* surface, uint32_t width,
                  uint32_t height)
{
    int64_t penX = x;
    int64_t baseline = int64_t(y) + face.ascent;
    for (const char* character = text; *character; ++character) {
        if (!loadGlyph(face.face, *character))
            return false;
        FT_GlyphSlot glyph = face.face->glyph;
        if (FT_Render_Glyph(glyph, FT_RENDER_MODE_NORMAL) != 0)
            return false;
        bool empty = glyph->bitmap.rows == 0 || glyph->bitmap.width == 0;
        if (!empty && glyph->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
            return false;
        blitGlyph(glyph->bitmap, penX + glyph->bitmap_left, baseline - glyph->bitmap_top, surface,
                  width, height);
        penX += glyphAdvance(face.face);
    }
    return true;
}
