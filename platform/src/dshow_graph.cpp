// The filter graph both backends share. Sources are the backends' own; the
// grabber hands each sample to the application's callback and the null
// renderer discards, so the chain source -> grabber -> renderer is connected
// for the record and the samples stop at the grabber.
#include "dshow_graph.h"

#include <algorithm>

namespace dshow {

namespace {

// Bits per pixel of the subtypes we make types for; 24 otherwise.
int bitsPerPixel(const GUID& subtype) {
    if (subtype == MEDIASUBTYPE_RGB32 || subtype == MEDIASUBTYPE_AYUV) return 32;
    if (subtype == MEDIASUBTYPE_RGB555 || subtype == MEDIASUBTYPE_RGB565 ||
        subtype == MEDIASUBTYPE_YUY2 || subtype == MEDIASUBTYPE_YVYU ||
        subtype == MEDIASUBTYPE_YUYV || subtype == MEDIASUBTYPE_UYVY)
        return 16;
    if (subtype == MEDIASUBTYPE_IYUV || subtype == MEDIASUBTYPE_YV12) return 12;
    return 24;
}

bool isRgb(const GUID& subtype) {
    return subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32 ||
           subtype == MEDIASUBTYPE_RGB555 || subtype == MEDIASUBTYPE_RGB565;
}

void copyName(WCHAR* destination, size_t capacity, const std::u16string& name) {
    size_t length = std::min(name.size(), capacity - 1);
    std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length), destination);
    destination[length] = 0;
}

// A sample that lives for one callback: the grabber's callback must not keep it.
class MemorySample : public IMediaSample {
public:
    MemorySample(const BYTE* data, long length, REFERENCE_TIME time)
        : data_(const_cast<BYTE*>(data)), length_(length), time_(time) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return com::answer(this, iid, IID_IMediaSample, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** data) override {
        if (!data) return E_POINTER;
        HRESULT scripted = com::fault(FakeCall::GetPointer);
        if (scripted != S_OK) {
            *data = nullptr;
            return scripted;
        }
        *data = data_;
        return S_OK;
    }
    long STDMETHODCALLTYPE GetSize() override { return length_; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override {
        if (start) *start = time_;
        if (end) *end = time_;
        return S_OK;
    }
    long STDMETHODCALLTYPE GetActualDataLength() override { return length_; }

private:
    BYTE* data_;
    long length_;
    REFERENCE_TIME time_;
};

// Enumerates a snapshot of counted references.
template <class Interface, class Base>
class SnapshotEnumerator : public com::Object<Base> {
public:
    SnapshotEnumerator(std::vector<Interface*> items, const IID& iid)
        : items_(std::move(items)), iid_(iid) {
        for (Interface* item : items_) item->AddRef();
    }
    ~SnapshotEnumerator() override {
        for (Interface* item : items_) item->Release();
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return com::answer(this, iid, iid_, object);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, Interface** out, ULONG* fetched) override {
        if (!out) return E_POINTER;
        ULONG taken = 0;
        while (taken < count && next_ < items_.size()) {
            out[taken] = items_[next_++];
            out[taken]->AddRef();
            ++taken;
        }
        if (fetched) *fetched = taken;
        return taken == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        next_ = std::min(items_.size(), next_ + count);
        return next_ < items_.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }

private:
    std::vector<Interface*> items_;
    size_t next_ = 0;
    IID iid_;
};

using PinEnumerator = SnapshotEnumerator<IPin, IEnumPins>;
using FilterEnumerator = SnapshotEnumerator<IBaseFilter, IEnumFilters>;

// The callback lock is held while the callback runs, so that SetCallback can
// promise that a replaced callback is no longer running when it returns.
class SampleGrabberFilter : public Filter {
public:
    SampleGrabberFilter() : Filter(FilterKind::Grabber), control_(*this) {
        pins_.push_back(std::make_unique<Pin>(*this, PINDIR_INPUT, u"Input"));
        pins_.push_back(std::make_unique<Pin>(*this, PINDIR_OUTPUT, u"Output"));
        mediaType_.majortype = MEDIATYPE_Video;
        mediaType_.subtype = MEDIASUBTYPE_RGB24;
        mediaType_.formattype = FORMAT_VideoInfo;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object && iid == IID_ISampleGrabber) {
            HRESULT scripted = com::fault(FakeCall::QuerySampleGrabber);
            if (scripted != S_OK) {
                *object = nullptr;
                return scripted;
            }
            AddRef();
            *object = &control_;
            return S_OK;
        }
        return Filter::QueryInterface(iid, object);
    }

