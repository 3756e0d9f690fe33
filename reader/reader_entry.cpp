// Reader entry: one call owns one working context, runs the stages in order
//   binarization -> candidate finder -> per candidate: analysis, sampling,
//   decoding
// and copies the result table out only once everything has run, so that a
// failed call leaves the caller's table and count as they were.
#include <cstdlib>
#include <cstring>
#include <new>

#include <opencv2/core/core_c.h>

#include "reader/reader_internal.h"

namespace {

constexpr int kDefaultStorageBlock = 0;  // OpenCV's default block size

}  // namespace

ReaderContext* dmCreateContext() {
    // Cleared as a whole: entries beyond the counts are never read, but the
    // table the caller receives is then the same bytes for the same image.
    void* block = std::calloc(1, sizeof(ReaderContext));
    if (block == nullptr) throw std::bad_alloc();
    ReaderContext* context = static_cast<ReaderContext*>(block);
    context->bilevel = nullptr;
    context->zoomed = nullptr;
    context->sampled = nullptr;
    context->polygons = nullptr;
    context->candidateCount = 0;
    context->resultCount = 0;
    context->adaptiveMode = 0;
    context->zoomMode = 0;
    try {
        context->storage = cvCreateMemStorage(kDefaultStorageBlock);
    } catch (...) {
        std::free(context);
        throw;
    }
    return context;
}

void dmDestroyContext(ReaderContext* context) {
    if (context == nullptr) return;
    if (context->bilevel != nullptr) cvReleaseImage(&context->bilevel);
    if (context->zoomed != nullptr) cvReleaseImage(&context->zoomed);
    if (context->storage != nullptr) cvReleaseMemStorage(&context->storage);
    std::free(context);
}

void dmLocateAndDecode(IplImage* image, DecodedSymbol* results, int* count, int level, int options,
                       ReaderContext* context) {
    context->options = options;
    dmBinarize(image, level, options, context);
    dmFindCandidates(image, context);
    for (int i = 0; i < context->candidateCount; ++i) {
        dmAnalyzeCandidate(context, i);
        if (context->zoomMode == 1 && context->zoomed != nullptr) {
            cvReleaseImage(&context->zoomed);
        }
        if (context->resultCount >= DM_MAX_RESULTS) break;
    }
    if (results != nullptr && count != nullptr) {
        std::memcpy(results, context->results, sizeof(context->results));
        *count = context->resultCount;
    }
}

int dmReadSymbols(IplImage* image, DecodedSymbol* results, int* count, int level, int options) {
    ReaderContext* context = nullptr;
    try {
        context = dmCreateContext();
        dmLocateAndDecode(image, results, count, level, options, context);
    } catch (...) {
        dmDestroyContext(context);
        return -1;
    }
    dmDestroyContext(context);
    return 0;
}
