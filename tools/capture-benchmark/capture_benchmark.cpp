// What one 640 x 480 frame costs on its way through the library: the copy
// into the caller's image (with the flip the frame loop asks for), and the
// whole hand-over from the streaming thread's sample to the caller.
#include "capture_internal.h"
#include "dshow_fake.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 3;

void BM_CopyPixels(benchmark::State& state) {
    bool swap = state.range(0) != 0;
    bool flip = state.range(1) != 0;
    std::vector<unsigned char> source(kFrameBytes, 7), destination(kFrameBytes);
    for (auto _ : state) {
        CopyPixels(source.data(), destination.data(), kWidth, kHeight, swap, flip);
        benchmark::DoNotOptimize(destination.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrameBytes));
}
BENCHMARK(BM_CopyPixels)->ArgNames({"swap", "flip"})->Args({0, 0})->Args({0, 1})->Args({1, 1});

// Sample in, HasNewFrame, GetPixels out: both copies and the lock and event.
void BM_FrameHandOver(benchmark::State& state) {
    FakeDevice camera;
    fakeInstall({camera});
    // The library's set-up and tear-down messages would mix with the report.
    captureVerbose = false;
    {
        CaptureInput capture;
        capture.SetupDevice(0);
        std::vector<unsigned char> sample(kFrameBytes, 9), image(kFrameBytes);
        for (auto _ : state) {
            fakePushSample(0, sample.data(), static_cast<long>(kFrameBytes));
            if (!capture.HasNewFrame(0) || !capture.GetPixels(0, image.data(), false, true))
                state.SkipWithError("frame lost");
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrameBytes));
    }
    captureVerbose = true;
    fakeUninstall();
}
BENCHMARK(BM_FrameHandOver);

}  // namespace

BENCHMARK_MAIN();
