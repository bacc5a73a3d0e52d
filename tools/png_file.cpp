// PNG files through libpng's simplified interface (see png_file.h).
#include "tools/png_file.h"

#include "system/system.h"

#include <png.h>

bool writePng(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height)
{
    if (!rgba || width == 0 || height == 0)
        return false;
    DynamicArray<uint8_t> rgb;
    uint64_t pixelCount = uint64_t(width) * height;
    rgb.reserve(pixelCount * 3 + 1);
    if (!rgb.data)
        return false;
    for (uint64_t i = 0; i < pixelCount; ++i) {
        rgb.data[i * 3 + 0] = rgba[i * 4 + 0];
        rgb.data[i * 3 + 1] = rgba[i * 4 + 1];
        rgb.data[i * 3 + 2] = rgba[i * 4 + 2];
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGB;
    // Encoded in memory, then written whole through the system layer: a frame already there
    // is replaced by a complete one or left as it was.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    DynamicArray<uint8_t> file;
    file.reserve(size + 1);
    bool written = file.data && png_image_write_to_memory(&image, file.data, &size, 0, rgb.data, 0, nullptr) != 0 &&
                   writeWholeFile(path, file.data, size) == FileWriteResult::Ok;
    png_image_free(&image);
    file.clear();
    rgb.clear();
    return written;
}

bool readPng(const char* path, RgbaImage& image)
{
    freeImage(image);
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path))
        return false;
    png.format = PNG_FORMAT_RGBA;
    uint64_t bytes = PNG_IMAGE_SIZE(png);
    image.pixels.reserve(bytes + 1);
    if (!image.pixels.data || !png_image_finish_read(&png, nullptr, image.pixels.data, 0, nullptr)) {
        png_image_free(&png);
        freeImage(image);
        return false;
    }
    image.pixels.count = bytes;
    image.width = png.width;
    image.height = png.height;
    return true;
}
