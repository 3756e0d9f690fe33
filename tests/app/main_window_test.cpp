// The shell driven with a worker of the test's own in place of FrameLoop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <opencv2/core/core_c.h>

#include "app/main_window.h"

namespace {

struct HeadlessVideo : ::testing::Environment {
    void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 0); }
};
const auto* const kHeadless = ::testing::AddGlobalTestEnvironment(new HeadlessVideo);

// What the stand-in worker saw from its own thread.
struct WorkerView {
    bool started = false;
    RECT atStart = {};
    RECT minimized = {};
    RECT restored = {};
    RECT controlSize = {};
    DWORD controlStyle = 0;
    HBITMAP handedOver = nullptr;
    LRESULT previous = -1;
    char title[32] = {};
    DWORD exStyle = 0;
};
WorkerView view;

RECT published() {
    return RECT{clientRect.left.load(), clientRect.top.load(), clientRect.right.load(), clientRect.bottom.load()};
}

HBITMAP smallBitmap() {
    IplImage* image = cvCreateImage(cvSize(16, 12), IPL_DEPTH_8U, 3);
    cvSetZero(image);
    HBITMAP bitmap = imageToDib(image);
    cvReleaseImage(&image);
    return bitmap;
}

}  // namespace

// Plays the user and the worker: checks the window from the worker's side,
// minimizes and restores it, hands over a bitmap and closes the window.
DWORD WINAPI FrameLoop(LPVOID) {
    view.started = true;
    HWND window = mainWindow;
    GetWindowTextA(window, view.title, sizeof view.title);
    view.exStyle = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE));
    // The window is shown once CreateWindowExA has returned.
    while (!(GetWindowLongPtrA(window, GWL_STYLE) & WS_VISIBLE)) Sleep(1);
    view.atStart = published();
    HWND control = GetDlgItem(dialogWindow, IDC_PICTURE);
    GetClientRect(control, &view.controlSize);
    view.controlStyle = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE));
    view.handedOver = smallBitmap();
    view.previous = SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(view.handedOver));
    ShowWindow(window, SW_MINIMIZE);
    view.minimized = published();
    ShowWindow(window, SW_RESTORE);
    view.restored = published();
    PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}

TEST(MainWindow, RunsUntilClosedThenWinMainReturnsOne) {
    EXPECT_EQ(WinMain(&kelvraneModule, nullptr, nullptr, SW_SHOWDEFAULT), 1);
    ASSERT_TRUE(view.started);
    EXPECT_STREQ(view.title, "Kelvrane");
    EXPECT_EQ(view.exStyle & WS_EX_TOPMOST, static_cast<DWORD>(WS_EX_TOPMOST));
    // The first layout, made in WM_CREATE, is there once the window shows.
    EXPECT_EQ(view.atStart.right, 640);
    EXPECT_EQ(view.atStart.bottom, 480);
    // The control fills the client area and centres what it shows.
    EXPECT_EQ(view.controlSize.right, 640);
    EXPECT_EQ(view.controlSize.bottom, 480);
    EXPECT_EQ(view.controlStyle & (SS_BITMAP | SS_CENTERIMAGE), static_cast<DWORD>(SS_BITMAP | SS_CENTERIMAGE));
    EXPECT_EQ(view.previous, 0);
    EXPECT_EQ(view.minimized.right, 0);
    EXPECT_EQ(view.minimized.bottom, 0);
    EXPECT_EQ(view.restored.right, 640);
    EXPECT_EQ(view.restored.bottom, 480);
    // The bitmap the control held last went with it.
    EXPECT_EQ(GetObjectA(view.handedOver, 0, nullptr), 0);
    EXPECT_FALSE(IsWindow(mainWindow));
}

