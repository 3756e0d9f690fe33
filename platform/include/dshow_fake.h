// A scriptable stand-in for the COM/DirectShow platform, for tests.
//
// How a test scripts a device and pushes frames:
//
//   FakeDevice camera;                       // 640 x 480 RGB24, preview pin,
//   camera.friendlyName = u"Desk camera";    // property bag with a name
//   camera.capabilities.push_back({MEDIASUBTYPE_RGB24, 320, 240, 1280, 960, 16, 12});
//   fakeInstall({camera});                   // CoCreateInstance now makes fakes
//   fakeFail(FakeCall::RenderStream);        // optional: make one call fail
//
//   CaptureInput capture;                    // library calls reach the fake
//   capture.SetupDevice(0);
//   std::vector<unsigned char> frame(640 * 480 * 3);
//   fakePushSample(0, frame.data(), frame.size());   // from any thread
//   capture.GetPixels(0, out, false, true);
//
//   fakeUninstall();                         // back to the GStreamer backend
//
// Devices are addressed by their position in the fake category (devices
// without a property bag included). Every object the fake hands out is
// counted, so a test can check that a tear-down released everything
// (fakeLiveObjects, fakeTaskMemoryBlocks).
//
// End-to-end runs of the unmodified application need no fake: with
//   KELVRANE_TEST_CAMERA=<image file or directory of images>
// in its environment, the GStreamer backend lists one more device, first,
// "Kelvrane test camera", that delivers those images in a loop at 15 frames
// per second (a directory's files in name order, each scaled to the first
// image's size; files that do not decode are skipped). It offers RGB24, YUY2,
// IYUV and MJPG at any size from 16 x 16 to 4096 x 4096, so
// SetupDevice(0, 640, 480) gets 640 x 480 and SetupDevice(0) the first
// image's size. Frames arrive as a camera's do:
// bottom row first, blue-green-red. Users never see it without the variable.
#pragma once

#include "dshow.h"

#include <string>
#include <vector>

// One capability as the stream configuration reports it.
struct FakeCapability {
    GUID subtype;
    int minWidth;
    int minHeight;
    int maxWidth;
    int maxHeight;
    int granularityX;
    int granularityY;
};

struct FakeDevice {
    bool hasPropertyBag = true;
    bool hasFriendlyName = true;
    std::u16string friendlyName = u"Fake camera";
    bool hasDescription = false;
    std::u16string description;
    bool hasPreviewPin = true;
    // The current format, as GetFormat reports it.
    int width = 640;
    int height = 480;
    GUID subtype = MEDIASUBTYPE_RGB24;
    REFERENCE_TIME frameInterval = 333333;
    std::vector<FakeCapability> capabilities;
    int capabilitiesBytes = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    // SetFormat refuses a type whose size or subtype is listed here.
    std::vector<SIZE> refusedSizes;
    std::vector<GUID> refusedSubtypes;
};

// Calls whose result a test can script.
enum class FakeCall {
    CoInitialize,            // e.g. RPC_E_CHANGED_MODE
    CreateDeviceEnumerator,  // CoCreateInstance(CLSID_SystemDeviceEnum)
    CreateClassEnumerator,   // e.g. S_FALSE: the category looks empty
    CreateBuilder,           // CoCreateInstance(CLSID_CaptureGraphBuilder2)
    CreateGraph,             // CoCreateInstance(CLSID_FilterGraph)
    SetFiltergraph,
    QueryMediaControl,       // graph QueryInterface(IID_IMediaControl)
    BindToObject,            // the device's source filter
    FindStreamConfig,        // FindInterface(..., IID_IAMStreamConfig), both pin categories
    StreamConfigNull,        // FindInterface succeeds but hands out no interface
    GetFormat,
    CreateGrabber,           // CoCreateInstance(CLSID_SampleGrabber)
    AddGrabber,              // AddFilter of the sample grabber
    QuerySampleGrabber,      // grabber QueryInterface(IID_ISampleGrabber)
    SetCallback,             // only while a callback is being installed
    CreateRenderer,          // CoCreateInstance(CLSID_NullRenderer)
    AddRenderer,             // AddFilter of the null renderer
    RenderStream,
    QueryMediaFilter,        // graph QueryInterface(IID_IMediaFilter)
    Run,
    Pause,
    Stop,
    EnumFilters,
    RemoveFilter,
    GetPointer,              // IMediaSample::GetPointer of pushed samples
    Count
};

// The call's name, for test messages.
const char* fakeCallName(FakeCall call);

// One SetFormat the device received.
struct FakeFormatCall {
    int width;
    int height;
    GUID subtype;
    REFERENCE_TIME frameInterval;
    ULONG sampleSize;
    bool accepted;
};

// Makes the fake the process's COM backend with these devices; clears
// scripted failures and counters.
void fakeInstall(const std::vector<FakeDevice>& devices);
// Restores the GStreamer backend.
void fakeUninstall();
// The call returns `result` from now on (S_OK clears it). Failures default to E_FAIL.
void fakeFail(FakeCall call, HRESULT result = E_FAIL);

// Offers one sample to the device's running graph, on the caller's thread.
// Returns whether it reached a sample grabber (graph running, pins connected).
bool fakePushSample(int device, const void* data, long length);
// Whether the device's source filter is in a running graph.
bool fakeIsRunning(int device);
// The SetFormat calls the device received, oldest first.
std::vector<FakeFormatCall> fakeFormatCalls(int device);

// COM objects of the platform layer alive now (fake or not).
long fakeLiveObjects();
// Blocks from CoTaskMemAlloc not yet freed.
long fakeTaskMemoryBlocks();
// Backend initialisations and uninitialisations since fakeInstall.
int fakeInitializeCalls();
int fakeUninitializeCalls();
