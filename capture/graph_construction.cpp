// Opening a device: the capture graph source -> sample grabber -> null
// renderer, with the stream format read and, when a size was asked for,
// negotiated over the subtype list and the device's capabilities.
#include "capture_internal.h"

#include <climits>
#include <cstdlib>

namespace {

constexpr int kBytesPerPixel = 3;
// Start values of the closest-size search: farther than any real size.
constexpr long long kNoBestSize = 9999999;
constexpr long long kNoNearestSize = 999999;

const char* const kSubtypeNames[] = {"RGB24", "RGB32", "RGB555", "RGB565", "YUY2", "YVYU",
                                     "YUYV",  "IYUV",  "UYVY",   "YV12",   "YVU9", "Y411",
                                     "Y41P",  "Y211",  "AYUV",   "Y800",   "Y8",   "GREY"};

long long distance(long long a, long long b) { return a > b ? a - b : b - a; }

// Walks min, min + step, ... up to max and keeps the value nearest to
// `wanted` (the first of equally near ones); reports an exact hit.
long long nearestSize(long long wanted, long long minimum, long long maximum, long long step,
                      bool* exact) {
    long long nearest = kNoNearestSize;
    *exact = false;
    for (long long x = minimum; x <= maximum; x += step) {
        if (x == wanted) {
            *exact = true;
            nearest = x;
        } else if (distance(wanted, x) < distance(wanted, nearest)) {
            nearest = x;
        }
    }
    return nearest;
}

}  // namespace

void FreeMediaType(AM_MEDIA_TYPE* type) {
    if (!type) return;
    if (type->cbFormat != 0) {
        CoTaskMemFree(type->pbFormat);
        type->cbFormat = 0;
        type->pbFormat = nullptr;
    }
    if (type->pUnk) {
        type->pUnk->Release();
        type->pUnk = nullptr;
    }
    CoTaskMemFree(type);
}

void CaptureInput::SubtypeName(GUID subtype, char out[8]) const {
    const char* name = "OTHER";
    for (int i = 0; i < kSubtypeCount; i++) {
        if (subtype == subtypeList[i]) {
            name = kSubtypeNames[i];
            break;
        }
    }
    snprintf(out, 8, "%s", name);
}

HRESULT CaptureInput::AbandonBuild(int device, HRESULT result, const char* message) {
    CAPTURE_SAY("%s", message);
    StopDevice(device);
    return result;
}

