// The candidate the finder builds from a perfect outline of a symbol whose
// true corners are known: polygon vertices on the dark pixels nearest the
// corners, far ends moved inward by the finder's inset, the guessed timing
// sides parallel to the finder sides. Lets sampler tests and the read-rate
// harness start from the locator's best case.
#pragma once

#include <opencv2/core/core_c.h>

#include "frame_renderer.h"
#include "reader/reader_internal.h"

// leftFirst: the left finder side (top-left to bottom-left of the upright
// symbol) is finder side A. The far corner starts at the true one and is
// replaced by the crossing of the guessed sides; false when they do not
// cross (the true far corner stays).
bool candidateFromCorners(const IplImage* bilevel, const SymbolCorners& truth, bool leftFirst,
                          SymbolCandidate* candidate);
