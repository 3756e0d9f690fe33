#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "windows.h"
#include "win_resource.h"

namespace {

// Windows are made with SDL's headless driver unless the caller chose one.
struct HeadlessVideo : ::testing::Environment {
    void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 0); }
};
const auto* const kHeadless = ::testing::AddGlobalTestEnvironment(new HeadlessVideo);

BITMAPINFO header(LONG width, LONG height, WORD bits = 24, DWORD compression = BI_RGB) {
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bits;
    info.bmiHeader.biCompression = compression;
    return info;
}

// What a window procedure saw, for the tests to look at.
struct Seen {
    std::vector<UINT> messages;
    std::vector<LPARAM> sizes;
    std::vector<WPARAM> sizeKinds;
    std::thread::id thread;
};
Seen seen;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.messages.push_back(message);
    seen.thread = std::this_thread::get_id();
    if (message == WM_SIZE) {
        seen.sizes.push_back(lParam);
        seen.sizeKinds.push_back(wParam);
    }
    if (message == WM_DESTROY) PostQuitMessage(7);
    if (message == WM_USER) return static_cast<LRESULT>(wParam * 2);
    return DefWindowProcA(window, message, wParam, lParam);
}

const char kClass[] = "UiTestClass";

HWND makeTopLevel() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = recordingProc;
    windowClass.lpszClassName = kClass;
    RegisterClassA(&windowClass);  // may already be there from an earlier test
    seen = Seen{};
    return CreateWindowExA(WS_EX_TOPMOST, kClass, "Test", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                           CW_USEDEFAULT, CW_USEDEFAULT, 646, 512, nullptr, nullptr, nullptr, nullptr);
}

// Pumps until the quit message comes; returns its exit code.
int runLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) DispatchMessageA(&message);
    return static_cast<int>(message.wParam);
}

const DialogItemTemplate kItems[] = {
    {WS_EX_STATICEDGE, WS_CHILD | WS_VISIBLE | SS_BITMAP | SS_CENTERIMAGE, 7, 7, 16, 14, 1001, "Static", ""},
};
const DialogTemplate kDialog = {0, WS_CHILD | WS_VISIBLE, 0, 0, 186, 90, nullptr, nullptr, "", 8, 400, 0, 1,
                                "MS Shell Dlg", 1, kItems};
const ResourceEntry kResources[] = {{RT_DIALOG, 102, &kDialog}};
ModuleRecord testModule = {"test", kResources, 1};

}  // namespace

TEST(Dib, OnlyBottomUpUncompressedTrueColourBitmapsAreMade) {
    struct Case {
        const char* name;
        BITMAPINFO info;
        bool made;
        int stride;
    } cases[] = {
        {"16 x 12", header(16, 12), true, 48},
        {"row padded to 4 bytes", header(5, 3), true, 16},
        {"top-down", header(16, -12), false, 0},
        {"zero width", header(0, 12), false, 0},
        {"32 bits", header(16, 12, 32), false, 0},
        {"compressed", header(16, 12, 24, 1), false, 0},
        {"absurd size", header(1 << 20, 1 << 20), false, 0},
    };
    for (const Case& c : cases) {
        void* bits = reinterpret_cast<void*>(1);
        HBITMAP bitmap = CreateDIBSection(nullptr, &c.info, DIB_RGB_COLORS, &bits, nullptr, 0);
        EXPECT_EQ(bitmap != nullptr, c.made) << c.name;
        if (!bitmap) {
            EXPECT_EQ(bits, nullptr) << c.name;
            continue;
        }
        BITMAP description;
        ASSERT_EQ(GetObjectA(bitmap, sizeof description, &description), static_cast<int>(sizeof description));
        EXPECT_EQ(description.bmWidthBytes, c.stride) << c.name;
        EXPECT_EQ(description.bmBits, bits) << c.name;
        // Fresh pixels are black, and all of them can be written.
        const size_t bytes = static_cast<size_t>(c.stride) * c.info.bmiHeader.biHeight;
        EXPECT_EQ(static_cast<unsigned char*>(bits)[bytes - 1], 0) << c.name;
        std::memset(bits, 0x5a, bytes);
        EXPECT_TRUE(DeleteObject(bitmap)) << c.name;
    }
}

TEST(Dib, DeletingTwiceOrDeletingAStockObjectDoesNoHarm) {
    BITMAPINFO info = header(4, 4);
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(GetObjectA(bitmap, 0, nullptr), 0);
    HGDIOBJ brush = GetStockObject(NULL_BRUSH);
    ASSERT_NE(brush, nullptr);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_EQ(GetStockObject(NULL_BRUSH), brush);
}

TEST(Window, ClassNamesAreRegisteredOnce) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = recordingProc;
    windowClass.lpszClassName = "OnceClass";
    EXPECT_NE(RegisterClassA(&windowClass), 0);
    windowClass.lpszClassName = "onceclass";  // class names ignore case
    EXPECT_EQ(RegisterClassA(&windowClass), 0);
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_CAPTION, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);
}

