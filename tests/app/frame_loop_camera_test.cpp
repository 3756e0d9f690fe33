// The frame loop's cycle over the capture library with its fake platform:
// frames pushed into the fake camera's graph come out upright, annotated, in
// the picture control; an unplugged camera is reopened until it is back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "app/frame_loop.h"
#include "dshow_fake.h"
#include "frame_renderer.h"
#include "symbol_fixtures.h"

namespace {

struct HeadlessVideo : ::testing::Environment {
    void SetUp() override { setenv("SDL_VIDEODRIVER", "dummy", 0); }
};
const auto* const kHeadless = ::testing::AddGlobalTestEnvironment(new HeadlessVideo);

const int kWidth = 640;
const int kHeight = 480;

// What the reader stand-in reports: the true corners of the drawn symbols,
// from the pass the test chooses.
std::vector<SymbolCorners> drawnCorners;
int findingPass = 1;
int passesRun = 0;
cv::Mat grayRead;

int cornersReader(IplImage* image, DecodedSymbol* results, int* count, int, int options) {
    ++passesRun;
    grayRead = cv::cvarrToMat(image).clone();
    const int pass = (options & DM_ADAPTIVE_THRESHOLD) ? 2 : 1;
    if (pass != findingPass) return 0;
    *count = static_cast<int>(drawnCorners.size());
    for (int i = 0; i < *count; ++i) {
        std::memset(&results[i], 0, sizeof results[i]);
        for (int k = 0; k < 4; ++k)
            results[i].corners[k] = cvPoint(cvRound(drawnCorners[i][k].x), cvRound(drawnCorners[i][k].y));
        std::snprintf(results[i].text, sizeof results[i].text, "SYMBOL %d", i);
    }
    return 0;
}

// The real reader, counted.
int countedReader(IplImage* image, DecodedSymbol* results, int* count, int level, int options) {
    ++passesRun;
    return dmReadSymbols(image, results, count, level, options);
}

DWORD noTicks() { return 0; }
void noSleep(DWORD) {}
const FrameLoopServices kServices = {cornersReader, noTicks, noSleep};

// A camera picture with the given fixtures side by side, in BGR.
RenderedFrame picture(const std::vector<const char*>& fixtures) {
    FrameStyle style;
    style.color = true;
    std::vector<SymbolPlacement> placements;
    for (size_t i = 0; i < fixtures.size(); ++i) {
        const SymbolFixture& fixture = symbolFixture(fixtures[i]);
        SymbolPlacement placement;
        placement.modules = fixture.modules;
        placement.rows = fixture.rows;
        placement.cols = fixture.cols;
        placement.center = cv::Point2d(160 + 320 * static_cast<double>(i), 300);
        placement.modulePixels = 6;
        placements.push_back(placement);
    }
    return renderFrame(style, placements);
}

// Delivers the picture as the platform does: packed rows, bottom row first.
bool push(const cv::Mat& bgr) {
    cv::Mat bottomUp;
    cv::flip(bgr, bottomUp, 0);
    return fakePushSample(0, bottomUp.data, static_cast<long>(bottomUp.total() * bottomUp.elemSize()));
}

LRESULT CALLBACK layingOutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE && dialogWindow.load()) layoutChildren(window);
    return DefWindowProcA(window, message, wParam, lParam);
}

class CameraFrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakeInstall({FakeDevice{}});
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = layingOutProc;
        windowClass.lpszClassName = "CameraFrameLoopTestWindow";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, "CameraFrameLoopTestWindow", "", WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT,
                                 646, 512, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        mainWindow = window;
        dialogWindow = CreateDialogParamA(&kelvraneModule, MAKEINTRESOURCEA(IDD_VIEW), window, PictureDlgProc, 0);
        layoutChildren(window);
        drawnCorners.clear();
        findingPass = 1;
        passesRun = 0;
        capture = new CaptureInput;
        std::memset(&state, 0, sizeof state);
        startFrameLoop(&state, capture, kServices);
    }
    void TearDown() override {
        releaseFrameLoop(&state);
        delete capture;
        DestroyWindow(window);
        fakeUninstall();
    }

    // The picture control's bitmap as an upright BGR image.
    cv::Mat shown() {
        HWND control = GetDlgItem(dialogWindow, IDC_PICTURE);
        HGDIOBJ bitmap = reinterpret_cast<HGDIOBJ>(SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
        BITMAP description;
        if (!bitmap || !GetObjectA(bitmap, sizeof description, &description)) return cv::Mat();
        cv::Mat bottomUp(description.bmHeight, description.bmWidth, CV_8UC3, description.bmBits,
                         description.bmWidthBytes);
        cv::Mat upright;
        cv::flip(bottomUp, upright, 0);
        return upright;
    }

    static bool isRed(const cv::Mat& image, cv::Point2d p) {
        // Within a pixel of the point: the outline is one pixel wide.
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (image.at<cv::Vec3b>(cvRound(p.y) + dy, cvRound(p.x) + dx) == cv::Vec3b(0, 0, 255)) return true;
        return false;
    }

    HWND window = nullptr;
    CaptureInput* capture = nullptr;
    FrameLoopState state;
};

}  // namespace

