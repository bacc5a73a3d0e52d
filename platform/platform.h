// The operating system as the rest of the program sees it. Implemented once per
// platform folder (platform/sdl on Linux); nothing above this header calls the OS.
#pragma once

#include <cstddef>
#include <cstdint>

// >>system services (no dependency on core: core's diagnostics stand on these)

// Hands a finished log line to the debugger's output channel, if there is one.
void debugOutput(const char* text);
bool isDebuggerAttached();
// Breakpoint trap, raised only while a debugger is attached (it would end the process otherwise).
void debugBreakIfAttached();
[[noreturn]] void exitProcess(int exitCode);

// Monotonic clock in milliseconds.
double nowMilliseconds();

// Creates or truncates the file and writes the bytes in one call.
enum class FileWriteResult { ok, openFailed, writeFailed };
FileWriteResult writeWholeFile(const char* path, const void* bytes, size_t size);

// >>text (the title's font engine: FreeType on Linux)

// One font face opened from the bytes of a font file at a character height in pixels
// (the em square, as a negative font height asks of GDI). Opaque to the callers.
struct TextFace;

// Null when the bytes hold no scalable face or the height cannot be set (0 included).
// The bytes must stay alive and unchanged until the face is closed.
TextFace* openTextFace(const void* fontBytes, size_t fontSize, uint32_t characterHeight);
void closeTextFace(TextFace*& face);

// Text is one byte a character (Latin-1). The extent of one line as GDI measures it: the
// glyphs' advance widths in whole pixels, summed without kerning, by the face's ascent +
// descent (its Windows metrics when it has them). False when a glyph cannot be loaded.
bool measureText(TextFace* face, const char* text, uint32_t& width, uint32_t& height);

// Draws one line antialiased in white onto a top-down surface of width x height pixels,
// 4 bytes a pixel (B, G, R, unused), with the top-left corner of its measured cell at
// (x, y). The background shows through (transparent mode): a glyph's coverage blends the
// colour bytes towards 255 and the fourth byte is left alone. Whatever falls outside the
// surface is clipped. False when a glyph cannot be loaded or rendered.
bool drawText(TextFace* face, const char* text, int32_t x, int32_t y, uint8_t* surface,
              uint32_t width, uint32_t height);
