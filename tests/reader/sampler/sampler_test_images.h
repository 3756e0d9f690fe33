// Small bi-level images for the sampler tests (dark = 255, light = 0).
#pragma once

#include <string>
#include <vector>

#include <opencv2/core/core_c.h>

// Owns an 8-bit one-channel image for the length of a test.
struct TestImage {
    IplImage* image = nullptr;
    TestImage(int width, int height) {
        image = cvCreateImage(cvSize(width, height), IPL_DEPTH_8U, 1);
        cvSetZero(image);
    }
    // One string per row; '#' is a dark pixel, anything else light.
    explicit TestImage(const std::vector<std::string>& rows)
        : TestImage(static_cast<int>(rows.at(0).size()), static_cast<int>(rows.size())) {
        for (size_t y = 0; y < rows.size(); ++y)
            for (size_t x = 0; x < rows[y].size(); ++x)
                if (rows[y][x] == '#') set(static_cast<int>(x), static_cast<int>(y));
    }
    ~TestImage() { cvReleaseImage(&image); }
    TestImage(const TestImage&) = delete;
    TestImage& operator=(const TestImage&) = delete;

    void set(int x, int y, unsigned char v = 255) {
        reinterpret_cast<unsigned char*>(image->imageData)[y * image->widthStep + x] = v;
    }
    unsigned char at(int x, int y) const {
        return reinterpret_cast<const unsigned char*>(image->imageData)[y * image->widthStep + x];
    }
    void fillRect(int x0, int y0, int x1, int y1) {  // inclusive, clipped
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (x >= 0 && y >= 0 && x < image->width && y < image->height) set(x, y);
    }
};