// The main window's procedure would start this; the tests make their windows
// without it and drive the cycle themselves.
DWORD WINAPI FrameLoop(LPVOID) { return 0; }

TEST_F(CameraFrameLoopTest, SymbolsFoundInEitherPassAreOutlinedAndBandedInThePicture) {
    struct Case {
        const char* name;
        std::vector<const char*> fixtures;
        int findingPass;
        int passes;
    } cases[] = {
        {"one symbol, first pass", {"dmtx-ascii-16x16"}, 1, 1},
        {"two symbols, adaptive pass only", {"dmtx-ascii-16x16", "zint-24x24"}, 2, 2},
    };
    ASSERT_EQ(state.frameImage->width, kWidth);
    for (const Case& c : cases) {
        RenderedFrame frame = picture(c.fixtures);
        drawnCorners = frame.corners;
        findingPass = c.findingPass;
        passesRun = 0;
        ASSERT_TRUE(push(frame.image)) << c.name;
        runFrameCycle(&state, kServices);
        EXPECT_EQ(passesRun, c.passes) << c.name;
        EXPECT_EQ(state.resultCount, static_cast<int>(c.fixtures.size())) << c.name;
        // The reader saw the picture upright, in gray.
        cv::Mat expectedGray;
        cv::cvtColor(frame.image, expectedGray, cv::COLOR_BGR2GRAY);
        EXPECT_EQ(cv::norm(grayRead, expectedGray, cv::NORM_INF), 0) << c.name;

        cv::Mat image = shown();
        ASSERT_EQ(image.cols, kWidth) << c.name;
        ASSERT_EQ(image.rows, kHeight) << c.name;
        for (size_t i = 0; i < frame.corners.size(); ++i) {
            // One band of 30 rows per symbol up to column 512, with black text on it.
            const int bandTop = 30 * static_cast<int>(i);
            EXPECT_EQ(image.at<cv::Vec3b>(bandTop + 28, 500), cv::Vec3b(255, 255, 255)) << c.name << " band " << i;
            cv::Mat band = image(cv::Rect(0, bandTop, 512, 30));
            cv::Mat black;
            cv::inRange(band, cv::Scalar(0, 0, 0), cv::Scalar(40, 40, 40), black);
            EXPECT_GT(cv::countNonZero(black), 20) << c.name << " text " << i;
            for (const cv::Point2d& corner : frame.corners[i]) EXPECT_TRUE(isRed(image, corner)) << c.name;
        }
        EXPECT_NE(image.at<cv::Vec3b>(30 * static_cast<int>(c.fixtures.size()) + 3, 500), cv::Vec3b(255, 255, 255))
            << c.name << " no further band";
    }
}

TEST_F(CameraFrameLoopTest, RealReaderFindsTheSymbolInTheFirstPassAndTheSecondIsSkipped) {
    const FrameLoopServices services = {countedReader, noTicks, noSleep};
    RenderedFrame frame = picture({"dmtx-ascii-16x16"});
    ASSERT_TRUE(push(frame.image));
    runFrameCycle(&state, services);
    EXPECT_EQ(passesRun, 1);
    ASSERT_EQ(state.resultCount, 1);
    EXPECT_EQ(std::string(state.results[0].text), symbolFixture("dmtx-ascii-16x16").text);
    EXPECT_TRUE(matchesCorners(frame.corners[0], state.results[0].corners, 3.0));
    cv::Mat image = shown();
    ASSERT_FALSE(image.empty());
    // The outline joins the corners the reader reported.
    for (const CvPoint& corner : state.results[0].corners) EXPECT_TRUE(isRed(image, cv::Point2d(corner.x, corner.y)));
    EXPECT_EQ(image.at<cv::Vec3b>(28, 500), cv::Vec3b(255, 255, 255));
}

