// The comparison of a captured frame with its reference: how many pixels differ by more than
// a threshold, and whether that share stays within a limit.
#pragma once

#include "tools/png_file.h"

#include <cstdint>

struct ImageDifference {
    bool sameSize = false;
    double meanAbsolute = 0.0;       // mean |a - b| over R, G and B of every pixel, 0 .. 255
    double shareOverThreshold = 0.0; // share of pixels with a channel off by more than the threshold, 0 .. 1
    uint32_t largest = 0;            // the largest channel difference
    double psnr = 0.0;               // dB over R, G and B, peak 255; infinite for the same pixels
};

struct ImageTolerance {
    uint32_t pixelThreshold = 0;        // a pixel counts as different above this (0 .. 255)
    double maxShareOverThreshold = 0.0;
};

// Alpha is not compared: frames are opaque.
ImageDifference compareImages(const RgbaImage& a, const RgbaImage& b, uint32_t pixelThreshold);
// Same size and share within the tolerance (the limit itself passes).
bool withinTolerance(const ImageDifference& difference, const ImageTolerance& tolerance);
