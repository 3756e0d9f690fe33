// kelvrane-cameras: what to run first when the live window shows nothing.
// Lists the cameras as the live window sees them; given a device number,
// sets that device up at 640 x 480 and reports, once a second, the frame
// size and the frames per second it receives.
#include "capture_input.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kDefaultSeconds = 5;
constexpr int kMaxSeconds = 3600;
constexpr auto kPollInterval = std::chrono::milliseconds(2);

const char* kUsage =
    "usage: kelvrane-cameras [DEVICE [SECONDS]]\n"
    "  without arguments: lists the cameras\n"
    "  DEVICE: sets that camera up at 640 x 480 and reports the frames it delivers\n"
    "  SECONDS: how long to measure (default 5)\n";

bool parseNumber(const char* text, int low, int high, int* value) {
    char* end = nullptr;
    long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < low || parsed > high) return false;
    *value = static_cast<int>(parsed);
    return true;
}

int measure(CaptureInput& capture, int device, int seconds) {
    if (!capture.SetupDevice(device, kWidth, kHeight)) {
        std::printf("kelvrane-cameras: device %d could not be set up (see the messages above)\n", device);
        return 1;
    }
    int width = capture.GetWidth(device);
    int height = capture.GetHeight(device);
    std::vector<unsigned char> frame(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    long total = 0;
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    for (int second = 1; second <= seconds; second++) {
        int frames = 0;
        auto until = start + std::chrono::seconds(second);
        while (Clock::now() < until) {
            if (capture.HasNewFrame(device) && capture.GetPixels(device, frame.data(), false, true))
                frames++;
            else
                std::this_thread::sleep_for(kPollInterval);
        }
        total += frames;
        std::printf("kelvrane-cameras: %d x %d, %d frames per second\n", width, height, frames);
        std::fflush(stdout);
    }
    capture.StopDevice(device);
    if (total == 0) {
        std::printf("kelvrane-cameras: device %d delivered no frames\n", device);
        return 1;
    }
    std::printf("kelvrane-cameras: %ld frames in %d s, %.1f frames per second\n", total, seconds,
                static_cast<double>(total) / seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int device = -1;
    int seconds = kDefaultSeconds;
    if (argc > 3 || (argc > 1 && std::string(argv[1]) == "--help")) {
        std::fputs(kUsage, argc > 3 ? stderr : stdout);
        return argc > 3 ? 2 : 0;
    }
    if (argc > 1 && !parseNumber(argv[1], 0, 19, &device)) {
        std::fprintf(stderr, "kelvrane-cameras: not a device number (0 to 19): %s\n%s", argv[1], kUsage);
        return 2;
    }
    if (argc > 2 && !parseNumber(argv[2], 1, kMaxSeconds, &seconds)) {
        std::fprintf(stderr, "kelvrane-cameras: not a number of seconds (1 to %d): %s\n%s", kMaxSeconds,
                     argv[2], kUsage);
        return 2;
    }
    CaptureInput capture;
    int count = CaptureInput::ListDevices(false);
    if (device < 0) return 0;
    if (device >= count) {
        std::printf("kelvrane-cameras: there is no device %d\n", device);
        return 1;
    }
    return measure(capture, device, seconds);
}