TEST_F(CameraFrameLoopTest, RealReaderNeedsTheAdaptivePassForTwoSymbolsInUnevenLight) {
    // The left half lies in shadow and the right half in bright light: one
    // global threshold sees the left symbol all dark and the right one all
    // light; only the adaptive threshold separates the modules of both.
    const FrameLoopServices services = {countedReader, noTicks, noSleep};
    const char* const names[2] = {"dmtx-ascii-16x16", "zint-24x24"};
    const int dark[2] = {10, 150}, light[2] = {90, 250};
    cv::Mat composed(kHeight, kWidth, CV_8UC3);
    std::vector<SymbolCorners> corners;
    for (int i = 0; i < 2; ++i) {
        FrameStyle style;
        style.color = true;
        style.dark = dark[i];
        style.light = light[i];
        const SymbolFixture& fixture = symbolFixture(names[i]);
        SymbolPlacement placement;
        placement.modules = fixture.modules;
        placement.rows = fixture.rows;
        placement.cols = fixture.cols;
        placement.center = cv::Point2d(160 + 320 * i, 240);
        placement.modulePixels = 6;
        RenderedFrame half = renderFrame(style, {placement});
        const cv::Rect side(320 * i, 0, 320, kHeight);
        half.image(side).copyTo(composed(side));
        corners.push_back(half.corners[0]);
    }
    ASSERT_TRUE(push(composed));
    runFrameCycle(&state, services);
    EXPECT_EQ(passesRun, 2);
    ASSERT_EQ(state.resultCount, 2);
    cv::Mat image = shown();
    ASSERT_FALSE(image.empty());
    for (int i = 0; i < 2; ++i) {
        const int k = matchesCorners(corners[0], state.results[i].corners, 3.0) ? 0 : 1;
        EXPECT_TRUE(matchesCorners(corners[k], state.results[i].corners, 3.0)) << i;
        EXPECT_EQ(std::string(state.results[i].text), symbolFixture(names[k]).text) << i;
        for (const CvPoint& corner : state.results[i].corners)
            EXPECT_TRUE(isRed(image, cv::Point2d(corner.x, corner.y))) << i;
        EXPECT_EQ(image.at<cv::Vec3b>(30 * i + 28, 500), cv::Vec3b(255, 255, 255)) << i;
    }
}

TEST_F(CameraFrameLoopTest, UnpluggedCameraIsReopenedUntilItIsBackAndThePictureResumes) {
    RenderedFrame first = picture({"dmtx-ascii-16x16"});
    ASSERT_TRUE(push(first.image));
    runFrameCycle(&state, kServices);
    ASSERT_TRUE(fakeIsRunning(0));
    const cv::Mat before = shown();

    fakeInstall({});  // unplugged
    for (int i = 0; i < 3; ++i) runFrameCycle(&state, kServices);
    EXPECT_GE(state.missedPolls, 5);
    EXPECT_FALSE(fakeIsRunning(0));
    EXPECT_EQ(capture->GetWidth(0), 0);
    // Meanwhile the last picture stays up.
    EXPECT_EQ(cv::norm(shown(), before, cv::NORM_INF), 0);

    fakeInstall({FakeDevice{}});  // plugged back in
    runFrameCycle(&state, kServices);
    ASSERT_TRUE(fakeIsRunning(0));
    RenderedFrame second = picture({"zint-24x24", "dmtx-ascii-16x16"});
    ASSERT_TRUE(push(second.image));
    runFrameCycle(&state, kServices);
    EXPECT_EQ(state.missedPolls, 0);
    cv::Mat after = shown();
    ASSERT_FALSE(after.empty());
    // The new picture is the one shown: compare below the bands.
    const cv::Rect below(0, 100, kWidth, kHeight - 100);
    EXPECT_EQ(cv::norm(after(below), second.image(below), cv::NORM_INF), 0);
}
