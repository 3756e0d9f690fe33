// The capture library: video input devices as sources of packed 24-bit frames
// (blue, green, red; rows without gaps), polled by the caller. All calls come
// from the thread that constructed the CaptureInput.
#pragma once

#include "objbase.h"

struct VideoDevice;
struct IBaseFilter;

// Public interface. The private part of the class (device records, subtype
// list, graph construction helpers) is the library's own and may change.
class CaptureInput {
public:
    CaptureInput();
    ~CaptureInput();
    CaptureInput(const CaptureInput&) = delete;
    CaptureInput& operator=(const CaptureInput&) = delete;

    // Prints the device list unless silent; returns the number of devices.
    static int ListDevices(bool silent = false);

    // Frame rate to ask for at the next set-up of a device that is not running.
    void SetFrameRate(int device, int fps);
    // Opens the device in its current format.
    bool SetupDevice(int device);
    // Opens the device asking for width x height.
    bool SetupDevice(int device, int width, int height);

    // Frame size of a running device; 0 for any other.
    int GetWidth(int device);
    int GetHeight(int device);
    // Whether a frame waits that GetPixels has not yet taken; never waits.
    bool HasNewFrame(int device);
    // Waits up to 1000 ms for a frame and copies GetWidth x GetHeight x 3 bytes.
    bool GetPixels(int device, unsigned char* destination, bool swapRedBlue, bool flipVertically);
    // Tears the device down; its slot gets a fresh record.
    void StopDevice(int device);

private:
    static constexpr int kMaxDevices = 20;
    static constexpr int kSubtypeCount = 18;

    bool OpenDevice(int device);
    HRESULT BuildGraph(int device, VideoDevice& record);
    void SubtypeName(GUID subtype, char out[8]) const;
    bool TrySizeAndSubtype(VideoDevice& record, int width, int height, GUID subtype);
    void FindClosestSize(VideoDevice& record, int width, int height, int* outWidth, int* outHeight,
                         GUID* outSubtype);
    // The default path: the current format, submitted with a stored frame interval.
    void KeepCurrentFormat(VideoDevice& record);
    HRESULT AbandonBuild(int device, HRESULT result, const char* message);
    int CountDevices();
    HRESULT FindDeviceFilter(IBaseFilter** filter, int device, WCHAR nameWide[255], char name[255]);

    int deviceCount = 0;
    VideoDevice* devices[kMaxDevices];
    GUID pinCategory;
    GUID subtypeList[kSubtypeCount];
};
