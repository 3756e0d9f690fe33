// Internal: the filter graph shared by the GStreamer backend and the fake:
// graph manager, capture builder, sample grabber, null renderer, pins, the
// device category walk, and the source filter that each backend completes.
#pragma once

#include "com_backend.h"
#include "qedit.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dshow {

class Filter;

// A pin belongs to its filter and counts references through it. Its peer is
// guarded by the owning filter's stream lock.
class Pin final : public IPin {
public:
    Pin(Filter& owner, PIN_DIRECTION direction, const char16_t* name)
        : owner_(owner), direction_(direction), name_(name) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** peer) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;

    Filter& owner() { return owner_; }
    Pin* peer();
    void setPeer(Pin* peer);
    // Clears the peer only while it is still `expected`.
    void clearPeerIf(Pin* expected);
    // For callers that hold the owner's stream lock already.
    Pin* peerLocked() const { return peer_; }
    void setPeerLocked(Pin* peer) { peer_ = peer; }

private:
    Filter& owner_;
    PIN_DIRECTION direction_;
    std::u16string name_;
    Pin* peer_ = nullptr;
};

enum class FilterKind { Source, Grabber, Renderer };

class Filter : public com::Object<IBaseFilter> {
public:
    explicit Filter(FilterKind kind) : kind_(kind) {}
    ~Filter() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE Stop() override { return changeState(State_Stopped); }
    HRESULT STDMETHODCALLTYPE Pause() override { return changeState(State_Paused); }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return changeState(State_Running); }
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;

    FilterKind kind() const { return kind_; }
    std::vector<std::unique_ptr<Pin>>& pins() { return pins_; }
    // Breaks every connection of this filter's pins, on both sides.
    void disconnectAll();
    std::mutex& streamLock() { return streamLock_; }

protected:
    virtual HRESULT changeState(FILTER_STATE state);
    FILTER_STATE state_ = State_Stopped;  // guarded by streamLock_
    std::vector<std::unique_ptr<Pin>> pins_;

private:
    FilterKind kind_;
    std::mutex streamLock_;
    std::mutex infoLock_;
    IFilterGraph* graph_ = nullptr;  // not counted: the graph holds the filter
    std::u16string name_;
};

// The device's source filter. Backends supply the format handling and start
// and stop their stream in changeState; samples go out through deliver().
class SourceFilter : public Filter {
public:
    SourceFilter();

    virtual bool hasPreviewPin() const = 0;
    virtual HRESULT getFormat(AM_MEDIA_TYPE** type) = 0;
    virtual HRESULT setFormat(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT capabilityCount(int* count, int* capsBytes) = 0;
    virtual HRESULT streamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) = 0;
    // RenderStream: the stream must arrive as `downstream` (RGB24 for the grabber).
    virtual HRESULT prepareOutput(const AM_MEDIA_TYPE& downstream) = 0;

    IAMStreamConfig* streamConfig() { return &config_; }
    // Output pin used for rendering: the preview pin when there is one.
    Pin* outputPin() { return pins_.back().get(); }
    // Hands one sample downstream when running and connected; returns whether
    // it reached the next filter. Called on the backend's streaming thread.
    bool deliver(const BYTE* data, long length, REFERENCE_TIME time);

private:
    class StreamConfig : public IAMStreamConfig {
    public:
        explicit StreamConfig(SourceFilter& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }
        HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* type) override;
        HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** type) override;
        HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* capsBytes) override;
        HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

    private:
        SourceFilter& owner_;
    };
    StreamConfig config_;
};

// Source filters add their pins in the constructor; this makes them.
void addSourcePins(SourceFilter& source, bool previewPin);

// The media type helpers the backends share. Types are task memory.
AM_MEDIA_TYPE* createVideoType(const GUID& subtype, int width, int height,
                               REFERENCE_TIME frameInterval);
AM_MEDIA_TYPE* copyMediaType(const AM_MEDIA_TYPE& type);
void deleteMediaType(AM_MEDIA_TYPE* type);
// A range of sizes in one subtype, as a stream configuration reports it.
struct SizeRange {
    GUID subtype;
    int minWidth, minHeight, maxWidth, maxHeight;
    int stepWidth, stepHeight;
};
// GetStreamCaps for one range: its media type at the smallest size, and its
// caps record written into caps (a VIDEO_STREAM_CONFIG_CAPS).
HRESULT describeSizeRange(const SizeRange& range, REFERENCE_TIME frameInterval,
                          AM_MEDIA_TYPE** type, BYTE* caps);
// The VIDEOINFOHEADER of a type, or null when its format block is not one.
const VIDEOINFOHEADER* videoInfo(const AM_MEDIA_TYPE& type);

// Objects every backend serves the same way: builder, graph, grabber, renderer.
HRESULT createStandardObject(REFCLSID classId, REFIID iid, void** object);

// One entry of the video input category.
struct DeviceEntry {
    bool hasPropertyBag = true;
    bool hasFriendlyName = true;
    std::u16string friendlyName;
    bool hasDescription = false;
    std::u16string description;
    // Makes the device's source filter.
    std::function<HRESULT(IBaseFilter** filter)> bind;
};
using DeviceLister = std::function<std::vector<DeviceEntry>()>;
// The system device enumerator over a backend's device list.
HRESULT createDeviceEnumerator(DeviceLister lister, REFIID iid, void** object);

}  // namespace dshow
