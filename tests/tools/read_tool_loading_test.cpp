// Image loading: every format the tool names loads at its true size, and a
// header that claims a huge picture is refused before anything is allocated.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "read_tool.h"

namespace {

namespace fs = std::filesystem;

class ImageLoading : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvrane-loading-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    fs::path dir_;
};

std::string le16(uint32_t v) { return {char(v & 255), char((v >> 8) & 255)}; }
std::string le32(uint32_t v) { return le16(v & 0xffff) + le16(v >> 16); }
std::string be16(uint32_t v) { return {char((v >> 8) & 255), char(v & 255)}; }

TEST_F(ImageLoading, EveryFormatLoadsAsColourAndGray) {
    cv::Mat picture(40, 50, CV_8UC3, cv::Scalar(30, 120, 220));
    picture(cv::Rect(10, 10, 20, 15)).setTo(cv::Scalar(0, 0, 0));
    cv::Mat grayPicture(40, 50, CV_8UC1, cv::Scalar(150));  // PGM holds gray only
    grayPicture(cv::Rect(10, 10, 20, 15)).setTo(cv::Scalar(0));
    const struct {
        const char* name;
        const char* format;
    } cases[] = {
        {"a.png", "PNG"}, {"a.jpg", "JPEG"}, {"a.bmp", "BMP"}, {"a.ppm", "PNM"},
        {"a.pgm", "PNM"}, {"a.tiff", "TIFF"}, {"a.webp", "WebP"},
    };
    for (const auto& c : cases) {
        const std::string path = (dir_ / c.name).string();
        ASSERT_TRUE(cv::imwrite(path, fs::path(path).extension() == ".pgm" ? grayPicture : picture))
            << c.name;
        EXPECT_EQ(sniffImageFormat(path), c.format);
        LoadedImage image;
        std::string reason;
        ASSERT_TRUE(loadImage(path, &image, &reason)) << c.name << ": " << reason;
        EXPECT_EQ(image.colour->width, 50);
        EXPECT_EQ(image.colour->height, 40);
        EXPECT_EQ(image.colour->nChannels, 3);
        EXPECT_EQ(image.gray->nChannels, 1);
        EXPECT_EQ(image.gray->depth, IPL_DEPTH_8U);
        // The dark box stays dark and the background light in gray.
        EXPECT_LT(cvGetReal2D(image.gray, 17, 20), 40) << c.name;
        EXPECT_GT(cvGetReal2D(image.gray, 2, 2), 80) << c.name;
        releaseLoadedImage(&image);
    }
}

TEST_F(ImageLoading, HugeHeadersAreRefused) {
    const uint32_t side = 20000;  // 400 million pixels
    const std::string pngIhdr = std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) +
                                be16(0) + be16(side) + be16(0) + be16(side) + std::string("\x08\0\0\0\0", 5);
    const std::string bmp = "BM" + le32(0) + le32(0) + le32(54) + le32(40) + le32(side) +
                            le32(uint32_t(-int32_t(side))) + le16(1) + le16(24) + std::string(24, '\0');
    // A long comment before the size, as some scanners write.
    const std::string pnm = "P5\n# " + std::string(300, 'c') + "\n20000 20000\n255\n";
    const std::string tiff = std::string("II*\0", 4) + le32(8) + le16(2) +
                             le16(256) + le16(4) + le32(1) + le32(side) +
                             le16(257) + le16(3) + le32(1) + le16(side) + le16(0) + le32(0);
    const std::string webp = "RIFF" + le32(30) + "WEBPVP8X" + le32(10) + le32(0) +
                             std::string{char((side - 1) & 255), char(((side - 1) >> 8) & 255), 0} +
                             std::string{char((side - 1) & 255), char(((side - 1) >> 8) & 255), 0};
    // APP0 segment first, so the frame header has to be found by walking.
    const std::string jpeg = std::string("\xff\xd8\xff\xe0", 4) + be16(16) + "JFIF" + std::string(10, '\0') +
                             std::string("\xff\xc0", 2) + be16(17) + "\x08" + be16(side) + be16(side) +
                             std::string(12, '\0');
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"huge.png", pngIhdr}, {"huge.bmp", bmp}, {"huge.pgm", pnm},
        {"huge.tiff", tiff}, {"huge.webp", webp}, {"huge.jpg", jpeg},
    };
    for (const auto& c : cases) {
        const std::string path = write(c.name, c.bytes);
        LoadedImage image;
        std::string reason;
        EXPECT_FALSE(loadImage(path, &image, &reason)) << c.name;
        EXPECT_EQ(reason, "image too large (20000 x 20000 pixels, at most 67108864)") << c.name;
        EXPECT_EQ(image.colour, nullptr);
        EXPECT_EQ(image.gray, nullptr);
    }
}

}  // namespace
