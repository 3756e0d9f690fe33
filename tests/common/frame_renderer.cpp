#include "frame_renderer.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

namespace {

constexpr int kSourcePixelsPerModule = 8;  // supersampling of the drawn symbol
constexpr double kFocalPerWidth = 0.87;    // focal length of a 60-degree lens, per frame width
constexpr double kDegrees = 3.14159265358979323846 / 180.0;

// Maps a point of the symbol plane (module units, origin at the symbol's
// top-left module corner) into the frame: tilt out of the picture, central
// projection with the symbol's centre kept in place and scale, then the
// in-plane turn.
cv::Point2d project(const SymbolPlacement& s, double focal, double u, double v) {
    const double x = (u - s.cols / 2.0) * s.modulePixels;
    const double y = (v - s.rows / 2.0) * s.modulePixels;
    const double ax = s.tiltXDegrees * kDegrees;
    const double ay = s.tiltYDegrees * kDegrees;
    // about the vertical axis, then the horizontal one
    const double x1 = x * std::cos(ax);
    const double z1 = x * std::sin(ax);
    const double y2 = y * std::cos(ay) - z1 * std::sin(ay);
    const double z2 = y * std::sin(ay) + z1 * std::cos(ay);
    const double scale = focal / (focal + z2);
    const double px = x1 * scale;
    const double py = y2 * scale;
    const double r = s.rotationDegrees * kDegrees;
    return {s.center.x + px * std::cos(r) - py * std::sin(r),
            s.center.y + px * std::sin(r) + py * std::cos(r)};
}

cv::Mat drawUpright(const SymbolPlacement& s, const FrameStyle& style) {
    const int q = s.quietModules;
    cv::Mat modules(s.rows + 2 * q, s.cols + 2 * q, CV_8UC1, cv::Scalar(style.light));
    for (int r = 0; r < s.rows; ++r) {
        for (int c = 0; c < s.cols; ++c) {
            if (s.modules[r * s.cols + c]) modules.at<unsigned char>(r + q, c + q) = style.dark;
        }
    }
    cv::Mat big;
    cv::resize(modules, big, cv::Size(), kSourcePixelsPerModule, kSourcePixelsPerModule,
               cv::INTER_NEAREST);
    return big;
}

}  // namespace

RenderedFrame renderFrame(const FrameStyle& style, const std::vector<SymbolPlacement>& symbols) {
    RenderedFrame out;
    cv::Mat frame(style.height, style.width, CV_8UC1, cv::Scalar(style.light));
    const double focal = kFocalPerWidth * style.width;
    for (const SymbolPlacement& s : symbols) {
        CV_Assert(static_cast<int>(s.modules.size()) == s.rows * s.cols);
        const cv::Mat source = drawUpright(s, style);
        const double q = s.quietModules;
        const double w = s.cols + 2 * q;
        const double h = s.rows + 2 * q;
        const cv::Point2f from[4] = {{0.0f, 0.0f},
                                     {static_cast<float>(w * kSourcePixelsPerModule), 0.0f},
                                     {static_cast<float>(w * kSourcePixelsPerModule),
                                      static_cast<float>(h * kSourcePixelsPerModule)},
                                     {0.0f, static_cast<float>(h * kSourcePixelsPerModule)}};
        const double us[4] = {-q, s.cols + q, s.cols + q, -q};
        const double vs[4] = {-q, -q, s.rows + q, s.rows + q};
        // Frame and source coordinates both put pixel centres at whole
        // numbers; the source's area corners sit half a pixel before them.
        cv::Point2f to[4];
        cv::Point2f fromCentres[4];
        for (int i = 0; i < 4; ++i) {
            const cv::Point2d p = project(s, focal, us[i], vs[i]);
            to[i] = cv::Point2f(static_cast<float>(p.x), static_cast<float>(p.y));
            fromCentres[i] = from[i] - cv::Point2f(0.5f, 0.5f);
        }
        const cv::Mat homography = cv::getPerspectiveTransform(fromCentres, to);
        cv::warpPerspective(source, frame, homography, frame.size(), cv::INTER_LINEAR,
                            cv::BORDER_TRANSPARENT);
        SymbolCorners corners;
        const double cu[4] = {0, static_cast<double>(s.cols), static_cast<double>(s.cols), 0};
        const double cv_[4] = {0, 0, static_cast<double>(s.rows), static_cast<double>(s.rows)};
        for (int i = 0; i < 4; ++i) corners[i] = project(s, focal, cu[i], cv_[i]);
        out.corners.push_back(corners);
    }
    if (style.blurSigma > 0) cv::GaussianBlur(frame, frame, cv::Size(), style.blurSigma);
    if (style.noiseSigma > 0) {
        cv::Mat noise(frame.size(), CV_16SC1);
        cv::RNG rng(style.seed);
        rng.fill(noise, cv::RNG::NORMAL, 0.0, style.noiseSigma);
        cv::Mat wide;
        frame.convertTo(wide, CV_16SC1);
        wide += noise;
        wide.convertTo(frame, CV_8UC1);  // saturates at 0 and 255
    }
    if (style.color) {
        cv::cvtColor(frame, out.image, cv::COLOR_GRAY2BGR);
    } else {
        out.image = frame;
    }
    return out;
}

bool matchesCorners(const SymbolCorners& truth, const CvPoint reported[4], double tolerance) {
    auto within = [&](const int order[4]) {
        for (int i = 0; i < 4; ++i) {
            const cv::Point2d d = truth[order[i]] - cv::Point2d(reported[i].x, reported[i].y);
            if (std::hypot(d.x, d.y) > tolerance) return false;
        }
        return true;
    };
    const int asDrawn[4] = {0, 1, 2, 3};
    const int swapped[4] = {2, 1, 0, 3};
    return within(asDrawn) || within(swapped);
}

SymbolPlacement placeSymbol(const SymbolFixture& fixture, cv::Point2d center, double modulePixels,
                            double rotationDegrees, double tiltXDegrees, double tiltYDegrees) {
    SymbolPlacement p;
    p.modules = fixture.modules;
    p.rows = fixture.rows;
    p.cols = fixture.cols;
    p.center = center;
    p.modulePixels = modulePixels;
    p.rotationDegrees = rotationDegrees;
    p.tiltXDegrees = tiltXDegrees;
    p.tiltYDegrees = tiltYDegrees;
    return p;
}
