// Candidate finder: outlines of the white regions of the bi-level image are
// approximated by polygons, and a polygon whose outline shows the L of two
// solid, straight finder sides (each spanned by at most two polygon edges)
// becomes a first guess of a whole symbol: the two finder lines, their far
// ends pulled slightly inward, the two opposite sides as parallels and the
// far corner where those cross.
#include <cmath>
#include <cstdint>

#include <opencv2/core/core_c.h>
#include <opencv2/imgproc/imgproc_c.h>

#include "reader/reader_internal.h"

namespace {

constexpr double kPolygonAccuracy = 5.0;  // pixels, Douglas-Peucker
constexpr int kMinVertices = 20;
constexpr int kMinBoxSide = 10;           // pixels, width and height each
constexpr double kFlatnessFactor = 1.1;
constexpr int kSolidSpan = 3;             // a solid side spans fewer polygon steps
constexpr double kDominanceFactor = 0.5;
constexpr double kInsetStep = 100.0;      // pixels of side length per pixel of inset
constexpr int kExtremePoints = 8;
constexpr int kSides = 4;

// Corner pairs of the four sides, as indices into the corners of dmFindCorners.
constexpr int kSideCorners[kSides][2] = {{0, 2}, {0, 3}, {1, 2}, {1, 3}};

// Vertices are visited last first, then 0, 1, ..., n - 2: the sequence
// reader starts at the last element and reads forward, wrapping. The order
// decides the ties of the extreme points and of the corner positions.
struct VertexWalk {
    CvSeqReader reader;
    explicit VertexWalk(CvSeq* polygon) { cvStartReadSeq(polygon, &reader, 1); }
    CvPoint next() {
        CvPoint p;
        CV_READ_SEQ_ELEM(p, reader);
        return p;
    }
};

CvPoint2D32f toFloat(CvPoint p) {
    return cvPoint2D32f(static_cast<float>(p.x), static_cast<float>(p.y));
}

bool samePoint(CvPoint a, CvPoint b) { return a.x == b.x && a.y == b.y; }

double distance(CvPoint a, CvPoint b) { return dmDistance(a.x, a.y, b.x, b.y); }

double distance(CvPoint2D32f a, CvPoint2D32f b) { return dmDistance(a.x, a.y, b.x, b.y); }

// Distance the far end of a finder side moves toward the finder corner, so
// that the guessed opposite sides start inside the symbol.
float insetFor(double sideLength) {
    return static_cast<float>(1.0 + std::floor(sideLength / kInsetStep));
}

}  // namespace

const char* dmCandidateCheckName(int32_t check) {
    switch (check) {
        case DM_CANDIDATE_STORED: return "stored";
        case DM_CANDIDATE_FEW_VERTICES: return "too few vertices";
        case DM_CANDIDATE_SMALL_BOX: return "box too small";
        case DM_CANDIDATE_NO_CORNERS: return "no corners";
        case DM_CANDIDATE_FLAT: return "flat";
        case DM_CANDIDATE_NOT_TWO_SOLID: return "not two solid sides";
        case DM_CANDIDATE_NOT_AN_L: return "solid sides opposite";
        case DM_CANDIDATE_NO_FAR_CORNER: return "no far corner in the image";
        case DM_CANDIDATE_DEGENERATE: return "corners coincide";
    }
    return "unknown candidate check";
}

int dmFindCorners(CvSeq* polygon, CvPoint corners[4]) {
    const int n = polygon->total;
    VertexWalk walk(polygon);
    const CvPoint first = walk.next();
    CvPoint e[kExtremePoints];
    for (CvPoint& p : e) p = first;

    const CvRect box = cvBoundingRect(polygon, 0);
    const int right = box.x + box.width;
    const int bottom = box.y + box.height;
    // The left and top references are the image's x = 0 and y = 0, not the box's.
    const CvPoint reference[4] = {{0, 0}, {right, 0}, {0, bottom}, {right, bottom}};

    for (int v = 1; v < n; ++v) {
        const CvPoint p = walk.next();
        if (p.x < e[0].x) e[0] = p;
        if (p.x > e[1].x) e[1] = p;
        if (p.y < e[2].y) e[2] = p;
        if (p.y > e[3].y) e[3] = p;
        for (int r = 0; r < 4; ++r) {
            if (distance(p, reference[r]) < distance(e[4 + r], reference[r])) e[4 + r] = p;
        }
    }

    int bi = -1;
    int bj = -1;
    double longest = 0.0;
    for (int i = 0; i < kExtremePoints - 1; ++i) {
        for (int j = i + 1; j < kExtremePoints; ++j) {
            if (samePoint(e[i], e[j])) continue;
            const double d = distance(e[i], e[j]);
            if (bi < 0 || d > longest) {
                longest = d;
                bi = i;
                bj = j;
            }
        }
    }
    if (bi < 0) return 1;

    const LineEquation diagonal = dmLineThrough(toFloat(e[bj]), toFloat(e[bi]));
    int positive = -1;
    int negative = -1;
    double positiveSum = 0.0;
    double negativeSum = 0.0;
    for (int k = 0; k < kExtremePoints; ++k) {
        if (k == bi || k == bj || samePoint(e[k], e[bi]) || samePoint(e[k], e[bj])) continue;
        const double sum = distance(e[k], e[bj]) + distance(e[k], e[bi]);
        const float x = static_cast<float>(e[k].x);
        const float y = static_cast<float>(e[k].y);
        const float side = diagonal.kind == DM_LINE_X_MAJOR ? y - diagonal.slope * x
                                                            : x - diagonal.slope * y;
        if (side > diagonal.intercept) {
            if (sum > positiveSum) {
                positiveSum = sum;
                positive = k;
            }
        } else if (side < diagonal.intercept) {
            if (sum > negativeSum) {
                negativeSum = sum;
                negative = k;
            }
        }
    }
    if (positive < 0 || negative < 0) return 2;

    corners[0] = e[bi];
    corners[1] = e[bj];
    corners[2] = e[positive];
    corners[3] = e[negative];
    return 0;
}

