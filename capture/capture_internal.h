// Internal records and helpers of the capture library.
#pragma once

#include "capture_input.h"
#include "qedit.h"
#include "win_kernel.h"

#include <cstdio>

// Library-wide message switch; nothing in the system turns it off.
extern bool captureVerbose;

// Messages governed by the switch: one printf call each.
#define CAPTURE_SAY(...)                      \
    do {                                      \
        if (captureVerbose) printf(__VA_ARGS__); \
    } while (0)

// COM use counting shared by every CaptureInput and ListDevices.
void ComAcquire();
void ComRelease();

// Receives the samples of one device on the platform's streaming thread and
// keeps one frame for the caller. Not reference-counted: its owning
// VideoDevice creates and destroys it.
class SampleGrabberCallback final : public ISampleGrabberCB {
public:
    SampleGrabberCallback();
    ~SampleGrabberCallback();
    SampleGrabberCallback(const SampleGrabberCallback&) = delete;
    SampleGrabberCallback& operator=(const SampleGrabberCallback&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE* buffer, long length) override;

    long lastSampleBytes = 0;
    long expectedBytes = 0;
    bool frameReady = false;
    bool bufferAllocated = false;
    unsigned char* frameBuffer = nullptr;
    CRITICAL_SECTION lock;
    HANDLE frameEvent;
};

// One device slot. Created whole and destroyed whole; the destructor is the
// tear-down.
struct VideoDevice {
    VideoDevice();
    ~VideoDevice();
    VideoDevice(const VideoDevice&) = delete;
    VideoDevice& operator=(const VideoDevice&) = delete;

    void AllocateBuffers(int width, int height);
    void RemoveDownstream(IBaseFilter* filter);
    void ClearGraph();

    int frameBytes = 0;
    int width = 0;
    int height = 0;
    int requestedWidth = 0;
    int requestedHeight = 0;
    ICaptureGraphBuilder2* pBuilder = nullptr;
    IGraphBuilder* pGraph = nullptr;
    IMediaControl* pControl = nullptr;
    IBaseFilter* pSource = nullptr;
    IBaseFilter* pGrabberFilter = nullptr;
    IBaseFilter* pSink = nullptr;
    IAMStreamConfig* pStreamConfig = nullptr;
    ISampleGrabber* pSampleGrabber = nullptr;
    AM_MEDIA_TYPE* pAmMediaType = nullptr;
    SampleGrabberCallback* pCallback;
    bool sizeRequested = false;
    bool ready = false;
    bool buffersAllocated = false;
    bool setupBegun = false;
    int deviceIndex = -1;
    int frameInterval = -1;
    char deviceName[255] = {};
    WCHAR deviceNameWide[255] = {};
};

// Frees a media type obtained from the platform, format block included.
void FreeMediaType(AM_MEDIA_TYPE* type);

// Copies width x height packed 3-byte pixels, optionally exchanging bytes 0
// and 2 of each pixel and/or turning the row order over.
void CopyPixels(const unsigned char* source, unsigned char* destination, int width, int height,
                bool swapRedBlue, bool flipVertically);
