// The frame loop's cycle: wait for a frame of camera 0, read it, draw what was
// found and show it, annotated, in the picture control about ten times a second.
#include "frame_loop.h"

#include <opencv2/imgproc/imgproc_c.h>

#include <cstdlib>
#include <cstring>

#include "result_overlay.h"

namespace {

const int kDevice = 0;
const int kFramesPerSecond = 15;
const int kFallbackWidth = 640;
const int kFallbackHeight = 480;
const DWORD kSettleMs = 1000;
const int kPollsBeforeReconnect = 5;
// First pass: Otsu's global threshold (the level, taken as unsigned, is above 255).
const int kFirstPassLevel = -1;
const int kFirstPassOptions = DM_GLOBAL_THRESHOLD | DM_ZOOM_CANDIDATES | DM_CHECK_CORRECTIONS;
// Second pass, only when the first found nothing: adaptive mean over 15 x 15.
const int kSecondPassLevel = 15;
const int kSecondPassOptions = DM_ADAPTIVE_THRESHOLD | DM_ZOOM_CANDIDATES | DM_CHECK_CORRECTIONS;
const double kDisplayAspect = 0.75;
const int kDisplayGranularity = 16;
const DWORD kCyclePeriodMs = 100;

void openDevice(CaptureInput* capture) {
    capture->SetFrameRate(kDevice, kFramesPerSecond);
    capture->SetupDevice(kDevice);
    // Refused while the device runs, so it only counts when the first failed.
    capture->SetupDevice(kDevice, kFallbackWidth, kFallbackHeight);
}

void releaseImages(FrameLoopState* state) {
    if (state->frameImage) cvReleaseImage(&state->frameImage);
    if (state->grayImage) cvReleaseImage(&state->grayImage);
    std::free(state->packedFrame);
    state->packedFrame = nullptr;
}

// The frame image follows the device's frame size: GetPixels writes whole
// frames of the current size, whatever size the device had before.
void fitFrameImage(FrameLoopState* state) {
    const int width = state->capture->GetWidth(kDevice);
    const int height = state->capture->GetHeight(kDevice);
    if (width <= 0 || height <= 0) return;
    if (state->frameImage && state->frameImage->width == width && state->frameImage->height == height) return;
    releaseImages(state);
    state->frameImage = cvCreateImage(cvSize(width, height), IPL_DEPTH_8U, 3);
    cvSetZero(state->frameImage);
    if (state->frameImage->widthStep != 3 * width)
        state->packedFrame = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(3) * width * height));
}

void takeFrame(FrameLoopState* state) {
    IplImage* frame = state->frameImage;
    if (!frame) return;
    if (!state->packedFrame) {
        state->capture->GetPixels(kDevice, reinterpret_cast<unsigned char*>(frame->imageData), false, true);
        return;
    }
    if (!state->capture->GetPixels(kDevice, state->packedFrame, false, true)) return;
    const size_t rowBytes = static_cast<size_t>(3) * frame->width;
    for (int y = 0; y < frame->height; ++y)
        std::memcpy(frame->imageData + static_cast<size_t>(y) * frame->widthStep,
                    state->packedFrame + y * rowBytes, rowBytes);
}

// Step 1: polls back to back; after five empty polls in a row, and at every
// empty poll after that until a frame comes, the device is opened anew.
void waitForFrame(FrameLoopState* state, const FrameLoopServices& services) {
    for (;;) {
        if (state->capture->HasNewFrame(kDevice)) {
            fitFrameImage(state);
            takeFrame(state);
            state->missedPolls = 0;
            return;
        }
        ++state->missedPolls;
        if (state->missedPolls >= kPollsBeforeReconnect) {
            state->capture->StopDevice(kDevice);
            openDevice(state->capture);
            services.sleep(kSettleMs);
            return;
        }
    }
}

void makeGray(FrameLoopState* state) {
    if (!state->grayImage) {
        state->grayImage = cvCreateImage(cvGetSize(state->frameImage), IPL_DEPTH_8U, 1);
        cvSetZero(state->grayImage);
        state->grayImage->origin = state->frameImage->origin;
    }
    cvCvtColor(state->frameImage, state->grayImage, CV_BGR2GRAY);
}

