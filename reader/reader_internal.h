// Internal records and stage functions of the reader, shared by its stages
// and its tests. Callers of the library use reader/reader.h only.
//
// Stages of one dmReadSymbols call:
//   reader_entry        context, stage order, copy-out, error handling
//   binarization        gray -> bi-level (dark = 255), mode flags
//   candidate_finder    outlines -> polygons -> L-shaped candidates
//   candidate_analysis  zoom, timing-side sweep, orientation
//   grid_sampling       module counts, size lookup, grid, module matrix, decode
// with the helpers
//   geometry            two-kind lines and small geometric functions
//   run_scanning        dark/light runs along a line, timing-line sweep
//   module_grid         perspective-following grid and cell sampling
#pragma once

#include <cstdint>

#include <opencv2/core/core_c.h>

#include "reader/reader.h"

// ---------------------------------------------------------------- geometry

// kind 1: y = slope * x + intercept (x is the major axis)
// kind 2: x = slope * y + intercept (y is the major axis)
constexpr int32_t DM_LINE_X_MAJOR = 1;
constexpr int32_t DM_LINE_Y_MAJOR = 2;
constexpr int32_t DM_LINE_FAILED = 100;  // failure value of dmFindTimingLine

struct LineEquation {
    int32_t kind;
    float slope;
    float intercept;
};

double dmDistance(double x0, double y0, double x1, double y1);
LineEquation dmLineThrough(CvPoint2D32f p0, CvPoint2D32f p1);
// 0 and *point written; 1 when the lines are nearly parallel (*point untouched).
int dmIntersectLines(const LineEquation& a, const LineEquation& b, CvPoint2D32f* point);
LineEquation dmParallelThrough(const LineEquation& line, CvPoint2D32f point);
LineEquation dmFitLine(const int32_t* values, int n);
float dmDirectionAngle(float dx, float dy);
LineEquation dmLineFromAngle(float theta, CvPoint2D32f point);
LineEquation dmRotateLine(const LineEquation& line, double delta, CvPoint2D32f q);
CvPoint2D32f dmStepAlong(const LineEquation& line, float distance, CvPoint2D32f from,
                         CvPoint2D32f toward);
bool dmIsClockwiseConvex(CvPoint p0, CvPoint p1, CvPoint p2, CvPoint p3);

// ------------------------------------------------------------- candidates

struct SymbolCandidate {
    LineEquation finderLineA;
    LineEquation finderLineB;
    LineEquation timingLineA;
    LineEquation timingLineB;
    CvPoint2D32f finderCorner;
    CvPoint2D32f finderEndA;
    CvPoint2D32f finderEndB;
    CvPoint2D32f farCorner;
};

// ------------------------------------------------------------------ context

struct ReaderContext {
    IplImage* bilevel;        // owned; dark pixels 255, light 0
    IplImage* zoomed;         // owned or null; 2x crop of the current candidate
    IplImage* sampled;        // borrowed: bilevel or zoomed
    CvMemStorage* storage;    // owned; contours and polygons of the whole call
    int32_t zoomX, zoomY, zoomWidth, zoomHeight;
    CvSeq* polygons;
    SymbolCandidate candidates[DM_MAX_CANDIDATES];
    int32_t candidateCount;
    DecodedSymbol results[DM_MAX_RESULTS];
    int32_t resultCount;
    int32_t adaptiveMode;
    int32_t zoomMode;
    int32_t options;
};

ReaderContext* dmCreateContext();
void dmDestroyContext(ReaderContext* context);  // null-safe
void dmLocateAndDecode(IplImage* image, DecodedSymbol* results, int* count, int level, int options,
                       ReaderContext* context);

void dmBinarize(IplImage* image, int level, int options, ReaderContext* context);
int dmOtsuThreshold(IplImage* image);

void dmFindCandidates(IplImage* image, ReaderContext* context);
// Unlinks the contours whose polygon could never pass the size test (fewer
// points than the minimum vertex count, or a box below the minimum side);
// returns the first contour left, or null.
CvSeq* dmDropHopelessContours(CvSeq* contours);