SolidSides dmSolidSides(CvSeq* polygon, const CvPoint corners[4]) {
    const int n = polygon->total;
    int idx[4] = {-1, -1, -1, -1};
    VertexWalk walk(polygon);
    for (int visit = 0; visit < n; ++visit) {
        const CvPoint p = walk.next();
        for (int c = 0; c < 4; ++c) {
            if (samePoint(p, corners[c])) idx[c] = visit;
        }
    }

    SolidSides sides{};
    for (int s = 0; s < kSides; ++s) {
        int lo = kSideCorners[s][0];
        int hi = kSideCorners[s][1];
        if (idx[lo] > idx[hi]) {
            const int t = lo;
            lo = hi;
            hi = t;
        }
        const int forward = idx[hi] - idx[lo];
        const int backward = idx[lo] - idx[hi] + n;
        const int span = forward < backward ? forward : backward;
        if (span < kSolidSpan) {
            sides.solid[s] = 1;
            sides.count += 1;
            sides.length[s] = distance(corners[lo], corners[hi]);
            sides.line[s] = dmLineThrough(toFloat(corners[lo]), toFloat(corners[hi]));
        }
    }
    return sides;
}

void dmKeepDominantSides(SolidSides* sides) {
    if (sides->count <= 2) return;
    int winner = -1;
    for (int s = 0; s < kSides; ++s) {
        if (sides->solid[s] && (winner < 0 || sides->length[s] > sides->length[winner])) winner = s;
    }
    for (int s = 0; s < kSides; ++s) {
        if (s == winner || !sides->solid[s]) continue;
        if (kDominanceFactor * sides->length[winner] > sides->length[s]) {
            sides->solid[s] = 0;
            sides->count -= 1;
        }
    }
}

