// Frames from the platform's streaming thread to the caller, one at a time
// through a lock and an event, and the tear-down of a device record.
#include "capture_internal.h"

#include <cstring>

namespace {

constexpr int kBytesPerPixel = 3;

}  // namespace

SampleGrabberCallback::SampleGrabberCallback() {
    InitializeCriticalSection(&lock);
    frameEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

SampleGrabberCallback::~SampleGrabberCallback() {
    DeleteCriticalSection(&lock);
    CloseHandle(frameEvent);
    if (bufferAllocated) delete[] frameBuffer;
}

// The object's life is its record's: it answers every interface with itself
// and counts nothing.
HRESULT SampleGrabberCallback::QueryInterface(REFIID, void** object) {
    *object = static_cast<ISampleGrabberCB*>(this);
    return S_OK;
}

ULONG SampleGrabberCallback::AddRef() { return 1; }

ULONG SampleGrabberCallback::Release() { return 2; }

// A waiting frame is never overwritten: the caller gets the oldest frame it
// has not taken, and the streaming thread drops samples rather than wait.
HRESULT SampleGrabberCallback::SampleCB(double, IMediaSample* sample) {
    if (WaitForSingleObject(frameEvent, 0) == WAIT_OBJECT_0) return S_OK;
    BYTE* data = nullptr;
    if (sample->GetPointer(&data) != S_OK) return S_OK;
    lastSampleBytes = sample->GetActualDataLength();
    if (lastSampleBytes != expectedBytes || !bufferAllocated) {
        printf("ERROR: SampleCB() - buffer sizes do not match\n");
        return S_OK;
    }
    EnterCriticalSection(&lock);
    std::memcpy(frameBuffer, data, static_cast<size_t>(lastSampleBytes));
    frameReady = true;
    LeaveCriticalSection(&lock);
    SetEvent(frameEvent);
    return S_OK;
}

HRESULT SampleGrabberCallback::BufferCB(double, BYTE*, long) { return E_NOTIMPL; }

void CopyPixels(const unsigned char* source, unsigned char* destination, int width, int height,
                bool swapRedBlue, bool flipVertically) {
    long long rowBytes = static_cast<long long>(width) * kBytesPerPixel;
    if (rowBytes * height <= 0 || height <= 0) return;
    size_t row = static_cast<size_t>(rowBytes);
    if (!swapRedBlue && !flipVertically) {
        std::memcpy(destination, source, row * static_cast<size_t>(height));
        return;
    }
    for (int y = 0; y < height; y++) {
        int sourceRow = flipVertically ? height - 1 - y : y;
        const unsigned char* in = source + row * static_cast<size_t>(sourceRow);
        unsigned char* out = destination + row * static_cast<size_t>(y);
        if (!swapRedBlue) {
            std::memcpy(out, in, row);
            continue;
        }
        for (size_t x = 0; x < row; x += kBytesPerPixel) {
            out[x] = in[x + 2];
            out[x + 1] = in[x + 1];
            out[x + 2] = in[x];
        }
    }
}

VideoDevice::VideoDevice() : pCallback(new SampleGrabberCallback) {}

// The graph is paused and stopped before the callback is destroyed, and the
// grabber has let go of the callback before that, so no sample still on its
// way through the streaming thread can reach a destroyed callback.
VideoDevice::~VideoDevice() {
    if (!setupBegun) {
        delete pCallback;
        return;
    }
    CAPTURE_SAY("\nSETUP: Disconnecting device %i\n", deviceIndex);
    if (pSampleGrabber) {
        pSampleGrabber->SetCallback(nullptr, 1);
        CAPTURE_SAY("SETUP: freeing Grabber Callback\n");
    }
    if (pControl) {
        if (FAILED(pControl->Pause())) CAPTURE_SAY("ERROR - Could not pause pControl\n");
        if (FAILED(pControl->Stop())) CAPTURE_SAY("ERROR - Could not stop pControl\n");
    }
    delete pCallback;
    pCallback = nullptr;

    if (pSource) RemoveDownstream(pSource);
    if (pSink) {
        CAPTURE_SAY("SETUP: freeing Renderer \n");
        pSink->Release();
        pSink = nullptr;
    }
    if (pSource) {
        CAPTURE_SAY("SETUP: freeing Capture Source \n");
        pSource->Release();
        pSource = nullptr;
    }
    if (pGrabberFilter) {
        CAPTURE_SAY("SETUP: freeing Grabber Filter  \n");
        pGrabberFilter->Release();
        pGrabberFilter = nullptr;
    }
    if (pSampleGrabber) {
        CAPTURE_SAY("SETUP: freeing Grabber  \n");
        pSampleGrabber->Release();
        pSampleGrabber = nullptr;
    }
    if (pControl) {
        CAPTURE_SAY("SETUP: freeing Control   \n");
        pControl->Release();
        pControl = nullptr;
    }
    if (pStreamConfig) {
        CAPTURE_SAY("SETUP: freeing Stream  \n");
        pStreamConfig->Release();
        pStreamConfig = nullptr;
    }
    if (pAmMediaType) {
        CAPTURE_SAY("SETUP: freeing Media Type  \n");
        FreeMediaType(pAmMediaType);
        pAmMediaType = nullptr;
    }
    if (pGraph) ClearGraph();
    if (pBuilder) {
        CAPTURE_SAY("SETUP: freeing Capture Graph \n");
        pBuilder->Release();
        pBuilder = nullptr;
    }
    if (pGraph) {
        CAPTURE_SAY("SETUP: freeing Main Graph \n");
        pGraph->Release();
        pGraph = nullptr;
    }
    CAPTURE_SAY("SETUP: Device %i disconnected and freed\n\n", deviceIndex);
}

void VideoDevice::RemoveDownstream(IBaseFilter* filter) {
    if (!pGraph) return;
    IEnumPins* pins = nullptr;
    if (filter->EnumPins(&pins) != S_OK || !pins) return;
    pins->Reset();
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        if (!pin) continue;
        IPin* peer = nullptr;
        pin->ConnectedTo(&peer);
        HRESULT infoResult = S_OK;
        if (peer) {
            PIN_INFO info = {};
            infoResult = peer->QueryPinInfo(&info);
            if (infoResult == S_OK) {
                if (info.dir == PINDIR_INPUT) {
                    RemoveDownstream(info.pFilter);
                    pGraph->Disconnect(peer);
                    pGraph->Disconnect(pin);
                    pGraph->RemoveFilter(info.pFilter);
                }
                if (info.pFilter) info.pFilter->Release();
            }
            peer->Release();
        }
        pin->Release();
        pin = nullptr;
        if (infoResult != S_OK) break;
    }
    pins->Release();
}