    const AM_MEDIA_TYPE& mediaType() const { return mediaType_; }

    void receive(const BYTE* data, long length, REFERENCE_TIME time) {
        std::lock_guard<std::mutex> guard(callbackLock_);
        if (!callback_ || which_ != 0) return;
        MemorySample sample(data, length, time);
        callback_->SampleCB(static_cast<double>(time) / 1e7, &sample);
    }

private:
    class Control : public ISampleGrabber {
    public:
        explicit Control(SampleGrabberFilter& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
            return owner_.QueryInterface(iid, object);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }
        HRESULT STDMETHODCALLTYPE SetOneShot(BOOL) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE* type) override {
            if (!type) return E_POINTER;
            owner_.mediaType_ = *type;
            owner_.mediaType_.cbFormat = 0;
            owner_.mediaType_.pbFormat = nullptr;
            owner_.mediaType_.pUnk = nullptr;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB* callback, long which) override {
            if (callback) {
                HRESULT scripted = com::fault(FakeCall::SetCallback);
                if (scripted != S_OK) return scripted;
            }
            std::lock_guard<std::mutex> guard(owner_.callbackLock_);
            owner_.callback_ = callback;
            owner_.which_ = which;
            return S_OK;
        }

    private:
        SampleGrabberFilter& owner_;
    };

    Control control_;
    AM_MEDIA_TYPE mediaType_{};
    std::mutex callbackLock_;
    ISampleGrabberCB* callback_ = nullptr;  // not counted, as DirectShow's grabber holds it
    long which_ = 0;
};

class NullRendererFilter : public Filter {
public:
    NullRendererFilter() : Filter(FilterKind::Renderer) {
        pins_.push_back(std::make_unique<Pin>(*this, PINDIR_INPUT, u"In"));
    }
};

class FilterGraph : public com::Object<IGraphBuilder> {
public:
    FilterGraph() : control_(*this), mediaFilter_(*this) {}
    ~FilterGraph() override {
        changeStates(State_Stopped);
        for (Filter* filter : filters_) filter->disconnectAll();
        for (Filter* filter : filters_) {
            filter->JoinFilterGraph(nullptr, nullptr);
            filter->Release();
        }
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IMediaControl || iid == IID_IMediaFilter) {
            bool control = iid == IID_IMediaControl;
            HRESULT scripted =
                com::fault(control ? FakeCall::QueryMediaControl : FakeCall::QueryMediaFilter);
            if (scripted != S_OK) return scripted;
            AddRef();
            *object = control ? static_cast<void*>(&control_) : static_cast<void*>(&mediaFilter_);
            return S_OK;
        }
        if (iid == IID_IFilterGraph) return com::answer(this, iid, IID_IFilterGraph, object);
        return com::answer(this, iid, IID_IGraphBuilder, object);
    }

    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* filter, LPCWSTR name) override {
        auto* ours = dynamic_cast<Filter*>(filter);
        if (!ours) return E_POINTER;
        if (ours->kind() != FilterKind::Source) {
            HRESULT scripted = com::fault(ours->kind() == FilterKind::Grabber ? FakeCall::AddGrabber
                                                                               : FakeCall::AddRenderer);
            if (scripted != S_OK) return scripted;
        }
        if (std::find(filters_.begin(), filters_.end(), ours) != filters_.end()) return E_INVALIDARG;
        ours->AddRef();
        filters_.push_back(ours);
        ours->JoinFilterGraph(this, name);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* filter) override {
        HRESULT scripted = com::fault(FakeCall::RemoveFilter);
        if (scripted != S_OK) return scripted;
        auto found = std::find(filters_.begin(), filters_.end(), dynamic_cast<Filter*>(filter));
        if (found == filters_.end()) return VFW_E_NOT_FOUND;
        Filter* ours = *found;
        filters_.erase(found);
        ours->Stop();
        ours->disconnectAll();
        ours->JoinFilterGraph(nullptr, nullptr);
        ours->Release();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        HRESULT scripted = com::fault(FakeCall::EnumFilters);
        if (scripted != S_OK) return scripted;
        *out = new FilterEnumerator(std::vector<IBaseFilter*>(filters_.begin(), filters_.end()),
                                    IID_IEnumFilters);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Disconnect(IPin* pin) override {
        if (!pin) return E_POINTER;
        return pin->Disconnect();
    }

private:
    // Downstream filters start first and stop last, so a source never feeds
    // a filter that is not running.
    HRESULT changeStates(FILTER_STATE state) {
        HRESULT result = S_OK;
        auto apply = [&](bool sources) {
            for (Filter* filter : filters_) {
                if ((filter->kind() == FilterKind::Source) != sources) continue;
                HRESULT hr = state == State_Running  ? filter->Run(0)
                             : state == State_Paused ? filter->Pause()
                                                     : filter->Stop();
                if (FAILED(hr) && SUCCEEDED(result)) result = hr;
            }
        };
        if (state == State_Running) {
            apply(false);
            apply(true);
        } else {
            apply(true);
            apply(false);
        }
        return result;
    }

    class Control : public IMediaControl {
    public:
        explicit Control(FilterGraph& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
            return owner_.QueryInterface(iid, object);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }
        HRESULT STDMETHODCALLTYPE Run() override { return owner_.transition(FakeCall::Run, State_Running); }
        HRESULT STDMETHODCALLTYPE Pause() override { return owner_.transition(FakeCall::Pause, State_Paused); }
        HRESULT STDMETHODCALLTYPE Stop() override { return owner_.transition(FakeCall::Stop, State_Stopped); }
        HRESULT STDMETHODCALLTYPE GetState(LONG, OAFilterState* state) override {
            if (!state) return E_POINTER;
            *state = owner_.state_;
            return S_OK;
        }

    private:
        FilterGraph& owner_;
    };

    class MediaFilterPart : public IMediaFilter {
    public:
        explicit MediaFilterPart(FilterGraph& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
            return owner_.QueryInterface(iid, object);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }
        HRESULT STDMETHODCALLTYPE Stop() override { return owner_.control_.Stop(); }
        HRESULT STDMETHODCALLTYPE Pause() override { return owner_.control_.Pause(); }
        HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return owner_.control_.Run(); }
        HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* state) override {
            if (!state) return E_POINTER;
            *state = owner_.state_;
            return S_OK;
        }
        // Our graphs have no reference clock: samples are handed on as they come.
        HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return S_OK; }

    private:
        FilterGraph& owner_;
    };

    HRESULT transition(FakeCall call, FILTER_STATE state) {
        HRESULT scripted = com::fault(call);
        if (scripted != S_OK) return scripted;
        HRESULT result = changeStates(state);
        if (SUCCEEDED(result)) state_ = state;
        return result;
    }

    Control control_;
    MediaFilterPart mediaFilter_;
    std::vector<Filter*> filters_;  // counted; in the order they were added
    FILTER_STATE state_ = State_Stopped;
};

