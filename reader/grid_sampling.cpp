// Grid sampling: one oriented candidate -> module counts, symbol size, module
// grid, module matrix, ECC 200 decode, result text.
//
// The timing edges give the module counts and, through a straight-line fit of
// their run lengths, how the module size changes along each edge. The top
// timing row and the right timing column are not sampled; the matrix gets an
// alternating fill there, which the decoder never reads.
#include <cmath>
#include <cstring>

#include "ecc200/ecc200.h"
#include "reader_internal.h"

namespace {

constexpr int kMaxModules = 144;  // largest symbol side
constexpr float kCellThreshold = 0.5f;
// At most one corrected codeword per ten characters of text.
constexpr float kMaxCorrectionsPerChar = 0.1f;

// dmSampleCandidate statuses.
constexpr int kSampled = 0;
constexpr int kBadSize = 3;
constexpr int kNoInnerEdge = 4;
constexpr int kCellsFailed = 5;
constexpr int kUncorrectable = 11;
constexpr int kDecodeFailed = 12;
constexpr int kTooManyCorrections = 13;

// dmFindFirstDark starts that far outside the image walk straight to this
// distance before the image: nothing is read on the way.
constexpr float kWalkMargin = 64.0f;

// Straight-line model of the module size over the runs of the last scan: the
// inner runs, without a light leading run.
LineEquation fitModules(int modules) {
    const RunProfile& profile = dmRunProfile();
    const int first = profile.runCount > 0 && profile.runLight[0] ? 1 : 0;
    return dmFitLine(&profile.runLength[first], modules);
}

float extent(const LineEquation& line, CvPoint2D32f p, CvPoint2D32f q) {
    return line.kind == DM_LINE_X_MAJOR ? std::fabs(q.x - p.x) : std::fabs(q.y - p.y);
}

LineEquation scaled(const LineEquation& model, float factor) {
    LineEquation result = model;
    result.slope = model.slope * factor;
    result.intercept = model.intercept * factor;
    return result;
}

}  // namespace

CvPoint2D32f dmFindFirstDark(const IplImage* image, const LineEquation& line, CvPoint2D32f from,
                             CvPoint2D32f toward) {
    const CvPoint2D32f none = cvPoint2D32f(-1, -1);
    if (line.kind != DM_LINE_X_MAJOR && line.kind != DM_LINE_Y_MAJOR) return none;
    const bool xMajor = line.kind == DM_LINE_X_MAJOR;
    const float start = xMajor ? from.x : from.y;
    const float target = xMajor ? toward.x : toward.y;
    if (!std::isfinite(start) || !std::isfinite(target)) return none;
    const float low = std::fmin(start, target);
    const float high = std::fmax(start, target);
    const float step = target > start ? 1.0f : -1.0f;
    const int width = image->width;
    const int height = image->height;
    const float majorSize = static_cast<float>(xMajor ? width : height);
    const unsigned char* pixels = reinterpret_cast<const unsigned char*>(image->imageData);

    // Floats this large have no fraction left, and adding 1 would not move them.
    constexpr float kWholeFloats = 8388608.0f;
    float major = start;
    if (step > 0 && major < -kWalkMargin) {
        const double d = major;
        major = major < -kWholeFloats ? -kWalkMargin
                                      : static_cast<float>(d + std::floor(-kWalkMargin - d));
    }
    if (step < 0 && major > majorSize + kWalkMargin) {
        const double d = major;
        major = major > kWholeFloats ? majorSize + kWalkMargin
                                     : static_cast<float>(d - std::floor(d - majorSize - kWalkMargin));
    }
    // Each step moves one pixel, so the walk leaves the image within this
    // many steps after the jump.
    const int maxSteps = static_cast<int>(majorSize) + 2 * static_cast<int>(kWalkMargin) + 8;
    for (int n = 0; n < maxSteps; ++n) {
        major = major + step;
        const float minor = line.slope * major + line.intercept;
        if (major < low || major > high) return none;
        // Past the image in the walk direction nothing more can be dark.
        if (step > 0 && major > majorSize + 1) return none;
        if (step < 0 && major < -2) return none;
        const float x = xMajor ? major : minor;
        const float y = xMajor ? minor : major;
        if (!(x > -1.0f && x < width && y > -1.0f && y < height)) continue;
        const long ix = std::lrintf(x);
        const long iy = std::lrintf(y);
        if (ix < 0 || ix >= width || iy < 0 || iy >= height) continue;
        if (pixels[static_cast<size_t>(iy) * image->widthStep + ix] == 255) return cvPoint2D32f(x, y);
    }
    return none;
}