TEST(MainWindow, ClassThatCannotBeRegisteredIsReportedAndNoWorkerStarts) {
    WNDCLASSA taken = {};
    taken.lpfnWndProc = DefWindowProcA;
    taken.lpszClassName = "KelvraneClass";
    view = WorkerView{};
    RegisterClassA(&taken);  // or already taken by an earlier WinMain in this process
    testing::internal::CaptureStderr();
    EXPECT_EQ(WinMain(&kelvraneModule, nullptr, nullptr, SW_SHOWDEFAULT), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Cannot register class\n");
    EXPECT_FALSE(view.started);
    UnregisterClassA("KelvraneClass", nullptr);
}

TEST(ImageToDib, ImagesBecomeUprightBottomUpBitmaps) {
    struct Case {
        const char* name;
        int channels;
        int depth;
        bool made;
    } cases[] = {
        {"3 channels", 3, IPL_DEPTH_8U, true},
        {"1 channel", 1, IPL_DEPTH_8U, true},
        {"4 channels: left as created", 4, IPL_DEPTH_8U, true},
        {"16-bit", 3, IPL_DEPTH_16U, false},
    };
    for (const Case& c : cases) {
        IplImage* image = cvCreateImage(cvSize(16, 12), c.depth, c.channels);
        cvSetZero(image);
        // Pixel (0, 0) and the bottom-right pixel are marked.
        unsigned char* first = reinterpret_cast<unsigned char*>(image->imageData);
        unsigned char* last = reinterpret_cast<unsigned char*>(image->imageData + 11 * image->widthStep) + 15 * c.channels;
        for (int k = 0; k < c.channels; ++k) {
            first[k] = static_cast<unsigned char>(200 + k);
            last[k] = static_cast<unsigned char>(10 + k);
        }
        HBITMAP bitmap = imageToDib(image);
        cvReleaseImage(&image);
        ASSERT_EQ(bitmap != nullptr, c.made) << c.name;
        if (!bitmap) continue;
        BITMAP description;
        ASSERT_NE(GetObjectA(bitmap, sizeof description, &description), 0);
        EXPECT_EQ(description.bmWidth, 16) << c.name;
        EXPECT_EQ(description.bmHeight, 12) << c.name;
        EXPECT_EQ(description.bmWidthBytes * description.bmHeight, 576) << c.name;
        const unsigned char* bits = static_cast<const unsigned char*>(description.bmBits);
        // The image's first row is the last 48 bytes of the bitmap.
        const unsigned char* topLeft = bits + 576 - 48;
        const unsigned char* bottomRight = bits + 15 * 3;
        const int expectTop[3][3] = {{200, 201, 202}, {200, 200, 200}, {0, 0, 0}};
        const int expectBottom[3][3] = {{10, 11, 12}, {10, 10, 10}, {0, 0, 0}};
        const int row = c.channels == 3 ? 0 : c.channels == 1 ? 1 : 2;
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(topLeft[k], expectTop[row][k]) << c.name << " byte " << k;
            EXPECT_EQ(bottomRight[k], expectBottom[row][k]) << c.name << " byte " << k;
        }
        DeleteObject(bitmap);
    }
}

TEST(ImageToDib, RowsWithPaddingAreReadAtTheirOwnStep) {
    // 10 gray pixels a row are stored in 12 bytes: reading packed rows would
    // slant the picture by two pixels a row.
    IplImage* image = cvCreateImage(cvSize(10, 3), IPL_DEPTH_8U, 1);
    ASSERT_EQ(image->widthStep, 12);
    cvSetZero(image);
    for (int y = 0; y < 3; ++y) image->imageData[y * image->widthStep] = static_cast<char>(100 + y);
    HBITMAP bitmap = imageToDib(image);
    cvReleaseImage(&image);
    BITMAP description;
    ASSERT_NE(GetObjectA(bitmap, sizeof description, &description), 0);
    const unsigned char* bits = static_cast<const unsigned char*>(description.bmBits);
    for (int y = 0; y < 3; ++y) {
        const unsigned char* row = bits + (2 - y) * description.bmWidthBytes;
        EXPECT_EQ(row[0], 100 + y) << y;
        EXPECT_EQ(row[3], 0) << y;
    }
    DeleteObject(bitmap);
}