class CaptureBuilder : public com::Object<ICaptureGraphBuilder2> {
public:
    ~CaptureBuilder() override {
        if (graph_) graph_->Release();
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return com::answer(this, iid, IID_ICaptureGraphBuilder2, object);
    }
    HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder* graph) override {
        HRESULT scripted = com::fault(FakeCall::SetFiltergraph);
        if (scripted != S_OK) return scripted;
        if (!graph) return E_POINTER;
        if (graph_) return E_UNEXPECTED;
        graph->AddRef();
        graph_ = graph;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFiltergraph(IGraphBuilder** graph) override {
        if (!graph) return E_POINTER;
        *graph = graph_;
        if (!graph_) return E_UNEXPECTED;
        graph_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindInterface(const GUID* category, const GUID*, IBaseFilter* filter,
                                            REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        auto* source = dynamic_cast<SourceFilter*>(filter);
        if (!source || iid != IID_IAMStreamConfig) return E_NOINTERFACE;
        HRESULT scripted = com::fault(FakeCall::FindStreamConfig);
        if (scripted != S_OK) return scripted;
        if (category && *category == PIN_CATEGORY_PREVIEW && !source->hasPreviewPin())
            return E_NOINTERFACE;
        if (com::fault(FakeCall::StreamConfigNull) != S_OK) return S_OK;
        source->streamConfig()->AddRef();
        *object = source->streamConfig();
        return S_OK;
    }
    // Connects source -> grabber -> renderer; without a preview pin the
    // capture pin feeds the chain, as a split of the capture stream would.
    HRESULT STDMETHODCALLTYPE RenderStream(const GUID*, const GUID*, IUnknown* sourceObject,
                                           IBaseFilter* intermediate, IBaseFilter* sink) override {
        HRESULT scripted = com::fault(FakeCall::RenderStream);
        if (scripted != S_OK) return scripted;
        if (!sourceObject) return E_POINTER;
        IBaseFilter* sourceFilter = nullptr;
        if (FAILED(sourceObject->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&sourceFilter))))
            return E_NOINTERFACE;
        auto* source = dynamic_cast<SourceFilter*>(sourceFilter);
        auto* grabber = dynamic_cast<SampleGrabberFilter*>(intermediate);
        auto* renderer = dynamic_cast<NullRendererFilter*>(sink);
        HRESULT result = S_OK;
        if (!source || !grabber || !renderer) {
            result = VFW_E_CANNOT_CONNECT;
        } else if (source->outputPin()->peer()) {
            result = VFW_E_ALREADY_CONNECTED;
        } else {
            result = source->prepareOutput(grabber->mediaType());
        }
        if (SUCCEEDED(result)) {
            Pin* out = source->outputPin();
            Pin* grabberIn = grabber->pins()[0].get();
            Pin* grabberOut = grabber->pins()[1].get();
            Pin* rendererIn = renderer->pins()[0].get();
            out->setPeer(grabberIn);
            grabberIn->setPeer(out);
            grabberOut->setPeer(rendererIn);
            rendererIn->setPeer(grabberOut);
            result = S_OK;
        }
        sourceFilter->Release();
        return result;
    }

