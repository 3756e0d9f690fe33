// The capture library's face: device slots, set-up and stop, frame size,
// frame polling, and COM use counting.
#include "capture_internal.h"

namespace {

constexpr double kLibraryVersion = 1.0;
constexpr int kHundredNanosecondsPerSecond = 10000000;
// GetPixels waits this long for a frame before it gives up.
constexpr DWORD kFrameWaitMilliseconds = 1000;

int comUsers = 0;
// Whether our CoInitialize took: only then is CoUninitialize ours to call.
bool comInitialised = false;

bool inSlotRange(int device, int limit) { return device >= 0 && device < limit; }

}  // namespace

bool captureVerbose = true;

void ComAcquire() {
    if (comUsers == 0) {
        HRESULT result = CoInitialize(nullptr);
        if (result == RPC_E_CHANGED_MODE)
            CAPTURE_SAY("SETUP - COM already setup - threaded capture might not be possible\n");
        comInitialised = SUCCEEDED(result);
    }
    comUsers++;
}

void ComRelease() {
    if (comUsers > 0) {
        comUsers--;
        if (comUsers == 0 && comInitialised) {
            CoUninitialize();
            comInitialised = false;
        }
    }
}

CaptureInput::CaptureInput() {
    ComAcquire();
    deviceCount = 0;
    for (VideoDevice*& slot : devices) slot = new VideoDevice;
    CAPTURE_SAY("\n***** KELVRANE CAPTURE LIBRARY - %2.04f *****\n\n", kLibraryVersion);
    const GUID subtypes[kSubtypeCount] = {
        MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB555, MEDIASUBTYPE_RGB565,
        MEDIASUBTYPE_YUY2,  MEDIASUBTYPE_YVYU,  MEDIASUBTYPE_YUYV,   MEDIASUBTYPE_IYUV,
        MEDIASUBTYPE_UYVY,  MEDIASUBTYPE_YV12,  MEDIASUBTYPE_YVU9,   MEDIASUBTYPE_Y411,
        MEDIASUBTYPE_Y41P,  MEDIASUBTYPE_Y211,  MEDIASUBTYPE_AYUV,
        // Grey formats the platform has no names for. The "Y8" code is kept
        // as it was first written, not as the blank-padded four-character code.
        {0x30303859, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}},
        {0x38590000, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}},
        {0x59455247, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}},
    };
    for (int i = 0; i < kSubtypeCount; i++) subtypeList[i] = subtypes[i];
    pinCategory = PIN_CATEGORY_CAPTURE;
}

CaptureInput::~CaptureInput() {
    for (VideoDevice*& slot : devices) {
        delete slot;
        slot = nullptr;
    }
    ComRelease();
}

void CaptureInput::SetFrameRate(int device, int fps) {
    if (!inSlotRange(device, kMaxDevices) || devices[device]->ready || fps <= 0) return;
    devices[device]->frameInterval = kHundredNanosecondsPerSecond / fps;
}

bool CaptureInput::SetupDevice(int device) {
    if (!inSlotRange(device, kMaxDevices) || devices[device]->ready) return false;
    return OpenDevice(device);
}

bool CaptureInput::SetupDevice(int device, int width, int height) {
    if (!inSlotRange(device, kMaxDevices) || devices[device]->ready) return false;
    devices[device]->requestedWidth = width;
    devices[device]->requestedHeight = height;
    devices[device]->sizeRequested = true;
    return OpenDevice(device);
}

bool CaptureInput::OpenDevice(int device) {
    deviceCount = CountDevices();
    if (device > deviceCount - 1) {
        CAPTURE_SAY("SETUP: device[%i] not found - you have %i devices available\n", device,
                    deviceCount);
        CAPTURE_SAY("SETUP: this means that the last device you can use is device[%i] \n",
                    deviceCount - 1);
        return false;
    }
    VideoDevice& record = *devices[device];
    if (record.ready) {
        CAPTURE_SAY("SETUP: can't setup, device %i is currently being used\n", record.deviceIndex);
        return false;
    }
    return BuildGraph(device, record) == S_OK;
}

int CaptureInput::GetWidth(int device) {
    if (!inSlotRange(device, deviceCount) || !devices[device]->ready) return 0;
    return devices[device]->width;
}

int CaptureInput::GetHeight(int device) {
    if (!inSlotRange(device, deviceCount) || !devices[device]->ready) return 0;
    return devices[device]->height;
}

bool CaptureInput::HasNewFrame(int device) {
    if (!inSlotRange(device, deviceCount) || !devices[device]->ready) return false;
    SampleGrabberCallback& callback = *devices[device]->pCallback;
    EnterCriticalSection(&callback.lock);
    bool waiting = callback.frameReady;
    LeaveCriticalSection(&callback.lock);
    return waiting;
}

bool CaptureInput::GetPixels(int device, unsigned char* destination, bool swapRedBlue,
                             bool flipVertically) {
    if (!inSlotRange(device, deviceCount) || !devices[device]->ready) return false;
    VideoDevice& record = *devices[device];
    SampleGrabberCallback& callback = *record.pCallback;
    if (WaitForSingleObject(callback.frameEvent, kFrameWaitMilliseconds) != WAIT_OBJECT_0)
        return false;
    EnterCriticalSection(&callback.lock);
    CopyPixels(callback.frameBuffer, destination, record.width, record.height, swapRedBlue,
               flipVertically);
    callback.frameReady = false;
    LeaveCriticalSection(&callback.lock);
    ResetEvent(callback.frameEvent);
    return true;
}

void CaptureInput::StopDevice(int device) {
    if (!inSlotRange(device, kMaxDevices)) return;
    delete devices[device];
    devices[device] = new VideoDevice;
}