void readSymbols(FrameLoopState* state, const FrameLoopServices& services) {
    state->resultCount = 0;
    state->firstTick = services.tick();
    services.read(state->grayImage, state->results, &state->resultCount, kFirstPassLevel, kFirstPassOptions);
    if (state->resultCount <= 0)
        services.read(state->grayImage, state->results, &state->resultCount, kSecondPassLevel, kSecondPassOptions);
    state->lastTick = services.tick();
    if (state->resultCount > DM_MAX_RESULTS) state->resultCount = DM_MAX_RESULTS;
}

void showFrame(FrameLoopState* state) {
    const int clientWidth = clientRect.right.load(std::memory_order_relaxed) -
                            clientRect.left.load(std::memory_order_relaxed);
    const int clientHeight = clientRect.bottom.load(std::memory_order_relaxed) -
                             clientRect.top.load(std::memory_order_relaxed);
    int width = 0, height = 0;
    if (!displaySize(clientWidth, clientHeight, &width, &height)) return;

    IplImage* displayImage = cvCreateImage(cvSize(width, height), IPL_DEPTH_8U, 3);
    displayImage->origin = state->frameImage->origin;
    cvResize(state->frameImage, displayImage, CV_INTER_LINEAR);
    frameBitmap = imageToDib(displayImage);
    if (frameBitmap) {
        HWND control = GetDlgItem(dialogWindow, IDC_PICTURE);
        if (control) {
            // The control hands back the bitmap it showed until now.
            HGDIOBJ previous = reinterpret_cast<HGDIOBJ>(
                SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(frameBitmap)));
            if (previous) DeleteObject(previous);
        } else {
            DeleteObject(frameBitmap);  // the window is gone; nobody will show it
            frameBitmap = nullptr;
        }
    }
    layoutChildren(mainWindow);
    cvReleaseImage(&displayImage);
}

}  // namespace

bool displaySize(int clientWidth, int clientHeight, int* width, int* height) {
    *width = *height = 0;
    if (clientWidth <= 0 || clientHeight <= 0) return false;
    int w = static_cast<double>(clientHeight) / clientWidth > kDisplayAspect ? clientWidth
                                                                               : ((clientHeight / 4) * 16) / 3;
    w = (w / kDisplayGranularity) * kDisplayGranularity;
    const int h = static_cast<int>(kDisplayAspect * w);
    if (w == 0 || h == 0) return false;
    *width = w;
    *height = h;
    return true;
}

DWORD pacingDelay(DWORD t0, DWORD t1) {
    const DWORD elapsed = t1 - t0;  // modular: a wrap of the tick count does no harm
    return elapsed < kCyclePeriodMs ? kCyclePeriodMs - elapsed : 0;
}

void startFrameLoop(FrameLoopState* state, CaptureInput* capture, const FrameLoopServices& services) {
    state->capture = capture;
    state->frameImage = nullptr;
    state->grayImage = nullptr;
    state->packedFrame = nullptr;
    std::memset(state->results, 0, sizeof state->results);
    state->resultCount = 0;
    CaptureInput::ListDevices(false);
    openDevice(capture);
    // With no camera yet the images wait for the first frame's size.
    fitFrameImage(state);
    state->missedPolls = 0;
    state->firstTick = state->lastTick = 0;
    services.sleep(kSettleMs);
}

void runFrameCycle(FrameLoopState* state, const FrameLoopServices& services) {
    waitForFrame(state, services);
    if (state->frameImage) {
        makeGray(state);
        readSymbols(state, services);
        if (state->resultCount > 0) drawResults(state->frameImage, state->results, state->resultCount);
        showFrame(state);
    } else {
        // Nothing to read or show until a device has said its frame size.
        state->resultCount = 0;
        state->firstTick = state->lastTick = services.tick();
    }
    const DWORD delay = pacingDelay(state->firstTick, state->lastTick);
    if (delay > 0) services.sleep(delay);
}

void releaseFrameLoop(FrameLoopState* state) { releaseImages(state); }
