// dmReadSymbols per frame, on the frames the application meets:
//   one 20 x 20 symbol at 5 px/module in 640 x 480 (the Otsu pass alone),
//   a frame where the Otsu pass finds nothing and the adaptive pass reads it
//   (both passes, as the frame loop runs them),
//   an empty 640 x 480 frame (both passes),
//   ten symbols in 1280 x 720 (the Otsu pass).
// The Stage benchmarks time binarization, and binarization plus the
// candidate search, on the same frames; analysis, sampling and decoding are
// the rest of a pass. Every frame is checked once before it is timed.
#include <malloc.h>

#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

#include "frame_renderer.h"
#include "reader/reader.h"
#include "reader/reader_internal.h"
#include "symbol_fixtures.h"

namespace {

constexpr int kOtsuLevel = -1, kOtsuOptions = 13;
constexpr int kAdaptiveLevel = 15, kAdaptiveOptions = 14;

FrameStyle cameraStyle(int width, int height) {
    FrameStyle style;
    style.width = width;
    style.height = height;
    style.blurSigma = 0.7;
    style.noiseSigma = 3;
    return style;
}

cv::Mat oneSymbol() {
    return renderFrame(cameraStyle(640, 480), {placeSymbol(symbolFixture("zint-20x20"), {320, 240}, 5, 20, 10)}).image;
}

// A faint symbol beside a black object: Otsu's threshold falls between the
// black and everything else, so the first pass sees no symbol; the local
// mean still does.
cv::Mat faintBesideBlack() {
    FrameStyle style = cameraStyle(640, 480);
    style.dark = 150;
    cv::Mat frame = renderFrame(style, {placeSymbol(symbolFixture("zint-20x20"), {440, 240}, 5, 20, 10)}).image;
    cv::rectangle(frame, cv::Rect(0, 0, 260, 480), cv::Scalar(5), cv::FILLED);
    return frame;
}

cv::Mat emptyFrame() { return renderFrame(cameraStyle(640, 480), {}).image; }

cv::Mat tenSymbols() {
    const char* names[] = {"zint-16x16", "zint-18x18", "zint-20x20", "zint-22x22", "zint-24x24",
                           "zint-26x26", "dmtx-c40",   "dmtx-text",  "zint-8x18",  "zint-12x26"};
    std::vector<SymbolPlacement> placements;
    for (int i = 0; i < 10; ++i) {
        placements.push_back(
            placeSymbol(symbolFixture(names[i]), {128.0 + 256 * (i % 5), 180.0 + 360 * (i / 5)}, 6, 10.0 * i, 0));
    }
    return renderFrame(cameraStyle(1280, 720), placements).image;
}

int readPass(cv::Mat& gray, int level, int options) {
    IplImage ipl = cvIplImage(gray);
    DecodedSymbol results[DM_MAX_RESULTS];
    int count = 0;
    if (dmReadSymbols(&ipl, results, &count, level, options) != 0) return -1;
    return count;
}

// The frame loop's cycle: the adaptive pass only when the Otsu pass found nothing.
int readCycle(cv::Mat& gray) {
    const int found = readPass(gray, kOtsuLevel, kOtsuOptions);
    return found > 0 ? found : readPass(gray, kAdaptiveLevel, kAdaptiveOptions);
}

struct Frame {
    const char* name;
    cv::Mat (*make)();
    int otsuFinds;   // symbols the Otsu pass must read
    int cycleFinds;  // symbols the whole cycle must read
};
const Frame kFrames[] = {
    {"OneSymbol640x480", oneSymbol, 1, 1},
    {"FaintBesideBlack640x480", faintBesideBlack, 0, 1},
    {"Empty640x480", emptyFrame, 0, 0},
    {"TenSymbols1280x720", tenSymbols, 10, 10},
};

bool check(benchmark::State& state, cv::Mat& gray, const Frame& frame) {
    const int otsu = readPass(gray, kOtsuLevel, kOtsuOptions);
    const int cycle = readCycle(gray);
    if (otsu != frame.otsuFinds || cycle != frame.cycleFinds) {
        const std::string message = std::string(frame.name) + ": Otsu pass read " +
                                    std::to_string(otsu) + ", cycle read " + std::to_string(cycle);
        state.SkipWithError(message.c_str());
        return false;
    }
    return true;
}

// Heap in use after many more cycles, against after the first few: the
// reader releases everything it allocates, so nothing may grow per frame.
double heapGrowth(cv::Mat& gray) {
    for (int i = 0; i < 5; ++i) readCycle(gray);
    const size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 100; ++i) readCycle(gray);
    const size_t after = mallinfo2().uordblks;
    return static_cast<double>(after) - static_cast<double>(before);
}

void otsuPass(benchmark::State& state, const Frame* frame) {
    cv::Mat gray = frame->make();
    if (!check(state, gray, *frame)) return;
    for (auto _ : state) benchmark::DoNotOptimize(readPass(gray, kOtsuLevel, kOtsuOptions));
    state.counters["heapGrowthBytes"] = heapGrowth(gray);
}

void cycle(benchmark::State& state, const Frame* frame) {
    cv::Mat gray = frame->make();
    if (!check(state, gray, *frame)) return;
    for (auto _ : state) benchmark::DoNotOptimize(readCycle(gray));
    state.counters["heapGrowthBytes"] = heapGrowth(gray);
}

// Binarization alone (withCandidates false) or with the candidate search.
void locatorStages(benchmark::State& state, const Frame* frame, bool withCandidates) {
    cv::Mat gray = frame->make();
    IplImage ipl = cvIplImage(gray);
    for (auto _ : state) {
        ReaderContext* context = dmCreateContext();
        dmBinarize(&ipl, kOtsuLevel, kOtsuOptions, context);
        if (withCandidates) dmFindCandidates(&ipl, context);
        benchmark::DoNotOptimize(context->candidateCount);
        dmDestroyContext(context);
    }
}

void registerAll() {
    for (const Frame& frame : kFrames) {
        const std::string name = frame.name;
        benchmark::RegisterBenchmark(("Read/OtsuPass/" + name).c_str(), otsuPass, &frame)
            ->Unit(benchmark::kMillisecond);
        if (frame.otsuFinds == 0) {
            benchmark::RegisterBenchmark(("Read/BothPasses/" + name).c_str(), cycle, &frame)
                ->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark(("Stage/Binarize/" + name).c_str(), locatorStages, &frame,
                                     false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Stage/BinarizeAndCandidates/" + name).c_str(),
                                     locatorStages, &frame, true)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
