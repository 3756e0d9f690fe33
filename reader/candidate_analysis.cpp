// Candidate analysis: optional 2x zoom, correction of the two guessed timing
// sides by the angle sweep, the far corner, the reported outline,
// orientation into reading order, and hand-over to the grid sampler.
#include <algorithm>
#include <climits>
#include <cmath>

#include "reader_internal.h"

namespace {

// Sweep of the timing sides: half-range and steps per side, narrower after
// the adaptive threshold (whose candidates are seen closer to the front).
constexpr double kHalfRangeGlobal = 0.39269908169872414;    // pi / 8
constexpr double kHalfRangeAdaptive = 0.19634954084936207;  // pi / 16
constexpr int kStepsGlobal = 40;
constexpr int kStepsAdaptive = 20;

// Margin of the zoom crop, as a share of the candidate's box.
constexpr float kZoomMarginGlobal = 0.25f;
constexpr float kZoomMarginAdaptive = 0.125f;

// dmAnalyzeCandidate statuses.
constexpr int kDecoded = 0;
constexpr int kNotConvex = 2;
constexpr int kNoTimingA = 5;
constexpr int kNoTimingB = 6;
constexpr int kSamplingStatusBase = 100;

// Float to int for coordinates that may be anything a bad candidate holds:
// values beyond the int range saturate, no number gives 0.
int saturate(double v) {
    if (!(v == v)) return 0;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(v);
}
int truncToInt(float v) { return saturate(std::trunc(static_cast<double>(v))); }
int roundToInt(float v) { return saturate(std::nearbyint(static_cast<double>(v))); }

CvPoint roundPoint(CvPoint2D32f p) { return cvPoint(roundToInt(p.x), roundToInt(p.y)); }

// The sweep of a side starts at the turn that opens the quadrilateral widest:
// +h when the +h turn meets the other side farther from `measured`, else -h.
// False when a turned side runs parallel to the other side.
bool sweepStart(const LineEquation& side, CvPoint2D32f pivot, const LineEquation& other,
                CvPoint2D32f measured, double h, double* start) {
    CvPoint2D32f minus, plus;
    if (dmIntersectLines(dmRotateLine(side, -h, pivot), other, &minus)) return false;
    if (dmIntersectLines(dmRotateLine(side, h, pivot), other, &plus)) return false;
    const double dMinus = dmDistance(minus.x, minus.y, measured.x, measured.y);
    const double dPlus = dmDistance(plus.x, plus.y, measured.x, measured.y);
    *start = dPlus > dMinus ? h : -h;
    return true;
}

// Makes [lo, hi] an even number of pixels within [0, size - 1] where it can.
void makeEven(int* lo, int* hi, int size) {
    if ((*hi - *lo + 1) % 2 == 0) return;
    if (*hi < size - 1) ++*hi;
    else if (*lo != 0) --*lo;
    else if (*hi > *lo) --*hi;  // a one-pixel image stays one pixel wide
}

CvPoint2D32f toZoomed(CvPoint2D32f p, int zoomX, int zoomY) {
    return cvPoint2D32f((p.x - zoomX) * 2, (p.y - zoomY) * 2);
}

}  // namespace

