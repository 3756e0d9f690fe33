// Candidate analysis and grid sampling on symbols drawn module by module into
// bi-level images: real symbols of every size decode through both stages,
// and the size, inner-edge, correction-count, zoom and orientation rules hold.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <opencv2/imgproc/imgproc_c.h>

#include "ecc200/ecc200.h"
#include "reader/reader_internal.h"
#include "sampler_test_images.h"
#include "candidate_from_corners.h"
#include "frame_renderer.h"
#include "symbol_builder.h"
#include "symbol_fixtures.h"

namespace {

// The dmtxwrite 144 x 144 fixture interleaves its error correction in a way
// of its own; to a standard reader its blocks are uncorrectable.
const char* const kNonStandardFixture = "dmtx-ascii-144x144";

struct Placement {
    int ox, oy;     // top-left pixel of the symbol
    double module;  // pixels per module
    int rows, cols;
    int width() const { return static_cast<int>(std::lround(cols * module)); }
    int height() const { return static_cast<int>(std::lround(rows * module)); }
};

// Draws rows x cols modules (1 dark) upright with a quiet zone of `quiet`
// pixels around. A module size that is not a whole number of pixels gives
// runs of two lengths, as a camera does; perfectly equal runs would let the
// sweep settle on the first regular turn it meets.
std::unique_ptr<TestImage> drawSymbol(const std::vector<unsigned char>& modules, int rows, int cols,
                                      double module, int quiet, Placement* placement) {
    *placement = {quiet, quiet, module, rows, cols};
    auto edge = [&](int i) { return quiet + static_cast<int>(std::lround(i * module)); };
    auto image = std::make_unique<TestImage>(placement->width() + 2 * quiet,
                                             placement->height() + 2 * quiet);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            if (modules[r * cols + c]) image->fillRect(edge(c), edge(r), edge(c + 1) - 1, edge(r + 1) - 1);
    return image;
}

struct ContextDeleter {
    void operator()(ReaderContext* c) const {
        if (c->zoomed) cvReleaseImage(&c->zoomed);
        delete c;
    }
};
using ContextPtr = std::unique_ptr<ReaderContext, ContextDeleter>;

// A context over a borrowed bi-level image with one candidate.
ContextPtr contextFor(IplImage* bilevel, const SymbolCandidate& candidate, int options) {
    ContextPtr context(new ReaderContext());
    context->bilevel = bilevel;
    context->candidates[0] = candidate;
    context->candidateCount = 1;
    context->options = options;
    context->adaptiveMode = (options & DM_ADAPTIVE_THRESHOLD) ? 1 : 0;
    context->zoomMode = (options & DM_ZOOM_CANDIDATES) ? 1 : 0;
    return context;
}

// A camera-like frame of one symbol, thresholded at mid-gray into the
// bi-level image the sampler reads (dark = 255), with the true corners.
struct BilevelFrame {
    std::unique_ptr<TestImage> image;
    SymbolCorners corners;
};

BilevelFrame renderBilevel(const SymbolFixture& f, double module, double rotation, double tilt) {
    FrameStyle style;
    const double side = std::max(f.rows, f.cols) * module * 1.5 + 40;
    style.width = static_cast<int>(side);
    style.height = static_cast<int>(side);
    style.blurSigma = 0.7;
    style.noiseSigma = 6;
    SymbolPlacement s;
    s.modules = f.modules;
    s.rows = f.rows;
    s.cols = f.cols;
    s.center = cv::Point2d(side / 2, side / 2);
    s.modulePixels = module;
    s.rotationDegrees = rotation;
    s.tiltXDegrees = tilt;
    const RenderedFrame frame = renderFrame(style, {s});
    BilevelFrame out;
    out.image = std::make_unique<TestImage>(style.width, style.height);
    IplImage gray = cvIplImage(frame.image);
    cvThreshold(&gray, out.image->image, (style.dark + style.light) / 2, 255, CV_THRESH_BINARY_INV);
    out.corners = frame.corners[0];
    return out;
}

// The candidate the finder builds from the L of a symbol with these true
// corners; leftFirst chooses which finder side is "A".
SymbolCandidate finderCandidate(const TestImage& image, const SymbolCorners& k, bool leftFirst) {
    SymbolCandidate c;
    EXPECT_TRUE(candidateFromCorners(image.image, k, leftFirst, &c));
    return c;
}

TEST(SymbolSampling, EveryRealSymbolDecodes) {
    // Each fixture up to 52 x 52 in a blurred, noisy frame, under a few
    // poses, with both assignments of the finder sides and the application's
    // option words (13 zooms; 14 also narrows the sweep). The sweep settles
    // on one of the first regular turns it meets and turns in steps of
    // pi / 320, so long sides and small modules (below about 5 pixels, or
    // 6 unzoomed) leave the timing edge before the far corner.
    struct Mode {
        int options;
        bool leftFirst;
        double rotation, tilt, module;
    };
    const Mode modes[] = {{DM_GLOBAL_THRESHOLD, true, 0, 0, 6},
                          {DM_GLOBAL_THRESHOLD, false, 0, 0, 6},
                          {13, true, 200, 15, 4.5},
                          {14, false, -100, 0, 5.5}};
    for (const SymbolFixture& f : symbolFixtures()) {
        for (const Mode& m : modes) {
            if (f.rows * f.cols > 52 * 52) continue;
            SCOPED_TRACE(testing::Message() << f.name << " options " << m.options << " rotation "
                                            << m.rotation << (m.leftFirst ? " left first" : " bottom first"));
            const double module = m.module;
            const BilevelFrame frame = renderBilevel(f, module, m.rotation, m.tilt);
            ContextPtr context =
                contextFor(frame.image->image, finderCandidate(*frame.image, frame.corners, m.leftFirst), m.options);
            const int status = dmAnalyzeCandidate(context.get(), 0);
            if (f.name == kNonStandardFixture) {
                EXPECT_EQ(status, 111);
                EXPECT_EQ(context->resultCount, 0);
                continue;
            }
            EXPECT_EQ(status, 0);
            if (status != 0) continue;
            ASSERT_EQ(context->resultCount, 1);
            EXPECT_EQ(hexOf(context->results[0].text), hexOf(f.text));
            // The outline keeps the candidate's order and lies within one
            // module of the true corners, in the image's pixels when zoomed.
            const int order[4] = {m.leftFirst ? 0 : 2, 1, m.leftFirst ? 2 : 0, 3};
            for (int i = 0; i < 4; ++i) {
                const cv::Point2d& t = frame.corners[order[i]];
                EXPECT_NEAR(context->results[0].corners[i].x, t.x, module) << "corner " << i;
                EXPECT_NEAR(context->results[0].corners[i].y, t.y, module) << "corner " << i;
            }
        }
    }
}

// A matrix with only the borders: solid left column and bottom row, the top
// row and right column alternating (light at the top right). Counts follow
// the borders, so any pair of counts can be drawn.
std::vector<unsigned char> bordersOnly(int rows, int cols) {
    std::vector<unsigned char> m(static_cast<size_t>(rows) * cols, 0);
    for (int r = 0; r < rows; ++r) {
        m[r * cols] = 1;
        m[r * cols + cols - 1] = static_cast<unsigned char>((rows - 1 - r) % 2 == 0);
    }
    for (int c = 0; c < cols; ++c) {
        m[(rows - 1) * cols + c] = 1;
        m[c] = static_cast<unsigned char>(c % 2 == 0);
    }
    return m;
}

// The hand-over form the analysis gives the sampler for an upright symbol.
SymbolCandidate handOver(const Placement& p) {
    SymbolCandidate c;
    c.finderCorner = cvPoint2D32f(p.ox, p.oy);
    c.finderEndA = cvPoint2D32f(p.ox + p.width() - 1, p.oy);
    c.finderEndB = cvPoint2D32f(p.ox + p.width() - 1, p.oy + p.height() - 1);
    c.farCorner = cvPoint2D32f(p.ox, p.oy + p.height() - 1);
    c.finderLineA = dmLineThrough(c.farCorner, c.finderCorner);
    c.finderLineB = dmLineThrough(c.farCorner, c.finderEndB);
    c.timingLineA = dmLineThrough(c.finderEndB, c.finderEndA);
    c.timingLineB = dmLineThrough(c.finderCorner, c.finderEndA);
    return c;
}

TEST(SymbolSampling, CountsAndSizeLookup) {
    struct Case {
        int rows, cols, module;
        int status;
    };
    // status -1: the size was found and the matrix went to the decoder,
    // whatever it made of blank data
    const Case cases[] = {
        {8, 18, 4, -1},
        {18, 8, 4, 3},      // the transposed counts are no size
        {10, 12, 4, 3},
        {8, 146, 2, 3},     // more than 144 columns
        {146, 8, 2, 3},     // more than 144 rows
        {144, 144, 2, -1},  // the largest size is still looked up
    };
    for (const Case& c : cases) {
        Placement p;
        const auto image = drawSymbol(bordersOnly(c.rows, c.cols), c.rows, c.cols, c.module, 6, &p);
        ContextPtr context = contextFor(image->image, handOver(p), 0);
        context->sampled = image->image;
        const int status = dmSampleCandidate(context.get(), 0);
        if (c.status >= 0) {
            EXPECT_EQ(status, c.status) << c.rows << " x " << c.cols;
        } else {
            EXPECT_TRUE(status == 0 || status == 11 || status == 12) << c.rows << " x " << c.cols
                                                                     << ": " << status;
        }
    }
}

TEST(SymbolSampling, FirstDarkAndInnerEdge) {
    // A top side at y = oy + 0.5: the scan rounds half up and counts the
    // modules on pixel row oy + 1, the inner-edge walk rounds half to even and
    // looks along row oy, which is erased: no inner edge, status 4.
    Placement p;
    auto image = drawSymbol(bordersOnly(10, 10), 10, 10, 4, 6, &p);
    for (int x = 0; x < image->image->width; ++x) image->set(x, p.oy, 0);
    SymbolCandidate c = handOver(p);
    c.timingLineB = {DM_LINE_X_MAJOR, 0, p.oy + 0.5f};
    ContextPtr context = contextFor(image->image, c, 0);
    context->sampled = image->image;
    EXPECT_EQ(dmSampleCandidate(context.get(), 0), 4);

    // dmFindFirstDark itself: nothing dark between the ends gives (-1, -1);
    // the start is never tested and the target is.
    TestImage row({"#.........#"});
    const LineEquation line{1, 0, 0};
    struct Case {
        float sx, tx;
        float foundX;
    };
    const Case cases[] = {{10, 0, 0}, {0, 10, 10}, {9, 1, -1}, {10, 10, -1}, {20, 11, -1}};
    for (const Case& k : cases) {
        const CvPoint2D32f got = dmFindFirstDark(row.image, line, cvPoint2D32f(k.sx, 0),
                                                 cvPoint2D32f(k.tx, 0));
        EXPECT_EQ(got.x, k.foundX) << k.sx << " -> " << k.tx;
    }
    // Fractional starts keep their fraction and round half to even: from 0.5
    // the walk looks at 2, 2, 4, 4, ... and never sees pixel 3.
    TestImage odd({"...#......"});
    EXPECT_EQ(dmFindFirstDark(odd.image, line, cvPoint2D32f(0.5f, 0), cvPoint2D32f(9, 0)).x, -1);
    TestImage even({"....#....."});
    EXPECT_EQ(dmFindFirstDark(even.image, line, cvPoint2D32f(8.5f, 0), cvPoint2D32f(0, 0)).x, 4.5f);
    // Lines and points far outside, or no numbers, end without reading outside.
    const float far = 1e30f;
    EXPECT_EQ(dmFindFirstDark(row.image, line, cvPoint2D32f(-far, 0), cvPoint2D32f(far, 0)).x, 0.0f);
    EXPECT_EQ(dmFindFirstDark(row.image, {2, 1e20f, 0}, cvPoint2D32f(0, -far), cvPoint2D32f(0, far)).y, 0.0f);
    EXPECT_EQ(dmFindFirstDark(row.image, line, cvPoint2D32f(std::nanf(""), 0), cvPoint2D32f(5, 0)).x, -1);
    EXPECT_EQ(dmFindFirstDark(row.image, {DM_LINE_FAILED, 0, 0}, cvPoint2D32f(0, 0), cvPoint2D32f(9, 0)).x, -1);
}

TEST(SymbolSampling, CorrectionCountRule) {
    // "abc" in a 10 x 10 symbol (ASCII codewords value + 1), cleanly and with
    // one error-correction codeword damaged: 1 correction > 3 x 0.1.
    const SymbolSizeEntry& entry = symbolSize(10, 10);
    const Codewords data = {'a' + 1, 'b' + 1, 'c' + 1};
    Codewords stream = encodeStream(entry, padCodewords(entry, data));
    const std::vector<unsigned char> clean = placeStream(entry, stream);
    stream.back() ^= 0x5a;
    const std::vector<unsigned char> damaged = placeStream(entry, stream);
    struct Case {
        const std::vector<unsigned char>* modules;
        int options;
        int status;
    };
    const Case cases[] = {
        {&clean, DM_GLOBAL_THRESHOLD, 0},
        {&damaged, DM_GLOBAL_THRESHOLD, 0},
        {&clean, DM_GLOBAL_THRESHOLD | DM_CHECK_CORRECTIONS, 0},
        {&damaged, DM_GLOBAL_THRESHOLD | DM_CHECK_CORRECTIONS, 13},
    };
    for (const Case& c : cases) {
        Placement p;
        const auto image = drawSymbol(*c.modules, 10, 10, 5, 10, &p);
        ContextPtr context = contextFor(image->image, handOver(p), c.options);
        context->sampled = image->image;
        EXPECT_EQ(dmSampleCandidate(context.get(), 0), c.status) << c.options;
        EXPECT_EQ(context->resultCount, c.status == 0 ? 1 : 0);
        if (c.status == 0) {
            EXPECT_STREQ(context->results[0].text, "abc");
        }
    }
}

TEST(CandidateAnalysis, MissingTimingPatterns) {
    const double module = 5;
    const BilevelFrame frame = renderBilevel(symbolFixture("zint-10x10"), module, 0, 0);
    TestImage blank(frame.image->image->width, frame.image->image->height);

    // Nothing at all: side A fails; side B and the far corner stay as guessed.
    {
        const SymbolCandidate guess = finderCandidate(*frame.image, frame.corners, true);
        ContextPtr context = contextFor(blank.image, guess, DM_GLOBAL_THRESHOLD);
        EXPECT_EQ(dmAnalyzeCandidate(context.get(), 0), 5);
        const SymbolCandidate& c = context->candidates[0];
        EXPECT_EQ(c.timingLineA.kind, DM_LINE_FAILED);
        EXPECT_EQ(c.timingLineB.kind, guess.timingLineB.kind);
        EXPECT_EQ(c.timingLineB.intercept, guess.timingLineB.intercept);
        EXPECT_EQ(c.farCorner.x, guess.farCorner.x);
        EXPECT_EQ(c.farCorner.y, guess.farCorner.y);
    }
    // Only the left finder column and the right timing column left: with the
    // left side as A, side A (right) is found and kept, side B (top) fails.
    const int left = static_cast<int>(std::lround(frame.corners[0].x));
    const int top = static_cast<int>(std::lround(frame.corners[0].y));
    const int right = static_cast<int>(std::lround(frame.corners[2].x));
    const int bottom = static_cast<int>(std::lround(frame.corners[2].y));
    const int rightColumn = right - static_cast<int>(module);
    for (int x = left + static_cast<int>(module) + 1; x < rightColumn - 1; ++x)
        for (int y = top - 2; y < bottom + 2; ++y) frame.image->set(x, y, 0);
    {
        ContextPtr context =
            contextFor(frame.image->image, finderCandidate(*frame.image, frame.corners, true), DM_GLOBAL_THRESHOLD);
        EXPECT_EQ(dmAnalyzeCandidate(context.get(), 0), 6);
        const LineEquation& r = context->candidates[0].timingLineA;
        ASSERT_EQ(r.kind, DM_LINE_Y_MAJOR);
        for (const int y : {top, bottom - 1}) {
            EXPECT_GE(r.slope * y + r.intercept, rightColumn - 1) << y;
            EXPECT_LE(r.slope * y + r.intercept, right + 1) << y;
        }
    }
}

TEST(CandidateAnalysis, ZoomBox) {
    struct Case {
        const char* what;
        int width, height;
        CvPoint2D32f corner, endA, endB, far;
        int adaptive;
        int zoomX, zoomY, zoomWidth, zoomHeight;
    };
    const Case cases[] = {
        // box 20..40 x 30..50, margins 5 (0.25 x 20): 14..46 x 24..56 -> 33 odd,
        // widened on the right to 34
        {"inside", 100, 100, {20, 50}, {20.9f, 30}, {40, 50.7f}, {40, 30}, 0, 14, 24, 34, 34},
        // margins 2 (0.125 x 20): 17..43 x 27..53 -> 27, widened to 28
        {"adaptive margin", 100, 100, {20, 50}, {20, 30}, {40, 50}, {40, 30}, 1, 17, 27, 28, 28},
        // clamped at the right and bottom edges (x1 = y1 = 59): odd 37 x 25
        // made even by extending to the left and top
        {"right and bottom edge", 60, 60, {30, 57}, {30, 40}, {57, 57}, {57, 40}, 0, 22, 34, 38, 26},
        // clamped at both edges of a 41-pixel-wide image: odd, x0 = 0, so
        // shrunk on the right
        {"both edges", 41, 100, {1, 50}, {1, 30}, {39, 50}, {39, 30}, 0, 0, 24, 40, 34},
    };
    for (const Case& c : cases) {
        TestImage image(c.width, c.height);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                if ((x * 7 + y * 3) % 5 == 0) image.set(x, y);
        SymbolCandidate cand;
        cand.finderCorner = c.corner;
        cand.finderEndA = c.endA;
        cand.finderEndB = c.endB;
        cand.farCorner = c.far;
        ContextPtr context = contextFor(image.image, cand, DM_ZOOM_CANDIDATES);
        context->adaptiveMode = c.adaptive;
        SymbolCandidate& moved = context->candidates[0];
        ASSERT_EQ(dmZoomCandidate(context.get(), &moved), 0) << c.what;
        SCOPED_TRACE(c.what);
        EXPECT_EQ(context->zoomX, c.zoomX);
        EXPECT_EQ(context->zoomY, c.zoomY);
        EXPECT_EQ(context->zoomWidth, c.zoomWidth);
        EXPECT_EQ(context->zoomHeight, c.zoomHeight);
        ASSERT_NE(context->zoomed, nullptr);
        EXPECT_EQ(context->sampled, context->zoomed);
        EXPECT_EQ(context->zoomed->width, 2 * c.zoomWidth);
        EXPECT_EQ(context->zoomed->height, 2 * c.zoomHeight);
        bool same = true;
        for (int r = 0; r < context->zoomed->height; ++r)
            for (int col = 0; col < context->zoomed->width; ++col) {
                const unsigned char z = reinterpret_cast<unsigned char*>(
                    context->zoomed->imageData)[r * context->zoomed->widthStep + col];
                same &= z == image.at(c.zoomX + col / 2, c.zoomY + r / 2);
            }
        EXPECT_TRUE(same);
        EXPECT_FLOAT_EQ(moved.finderEndA.x, (c.endA.x - c.zoomX) * 2);
        EXPECT_FLOAT_EQ(moved.finderEndA.y, (c.endA.y - c.zoomY) * 2);
        // the far corner is rebuilt from the moved finder, as a parallelogram
        EXPECT_NEAR(moved.farCorner.x, moved.finderEndA.x + moved.finderEndB.x - moved.finderCorner.x, 1e-3);
        EXPECT_NEAR(moved.farCorner.y, moved.finderEndA.y + moved.finderEndB.y - moved.finderCorner.y, 1e-3);
    }
}

TEST(CandidateAnalysis, ZoomedCornersMapBack) {
    // The outline is written before sampling, whatever the sampler then
    // makes of the candidate. The finder corner is the one point neither the
    // sweep nor the sampler moves: reported as its zoomed position rounded
    // half to even, halved toward zero, plus the crop origin.
    const BilevelFrame frame = renderBilevel(symbolFixture("zint-12x12"), 5, 0, 0);
    for (const bool leftFirst : {true, false}) {
        ContextPtr context = contextFor(frame.image->image,
                                        finderCandidate(*frame.image, frame.corners, leftFirst), 13);
        const int status = dmAnalyzeCandidate(context.get(), 0);
        ASSERT_TRUE(status == 0 || status > 100) << status;  // oriented and handed over
        const CvPoint2D32f zoomedCorner = context->candidates[0].farCorner;  // bottom-left
        const CvPoint reported = context->results[0].corners[3];
        EXPECT_EQ(reported.x, static_cast<int>(std::nearbyint(zoomedCorner.x)) / 2 + context->zoomX);
        EXPECT_EQ(reported.y, static_cast<int>(std::nearbyint(zoomedCorner.y)) / 2 + context->zoomY);
        EXPECT_NEAR(reported.x, frame.corners[3].x, 1.5);
        EXPECT_NEAR(reported.y, frame.corners[3].y, 1.5);
    }
}

TEST(CandidateAnalysis, OutlineRoundsHalfToEven) {
    // Unzoomed, the finder corner is reported as it stands, rounded to the
    // nearest pixel with ties to even: neither truncated nor rounded half up.
    const BilevelFrame frame = renderBilevel(symbolFixture("zint-12x12"), 6, 0, 0);
    const SymbolCandidate found = finderCandidate(*frame.image, frame.corners, true);
    struct Case {
        float dx, dy;    // added to the whole-pixel finder corner
        int odd;         // 1: the corner's x is first made odd, 0: even
        int wantDx, wantDy;
    };
    const Case cases[] = {
        {0.5f, 0.6f, 1, 1, 1},   // odd + 0.5 goes up to even; 0.6 goes up
        {0.5f, 0.4f, 0, 0, 0},   // even + 0.5 stays even; 0.4 goes down
        {-0.5f, 1.5f, 1, -1, 1}, // odd - 0.5 goes down to even; odd + 1.5 ties at even + 0.5
    };
    for (const Case& c : cases) {
        SymbolCandidate candidate = found;
        float x = std::floor(candidate.finderCorner.x);
        float y = std::floor(candidate.finderCorner.y);
        if ((static_cast<int>(x) % 2 == 1) != (c.odd == 1)) x += 1;
        if (static_cast<int>(y) % 2 == 0) y += 1;  // y odd
        candidate.finderCorner = cvPoint2D32f(x + c.dx, y + c.dy);
        ContextPtr context = contextFor(frame.image->image, candidate, DM_GLOBAL_THRESHOLD);
        const int status = dmAnalyzeCandidate(context.get(), 0);
        ASSERT_TRUE(status == 0 || status > 100) << status;  // the outline was written
        EXPECT_EQ(context->results[0].corners[3].x, static_cast<int>(x) + c.wantDx) << c.dx;
        EXPECT_EQ(context->results[0].corners[3].y, static_cast<int>(y) + c.wantDy) << c.dy;
    }
}

TEST(CandidateAnalysis, UnzoomedAnalysisLeavesTheZoomAlone) {
    const BilevelFrame frame = renderBilevel(symbolFixture("zint-10x10"), 6, 0, 0);
    ContextPtr context =
        contextFor(frame.image->image, finderCandidate(*frame.image, frame.corners, true), DM_GLOBAL_THRESHOLD);
    context->zoomX = context->zoomY = context->zoomWidth = context->zoomHeight = -7;
    EXPECT_EQ(dmAnalyzeCandidate(context.get(), 0), 0);
    EXPECT_EQ(context->sampled, frame.image->image);
    EXPECT_EQ(context->zoomed, nullptr);
    EXPECT_EQ(context->zoomX + context->zoomY + context->zoomWidth + context->zoomHeight, -28);
}

}  // namespace

