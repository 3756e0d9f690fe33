// The program's Win32 shell: the main window, its child dialog with the
// picture control, the globals both threads share, and the bitmap the worker
// hands to the control.
#pragma once

#include <atomic>

#include <opencv2/core/core_c.h>

#include "resources.h"
#include "windows.h"

// The main window's client rectangle as last published by layoutChildren.
// Each field is its own 32-bit store, read by the worker without a lock.
struct PublishedRect {
    std::atomic<LONG> left{0};
    std::atomic<LONG> top{0};
    std::atomic<LONG> right{0};
    std::atomic<LONG> bottom{0};
};

extern HINSTANCE appInstance;
extern std::atomic<HWND> mainWindow;
extern std::atomic<HWND> dialogWindow;
extern HANDLE frameThread;
extern HBITMAP frameBitmap;  // written by the worker only
extern PublishedRect clientRect;

extern const char kWindowClassName[];  // "KelvraneClass"
extern const char kWindowTitle[];      // "Kelvrane"

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PictureDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Sizes the dialog and its picture control to the window's client area and
// publishes that area in clientRect. Runs on either thread.
void layoutChildren(HWND window);

// A new 24-bit bottom-up DIB section holding the image upright (8-bit, 1 or 3
// channels); the caller owns it. Null when the bitmap cannot be made.
HBITMAP imageToDib(const IplImage* image);

// The worker thread's procedure (frame_loop.cpp); started from WM_CREATE.
DWORD WINAPI FrameLoop(LPVOID parameter);
