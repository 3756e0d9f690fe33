// The scriptable stand-in for COM and DirectShow that tests install.
#include "dshow_fake.h"

#include "dshow_graph.h"

#include <array>

namespace {

struct FakeDeviceState {
    FakeDevice script;
    int width;
    int height;
    GUID subtype;
    REFERENCE_TIME frameInterval;
    std::vector<FakeFormatCall> formatCalls;
    class FakeSource* live = nullptr;  // the newest source filter bound to the device
};

std::mutex fakeLock;
std::vector<std::shared_ptr<FakeDeviceState>> fakeDevices;
std::array<std::atomic<HRESULT>, static_cast<size_t>(FakeCall::Count)> scripted{};
std::atomic<int> initializeCalls{0};
std::atomic<int> uninitializeCalls{0};

HRESULT scriptedResult(FakeCall call) { return scripted[static_cast<size_t>(call)].load(); }

bool contains(const std::vector<SIZE>& sizes, LONG width, LONG height) {
    for (const SIZE& size : sizes)
        if (size.cx == width && size.cy == height) return true;
    return false;
}

bool contains(const std::vector<GUID>& subtypes, const GUID& subtype) {
    for (const GUID& each : subtypes)
        if (each == subtype) return true;
    return false;
}

class FakeSource : public dshow::SourceFilter {
public:
    explicit FakeSource(std::shared_ptr<FakeDeviceState> device) : device_(std::move(device)) {
        dshow::addSourcePins(*this, device_->script.hasPreviewPin);
        std::lock_guard<std::mutex> guard(fakeLock);
        device_->live = this;
    }

    // The device's registry entry is cleared under the fake's lock before
    // the count can reach zero unseen, so fakePushSample never revives a
    // dying source.
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left;
        {
            std::lock_guard<std::mutex> guard(fakeLock);
            left = --references_;
            if (left == 0 && device_->live == this) device_->live = nullptr;
        }
        if (left == 0) delete this;
        return left;
    }

    bool hasPreviewPin() const override { return device_->script.hasPreviewPin; }

    HRESULT getFormat(AM_MEDIA_TYPE** type) override {
        std::lock_guard<std::mutex> guard(fakeLock);
        *type = dshow::createVideoType(device_->subtype, device_->width, device_->height,
                                       device_->frameInterval);
        return *type ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT setFormat(const AM_MEDIA_TYPE* type) override {
        const VIDEOINFOHEADER* info = dshow::videoInfo(*type);
        if (!info) return VFW_E_INVALIDMEDIATYPE;
        std::lock_guard<std::mutex> guard(fakeLock);
        const FakeDevice& script = device_->script;
        FakeFormatCall call{info->bmiHeader.biWidth, info->bmiHeader.biHeight, type->subtype,
                            info->AvgTimePerFrame, type->lSampleSize, true};
        call.accepted = !contains(script.refusedSizes, call.width, call.height) &&
                        !contains(script.refusedSubtypes, call.subtype);
        device_->formatCalls.push_back(call);
        if (!call.accepted) return VFW_E_INVALIDMEDIATYPE;
        device_->width = call.width;
        device_->height = call.height;
        device_->subtype = call.subtype;
        device_->frameInterval = call.frameInterval;
        return S_OK;
    }

    HRESULT capabilityCount(int* count, int* capsBytes) override {
        *count = static_cast<int>(device_->script.capabilities.size());
        *capsBytes = device_->script.capabilitiesBytes;
        return S_OK;
    }

    HRESULT streamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override {
        const auto& capabilities = device_->script.capabilities;
        if (index < 0 || index >= static_cast<int>(capabilities.size())) return S_FALSE;
        const FakeCapability& c = capabilities[static_cast<size_t>(index)];
        return dshow::describeSizeRange({c.subtype, c.minWidth, c.minHeight, c.maxWidth, c.maxHeight,
                                         c.granularityX, c.granularityY},
                                        device_->script.frameInterval, type, caps);
    }

    // Whatever the test pushes is delivered as it is.
    HRESULT prepareOutput(const AM_MEDIA_TYPE&) override { return S_OK; }

private:
    std::shared_ptr<FakeDeviceState> device_;
};

std::vector<dshow::DeviceEntry> listFakeDevices() {
    std::lock_guard<std::mutex> guard(fakeLock);
    std::vector<dshow::DeviceEntry> entries;
    for (const auto& device : fakeDevices) {
        dshow::DeviceEntry entry;
        entry.hasPropertyBag = device->script.hasPropertyBag;
        entry.hasFriendlyName = device->script.hasFriendlyName;
        entry.friendlyName = device->script.friendlyName;
        entry.hasDescription = device->script.hasDescription;
        entry.description = device->script.description;
        entry.bind = [device](IBaseFilter** filter) {
            HRESULT failure = scriptedResult(FakeCall::BindToObject);
            if (failure != S_OK) return failure;
            *filter = new FakeSource(device);
            return S_OK;
        };
        entries.push_back(std::move(entry));
    }
    return entries;
}

HRESULT fakeInitialize() {
    ++initializeCalls;
    return scriptedResult(FakeCall::CoInitialize);
}

void fakeUninitialize() { ++uninitializeCalls; }

HRESULT fakeCreateInstance(REFCLSID classId, REFIID iid, void** object) {
    if (classId == CLSID_SystemDeviceEnum) {
        HRESULT failure = scriptedResult(FakeCall::CreateDeviceEnumerator);
        if (failure != S_OK) return failure;
        return dshow::createDeviceEnumerator(listFakeDevices, iid, object);
    }
    FakeCall call = classId == CLSID_CaptureGraphBuilder2 ? FakeCall::CreateBuilder
                    : classId == CLSID_FilterGraph        ? FakeCall::CreateGraph
                    : classId == CLSID_SampleGrabber      ? FakeCall::CreateGrabber
                                                          : FakeCall::CreateRenderer;
    HRESULT failure = scriptedResult(call);
    if (failure != S_OK) return failure;
    return dshow::createStandardObject(classId, iid, object);
}

const com::Backend fakeBackend = {fakeInitialize, fakeUninitialize, fakeCreateInstance};

std::shared_ptr<FakeDeviceState> fakeDevice(int device) {
    if (device < 0 || device >= static_cast<int>(fakeDevices.size())) return nullptr;
    return fakeDevices[static_cast<size_t>(device)];
}

}  // namespace