int dmCheckPolygon(CvSeq* polygon, CvSize imageSize, SymbolCandidate* candidate) {
    if (polygon->total < kMinVertices) return DM_CANDIDATE_FEW_VERTICES;
    const CvRect box = cvBoundingRect(polygon, 0);
    if (box.width < kMinBoxSide || box.height < kMinBoxSide) return DM_CANDIDATE_SMALL_BOX;

    CvPoint p[4];
    if (dmFindCorners(polygon, p) != 0) return DM_CANDIDATE_NO_CORNERS;

    const double flat = kFlatnessFactor * distance(p[0], p[1]);
    if (distance(p[0], p[2]) + distance(p[1], p[2]) < flat &&
        distance(p[0], p[3]) + distance(p[1], p[3]) < flat) {
        return DM_CANDIDATE_FLAT;
    }

    SolidSides sides = dmSolidSides(polygon, p);
    if (sides.count < 2) return DM_CANDIDATE_NOT_TWO_SOLID;
    dmKeepDominantSides(&sides);
    if (sides.count != 2) return DM_CANDIDATE_NOT_TWO_SOLID;

    // The shared corner A and the far ends B and C of the first and second
    // solid side.
    int a, b, c, first, second;
    const int32_t* solid = sides.solid;
    if (solid[0] && solid[1]) {
        a = 0; b = 2; c = 3; first = 0; second = 1;
    } else if (solid[2] && solid[3]) {
        a = 1; b = 2; c = 3; first = 2; second = 3;
    } else if (solid[1] && solid[3]) {
        a = 3; b = 0; c = 1; first = 1; second = 3;
    } else if (solid[0] && solid[2]) {
        a = 2; b = 0; c = 1; first = 0; second = 2;
    } else {
        return DM_CANDIDATE_NOT_AN_L;
    }
    const LineEquation& firstLine = sides.line[first];
    const LineEquation& secondLine = sides.line[second];
    const CvPoint2D32f cornerA = toFloat(p[a]);
    const CvPoint2D32f endB = toFloat(p[b]);
    const CvPoint2D32f endC = toFloat(p[c]);

    const CvPoint2D32f insetB = dmStepAlong(firstLine, insetFor(distance(cornerA, endB)), endB, cornerA);
    const CvPoint2D32f insetC =
        dmStepAlong(secondLine, insetFor(distance(cornerA, endC)), endC, cornerA);

    const LineEquation timingA = dmParallelThrough(firstLine, insetC);
    const LineEquation timingB = dmParallelThrough(secondLine, insetB);

    CvPoint2D32f far = cvPoint2D32f(0.0f, 0.0f);
    if (dmIntersectLines(timingA, timingB, &far) != 0) return DM_CANDIDATE_NO_FAR_CORNER;
    // Written so that a point that is not a number fails too.
    if (!(far.x >= 0.0f && far.y >= 0.0f && far.x < imageSize.width && far.y < imageSize.height)) {
        return DM_CANDIDATE_NO_FAR_CORNER;
    }

    const CvPoint2D32f quad[4] = {cornerA, insetB, insetC, far};
    CvPoint whole[4];
    for (int i = 0; i < 4; ++i) {
        whole[i] = cvPoint(static_cast<int>(quad[i].x), static_cast<int>(quad[i].y));
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            if (samePoint(whole[i], whole[j])) return DM_CANDIDATE_DEGENERATE;
        }
    }

    candidate->finderLineA = firstLine;
    candidate->finderLineB = secondLine;
    candidate->timingLineA = timingA;
    candidate->timingLineB = timingB;
    candidate->finderCorner = cornerA;
    candidate->finderEndA = insetB;
    candidate->finderEndB = insetC;
    candidate->farCorner = far;
    return DM_CANDIDATE_STORED;
}

CvSeq* dmDropHopelessContours(CvSeq* contours) {
    // The approximated polygon keeps a subset of its contour's points, so it
    // has at most as many vertices and a box no larger. A contour with fewer
    // than kMinVertices points or a box below kMinBoxSide can only give a
    // polygon that fails the size test; leaving it out of the approximation
    // changes no candidate and no order, and saves most of the work on
    // speckled images (noise, texture), which hold tens of thousands of tiny
    // outlines.
    CvSeq* first = nullptr;
    CvSeq* last = nullptr;
    for (CvSeq* contour = contours; contour != nullptr;) {
        CvSeq* next = contour->h_next;
        bool hopeless = contour->total < kMinVertices;
        if (!hopeless) {
            const CvRect box = cvBoundingRect(contour, 0);
            hopeless = box.width < kMinBoxSide || box.height < kMinBoxSide;
        }
        if (!hopeless) {
            contour->h_prev = last;
            contour->h_next = nullptr;
            if (last) {
                last->h_next = contour;
            } else {
                first = contour;
            }
            last = contour;
        }
        contour = next;
    }
    return first;
}

void dmFindCandidates(IplImage* image, ReaderContext* context) {
    const CvSize size = cvGetSize(image);

    // The contour search alters its input, and the sampler needs the
    // bi-level image intact, so the search runs on a copy.
    IplImage* scratch = cvCreateImage(size, IPL_DEPTH_8U, 1);
    try {
        cvCopy(context->bilevel, scratch);
        CvSeq* contours = nullptr;
        cvFindContours(scratch, context->storage, &contours, sizeof(CvContour), CV_RETR_LIST,
                       CV_CHAIN_APPROX_SIMPLE, cvPoint(0, 0));
        contours = dmDropHopelessContours(contours);
        // An image without a single white region, or without a contour that
        // could pass the size test, has nothing to approximate.
        context->polygons = contours == nullptr
                                ? nullptr
                                : cvApproxPoly(contours, sizeof(CvContour), context->storage,
                                               CV_POLY_APPROX_DP, kPolygonAccuracy, 1);
    } catch (...) {
        cvReleaseImage(&scratch);
        throw;
    }
    cvReleaseImage(&scratch);

    for (CvSeq* polygon = context->polygons;
         polygon != nullptr && context->candidateCount < DM_MAX_CANDIDATES;
         polygon = polygon->h_next) {
        SymbolCandidate* slot = &context->candidates[context->candidateCount];
        if (dmCheckPolygon(polygon, size, slot) == DM_CANDIDATE_STORED) {
            context->candidateCount += 1;
        }
    }
}
