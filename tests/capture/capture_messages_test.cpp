// The library's message sequences, byte for byte, over scripted devices.
#include "capture_test_support.h"

#include <string>

namespace {

using MessagesTest = FakeCameraTest;

const std::string kSetup = "SETUP: Setting up device 0\nSETUP: Fake camera\n";
const std::string kDisconnecting = "\nSETUP: Disconnecting device 0\n";
const std::string kFreed = "SETUP: Device 0 disconnected and freed\n\n";
const std::string kGraphs = "SETUP: freeing Capture Graph \nSETUP: freeing Main Graph \n";

std::string removed(const std::string& filter) {
    return "SETUP: removing filter " + filter + "...\nSETUP: filter removed " + filter + "  \n";
}

const std::string kReadyTearDown = kDisconnecting +
                                   "SETUP: freeing Grabber Callback\n"
                                   "SETUP: freeing Grabber  \n"
                                   "SETUP: freeing Control   \n"
                                   "SETUP: freeing Media Type  \n" +
                                   removed("Fake camera") + removed("Sample Grabber") +
                                   removed("NullRenderer") + kGraphs + kFreed;

TEST_F(MessagesTest, BuildWithoutSizeRequestThenStop) {
    StdoutCapture out;
    {
        CaptureInput capture;
        EXPECT_TRUE(capture.SetupDevice(0));
        EXPECT_EQ(capture.GetWidth(0), 640);
        EXPECT_EQ(capture.GetHeight(0), 480);
        EXPECT_TRUE(fakeIsRunning(0));
        capture.StopDevice(0);
        EXPECT_EQ(capture.GetWidth(0), 0);
        EXPECT_FALSE(fakeIsRunning(0));
    }
    EXPECT_EQ(out.take(), kBanner + kSetup + kReadyLines + kReadyTearDown);
}

TEST_F(MessagesTest, DestructorTearsDownRunningDevicesAndSilentSlots) {
    install({FakeDevice{}, FakeDevice{}});
    StdoutCapture out;
    {
        CaptureInput capture;
        ASSERT_TRUE(capture.SetupDevice(0));
    }
    EXPECT_EQ(out.take(), kBanner + kSetup + kReadyLines + kReadyTearDown);
}

TEST_F(MessagesTest, DeviceWithoutPreviewPinRendersFromItsCapturePin) {
    FakeDevice camera;
    camera.hasPreviewPin = false;
    install({camera});
    CaptureInput capture;
    StdoutCapture out;
    EXPECT_TRUE(capture.SetupDevice(0));
    EXPECT_EQ(out.take(), kSetup + "SETUP: Couldn't find preview pin using SmartTee\n" + kReadyLines);
    EXPECT_TRUE(fakeIsRunning(0));
    capture.StopDevice(0);
}

TEST_F(MessagesTest, OutOfRangeIndicesTouchNothingAndPrintNothing) {
    CaptureInput capture;
    StdoutCapture out;
    unsigned char pixel[3];
    EXPECT_FALSE(capture.SetupDevice(20));
    EXPECT_FALSE(capture.SetupDevice(-1));
    EXPECT_FALSE(capture.SetupDevice(-1, 640, 480));
    capture.StopDevice(25);
    capture.StopDevice(-1);
    capture.SetFrameRate(-3, 15);
    EXPECT_FALSE(capture.GetPixels(-1, pixel, false, false));
    EXPECT_EQ(capture.GetWidth(0), 0);  // nothing counted yet
    EXPECT_EQ(capture.GetHeight(-1), 0);
    EXPECT_FALSE(capture.HasNewFrame(20));
    capture.StopDevice(0);  // never built: silent
    EXPECT_EQ(out.take(), "");
}

TEST_F(MessagesTest, DeviceBeyondThoseFound) {
    struct Case {
        int devices;
        int asked;
        const char* expected;
    };
    const Case cases[] = {
        {3, 5,
         "SETUP: device[5] not found - you have 3 devices available\n"
         "SETUP: this means that the last device you can use is device[2] \n"},
        {0, 0,
         "SETUP: device[0] not found - you have 0 devices available\n"
         "SETUP: this means that the last device you can use is device[-1] \n"},
    };
    for (const Case& c : cases) {
        install(std::vector<FakeDevice>(static_cast<size_t>(c.devices)));
        CaptureInput capture;
        StdoutCapture out;
        EXPECT_FALSE(capture.SetupDevice(c.asked, 640, 480));
        EXPECT_EQ(out.take(), c.expected);
        EXPECT_EQ(capture.GetWidth(c.asked), 0);
        EXPECT_FALSE(capture.HasNewFrame(c.asked));
    }
}

TEST_F(MessagesTest, SecondSetupOfARunningDeviceFailsSilentlyAndKeepsItsFormat) {
    CaptureInput capture;
    ASSERT_TRUE(capture.SetupDevice(0));
    StdoutCapture out;
    EXPECT_FALSE(capture.SetupDevice(0, 320, 240));
    EXPECT_FALSE(capture.SetupDevice(0));
    EXPECT_EQ(out.take(), "");
    EXPECT_EQ(capture.GetWidth(0), 640);
    EXPECT_TRUE(fakeFormatCalls(0).empty());
}

// The frame interval goes with the current format when no size is asked
// for, and is lost with the record on StopDevice.
TEST_F(MessagesTest, FrameRateIsSubmittedWithTheCurrentFormat) {
    CaptureInput capture;
    capture.SetFrameRate(0, 0);
    capture.SetFrameRate(0, -5);
    ASSERT_TRUE(capture.SetupDevice(0));
    EXPECT_TRUE(fakeFormatCalls(0).empty());
    capture.StopDevice(0);

    capture.SetFrameRate(0, 15);
    ASSERT_TRUE(capture.SetupDevice(0));
    capture.SetFrameRate(0, 30);  // running: ignored
    auto calls = fakeFormatCalls(0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].frameInterval, 666666);
    EXPECT_EQ(calls[0].width, 640);
    EXPECT_EQ(calls[0].height, 480);
    capture.StopDevice(0);

