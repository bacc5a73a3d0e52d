// WAVE writer for the exported soundtrack.
#include "audio/wav.h"

#include <cstring>

namespace {

constexpr uint32_t headerBytes = 58;

struct Writer {
    uint8_t* at;
    void bytes(const char* text, uint32_t count)
    {
        std::memcpy(at, text, count);
        at += count;
    }
    // RIFF numbers are little-endian whatever the machine.
    void u16(uint32_t value)
    {
        for (int i = 0; i < 2; ++i)
            *at++ = uint8_t(value >> (8 * i));
    }
    void u32(uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            *at++ = uint8_t(value >> (8 * i));
    }
};

} // namespace

DynamicArray<uint8_t> makeFloatWav(const float* samples, uint32_t frames, uint32_t channels, uint32_t sampleRate)
{
    DynamicArray<uint8_t> file;
    uint64_t dataBytes = uint64_t(frames) * channels * 4;
    if (channels == 0 || headerBytes + dataBytes > 0xFFFFFFFFull)
        return file;
    file.reserve(headerBytes + dataBytes);
    Writer out{file.data};
    out.bytes("RIFF", 4);
    out.u32(uint32_t(headerBytes - 8 + dataBytes));
    out.bytes("WAVE", 4);
    out.bytes("fmt ", 4);
    out.u32(18);
    out.u16(3); // IEEE float
    out.u16(channels);
    out.u32(sampleRate);
    out.u32(sampleRate * channels * 4); // bytes per second
    out.u16(channels * 4);              // bytes per frame
    out.u16(32);
    out.u16(0); // no extension
    out.bytes("fact", 4);
    out.u32(4);
    out.u32(frames);
    out.bytes("data", 4);
    out.u32(uint32_t(dataBytes));
    // The samples' bytes as they are: little-endian floats on every machine we build for.
    std::memcpy(out.at, samples, dataBytes);
    file.count = headerBytes + dataBytes;
    return file;
}