void fakeInstall(const std::vector<FakeDevice>& devices) {
    {
        std::lock_guard<std::mutex> guard(fakeLock);
        fakeDevices.clear();
        for (const FakeDevice& script : devices) {
            auto state = std::make_shared<FakeDeviceState>();
            state->script = script;
            state->width = script.width;
            state->height = script.height;
            state->subtype = script.subtype;
            state->frameInterval = script.frameInterval;
            fakeDevices.push_back(state);
        }
    }
    for (auto& result : scripted) result = S_OK;
    initializeCalls = 0;
    uninitializeCalls = 0;
    com::installFaultHook(scriptedResult);
    com::installBackend(&fakeBackend);
}

void fakeUninstall() {
    com::installBackend(nullptr);
    com::installFaultHook(nullptr);
    for (auto& result : scripted) result = S_OK;
    std::lock_guard<std::mutex> guard(fakeLock);
    fakeDevices.clear();
}

const char* fakeCallName(FakeCall call) {
    switch (call) {
        case FakeCall::CoInitialize: return "CoInitialize";
        case FakeCall::CreateDeviceEnumerator: return "CreateDeviceEnumerator";
        case FakeCall::CreateClassEnumerator: return "CreateClassEnumerator";
        case FakeCall::CreateBuilder: return "CreateBuilder";
        case FakeCall::CreateGraph: return "CreateGraph";
        case FakeCall::SetFiltergraph: return "SetFiltergraph";
        case FakeCall::QueryMediaControl: return "QueryMediaControl";
        case FakeCall::BindToObject: return "BindToObject";
        case FakeCall::FindStreamConfig: return "FindStreamConfig";
        case FakeCall::StreamConfigNull: return "StreamConfigNull";
        case FakeCall::GetFormat: return "GetFormat";
        case FakeCall::CreateGrabber: return "CreateGrabber";
        case FakeCall::AddGrabber: return "AddGrabber";
        case FakeCall::QuerySampleGrabber: return "QuerySampleGrabber";
        case FakeCall::SetCallback: return "SetCallback";
        case FakeCall::CreateRenderer: return "CreateRenderer";
        case FakeCall::AddRenderer: return "AddRenderer";
        case FakeCall::RenderStream: return "RenderStream";
        case FakeCall::QueryMediaFilter: return "QueryMediaFilter";
        case FakeCall::Run: return "Run";
        case FakeCall::Pause: return "Pause";
        case FakeCall::Stop: return "Stop";
        case FakeCall::EnumFilters: return "EnumFilters";
        case FakeCall::RemoveFilter: return "RemoveFilter";
        case FakeCall::GetPointer: return "GetPointer";
        case FakeCall::Count: break;
    }
    return "none";
}

void fakeFail(FakeCall call, HRESULT result) { scripted[static_cast<size_t>(call)] = result; }

bool fakePushSample(int device, const void* data, long length) {
    FakeSource* source = nullptr;
    {
        std::lock_guard<std::mutex> guard(fakeLock);
        auto state = fakeDevice(device);
        if (!state || !state->live) return false;
        source = state->live;
        source->AddRef();
    }
    bool delivered = source->deliver(static_cast<const BYTE*>(data), length, 0);
    source->Release();
    return delivered;
}

bool fakeIsRunning(int device) {
    FakeSource* source = nullptr;
    {
        std::lock_guard<std::mutex> guard(fakeLock);
        auto state = fakeDevice(device);
        if (!state || !state->live) return false;
        source = state->live;
        source->AddRef();
    }
    FILTER_STATE state = State_Stopped;
    source->GetState(0, &state);
    source->Release();
    return state == State_Running;
}

std::vector<FakeFormatCall> fakeFormatCalls(int device) {
    std::lock_guard<std::mutex> guard(fakeLock);
    auto state = fakeDevice(device);
    return state ? state->formatCalls : std::vector<FakeFormatCall>();
}

long fakeLiveObjects() { return com::liveObjects; }
long fakeTaskMemoryBlocks() { return com::taskMemoryBlocks; }
int fakeInitializeCalls() { return initializeCalls; }
int fakeUninitializeCalls() { return uninitializeCalls; }
