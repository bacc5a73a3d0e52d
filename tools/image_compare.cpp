// Picture comparison (see image_compare.h).
#include "tools/image_compare.h"

#include <cmath>

ImageDifference compareImages(const RgbaImage& a, const RgbaImage& b, uint32_t pixelThreshold)
{
    ImageDifference difference;
    difference.sameSize = a.width == b.width && a.height == b.height && a.pixels.count == b.pixels.count &&
                          a.pixels.count == uint64_t(a.width) * a.height * 4;
    uint64_t pixelCount = uint64_t(a.width) * a.height;
    if (!difference.sameSize || pixelCount == 0)
        return difference;
    uint64_t sum = 0, squares = 0;
    uint64_t over = 0;
    for (uint64_t i = 0; i < pixelCount; ++i) {
        uint32_t pixelLargest = 0;
        for (uint32_t channel = 0; channel < 3; ++channel) {
            int delta = int(a.pixels.data[i * 4 + channel]) - int(b.pixels.data[i * 4 + channel]);
            uint32_t size = uint32_t(delta < 0 ? -delta : delta);
            sum += size;
            squares += uint64_t(size) * size;
            pixelLargest = size > pixelLargest ? size : pixelLargest;
        }
        over += pixelLargest > pixelThreshold ? 1 : 0;
        difference.largest = pixelLargest > difference.largest ? pixelLargest : difference.largest;
    }
    difference.meanAbsolute = double(sum) / double(pixelCount * 3);
    difference.shareOverThreshold = double(over) / double(pixelCount);
    difference.psnr = 10.0 * std::log10(255.0 * 255.0 / (double(squares) / double(pixelCount * 3)));
    return difference;
}

bool withinTolerance(const ImageDifference& difference, const ImageTolerance& tolerance)
{
    return difference.sameSize && difference.shareOverThreshold <= tolerance.maxShareOverThreshold;
}
