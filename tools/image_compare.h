// The tolerant comparison of a captured frame with its reference, as renderer test suites
// judge pictures: small differences everywhere (driver rounding) and large differences in a
// few pixels (a sample landing on another sphere) pass; a picture that changed does not.
#pragma once

#include "tools/png_file.h"

#include <cstdint>

struct ImageDifference {
    bool sameSize = false;
    double meanAbsolute = 0.0;       // mean |a - b| over R, G and B of every pixel, 0 .. 255
    double shareOverThreshold = 0.0; // share of pixels with a channel off by more than the threshold, 0 .. 1
    uint32_t largest = 0;            // the largest channel difference
};

struct ImageTolerance {
    uint32_t pixelThreshold = 16;       // a pixel counts as different above this (0 .. 255)
    double maxMeanAbsolute = 1.5;
    double maxShareOverThreshold = 0.01;
};

// Alpha is not compared: frames are opaque.
ImageDifference compareImages(const RgbaImage& a, const RgbaImage& b, uint32_t pixelThreshold);
// Same size, mean and share within the tolerance (the limits themselves pass).
bool withinTolerance(const ImageDifference& difference, const ImageTolerance& tolerance);
