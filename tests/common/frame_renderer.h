// Camera-like test frames: module matrices drawn into a gray or BGR frame
// with scale, rotation, perspective, blur and noise, dark on light, together
// with each symbol's true corners.
#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/types_c.h>

#include "symbol_fixtures.h"

// One symbol to draw. modules is rows x cols, row-major, 1 dark, 0 light,
// upright (solid finder along the left column and the bottom row).
struct SymbolPlacement {
    std::vector<unsigned char> modules;
    int rows = 0;
    int cols = 0;
    cv::Point2d center;           // pixel position of the symbol's centre
    double modulePixels = 5.0;    // module size at the centre, in pixels
    double rotationDegrees = 0;   // in-plane turn, clockwise on the screen
    double tiltXDegrees = 0;      // perspective: turn out of the picture about the vertical axis
    double tiltYDegrees = 0;      // perspective: turn out of the picture about the horizontal axis
    int quietModules = 2;         // light margin drawn around the symbol, in modules
};

// A fixture symbol centred at `center`, turned and tilted as given.
SymbolPlacement placeSymbol(const SymbolFixture& fixture, cv::Point2d center, double modulePixels,
                            double rotationDegrees = 0, double tiltXDegrees = 0,
                            double tiltYDegrees = 0);

struct FrameStyle {
    int width = 640;
    int height = 480;
    bool color = false;           // BGR (CV_8UC3) instead of gray (CV_8UC1)
    int dark = 40;                // gray value of dark modules
    int light = 210;              // gray value of light modules, quiet zone and background
    double blurSigma = 0.0;       // Gaussian blur, pixels; 0 for none
    double noiseSigma = 0.0;      // additive Gaussian noise, gray levels; 0 for none
    unsigned seed = 1;            // the noise is the same for the same seed
};

// The corners of one drawn symbol's module area (quiet zone excluded), in
// frame pixels, in the reader's corner order: 0 = far end of the left finder
// side (top-left of the upright symbol), 1 = the corner opposite the finder
// corner (top-right), 2 = far end of the bottom finder side (bottom-right),
// 3 = the finder corner (bottom-left). The reader may report 0 and 2 the
// other way round; matchesCorners accepts both.
using SymbolCorners = std::array<cv::Point2d, 4>;

struct RenderedFrame {
    cv::Mat image;
    std::vector<SymbolCorners> corners;  // one per placement, in the same order
};

// Draws the placements in order (later ones over earlier ones).
RenderedFrame renderFrame(const FrameStyle& style, const std::vector<SymbolPlacement>& symbols);

// True when every reported corner lies within tolerance pixels of the true
// one, in the reader's order or with corners 0 and 2 exchanged.
bool matchesCorners(const SymbolCorners& truth, const CvPoint reported[4], double tolerance);
