// FrameLoop, the worker thread: the frame loop's cycle over camera 0 with the
// real reader, clock and sleep, for the life of the process.
#include "frame_loop.h"

DWORD WINAPI FrameLoop(LPVOID) {
    const FrameLoopServices services = {dmReadSymbols, GetTickCount, Sleep};
    CaptureInput capture;
    FrameLoopState state;
    startFrameLoop(&state, &capture, services);
    for (;;) runFrameCycle(&state, services);
}