namespace {

// Candidates of garbage (huge, infinite, not-a-number or merely random
// coordinates and lines) on a small noisy image: every stage must end with
// a status and read nothing outside its images (the sanitizer builds check).
TEST(CandidateAnalysis, GarbageCandidatesStayInside) {
    TestImage image(37, 29);
    uint32_t state = 12345;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 37; ++x)
            if (next() % 3 == 0) image.set(x, y);
    const float specials[] = {0.0f, -1.0f, 36.0f, 28.5f, 1e30f, -1e30f, 1e9f,
                              std::numeric_limits<float>::infinity(), std::nanf("")};
    auto coordinate = [&] {
        const uint32_t r = next();
        if (r % 4 == 0) return specials[(r / 4) % (sizeof specials / sizeof specials[0])];
        return static_cast<float>(r % 2000) / 20.0f - 30.0f;
    };
    auto point = [&] { return cvPoint2D32f(coordinate(), coordinate()); };
    auto line = [&] {
        const int kinds[] = {DM_LINE_X_MAJOR, DM_LINE_Y_MAJOR, DM_LINE_FAILED};
        return LineEquation{kinds[next() % 3], coordinate() / 40, coordinate()};
    };
    const int optionWords[] = {DM_GLOBAL_THRESHOLD, 13, 14};
    for (int i = 0; i < 600; ++i) {
        SymbolCandidate c;
        c.finderLineA = line();
        c.finderLineB = line();
        c.timingLineA = line();
        c.timingLineB = line();
        c.finderCorner = point();
        c.finderEndA = point();
        c.finderEndB = point();
        c.farCorner = point();
        ContextPtr context = contextFor(image.image, c, optionWords[i % 3]);
        const int status = dmAnalyzeCandidate(context.get(), 0);
        EXPECT_TRUE(status == 0 || status == 2 || status == 5 || status == 6 || status > 100) << status;
        // the sampler on its own, from whatever the candidate became
        context->sampled = image.image;
        context->candidates[0] = c;
        const int sampled = dmSampleCandidate(context.get(), 0);
        EXPECT_TRUE(sampled == 0 || (sampled >= 3 && sampled <= 5) || sampled >= 11) << sampled;
    }

