// The frame loop's cycle over a scripted camera: the test defines the capture
// library's public operations itself, so that every call the loop makes is
// seen and the camera can be unplugged, replugged and resized at will.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <opencv2/core/core_c.h>

#include "app/frame_loop.h"

namespace {

struct HeadlessVideo : ::testing::Environment {
    void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 0); }
};
const auto* const kHeadless = ::testing::AddGlobalTestEnvironment(new HeadlessVideo);

// The scripted camera behind CaptureInput.
struct Camera {
    bool plugged = true;
    int width = 64;
    int height = 48;
    bool ready = false;
    int readyWidth = 0;
    int readyHeight = 0;
    std::deque<std::vector<unsigned char>> frames;  // packed BGR rows, copied as they are
    std::vector<std::string> calls;
};
Camera camera;

void log(const std::string& call) { camera.calls.push_back(call); }

// A frame of one gray value at the camera's current size.
void queueFrame(unsigned char gray) {
    std::vector<unsigned char> frame(static_cast<size_t>(camera.width) * camera.height * 3, gray);
    camera.frames.push_back(frame);
}

// The reader stand-in: each pass takes the next scripted answer.
struct Pass {
    int result;
    int count;
};
std::deque<Pass> passes;
std::vector<std::pair<int, int>> readerCalls;  // level, options
std::deque<DWORD> ticks;
std::vector<DWORD> sleeps;

DecodedSymbol square(int x, int y, int side) {
    DecodedSymbol s;
    std::memset(&s, 0, sizeof s);
    s.corners[0] = cvPoint(x, y);
    s.corners[1] = cvPoint(x + side, y);
    s.corners[2] = cvPoint(x + side, y + side);
    s.corners[3] = cvPoint(x, y + side);
    return s;
}

int scriptedRead(IplImage* image, DecodedSymbol* results, int* count, int level, int options) {
    EXPECT_EQ(image->nChannels, 1);
    readerCalls.push_back({level, options});
    Pass pass = {0, 0};
    if (!passes.empty()) {
        pass = passes.front();
        passes.pop_front();
    }
    if (pass.result != 0) return pass.result;
    for (int i = 0; i < pass.count; ++i) results[i] = square(20 + 20 * i, 30, 10);
    *count = pass.count;
    return 0;
}

DWORD scriptedTick() {
    if (ticks.empty()) return 0;
    DWORD t = ticks.front();
    ticks.pop_front();
    return t;
}

void recordSleep(DWORD ms) { sleeps.push_back(ms); }

const FrameLoopServices kServices = {scriptedRead, scriptedTick, recordSleep};

std::string call(const char* name, int a) { return std::string(name) + "(" + std::to_string(a) + ")"; }
std::string call(const char* name, int a, int b) {
    return std::string(name) + "(" + std::to_string(a) + "," + std::to_string(b) + ")";
}

}  // namespace

// The capture library's public operations, played by the scripted camera.
CaptureInput::CaptureInput() { log("CaptureInput"); }
CaptureInput::~CaptureInput() {}
int CaptureInput::ListDevices(bool silent) {
    log(silent ? "ListDevices(true)" : "ListDevices(false)");
    return camera.plugged ? 1 : 0;
}
void CaptureInput::SetFrameRate(int device, int fps) { log(call("SetFrameRate", device, fps)); }
bool CaptureInput::SetupDevice(int device) {
    log(call("SetupDevice", device));
    if (device != 0 || !camera.plugged || camera.ready) return false;
    camera.ready = true;
    camera.readyWidth = camera.width;
    camera.readyHeight = camera.height;
    return true;
}
bool CaptureInput::SetupDevice(int device, int width, int height) {
    log("SetupDevice(" + std::to_string(device) + "," + std::to_string(width) + "," + std::to_string(height) + ")");
    if (device != 0 || !camera.plugged || camera.ready) return false;
    camera.ready = true;
    camera.readyWidth = camera.width;
    camera.readyHeight = camera.height;
    return true;
}
int CaptureInput::GetWidth(int device) { return device == 0 && camera.ready ? camera.readyWidth : 0; }
int CaptureInput::GetHeight(int device) { return device == 0 && camera.ready ? camera.readyHeight : 0; }
bool CaptureInput::HasNewFrame(int device) {
    log(call("HasNewFrame", device));
    return device == 0 && camera.ready && camera.plugged && !camera.frames.empty();
}
bool CaptureInput::GetPixels(int device, unsigned char* destination, bool swapRedBlue, bool flipVertically) {
    log("GetPixels(" + std::to_string(device) + "," + (swapRedBlue ? "swap" : "noswap") + "," +
        (flipVertically ? "flip" : "noflip") + ")");
    if (device != 0 || !camera.ready || camera.frames.empty()) return false;
    const std::vector<unsigned char>& frame = camera.frames.front();
    EXPECT_EQ(frame.size(), static_cast<size_t>(camera.readyWidth) * camera.readyHeight * 3);
    std::memcpy(destination, frame.data(), frame.size());
    camera.frames.pop_front();
    return true;
}
void CaptureInput::StopDevice(int device) {
    log(call("StopDevice", device));
    camera.ready = false;
}

