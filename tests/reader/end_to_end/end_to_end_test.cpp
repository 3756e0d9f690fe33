// Whole frames end to end: real symbols rendered into camera-like frames and
// read with the application's two passes, each on its own: Otsu's threshold
// (options 13, level -1) and the adaptive threshold (options 14, level 15).
// Every symbol must come back with its text and its corners within one
// module of the true ones.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/imgproc/imgproc_c.h>

#include "frame_renderer.h"
#include "reader/reader.h"
#include "symbol_fixtures.h"

namespace {

struct Pass {
    const char* name;
    int level, options;
};
const Pass kPasses[] = {{"Otsu pass", -1, 13}, {"adaptive pass", 15, 14}};

SymbolPlacement place(const SymbolFixture& f, cv::Point2d center, double modulePixels,
                      double rotation, double tiltX = 0, double tiltY = 0) {
    SymbolPlacement p;
    p.modules = f.modules;
    p.rows = f.rows;
    p.cols = f.cols;
    p.center = center;
    p.modulePixels = modulePixels;
    p.rotationDegrees = rotation;
    p.tiltXDegrees = tiltX;
    p.tiltYDegrees = tiltY;
    return p;
}

// The frame the application hands to the reader: BGR frames are turned gray
// first, as the frame loop does.
cv::Mat grayOf(const cv::Mat& frame) {
    if (frame.channels() == 1) return frame;
    cv::Mat gray(frame.size(), CV_8UC1);
    IplImage from = cvIplImage(frame);
    IplImage to = cvIplImage(gray);
    cvCvtColor(&from, &to, CV_BGR2GRAY);
    return gray;
}

// Reads the frame with one pass and checks that every placed symbol is
// among the results, with its text and corners within one module.
void expectAllRead(const RenderedFrame& frame, const std::vector<SymbolPlacement>& placements,
                   const std::vector<const SymbolFixture*>& fixtures, const Pass& pass) {
    SCOPED_TRACE(pass.name);
    cv::Mat gray = grayOf(frame.image);
    IplImage ipl = cvIplImage(gray);
    DecodedSymbol results[DM_MAX_RESULTS];
    int count = 0;
    ASSERT_EQ(dmReadSymbols(&ipl, results, &count, pass.level, pass.options), 0);
    for (size_t s = 0; s < placements.size(); ++s) {
        bool read = false;
        for (int r = 0; r < count && !read; ++r) {
            read = fixtures[s]->text == results[r].text &&
                   matchesCorners(frame.corners[s], results[r].corners, placements[s].modulePixels);
        }
        EXPECT_TRUE(read) << fixtures[s]->name << " not read (" << count << " results)";
    }
}

struct Scene {
    std::string fixture;
    double modulePixels, rotation, tiltX, tiltY;
    double blur, noise;
};

std::string describe(const Scene& s) {
    return testing::PrintToString(s.fixture) + " at " + std::to_string(s.modulePixels) +
           " px/module, turned " + std::to_string(s.rotation) + ", tilted " +
           std::to_string(s.tiltX) + "/" + std::to_string(s.tiltY);
}

// One symbol per frame, across the envelope the application meets: 3 to 8
// pixels per module, any rotation, perspective up to 25 degrees, mild blur
// and noise.
TEST(EndToEnd, SingleSymbolsAcrossTheEnvelope) {
    const Scene scenes[] = {
        {"dmtx-ascii-10x10", 8, 0, 0, 0, 0.6, 2},
        {"zint-10x10", 6, 45, 20, 0, 0.8, 3},
        {"zint-12x12", 5, 200, 0, -25, 0.7, 3},
        {"dmtx-ascii-16x16", 4, 300, 15, 15, 0.7, 4},
        {"zint-20x20", 5, 17, 25, 0, 0.8, 3},
        {"zint-20x20", 3, 95, 0, 0, 0.5, 2},
        {"dmtx-c40", 5, 160, -20, 10, 0.7, 3},
        {"dmtx-text", 4, 250, 0, 20, 0.7, 3},
        {"zint-32x32", 5, 330, -15, -15, 0.8, 3},
        {"dmtx-ascii-44x44", 4, 120, 20, 0, 0.7, 3},
        {"zint-52x52", 4, 75, 0, -20, 0.7, 3},
        {"zint-64x64", 3, 10, 10, 10, 0.5, 2},
        {"zint-8x18", 6, 280, 0, 25, 0.8, 3},
        {"dmtx-ascii-12x36", 5, 30, -25, 0, 0.7, 3},
        {"zint-16x48", 4, 185, 15, 0, 0.7, 3},
        {"dmtx-edifact-rect", 5, 135, 0, -15, 0.7, 3},
    };
    for (const Scene& s : scenes) {
        SCOPED_TRACE(describe(s));
        const SymbolFixture& f = symbolFixture(s.fixture);
        FrameStyle style;
        style.blurSigma = s.blur;
        style.noiseSigma = s.noise;
        const std::vector<SymbolPlacement> placements = {
            place(f, {320, 240}, s.modulePixels, s.rotation, s.tiltX, s.tiltY)};
        const RenderedFrame frame = renderFrame(style, placements);
        for (const Pass& pass : kPasses) expectAllRead(frame, placements, {&f}, pass);
    }
}

// Every real symbol up to 64 x 64 modules, square and rectangular, every
// encodation, once each, turned a different way.
TEST(EndToEnd, EverySymbolUpTo64Modules) {
    int index = 0;
    for (const SymbolFixture& f : symbolFixtures()) {
        if (f.rows > 64 || f.cols > 64) continue;
        SCOPED_TRACE(f.name);
        const double modulePixels = std::min(5.0, 400.0 / std::max(f.rows, f.cols));
        FrameStyle style;
        style.blurSigma = 0.6;
        style.noiseSigma = 2;
        style.seed = static_cast<unsigned>(index + 1);
        const std::vector<SymbolPlacement> placements = {
            place(f, {320, 240}, modulePixels, 37.0 * index, (index % 5 - 2) * 6.0)};
        const RenderedFrame frame = renderFrame(style, placements);
        for (const Pass& pass : kPasses) expectAllRead(frame, placements, {&f}, pass);
        ++index;
    }
}

// Several symbols in one wide colour frame, as the camera delivers it.
TEST(EndToEnd, SeveralSymbolsInOneFrame) {
    const char* names[] = {"zint-10x10", "dmtx-digits", "zint-auto-1", "dmtx-ascii-26x26",
                           "zint-12x26", "dmtx-x12"};
    std::vector<SymbolPlacement> placements;
    std::vector<const SymbolFixture*> fixtures;
    for (int i = 0; i < 6; ++i) {
        fixtures.push_back(&symbolFixture(names[i]));
        placements.push_back(place(*fixtures.back(), {220.0 + 420 * (i % 3), 190.0 + 340 * (i / 3)},
                                   4 + i % 3, 60.0 * i + 5, (i % 2) ? 15 : -10));
    }
    FrameStyle style;
    style.width = 1280;
    style.height = 720;
    style.color = true;
    style.blurSigma = 0.7;
    style.noiseSigma = 3;
    const RenderedFrame frame = renderFrame(style, placements);
    for (const Pass& pass : kPasses) expectAllRead(frame, placements, fixtures, pass);
}

}  // namespace