HRESULT CaptureInput::BuildGraph(int device, VideoDevice& record) {
    record.deviceIndex = device;
    record.setupBegun = true;
    pinCategory = PIN_CATEGORY_CAPTURE;
    CAPTURE_SAY("SETUP: Setting up device %i\n", device);

    HRESULT hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICaptureGraphBuilder2, reinterpret_cast<void**>(&record.pBuilder));
    if (FAILED(hr)) {
        CAPTURE_SAY("ERROR - Could not create the Filter Graph Manager\n");
        return hr;
    }

    hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                          reinterpret_cast<void**>(&record.pGraph));
    if (FAILED(hr)) return AbandonBuild(device, hr, "ERROR - Could not add the graph builder!\n");

    hr = record.pBuilder->SetFiltergraph(record.pGraph);
    if (FAILED(hr)) return AbandonBuild(device, hr, "ERROR - Could not set filtergraph\n");

    hr = record.pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&record.pControl));
    if (FAILED(hr))
        return AbandonBuild(device, hr, "ERROR - Could not create the Media Control object\n");

    hr = FindDeviceFilter(&record.pSource, device, record.deviceNameWide, record.deviceName);
    if (FAILED(hr)) return AbandonBuild(device, hr, "ERROR - Could not find specified video device\n");

    CAPTURE_SAY("SETUP: %s\n", record.deviceName);
    record.pGraph->AddFilter(record.pSource, record.deviceNameWide);

    IAMStreamConfig* previewConfig = nullptr;
    hr = record.pBuilder->FindInterface(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, record.pSource,
                                        IID_IAMStreamConfig, reinterpret_cast<void**>(&previewConfig));
    if (SUCCEEDED(hr)) {
        pinCategory = PIN_CATEGORY_PREVIEW;
        if (previewConfig) previewConfig->Release();
    } else {
        CAPTURE_SAY("SETUP: Couldn't find preview pin using SmartTee\n");
    }

    // A success without an interface counts as failure: everything below uses it.
    hr = record.pBuilder->FindInterface(&pinCategory, &MEDIATYPE_Video, record.pSource,
                                        IID_IAMStreamConfig, reinterpret_cast<void**>(&record.pStreamConfig));
    if (FAILED(hr) || !record.pStreamConfig)
        return AbandonBuild(device, FAILED(hr) ? hr : E_NOINTERFACE,
                            "ERROR: Couldn't config the stream!\n");

    // The format block is read as a VIDEOINFOHEADER; one too short to be one
    // is refused rather than read past its end.
    hr = record.pStreamConfig->GetFormat(&record.pAmMediaType);
    if (SUCCEEDED(hr) && (!record.pAmMediaType || !record.pAmMediaType->pbFormat ||
                          record.pAmMediaType->cbFormat < sizeof(VIDEOINFOHEADER)))
        hr = VFW_E_INVALIDMEDIATYPE;
    if (FAILED(hr)) return AbandonBuild(device, hr, "ERROR: Couldn't getFormat for pAmMediaType!\n");

    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(record.pAmMediaType->pbFormat);
    int currentWidth = info->bmiHeader.biWidth;
    int currentHeight = info->bmiHeader.biHeight;

    int frameWidth = currentWidth;
    int frameHeight = currentHeight;
    bool negotiated = false;
    if (record.sizeRequested) {
        CAPTURE_SAY("SETUP: Default Format is set to %i by %i \n", currentWidth, currentHeight);
        char name[8];
        for (int i = 0; i < kSubtypeCount && !negotiated; i++) {
            SubtypeName(subtypeList[i], name);
            CAPTURE_SAY("SETUP: trying format %s @ %i by %i\n", name, record.requestedWidth,
                        record.requestedHeight);
            if (TrySizeAndSubtype(record, record.requestedWidth, record.requestedHeight,
                                  subtypeList[i])) {
                frameWidth = record.requestedWidth;
                frameHeight = record.requestedHeight;
                negotiated = true;
            }
        }
        if (!negotiated) {
            CAPTURE_SAY("SETUP: couldn't find requested size - searching for closest matching size\n");
            int closestWidth = -1;
            int closestHeight = -1;
            GUID closestSubtype = {};
            FindClosestSize(record, record.requestedWidth, record.requestedHeight, &closestWidth,
                            &closestHeight, &closestSubtype);
            if (closestWidth != -1 && closestHeight != -1) {
                SubtypeName(closestSubtype, name);
                CAPTURE_SAY("SETUP: closest supported size is %s @ %i %i\n", name, closestWidth,
                            closestHeight);
                if (TrySizeAndSubtype(record, closestWidth, closestHeight, closestSubtype)) {
                    frameWidth = closestWidth;
                    frameHeight = closestHeight;
                    negotiated = true;
                }
            }
        }
    }
    if (!negotiated) KeepCurrentFormat(record);

    record.AllocateBuffers(frameWidth, frameHeight);

    hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(&record.pGrabberFilter));
    if (FAILED(hr))
        return AbandonBuild(device, hr, "Could not Create Sample Grabber - CoCreateInstance()\n");

    hr = record.pGraph->AddFilter(record.pGrabberFilter, u"Sample Grabber");
    if (FAILED(hr)) return AbandonBuild(device, hr, "Could not add Sample Grabber - AddFilter()\n");

    hr = record.pGrabberFilter->QueryInterface(IID_ISampleGrabber,
                                               reinterpret_cast<void**>(&record.pSampleGrabber));
    if (FAILED(hr)) return AbandonBuild(device, hr, "ERROR: Could not query SampleGrabber\n");

    record.pSampleGrabber->SetOneShot(FALSE);
    record.pSampleGrabber->SetBufferSamples(FALSE);
    // 0: the grabber calls SampleCB with each sample.
    hr = record.pSampleGrabber->SetCallback(record.pCallback, 0);
    if (FAILED(hr)) return AbandonBuild(device, hr, "ERROR: problem setting callback\n");
    CAPTURE_SAY("SETUP: Capture callback set\n");

    AM_MEDIA_TYPE grabberType = {};
    grabberType.majortype = MEDIATYPE_Video;
    grabberType.subtype = MEDIASUBTYPE_RGB24;
    grabberType.formattype = FORMAT_VideoInfo;
    record.pSampleGrabber->SetMediaType(&grabberType);

    if (!record.pStreamConfig) {
        CAPTURE_SAY("ERROR: connecting device - prehaps it is already being used?\n");
        StopDevice(device);
        return S_FALSE;
    }
    record.pStreamConfig->Release();
    record.pStreamConfig = nullptr;

    hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(&record.pSink));
    if (FAILED(hr)) return AbandonBuild(device, hr, "ERROR: Could not create filter - NullRenderer\n");

    hr = record.pGraph->AddFilter(record.pSink, u"NullRenderer");
    if (FAILED(hr)) return AbandonBuild(device, hr, "ERROR: Could not add filter - NullRenderer\n");

    // Always the preview category: without a preview pin the builder splits
    // the capture pin.
    hr = record.pBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, record.pSource,
                                       record.pGrabberFilter, record.pSink);
    if (FAILED(hr)) return AbandonBuild(device, hr, "ERROR: Could not connect pins - RenderStream()\n");

    // Without a reference clock samples are handed on as they come.
    IMediaFilter* mediaFilter = nullptr;
    hr = record.pGraph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&mediaFilter));
    if (SUCCEEDED(hr) && mediaFilter) {
        mediaFilter->SetSyncSource(nullptr);
        mediaFilter->Release();
    } else {
        CAPTURE_SAY("ERROR: Could not get IID_IMediaFilter interface\n");
    }

    hr = record.pControl->Run();
    if (FAILED(hr)) return AbandonBuild(device, hr, "ERROR: Could not start graph\n");

    CAPTURE_SAY("SETUP: Device is setup and ready to capture.\n\n");
    record.ready = true;
    record.pSource->Release();
    record.pSource = nullptr;
    record.pGrabberFilter->Release();
    record.pGrabberFilter = nullptr;
    record.pSink->Release();
    record.pSink = nullptr;
    return S_OK;
}