    ASSERT_TRUE(capture.SetupDevice(0));
    EXPECT_EQ(fakeFormatCalls(0).size(), 1u);
}

TEST_F(MessagesTest, SizeRequestAcceptedInTheFirstSubtype) {
    CaptureInput capture;
    capture.SetFrameRate(0, 15);
    StdoutCapture out;
    EXPECT_TRUE(capture.SetupDevice(0, 320, 240));
    EXPECT_EQ(out.take(), kSetup +
                              "SETUP: Default Format is set to 640 by 480 \n"
                              "SETUP: trying format RGB24 @ 320 by 240\n" +
                              kReadyLines);
    EXPECT_EQ(capture.GetWidth(0), 320);
    EXPECT_EQ(capture.GetHeight(0), 240);
    auto calls = fakeFormatCalls(0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].accepted);
    EXPECT_EQ(calls[0].sampleSize, 320u * 240u * 3u);
    EXPECT_EQ(calls[0].frameInterval, 666666);
}

// RGB24 is refused and the device restored; RGB32 is taken. Frames still
// reach the callback as RGB24 through the grabber's type.
TEST_F(MessagesTest, SizeRequestNegotiatedOverTheSubtypeList) {
    FakeDevice camera;
    camera.refusedSubtypes = {MEDIASUBTYPE_RGB24};
    install({camera});
    CaptureInput capture;
    StdoutCapture out;
    EXPECT_TRUE(capture.SetupDevice(0, 320, 240));
    EXPECT_EQ(out.take(), kSetup +
                              "SETUP: Default Format is set to 640 by 480 \n"
                              "SETUP: trying format RGB24 @ 320 by 240\n"
                              "SETUP: trying format RGB32 @ 320 by 240\n" +
                              kReadyLines);
    auto calls = fakeFormatCalls(0);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].subtype, MEDIASUBTYPE_RGB24);
    EXPECT_FALSE(calls[0].accepted);
    EXPECT_EQ(calls[1].width, 640);  // the restore
    EXPECT_EQ(calls[2].subtype, MEDIASUBTYPE_RGB32);
    EXPECT_TRUE(calls[2].accepted);
    EXPECT_EQ(capture.GetWidth(0), 320);
}

std::string allSubtypesTried(int width, int height) {
    const char* names[] = {"RGB24", "RGB32", "RGB555", "RGB565", "YUY2", "YVYU",
                           "YUYV",  "IYUV",  "UYVY",   "YV12",   "YVU9", "Y411",
                           "Y41P",  "Y211",  "AYUV",   "Y800",   "Y8",   "GREY"};
    std::string lines = "SETUP: Default Format is set to 640 by 480 \n";
    for (const char* name : names)
        lines += "SETUP: trying format " + std::string(name) + " @ " + std::to_string(width) +
                 " by " + std::to_string(height) + "\n";
    return lines + "SETUP: couldn't find requested size - searching for closest matching size\n";
}

