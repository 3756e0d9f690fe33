// The worker's capture-read-display cycle, in pieces that tests can drive
// with their own clock, sleep and reader. FrameLoop strings them together.
#pragma once

#include "capture/capture_input.h"
#include "main_window.h"
#include "reader/reader.h"

typedef int (*SymbolReader)(IplImage* image, DecodedSymbol* results, int* count, int level, int options);

struct FrameLoopServices {
    SymbolReader read;
    DWORD (*tick)();
    void (*sleep)(DWORD milliseconds);
};

// What the worker owns for its whole life. frameImage and grayImage are null
// until a device has delivered its frame size.
struct FrameLoopState {
    CaptureInput* capture;
    IplImage* frameImage;
    IplImage* grayImage;
    unsigned char* packedFrame;  // for frame widths whose image rows carry padding
    DecodedSymbol results[DM_MAX_RESULTS];
    int resultCount;
    int missedPolls;
    DWORD firstTick;
    DWORD lastTick;
};

// Opens device 0 on a constructed capture object and settles for a second.
void startFrameLoop(FrameLoopState* state, CaptureInput* capture, const FrameLoopServices& services);
// One cycle: wait for a frame, gray, read, overlay, display, pace.
void runFrameCycle(FrameLoopState* state, const FrameLoopServices& services);
// Releases the images (the capture object belongs to the caller).
void releaseFrameLoop(FrameLoopState* state);

// The 4:3 display size for a client area, width a multiple of 16; false when
// there is nothing to show.
bool displaySize(int clientWidth, int clientHeight, int* width, int* height);
// Milliseconds to sleep after reader passes stamped t0 and t1.
DWORD pacingDelay(DWORD t0, DWORD t1);
