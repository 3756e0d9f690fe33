#include <gtest/gtest.h>

#include <cstring>

#include <opencv2/imgproc/imgproc_c.h>

#include "app/result_overlay.h"

namespace {

struct Frame {
    explicit Frame(int w, int h) : image(cvCreateImage(cvSize(w, h), IPL_DEPTH_8U, 3)) {
        cvSet(image, cvScalar(90, 120, 60));  // a mid colour that none of the overlay uses
    }
    ~Frame() { cvReleaseImage(&image); }
    const unsigned char* at(int x, int y) const {
        return reinterpret_cast<const unsigned char*>(image->imageData + y * image->widthStep + x * 3);
    }
    bool is(int x, int y, int b, int g, int r) const {
        const unsigned char* p = at(x, y);
        return p[0] == b && p[1] == g && p[2] == r;
    }
    IplImage* image;
};

DecodedSymbol symbol(CvPoint a, CvPoint b, CvPoint c, CvPoint d, const char* text) {
    DecodedSymbol s;
    std::memset(&s, 0, sizeof s);
    s.corners[0] = a;
    s.corners[1] = b;
    s.corners[2] = c;
    s.corners[3] = d;
    std::strncpy(s.text, text, sizeof s.text - 1);
    return s;
}

}  // namespace

TEST(DrawResults, BandsFollowTheFrameWidth) {
    // 640 wide: band i covers rows 30i .. 30(i+1) up to column 512; with empty
    // texts nothing but the bands and the outlines is drawn.
    Frame frame(640, 480);
    DecodedSymbol results[10];
    for (int i = 0; i < 10; ++i)
        results[i] = symbol({600, 400}, {630, 400}, {630, 430}, {600, 430}, "");
    drawResults(frame.image, results, 10);
    for (int row : {0, 29, 30, 150, 299}) {
        EXPECT_TRUE(frame.is(0, row, 255, 255, 255)) << row;
        EXPECT_TRUE(frame.is(512, row, 255, 255, 255)) << row;
        EXPECT_TRUE(frame.is(513, row, 90, 120, 60)) << row;
    }
    EXPECT_TRUE(frame.is(0, 300, 255, 255, 255));  // last band's bottom edge is drawn
    EXPECT_TRUE(frame.is(0, 301, 90, 120, 60));
    int black = 0;  // empty texts draw no glyphs
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) black += frame.is(x, y, 0, 0, 0);
    EXPECT_EQ(black, 0);
}

TEST(DrawResults, OutlineIsAClosedRedSquareOfOnePixelLines) {
    Frame frame(640, 480);
    DecodedSymbol s = symbol({100, 100}, {200, 100}, {200, 200}, {100, 200}, "");
    drawResults(frame.image, &s, 1);
    for (int k = 100; k <= 200; k += 10) {
        EXPECT_TRUE(frame.is(k, 100, 0, 0, 255)) << k;
        EXPECT_TRUE(frame.is(k, 200, 0, 0, 255)) << k;
        EXPECT_TRUE(frame.is(100, k, 0, 0, 255)) << k;
        EXPECT_TRUE(frame.is(200, k, 0, 0, 255)) << k;
    }
    EXPECT_TRUE(frame.is(150, 101, 90, 120, 60));  // one pixel thick
    EXPECT_TRUE(frame.is(150, 150, 90, 120, 60));  // not filled
    EXPECT_TRUE(frame.is(0, 30, 255, 255, 255));   // one band, rows 0 .. 30
    EXPECT_TRUE(frame.is(0, 31, 90, 120, 60));
}

TEST(DrawResults, TextIsBlackOnItsBand) {
    Frame frame(640, 480);
    DecodedSymbol s = symbol({300, 300}, {350, 300}, {350, 350}, {300, 350}, "HELLO");
    drawResults(frame.image, &s, 1);
    int black = 0;
    for (int y = 0; y <= 30; ++y)
        for (int x = 0; x < 512; ++x) black += frame.is(x, y, 0, 0, 0);
    EXPECT_GT(black, 50);
    // The glyphs sit on the baseline at row 20, left-aligned at column 0.
    int blackBelowBaseline = 0;
    for (int y = 23; y <= 30; ++y)
        for (int x = 0; x < 512; ++x) blackBelowBaseline += frame.is(x, y, 0, 0, 0);
    EXPECT_EQ(blackBelowBaseline, 0);
}

TEST(DrawResults, TextBaselinesAdvanceByAThirtySecondOfTheWidth) {
    // 640 wide: baselines at rows 20, 40, 60, 80; from the third result on
    // the text stands above its own band. Only result i has a text here.
    for (int i = 0; i < 4; ++i) {
        Frame frame(640, 480);
        DecodedSymbol results[4];
        for (int k = 0; k < 4; ++k)
            results[k] = symbol({600, 400}, {630, 400}, {630, 430}, {600, 430}, k == i ? "HELLO" : "");
        drawResults(frame.image, results, 4);
        const int baseline = 20 * (i + 1);
        int inside = 0, outside = 0;
        for (int y = 0; y < 140; ++y)
            for (int x = 0; x < 640; ++x)
                if (frame.is(x, y, 0, 0, 0)) (y > baseline - 16 && y <= baseline + 2 ? inside : outside) += 1;
        EXPECT_GT(inside, 50) << i;
        EXPECT_EQ(outside, 0) << i;
    }
}
