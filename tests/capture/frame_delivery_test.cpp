// Frame hand-over between a pushing thread and the polling caller, the pixel
// copy, and tear-down while samples arrive.
#include "capture_internal.h"
#include "capture_test_support.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using DeliveryTest = FakeCameraTest;

constexpr int kWidth = 8;
constexpr int kHeight = 4;
constexpr long kFrameBytes = kWidth * kHeight * 3;

FakeDevice smallCamera() {
    FakeDevice camera;
    camera.width = kWidth;
    camera.height = kHeight;
    return camera;
}

std::vector<unsigned char> frameOf(unsigned char value) {
    return std::vector<unsigned char>(static_cast<size_t>(kFrameBytes), value);
}

TEST(CopyPixels, FlipAndSwapCases) {
    // A 2 x 2 frame: top row pixels (1,2,3) (4,5,6), bottom row (7,8,9) (10,11,12).
    const unsigned char source[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    struct Case {
        bool swap;
        bool flip;
        unsigned char expected[12];
    };
    const Case cases[] = {
        {false, false, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {false, true, {7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}},
        {true, false, {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}},
        {true, true, {9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}},
    };
    for (const Case& c : cases) {
        unsigned char out[12] = {};
        CopyPixels(source, out, 2, 2, c.swap, c.flip);
        EXPECT_EQ(std::vector<unsigned char>(out, out + 12), std::vector<unsigned char>(c.expected, c.expected + 12))
            << "swap " << c.swap << " flip " << c.flip;
    }
}

TEST(CopyPixels, EmptyOrNegativeSizesCopyNothing) {
    const unsigned char source[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const int sizes[][2] = {{0, 2}, {2, 0}, {-2, 2}, {2, -2}, {-2, -2}};
    for (const auto& size : sizes) {
        unsigned char out[12] = {};
        CopyPixels(source, out, size[0], size[1], true, true);
        EXPECT_EQ(std::vector<unsigned char>(out, out + 12), std::vector<unsigned char>(12, 0));
    }
}

TEST_F(DeliveryTest, OldestFrameWaitsAndLaterOnesAreDropped) {
    install({smallCamera()});
    CaptureInput capture;
    ASSERT_TRUE(capture.SetupDevice(0));
    EXPECT_FALSE(capture.HasNewFrame(0));

    auto first = frameOf(1);
    auto second = frameOf(2);
    EXPECT_TRUE(fakePushSample(0, first.data(), kFrameBytes));
    EXPECT_TRUE(capture.HasNewFrame(0));
    EXPECT_TRUE(fakePushSample(0, second.data(), kFrameBytes));
    EXPECT_TRUE(capture.HasNewFrame(0));
    EXPECT_TRUE(capture.HasNewFrame(0));

    std::vector<unsigned char> out(static_cast<size_t>(kFrameBytes));
    EXPECT_TRUE(capture.GetPixels(0, out.data(), false, false));
    EXPECT_EQ(out, first);
    EXPECT_FALSE(capture.HasNewFrame(0));

    EXPECT_TRUE(fakePushSample(0, second.data(), kFrameBytes));
    EXPECT_TRUE(capture.GetPixels(0, out.data(), false, false));
    EXPECT_EQ(out, second);
}

// The platform delivers bottom row first; the frame loop asks for a flip.
TEST_F(DeliveryTest, FlippedCopyPutsTheTopRowFirst) {
    install({smallCamera()});
    CaptureInput capture;
    ASSERT_TRUE(capture.SetupDevice(0));
    std::vector<unsigned char> sample;
    for (int row = 0; row < kHeight; row++)
        sample.insert(sample.end(), kWidth * 3, static_cast<unsigned char>(row));
    ASSERT_TRUE(fakePushSample(0, sample.data(), kFrameBytes));
    std::vector<unsigned char> out(static_cast<size_t>(kFrameBytes));
    ASSERT_TRUE(capture.GetPixels(0, out.data(), false, true));
    EXPECT_EQ(out.front(), kHeight - 1);
    EXPECT_EQ(out.back(), 0);
}

TEST_F(DeliveryTest, RefusedSamplesLeaveNoFrameAndGetPixelsTimesOut) {
    install({smallCamera()});
    CaptureInput capture;
    ASSERT_TRUE(capture.SetupDevice(0));
    auto frame = frameOf(7);
    StdoutCapture out;
    for (long length : {kFrameBytes - 1, kFrameBytes + 3, 0L})
        EXPECT_TRUE(fakePushSample(0, frame.data(), length));
    fakeFail(FakeCall::GetPointer);
    EXPECT_TRUE(fakePushSample(0, frame.data(), kFrameBytes));  // ignored silently
    EXPECT_EQ(out.take(), "ERROR: SampleCB() - buffer sizes do not match\n"
                          "ERROR: SampleCB() - buffer sizes do not match\n"
                          "ERROR: SampleCB() - buffer sizes do not match\n");
    EXPECT_FALSE(capture.HasNewFrame(0));

    std::vector<unsigned char> pixels(static_cast<size_t>(kFrameBytes));
    auto started = Clock::now();
    EXPECT_FALSE(capture.GetPixels(0, pixels.data(), false, true));
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    EXPECT_GE(waited.count(), 900);
    EXPECT_LT(waited.count(), 3000);
}

// Each pushed frame repeats its 32-bit sequence number throughout. The
// caller must only ever see whole frames, in increasing order, and far fewer
// than were pushed.
TEST_F(DeliveryTest, HandOverUnderLoadNeverTearsAndDropsRatherThanQueues) {
    static_assert(kFrameBytes % 4 == 0, "frames hold whole sequence numbers");
    install({smallCamera()});
    CaptureInput capture;
    ASSERT_TRUE(capture.SetupDevice(0));
    std::atomic<bool> stop{false};
    std::atomic<uint32_t> pushed{0};
    std::thread pusher([&] {
        std::vector<uint32_t> frame(static_cast<size_t>(kFrameBytes / 4));
        for (uint32_t sequence = 1; !stop; sequence++) {
            std::fill(frame.begin(), frame.end(), sequence);
            fakePushSample(0, frame.data(), kFrameBytes);
            pushed = sequence;
        }
    });
    std::vector<uint32_t> out(static_cast<size_t>(kFrameBytes / 4));
    int taken = 0;
    uint32_t previous = 0;
    auto until = Clock::now() + std::chrono::milliseconds(500);
    while (Clock::now() < until) {
        if (!capture.HasNewFrame(0)) continue;
        ASSERT_TRUE(capture.GetPixels(0, reinterpret_cast<unsigned char*>(out.data()), false, false));
        for (uint32_t word : out) ASSERT_EQ(word, out[0]) << "torn frame";
        ASSERT_GT(out[0], previous);
        previous = out[0];
        taken++;
    }
    stop = true;
    pusher.join();
    EXPECT_GT(taken, 10);
    EXPECT_GT(pushed.load(), static_cast<uint32_t>(taken));
}

// Tear-downs and rebuilds while a thread keeps pushing: no sample may reach
// a destroyed callback (ThreadSanitizer and AddressSanitizer watch), also
// when the graph refuses to pause or stop.
TEST_F(DeliveryTest, TearDownWhileSamplesArrive) {
    const FakeCall stubborn[] = {FakeCall::Count, FakeCall::Pause, FakeCall::Stop};
    for (FakeCall failing : stubborn) {
        install({smallCamera()});
        if (failing != FakeCall::Count) fakeFail(failing);
        std::atomic<bool> stop{false};
        std::thread pusher([&] {
            auto frame = frameOf(9);
            while (!stop) fakePushSample(0, frame.data(), kFrameBytes);
        });
        std::vector<unsigned char> out(static_cast<size_t>(kFrameBytes));
        {
            StdoutCapture quiet;
            for (int round = 0; round < 30; round++) {
                CaptureInput capture;
                ASSERT_TRUE(capture.SetupDevice(0));
                if (round % 2) capture.GetPixels(0, out.data(), false, true);
                if (round % 3) capture.StopDevice(0);
            }
        }
        stop = true;
        pusher.join();
    }
}

}  // namespace