// The main window's procedure would start this; the tests make their windows
// without it and drive the cycle themselves.
DWORD WINAPI FrameLoop(LPVOID) { return 0; }

namespace {

// The windows the worker draws into: the main window's place is taken by a
// window that lays out its children on each size change, as the main window
// does; the dialog is the program's own dialog 102.
LRESULT CALLBACK layingOutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE && dialogWindow.load()) layoutChildren(window);
    return DefWindowProcA(window, message, wParam, lParam);
}

class FrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        camera = Camera{};
        passes.clear();
        readerCalls.clear();
        ticks.clear();
        sleeps.clear();
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = layingOutProc;
        windowClass.lpszClassName = "FrameLoopTestWindow";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, "FrameLoopTestWindow", "", WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT, 646,
                                 512, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        mainWindow = window;
        dialogWindow = CreateDialogParamA(&kelvraneModule, MAKEINTRESOURCEA(IDD_VIEW), window, PictureDlgProc, 0);
        ASSERT_NE(dialogWindow.load(), nullptr);
        layoutChildren(window);
        std::memset(&state, 0, sizeof state);
    }
    void TearDown() override {
        releaseFrameLoop(&state);
        DestroyWindow(window);
    }

    void start() {
        startFrameLoop(&state, &capture, kServices);
        camera.calls.clear();
        sleeps.clear();
    }

    // The bitmap the control shows now, with its size.
    bool shown(int* width, int* height) {
        HWND control = GetDlgItem(dialogWindow, IDC_PICTURE);
        HGDIOBJ bitmap = reinterpret_cast<HGDIOBJ>(SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
        BITMAP description;
        if (!bitmap || !GetObjectA(bitmap, sizeof description, &description)) return false;
        *width = description.bmWidth;
        *height = description.bmHeight;
        return true;
    }

    bool framePixelIs(int x, int y, int b, int g, int r) const {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(state.frameImage->imageData +
                                                                         y * state.frameImage->widthStep) + 3 * x;
        return p[0] == b && p[1] == g && p[2] == r;
    }

    HWND window = nullptr;
    CaptureInput capture;
    FrameLoopState state;
};

}  // namespace

TEST_F(FrameLoopTest, StartUpOpensDeviceZeroAtItsOwnFormatThenSettles) {
    startFrameLoop(&state, &capture, kServices);
    const std::vector<std::string> expected = {"ListDevices(false)", "SetFrameRate(0,15)",
                                               "SetupDevice(0)", "SetupDevice(0,640,480)"};
    EXPECT_EQ(camera.calls, expected);
    EXPECT_EQ(sleeps, std::vector<DWORD>{1000});
    ASSERT_NE(state.frameImage, nullptr);
    EXPECT_EQ(state.frameImage->width, 64);
    EXPECT_EQ(state.frameImage->height, 48);
    EXPECT_EQ(state.frameImage->nChannels, 3);
    EXPECT_EQ(state.missedPolls, 0);
}