// After a failed negotiation the stored type still carries the last refused
// attempt, so this repeats it; the frame size stays the one read first.
void CaptureInput::KeepCurrentFormat(VideoDevice& record) {
    if (record.frameInterval == -1) return;
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(record.pAmMediaType->pbFormat);
    info->AvgTimePerFrame = record.frameInterval;
    record.pStreamConfig->SetFormat(record.pAmMediaType);
}

bool CaptureInput::TrySizeAndSubtype(VideoDevice& record, int width, int height, GUID subtype) {
    AM_MEDIA_TYPE* previous = nullptr;
    if (record.pStreamConfig->GetFormat(&previous) != S_OK || !previous) {
        FreeMediaType(previous);
        return false;
    }
    AM_MEDIA_TYPE* stored = record.pAmMediaType;
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(stored->pbFormat);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    stored->formattype = FORMAT_VideoInfo;
    stored->majortype = MEDIATYPE_Video;
    stored->subtype = subtype;
    stored->lSampleSize = static_cast<ULONG>(width) * static_cast<ULONG>(height) * kBytesPerPixel;
    if (record.frameInterval != -1) info->AvgTimePerFrame = record.frameInterval;

    if (record.pStreamConfig->SetFormat(stored) == S_OK) {
        FreeMediaType(previous);
        return true;
    }
    record.pStreamConfig->SetFormat(previous);
    FreeMediaType(previous);
    return false;
}

void CaptureInput::FindClosestSize(VideoDevice& record, int width, int height, int* outWidth,
                                   int* outHeight, GUID* outSubtype) {
    int count = 0;
    int capsBytes = 0;
    record.pStreamConfig->GetNumberOfCapabilities(&count, &capsBytes);
    if (capsBytes != static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS))) return;

    long long bestWidth = kNoBestSize;
    long long bestHeight = kNoBestSize;
    for (int i = 0; i < count; i++) {
        AM_MEDIA_TYPE* type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        HRESULT hr = record.pStreamConfig->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps));
        if (FAILED(hr) || !type) {
            FreeMediaType(type);
            continue;
        }
        if (caps.OutputGranularityX < 1 || caps.OutputGranularityY < 1) {
            FreeMediaType(type);
            continue;
        }
        bool exactWidth = false;
        bool exactHeight = false;
        long long nearestWidth = nearestSize(width, caps.MinOutputSize.cx, caps.MaxOutputSize.cx,
                                             caps.OutputGranularityX, &exactWidth);
        long long nearestHeight = nearestSize(height, caps.MinOutputSize.cy, caps.MaxOutputSize.cy,
                                              caps.OutputGranularityY, &exactHeight);
        if (exactWidth && exactHeight) {
            *outWidth = width;
            *outHeight = height;
            *outSubtype = type->subtype;
            FreeMediaType(type);
            return;
        }
        if (distance(width, nearestWidth) + distance(height, nearestHeight) <
            distance(width, bestWidth) + distance(height, bestHeight)) {
            bestWidth = nearestWidth;
            bestHeight = nearestHeight;
            *outWidth = static_cast<int>(nearestWidth);
            *outHeight = static_cast<int>(nearestHeight);
            *outSubtype = type->subtype;
        }
        FreeMediaType(type);
    }
}

void VideoDevice::AllocateBuffers(int frameWidth, int frameHeight) {
    if (buffersAllocated) {
        CAPTURE_SAY("SETUP: Error device size should not be set more than once \n");
        return;
    }
    width = frameWidth;
    height = frameHeight;
    long long bytes = static_cast<long long>(frameWidth) * frameHeight * kBytesPerPixel;
    // A size with no pixels, or too many to count in an int, gets no buffer,
    // and the callback then refuses every sample.
    frameBytes = bytes > 0 && bytes <= INT_MAX && frameWidth > 0 ? static_cast<int>(bytes) : 0;
    buffersAllocated = true;
    if (!pCallback->bufferAllocated && frameBytes > 0) {
        pCallback->expectedBytes = frameBytes;
        pCallback->frameBuffer = new unsigned char[static_cast<size_t>(frameBytes)];
        pCallback->bufferAllocated = true;
        pCallback->frameReady = false;
        pCallback->lastSampleBytes = 0;
    }
}