void VideoDevice::ClearGraph() {
    for (;;) {
        IEnumFilters* filters = nullptr;
        if (FAILED(pGraph->EnumFilters(&filters)) || !filters) {
            CAPTURE_SAY("SETUP: pGraph->EnumFilters() failed. \n");
            return;
        }
        IBaseFilter* filter = nullptr;
        if (filters->Next(1, &filter, nullptr) != S_OK || !filter) {
            filters->Release();
            return;
        }
        FILTER_INFO info;
        std::memset(&info, 0, sizeof(info));
        filter->QueryFilterInfo(&info);
        if (info.pGraph) info.pGraph->Release();
        char name[255] = {};
        for (int i = 0; i < MAX_FILTER_NAME - 1 && info.achName[i]; i++)
            name[i] = static_cast<char>(info.achName[i] & 0xFF);
        CAPTURE_SAY("SETUP: removing filter %s...\n", name);
        HRESULT hr = pGraph->RemoveFilter(filter);
        if (FAILED(hr)) {
            CAPTURE_SAY("SETUP: pGraph->RemoveFilter() failed. \n");
            filter->Release();
            filters->Release();
            return;
        }
        CAPTURE_SAY("SETUP: filter removed %s  \n", name);
        filter->Release();
        filters->Release();
        if (hr != S_OK) return;
    }
}
