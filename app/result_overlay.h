// Draws decoded symbols onto a colour frame: a red outline per symbol and its
// text in black on a white band at the top left, one band per symbol. Sizes
// follow the frame's width, so the overlay looks the same at any resolution.
// Used by the live window and by kelvrane-read --annotate.
#pragma once

#include "reader/reader.h"

// frame: 8-bit, 3 channels (blue, green, red). Draws results[0 .. count-1].
void drawResults(IplImage* frame, const DecodedSymbol* results, int count);