TEST_F(FrameLoopTest, AdaptivePassRunsOnlyWhenTheFirstFindsNothing) {
    struct Case {
        const char* name;
        std::vector<Pass> script;
        size_t readerCalls;
        int drawn;
    } cases[] = {
        {"first pass finds one", {{0, 1}}, 1, 1},
        {"only the adaptive pass finds two", {{0, 0}, {0, 2}}, 2, 2},
        {"first pass fails, second finds one", {{-1, 0}, {0, 1}}, 2, 1},
        {"nothing anywhere", {{0, 0}, {-1, 0}}, 2, 0},
    };
    start();
    for (const Case& c : cases) {
        passes.assign(c.script.begin(), c.script.end());
        readerCalls.clear();
        queueFrame(128);
        runFrameCycle(&state, kServices);
        ASSERT_EQ(readerCalls.size(), c.readerCalls) << c.name;
        EXPECT_EQ(readerCalls[0], std::make_pair(-1, 13)) << c.name;
        if (c.readerCalls == 2) {
            EXPECT_EQ(readerCalls[1], std::make_pair(15, 14)) << c.name;
        }
        EXPECT_EQ(state.resultCount, c.drawn) << c.name;
        // 64 wide: band i covers rows 3i .. 3(i+1), outline i has its corner at (20 + 20i, 30).
        for (int i = 0; i < 2; ++i) {
            const bool drawn = i < c.drawn;
            EXPECT_EQ(framePixelIs(20 + 20 * i, 30, 0, 0, 255), drawn) << c.name << " outline " << i;
            EXPECT_EQ(framePixelIs(30, 3 * i + 1, 255, 255, 255), drawn) << c.name << " band " << i;
        }
        EXPECT_FALSE(framePixelIs(30, 3 * c.drawn + 2, 255, 255, 255)) << c.name << " no further band";
    }
}

TEST_F(FrameLoopTest, FiveEmptyPollsReconnectAndEveryEmptyPollAfterThat) {
    start();
    runFrameCycle(&state, kServices);
    std::vector<std::string> expected(5, "HasNewFrame(0)");
    const std::vector<std::string> reconnect = {"StopDevice(0)", "SetFrameRate(0,15)", "SetupDevice(0)",
                                                "SetupDevice(0,640,480)"};
    expected.insert(expected.end(), reconnect.begin(), reconnect.end());
    EXPECT_EQ(camera.calls, expected);
    ASSERT_FALSE(sleeps.empty());
    EXPECT_EQ(sleeps[0], 1000u);
    // The old frame is read again after a reconnection.
    EXPECT_EQ(readerCalls.size(), 2u);

    camera.calls.clear();
    runFrameCycle(&state, kServices);
    expected = {"HasNewFrame(0)"};
    expected.insert(expected.end(), reconnect.begin(), reconnect.end());
    EXPECT_EQ(camera.calls, expected);

    // A frame ends the run of misses.
    queueFrame(90);
    camera.calls.clear();
    runFrameCycle(&state, kServices);
    EXPECT_EQ(camera.calls, (std::vector<std::string>{"HasNewFrame(0)", "GetPixels(0,noswap,flip)"}));
    EXPECT_EQ(state.missedPolls, 0);
}

TEST_F(FrameLoopTest, PacingSleepsTheRestOfOneHundredMillisecondsOfReaderTime) {
    struct Case {
        DWORD t0, t1;
        std::vector<DWORD> sleeps;
    } cases[] = {
        {1000, 1030, {70}},
        {1000, 1150, {}},
        {1000, 1100, {}},
        {0xFFFFFFF0u, 0x00000014u, {64}},  // the tick count wrapped between the stamps
    };
    start();
    for (const Case& c : cases) {
        queueFrame(100);
        passes = {{0, 1}};
        ticks = {c.t0, c.t1};
        sleeps.clear();
        runFrameCycle(&state, kServices);
        EXPECT_EQ(sleeps, c.sleeps) << c.t0 << " .. " << c.t1;
        EXPECT_EQ(pacingDelay(c.t0, c.t1), c.sleeps.empty() ? 0u : c.sleeps[0]);
    }
}

