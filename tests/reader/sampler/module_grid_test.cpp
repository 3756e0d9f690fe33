// Module grid: boundary placement from the size models, the weighted window
// of a cell, its edges at the image border and the failure statuses.
#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "reader/reader_internal.h"
#include "sampler_test_images.h"

namespace {

struct GridDeleter {
    void operator()(ModuleGrid* g) const { dmReleaseGrid(g); }
};
using GridPtr = std::unique_ptr<ModuleGrid, GridDeleter>;

CvPoint2D32f pt(float x, float y) { return cvPoint2D32f(x, y); }
constexpr LineEquation kFlat10{1, 0, 10};

TEST(ModuleGrid, BoundariesFollowTheModels) {
    // Axis-aligned 4 x 3 cells: the top and bottom sides are x-major, the left
    // and right sides y-major, so distances run along x and y respectively.
    const CvPoint2D32f corners[4] = {pt(10, 10), pt(50, 10), pt(50, 40), pt(10, 40)};
    struct Case {
        const char* what;
        LineEquation top, right, left, bottom;
        float columnX[3];  // where the column boundaries cross the top side
        float rowY[2];     // where the row boundaries cross the right side
    };
    const Case cases[] = {
        {"constant modules", kFlat10, kFlat10, kFlat10, kFlat10, {20, 30, 40}, {20, 30}},
        // growing modules 5, 6, 7 along the top; the right model counts from
        // the bottom, so its first boundary from the top uses module 2: 7, then 6
        {"growing modules", {1, 1, 5}, {1, 1, 5}, {1, 1, 5}, {1, 1, 5}, {15, 21, 28}, {17, 23}},
    };
    for (const Case& c : cases) {
        GridPtr grid(dmCreateGrid(4, 3));
        dmBuildGridLines(grid.get(), corners, c.top, c.right, c.left, c.bottom);
        SCOPED_TRACE(c.what);
        EXPECT_EQ(grid->topSide.kind, DM_LINE_X_MAJOR);
        EXPECT_EQ(grid->rightSide.kind, DM_LINE_Y_MAJOR);
        for (int i = 0; i < 3; ++i) {
            const LineEquation& b = grid->boundaries[i];
            ASSERT_EQ(b.kind, DM_LINE_Y_MAJOR);
            EXPECT_FLOAT_EQ(b.slope * 10 + b.intercept, c.columnX[i]);  // at the top side
        }
        for (int j = 0; j < 2; ++j) {
            const LineEquation& b = grid->boundaries[3 + j];
            ASSERT_EQ(b.kind, DM_LINE_X_MAJOR);
            EXPECT_FLOAT_EQ(b.slope * 50 + b.intercept, c.rowY[j]);  // at the right side
        }
    }
}

TEST(ModuleGrid, SlantedSidesMeasureAlongTheirMajorAxis) {
    // The top side rises 1 in 4; distances along it are measured along x, and
    // the point sits on the side.
    const CvPoint2D32f corners[4] = {pt(10, 20), pt(50, 10), pt(50, 50), pt(10, 50)};
    GridPtr grid(dmCreateGrid(2, 2));
    dmBuildGridLines(grid.get(), corners, {1, 0, 20}, kFlat10, kFlat10, {1, 0, 20});
    CvPoint2D32f top;
    ASSERT_EQ(dmIntersectLines(grid->topSide, grid->boundaries[0], &top), 0);
    EXPECT_NEAR(top.x, 30, 1e-4);
    EXPECT_NEAR(top.y, 15, 1e-4);
}

// Samples a single cell with corners TL, TR, BR, BL on the image.
int sampleOne(const TestImage& image, const CvPoint2D32f corners[4], float* ratio) {
    GridPtr grid(dmCreateGrid(1, 1));
    dmBuildGridLines(grid.get(), corners, kFlat10, kFlat10, kFlat10, kFlat10);
    grid->darkRatio[0] = -1;
    const int status = dmSampleCells(grid.get(), image.image);
    *ratio = grid->darkRatio[0];
    return status;
}

// A diamond cell about (cx, cy) whose diagonals are 2r long: radius r.
void diamond(float cx, float cy, float r, CvPoint2D32f out[4]) {
    out[0] = pt(cx, cy - r);
    out[1] = pt(cx + r, cy);
    out[2] = pt(cx, cy + r);
    out[3] = pt(cx - r, cy);
}

TEST(ModuleGrid, CellWindowAndStatuses) {
    enum Fill { kCentrePixel, kCentreRow, kTopRow, kAll };
    struct Case {
        const char* what;
        int width, height;
        float cx, cy, r;
        Fill fill;
        int status;
        float ratio;  // checked for status 0
    };
    const Case cases[] = {
        // R = 2.5: weights 1, 0.6, 0.2, -0.2 for k = 0 .. 3, nothing beyond;
        // the rows y = 18 .. 23 of the truncated window weigh 3.0 in all, the
        // centre row 2.4 of it
        {"centre pixel", 40, 40, 20, 20, 2.5f, kCentrePixel, 0, 1.0f / 3},
        {"centre row", 40, 40, 20, 20, 2.5f, kCentreRow, 0, 0.8f},
        {"all dark", 40, 40, 20, 20, 2.5f, kAll, 0, 1.0f},
        // centred 2 above the top edge, R = 3: rows 0 and 1 only (weights 1.0
        // and -1/3), so a dark row 0 gives 1.5
        {"above the top edge", 40, 40, 20, -2, 3, kTopRow, 0, 1.5f},
        // windows past the left or right edge read only pixels inside
        {"left edge", 40, 40, 1, 20, 3, kAll, 0, 1.0f},
        {"right edge, tall image", 30, 40, 28, 20, 3, kAll, 0, 1.0f},
        // a row reaching past both the width and the height: status 3
        {"right edge, wide image", 30, 10, 28, 5, 3, kAll, 3, 0},
        {"radius not below width", 4, 40, 2, 20, 5, kAll, 3, 0},
        {"corner far left", 40, 40, -400, 20, 3, kAll, 2, 0},
        {"corner far right", 40, 40, 10005, 20, 3, kAll, 2, 0},
        {"below the image", 40, 40, 20, 100, 3, kAll, 2, 0},
        {"no extent", 40, 40, 20, 20, 0, kAll, 2, 0},
    };
    for (const Case& c : cases) {
        TestImage image(c.width, c.height);
        switch (c.fill) {
            case kCentrePixel: image.set(20, 20); break;
            case kCentreRow: image.fillRect(0, 20, c.width - 1, 20); break;
            case kTopRow: image.fillRect(0, 0, c.width - 1, 0); break;
            case kAll: image.fillRect(0, 0, c.width - 1, c.height - 1); break;
        }
        CvPoint2D32f corners[4];
        diamond(c.cx, c.cy, c.r, corners);
        float ratio;
        EXPECT_EQ(sampleOne(image, corners, &ratio), c.status) << c.what;
        if (c.status == 0) {
            EXPECT_NEAR(ratio, c.ratio, 1e-5) << c.what;
        }
    }
}

TEST(ModuleGrid, CollinearCornersFailTheCell) {
    // every side lies on one line: no corner can be intersected
    const TestImage image(40, 40);
    const CvPoint2D32f corners[4] = {pt(0, 5), pt(10, 5), pt(20, 5), pt(30, 5)};
    float ratio;
    EXPECT_EQ(sampleOne(image, corners, &ratio), 2);
}

TEST(ModuleGrid, SingleColumnUsesBothSides) {
    // gridCols = 1: no column boundary; the column spans left to right side.
    TestImage image(40, 60);
    image.fillRect(10, 10, 29, 29);  // the upper cell dark, the lower light
    const CvPoint2D32f corners[4] = {pt(10, 10), pt(30, 10), pt(30, 50), pt(10, 50)};
    GridPtr grid(dmCreateGrid(1, 2));
    dmBuildGridLines(grid.get(), corners, {1, 0, 20}, {1, 0, 20}, {1, 0, 20}, {1, 0, 20});
    ASSERT_EQ(dmSampleCells(grid.get(), image.image), 0);
    unsigned char bits[2] = {9, 9};
    dmThresholdCells(grid.get(), 0.5f, bits);
    EXPECT_EQ(bits[0], 1);
    EXPECT_EQ(bits[1], 0);
}

TEST(ModuleGrid, ThresholdIsStrict) {
    GridPtr grid(dmCreateGrid(2, 2));
    const float ratios[4] = {0.5f, 0.50001f, 0.0f, 1.0f};
    for (int i = 0; i < 4; ++i) grid->darkRatio[i] = ratios[i];
    unsigned char bits[4];
    dmThresholdCells(grid.get(), 0.5f, bits);
    EXPECT_EQ(bits[0], 0);  // exactly one half is light
    EXPECT_EQ(bits[1], 1);
    EXPECT_EQ(bits[2], 0);
    EXPECT_EQ(bits[3], 1);
}

}  // namespace