private:
    IGraphBuilder* graph_ = nullptr;
};

// The device category as monikers with property bags.
class PropertyBag : public com::Object<IPropertyBag> {
public:
    explicit PropertyBag(const DeviceEntry& entry) : entry_(entry) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return com::answer(this, iid, IID_IPropertyBag, object);
    }
    // Clears what the variant held before writing the string.
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        if (!name || !value) return E_POINTER;
        std::u16string key(name);
        const std::u16string* text = nullptr;
        if (key == u"FriendlyName" && entry_.hasFriendlyName) text = &entry_.friendlyName;
        if (key == u"Description" && entry_.hasDescription) text = &entry_.description;
        if (!text) return E_INVALIDARG;
        VariantClear(value);
        value->vt = VT_BSTR;
        value->bstrVal = com::allocString(*text);
        return value->bstrVal ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

private:
    DeviceEntry entry_;
};

class DeviceMoniker : public com::Object<IMoniker> {
public:
    explicit DeviceMoniker(DeviceEntry entry) : entry_(std::move(entry)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return com::answer(this, iid, IID_IMoniker, object);
    }
    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        IBaseFilter* filter = nullptr;
        HRESULT result = entry_.bind ? entry_.bind(&filter) : E_FAIL;
        if (FAILED(result)) return result;
        result = filter->QueryInterface(iid, object);
        filter->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx*, IMoniker*, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IPropertyBag) return E_NOINTERFACE;
        if (!entry_.hasPropertyBag) return E_FAIL;
        *object = static_cast<IPropertyBag*>(new PropertyBag(entry_));
        return S_OK;
    }

private:
    DeviceEntry entry_;
};

class DeviceEnumerator : public com::Object<ICreateDevEnum> {
public:
    explicit DeviceEnumerator(DeviceLister lister) : lister_(std::move(lister)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return com::answer(this, iid, IID_ICreateDevEnum, object);
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category, IEnumMoniker** out,
                                                    DWORD) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        HRESULT scripted = com::fault(FakeCall::CreateClassEnumerator);
        if (scripted != S_OK) return scripted;
        if (category != CLSID_VideoInputDeviceCategory) return S_FALSE;
        std::vector<DeviceEntry> entries = lister_();
        if (entries.empty()) return S_FALSE;
        std::vector<IMoniker*> monikers;
        for (DeviceEntry& entry : entries) monikers.push_back(new DeviceMoniker(std::move(entry)));
        *out = new SnapshotEnumerator<IMoniker, IEnumMoniker>(monikers, IID_IEnumMoniker);
        for (IMoniker* moniker : monikers) moniker->Release();
        return S_OK;
    }

private:
    DeviceLister lister_;
};

}  // namespace

// Pins

HRESULT Pin::QueryInterface(REFIID iid, void** object) { return com::answer(this, iid, IID_IPin, object); }
ULONG Pin::AddRef() { return owner_.AddRef(); }
ULONG Pin::Release() { return owner_.Release(); }

Pin* Pin::peer() {
    std::lock_guard<std::mutex> guard(owner_.streamLock());
    return peer_;
}

void Pin::setPeer(Pin* peer) {
    std::lock_guard<std::mutex> guard(owner_.streamLock());
    peer_ = peer;
}

