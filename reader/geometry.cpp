// Two-kind lines and the small geometric functions of the locator and the
// sampler. A line is never steeper than 45 degrees against its major axis, so
// slopes stay bounded and intersections stay well conditioned.
//
// Precision is deliberate: records are single precision and the angle
// constants are the single-precision values of the multiples of pi, used in
// double arithmetic. The callers' tie rules depend on these roundings.
#include <cmath>

#include "reader_internal.h"

namespace {

// Lines whose slopes (or slope products) differ by less than this are taken
// as parallel; their intersection would be far away and meaningless.
constexpr double kNearParallel = 0.01;

constexpr float kPi = 3.14159265358979323846f;
constexpr float kQuarterPi = 0.78539816339744830962f;
constexpr float kHalfPi = 1.57079632679489661923f;
constexpr float kThreeQuarterPi = 2.35619449019234492885f;
constexpr float kThreeHalfPi = 4.71238898038468985769f;

}  // namespace

double dmDistance(double x0, double y0, double x1, double y1) {
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    return std::sqrt(dx * dx + dy * dy);
}

LineEquation dmLineThrough(CvPoint2D32f p0, CvPoint2D32f p1) {
    const float adx = std::fabs(p0.x - p1.x);
    const float ady = std::fabs(p0.y - p1.y);
    LineEquation line;
    // Written as !(ady > adx) so that unordered values also give kind 1.
    if (!(ady > adx)) {
        line.kind = DM_LINE_X_MAJOR;
        line.slope = (p1.y - p0.y) / (p1.x - p0.x);
        line.intercept = p0.y - line.slope * p0.x;
    } else {
        line.kind = DM_LINE_Y_MAJOR;
        line.slope = (p1.x - p0.x) / (p1.y - p0.y);
        line.intercept = p0.x - line.slope * p0.y;
    }
    return line;
}

int dmIntersectLines(const LineEquation& a, const LineEquation& b, CvPoint2D32f* point) {
    float x;
    float y;
    if (a.kind == DM_LINE_X_MAJOR && b.kind == DM_LINE_X_MAJOR) {
        if (std::fabs(static_cast<double>(a.slope - b.slope)) < kNearParallel) return 1;
        x = (b.intercept - a.intercept) / (a.slope - b.slope);
        y = a.slope * x + a.intercept;
    } else if (a.kind == DM_LINE_Y_MAJOR && b.kind == DM_LINE_Y_MAJOR) {
        if (std::fabs(static_cast<double>(a.slope - b.slope)) < kNearParallel) return 1;
        y = (b.intercept - a.intercept) / (a.slope - b.slope);
        x = a.slope * y + a.intercept;
    } else if (a.kind == DM_LINE_X_MAJOR && b.kind == DM_LINE_Y_MAJOR) {
        const float denominator = 1.0f - b.slope * a.slope;
        if (std::fabs(static_cast<double>(denominator)) < kNearParallel) return 1;
        y = (a.slope * b.intercept + a.intercept) / denominator;
        x = b.slope * y + b.intercept;
    } else if (a.kind == DM_LINE_Y_MAJOR && b.kind == DM_LINE_X_MAJOR) {
        const float denominator = 1.0f - b.slope * a.slope;
        if (std::fabs(static_cast<double>(denominator)) < kNearParallel) return 1;
        y = (b.slope * a.intercept + b.intercept) / denominator;
        x = a.intercept + a.slope * y;
    } else {
        return 0;  // no line to meet: the point stays as it was
    }
    point->x = x;
    point->y = y;
    return 0;
}

LineEquation dmParallelThrough(const LineEquation& line, CvPoint2D32f point) {
    LineEquation result = line;
    if (line.kind == DM_LINE_X_MAJOR) {
        result.intercept = point.y - line.slope * point.x;
    } else if (line.kind == DM_LINE_Y_MAJOR) {
        result.intercept = point.x - line.slope * point.y;
    }
    return result;
}

LineEquation dmFitLine(const int32_t* values, int n) {
    // Integer sums wrap rather than overflow undefinedly; run lengths and
    // counts of the callers stay far below the wrap.
    uint32_t st = 0, stt = 0, sv = 0, stv = 0;
    for (int t = 0; t < n; ++t) {
        const uint32_t ut = static_cast<uint32_t>(t);
        const uint32_t uv = static_cast<uint32_t>(values[t]);
        st += ut;
        stt += ut * ut;
        sv += uv;
        stv += ut * uv;
    }
    const uint32_t un = static_cast<uint32_t>(n);
    const float d = static_cast<float>(static_cast<int32_t>(un * stt - st * st));
    LineEquation line;
    line.kind = DM_LINE_X_MAJOR;
    line.slope = static_cast<float>(static_cast<int32_t>(un * stv - st * sv)) / d;
    line.intercept = static_cast<float>(static_cast<int32_t>(sv * stt - stv * st)) / d;
    return line;
}

