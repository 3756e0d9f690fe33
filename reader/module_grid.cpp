// The perspective-following module grid and the sampling of its cells.
//
// Column boundaries join points measured off along the top and the bottom
// side, row boundaries points along the right and the left side, each at
// distances predicted by a straight-line model of the module size. Each cell
// is sampled in a disc about its centre, weighted by city-block distance.
#include <algorithm>
#include <cmath>

#include "reader_internal.h"

namespace {

// Cell corners outside this band of x mean the grid has run off into
// nonsense (y is not tested).
constexpr float kMinCornerX = -300.0f;
constexpr float kMaxCornerX = 10000.0f;

// Centres farther out than this cannot lie near any image; they fail the cell
// before any coordinate is converted to an integer.
constexpr double kMaxCentre = 1e9;

// dmSampleCells statuses.
constexpr int kCellsSampled = 0;
constexpr int kCellOutside = 2;
constexpr int kCellTooLarge = 3;

CvPoint2D32f pointAlong(const LineEquation& side, float s, CvPoint2D32f p, CvPoint2D32f q) {
    CvPoint2D32f r;
    if (side.kind == DM_LINE_X_MAJOR) {
        const float sign = q.x - p.x > 0 ? 1.0f : -1.0f;
        r.x = p.x + sign * s;
        r.y = side.slope * r.x + side.intercept;
    } else {
        const float sign = q.y - p.y > 0 ? 1.0f : -1.0f;
        r.y = p.y + sign * s;
        r.x = side.slope * r.y + side.intercept;
    }
    return r;
}

float cornerDistance(CvPoint2D32f a, CvPoint2D32f b) {
    return static_cast<float>(dmDistance(a.x, a.y, b.x, b.y));
}

}  // namespace

ModuleGrid* dmCreateGrid(int gridCols, int gridRows) {
    ModuleGrid* grid = new ModuleGrid();
    grid->gridCols = gridCols;
    grid->gridRows = gridRows;
    try {
        grid->boundaries = new LineEquation[static_cast<size_t>(gridCols - 1 + gridRows - 1)];
        grid->darkRatio = new float[static_cast<size_t>(gridCols) * gridRows]();
    } catch (...) {
        dmReleaseGrid(grid);
        throw;
    }
    return grid;
}

void dmReleaseGrid(ModuleGrid* grid) {
    if (!grid) return;
    delete[] grid->boundaries;
    delete[] grid->darkRatio;
    delete grid;
}

void dmBuildGridLines(ModuleGrid* grid, const CvPoint2D32f corners[4], const LineEquation& topModel,
                      const LineEquation& rightModel, const LineEquation& leftModel,
                      const LineEquation& bottomModel) {
    const CvPoint2D32f tl = corners[0], tr = corners[1], br = corners[2], bl = corners[3];
    for (int i = 0; i < 4; ++i) grid->gridCorners[i] = corners[i];
    grid->topSide = dmLineThrough(tl, tr);
    grid->rightSide = dmLineThrough(tr, br);
    grid->bottomSide = dmLineThrough(br, bl);
    grid->leftSide = dmLineThrough(bl, tl);

    float a = 0.0f, b = 0.0f;
    for (int i = 0; i <= grid->gridCols - 2; ++i) {
        a = a + topModel.slope * i + topModel.intercept;
        b = b + bottomModel.slope * i + bottomModel.intercept;
        const CvPoint2D32f top = pointAlong(grid->topSide, a, tl, tr);
        const CvPoint2D32f bottom = pointAlong(grid->bottomSide, b, bl, br);
        grid->boundaries[i] = dmLineThrough(top, bottom);
    }
    // The right model counts its modules from the bottom.
    float c = 0.0f, d = 0.0f;
    for (int j = 0; j <= grid->gridRows - 2; ++j) {
        const int t = grid->gridRows - 1 - j;
        c = c + rightModel.slope * t + rightModel.intercept;
        d = d + leftModel.slope * t + leftModel.intercept;
        const CvPoint2D32f right = pointAlong(grid->rightSide, c, tr, br);
        const CvPoint2D32f left = pointAlong(grid->leftSide, d, tl, bl);
        grid->boundaries[grid->gridCols - 1 + j] = dmLineThrough(right, left);
    }
}

