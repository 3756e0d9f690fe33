// The GStreamer backend driven through COM calls, with the test camera: a
// graph is built, runs, renegotiates its format while running, and lets go
// of everything it made.
#include "dshow_fake.h"
#include "qedit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Records the length of each sample; waits for one of a given length.
class LengthRecorder : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override {
        BYTE* data = nullptr;
        if (sample->GetPointer(&data) != S_OK || sample->GetActualDataLength() < 3) return S_OK;
        std::lock_guard<std::mutex> guard(lock_);
        last_ = sample->GetActualDataLength();
        firstPixel_ = {data[0], data[1], data[2]};
        changed_.notify_all();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

    // Waits for a sample of this length; gives its first pixel's bytes.
    bool waitFor(long length, std::vector<int>* firstPixel = nullptr) {
        std::unique_lock<std::mutex> lock(lock_);
        bool arrived = changed_.wait_for(lock, std::chrono::seconds(5), [&] { return last_ == length; });
        if (firstPixel) *firstPixel = firstPixel_;
        return arrived;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    long last_ = 0;
    std::vector<int> firstPixel_;
};

template <class T>
void release(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

void setSize(AM_MEDIA_TYPE* type, int width, int height) {
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
}

void freeType(AM_MEDIA_TYPE* type) {
    CoTaskMemFree(type->pbFormat);
    CoTaskMemFree(type);
}

TEST(DirectShowOverGstreamer, TestCameraGraphRunsRenegotiatesAndLetsGo) {
    std::string image = std::string(KELVRANE_TEST_DATA_DIR) + "/capture/quadrants.png";
    setenv("KELVRANE_TEST_CAMERA", image.c_str(), 1);
    long objectsBefore = fakeLiveObjects();
    long memoryBefore = fakeTaskMemoryBlocks();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));

    ICreateDevEnum* devices = nullptr;
    IEnumMoniker* category = nullptr;
    IMoniker* moniker = nullptr;
    IBaseFilter* source = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                               reinterpret_cast<void**>(&devices)), S_OK);
    ASSERT_EQ(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &category, 0), S_OK);
    ASSERT_EQ(category->Next(1, &moniker, nullptr), S_OK);
    ASSERT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&source)), S_OK);

    ICaptureGraphBuilder2* builder = nullptr;
    IGraphBuilder* graph = nullptr;
    IMediaControl* control = nullptr;
    IBaseFilter* grabberFilter = nullptr;
    ISampleGrabber* grabber = nullptr;
    IBaseFilter* sink = nullptr;
    IAMStreamConfig* config = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICaptureGraphBuilder2, reinterpret_cast<void**>(&builder)), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(&graph)), S_OK);
    ASSERT_EQ(builder->SetFiltergraph(graph), S_OK);
    ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)), S_OK);
    ASSERT_EQ(graph->AddFilter(source, u"camera"), S_OK);
    // The test camera, like a webcam here, has only a capture pin.
    EXPECT_TRUE(FAILED(builder->FindInterface(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, source,
                                              IID_IAMStreamConfig, reinterpret_cast<void**>(&config))));
    ASSERT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source, IID_IAMStreamConfig,
                                     reinterpret_cast<void**>(&config)), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&grabberFilter)), S_OK);
    ASSERT_EQ(graph->AddFilter(grabberFilter, u"grabber"), S_OK);
    ASSERT_EQ(grabberFilter->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void**>(&grabber)), S_OK);
    LengthRecorder recorder;
    ASSERT_EQ(grabber->SetCallback(&recorder, 0), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&sink)), S_OK);
    ASSERT_EQ(graph->AddFilter(sink, u"sink"), S_OK);
    ASSERT_EQ(builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, source, grabberFilter, sink), S_OK);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_TRUE(recorder.waitFor(64 * 48 * 3));

    // The running stream follows each format set; whatever the device
    // delivers, samples arrive as RGB24, bottom row first: the first pixel is
    // the image's bottom left, blue.
    const GUID mjpg = {0x47504A4D, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    struct Format {
        const char* name;
        GUID subtype;
        int width, height;
    };
    const Format formats[] = {{"RGB24", MEDIASUBTYPE_RGB24, 32, 24},
                              {"YUY2", MEDIASUBTYPE_YUY2, 48, 36},
                              {"IYUV", MEDIASUBTYPE_IYUV, 64, 48},
                              {"MJPG", mjpg, 80, 60},
                              {"RGB24 after MJPG", MEDIASUBTYPE_RGB24, 40, 30}};
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(config->GetFormat(&type), S_OK);
    for (const Format& format : formats) {
        SCOPED_TRACE(format.name);
        type->subtype = format.subtype;
        setSize(type, format.width, format.height);
        EXPECT_EQ(config->SetFormat(type), S_OK);
        std::vector<int> pixel;
        EXPECT_TRUE(recorder.waitFor(format.width * format.height * 3, &pixel));
        ASSERT_EQ(pixel.size(), 3u);
        EXPECT_GT(pixel[0], 200);
        EXPECT_LT(pixel[1], 60);
        EXPECT_LT(pixel[2], 60);
    }
    // Sizes and subtypes the device does not offer are refused.
    setSize(type, 8, 8);
    EXPECT_TRUE(FAILED(config->SetFormat(type)));
    type->subtype = MEDIASUBTYPE_RGB32;
    setSize(type, 32, 24);
    EXPECT_TRUE(FAILED(config->SetFormat(type)));
    freeType(type);

    EXPECT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(grabber->SetCallback(nullptr, 1), S_OK);
    int removed = 0;
    for (;;) {
        IEnumFilters* filters = nullptr;
        ASSERT_EQ(graph->EnumFilters(&filters), S_OK);
        IBaseFilter* filter = nullptr;
        HRESULT next = filters->Next(1, &filter, nullptr);
        filters->Release();
        if (next != S_OK) break;
        EXPECT_EQ(graph->RemoveFilter(filter), S_OK);
        filter->Release();
        removed++;
    }
    EXPECT_EQ(removed, 3);

    release(config);
    release(sink);
    release(grabber);
    release(grabberFilter);
    release(control);
    release(graph);
    release(builder);
    release(source);
    release(moniker);
    release(category);
    release(devices);
    CoUninitialize();
    unsetenv("KELVRANE_TEST_CAMERA");
    EXPECT_EQ(fakeLiveObjects(), objectsBefore);
    EXPECT_EQ(fakeTaskMemoryBlocks(), memoryBefore);
}

}  // namespace
