// Geometry primitives: the cases where kind choice, tie rules, thresholds and
// quadrant boundaries decide what the callers do.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "reader/reader_internal.h"

namespace {

constexpr float kPi = 3.14159265358979323846f;

CvPoint2D32f pt(float x, float y) { return cvPoint2D32f(x, y); }
LineEquation line(int32_t kind, float slope, float intercept) { return {kind, slope, intercept}; }

TEST(Geometry, LineThroughChoosesMajorAxis) {
    struct Case {
        CvPoint2D32f p0, p1;
        int32_t kind;
        float slope, intercept;
    };
    const Case cases[] = {
        {pt(0, 0), pt(10, 10), DM_LINE_X_MAJOR, 1.0f, 0.0f},   // 45 degrees: tie goes to kind 1
        {pt(0, 0), pt(1, 5), DM_LINE_Y_MAJOR, 0.2f, 0.0f},
        {pt(10, 10), pt(0, 10), DM_LINE_X_MAJOR, 0.0f, 10.0f},  // horizontal, reversed
        {pt(3, 0), pt(3, 8), DM_LINE_Y_MAJOR, 0.0f, 3.0f},      // vertical
        {pt(0, 4), pt(10, -6), DM_LINE_X_MAJOR, -1.0f, 4.0f},   // falling 45 degrees
        {pt(2, 1), pt(0, 5), DM_LINE_Y_MAJOR, -0.5f, 2.5f},
    };
    for (const Case& c : cases) {
        const LineEquation l = dmLineThrough(c.p0, c.p1);
        SCOPED_TRACE(testing::Message() << "(" << c.p0.x << "," << c.p0.y << ")-(" << c.p1.x << ","
                                        << c.p1.y << ")");
        EXPECT_EQ(l.kind, c.kind);
        EXPECT_FLOAT_EQ(l.slope, c.slope);
        EXPECT_FLOAT_EQ(l.intercept, c.intercept);
        EXPECT_LE(std::fabs(l.slope), 1.0f);
    }
    // Identical points: kind 1 with an undefined slope, never a crash.
    const LineEquation same = dmLineThrough(pt(4, 4), pt(4, 4));
    EXPECT_EQ(same.kind, DM_LINE_X_MAJOR);
    EXPECT_TRUE(std::isnan(same.slope));
}

TEST(Geometry, IntersectLinesAllKindPairs) {
    struct Case {
        LineEquation a, b;
        int status;
        float x, y;  // expected point for status 0
    };
    const Case cases[] = {
        {line(1, 1, 0), line(2, 0.5f, 1), 0, 2, 2},
        {line(2, 0.5f, 1), line(1, 1, 0), 0, 2, 2},
        {line(1, 0, 5), line(1, 1, 0), 0, 5, 5},
        {line(2, 0, 3), line(2, -1, 10), 0, 3, 7},
        {line(1, 0.5f, 0), line(1, 0.505f, 3), 1, 0, 0},   // slopes closer than 0.01
        {line(2, 0.3f, 0), line(2, 0.305f, 3), 1, 0, 0},
        {line(1, 2, 0), line(2, 0.5f, 1), 1, 0, 0},        // 1 - 0.5 * 2 = 0
        {line(2, 0.5f, 1), line(1, 2, 0), 1, 0, 0},
        {line(1, 0.5f, 0), line(1, 0.52f, 3), 0, -150, -75},  // just beyond the threshold
    };
    for (const Case& c : cases) {
        CvPoint2D32f p = pt(-7, -7);
        SCOPED_TRACE(testing::Message() << c.a.kind << "/" << c.a.slope << " x " << c.b.kind << "/"
                                        << c.b.slope);
        ASSERT_EQ(dmIntersectLines(c.a, c.b, &p), c.status);
        if (c.status == 0) {
            EXPECT_NEAR(p.x, c.x, 1e-3);
            EXPECT_NEAR(p.y, c.y, 1e-3);
        } else {
            EXPECT_EQ(p.x, -7.0f);  // untouched
            EXPECT_EQ(p.y, -7.0f);
        }
    }
    // A failure-marker line meets nothing: status 0, point untouched.
    CvPoint2D32f p = pt(-7, -7);
    EXPECT_EQ(dmIntersectLines(line(DM_LINE_FAILED, 0, 0), line(1, 1, 0), &p), 0);
    EXPECT_EQ(p.x, -7.0f);
}

TEST(Geometry, ParallelThroughKeepsSlope) {
    const LineEquation a = dmParallelThrough(line(1, 0.5f, 3), pt(4, 10));
    EXPECT_EQ(a.kind, 1);
    EXPECT_FLOAT_EQ(a.slope, 0.5f);
    EXPECT_FLOAT_EQ(a.intercept, 8.0f);
    const LineEquation b = dmParallelThrough(line(2, -0.25f, 3), pt(4, 10));
    EXPECT_EQ(b.kind, 2);
    EXPECT_FLOAT_EQ(b.intercept, 6.5f);
}

TEST(Geometry, FitLine) {
    struct Case {
        std::vector<int32_t> v;
        float slope, intercept;
    };
    const Case cases[] = {
        {{5, 5, 5, 5}, 0, 5},
        {{4, 5, 6}, 1, 4},
        {{10, 8, 6, 4, 2, 0, -2}, -2, 10},
        {{3, 4, 3, 4, 3, 4, 3, 4}, 1.0f / 21, 3.3333333f},
    };
    for (const Case& c : cases) {
        const LineEquation l = dmFitLine(c.v.data(), static_cast<int>(c.v.size()));
        EXPECT_EQ(l.kind, DM_LINE_X_MAJOR);
        EXPECT_FLOAT_EQ(l.slope, c.slope);
        EXPECT_FLOAT_EQ(l.intercept, c.intercept);
    }
}

TEST(Geometry, DirectionAngleQuadrants) {
    struct Case {
        float dx, dy;
        double angle;
    };
    const double pif = kPi;  // the single-precision constant, as the reader uses it
    const Case cases[] = {
        {1, 0, 0},
        {0, 1, pif / 2},
        {-1, 0, pif},
        {0, -1, 3 * pif / 2},
        {0, 0, 0},
        {1, 1, pif / 4},
        {-1, 1, 3 * pif / 4},
        {-1, -1, 5 * pif / 4},
        {1, -1, 7 * pif / 4},
        {3, 4, std::atan(4.0 / 3.0)},
    };
    for (const Case& c : cases) {
        const float a = dmDirectionAngle(c.dx, c.dy);
        EXPECT_NEAR(a, c.angle, 1e-6) << c.dx << "," << c.dy;
        EXPECT_GE(a, 0.0f);
        EXPECT_LT(a, 2 * kPi);
    }
}

TEST(Geometry, LineFromAngleRanges) {
    struct Case {
        float theta;
        int32_t kind;
        double slope;
    };
    const double pif = kPi;
    const Case cases[] = {
        {0.0f, 1, 0.0},
        {0.5f, 1, std::tan(0.5)},
        {kPi / 4, 2, 1.0},                       // boundary goes to kind 2
        {1.2f, 2, std::tan(pif / 2 - 1.2f)},
        {kPi / 2, 2, 0.0},
        {2.0f, 2, -std::tan(2.0f - pif / 2)},
        {3.0f, 1, -std::tan(pif - 3.0f)},
        {kPi, 1, 0.0},                           // brought back into [0, pi)
        {kPi + 0.5f, 1, std::tan(0.5)},
        {-0.5f, 1, -std::tan(0.5)},
    };
    for (const Case& c : cases) {
        const LineEquation l = dmLineFromAngle(c.theta, pt(10, 20));
        SCOPED_TRACE(c.theta);
        EXPECT_EQ(l.kind, c.kind);
        EXPECT_NEAR(l.slope, c.slope, 1e-5);
        // through the point
        if (l.kind == 1) EXPECT_NEAR(l.slope * 10 + l.intercept, 20, 1e-4);
        else EXPECT_NEAR(l.slope * 20 + l.intercept, 10, 1e-4);
    }
}

TEST(Geometry, RotateLineTurnsCounterClockwise) {
    struct Case {
        LineEquation in;
        double delta;
        int32_t kind;
        double slope;
    };
    const Case cases[] = {
        {line(1, 0, 5), 0.1, 1, -std::tan(0.1)},
        {line(1, 0, 5), -0.1, 1, std::tan(0.1)},
        {line(2, 0, 5), 0.1, 2, std::tan(0.1)},   // downward direction turns toward +x
        {line(1, 1, 0), 0.1, 1, std::tan(kPi / 4 - 0.1)},   // 45 degrees turned down: x-major
        {line(1, 1, 0), -0.1, 2, std::tan(kPi / 4 - 0.1)},  // turned up: y-major
        // the rise is (slope + intercept) - intercept in single precision: a far
        // intercept rounds it, and the reader's branches depend on that rounding
        {line(1, 0.2f, 1000), 0.0, 1, 0.20001220703125},
        {line(1, -0.5f, 3), 0.0, 1, -0.5},
    };
    const CvPoint2D32f q = pt(7, 9);
    for (const Case& c : cases) {
        const LineEquation l = dmRotateLine(c.in, c.delta, q);
        SCOPED_TRACE(testing::Message() << c.in.kind << "/" << c.in.slope << " by " << c.delta);
        EXPECT_EQ(l.kind, c.kind);
        EXPECT_NEAR(l.slope, c.slope, 1e-6);
        if (l.kind == 1) EXPECT_NEAR(l.slope * q.x + l.intercept, q.y, 1e-4);
        else EXPECT_NEAR(l.slope * q.y + l.intercept, q.x, 1e-4);
    }
}

TEST(Geometry, StepAlongMovesTowardTarget) {
    struct Case {
        LineEquation l;
        float s;
        CvPoint2D32f from, toward, expect;
    };
    const float r = 5.0f / std::sqrt(2.0f);
    const Case cases[] = {
        {line(1, 0, 10), 5, pt(10, 10), pt(0, 10), pt(5, 10)},
        {line(1, 0, 10), 5, pt(10, 10), pt(20, 10), pt(15, 10)},
        {line(2, 0, 3), 4, pt(3, 10), pt(3, 0), pt(3, 6)},
        {line(1, 1, 0), 5, pt(10, 10), pt(20, 20), pt(10 + r, 10 + r)},
        {line(1, -1, 20), 5, pt(10, 10), pt(20, 0), pt(10 + r, 10 - r)},
        // each coordinate moves toward the target separately
        {line(1, 1, 0), 5, pt(10, 10), pt(20, 0), pt(10 + r, 10 - r)},
        {line(DM_LINE_FAILED, 1, 0), 5, pt(10, 10), pt(20, 20), pt(10, 10)},
    };
    for (const Case& c : cases) {
        const CvPoint2D32f p = dmStepAlong(c.l, c.s, c.from, c.toward);
        EXPECT_NEAR(p.x, c.expect.x, 1e-5);
        EXPECT_NEAR(p.y, c.expect.y, 1e-5);
    }
}

TEST(Geometry, ClockwiseConvex) {
    struct Case {
        CvPoint p[4];
        bool expect;
    };
    const Case cases[] = {
        {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true},
        {{{0, 10}, {10, 10}, {10, 0}, {0, 0}}, false},     // counter-clockwise
        {{{10, 0}, {10, 10}, {0, 10}, {0, 0}}, true},      // rotated start
        {{{0, 0}, {5, 0}, {10, 0}, {0, 10}}, false},       // three collinear
        {{{0, 0}, {10, 0}, {3, 3}, {0, 10}}, false},       // concave
        {{{0, 0}, {10, 10}, {10, 0}, {0, 10}}, false},     // self-crossing
        {{{5, 0}, {10, 5}, {5, 10}, {0, 5}}, true},        // diamond
        {{{-2000000000, -2000000000}, {2000000000, -2000000000}, {2000000000, 2000000000},
          {-2000000000, 2000000000}}, true},               // no overflow at the extremes
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dmIsClockwiseConvex(c.p[0], c.p[1], c.p[2], c.p[3]), c.expect)
            << c.p[0].x << "," << c.p[0].y << " " << c.p[1].x << "," << c.p[1].y << " " << c.p[2].x
            << "," << c.p[2].y << " " << c.p[3].x << "," << c.p[3].y;
    }
}

TEST(Geometry, Distance) {
    EXPECT_DOUBLE_EQ(dmDistance(0, 0, 3, 4), 5.0);
    EXPECT_DOUBLE_EQ(dmDistance(3, 4, 3, 4), 0.0);
}

}  // namespace
