// Dark/light runs along a line, and the timing-line sweep built on them.
//
// A timing edge alternates dark and light modules of one size. The sweep turns
// a guessed timing side about its start in small steps and keeps the turn
// whose scan shows the most regular alternation.
#include <algorithm>
#include <cmath>

#include "reader_internal.h"

namespace {

// Acceptance of a scan as a timing pattern.
constexpr double kMaxRunVariance = 15.0;      // population variance of the run lengths
constexpr double kMinCoveredShare = 0.6;      // share of the side the evaluated runs must cover
constexpr int kMinRunsAfterLightStart = 8;    // runCount > 7 when run 0 is light
constexpr int kMinRunsAfterDarkStart = 7;     // runCount > 6 when run 0 is dark
constexpr double kModuleCountExponent = 1.7;  // more modules make a pattern more credible
constexpr double kNoVarianceYet = 1000.0;

// Major-axis samples farther than this outside the image are skipped by the
// scan anyway; the walk jumps over them so that lines far outside cost nothing
// and huge coordinates cannot stall it.
constexpr double kScanMargin = 3.0;

thread_local RunProfile runProfile;

// Truncation toward zero into *out; false when v is no number or does not fit,
// in which case the sample lies outside every image.
bool truncToInt(double v, int* out) {
    if (!(v > -2147483648.0 && v < 2147483648.0)) return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

RunProfile& dmRunProfile() { return runProfile; }

void dmScanRuns(const IplImage* image, double x0, double y0, double x1, double y1,
                const LineEquation& line) {
    RunProfile& profile = runProfile;
    profile.runCount = 0;
    if (line.kind != DM_LINE_X_MAJOR && line.kind != DM_LINE_Y_MAJOR) return;
    const bool xMajor = line.kind == DM_LINE_X_MAJOR;
    const double start = xMajor ? x0 : y0;
    const double end = xMajor ? x1 : y1;
    if (!std::isfinite(start) || !std::isfinite(end)) return;
    const int width = image->width;
    const int height = image->height;
    const int majorSize = xMajor ? width : height;
    const int minorSize = xMajor ? height : width;
    // kind 1 steps forward when x0 <= x1, kind 2 backward when y1 < y0: the
    // same for ordered values.
    const double step = start <= end ? 1.0 : -1.0;
    int stop;
    if (!truncToInt(end + step + 0.5, &stop)) stop = step > 0 ? majorSize + 1 : -2;

    // First j whose sample can lie near the image: the samples before it are
    // all more than the margin outside and would be skipped.
    double firstJ = -1.0;
    if (step > 0 && start + 0.5 < -kScanMargin) firstJ = std::ceil(-kScanMargin - start - 0.5);
    if (step < 0 && start + 0.5 > majorSize + kScanMargin)
        firstJ = std::ceil(start + 0.5 - majorSize - kScanMargin);
    // The stop lies before the image: every sample is skipped.
    if (step > 0 && stop < -1) return;
    if (step < 0 && stop > majorSize) return;

    const double slope = line.slope;
    const double intercept = line.intercept;
    const unsigned char* pixels = reinterpret_cast<const unsigned char*>(image->imageData);
    const int rowStep = image->widthStep;
    int lastLight = -1;
    // From firstJ on, each step moves the sample by one pixel (twice by none
    // where truncation meets zero), so it leaves the image within this many
    // steps; the bound also ends walks whose coordinates are too large to step.
    const int maxSteps = majorSize + 2 * static_cast<int>(kScanMargin) + 8;
    double j = firstJ;
    for (int n = 0; n < maxSteps; ++n, j += 1.0) {
        int major;
        if (!truncToInt(start + step * j + 0.5, &major)) return;
        if (major == stop) return;
        // Past the far edge nothing more can be read.
        if (step > 0 && major > majorSize + 1) return;
        if (step < 0 && major < -2) return;
        if (major < 0 || major >= majorSize) continue;
        int minor;
        if (!truncToInt(slope * major + intercept + 0.5, &minor)) continue;
        if (minor < 0 || minor >= minorSize) continue;
        const int x = xMajor ? major : minor;
        const int y = xMajor ? minor : major;
        const int light = pixels[static_cast<size_t>(y) * rowStep + x] == 0 ? 1 : 0;
        if (light == lastLight) {
            ++profile.runLength[profile.runCount - 1];
            continue;
        }
        profile.runLength[profile.runCount] = 1;
        profile.runLight[profile.runCount] = static_cast<uint8_t>(light);
        ++profile.runCount;
        lastLight = light;
        if (profile.runCount == DM_MAX_RUNS) return;
    }
}

int dmCountInnerRuns(const IplImage* image, const LineEquation& line, double x0, double y0,
                     double x1, double y1) {
    dmScanRuns(image, x0, y0, x1, y1, line);
    const RunProfile& profile = runProfile;
    int n = profile.runCount;
    if (n > 0 && profile.runLight[0]) --n;
    if (n > 0 && profile.runLight[profile.runCount - 1]) --n;
    return n;
}

double dmRunVariance(int n, double mean, const int32_t* lengths) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d = lengths[i] - mean;
        sum += d * d;
    }
    return sum / n;
}