int dmSampleCandidate(ReaderContext* context, int index) {
    SymbolCandidate& c = context->candidates[index];
    const IplImage* image = context->sampled;
    const LineEquation& left = c.finderLineA;
    const LineEquation& bottom = c.finderLineB;
    const LineEquation& right = c.timingLineA;
    const LineEquation& top = c.timingLineB;

    // Module counts; each fit is taken before the next scan overwrites the profile.
    const int colCount =
        dmCountInnerRuns(image, top, c.finderCorner.x, c.finderCorner.y, c.finderEndA.x,
                         c.finderEndA.y) + 1;
    if (colCount > kMaxModules) return kBadSize;
    const LineEquation topModel = fitModules(colCount - 1);
    const int rowCount =
        dmCountInnerRuns(image, right, c.finderEndB.x, c.finderEndB.y, c.finderEndA.x,
                         c.finderEndA.y) + 1;
    if (rowCount > kMaxModules) return kBadSize;
    const LineEquation rightModel = fitModules(rowCount - 1);  // counts from the bottom

    const int size = dmFindSymbolSize(rowCount, colCount);
    if (size < 0) return kBadSize;
    const int rows = kSymbolSizes[size].rows;
    const int cols = kSymbolSizes[size].cols;

    // The top-right module is light: the first dark pixel from that corner
    // along each timing edge marks the inner edge of the other timing edge.
    const CvPoint2D32f v1 = dmFindFirstDark(image, top, c.finderEndA, c.finderCorner);
    if (v1.x < 0) return kNoInnerEdge;
    const CvPoint2D32f v2 = dmFindFirstDark(image, right, c.finderEndA, c.finderEndB);
    if (v2.x < 0) return kNoInnerEdge;

    // Move TL, TR and BR one module inward, off the timing edges. Nearly
    // parallel lines give no corner: the inner edges cannot be placed.
    const LineEquation topInner = dmParallelThrough(top, v2);
    const LineEquation rightInner = dmParallelThrough(right, v1);
    CvPoint2D32f tr, tl, br;
    if (dmIntersectLines(topInner, rightInner, &tr) || dmIntersectLines(topInner, left, &tl) ||
        dmIntersectLines(rightInner, bottom, &br))
        return kNoInnerEdge;
    c.finderEndA = tr;
    c.finderCorner = tl;
    c.finderEndB = br;
    const CvPoint2D32f bl = c.farCorner;

    // The finder sides show no modules: carry the opposite timing side's
    // model over, scaled by the ratio of the sides' extents.
    const LineEquation leftModel =
        scaled(rightModel, extent(left, tl, bl) / extent(right, tr, br));
    const LineEquation bottomModel =
        scaled(topModel, extent(bottom, br, bl) / extent(top, tl, tr));

    ModuleGrid* grid = dmCreateGrid(cols - 1, rows - 1);
    const CvPoint2D32f corners[4] = {tl, tr, br, bl};
    dmBuildGridLines(grid, corners, topModel, rightModel, leftModel, bottomModel);

    unsigned char bits[kMaxModules * kMaxModules];
    std::memset(bits, 0, sizeof bits);
    int cells;
    try {
        cells = dmSampleCells(grid, image);  // its weight table may fail to allocate
    } catch (...) {
        dmReleaseGrid(grid);
        throw;
    }
    if (cells != 0) {
        dmReleaseGrid(grid);
        return kCellsFailed;
    }
    dmThresholdCells(grid, kCellThreshold, bits);
    dmReleaseGrid(grid);

    unsigned char matrix[kMaxModules * kMaxModules];
    for (int r = 0; r < rows; ++r)
        for (int col = 0; col < cols; ++col) {
            unsigned char module;
            if (col == cols - 1) module = static_cast<unsigned char>(r % 2);
            else if (r == 0) module = static_cast<unsigned char>(col % 2);
            else module = bits[(r - 1) * (cols - 1) + col];
            matrix[r * cols + col] = module;
        }

    int32_t corrected = 0;
    const Ecc200Result result = dmDecodeEcc200(rows, cols, matrix, &corrected);
    if (result.status == ECC200_UNCORRECTABLE) return kUncorrectable;
    if (result.status != ECC200_DECODED) return kDecodeFailed;

    const size_t length = strnlen(result.text, sizeof result.text);
    if ((context->options & DM_CHECK_CORRECTIONS) &&
        corrected > static_cast<double>(length) * static_cast<double>(kMaxCorrectionsPerChar))
        return kTooManyCorrections;

    // The text field holds DM_TEXT_BYTES with the NUL, whatever came back.
    DecodedSymbol& slot = context->results[context->resultCount];
    const size_t copied = length < sizeof slot.text ? length : sizeof slot.text - 1;
    std::memcpy(slot.text, result.text, copied);
    slot.text[copied] = '\0';
    ++context->resultCount;
    return kSampled;
}
