// The few pieces of OpenCV's C interface that the reader uses and that
// OpenCV 4 no longer ships. Each keeps the meaning it had.
#pragma once

#include <opencv2/core/core_c.h>
#include <opencv2/imgproc/imgproc_c.h>

// Value of bin idx of a one-dimensional histogram (formerly a macro of the
// histogram interface).
inline float cvQueryHistValue_1D(CvHistogram* hist, int idx) {
    return static_cast<float>(cvGetReal1D(hist->bins, idx));
}
