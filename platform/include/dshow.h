// DirectShow subset: device enumeration, the filter graph and its capture
// builder, filters and pins, stream configuration, media types and samples.
// Our own Linux rendering over GStreamer (or the test fake); identifiers and
// result codes keep their published values. Only what the capture library
// calls is declared.
#pragma once

#include "objbase.h"

#define VFW_E_NOT_FOUND ((HRESULT)0x80040216)
#define VFW_E_NOT_CONNECTED ((HRESULT)0x80040209)
#define VFW_E_ALREADY_CONNECTED ((HRESULT)0x80040204)
#define VFW_E_INVALIDMEDIATYPE ((HRESULT)0x80040200)
#define VFW_E_CANNOT_CONNECT ((HRESULT)0x80040217)

#define MAX_PIN_NAME 128
#define MAX_FILTER_NAME 128

extern const CLSID CLSID_SystemDeviceEnum;
extern const CLSID CLSID_VideoInputDeviceCategory;
extern const CLSID CLSID_CaptureGraphBuilder2;
extern const CLSID CLSID_FilterGraph;
extern const IID IID_ICreateDevEnum;
extern const IID IID_ICaptureGraphBuilder2;
extern const IID IID_IGraphBuilder;
extern const IID IID_IFilterGraph;
extern const IID IID_IMediaControl;
extern const IID IID_IMediaFilter;
extern const IID IID_IBaseFilter;
extern const IID IID_IEnumPins;
extern const IID IID_IPin;
extern const IID IID_IEnumFilters;
extern const IID IID_IAMStreamConfig;
extern const IID IID_IMediaSample;

extern const GUID PIN_CATEGORY_CAPTURE;
extern const GUID PIN_CATEGORY_PREVIEW;
extern const GUID MEDIATYPE_Video;
extern const GUID FORMAT_VideoInfo;
extern const GUID MEDIASUBTYPE_RGB24;
extern const GUID MEDIASUBTYPE_RGB32;
extern const GUID MEDIASUBTYPE_RGB555;
extern const GUID MEDIASUBTYPE_RGB565;
extern const GUID MEDIASUBTYPE_YUY2;
extern const GUID MEDIASUBTYPE_YVYU;
extern const GUID MEDIASUBTYPE_YUYV;
extern const GUID MEDIASUBTYPE_IYUV;
extern const GUID MEDIASUBTYPE_UYVY;
extern const GUID MEDIASUBTYPE_YV12;
extern const GUID MEDIASUBTYPE_YVU9;
extern const GUID MEDIASUBTYPE_Y411;
extern const GUID MEDIASUBTYPE_Y41P;
extern const GUID MEDIASUBTYPE_Y211;
extern const GUID MEDIASUBTYPE_AYUV;

struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
};

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;  // 100-ns units
    BITMAPINFOHEADER bmiHeader;
};

struct VIDEO_STREAM_CONFIG_CAPS {
    GUID guid;
    ULONG VideoStandard;
    SIZE InputSize;
    SIZE MinCroppingSize;
    SIZE MaxCroppingSize;
    int CropGranularityX;
    int CropGranularityY;
    int CropAlignX;
    int CropAlignY;
    SIZE MinOutputSize;
    SIZE MaxOutputSize;
    int OutputGranularityX;
    int OutputGranularityY;
    int StretchTapsX;
    int StretchTapsY;
    int ShrinkTapsX;
    int ShrinkTapsY;
    LONGLONG MinFrameInterval;
    LONGLONG MaxFrameInterval;
    LONG MinBitsPerSecond;
    LONG MaxBitsPerSecond;
};
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128, "the capabilities record is 128 bytes");

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };
enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
typedef LONG OAFilterState;

struct IBaseFilter;
struct IFilterGraph;
struct IReferenceClock;

struct PIN_INFO {
    IBaseFilter* pFilter;  // counted reference: the caller releases it
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
};

struct FILTER_INFO {
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph* pGraph;  // counted reference when not null
};

struct ICreateDevEnum : IUnknown {
    // S_FALSE (and no enumerator) when the category is empty.
    virtual HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category,
                                                            IEnumMoniker** enumerator,
                                                            DWORD flags) = 0;
};

struct IPin : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** peer) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) = 0;
};

struct IEnumPins : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
};

struct IMediaFilter : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) = 0;
};

struct IBaseFilter : IMediaFilter {
    virtual HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) = 0;
};

struct IEnumFilters : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
};

struct IFilterGraph : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** filters) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect(IPin* pin) = 0;
};

struct IGraphBuilder : IFilterGraph {};

struct ICaptureGraphBuilder2 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder* graph) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFiltergraph(IGraphBuilder** graph) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindInterface(const GUID* category, const GUID* type,
                                                    IBaseFilter* filter, REFIID iid,
                                                    void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenderStream(const GUID* category, const GUID* type,
                                                   IUnknown* source, IBaseFilter* intermediate,
                                                   IBaseFilter* sink) = 0;
};

struct IMediaControl : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Run() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(LONG timeout, OAFilterState* state) = 0;
};

struct IAMStreamConfig : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* type) = 0;
    // The type is the caller's: free it as the capture library's FreeMediaType does.
    virtual HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* capsBytes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type,
                                                    BYTE* caps) = 0;
};

struct IMediaSample : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPointer(BYTE** data) = 0;
    virtual long STDMETHODCALLTYPE GetSize() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
    virtual long STDMETHODCALLTYPE GetActualDataLength() = 0;
};
