// The library's message sequences, byte for byte, over scripted devices.
#include "capture_internal.h"
#include "capture_test_support.h"

namespace {

using MessagesTest = FakeCameraTest;

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
    }
    EXPECT_EQ(out.take(), std::string(kBanner) +
                              "SETUP: Setting up device 0\n"
                              "SETUP: Fake camera\n" +
                              kReadyLines +
                              "\nSETUP: Disconnecting device 0\n"
                              "SETUP: freeing Grabber Callback\n"
                              "SETUP: freeing Grabber  \n"
                              "SETUP: freeing Control   \n"
                              "SETUP: freeing Media Type  \n"
                              "SETUP: removing filter Fake camera...\n"
                              "SETUP: filter removed Fake camera  \n"
                              "SETUP: removing filter Sample Grabber...\n"
                              "SETUP: filter removed Sample Grabber  \n"
                              "SETUP: removing filter NullRenderer...\n"
                              "SETUP: filter removed NullRenderer  \n"
                              "SETUP: freeing Capture Graph \n"
                              "SETUP: freeing Main Graph \n"
                              "SETUP: Device 0 disconnected and freed\n\n");
}

}  // namespace
