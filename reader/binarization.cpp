// Binarization: the gray frame becomes the bi-level image the candidate
// finder and the sampler read, dark pixels 255 and light pixels 0, so that
// the symbol's dark modules (above all its solid finder L) are the white
// regions whose outlines are traced.
#include <cstdint>

#include <opencv2/core/core_c.h>
#include <opencv2/imgproc/imgproc_c.h>

#include "reader/opencv_compat.h"
#include "reader/reader_internal.h"

namespace {

constexpr int kGrayLevels = 256;      // histogram bins, one per gray value
constexpr uint32_t kMaxFixedLevel = 255;  // larger levels (and negative ones) ask for Otsu's
constexpr double kDarkValue = 255.0;  // value of a dark pixel in the bi-level image
constexpr double kAdaptiveOffset = 0.0;

// Reject what the thresholds would otherwise accept or misread: a 16-bit or
// float image passes cvThreshold with a fixed level and would be quietly
// binarized at a meaningless scale.
void requireGray8(const IplImage* image) {
    if (image == nullptr) {
        cvError(CV_StsNullPtr, "dmBinarize", "no image", __FILE__, __LINE__);
    }
    if (image->depth != IPL_DEPTH_8U || image->nChannels != 1) {
        cvError(CV_StsUnsupportedFormat, "dmBinarize", "the image must be 8-bit single-channel",
                __FILE__, __LINE__);
    }
}

// Block sizes far beyond the image make the mean filter pad the image by
// half the block on every side: a level near 2^31 asks for gigabytes and
// minutes. Past twice the image's larger side every block already covers the
// whole image from every pixel, so nothing useful is refused.
void requireSensibleBlock(const IplImage* image, int level) {
    const int64_t largest = image->width > image->height ? image->width : image->height;
    if (level > 2 * largest + 1) {
        cvError(CV_StsOutOfRange, "dmBinarize", "adaptive block size larger than the image allows",
                __FILE__, __LINE__);
    }
}

}  // namespace

int dmOtsuThreshold(IplImage* image) {
    int bins = kGrayLevels;
    float range[] = {0.0f, static_cast<float>(kGrayLevels)};
    float* ranges[] = {range};
    CvHistogram* hist = cvCreateHist(1, &bins, CV_HIST_ARRAY, ranges, 1);

    int32_t h[kGrayLevels];
    try {
        cvSetImageROI(image, cvRect(0, 0, image->width, image->height));
        cvCalcHist(&image, hist, 0, nullptr);
        cvResetImageROI(image);
        for (int g = 0; g < kGrayLevels; ++g) {
            h[g] = static_cast<int32_t>(cvQueryHistValue_1D(hist, g));
        }
    } catch (...) {
        cvResetImageROI(image);
        cvReleaseHist(&hist);
        throw;
    }
    cvReleaseHist(&hist);

    // 64-bit sums: the sum of gray values overflows 32 bits past about
    // 8.4 million pixels, and every frame below that gives the same result.
    int64_t total = 0;
    int64_t sumAll = 0;
    for (int g = 0; g < kGrayLevels; ++g) {
        total += h[g];
        sumAll += static_cast<int64_t>(g) * h[g];
    }

    float best = -1.0f;
    int bestT = 0;
    int64_t wB = 0;
    int64_t sumB = 0;
    for (int t = 0; t < kGrayLevels; ++t) {
        wB += h[t];
        sumB += static_cast<int64_t>(t) * h[t];
        const float omega = static_cast<float>(wB) / static_cast<float>(total);
        const float muB = wB > 0 ? static_cast<float>(sumB) / static_cast<float>(wB) : 0.0f;
        const int64_t wF = total - wB;
        const float muF =
            wF > 0 ? static_cast<float>(sumAll - sumB) / static_cast<float>(wF) : 0.0f;
        const float diff = muB - muF;
        const float variance = omega * (1.0f - omega) * (diff * diff);
        if (variance > best) {
            best = variance;
            bestT = t;
        }
    }
    return bestT;
}

void dmBinarize(IplImage* image, int level, int options, ReaderContext* context) {
    requireGray8(image);
    context->bilevel = cvCreateImage(cvGetSize(image), IPL_DEPTH_8U, 1);

    if ((options & (DM_GLOBAL_THRESHOLD | DM_ADAPTIVE_THRESHOLD)) == 0) {
        // No threshold asked for: an empty bi-level image, so nothing is found.
        cvSetZero(context->bilevel);
    }
    if (options & DM_GLOBAL_THRESHOLD) {
        const int t = static_cast<uint32_t>(level) <= kMaxFixedLevel ? level : dmOtsuThreshold(image);
        cvThreshold(image, context->bilevel, t, kDarkValue, CV_THRESH_BINARY_INV);
    }
    if (options & DM_ADAPTIVE_THRESHOLD) {
        requireSensibleBlock(image, level);
        cvAdaptiveThreshold(image, context->bilevel, kDarkValue, CV_ADAPTIVE_THRESH_MEAN_C,
                            CV_THRESH_BINARY_INV, level, kAdaptiveOffset);
        context->adaptiveMode = 1;
    }
    if (options & DM_ZOOM_CANDIDATES) {
        context->zoomMode = 1;
    }
}
