// Listing and counting the video input category, device names, and COM use
// counting around them.
#include "capture_test_support.h"

#include <string>

namespace {

using EnumerationTest = FakeCameraTest;

FakeDevice named(std::u16string friendlyName) {
    FakeDevice device;
    device.friendlyName = std::move(friendlyName);
    return device;
}

TEST_F(EnumerationTest, ListsFriendlyNamesElseDescriptionsAndCountsBoundDevices) {
    FakeDevice both = named(u"Desk camera");
    both.hasDescription = true;
    both.description = u"USB Video";
    FakeDevice descriptionOnly;
    descriptionOnly.hasFriendlyName = false;
    descriptionOnly.hasDescription = true;
    descriptionOnly.description = u"Capture card";
    FakeDevice noBag;
    noBag.hasPropertyBag = false;
    FakeDevice nameless;
    nameless.hasFriendlyName = false;
    // Narrowing keeps each unit's low byte: U+0141 becomes 'A'.
    FakeDevice longName = named(u"\u0141" + std::u16string(299, u'x'));
    install({both, descriptionOnly, noBag, nameless, longName});

    StdoutCapture out;
    EXPECT_EQ(CaptureInput::ListDevices(false), 4);
    EXPECT_EQ(out.take(), "\nCAPTURE DEVICE LIST\n\n"
                          "SETUP: Looking For Capture Devices\n"
                          "SETUP: 0) Desk camera \n"
                          "SETUP: 1) Capture card \n"
                          "SETUP: 3) A" + std::string(252, 'x') + " \n"
                          "SETUP: 4 Device(s) found\n\n");
    out.start();
    EXPECT_EQ(CaptureInput::ListDevices(true), 4);
    EXPECT_EQ(out.take(), "");
}

TEST_F(EnumerationTest, EmptyOrMissingCategory) {
    struct Case {
        const char* name;
        FakeCall call;
        HRESULT result;
        const char* expected;
    };
    const Case cases[] = {
        {"empty category", FakeCall::CreateClassEnumerator, S_OK,
         "\nCAPTURE DEVICE LIST\n\nSETUP: 0 Device(s) found\n\n"},
        {"category enumerator not usable", FakeCall::CreateClassEnumerator, E_FAIL,
         "\nCAPTURE DEVICE LIST\n\nSETUP: 0 Device(s) found\n\n"},
        {"no device enumerator", FakeCall::CreateDeviceEnumerator, E_OUTOFMEMORY,
         "\nCAPTURE DEVICE LIST\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        install({});
        fakeFail(c.call, c.result);
        StdoutCapture out;
        EXPECT_EQ(CaptureInput::ListDevices(false), 0);
        EXPECT_EQ(out.take(), c.expected);
    }
}

// FindDeviceFilter counts every moniker, the counting walk only bound ones:
// position 0 is the device without a property bag, so it cannot be opened.
TEST_F(EnumerationTest, DeviceWithoutPropertyBagHoldsItsPosition) {
    FakeDevice noBag;
    noBag.hasPropertyBag = false;
    install({noBag, named(u"Second")});
    EXPECT_EQ(CaptureInput::ListDevices(true), 1);
    CaptureInput capture;
    StdoutCapture out;
    EXPECT_FALSE(capture.SetupDevice(0));
    std::string text = out.take();
    EXPECT_NE(text.find("ERROR - Could not find specified video device\n"), std::string::npos);
    EXPECT_EQ(text.find("SETUP: Second"), std::string::npos);
}

TEST_F(EnumerationTest, LongFriendlyNameIsCutWhenBound) {
    install({named(std::u16string(300, u'n'))});
    CaptureInput capture;
    StdoutCapture out;
    ASSERT_TRUE(capture.SetupDevice(0));
    std::string text = out.take();
    EXPECT_NE(text.find("SETUP: " + std::string(254, 'n') + "\n"), std::string::npos);
    EXPECT_EQ(text.find(std::string(255, 'n')), std::string::npos);
    capture.StopDevice(0);
}

TEST_F(EnumerationTest, ComIsInitialisedOncePerUseAndReleasedByItsLastUser) {
    CaptureInput::ListDevices(true);
    EXPECT_EQ(fakeInitializeCalls(), 1);
    EXPECT_EQ(fakeUninitializeCalls(), 1);
    {
        CaptureInput capture;
        CaptureInput::ListDevices(true);
        CaptureInput second;
        EXPECT_EQ(fakeInitializeCalls(), 2);
        EXPECT_EQ(fakeUninitializeCalls(), 1);
    }
    EXPECT_EQ(fakeUninitializeCalls(), 2);
}

// COM set up elsewhere in another mode is not ours to uninitialise.
TEST_F(EnumerationTest, ComAlreadySetUpInAnotherMode) {
    fakeFail(FakeCall::CoInitialize, RPC_E_CHANGED_MODE);
    StdoutCapture out;
    {
        CaptureInput capture;
    }
    EXPECT_EQ(out.take(), std::string("SETUP - COM already setup - threaded capture might not be possible\n") + kBanner);
    EXPECT_EQ(fakeUninitializeCalls(), 0);
}

}  // namespace
