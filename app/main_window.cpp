// WinMain, the main window's and the dialog's procedures, and the layout of
// the dialog and its picture control over the client area.
#include "main_window.h"

namespace {

const int kWindowWidth = 646;  // outer size; the client area is 640 x 480
const int kWindowHeight = 512;
const DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // no sizing border
const DWORD kWindowExStyle = WS_EX_TOPMOST;
// How long the message loop sleeps when its queue is empty.
const DWORD kIdleSleepMs = 1;

}  // namespace

HINSTANCE appInstance = nullptr;
std::atomic<HWND> mainWindow{nullptr};
std::atomic<HWND> dialogWindow{nullptr};
HANDLE frameThread = nullptr;
HBITMAP frameBitmap = nullptr;
PublishedRect clientRect;

const char kWindowClassName[] = "KelvraneClass";
const char kWindowTitle[] = "Kelvrane";

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    appInstance = instance;

    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = kWindowClassName;
    if (!RegisterClassA(&windowClass)) {
        MessageBoxA(nullptr, "Cannot register class", "Error", MB_ICONERROR);
        return 0;
    }

    HWND window = CreateWindowExA(kWindowExStyle, kWindowClassName, kWindowTitle, kWindowStyle,
                                  CW_USEDEFAULT, CW_USEDEFAULT, kWindowWidth, kWindowHeight, nullptr,
                                  nullptr, instance, nullptr);
    if (!window) {
        MessageBoxA(nullptr, "Cannot create window", "Error", MB_ICONERROR);
        return 0;
    }
    mainWindow = window;
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message;
    for (;;) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&message, nullptr, 0, 0)) return 1;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(kIdleSleepMs);
    }
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        // The worker reads mainWindow; it must be set before the worker runs,
        // not only once CreateWindowExA has returned.
        mainWindow = window;
        dialogWindow = CreateDialogParamA(appInstance, MAKEINTRESOURCEA(IDD_VIEW), window, PictureDlgProc, 0);
        if (dialogWindow.load()) frameThread = CreateThread(nullptr, 0, FrameLoop, nullptr, 0, nullptr);
        layoutChildren(window);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    case WM_SIZE:
        layoutChildren(window);
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK PictureDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        // The control does not own what it shows: the last bitmap handed to
        // it goes with it.
        HGDIOBJ last = reinterpret_cast<HGDIOBJ>(
            SendMessageA(GetDlgItem(window, IDC_PICTURE), STM_SETIMAGE, IMAGE_BITMAP, 0));
        if (last) DeleteObject(last);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void layoutChildren(HWND window) {
    RECT rc = {0, 0, 0, 0};
    if (!GetClientRect(window, &rc)) rc = RECT{0, 0, 0, 0};
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    HWND dialog = dialogWindow;
    SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOZORDER);
    SetWindowPos(GetDlgItem(dialog, IDC_PICTURE), nullptr, 0, 0, width, height, SWP_NOZORDER);
    clientRect.left.store(rc.left, std::memory_order_relaxed);
    clientRect.top.store(rc.top, std::memory_order_relaxed);
    clientRect.right.store(rc.right, std::memory_order_relaxed);
    clientRect.bottom.store(rc.bottom, std::memory_order_relaxed);
}