    // Near misses of a real symbol reach the inner-edge search and the grid:
    // corners and lines shaken by up to a few modules, now and then one of
    // them replaced by a special value.
    const BilevelFrame frame = renderBilevel(symbolFixture("zint-16x16"), 4, 10, 0);
    const SymbolCandidate truth = finderCandidate(*frame.image, frame.corners, true);
    SymbolCandidate upright;  // hand-over form: TL, TR, BR, BL; left, bottom, right, top
    const SymbolCorners& k = frame.corners;
    upright.finderCorner = cvPoint2D32f(k[0].x, k[0].y);
    upright.finderEndA = cvPoint2D32f(k[1].x, k[1].y);
    upright.finderEndB = cvPoint2D32f(k[2].x, k[2].y);
    upright.farCorner = cvPoint2D32f(k[3].x, k[3].y);
    upright.finderLineA = dmLineThrough(upright.farCorner, upright.finderCorner);
    upright.finderLineB = dmLineThrough(upright.farCorner, upright.finderEndB);
    upright.timingLineA = dmLineThrough(upright.finderEndB, upright.finderEndA);
    upright.timingLineB = dmLineThrough(upright.finderCorner, upright.finderEndA);
    float scale = 1;
    auto shake = [&](float v, float by) {
        const uint32_t r = next();
        if (r % 50 == 0) return specials[(r / 50) % (sizeof specials / sizeof specials[0])];
        return v + (static_cast<float>(r % 2001) / 1000.0f - 1.0f) * by * scale;
    };
    auto shakePoint = [&](CvPoint2D32f p) { return cvPoint2D32f(shake(p.x, 12), shake(p.y, 12)); };
    auto shakeLine = [&](LineEquation l) {
        l.slope = shake(l.slope, 0.3f);
        l.intercept = shake(l.intercept, 12);
        return l;
    };
    for (int i = 0; i < 600; ++i) {
        SymbolCandidate c = i % 2 ? truth : upright;
        scale = i % 4 < 2 ? 1.0f : 0.1f;
        c.finderCorner = shakePoint(c.finderCorner);
        c.finderEndA = shakePoint(c.finderEndA);
        c.finderEndB = shakePoint(c.finderEndB);
        c.farCorner = shakePoint(c.farCorner);
        c.finderLineA = shakeLine(c.finderLineA);
        c.finderLineB = shakeLine(c.finderLineB);
        c.timingLineA = shakeLine(c.timingLineA);
        c.timingLineB = shakeLine(c.timingLineB);
        ContextPtr context = contextFor(frame.image->image, c, optionWords[i % 3]);
        context->sampled = frame.image->image;
        const int sampled = dmSampleCandidate(context.get(), 0);
        context->candidates[0] = c;
        context->resultCount = 0;
        const int status = dmAnalyzeCandidate(context.get(), 0);
        EXPECT_TRUE(status == 0 || status == 2 || status == 5 || status == 6 || status > 100) << status;
        EXPECT_TRUE(sampled == 0 || (sampled >= 3 && sampled <= 5) || sampled >= 11) << sampled;
    }
}

}  // namespace