TEST_F(FrameLoopTest, DisplayIsFourByThreeWithAWidthThatIsAMultipleOfSixteen) {
    struct Case {
        int cw, ch;
        bool shown;
        int w, h;
    } cases[] = {
        {630, 474, true, 624, 468}, {800, 500, true, 656, 492}, {600, 540, true, 592, 444},
        {640, 480, true, 640, 480}, {0, 0, false, 0, 0},        {10, 8, false, 0, 0},
    };
    for (const Case& c : cases) {
        int w = -1, h = -1;
        EXPECT_EQ(displaySize(c.cw, c.ch, &w, &h), c.shown) << c.cw << " x " << c.ch;
        EXPECT_EQ(w, c.w) << c.cw << " x " << c.ch;
        EXPECT_EQ(h, c.h) << c.cw << " x " << c.ch;
    }
    // Through the cycle: the control gets a bitmap of that size, and the one
    // before is deleted.
    start();
    queueFrame(100);
    runFrameCycle(&state, kServices);
    int w = 0, h = 0;
    ASSERT_TRUE(shown(&w, &h));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    HBITMAP first = frameBitmap;
    queueFrame(100);
    runFrameCycle(&state, kServices);
    EXPECT_NE(frameBitmap, first);
    EXPECT_EQ(GetObjectA(first, 0, nullptr), 0);
}

TEST_F(FrameLoopTest, MinimizedWindowShowsNothingButTheReaderStillRuns) {
    start();
    queueFrame(100);
    runFrameCycle(&state, kServices);
    HBITMAP before = frameBitmap;
    ShowWindow(window, SW_MINIMIZE);
    EXPECT_EQ(clientRect.right.load(), 0);
    queueFrame(100);
    readerCalls.clear();
    runFrameCycle(&state, kServices);
    EXPECT_EQ(readerCalls.size(), 2u);
    EXPECT_EQ(frameBitmap, before);
    ShowWindow(window, SW_RESTORE);
    EXPECT_EQ(clientRect.right.load(), 640);
    queueFrame(100);
    runFrameCycle(&state, kServices);
    EXPECT_NE(frameBitmap, before);
}

TEST_F(FrameLoopTest, NoCameraAtStartUpThenOneThatDelivers) {
    camera.plugged = false;
    start();
    EXPECT_EQ(state.frameImage, nullptr);
    for (int i = 0; i < 3; ++i) runFrameCycle(&state, kServices);
    EXPECT_TRUE(readerCalls.empty());  // nothing to read yet
    EXPECT_EQ(state.frameImage, nullptr);
    camera.plugged = true;
    runFrameCycle(&state, kServices);  // reconnects and now finds the device
    queueFrame(100);
    runFrameCycle(&state, kServices);
    ASSERT_NE(state.frameImage, nullptr);
    EXPECT_EQ(state.frameImage->width, 64);
    EXPECT_EQ(readerCalls.size(), 2u);
    int w = 0, h = 0;
    EXPECT_TRUE(shown(&w, &h));
}

TEST_F(FrameLoopTest, UnpluggedCameraComesBackAtANewSizeAndThePictureResumes) {
    start();
    queueFrame(100);
    runFrameCycle(&state, kServices);
    camera.plugged = false;
    camera.frames.clear();
    for (int i = 0; i < 3; ++i) runFrameCycle(&state, kServices);
    EXPECT_GE(state.missedPolls, 5);
    // Plugged back in, as a camera of another size with rows that need padding.
    camera.plugged = true;
    camera.width = 50;
    camera.height = 30;
    runFrameCycle(&state, kServices);
    queueFrame(60);
    camera.frames.back()[0] = 255;  // blue of pixel (0, 0): rows must land at their own step
    runFrameCycle(&state, kServices);
    ASSERT_NE(state.frameImage, nullptr);
    EXPECT_EQ(state.frameImage->width, 50);
    EXPECT_EQ(state.frameImage->height, 30);
    ASSERT_NE(state.grayImage, nullptr);
    EXPECT_EQ(state.grayImage->width, 50);
    EXPECT_EQ(state.missedPolls, 0);
    EXPECT_TRUE(framePixelIs(0, 0, 255, 60, 60));
    EXPECT_TRUE(framePixelIs(49, 29, 60, 60, 60));
    int w = 0, h = 0;
    EXPECT_TRUE(shown(&w, &h));
}