void Pin::clearPeerIf(Pin* expected) {
    std::lock_guard<std::mutex> guard(owner_.streamLock());
    if (peer_ == expected) peer_ = nullptr;
}

HRESULT Pin::Disconnect() {
    std::lock_guard<std::mutex> guard(owner_.streamLock());
    if (!peer_) return S_FALSE;
    peer_ = nullptr;
    return S_OK;
}

HRESULT Pin::ConnectedTo(IPin** peer) {
    if (!peer) return E_POINTER;
    std::lock_guard<std::mutex> guard(owner_.streamLock());
    *peer = peer_;
    if (!peer_) return VFW_E_NOT_CONNECTED;
    peer_->AddRef();
    return S_OK;
}

HRESULT Pin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    owner_.AddRef();
    info->pFilter = &owner_;
    info->dir = direction_;
    copyName(info->achName, MAX_PIN_NAME, name_);
    return S_OK;
}

HRESULT Pin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction) return E_POINTER;
    *direction = direction_;
    return S_OK;
}

// Filters

Filter::~Filter() { disconnectAll(); }

HRESULT Filter::QueryInterface(REFIID iid, void** object) {
    if (object && iid == IID_IMediaFilter) {
        AddRef();
        *object = static_cast<IMediaFilter*>(this);
        return S_OK;
    }
    return com::answer(this, iid, IID_IBaseFilter, object);
}

HRESULT Filter::GetState(DWORD, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    std::lock_guard<std::mutex> guard(streamLock_);
    *state = state_;
    return S_OK;
}

HRESULT Filter::changeState(FILTER_STATE state) {
    std::lock_guard<std::mutex> guard(streamLock_);
    state_ = state;
    return S_OK;
}

HRESULT Filter::EnumPins(IEnumPins** out) {
    if (!out) return E_POINTER;
    std::vector<IPin*> pins;
    for (auto& pin : pins_) pins.push_back(pin.get());
    *out = new PinEnumerator(pins, IID_IEnumPins);
    return S_OK;
}

HRESULT Filter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    std::lock_guard<std::mutex> guard(infoLock_);
    copyName(info->achName, MAX_FILTER_NAME, name_);
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
}

HRESULT Filter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    std::lock_guard<std::mutex> guard(infoLock_);
    graph_ = graph;
    name_ = name ? std::u16string(name) : std::u16string();
    return S_OK;
}

void Filter::disconnectAll() {
    std::vector<std::pair<Pin*, Pin*>> broken;
    {
        std::lock_guard<std::mutex> guard(streamLock_);
        for (auto& pin : pins_) {
            if (Pin* peer = pin->peerLocked()) broken.emplace_back(pin.get(), peer);
            pin->setPeerLocked(nullptr);
        }
    }
    // The peers' sides are cleared after our lock is left, so that no two
    // stream locks are ever held together.
    for (auto& [mine, peer] : broken) peer->clearPeerIf(mine);
}

// Sources

SourceFilter::SourceFilter() : Filter(FilterKind::Source), config_(*this) {}

void addSourcePins(SourceFilter& source, bool previewPin) {
    source.pins().push_back(std::make_unique<Pin>(source, PINDIR_OUTPUT, u"Capture"));
    if (previewPin) source.pins().push_back(std::make_unique<Pin>(source, PINDIR_OUTPUT, u"Preview"));
}

bool SourceFilter::deliver(const BYTE* data, long length, REFERENCE_TIME time) {
    std::lock_guard<std::mutex> guard(streamLock());
    if (state_ != State_Running) return false;
    Pin* out = pins_.back().get();
    Pin* next = out->peerLocked();
    if (!next || next->owner().kind() != FilterKind::Grabber) return false;
    static_cast<SampleGrabberFilter&>(next->owner()).receive(data, length, time);
    return true;
}

HRESULT SourceFilter::StreamConfig::QueryInterface(REFIID iid, void** object) {
    if (object && iid == IID_IAMStreamConfig) {
        AddRef();
        *object = this;
        return S_OK;
    }
    return owner_.QueryInterface(iid, object);
}

HRESULT SourceFilter::StreamConfig::SetFormat(AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    return owner_.setFormat(type);
}

HRESULT SourceFilter::StreamConfig::GetFormat(AM_MEDIA_TYPE** type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    HRESULT scripted = com::fault(FakeCall::GetFormat);
    if (scripted != S_OK) return scripted;
    return owner_.getFormat(type);
}

