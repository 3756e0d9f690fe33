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
    const char* fixture;
    double modulePixels, rotation, tiltX, tiltY;
    bool wide;  // 1280 x 720 instead of 640 x 480
};

void expectSceneRead(const Scene& s) {
    SCOPED_TRACE(testing::Message() << s.fixture << " at " << s.modulePixels << " px/module, turned "
                                    << s.rotation << ", tilted " << s.tiltX << "/" << s.tiltY);
    const SymbolFixture& f = symbolFixture(s.fixture);
    FrameStyle style;
    if (s.wide) {
        style.width = 1280;
        style.height = 720;
    }
    style.blurSigma = 0.7;
    style.noiseSigma = 3;
    const std::vector<SymbolPlacement> placements = {
        placeSymbol(f, {style.width / 2.0, style.height / 2.0}, s.modulePixels, s.rotation, s.tiltX,
              s.tiltY)};
    const RenderedFrame frame = renderFrame(style, placements);
    for (const Pass& pass : kPasses) expectAllRead(frame, placements, {&f}, pass);
}

// One symbol of every size the reader reads in both passes, square and
// rectangular, each turned and sized inside the envelope where it reads.
// Symbols of 64 x 64 modules and more are left out: their far ends are
// pulled in by more than most of a module (1 pixel per 100 pixels of side),
// and the Otsu pass rarely reads them.
TEST(EndToEnd, EverySizeUpTo52Modules) {
    const Scene scenes[] = {
        {"zint-10x10", 8, 15, 0, 0, false},    {"zint-12x12", 8, 75, 0, 0, false},
        {"zint-14x14", 8, 130, 0, 0, false},   {"zint-16x16", 8, 200, 0, 0, false},
        {"zint-18x18", 8, 290, 0, 0, false},   {"zint-20x20", 8, 75, 0, 0, false},
        {"zint-22x22", 8, 15, 0, 0, false},    {"zint-24x24", 8, 130, 0, 0, false},
        {"zint-26x26", 8, 200, 0, 0, false},   {"zint-32x32", 8, 75, 0, 0, false},
        {"zint-36x36", 8, 130, 0, 0, false},   {"zint-40x40", 7, 15, 0, 0, false},
        {"zint-44x44", 8, 75, 0, 0, true},     {"zint-48x48", 8, 200, 0, 0, true},
        {"zint-52x52", 8, 15, 0, 0, true},     {"zint-8x18", 8, 290, 0, 0, false},
        {"zint-8x32", 8, 15, 0, 0, false},     {"zint-12x26", 8, 200, 0, 0, false},
        {"zint-12x36", 8, 75, 0, 0, false},    {"zint-16x36", 8, 130, 0, 0, false},
        {"zint-16x48", 6, 15, 0, 0, false},
    };
    for (const Scene& s : scenes) expectSceneRead(s);
}

// Rotation, perspective and scale across the envelope, and the other
// generator's symbols in every encodation.
TEST(EndToEnd, PosesAndEncodations) {
    const Scene scenes[] = {
        {"zint-10x10", 8, 75, 12, 6, false},
        {"zint-12x12", 8, 15, -20, -10, false},
        {"zint-14x14", 7, 250, 25, 0, false},
        {"zint-16x16", 6, 320, 0, 25, false},
        {"zint-20x20", 6, 100, 20, 10, false},
        {"zint-20x20", 4, 170, -10, 0, false},
        {"zint-24x24", 6, 45, -25, 0, false},
        {"zint-32x32", 5, 355, 10, 10, false},
        {"zint-8x18", 7, 135, 0, -25, false},
        {"zint-12x26", 6, 225, 20, 0, false},
        {"dmtx-ascii-10x10", 8, 130, -20, -10, false},
        {"dmtx-ascii-16x16", 7, 30, 15, 0, false},
        {"dmtx-digits", 6, 60, 0, 15, false},
        {"dmtx-upper-shift", 7, 280, 10, 0, false},
        {"dmtx-c40", 5, 160, -20, 10, false},
        {"dmtx-c40-shifts", 6, 10, 0, 0, false},
        {"dmtx-text", 6, 250, 0, 20, false},
        {"dmtx-text-capitals", 7, 95, 10, 0, false},
        {"dmtx-x12", 7, 185, 0, -15, false},
        {"dmtx-edifact", 6, 300, -15, 0, false},
        {"dmtx-base256-short", 7, 120, 10, 0, false},
        {"dmtx-c40-rect", 7, 40, 0, 10, false},
        {"dmtx-edifact-rect", 7, 215, 0, 0, false},
        {"zint-auto-0", 6, 80, 0, 0, false},
        {"zint-auto-2", 7, 265, -12, 0, false},
    };
    for (const Scene& s : scenes) expectSceneRead(s);
}

// Several symbols in one wide colour frame, as the camera delivers it.
TEST(EndToEnd, SeveralSymbolsInOneFrame) {
    const char* names[] = {"zint-10x10", "dmtx-digits", "zint-auto-1", "dmtx-ascii-26x26",
                           "zint-12x26", "dmtx-x12"};
    std::vector<SymbolPlacement> placements;
    std::vector<const SymbolFixture*> fixtures;
    for (int i = 0; i < 6; ++i) {
        fixtures.push_back(&symbolFixture(names[i]));
        placements.push_back(placeSymbol(*fixtures.back(), {220.0 + 420 * (i % 3), 190.0 + 340 * (i / 3)},
                                   7 + i % 2, 60.0 * i + 5, (i % 2) ? 15 : -10));
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