// What became of one polygon in the candidate scan, in the order of the tests.
enum CandidateCheck : int32_t {
    DM_CANDIDATE_STORED = 0,
    DM_CANDIDATE_FEW_VERTICES = 1,   // fewer than 20 vertices
    DM_CANDIDATE_SMALL_BOX = 2,      // bounding box under 10 pixels wide or high
    DM_CANDIDATE_NO_CORNERS = 3,     // dmFindCorners found no four corners
    DM_CANDIDATE_FLAT = 4,           // both side corners lie close to the diagonal
    DM_CANDIDATE_NOT_TWO_SOLID = 5,  // not exactly two solid sides
    DM_CANDIDATE_NOT_AN_L = 6,       // the two solid sides are opposite each other
    DM_CANDIDATE_NO_FAR_CORNER = 7,  // far corner parallel-less or outside the image
    DM_CANDIDATE_DEGENERATE = 8,     // two corners coincide in whole pixels
};
const char* dmCandidateCheckName(int32_t check);

// Runs the candidate tests on one polygon; on DM_CANDIDATE_STORED *candidate
// holds the located quadrilateral (otherwise its content is unspecified).
int dmCheckPolygon(CvSeq* polygon, CvSize imageSize, SymbolCandidate* candidate);
// corners[0], corners[1]: the farthest pair of the eight extreme points;
// corners[2], corners[3]: the farthest on its positive and negative side.
// 0 found; 1 no two distinct extreme points; 2 one side has no corner.
int dmFindCorners(CvSeq* polygon, CvPoint corners[4]);

// Sides 0..3 = (P0, P2), (P0, P3), (P1, P2), (P1, P3) of dmFindCorners' corners.
struct SolidSides {
    int32_t solid[4];      // 1 when the side spans fewer than 3 polygon steps
    int32_t count;         // number of solid sides
    double length[4];      // of the solid sides
    LineEquation line[4];  // of the solid sides, through the earlier-visited corner first
};
SolidSides dmSolidSides(CvSeq* polygon, const CvPoint corners[4]);
// More than two solid sides: those under half the longest one's length stop
// being solid.
void dmKeepDominantSides(SolidSides* sides);

// Candidate analysis status: 0 decoded, 2 not convex, 5/6 no timing pattern
// along side A/B, 100 + s for a sampling status s.
int dmAnalyzeCandidate(ReaderContext* context, int index);
// 0, or 2 when the moved sides are nearly parallel (no far corner).
int dmZoomCandidate(ReaderContext* context, SymbolCandidate* candidate);

// ----------------------------------------------------------- run scanning

constexpr int DM_MAX_RUNS = 1280;

struct RunProfile {
    int32_t runCount;
    int32_t runLength[DM_MAX_RUNS];
    uint8_t runLight[DM_MAX_RUNS];  // 1 light (pixel 0), 0 dark
};

// The runs of the last scan on this thread.
RunProfile& dmRunProfile();

void dmScanRuns(const IplImage* image, double x0, double y0, double x1, double y1,
                const LineEquation& line);
int dmCountInnerRuns(const IplImage* image, const LineEquation& line, double x0, double y0,
                     double x1, double y1);
double dmRunVariance(int n, double mean, const int32_t* lengths);
LineEquation dmFindTimingLine(const IplImage* image, const LineEquation& line, int steps,
                              CvPoint2D32f from, CvPoint2D32f toward, double halfRange);

// ------------------------------------------------------------ module grid

struct ModuleGrid {
    int32_t gridCols;
    int32_t gridRows;
    CvPoint2D32f gridCorners[4];  // top-left, top-right, bottom-right, bottom-left
    LineEquation topSide, rightSide, bottomSide, leftSide;
    LineEquation* boundaries;     // gridCols - 1 column boundaries, then gridRows - 1 row boundaries
    float* darkRatio;             // gridCols x gridRows, row-major
};

// Allocation failures throw; the reader call then returns -1.
ModuleGrid* dmCreateGrid(int gridCols, int gridRows);
void dmReleaseGrid(ModuleGrid* grid);  // null-safe
void dmBuildGridLines(ModuleGrid* grid, const CvPoint2D32f corners[4], const LineEquation& topModel,
                      const LineEquation& rightModel, const LineEquation& leftModel,
                      const LineEquation& bottomModel);
// 0, or 2 / 3 when a cell cannot be sampled.
int dmSampleCells(ModuleGrid* grid, const IplImage* image);
void dmThresholdCells(const ModuleGrid* grid, float threshold, unsigned char* bits);

// ----------------------------------------------------------- grid sampling

// 0 decoded and counted; 3 bad counts or size; 4 no inner edge; 5 cells;
// 11 uncorrectable; 12 other decoding failure; 13 too many corrections.
int dmSampleCandidate(ReaderContext* context, int index);
// (-1, -1) when no dark pixel lies between from (excluded) and toward.
CvPoint2D32f dmFindFirstDark(const IplImage* image, const LineEquation& line, CvPoint2D32f from,
                             CvPoint2D32f toward);
