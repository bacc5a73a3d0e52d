// The text calls' argument rules, the same for both font engines: a null face, text or
// surface is refused here, and the engine's own text.cpp does the work behind them.
#include "platform/text_backend.h"

void closeTextFace(TextFace*& face)
{
    if (!face)
        return;
    releaseTextFace(face);
    face = nullptr;
}

bool measureText(TextFace* face, const char* text, uint32_t& width, uint32_t& height)
{
    return face && text && measureFaceText(*face, text, width, height);
}

bool drawText(TextFace* face, const char* text, int32_t x, int32_t y, uint8_t* surface, uint32_t width,
              uint32_t height)
{
    return face && text && surface && drawFaceText(*face, text, x, y, surface, width, height);
}
