// Pixel sizes and upload footprints: the arithmetic of image uploads, no Vulkan calls.
#include "gfx/resources.h"

#include <algorithm>
#include <numeric>

uint32_t bytesPerPixel(uint32_t format)
{
    auto in = [format](uint32_t first, uint32_t last) { return format >= first && format <= last; };
    if (in(1, 4))
        return 16;
    if (in(5, 8))
        return 12;
    if (in(9, 22) || format == 102 || format == 108 || format == 109)
        return 8;
    if (in(23, 47) || in(67, 69) || in(87, 93) || format == 100 || format == 101 || format == 107)
        return 4;
    if (format == 104 || format == 105)
        return 3;
    if (in(48, 59) || format == 85 || format == 86 || format == 114 || format == 115)
        return 2;
    if (in(60, 65) || in(73, 78) || in(82, 84) || in(94, 99) || format == 103 || format == 106 || in(110, 113))
        return 1;
    return 0;
}

ImageFootprint imageFootprint(uint32_t width, uint32_t height, uint32_t format)
{
    uint64_t pixelBytes = bytesPerPixel(format);
    uint64_t rowSize = uint64_t(width) * pixelBytes;
    // Copies address rows in whole pixels, so the pitch is a multiple of 256 and of the pixel size.
    uint64_t unit = pixelBytes ? std::lcm(uint64_t(256), pixelBytes) : 256;
    uint64_t rowPitch = std::max<uint64_t>((rowSize + unit - 1) / unit * unit, unit);
    return {
        .rowPitch = rowPitch,
        .rowCount = height,
        .rowSize = rowSize,
        .totalBytes = height ? rowPitch * (height - 1) + rowSize : 0,
    };
}

uint64_t imageStagingBytes(uint32_t width, uint32_t height, uint32_t format)
{
    return align256(std::max<uint64_t>(align256(width) * height * bytesPerPixel(format), 256));
}
