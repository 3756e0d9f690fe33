// The symbol reader: finds DataMatrix (ECC 200) symbols in an 8-bit gray
// image and decodes them. One entry point, dmReadSymbols; it keeps nothing
// between calls.
#pragma once

#include <cstdint>

#include <opencv2/core/core_c.h>

// Option word bits.
constexpr int DM_GLOBAL_THRESHOLD = 1;    // one threshold: level if 0..255, else Otsu's
constexpr int DM_ADAPTIVE_THRESHOLD = 2;  // adaptive mean threshold, block size = level
constexpr int DM_ZOOM_CANDIDATES = 4;     // enlarge each candidate 2x before sampling
constexpr int DM_CHECK_CORRECTIONS = 8;   // reject symbols with more corrections than text/10

// Capacities.
constexpr int DM_MAX_CANDIDATES = 100;
constexpr int DM_MAX_RESULTS = 10;
constexpr int DM_TEXT_BYTES = 1600;

// One decoded symbol. Corners in pixels of the image read: 0 = far end of the
// first finder side, 1 = corner opposite the finder corner, 2 = far end of the
// second finder side, 3 = finder corner; joining them in order draws the
// outline. The text is NUL-terminated, bytes as decoded.
struct DecodedSymbol {
    CvPoint corners[4];
    char text[DM_TEXT_BYTES];
};
static_assert(sizeof(DecodedSymbol) == 1632, "DecodedSymbol is exchanged as a plain record");

// Reads up to DM_MAX_RESULTS symbols from an 8-bit single-channel image.
// results points to a table of DM_MAX_RESULTS records and count to the number
// found; both are written only at the very end of a successful call, and only
// when both are non-null. Returns 0 when the call ran to its end (found or
// not), -1 when an error was raised inside (bad image, even or too small
// adaptive block size, no memory); then results and *count are untouched.
// Level -1 with DM_GLOBAL_THRESHOLD uses Otsu's threshold.
int dmReadSymbols(IplImage* image, DecodedSymbol* results, int* count, int level, int options);