TEST(Window, CaptionedWindowOf646x512HasA640x480ClientArea) {
    HWND window = makeTopLevel();
    ASSERT_NE(window, nullptr);
    RECT rc;
    ASSERT_TRUE(GetClientRect(window, &rc));
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right, 640);
    EXPECT_EQ(rc.bottom, 480);
    ASSERT_GE(seen.messages.size(), 2u);
    EXPECT_EQ(seen.messages[0], static_cast<UINT>(WM_CREATE));
    EXPECT_EQ(seen.sizes.back(), MAKELPARAM(640, 480));
    char title[32];
    EXPECT_EQ(GetWindowTextA(window, title, sizeof title), 4);
    EXPECT_STREQ(title, "Test");
    EXPECT_EQ(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, WS_EX_TOPMOST);
    // Only children move and resize; the top-level window keeps its size.
    EXPECT_TRUE(SetWindowPos(window, nullptr, 0, 0, 100, 100, SWP_NOZORDER));
    GetClientRect(window, &rc);
    EXPECT_EQ(rc.right, 640);
    DestroyWindow(window);
}

TEST(Window, MinimizeReportsAnEmptyClientAreaAndRestoreTheFullOne) {
    HWND window = makeTopLevel();
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
    seen.sizes.clear();
    seen.sizeKinds.clear();
    ShowWindow(window, SW_MINIMIZE);
    RECT rc;
    GetClientRect(window, &rc);
    EXPECT_EQ(rc.right - rc.left, 0);
    EXPECT_EQ(rc.bottom - rc.top, 0);
    EXPECT_TRUE(IsIconic(window));
    ShowWindow(window, SW_RESTORE);
    GetClientRect(window, &rc);
    EXPECT_EQ(rc.right, 640);
    ASSERT_EQ(seen.sizes.size(), 2u);
    EXPECT_EQ(seen.sizeKinds[0], static_cast<WPARAM>(SIZE_MINIMIZED));
    EXPECT_EQ(seen.sizes[0], MAKELPARAM(0, 0));
    EXPECT_EQ(seen.sizeKinds[1], static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(seen.sizes[1], MAKELPARAM(640, 480));
    DestroyWindow(window);
}

TEST(Window, CloseDestroysTheWindowAndTheQuitMessageEndsTheLoop) {
    HWND window = makeTopLevel();
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(runLoop(), 7);  // the code given to PostQuitMessage
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(Window, SendMessageFromAnotherThreadRunsOnTheWindowsThreadWhileTheSenderWaits) {
    HWND window = makeTopLevel();
    ASSERT_NE(window, nullptr);
    std::atomic<LRESULT> answer{0};
    std::thread worker([window, &answer] {
        answer = SendMessageA(window, WM_USER, 21, 0);
        // Only once the answer is in does the worker close the window.
        PostMessageA(window, WM_CLOSE, 0, 0);
    });
    runLoop();
    worker.join();
    EXPECT_EQ(answer.load(), 42);
    EXPECT_EQ(seen.thread, std::this_thread::get_id());
    // A window that is gone answers nothing and does not block the sender.
    std::thread late([window, &answer] { answer = SendMessageA(window, WM_USER, 1, 0); });
    late.join();
    EXPECT_EQ(answer.load(), 0);
}

TEST(Dialog, TemplateMakesTheDialogAndItsPictureControl) {
    HWND window = makeTopLevel();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(CreateDialogParamA(&testModule, MAKEINTRESOURCEA(999), window, nullptr, 0), nullptr);
    HWND dialog = CreateDialogParamA(&testModule, MAKEINTRESOURCEA(102), window, nullptr, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetParent(dialog), window);
    HWND control = GetDlgItem(dialog, 1001);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(GetDlgItem(dialog, 1002), nullptr);
    EXPECT_EQ(GetDlgCtrlID(control), 1001);
    EXPECT_EQ(GetWindowLongPtrA(control, GWL_STYLE) & (SS_CENTERIMAGE | WS_VISIBLE), SS_CENTERIMAGE | WS_VISIBLE);
    EXPECT_TRUE(SetWindowPos(control, nullptr, 0, 0, 640, 480, SWP_NOZORDER));
    RECT rc;
    GetClientRect(control, &rc);
    EXPECT_EQ(rc.right, 640);
    EXPECT_EQ(rc.bottom, 480);
    DestroyWindow(window);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(IsWindow(control));
}

TEST(Dialog, PictureControlHandsBackThePreviousBitmapAndPaintsTheCurrentOne) {
    HWND window = makeTopLevel();
    ASSERT_NE(window, nullptr);
    HWND dialog = CreateDialogParamA(&testModule, MAKEINTRESOURCEA(102), window, nullptr, 0);
    HWND control = GetDlgItem(dialog, 1001);
    ASSERT_NE(control, nullptr);
    ShowWindow(window, SW_SHOW);
    BITMAPINFO info = header(16, 12);
    HBITMAP first = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
    HBITMAP second = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
    EXPECT_EQ(SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(first)), 0);
    UpdateWindow(window);
    EXPECT_EQ(SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(second)),
              reinterpret_cast<LRESULT>(first));
    EXPECT_EQ(SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0), reinterpret_cast<LRESULT>(second));
    DeleteObject(first);
    // Painting after the shown bitmap was deleted must not read freed pixels.
    DeleteObject(second);
    UpdateWindow(window);
    DestroyWindow(window);
}
