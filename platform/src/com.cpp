// COM runtime subset: per-thread initialisation counts, object creation
// through the installed backend, task memory, strings and variants.
#include "com_backend.h"

#include <cstdlib>
#include <mutex>

namespace com {

std::atomic<long> liveObjects{0};
std::atomic<long> taskMemoryBlocks{0};

namespace {

std::mutex backendLock;
const Backend* installed = nullptr;
FaultHook faultHook = nullptr;
thread_local int initialisations = 0;

const Backend& current() {
    std::lock_guard<std::mutex> guard(backendLock);
    return installed ? *installed : gstreamerBackend();
}

}  // namespace

void installBackend(const Backend* backend) {
    std::lock_guard<std::mutex> guard(backendLock);
    installed = backend;
}

void installFaultHook(FaultHook hook) {
    std::lock_guard<std::mutex> guard(backendLock);
    faultHook = hook;
}

HRESULT fault(FakeCall call) {
    FaultHook hook;
    {
        std::lock_guard<std::mutex> guard(backendLock);
        hook = faultHook;
    }
    return hook ? hook(call) : S_OK;
}

BSTR allocString(const std::u16string& text) { return SysAllocString(text.c_str()); }

}  // namespace com

HRESULT CoInitialize(LPVOID) {
    HRESULT result = com::current().initialize();
    if (FAILED(result)) return result;
    return com::initialisations++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (com::initialisations == 0) return;
    if (--com::initialisations == 0) com::current().uninitialize();
}

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return com::current().createInstance(classId, iid, object);
}

LPVOID CoTaskMemAlloc(SIZE_T bytes) {
    void* memory = std::malloc(bytes ? bytes : 1);
    if (memory) ++com::taskMemoryBlocks;
    return memory;
}

void CoTaskMemFree(LPVOID memory) {
    if (!memory) return;
    --com::taskMemoryBlocks;
    std::free(memory);
}

// The length in bytes sits in the four bytes before the characters, as in COM.
BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    size_t length = 0;
    while (text[length]) ++length;
    auto* block = static_cast<unsigned char*>(std::malloc(4 + (length + 1) * sizeof(OLECHAR)));
    if (!block) return nullptr;
    uint32_t bytes = static_cast<uint32_t>(length * sizeof(OLECHAR));
    std::memcpy(block, &bytes, 4);
    BSTR characters = reinterpret_cast<BSTR>(block + 4);
    std::memcpy(characters, text, (length + 1) * sizeof(OLECHAR));
    return characters;
}

void SysFreeString(BSTR text) {
    if (text) std::free(reinterpret_cast<unsigned char*>(text) - 4);
}

void VariantInit(VARIANT* variant) {
    std::memset(variant, 0, sizeof(*variant));
    variant->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* variant) {
    if (!variant) return E_INVALIDARG;
    if (variant->vt == VT_BSTR) SysFreeString(variant->bstrVal);
    VariantInit(variant);
    return S_OK;
}
