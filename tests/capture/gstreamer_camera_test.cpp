// The GStreamer backend through the library's calls, without a camera: the
// test camera of the platform layer (KELVRANE_TEST_CAMERA) delivers image
// files, and with no camera the real category is empty.
#include "capture_test_support.h"

#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kFrames = std::string(KELVRANE_TEST_DATA_DIR) + "/capture";

class GstreamerCameraTest : public ::testing::Test {
protected:
    void TearDown() override { unsetenv("KELVRANE_TEST_CAMERA"); }

    // Waits for the next frame as the frame loop does.
    static bool nextFrame(CaptureInput& capture, std::vector<unsigned char>& pixels) {
        pixels.resize(static_cast<size_t>(capture.GetWidth(0) * capture.GetHeight(0) * 3));
        return capture.GetPixels(0, pixels.data(), false, true);
    }
};

TEST_F(GstreamerCameraTest, NoCameraListsAnEmptyCategoryQuietly) {
    StderrCapture errors;
    StdoutCapture out;
    int count = CaptureInput::ListDevices(false);
    std::string listed = out.take();
    std::string warnings = errors.take();
    if (count > 0) GTEST_SKIP() << "a camera is attached";
    EXPECT_EQ(listed, "\nCAPTURE DEVICE LIST\n\nSETUP: 0 Device(s) found\n\n");
    EXPECT_EQ(warnings, "");
}

// Frames arrive at the requested size, upright after the flip, in
// blue-green-red order: the image's top left is red, top right green,
// bottom left blue, bottom right white.
TEST_F(GstreamerCameraTest, TestCameraFramesAreUprightBlueGreenRedAtTheRequestedSize) {
    setenv("KELVRANE_TEST_CAMERA", (kFrames + "/quadrants.png").c_str(), 1);
    struct Case {
        int width, height;  // 0: the device's own size
        int frameWidth, frameHeight;
    };
    for (const Case& c : {Case{0, 0, 64, 48}, Case{32, 24, 32, 24}, Case{640, 480, 640, 480}}) {
        SCOPED_TRACE(c.width);
        StdoutCapture quiet;
        CaptureInput capture;
        EXPECT_EQ(CaptureInput::ListDevices(true), 1);
        capture.SetFrameRate(0, 15);
        ASSERT_TRUE(c.width ? capture.SetupDevice(0, c.width, c.height) : capture.SetupDevice(0));
        ASSERT_EQ(capture.GetWidth(0), c.frameWidth);
        ASSERT_EQ(capture.GetHeight(0), c.frameHeight);
        std::vector<unsigned char> pixels;
        ASSERT_TRUE(nextFrame(capture, pixels));
        auto at = [&](int x, int y) {
            size_t i = (static_cast<size_t>(y) * static_cast<size_t>(c.frameWidth) + static_cast<size_t>(x)) * 3;
            return std::vector<int>{pixels[i], pixels[i + 1], pixels[i + 2]};
        };
        int w = c.frameWidth, h = c.frameHeight;
        EXPECT_EQ(at(w / 4, h / 4), (std::vector<int>{0, 0, 255}));
        EXPECT_EQ(at(3 * w / 4, h / 4), (std::vector<int>{0, 255, 0}));
        EXPECT_EQ(at(w / 4, 3 * h / 4), (std::vector<int>{255, 0, 0}));
        EXPECT_EQ(at(3 * w / 4, 3 * h / 4), (std::vector<int>{255, 255, 255}));
        capture.StopDevice(0);
        EXPECT_FALSE(capture.HasNewFrame(0));
    }
}

TEST_F(GstreamerCameraTest, TestCameraCyclesThroughADirectory) {
    setenv("KELVRANE_TEST_CAMERA", (kFrames + "/frames").c_str(), 1);
    StdoutCapture quiet;
    CaptureInput capture;
    ASSERT_TRUE(capture.SetupDevice(0));
    std::set<int> seen;
    std::vector<unsigned char> pixels;
    auto until = Clock::now() + std::chrono::seconds(5);
    while (seen.size() < 2 && Clock::now() < until)
        if (nextFrame(capture, pixels)) seen.insert(pixels[0]);
    EXPECT_EQ(seen, (std::set<int>{0, 128}));
}

TEST_F(GstreamerCameraTest, TestCameraWithoutImagesIsNotFound) {
    setenv("KELVRANE_TEST_CAMERA", (kFrames + "/missing.png").c_str(), 1);
    CaptureInput capture;
    StdoutCapture out;
    EXPECT_FALSE(capture.SetupDevice(0));
    EXPECT_NE(out.take().find("ERROR - Could not find specified video device\n"), std::string::npos);
}

}  // namespace
