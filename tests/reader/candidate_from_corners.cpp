#include "candidate_from_corners.h"

#include <cmath>

namespace {

// Dark pixels are searched this far around a true corner.
constexpr int kVertexSearch = 4;

CvPoint2D32f nearestDark(const IplImage* bilevel, const cv::Point2d& p) {
    CvPoint2D32f best = cvPoint2D32f(p.x, p.y);
    double bestDistance = 1e9;
    for (int y = static_cast<int>(p.y) - kVertexSearch; y <= static_cast<int>(p.y) + kVertexSearch; ++y) {
        for (int x = static_cast<int>(p.x) - kVertexSearch; x <= static_cast<int>(p.x) + kVertexSearch; ++x) {
            if (x < 0 || y < 0 || x >= bilevel->width || y >= bilevel->height) continue;
            const unsigned char v =
                reinterpret_cast<const unsigned char*>(bilevel->imageData)[y * bilevel->widthStep + x];
            const double d = std::hypot(x - p.x, y - p.y);
            if (v == 255 && d < bestDistance) {
                bestDistance = d;
                best = cvPoint2D32f(x, y);
            }
        }
    }
    return best;
}

}  // namespace

bool candidateFromCorners(const IplImage* bilevel, const SymbolCorners& truth, bool leftFirst,
                          SymbolCandidate* candidate) {
    const CvPoint2D32f corner = nearestDark(bilevel, truth[3]);
    CvPoint2D32f top = nearestDark(bilevel, truth[0]);
    CvPoint2D32f right = nearestDark(bilevel, truth[2]);
    const LineEquation leftLine = dmLineThrough(corner, top);
    const LineEquation bottomLine = dmLineThrough(corner, right);
    const double leftLength = dmDistance(corner.x, corner.y, top.x, top.y);
    const double bottomLength = dmDistance(corner.x, corner.y, right.x, right.y);
    top = dmStepAlong(leftLine, static_cast<float>(1 + std::floor(leftLength / 100)), top, corner);
    right = dmStepAlong(bottomLine, static_cast<float>(1 + std::floor(bottomLength / 100)), right, corner);

    SymbolCandidate& c = *candidate;
    c.finderCorner = corner;
    c.finderLineA = leftFirst ? leftLine : bottomLine;
    c.finderLineB = leftFirst ? bottomLine : leftLine;
    c.finderEndA = leftFirst ? top : right;
    c.finderEndB = leftFirst ? right : top;
    c.timingLineA = dmParallelThrough(c.finderLineA, c.finderEndB);
    c.timingLineB = dmParallelThrough(c.finderLineB, c.finderEndA);
    c.farCorner = cvPoint2D32f(truth[1].x, truth[1].y);
    return dmIntersectLines(c.timingLineA, c.timingLineB, &c.farCorner) == 0;
}