// The closest-size search over the device's capabilities, seen through
// what the build prints and the size it settles on.
TEST_F(MessagesTest, ClosestSizeSearch) {
    const GUID grey = {0x59455247, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    const GUID unnamed = {0x3231564E, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    struct Case {
        const char* name;
        int width, height;
        std::vector<FakeCapability> capabilities;
        int capsBytes;
        bool refuseClosest;
        const char* closestLine;  // null: none found
        int frameWidth, frameHeight;
    };
    const Case cases[] = {
        {"exact inside a range stops the search", 640, 480,
         {{MEDIASUBTYPE_YUY2, 320, 240, 1280, 960, 16, 12}, {MEDIASUBTYPE_RGB24, 640, 480, 640, 480, 1, 1}},
         128, false, "SETUP: closest supported size is YUY2 @ 640 480\n", 640, 480},
        {"nearer of two single sizes", 650, 490,
         {{MEDIASUBTYPE_RGB24, 640, 480, 640, 480, 1, 1}, {MEDIASUBTYPE_YUY2, 800, 600, 800, 600, 1, 1}},
         128, false, "SETUP: closest supported size is RGB24 @ 640 480\n", 640, 480},
        {"a tie keeps the earlier capability", 700, 500,
         {{MEDIASUBTYPE_UYVY, 680, 500, 680, 500, 1, 1}, {MEDIASUBTYPE_RGB24, 720, 500, 720, 500, 1, 1}},
         128, false, "SETUP: closest supported size is UYVY @ 680 500\n", 680, 500},
        {"granularity below 1 is skipped", 352, 288,
         {{MEDIASUBTYPE_RGB24, 352, 288, 352, 288, 0, 1}, {grey, 176, 144, 176, 144, 1, 1}},
         128, false, "SETUP: closest supported size is GREY @ 176 144\n", 176, 144},
        {"unnamed subtype", 330, 250, {{unnamed, 320, 240, 320, 240, 1, 1}}, 128, false,
         "SETUP: closest supported size is OTHER @ 320 240\n", 320, 240},
        {"empty range in one dimension still competes", 100, 100,
         {{MEDIASUBTYPE_RGB24, 100, 200, 100, 100, 1, 1}}, 128, false,
         "SETUP: closest supported size is RGB24 @ 100 999999\n", 640, 480},
        {"capabilities record of another size", 330, 250,
         {{MEDIASUBTYPE_RGB24, 320, 240, 320, 240, 1, 1}}, 64, false, nullptr, 640, 480},
        {"closest size refused too", 330, 250, {{MEDIASUBTYPE_RGB24, 320, 240, 320, 240, 1, 1}},
         128, true, "SETUP: closest supported size is RGB24 @ 320 240\n", 640, 480},
        {"no capabilities", 330, 250, {}, 128, false, nullptr, 640, 480},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDevice camera;
        camera.capabilities = c.capabilities;
        camera.capabilitiesBytes = c.capsBytes;
        camera.refusedSizes = {{c.width, c.height}};
        if (c.refuseClosest) camera.refusedSizes.push_back({320, 240});
        // The empty-range case: the 999999 height is refused as any size
        // the device lacks would be.
        camera.refusedSizes.push_back({100, 999999});
        install({camera});
        CaptureInput capture;
        StdoutCapture out;
        EXPECT_TRUE(capture.SetupDevice(0, c.width, c.height));
        EXPECT_EQ(out.take(), kSetup + allSubtypesTried(c.width, c.height) +
                                  (c.closestLine ? c.closestLine : "") + kReadyLines);
        EXPECT_EQ(capture.GetWidth(0), c.frameWidth);
        EXPECT_EQ(capture.GetHeight(0), c.frameHeight);
        capture.StopDevice(0);
    }
}

// After a refused negotiation the default path resubmits the stored type,
// which still carries the last refused attempt, with the frame interval.
TEST_F(MessagesTest, FailedNegotiationKeepsTheCurrentSize) {
    FakeDevice camera;
    camera.refusedSizes = {{1024, 768}};
    install({camera});
    CaptureInput capture;
    capture.SetFrameRate(0, 10);
    ASSERT_TRUE(capture.SetupDevice(0, 1024, 768));
    EXPECT_EQ(capture.GetWidth(0), 640);
    auto calls = fakeFormatCalls(0);
    ASSERT_EQ(calls.size(), 18u * 2u + 1u);
    EXPECT_EQ(calls.back().width, 1024);
    EXPECT_EQ(calls.back().frameInterval, 1000000);
    EXPECT_FALSE(calls.back().accepted);
}

TEST_F(MessagesTest, FailureAtEachBuildStepLeavesAFreshRecord) {
    const std::string source = "SETUP: freeing Capture Source \n";
    const std::string control = "SETUP: freeing Control   \n";
    const std::string stream = "SETUP: freeing Stream  \n";
    const std::string mediaType = "SETUP: freeing Media Type  \n";
    const std::string grabberFilter = "SETUP: freeing Grabber Filter  \n";
    const std::string grabber = "SETUP: freeing Grabber  \n";
    const std::string callback = "SETUP: freeing Grabber Callback\n";
    const std::string camera = removed("Fake camera");
    const std::string sampleGrabber = removed("Sample Grabber");
    struct Case {
        FakeCall call;
        std::string build;     // after "Setting up device 0"
        std::string tearDown;  // between the disconnecting and freed lines
    };
    const Case cases[] = {
        {FakeCall::CreateGraph, "ERROR - Could not add the graph builder!\n",
         "SETUP: freeing Capture Graph \n"},
        {FakeCall::SetFiltergraph, "ERROR - Could not set filtergraph\n", kGraphs},
        {FakeCall::QueryMediaControl, "ERROR - Could not create the Media Control object\n", kGraphs},
        {FakeCall::BindToObject, "ERROR - Could not find specified video device\n", control + kGraphs},
        {FakeCall::FindStreamConfig,
         "SETUP: Fake camera\nSETUP: Couldn't find preview pin using SmartTee\n"
         "ERROR: Couldn't config the stream!\n",
         source + control + camera + kGraphs},
        {FakeCall::StreamConfigNull, "SETUP: Fake camera\nERROR: Couldn't config the stream!\n",
         source + control + camera + kGraphs},
        {FakeCall::GetFormat, "SETUP: Fake camera\nERROR: Couldn't getFormat for pAmMediaType!\n",
         source + control + stream + camera + kGraphs},
        {FakeCall::CreateGrabber,
         "SETUP: Fake camera\nCould not Create Sample Grabber - CoCreateInstance()\n",
         source + control + stream + mediaType + camera + kGraphs},
        {FakeCall::AddGrabber, "SETUP: Fake camera\nCould not add Sample Grabber - AddFilter()\n",
         source + grabberFilter + control + stream + mediaType + camera + kGraphs},
        {FakeCall::QuerySampleGrabber, "SETUP: Fake camera\nERROR: Could not query SampleGrabber\n",
         source + grabberFilter + control + stream + mediaType + camera + sampleGrabber + kGraphs},
        {FakeCall::SetCallback, "SETUP: Fake camera\nERROR: problem setting callback\n",
         callback + source + grabberFilter + grabber + control + stream + mediaType + camera +
             sampleGrabber + kGraphs},
        {FakeCall::CreateRenderer,
         "SETUP: Fake camera\nSETUP: Capture callback set\n"
         "ERROR: Could not create filter - NullRenderer\n",
         callback + source + grabberFilter + grabber + control + mediaType + camera + sampleGrabber +
             kGraphs},
        {FakeCall::AddRenderer,
         "SETUP: Fake camera\nSETUP: Capture callback set\n"
         "ERROR: Could not add filter - NullRenderer\n",
         callback + "SETUP: freeing Renderer \n" + source + grabberFilter + grabber + control +
             mediaType + camera + sampleGrabber + kGraphs},
        {FakeCall::RenderStream,
         "SETUP: Fake camera\nSETUP: Capture callback set\n"
         "ERROR: Could not connect pins - RenderStream()\n",
         callback + "SETUP: freeing Renderer \n" + source + grabberFilter + grabber + control +
             mediaType + camera + sampleGrabber + removed("NullRenderer") + kGraphs},
        // The connected grabber and renderer go with the source's downstream
        // removal, silently; only the source is left for the graph's clearing.
        {FakeCall::Run, "SETUP: Fake camera\nSETUP: Capture callback set\nERROR: Could not start graph\n",
         callback + "SETUP: freeing Renderer \n" + source + grabberFilter + grabber + control +
             mediaType + camera + kGraphs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fakeCallName(c.call));
        install({FakeDevice{}});
        long objectsBefore = fakeLiveObjects();
        long memoryBefore = fakeTaskMemoryBlocks();
        CaptureInput capture;
        fakeFail(c.call);
        StdoutCapture out;
        EXPECT_FALSE(capture.SetupDevice(0));
        EXPECT_EQ(out.take(), "SETUP: Setting up device 0\n" + c.build + kDisconnecting + c.tearDown + kFreed);
        EXPECT_EQ(capture.GetWidth(0), 0);
        EXPECT_FALSE(fakeIsRunning(0));
        EXPECT_EQ(fakeLiveObjects(), objectsBefore);
        EXPECT_EQ(fakeTaskMemoryBlocks(), memoryBefore);

        // The slot holds a fresh record: stopping it is silent, and a new
        // set-up succeeds once the platform does.
        out.start();
        capture.StopDevice(0);
        EXPECT_EQ(out.take(), "");
        fakeFail(c.call, S_OK);
        EXPECT_TRUE(capture.SetupDevice(0));
        capture.StopDevice(0);
    }
}

// The first step's failure keeps the record: nothing was made, and a later
// set-up builds on it.
TEST_F(MessagesTest, FailureToCreateTheBuilderKeepsTheRecord) {
    CaptureInput capture;
    fakeFail(FakeCall::CreateBuilder);
    StdoutCapture out;
    EXPECT_FALSE(capture.SetupDevice(0));
    EXPECT_EQ(out.take(), "SETUP: Setting up device 0\nERROR - Could not create the Filter Graph Manager\n");
    fakeFail(FakeCall::CreateBuilder, S_OK);
    out.start();
    EXPECT_TRUE(capture.SetupDevice(0));
    EXPECT_EQ(out.take(), kSetup + kReadyLines);
    capture.StopDevice(0);

    fakeFail(FakeCall::CreateBuilder);
    ASSERT_FALSE(capture.SetupDevice(0));
    out.start();
    capture.StopDevice(0);
    EXPECT_EQ(out.take(), kDisconnecting + kFreed);
}

// The frame loop's fallback: the plain set-up failed, the size request builds.
TEST_F(MessagesTest, SizeRequestAfterAFailedSetup) {
    CaptureInput capture;
    fakeFail(FakeCall::Run);
    ASSERT_FALSE(capture.SetupDevice(0));
    fakeFail(FakeCall::Run, S_OK);
    StdoutCapture out;
    EXPECT_TRUE(capture.SetupDevice(0, 640, 480));
    EXPECT_EQ(out.take(), kSetup +
                              "SETUP: Default Format is set to 640 by 480 \n"
                              "SETUP: trying format RGB24 @ 640 by 480\n" +
                              kReadyLines);
    EXPECT_EQ(capture.GetWidth(0), 640);
}

TEST_F(MessagesTest, NonFatalAndTearDownFailures) {
    struct Case {
        FakeCall call;
        std::string build;
        std::string tearDown;
    };
    const std::string afterCallback = "SETUP: freeing Grabber  \nSETUP: freeing Control   \nSETUP: freeing Media Type  \n";
    const Case cases[] = {
        {FakeCall::QueryMediaFilter,
         "SETUP: Capture callback set\nERROR: Could not get IID_IMediaFilter interface\n"
         "SETUP: Device is setup and ready to capture.\n\n",
         kReadyTearDown},
        {FakeCall::Pause, kReadyLines,
         kDisconnecting + "SETUP: freeing Grabber Callback\nERROR - Could not pause pControl\n" +
             afterCallback + removed("Fake camera") + removed("Sample Grabber") + removed("NullRenderer") +
             kGraphs + kFreed},
        {FakeCall::Stop, kReadyLines,
         kDisconnecting + "SETUP: freeing Grabber Callback\nERROR - Could not stop pControl\n" +
             afterCallback + removed("Fake camera") + removed("Sample Grabber") + removed("NullRenderer") +
             kGraphs + kFreed},
        {FakeCall::EnumFilters, kReadyLines,
         kDisconnecting + "SETUP: freeing Grabber Callback\n" + afterCallback +
             "SETUP: pGraph->EnumFilters() failed. \n" + kGraphs + kFreed},
        {FakeCall::RemoveFilter, kReadyLines,
         kDisconnecting + "SETUP: freeing Grabber Callback\n" + afterCallback +
             "SETUP: removing filter Fake camera...\nSETUP: pGraph->RemoveFilter() failed. \n" + kGraphs +
             kFreed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fakeCallName(c.call));
        install({FakeDevice{}});
        CaptureInput capture;
        fakeFail(c.call);
        StdoutCapture out;
        EXPECT_TRUE(capture.SetupDevice(0));
        capture.StopDevice(0);
        EXPECT_EQ(out.take(), "SETUP: Setting up device 0\nSETUP: Fake camera\n" + c.build + c.tearDown);
        EXPECT_FALSE(fakeIsRunning(0));
    }
}

}  // namespace