HRESULT SourceFilter::StreamConfig::GetNumberOfCapabilities(int* count, int* capsBytes) {
    if (!count || !capsBytes) return E_POINTER;
    return owner_.capabilityCount(count, capsBytes);
}

HRESULT SourceFilter::StreamConfig::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
    if (!type || !caps) return E_POINTER;
    *type = nullptr;
    return owner_.streamCaps(index, type, caps);
}

// Media types

HRESULT describeSizeRange(const SizeRange& range, REFERENCE_TIME frameInterval,
                          AM_MEDIA_TYPE** type, BYTE* caps) {
    *type = createVideoType(range.subtype, range.minWidth, range.minHeight, frameInterval);
    if (!*type) return E_OUTOFMEMORY;
    VIDEO_STREAM_CONFIG_CAPS record{};
    record.guid = FORMAT_VideoInfo;
    record.InputSize = {range.maxWidth, range.maxHeight};
    record.MinOutputSize = {range.minWidth, range.minHeight};
    record.MaxOutputSize = {range.maxWidth, range.maxHeight};
    record.OutputGranularityX = range.stepWidth;
    record.OutputGranularityY = range.stepHeight;
    record.MinFrameInterval = frameInterval;
    record.MaxFrameInterval = frameInterval;
    std::memcpy(caps, &record, sizeof(record));
    return S_OK;
}

AM_MEDIA_TYPE* createVideoType(const GUID& subtype, int width, int height,
                               REFERENCE_TIME frameInterval) {
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (!type || !info) {
        CoTaskMemFree(type);
        CoTaskMemFree(info);
        return nullptr;
    }
    std::memset(type, 0, sizeof(*type));
    std::memset(info, 0, sizeof(*info));
    int bits = bitsPerPixel(subtype);
    ULONG imageBytes = static_cast<ULONG>(static_cast<int64_t>(width) * height * bits / 8);
    type->majortype = MEDIATYPE_Video;
    type->subtype = subtype;
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = imageBytes;
    type->formattype = FORMAT_VideoInfo;
    type->cbFormat = sizeof(VIDEOINFOHEADER);
    type->pbFormat = reinterpret_cast<BYTE*>(info);
    info->AvgTimePerFrame = frameInterval;
    info->bmiHeader.biSize = sizeof(info->bmiHeader);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = static_cast<WORD>(bits);
    info->bmiHeader.biCompression = isRgb(subtype) ? 0 : subtype.Data1;
    info->bmiHeader.biSizeImage = imageBytes;
    return type;
}

AM_MEDIA_TYPE* copyMediaType(const AM_MEDIA_TYPE& source) {
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!type) return nullptr;
    *type = source;
    type->pbFormat = nullptr;
    type->cbFormat = 0;
    if (source.cbFormat && source.pbFormat) {
        type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat));
        if (!type->pbFormat) {
            CoTaskMemFree(type);
            return nullptr;
        }
        std::memcpy(type->pbFormat, source.pbFormat, source.cbFormat);
        type->cbFormat = source.cbFormat;
    }
    if (type->pUnk) type->pUnk->AddRef();
    return type;
}

void deleteMediaType(AM_MEDIA_TYPE* type) {
    if (!type) return;
    CoTaskMemFree(type->pbFormat);
    if (type->pUnk) type->pUnk->Release();
    CoTaskMemFree(type);
}

const VIDEOINFOHEADER* videoInfo(const AM_MEDIA_TYPE& type) {
    if (type.formattype != FORMAT_VideoInfo || !type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER))
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

// Creation

HRESULT createStandardObject(REFCLSID classId, REFIID iid, void** object) {
    IUnknown* made = nullptr;
    if (classId == CLSID_CaptureGraphBuilder2) {
        made = static_cast<ICaptureGraphBuilder2*>(new CaptureBuilder);
    } else if (classId == CLSID_FilterGraph) {
        made = static_cast<IGraphBuilder*>(new FilterGraph);
    } else if (classId == CLSID_SampleGrabber) {
        made = static_cast<IBaseFilter*>(new SampleGrabberFilter);
    } else if (classId == CLSID_NullRenderer) {
        made = static_cast<IBaseFilter*>(new NullRendererFilter);
    } else {
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT result = made->QueryInterface(iid, object);
    made->Release();
    return result;
}

HRESULT createDeviceEnumerator(DeviceLister lister, REFIID iid, void** object) {
    auto* enumerator = new DeviceEnumerator(std::move(lister));
    HRESULT result = enumerator->QueryInterface(iid, object);
    enumerator->Release();
    return result;
}

}  // namespace dshow
