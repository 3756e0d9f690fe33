// The system's video input category, walked three ways: listed for the
// user, counted before each set-up, and bound by position to a source filter.
#include "capture_internal.h"

namespace {

// Names are narrowed unit by unit to their low byte, without code pages.
constexpr int kListedNameChars = 253;
constexpr int kBoundNameUnits = 254;

bool holdsString(const VARIANT& value) { return value.vt == VT_BSTR && value.bstrVal; }

// Opens the category; null when it is missing, empty or not S_OK.
IEnumMoniker* openCategory(ICreateDevEnum* deviceEnumerator) {
    IEnumMoniker* monikers = nullptr;
    if (deviceEnumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK) {
        if (monikers) monikers->Release();
        return nullptr;
    }
    return monikers;
}

ICreateDevEnum* createDeviceEnumerator(HRESULT* result) {
    ICreateDevEnum* deviceEnumerator = nullptr;
    *result = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICreateDevEnum, reinterpret_cast<void**>(&deviceEnumerator));
    if (FAILED(*result)) return nullptr;
    if (!deviceEnumerator) *result = E_POINTER;
    return deviceEnumerator;
}

}  // namespace

int CaptureInput::ListDevices(bool silent) {
    ComAcquire();
    if (!silent) printf("\nCAPTURE DEVICE LIST\n\n");
    int count = 0;
    HRESULT hr = S_OK;
    ICreateDevEnum* deviceEnumerator = createDeviceEnumerator(&hr);
    if (deviceEnumerator) {
        if (IEnumMoniker* monikers = openCategory(deviceEnumerator)) {
            if (!silent) printf("SETUP: Looking For Capture Devices\n");
            IMoniker* moniker = nullptr;
            while (monikers->Next(1, &moniker, nullptr) == S_OK) {
                if (!moniker) continue;
                IPropertyBag* bag = nullptr;
                if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                  reinterpret_cast<void**>(&bag))) || !bag) {
                    moniker->Release();
                    continue;
                }
                VARIANT name;
                VariantInit(&name);
                hr = bag->Read(u"Description", &name, nullptr);
                if (FAILED(hr)) hr = bag->Read(u"FriendlyName", &name, nullptr);
                if (SUCCEEDED(hr)) {
                    // The friendly name wins when there is one. It is read into a
                    // second variant so that the first string is freed, not overwritten.
                    VARIANT friendly;
                    VariantInit(&friendly);
                    if (SUCCEEDED(bag->Read(u"FriendlyName", &friendly, nullptr)) && holdsString(friendly)) {
                        VariantClear(&name);
                        name = friendly;
                    } else {
                        VariantClear(&friendly);
                    }
                    char narrow[kListedNameChars + 1] = {};
                    if (holdsString(name)) {
                        for (int i = 0; i < kListedNameChars && name.bstrVal[i]; i++)
                            narrow[i] = static_cast<char>(name.bstrVal[i] & 0xFF);
                    }
                    if (!silent) printf("SETUP: %i) %s \n", count, narrow);
                }
                VariantClear(&name);
                bag->Release();
                moniker->Release();
                count++;
            }
            monikers->Release();
        }
        deviceEnumerator->Release();
        if (!silent) printf("SETUP: %i Device(s) found\n\n", count);
    }
    ComRelease();
    return count;
}

int CaptureInput::CountDevices() {
    HRESULT hr = S_OK;
    ICreateDevEnum* deviceEnumerator = createDeviceEnumerator(&hr);
    if (!deviceEnumerator) return 0;
    int count = 0;
    if (IEnumMoniker* monikers = openCategory(deviceEnumerator)) {
        IMoniker* moniker = nullptr;
        while (monikers->Next(1, &moniker, nullptr) == S_OK) {
            if (!moniker) continue;
            IPropertyBag* bag = nullptr;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                 reinterpret_cast<void**>(&bag))) && bag) {
                bag->Release();
                count++;
            }
            moniker->Release();
        }
        monikers->Release();
    }
    deviceEnumerator->Release();
    return count;
}

HRESULT CaptureInput::FindDeviceFilter(IBaseFilter** filter, int device, WCHAR nameWide[255],
                                       char name[255]) {
    HRESULT hr = S_OK;
    ICreateDevEnum* deviceEnumerator = createDeviceEnumerator(&hr);
    if (!deviceEnumerator) return hr;
    IEnumMoniker* monikers = openCategory(deviceEnumerator);
    if (!monikers) {
        deviceEnumerator->Release();
        return VFW_E_NOT_FOUND;
    }
    bool found = false;
    HRESULT bindResult = VFW_E_NOT_FOUND;
    int position = 0;
    IMoniker* moniker = nullptr;
    // Every moniker counts for the position, also one without a property bag.
    while (!found && position <= device && monikers->Next(1, &moniker, nullptr) == S_OK) {
        if (!moniker) continue;
        if (position == device) {
            IPropertyBag* bag = nullptr;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                 reinterpret_cast<void**>(&bag))) && bag) {
                VARIANT friendly;
                VariantInit(&friendly);
                if (SUCCEEDED(bag->Read(u"FriendlyName", &friendly, nullptr)) && holdsString(friendly)) {
                    int i = 0;
                    for (; i < kBoundNameUnits && friendly.bstrVal[i]; i++) {
                        nameWide[i] = friendly.bstrVal[i];
                        name[i] = static_cast<char>(friendly.bstrVal[i] & 0xFF);
                    }
                    nameWide[i] = 0;
                    name[i] = 0;
                    bindResult = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                       reinterpret_cast<void**>(filter));
                    found = true;
                }
                VariantClear(&friendly);
                bag->Release();
            }
        }
        moniker->Release();
        position++;
    }
    monikers->Release();
    deviceEnumerator->Release();
    return found ? bindResult : VFW_E_NOT_FOUND;
}
