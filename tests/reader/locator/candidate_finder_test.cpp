// Candidate finder: corner picking with its tie rules, the solid-side test,
// each reason a polygon is passed over, the scan's capacity, and candidates
// of rendered symbols.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/imgproc/imgproc_c.h>

#include "frame_renderer.h"
#include "reader/reader_internal.h"
#include "symbol_fixtures.h"

namespace {

// Polygons built from point lists, as the contour approximation leaves them
// (closed point sequences with their bounding box stored).
class PolygonTest : public testing::Test {
protected:
    CvMemStorage* storage = cvCreateMemStorage(0);
    ~PolygonTest() override { cvReleaseMemStorage(&storage); }

    CvSeq* polygon(const std::vector<CvPoint>& points) {
        CvSeq* seq = cvCreateSeq(CV_SEQ_POLYGON, sizeof(CvContour), sizeof(CvPoint), storage);
        cvSeqPushMulti(seq, points.data(), static_cast<int>(points.size()));
        cvBoundingRect(seq, 1);
        return seq;
    }
};

// The outline of a symbol-like region: a square of side `size` whose left
// and bottom sides are straight (one edge each, the finder L) and whose top
// and right sides carry `teeth` triangular teeth `depth` pixels deep (the
// timing pattern). Vertex list: bottom-left, top-left, the top's teeth up
// to top-right, the right's teeth down to bottom-right; `firstVertex` turns
// the list so that it starts elsewhere.
std::vector<CvPoint> symbolOutline(CvPoint topLeft, int size, int teeth, int depth = 6,
                                   int firstVertex = 0) {
    const int x0 = topLeft.x, y0 = topLeft.y;
    std::vector<CvPoint> v = {{x0, y0 + size}, {x0, y0}};
    const int steps = 2 * teeth;
    for (int k = 1; k <= steps; ++k) v.push_back({x0 + size * k / steps, y0 + (k % 2) * depth});
    for (int k = 1; k <= steps; ++k) {
        v.push_back({x0 + size - (k % 2) * depth, y0 + size * k / steps});
    }
    std::vector<CvPoint> turned;
    for (size_t i = 0; i < v.size(); ++i) turned.push_back(v[(i + firstVertex) % v.size()]);
    return turned;
}

// Teeth on all four sides.
std::vector<CvPoint> toothedSquare(CvPoint topLeft, int size, int teeth, int depth = 6) {
    const CvPoint c[4] = {topLeft, {topLeft.x + size, topLeft.y},
                          {topLeft.x + size, topLeft.y + size}, {topLeft.x, topLeft.y + size}};
    const CvPoint inward[4] = {{0, 1}, {-1, 0}, {0, -1}, {1, 0}};
    std::vector<CvPoint> v;
    const int steps = 2 * teeth;
    for (int s = 0; s < 4; ++s) {
        const CvPoint a = c[s], b = c[(s + 1) % 4];
        for (int k = 0; k < steps; ++k) {
            const int d = (k % 2) * depth;
            v.push_back({a.x + (b.x - a.x) * k / steps + inward[s].x * d,
                         a.y + (b.y - a.y) * k / steps + inward[s].y * d});
        }
    }
    return v;
}

bool same(CvPoint a, CvPoint b) { return a.x == b.x && a.y == b.y; }

TEST_F(PolygonTest, FindCornersPicksExtremesWithTheirTieRules) {
    struct Case {
        const char* name;
        std::vector<CvPoint> points;
        int status;
        CvPoint corners[4];
    };
    const Case cases[] = {
        // The last vertex (0, 10) is visited first, so it wins the ties for
        // leftmost and for nearest to the bottom-right reference, and the
        // diagonal (0, 10)-(10, 0) is examined before (0, 0)-(10, 10).
        {"square", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 0, {{0, 10}, {10, 0}, {10, 10}, {0, 0}}},
        // Listed from another vertex, the first-visited vertex changes and
        // with it the diagonal.
        {"square, list turned", {{10, 0}, {10, 10}, {0, 10}, {0, 0}}, 0,
         {{0, 0}, {10, 10}, {0, 10}, {10, 0}}},
        {"one vertex", {{5, 5}}, 1, {}},
        {"two vertices", {{0, 0}, {10, 0}}, 2, {}},
        // every extreme point lies on the diagonal: no side has a corner
        {"collinear", {{0, 0}, {5, 5}, {10, 10}}, 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CvPoint corners[4] = {};
        ASSERT_EQ(dmFindCorners(polygon(c.points), corners), c.status);
        if (c.status != 0) continue;
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(same(corners[i], c.corners[i]))
                << "corner " << i << " is (" << corners[i].x << ", " << corners[i].y << ")";
        }
    }
}

TEST_F(PolygonTest, SolidSidesAcrossTheEndOfTheVertexList) {
    // The bottom side (bottom-right to bottom-left) joins the last listed
    // vertex to the first, whichever vertex the list starts with.
    for (const int first : {0, 1, 2, 21}) {
        SCOPED_TRACE(first);
        CvSeq* outline = polygon(symbolOutline({50, 50}, 100, 5, 6, first));
        CvPoint corners[4];
        ASSERT_EQ(dmFindCorners(outline, corners), 0);
        const SolidSides sides = dmSolidSides(outline, corners);
        EXPECT_EQ(sides.count, 2);
        for (int s = 0; s < 4; ++s) {
            if (!sides.solid[s]) continue;
            EXPECT_DOUBLE_EQ(sides.length[s], 100.0) << "side " << s;
        }
    }
}

TEST(DominantSides, PrunesOnlySidesUnderHalfTheLongest) {
    struct Case {
        const char* name;
        int solid[4];
        double length[4];
        int keptSolid[4];
    };
    const Case cases[] = {
        {"100, 90, 40", {1, 1, 1, 0}, {100, 90, 40, 0}, {1, 1, 0, 0}},
        {"exactly half stays", {1, 1, 1, 0}, {100, 50, 80, 0}, {1, 1, 1, 0}},
        // equal longest sides: the lower side number is the winner
        {"tie for longest", {0, 1, 1, 1}, {0, 60, 60, 29}, {0, 1, 1, 0}},
        {"two sides are left alone", {1, 0, 0, 1}, {100, 0, 0, 10}, {1, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SolidSides sides{};
        for (int s = 0; s < 4; ++s) {
            sides.solid[s] = c.solid[s];
            sides.count += c.solid[s];
            sides.length[s] = c.length[s];
        }
        dmKeepDominantSides(&sides);
        int kept = 0;
        for (int s = 0; s < 4; ++s) {
            EXPECT_EQ(sides.solid[s], c.keptSolid[s]) << "side " << s;
            kept += c.keptSolid[s];
        }
        EXPECT_EQ(sides.count, kept);
    }
}

TEST_F(PolygonTest, EachTestPassesOverItsPolygons) {
    const CvSize frame = cvSize(640, 480);
    // A quadrilateral with three straight sides (left 100, top 90, bottom 40
    // or 60) and a toothed right side from (140, 50) down to (90, 150).
    auto threeStraight = [](int bottom) {
        std::vector<CvPoint> v = {{50, 150}, {50, 50}, {140, 50}};
        const CvPoint br = {50 + bottom, 150};
        for (int k = 1; k <= 20; ++k) {
            const int x = 140 + (br.x - 140) * k / 20 - (k % 2) * 7;
            v.push_back({x, 50 + 100 * k / 20});
        }
        return v;
    };
    std::vector<CvPoint> nineteen = symbolOutline({50, 50}, 100, 4);  // 18 vertices
    nineteen.insert(nineteen.begin() + 1, {50, 100});                  // midpoint of the left side
    std::vector<CvPoint> twenty = nineteen;
    twenty.insert(twenty.begin(), {75, 150});                          // midpoint of the bottom
    std::vector<CvPoint> thin;  // 9 pixels wide, 100 high, 22 vertices
    for (int k = 0; k <= 10; ++k) thin.push_back({100 + (k % 2) * 8, 50 + 10 * k});
    for (int k = 10; k >= 0; --k) thin.push_back({108 - (k % 2) * 8, 50 + 10 * k});
    std::vector<CvPoint> sliver;  // a long band along y = x / 5, 3 pixels thick
    for (int k = 0; k <= 10; ++k) sliver.push_back({20 * k, 4 * k + (k % 2) * 2});
    for (int k = 10; k >= 0; --k) sliver.push_back({20 * k + 1, 4 * k + 3 + (k % 2)});
    // Top and bottom straight, left and right toothed.
    std::vector<CvPoint> opposite = {{50, 50}, {150, 50}};
    for (int k = 1; k < 10; ++k) opposite.push_back({150 - (k % 2) * 7, 50 + 10 * k});
    opposite.push_back({150, 150});
    opposite.push_back({50, 150});
    for (int k = 9; k >= 1; --k) opposite.push_back({50 + (k % 2) * 7, 50 + 10 * k});

    struct Case {
        const char* name;
        std::vector<CvPoint> points;
        CvSize image;
        int check;
    };
    const Case cases[] = {
        {"symbol outline", symbolOutline({50, 50}, 100, 5), frame, DM_CANDIDATE_STORED},
        {"20 vertices", twenty, frame, DM_CANDIDATE_STORED},
        {"19 vertices", nineteen, frame, DM_CANDIDATE_FEW_VERTICES},
        {"box 9 pixels wide", thin, frame, DM_CANDIDATE_SMALL_BOX},
        {"sliver", sliver, frame, DM_CANDIDATE_FLAT},
        {"teeth on every side", toothedSquare({50, 50}, 100, 3), frame, DM_CANDIDATE_NOT_TWO_SOLID},
        {"three straight sides, one pruned", threeStraight(40), frame, DM_CANDIDATE_STORED},
        {"three straight sides, none pruned", threeStraight(60), frame,
         DM_CANDIDATE_NOT_TWO_SOLID},
        {"straight sides opposite", opposite, frame, DM_CANDIDATE_NOT_AN_L},
        // the far corner (148, 52) falls just outside a smaller image
        {"cut by the right edge", symbolOutline({50, 50}, 100, 5), cvSize(148, 480),
         DM_CANDIDATE_NO_FAR_CORNER},
        {"cut by the right edge, still inside", symbolOutline({50, 50}, 100, 5), cvSize(149, 480),
         DM_CANDIDATE_STORED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SymbolCandidate candidate;
        const int check = dmCheckPolygon(polygon(c.points), c.image, &candidate);
        EXPECT_EQ(check, c.check) << dmCandidateCheckName(check);
    }
}

TEST_F(PolygonTest, CandidateOfASymbolOutline) {
    // The far ends move 1 pixel inward on sides under 100 pixels, 2 on sides
    // of 100 to 199.
    struct Case {
        int size;
        float inset;
    };
    for (const Case c : {Case{99, 1.0f}, Case{100, 2.0f}, Case{199, 2.0f}, Case{200, 3.0f}}) {
        SCOPED_TRACE(c.size);
        SymbolCandidate k;
        ASSERT_EQ(dmCheckPolygon(polygon(symbolOutline({50, 50}, c.size, 5)), cvSize(640, 480), &k),
                  DM_CANDIDATE_STORED);
        const float right = 50.0f + c.size, bottom = 50.0f + c.size;
        EXPECT_FLOAT_EQ(k.finderCorner.x, 50.0f);
        EXPECT_FLOAT_EQ(k.finderCorner.y, bottom);
        // one end up the left side, the other along the bottom, in either order
        CvPoint2D32f up = k.finderEndA, along = k.finderEndB;
        if (up.x != 50.0f) std::swap(up, along);
        EXPECT_FLOAT_EQ(up.x, 50.0f);
        EXPECT_FLOAT_EQ(up.y, 50.0f + c.inset);
        EXPECT_FLOAT_EQ(along.x, right - c.inset);
        EXPECT_FLOAT_EQ(along.y, bottom);
        // the guessed sides are the parallels through the far ends
        EXPECT_NEAR(k.farCorner.x, right - c.inset, 1e-3);
        EXPECT_NEAR(k.farCorner.y, 50.0f + c.inset, 1e-3);
    }
}

// A bi-level image handed to the candidate search, as binarization leaves it.
struct SearchContext {
    ReaderContext* c = new ReaderContext();
    explicit SearchContext(const cv::Mat& bilevel) {
        c->storage = cvCreateMemStorage(0);
        c->bilevel = cvCreateImage(cvSize(bilevel.cols, bilevel.rows), IPL_DEPTH_8U, 1);
        IplImage source = cvIplImage(bilevel);
        cvCopy(&source, c->bilevel);
    }
    ~SearchContext() {
        cvReleaseImage(&c->bilevel);
        cvReleaseMemStorage(&c->storage);
        delete c;
    }
    void search() { dmFindCandidates(c->bilevel, c); }
};

TEST(FindCandidates, EmptyImageGivesNothing) {
    for (const int value : {0, 255}) {  // nothing white, or one white region without corners
        SCOPED_TRACE(value);
        SearchContext context(cv::Mat(120, 160, CV_8UC1, cv::Scalar(value)));
        context.search();
        EXPECT_EQ(context.c->candidateCount, 0);
    }
}

TEST(FindCandidates, StopsAtOneHundred) {
    // 110 filled symbol outlines, one region each, with teeth deep enough
    // to outlast the polygon approximation.
    cv::Mat bilevel(960, 1000, CV_8UC1, cv::Scalar(0));
    int drawn = 0;
    for (int y = 5; y + 85 < bilevel.rows; y += 90) {
        for (int x = 5; x + 85 < bilevel.cols; x += 90) {
            const std::vector<CvPoint> v = symbolOutline({x, y}, 80, 5, 8);
            std::vector<cv::Point> points(v.begin(), v.end());
            cv::fillPoly(bilevel, std::vector<std::vector<cv::Point>>{points}, cv::Scalar(255));
            ++drawn;
        }
    }
    ASSERT_GT(drawn, DM_MAX_CANDIDATES);
    SearchContext context(bilevel);
    context.search();
    EXPECT_EQ(context.c->candidateCount, DM_MAX_CANDIDATES);
    // The search ran on a copy: the sampler reads the bi-level image intact.
    EXPECT_EQ(cv::norm(cv::cvarrToMat(context.c->bilevel), bilevel, cv::NORM_INF), 0.0);
}

TEST(FindCandidates, RenderedSymbolsGiveTheirFinderL) {
    const SymbolFixture& fixture = symbolFixture("zint-20x20");
    struct Case {
        double rotation, tilt, modulePixels;
    };
    const Case cases[] = {{0, 0, 5}, {30, 0, 5}, {135, 15, 4}, {250, 25, 6}, {333, -20, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rotation " << c.rotation << ", tilt " << c.tilt);
        SymbolPlacement placement;
        placement.modules = fixture.modules;
        placement.rows = fixture.rows;
        placement.cols = fixture.cols;
        placement.center = {320, 240};
        placement.modulePixels = c.modulePixels;
        placement.rotationDegrees = c.rotation;
        placement.tiltXDegrees = c.tilt;
        FrameStyle style;
        style.blurSigma = 0.7;
        style.noiseSigma = 3;
        const RenderedFrame frame = renderFrame(style, {placement});
        cv::Mat bilevel;
        cv::threshold(frame.image, bilevel, 0, 255, cv::THRESH_BINARY_INV | cv::THRESH_OTSU);
        SearchContext context(bilevel);
        context.search();
        const SymbolCorners& truth = frame.corners[0];
        bool found = false;
        for (int i = 0; i < context.c->candidateCount && !found; ++i) {
            const SymbolCandidate& k = context.c->candidates[i];
            auto near = [&](CvPoint2D32f p, const cv::Point2d& q, double tolerance) {
                return std::hypot(p.x - q.x, p.y - q.y) <= tolerance;
            };
            const double module = c.modulePixels;
            found = near(k.finderCorner, truth[3], module) && near(k.farCorner, truth[1], 2 * module) &&
                    ((near(k.finderEndA, truth[0], module) && near(k.finderEndB, truth[2], module)) ||
                     (near(k.finderEndA, truth[2], module) && near(k.finderEndB, truth[0], module)));
        }
        EXPECT_TRUE(found) << context.c->candidateCount << " candidates, none at the symbol";
    }
}

}  // namespace

TEST(FindCandidates, DroppingHopelessContoursKeepsEveryPolygonThatCanPass) {
    // A speckled frame (symbols, noise, adaptive threshold): the polygons
    // that pass the size test must be the same, in the same order, whether
    // or not the tiny contours are approximated first.
    FrameStyle style;
    style.noiseSigma = 8;
    style.blurSigma = 0.6;
    std::vector<SymbolPlacement> placements;
    const char* names[] = {"zint-20x20", "dmtx-c40", "zint-12x26"};
    for (int i = 0; i < 3; ++i) {
        placements.push_back(placeSymbol(symbolFixture(names[i]), {120.0 + 200 * i, 240}, 4 + i, 25.0 * i));
    }
    const RenderedFrame frame = renderFrame(style, placements);
    cv::Mat bilevel;
    cv::adaptiveThreshold(frame.image, bilevel, 255, cv::ADAPTIVE_THRESH_MEAN_C,
                          cv::THRESH_BINARY_INV, 15, 0);

    auto passing = [&](bool dropFirst) {
        CvMemStorage* storage = cvCreateMemStorage(0);
        cv::Mat scratch = bilevel.clone();
        IplImage header = cvIplImage(scratch);
        CvSeq* contours = nullptr;
        cvFindContours(&header, storage, &contours, sizeof(CvContour), CV_RETR_LIST,
                       CV_CHAIN_APPROX_SIMPLE, cvPoint(0, 0));
        if (dropFirst) contours = dmDropHopelessContours(contours);
        std::vector<std::vector<CvPoint>> out;
        CvSeq* polygons = contours ? cvApproxPoly(contours, sizeof(CvContour), storage,
                                                  CV_POLY_APPROX_DP, 5.0, 1)
                                   : nullptr;
        for (CvSeq* p = polygons; p; p = p->h_next) {
            const CvRect box = cvBoundingRect(p, 0);
            if (p->total < 20 || box.width < 10 || box.height < 10) continue;
            std::vector<CvPoint> points(p->total);
            cvCvtSeqToArray(p, points.data());
            out.push_back(points);
        }
        cvReleaseMemStorage(&storage);
        return out;
    };
    const auto all = passing(false);
    const auto dropped = passing(true);
    ASSERT_GE(all.size(), 3u);
    ASSERT_EQ(all.size(), dropped.size());
    for (size_t i = 0; i < all.size(); ++i) {
        ASSERT_EQ(all[i].size(), dropped[i].size()) << i;
        for (size_t k = 0; k < all[i].size(); ++k) {
            EXPECT_TRUE(all[i][k].x == dropped[i][k].x && all[i][k].y == dropped[i][k].y) << i;
        }
    }
}

TEST_F(PolygonTest, HopelessContoursAreUnlinkedAtTheSizeTestsEdges) {
    // (points, box width, box height, kept): 20 points and a 10 x 10 box are
    // the least a polygon needs.
    struct Case {
        int points, width, height;
        bool kept;
    };
    const Case cases[] = {{19, 40, 40, false}, {20, 40, 40, true}, {60, 9, 40, false},
                          {60, 40, 9, false},  {60, 10, 10, true}, {200, 300, 200, true}};
    std::vector<CvSeq*> all;
    for (const Case& c : cases) {
        // A staircase of c.points points spanning c.width x c.height (the
        // box counts pixels, so a span of w - 1 gives width w).
        std::vector<CvPoint> points;
        for (int i = 0; i < c.points; ++i) {
            points.push_back({(c.width - 1) * i / (c.points - 1), (c.height - 1) * ((i * 7) % c.points) / (c.points - 1)});
        }
        all.push_back(polygon(points));
    }
    for (size_t i = 0; i < all.size(); ++i) {
        all[i]->h_prev = i > 0 ? all[i - 1] : nullptr;
        all[i]->h_next = i + 1 < all.size() ? all[i + 1] : nullptr;
    }
    std::vector<CvSeq*> expected;
    for (size_t i = 0; i < all.size(); ++i)
        if (cases[i].kept) expected.push_back(all[i]);

    std::vector<CvSeq*> kept;
    CvSeq* previous = nullptr;
    for (CvSeq* s = dmDropHopelessContours(all[0]); s; s = s->h_next) {
        EXPECT_EQ(s->h_prev, previous);
        kept.push_back(s);
        previous = s;
    }
    EXPECT_EQ(kept, expected);
    EXPECT_EQ(dmDropHopelessContours(nullptr), nullptr);
}
