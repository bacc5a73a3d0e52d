// Text on Windows: GDI measures and draws the title's face, antialiased, into a 32-bit DIB
// section. Knows nothing of images or the GPU.
#include "platform/text_backend.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

struct TextFace {
    HDC dc = nullptr;
    HFONT font = nullptr;
    HGDIOBJ previousFont = nullptr;
    HANDLE embeddedFont = nullptr; // the caller's face, private to this process
};

namespace {

// The face GDI is asked for; where it is not installed the system's font mapper picks a
// substitute (a FontSubstitutes entry may name the embedded face).
constexpr const wchar_t* titleFaceName = L"Corbel Light";

// Text as GDI takes it: UTF-16 code units and their count; chars is null when the heap
// refuses the copy.
struct WideText {
    std::unique_ptr<wchar_t[]> chars;
    int length = 0;
};

// Latin-1 bytes are the first 256 UTF-16 code units.
WideText widen(const char* text)
{
    size_t count = std::strlen(text);
    if (count > 0x7FFFFFFF)
        return {};
    WideText wide = {std::unique_ptr<wchar_t[]>(new (std::nothrow) wchar_t[count + 1]), int(count)};
    if (!wide.chars)
        return {};
    for (size_t i = 0; i < count; ++i)
        wide.chars[i] = wchar_t(static_cast<unsigned char>(text[i]));
    wide.chars[count] = 0;
    return wide;
}

} // namespace

TextFace* openTextFace(const void* fontBytes, size_t fontSize, uint32_t characterHeight)
{
    if (characterHeight == 0 || characterHeight > 0xFFFF)
        return nullptr;
    TextFace* face = new (std::nothrow) TextFace;
    if (!face)
        return nullptr;
    // The embedded face joins the process's private fonts; the mapper may pick it, nothing
    // else of the system sees it.
    if (fontBytes && fontSize > 0 && fontSize <= MAXDWORD) {
        DWORD fonts = 0;
        face->embeddedFont = AddFontMemResourceEx(const_cast<void*>(fontBytes), DWORD(fontSize), nullptr, &fonts);
    }
    LOGFONTW font = {};
    font.lfHeight = -LONG(characterHeight); // negative: the character height, not the cell
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = ANSI_CHARSET;
    font.lfQuality = ANTIALIASED_QUALITY;
    wcscpy(font.lfFaceName, titleFaceName);
    face->dc = CreateCompatibleDC(nullptr);
    face->font = face->dc ? CreateFontIndirectW(&font) : nullptr;
    if (!face->font) {
        closeTextFace(face);
        return nullptr;
    }
    face->previousFont = SelectObject(face->dc, face->font);
    return face;
}

void releaseTextFace(TextFace* face)
{
    if (face->previousFont)
        SelectObject(face->dc, face->previousFont);
    if (face->font)
        DeleteObject(face->font);
    if (face->dc)
        DeleteDC(face->dc);
    if (face->embeddedFont)
        RemoveFontMemResourceEx(face->embeddedFont);
    delete face;
}

bool measureFaceText(TextFace& face, const char* text, uint32_t& width, uint32_t& height)
{
    WideText wide = widen(text);
    if (!wide.chars)
        return false;
    SIZE extent = {};
    bool measured =
        GetTextExtentPoint32W(face.dc, wide.chars.get(), wide.length, &extent) && extent.cx >= 0 && extent.cy >= 0;
    if (!measured)
        return false;
    width = uint32_t(extent.cx);
    height = uint32_t(extent.cy);
    return true;
}

bool drawFaceText(TextFace& face, const char* text, int32_t x, int32_t y, uint8_t* surface, uint32_t width,
                  uint32_t height)
{
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return false;
    WideText wide = widen(text);
    if (!wide.chars)
        return false;

    // GDI draws into a DIB section of its own; the caller's pixels go in and come back out.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = LONG(width);
    info.bmiHeader.biHeight = -LONG(height); // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(face.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap)
            DeleteObject(bitmap);
        return false;
    }
    size_t bytes = size_t(width) * height * 4;
    std::memcpy(bits, surface, bytes);
    HGDIOBJ previousBitmap = SelectObject(face.dc, bitmap);
    SetBkMode(face.dc, TRANSPARENT);
    SetTextColor(face.dc, RGB(255, 255, 255));
    SetTextAlign(face.dc, TA_LEFT | TA_TOP);
    bool drawn = TextOutW(face.dc, x, y, wide.chars.get(), wide.length) != FALSE;
    GdiFlush();
    SelectObject(face.dc, previousBitmap);

    // Colour bytes only: the fourth byte of each pixel is the caller's.
    if (drawn) {
        const uint8_t* drawnPixels = static_cast<const uint8_t*>(bits);
        for (size_t i = 0; i < bytes; i += 4) {
            surface[i + 0] = drawnPixels[i + 0];
            surface[i + 1] = drawnPixels[i + 1];
            surface[i + 2] = drawnPixels[i + 2];
        }
    }
    DeleteObject(bitmap);
    return drawn;
}
