// Internal: what a COM backend provides (the GStreamer one, or the test fake),
// and the shared COM object machinery of the platform layer.
#pragma once

#include "dshow_fake.h"
#include "objbase.h"

#include <atomic>

namespace com {

struct Backend {
    // Called on every CoInitialize; a failure is returned to the caller.
    HRESULT (*initialize)();
    // Called when a thread's last CoUninitialize balances its first CoInitialize.
    void (*uninitialize)();
    // Serves CoCreateInstance.
    HRESULT (*createInstance)(REFCLSID classId, REFIID iid, void** object);
};

// Null restores the GStreamer backend.
void installBackend(const Backend* backend);
const Backend& gstreamerBackend();

// Scripted results of the fake; S_OK when no fake is installed.
using FaultHook = HRESULT (*)(FakeCall call);
void installFaultHook(FaultHook hook);
HRESULT fault(FakeCall call);

extern std::atomic<long> liveObjects;
extern std::atomic<long> taskMemoryBlocks;

// Reference counting shared by the platform's objects; counts live objects.
template <class Interface>
class Object : public Interface {
public:
    Object() { ++liveObjects; }
    virtual ~Object() { --liveObjects; }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    std::atomic<ULONG> references_{1};
};

// Hands out `self` for IUnknown and the listed identifier.
template <class T>
HRESULT answer(T* self, REFIID iid, REFIID own, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == own) {
        self->AddRef();
        *object = self;
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// UTF-16 helpers.
BSTR allocString(const std::u16string& text);

}  // namespace com
