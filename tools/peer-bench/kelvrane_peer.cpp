#include <chrono>

#include "peer_readers.h"
#include "read_tool.h"

#include "reader/reader_internal.h"

std::vector<std::string> readWithKelvrane(const cv::Mat& gray) {
    IplImage view = cvIplImage(gray);
    FrameReading reading;
    readFrame(&view, &reading);
    std::vector<std::string> texts;
    for (int i = 0; i < reading.count; ++i) texts.push_back(symbolText(reading.symbols[i]));
    return texts;
}

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point* mark) {
    const Clock::time_point now = Clock::now();
    const double ms = std::chrono::duration<double, std::milli>(now - *mark).count();
    *mark = now;
    return ms;
}

// One reader call, stage by stage, in the entry's own order; returns the
// number of symbols decoded.
int profiledPass(IplImage* image, int level, int options, StageTimes* times) {
    ReaderContext* context = dmCreateContext();
    int found = 0;
    try {
        const int pass = times->passes;
        Clock::time_point mark = Clock::now();
        context->options = options;
        dmBinarize(image, level, options, context);
        times->binarize[pass] = millisecondsSince(&mark);
        dmFindCandidates(image, context);
        times->candidates[pass] = millisecondsSince(&mark);
        times->candidateCount[pass] = context->candidateCount;
        for (int i = 0; i < context->candidateCount; ++i) {
            dmAnalyzeCandidate(context, i);
            if (context->zoomMode == 1 && context->zoomed) cvReleaseImage(&context->zoomed);
            if (context->resultCount >= DM_MAX_RESULTS) break;
        }
        times->analysis[pass] = millisecondsSince(&mark);
        found = context->resultCount;
    } catch (...) {
        found = 0;
    }
    dmDestroyContext(context);
    ++times->passes;
    return found;
}

}  // namespace

bool profileKelvraneStages(const cv::Mat& gray, StageTimes* times) {
    IplImage view = cvIplImage(gray);
    *times = StageTimes();
    if (profiledPass(&view, -1, DM_GLOBAL_THRESHOLD | DM_ZOOM_CANDIDATES | DM_CHECK_CORRECTIONS,
                     times) <= 0) {
        profiledPass(&view, 15, DM_ADAPTIVE_THRESHOLD | DM_ZOOM_CANDIDATES | DM_CHECK_CORRECTIONS,
                     times);
    }
    return true;
}