namespace {

double sweepTurn(int j, int steps, double halfRange) {
    if (j < steps) return halfRange - j * halfRange / steps;
    return -halfRange * (j - steps) / steps;
}

}  // namespace

LineEquation dmFindTimingLine(const IplImage* image, const LineEquation& line, int steps,
                              CvPoint2D32f from, CvPoint2D32f toward, double halfRange) {
    const RunProfile& profile = runProfile;
    const double sideLength = dmDistance(toward.x, toward.y, from.x, from.y);
    const int stopAfter = steps / 3;
    const int penaltyFree = stopAfter / 10 + 1;
    int cnt = 0;
    int bestJ = steps;
    int bestM = 1;
    double bestVP = 0.0;
    double lastVar = kNoVarianceYet;

    for (int j = 0; j <= 2 * steps; ++j) {
        const LineEquation turned =
            j == steps ? line : dmRotateLine(line, sweepTurn(j, steps, halfRange), from);
        // A segment of the guessed side's length, from the side's start.
        const float s = static_cast<float>(
            sideLength / std::sqrt(1.0 + static_cast<double>(turned.slope) * turned.slope));
        CvPoint2D32f a, b;
        if (turned.kind == DM_LINE_X_MAJOR) {
            a.x = from.x;
            a.y = turned.slope * a.x + turned.intercept;
            b.x = from.x < toward.x ? from.x + s : from.x - s;
            b.y = turned.slope * b.x + turned.intercept;
        } else {
            a.y = from.y;
            a.x = turned.slope * a.y + turned.intercept;
            b.y = from.y < toward.y ? from.y + s : from.y - s;
            b.x = turned.slope * b.y + turned.intercept;
        }
        dmScanRuns(image, a.x, a.y, b.x, b.y, turned);

        if (cnt > 0) {
            ++cnt;
            if (cnt >= stopAfter) break;
        }

        const int runCount = profile.runCount;
        const bool lightStart = runCount > 0 && profile.runLight[0];
        if (runCount < (lightStart ? kMinRunsAfterLightStart : kMinRunsAfterDarkStart)) continue;
        // The light leading run (quiet zone) and the last run (merged with
        // the outside) are no modules.
        const int first = lightStart ? 1 : 0;
        const int m = runCount - first - 1;
        int64_t total = 0;
        int32_t longest = 0;
        for (int i = first; i < first + m; ++i) {
            total += profile.runLength[i];
            longest = std::max(longest, profile.runLength[i]);
        }
        const double mean = static_cast<double>(total) / m;
        const double var = dmRunVariance(m, mean, &profile.runLength[first]);
        if (!(var < kMaxRunVariance)) continue;
        lastVar = var;
        if (!(static_cast<double>(total) > kMinCoveredShare * sideLength)) continue;
        if (!(2.0 * mean > longest)) continue;

        const int penalty = std::max(0, cnt - penaltyFree);
        const double score = std::sqrt(var + penalty) / std::pow(m, kModuleCountExponent);
        const double best = std::sqrt(bestVP) / std::pow(bestM, kModuleCountExponent);
        if (cnt <= 2 || score < best) {
            bestJ = j;
            bestM = m;
            bestVP = var + penalty;
        }
        if (cnt == 0) cnt = 1;
    }

    if (!(lastVar < kMaxRunVariance)) {
        LineEquation failed = line;
        failed.kind = DM_LINE_FAILED;
        return failed;
    }
    if (bestJ == steps) return line;
    return dmRotateLine(line, sweepTurn(bestJ, steps, halfRange), from);
}
