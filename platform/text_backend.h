// What each font engine (platform/<name>/text.cpp) does behind the argument rules of
// platform/text.cpp: here the face and the text are never null, nor the surface.
#pragma once

#include "platform/platform.h"

// Frees the engine's handles of the face and the record itself.
void releaseTextFace(TextFace* face);
bool measureFaceText(TextFace& face, const char* text, uint32_t& width, uint32_t& height);
bool drawFaceText(TextFace& face, const char* text, int32_t x, int32_t y, uint8_t* surface, uint32_t width,
                  uint32_t height);