int dmZoomCandidate(ReaderContext* context, SymbolCandidate* c) {
    const IplImage* bilevel = context->bilevel;
    const int width = bilevel->width;
    const int height = bilevel->height;
    const CvPoint2D32f points[4] = {c->finderCorner, c->finderEndA, c->finderEndB, c->farCorner};
    // Coordinates are limited to a range no image reaches, so that the box
    // arithmetic cannot overflow; the box is clamped to the image anyway.
    constexpr int kLimit = 1 << 28;
    int minX = kLimit, maxX = -kLimit, minY = kLimit, maxY = -kLimit;
    for (const CvPoint2D32f& p : points) {
        const int x = std::clamp(truncToInt(p.x), -kLimit, kLimit);
        const int y = std::clamp(truncToInt(p.y), -kLimit, kLimit);
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    const float share = context->adaptiveMode == 1 ? kZoomMarginAdaptive : kZoomMarginGlobal;
    const int mx = static_cast<int>(static_cast<float>(maxX - minX) * share);
    const int my = static_cast<int>(static_cast<float>(maxY - minY) * share);
    // Clamped on both ends: a box wholly beside the image still crops one
    // pixel of it rather than none.
    int x0 = std::clamp(minX - mx - 1, 0, width - 1);
    int x1 = std::clamp(maxX + mx + 1, 0, width - 1);
    int y0 = std::clamp(minY - my - 1, 0, height - 1);
    int y1 = std::clamp(maxY + my + 1, 0, height - 1);
    if (x1 < x0) x1 = x0;
    if (y1 < y0) y1 = y0;
    makeEven(&x0, &x1, width);
    makeEven(&y0, &y1, height);
    context->zoomX = x0;
    context->zoomY = y0;
    context->zoomWidth = x1 - x0 + 1;
    context->zoomHeight = y1 - y0 + 1;

    if (context->zoomed) cvReleaseImage(&context->zoomed);
    context->zoomed = cvCreateImage(cvSize(2 * context->zoomWidth, 2 * context->zoomHeight),
                                    IPL_DEPTH_8U, 1);
    IplImage* zoomed = context->zoomed;
    for (int r = 0; r < zoomed->height; ++r) {
        const unsigned char* src = reinterpret_cast<const unsigned char*>(bilevel->imageData) +
                                   static_cast<size_t>(y0 + r / 2) * bilevel->widthStep + x0;
        unsigned char* dst =
            reinterpret_cast<unsigned char*>(zoomed->imageData) + static_cast<size_t>(r) * zoomed->widthStep;
        for (int col = 0; col < zoomed->width; ++col) dst[col] = src[col / 2];
    }

    c->finderCorner = toZoomed(c->finderCorner, x0, y0);
    c->finderEndA = toZoomed(c->finderEndA, x0, y0);
    c->finderEndB = toZoomed(c->finderEndB, x0, y0);
    c->finderLineA = dmLineThrough(c->finderCorner, c->finderEndA);
    c->finderLineB = dmLineThrough(c->finderCorner, c->finderEndB);
    c->timingLineA = dmParallelThrough(c->finderLineA, c->finderEndB);
    c->timingLineB = dmParallelThrough(c->finderLineB, c->finderEndA);
    context->sampled = zoomed;
    return dmIntersectLines(c->timingLineA, c->timingLineB, &c->farCorner) ? kNotConvex : 0;
}

int dmAnalyzeCandidate(ReaderContext* context, int index) {
    // The result slot at resultCount must exist; the entry stops at ten.
    if (context->resultCount >= DM_MAX_RESULTS) return kNotConvex;
    SymbolCandidate& c = context->candidates[index];

    if (context->zoomMode == 1) {
        if (dmZoomCandidate(context, &c) != 0) return kNotConvex;
    } else {
        context->sampled = context->bilevel;
    }
    const IplImage* image = context->sampled;
    const bool adaptive = context->adaptiveMode == 1;
    const double h = adaptive ? kHalfRangeAdaptive : kHalfRangeGlobal;
    const int steps = adaptive ? kStepsAdaptive : kStepsGlobal;

    // Nearly parallel sides have no usable intersection: the candidate fails
    // rather than measuring from a stale point.
    double start;
    if (!sweepStart(c.timingLineA, c.finderEndB, c.timingLineB, c.finderEndA, h, &start))
        return kNotConvex;
    c.timingLineA = dmFindTimingLine(image, c.timingLineA, steps, c.finderEndB, c.farCorner, start);
    if (c.timingLineA.kind == DM_LINE_FAILED) return kNoTimingA;

    if (!sweepStart(c.timingLineB, c.finderEndA, c.timingLineA, c.finderEndB, h, &start))
        return kNotConvex;
    c.timingLineB = dmFindTimingLine(image, c.timingLineB, steps, c.finderEndA, c.farCorner, start);
    if (c.timingLineB.kind == DM_LINE_FAILED) return kNoTimingB;

    if (dmIntersectLines(c.timingLineA, c.timingLineB, &c.farCorner)) return kNotConvex;

    // The outline is reported before the candidate is known to decode; the
    // slot counts only once the sampler succeeds.
    DecodedSymbol& slot = context->results[context->resultCount];
    const CvPoint2D32f outline[4] = {c.finderEndA, c.farCorner, c.finderEndB, c.finderCorner};
    for (int i = 0; i < 4; ++i) {
        CvPoint p = roundPoint(outline[i]);
        if (context->zoomMode == 1) {
            p.x = p.x / 2 + context->zoomX;
            p.y = p.y / 2 + context->zoomY;
        }
        slot.corners[i] = p;
    }

    // Walking clockwise meets: end of one finder side, far corner, end of the
    // other finder side, finder corner. Exactly one order of the ends does.
    CvPoint2D32f q[4] = {c.finderEndA, c.farCorner, c.finderEndB, c.finderCorner};
    if (!dmIsClockwiseConvex(roundPoint(q[0]), roundPoint(q[1]), roundPoint(q[2]),
                             roundPoint(q[3]))) {
        std::swap(q[0], q[2]);
        std::swap(c.finderLineA, c.finderLineB);
        std::swap(c.timingLineA, c.timingLineB);
        if (!dmIsClockwiseConvex(roundPoint(q[0]), roundPoint(q[1]), roundPoint(q[2]),
                                 roundPoint(q[3])))
            return kNotConvex;
    }
    c.finderCorner = q[0];  // top-left
    c.finderEndA = q[1];    // top-right
    c.finderEndB = q[2];    // bottom-right
    c.farCorner = q[3];     // bottom-left

    const int s = dmSampleCandidate(context, index);
    return s == 0 ? kDecoded : kSamplingStatusBase + s;
}
