// Binarization: Otsu's threshold on histograms whose answer is known, and the
// option word's choice of threshold and mode flags.
#include <cstdint>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "reader/reader_internal.h"

namespace {

// An image of width 1 holding each (value, count) pair's value count times.
cv::Mat imageOf(const std::vector<std::pair<int, int>>& histogram) {
    std::vector<unsigned char> pixels;
    for (const auto& [value, count] : histogram) pixels.insert(pixels.end(), count, value);
    return cv::Mat(pixels, true).reshape(1, static_cast<int>(pixels.size()));
}

TEST(OtsuThreshold, KnownHistograms) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> histogram;
        int threshold;
    };
    std::vector<std::pair<int, int>> ramp;
    for (int g = 0; g < 256; ++g) ramp.push_back({g, 1});
    const Case cases[] = {
        // every split gives 0, the first one stays best
        {"single gray value", {{77, 50}}, 0},
        // the split is equally good for t = 0 ... 254; the lowest wins
        {"half black, half white", {{0, 40}, {255, 40}}, 0},
        {"two values in equal numbers", {{10, 30}, {200, 30}}, 10},
        {"two values, more light", {{60, 10}, {180, 90}}, 60},
        {"two bright values", {{254, 5}, {255, 5}}, 254},
        {"uniform ramp", ramp, 127},
        // the dark class takes the lower two modes
        {"three modes", {{20, 30}, {40, 30}, {220, 60}}, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat image = imageOf(c.histogram);
        IplImage ipl = cvIplImage(image);
        EXPECT_EQ(dmOtsuThreshold(&ipl), c.threshold);
    }
}

TEST(OtsuThreshold, CoversTheWholeImageAndClearsItsRegionOfInterest) {
    cv::Mat image(4, 8, CV_8UC1, cv::Scalar(200));
    image(cv::Rect(4, 0, 4, 4)).setTo(10);  // the dark half lies outside the ROI
    IplImage* ipl = cvCreateImageHeader(cvSize(8, 4), IPL_DEPTH_8U, 1);
    cvSetData(ipl, image.data, static_cast<int>(image.step));
    cvSetImageROI(ipl, cvRect(0, 0, 4, 4));
    EXPECT_EQ(dmOtsuThreshold(ipl), 10);
    EXPECT_EQ(ipl->roi, nullptr);
    cvReleaseImageHeader(&ipl);
}

// The binarization's part of a reader context; the stage needs no more.
struct Context {
    ReaderContext* c = new ReaderContext();
    ~Context() {
        if (c->bilevel != nullptr) cvReleaseImage(&c->bilevel);
        delete c;
    }
    ReaderContext* get() { return c; }
    ReaderContext* operator->() { return c; }
};

TEST(Binarize, OptionWordChoosesThresholdAndModes) {
    // One row of gray values with a gap from 71 to 179: Otsu's threshold is
    // the lowest value of the best split, 70.
    const unsigned char gray[] = {0, 10, 60, 60, 70, 180, 180, 200, 250, 255};
    cv::Mat image(1, 10, CV_8UC1, const_cast<unsigned char*>(gray));
    struct Case {
        const char* name;
        int options, level;
        std::vector<unsigned char> dark;  // 1 where the bi-level pixel is 255
        int adaptiveMode, zoomMode;
    };
    const Case cases[] = {
        {"fixed level 0", DM_GLOBAL_THRESHOLD, 0, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0},
        {"fixed level 65", DM_GLOBAL_THRESHOLD, 65, {1, 1, 1, 1, 0, 0, 0, 0, 0, 0}, 0, 0},
        {"fixed level 255", DM_GLOBAL_THRESHOLD, 255, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 0, 0},
        {"level 256 is Otsu", DM_GLOBAL_THRESHOLD, 256, {1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, 0, 0},
        {"first pass of the application", 13, -1, {1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, 0, 1},
        // neither threshold bit: nothing is dark, so nothing can be found
        {"zoom alone", DM_ZOOM_CANDIDATES, 100, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 1},
        {"no bits", 0, 100, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Context context;
        IplImage ipl = cvIplImage(image);
        dmBinarize(&ipl, c.level, c.options, context.get());
        const cv::Mat bilevel = cv::cvarrToMat(context->bilevel);
        for (int x = 0; x < 10; ++x) {
            EXPECT_EQ(bilevel.at<unsigned char>(0, x), c.dark[x] ? 255 : 0) << "pixel " << x;
        }
        EXPECT_EQ(context->adaptiveMode, c.adaptiveMode);
        EXPECT_EQ(context->zoomMode, c.zoomMode);
    }
}

TEST(Binarize, AdaptiveThresholdFollowsTheLocalMean) {
    // A square of gray 100 on a ramp that starts darker than the square:
    // no single threshold keeps the square and loses the ramp's dark end,
    // the local mean does. A pixel at its block's mean (flat or evenly
    // rising surroundings) counts as dark.
    cv::Mat image(40, 120, CV_8UC1);
    for (int x = 0; x < 120; ++x) image.col(x).setTo(40 + x * 1.5);
    image(cv::Rect(90, 15, 10, 10)).setTo(100);
    image.at<unsigned char>(20, 10) = 90;  // a bright speck on the dark end
    for (const int options : {14, DM_GLOBAL_THRESHOLD | DM_ADAPTIVE_THRESHOLD}) {
        SCOPED_TRACE(options);
        Context context;
        IplImage ipl = cvIplImage(image);
        dmBinarize(&ipl, 15, options, context.get());
        const cv::Mat bilevel = cv::cvarrToMat(context->bilevel);
        EXPECT_EQ(bilevel.at<unsigned char>(20, 95), 255);  // inside the square
        EXPECT_EQ(bilevel.at<unsigned char>(20, 102), 0);   // ramp beside it, brighter than its mean
        EXPECT_EQ(bilevel.at<unsigned char>(20, 10), 0);    // the speck, though darker than the square
        EXPECT_EQ(context->adaptiveMode, 1);
        EXPECT_EQ(context->zoomMode, options == 14 ? 1 : 0);
    }
    // The largest block still taken: twice the larger side, plus one.
    Context context;
    IplImage ipl = cvIplImage(image);
    EXPECT_NO_THROW(dmBinarize(&ipl, 241, 14, context.get()));
}

TEST(Binarize, RaisesOnBadInput) {
    cv::Mat gray(20, 20, CV_8UC1, cv::Scalar(100));
    cv::Mat color(20, 20, CV_8UC3, cv::Scalar(100, 100, 100));
    cv::Mat deep(20, 20, CV_16UC1, cv::Scalar(100));
    struct Case {
        const char* name;
        cv::Mat* image;
        int options, level;
    };
    const Case cases[] = {
        {"even block size", &gray, 14, 14},
        {"block size 1", &gray, 14, 1},
        {"level -1 with the adaptive bit", &gray, 3, -1},
        // a block this large would ask the mean filter for gigabytes
        {"block size past twice the image", &gray, 14, 43},
        {"block size 2^31 - 1", &gray, 14, 2147483647},
        {"three channels, Otsu", &color, 13, -1},
        {"three channels, adaptive", &color, 14, 15},
        {"16-bit, fixed level", &deep, DM_GLOBAL_THRESHOLD, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Context context;
        IplImage ipl = cvIplImage(*c.image);
        EXPECT_THROW(dmBinarize(&ipl, c.level, c.options, context.get()), cv::Exception);
    }
}

}  // namespace