namespace {

// One cell's weighted dark share into *ratio; a dmSampleCells status.
int sampleCell(const ModuleGrid* grid, const IplImage* image, float* table, int r, int c,
               float* ratio) {
    const int width = image->width;
    const int height = image->height;
    const LineEquation* columns = grid->boundaries;
    const LineEquation* rows = grid->boundaries + (grid->gridCols - 1);
    const LineEquation& top = r == 0 ? grid->topSide : rows[r - 1];
    const LineEquation& bottom = r == grid->gridRows - 1 ? grid->bottomSide : rows[r];
    const LineEquation& left = c == 0 ? grid->leftSide : columns[c - 1];
    const LineEquation& right = c == grid->gridCols - 1 ? grid->rightSide : columns[c];

    // Nearly parallel bounding lines have no usable corner: the cell fails
    // rather than reusing a point of another cell.
    CvPoint2D32f tl, br, tr, bl;
    if (dmIntersectLines(top, left, &tl) || dmIntersectLines(right, bottom, &br) ||
        dmIntersectLines(top, right, &tr) || dmIntersectLines(bottom, left, &bl))
        return kCellOutside;
    for (const CvPoint2D32f& p : {tl, br, tr, bl})
        if (p.x < kMinCornerX || p.x > kMaxCornerX) return kCellOutside;

    const float radius = 0.5f * std::min(cornerDistance(tl, br), cornerDistance(tr, bl));
    if (radius >= width) return kCellTooLarge;
    // A degenerate cell (no extent, or corners that are no numbers) has no
    // window to weigh.
    if (!(radius > 0.0f)) return kCellOutside;

    CvPoint2D32f centre;
    if (dmIntersectLines(dmLineThrough(tl, br), dmLineThrough(tr, bl), &centre))
        return kCellOutside;
    if (!(std::fabs(centre.x) < kMaxCentre) || !(std::fabs(centre.y) < kMaxCentre))
        return kCellOutside;

    // Weights fall linearly from 1 at the centre to 0 at distance R; the
    // table is rewritten only as far as this cell needs.
    const int lastWeight = static_cast<int>(radius + 1.0f);
    for (int k = 0; k <= lastWeight; ++k) table[k] = 1.0f - k / radius;

    const int icx = static_cast<int>(centre.x + 0.5f);
    const int icy = static_cast<int>(centre.y + 0.5f);
    const int y0 = std::max(0, static_cast<int>(centre.y + 0.5f - radius));
    const int y1 = std::min(height - 1, static_cast<int>(centre.y + 0.5f + radius));
    if (y0 > y1) return kCellOutside;

    const unsigned char* pixels = reinterpret_cast<const unsigned char*>(image->imageData);
    float total = 0.0f;
    float dark = 0.0f;
    for (int y = y0; y <= y1; ++y) {
        const int dy = std::abs(y - icy);
        const float hw = std::sqrt(std::fabs(radius * radius - static_cast<float>(dy * dy)));
        const int xL = static_cast<int>(icx - hw);
        const int xR = static_cast<int>(icx + hw);
        if (xR > width && xR > height) return kCellTooLarge;
        // Window pixels beyond the left or right edge are not read.
        const unsigned char* row = pixels + static_cast<size_t>(y) * image->widthStep;
        for (int x = std::max(xL, 0); x <= std::min(xR, width - 1); ++x) {
            const int k = std::abs(x - icx) + dy;
            // Beyond R + 1 the table holds nothing of this cell: weight 0.
            const float w = k <= lastWeight ? table[k] : 0.0f;
            total += w;
            if (row[x] == 255) dark += w;
        }
    }
    if (total == 0.0f) return kCellOutside;
    *ratio = dark / total;
    return kCellsSampled;
}

}  // namespace

int dmSampleCells(ModuleGrid* grid, const IplImage* image) {
    // One entry per image column, plus the one past R + 1 that a radius just
    // below the image width reaches.
    float* table = new float[static_cast<size_t>(image->width) + 2]();
    int status = kCellsSampled;
    for (int r = 0; r < grid->gridRows && status == kCellsSampled; ++r)
        for (int c = 0; c < grid->gridCols && status == kCellsSampled; ++c)
            status = sampleCell(grid, image, table, r, c, &grid->darkRatio[r * grid->gridCols + c]);
    delete[] table;
    return status;
}

void dmThresholdCells(const ModuleGrid* grid, float threshold, unsigned char* bits) {
    const int n = grid->gridCols * grid->gridRows;
    for (int i = 0; i < n; ++i) bits[i] = grid->darkRatio[i] > threshold ? 1 : 0;
}