float dmDirectionAngle(float dx, float dy) {
    if (dx > 0 && dy >= 0) {
        const float q = dy / dx;
        return static_cast<float>(std::atan(static_cast<double>(q)));
    }
    if (dx <= 0 && dy > 0) {
        const float q = -dx / dy;
        return static_cast<float>(std::atan(static_cast<double>(q)) + kHalfPi);
    }
    if (dx < 0 && dy <= 0) {
        const float q = dy / dx;
        return static_cast<float>(std::atan(static_cast<double>(q)) + kPi);
    }
    if (dx >= 0 && dy < 0) {
        const float q = -dx / dy;
        return static_cast<float>(std::atan(static_cast<double>(q)) + kThreeHalfPi);
    }
    return 0.0f;
}

LineEquation dmLineFromAngle(float theta, CvPoint2D32f point) {
    if (theta >= kPi) theta = theta - kPi;
    if (theta < 0) theta = theta + kPi;
    const double t = theta;
    LineEquation line;
    if (t < kQuarterPi) {
        line.kind = DM_LINE_X_MAJOR;
        line.slope = static_cast<float>(std::tan(t));
    } else if (t < kHalfPi) {
        line.kind = DM_LINE_Y_MAJOR;
        line.slope = static_cast<float>(std::tan(kHalfPi - t));
    } else if (t < kThreeQuarterPi) {
        line.kind = DM_LINE_Y_MAJOR;
        line.slope = static_cast<float>(-std::tan(t - kHalfPi));
    } else {
        line.kind = DM_LINE_X_MAJOR;
        line.slope = static_cast<float>(-std::tan(kPi - t));
    }
    line.intercept = 0.0f;
    return dmParallelThrough(line, point);
}

LineEquation dmRotateLine(const LineEquation& line, double delta, CvPoint2D32f q) {
    // The rise over one unit step, taken the way the stored line itself
    // evaluates it, so that the turn starts from the line as it is used.
    const float sum = line.slope + line.intercept;
    const float rise = sum - line.intercept;
    float alpha = line.kind == DM_LINE_Y_MAJOR ? dmDirectionAngle(rise, 1.0f)
                                               : dmDirectionAngle(1.0f, rise);
    if (alpha >= kPi) alpha = alpha - kPi;
    const float theta = alpha - static_cast<float>(delta);
    return dmLineFromAngle(theta, q);
}

CvPoint2D32f dmStepAlong(const LineEquation& line, float distance, CvPoint2D32f from,
                         CvPoint2D32f toward) {
    float dx = 0.0f;
    float dy = 0.0f;
    if (line.kind == DM_LINE_X_MAJOR) {
        dx = static_cast<float>(distance / std::sqrt(static_cast<double>(line.slope * line.slope + 1.0f)));
        dy = std::fabs(line.slope * dx);
    } else if (line.kind == DM_LINE_Y_MAJOR) {
        dy = static_cast<float>(distance / std::sqrt(static_cast<double>(line.slope * line.slope + 1.0f)));
        dx = std::fabs(line.slope * dy);
    }
    CvPoint2D32f result;
    result.x = from.x < toward.x ? from.x + dx : from.x - dx;
    result.y = from.y < toward.y ? from.y + dy : from.y - dy;
    return result;
}

bool dmIsClockwiseConvex(CvPoint p0, CvPoint p1, CvPoint p2, CvPoint p3) {
    const CvPoint p[5] = {p0, p1, p2, p3, p0};
    float angle[4];
    for (int i = 0; i < 4; ++i) {
        // Differences in 64 bits: corner coordinates may be anything the
        // caller found, and the subtraction must not overflow.
        const int64_t dx = static_cast<int64_t>(p[i + 1].x) - p[i].x;
        const int64_t dy = static_cast<int64_t>(p[i + 1].y) - p[i].y;
        angle[i] = dmDirectionAngle(static_cast<float>(dx), static_cast<float>(dy));
    }
    for (int i = 0; i < 4; ++i) {
        const double a = angle[i];
        const double b = angle[(i + 1) % 4];
        const bool good = (a < b && b - a <= kPi) || (a > b && a - b > kPi);
        if (!good) return false;
    }
    return true;
}
