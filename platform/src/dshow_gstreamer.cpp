// The real backend: the video input category is what GStreamer's device
// monitor lists as "Video/Source"; a device's source filter runs the device's
// own source element in a pipeline that converts to packed 24-bit
// blue-green-red, bottom row first, as DirectShow's RGB24 arrives, and ends
// in an appsink that hands each sample to the graph on GStreamer's
// streaming thread.
//
// Test camera (for tests and end-to-end runs only; not for users):
//   KELVRANE_TEST_CAMERA=<image file or directory of images>
// adds one device, listed first as "Kelvrane test camera", that delivers
// those images in a loop at 15 frames per second (files of a directory in
// name order; images that do not decode are skipped; every image is scaled
// to the first one's size). Like a camera it offers RGB24, YUY2, IYUV and
// MJPG, here at any size from 16 x 16 to 4096 x 4096, converting and scaling
// its images to the format set; it starts in RGB24 at the first image's
// size. Without the variable nothing of it exists.
#include "dshow_graph.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <thread>

namespace {

constexpr const char* kTestCameraVariable = "KELVRANE_TEST_CAMERA";
constexpr const char16_t* kTestCameraName = u"Kelvrane test camera";
constexpr int kTestCameraFps = 15;
constexpr const char* kTestCameraCaps =
    "video/x-raw, format=(string){ BGR, YUY2, I420 }, width=(int)[ 16, 4096 ], height=(int)[ 16, 4096 ]; "
    "image/jpeg, width=(int)[ 16, 4096 ], height=(int)[ 16, 4096 ]";
constexpr int kPreferredWidth = 640;
constexpr int kPreferredHeight = 480;
constexpr REFERENCE_TIME kDefaultFrameInterval = 333333;  // 30 frames per second
constexpr REFERENCE_TIME kHundredNanosecondsPerSecond = 10000000;
constexpr GstClockTime kStartTimeout = 5 * GST_SECOND;
constexpr GstClockTime kDecodeTimeout = 10 * GST_SECOND;
constexpr uint32_t kMjpgCode = 0x47504A4D;  // 'MJPG'

constexpr GUID fourCC(uint32_t code) {
    return {code, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

// One way the device can stream: a media type and format with a size range.
struct Capability {
    GUID subtype;
    std::string media;   // "video/x-raw" or "image/jpeg"
    std::string format;  // the raw format's name; empty for JPEG
    int minWidth, maxWidth, stepWidth;
    int minHeight, maxHeight, stepHeight;

    bool allows(int width, int height) const {
        return width >= minWidth && width <= maxWidth && (width - minWidth) % stepWidth == 0 &&
               height >= minHeight && height <= maxHeight && (height - minHeight) % stepHeight == 0;
    }
};

// DirectShow names the RGB formats by their own identifiers and I420 as IYUV;
// the rest by their four-character codes.
bool subtypeOfFormat(const char* name, GUID* subtype) {
    GstVideoFormat format = gst_video_format_from_string(name);
    switch (format) {
        case GST_VIDEO_FORMAT_BGR: *subtype = MEDIASUBTYPE_RGB24; return true;
        case GST_VIDEO_FORMAT_BGRx: *subtype = MEDIASUBTYPE_RGB32; return true;
        case GST_VIDEO_FORMAT_RGB16: *subtype = MEDIASUBTYPE_RGB565; return true;
        case GST_VIDEO_FORMAT_RGB15: *subtype = MEDIASUBTYPE_RGB555; return true;
        case GST_VIDEO_FORMAT_I420: *subtype = MEDIASUBTYPE_IYUV; return true;
        case GST_VIDEO_FORMAT_UNKNOWN: return false;
        default: break;
    }
    uint32_t code = gst_video_format_to_fourcc(format);
    if (code == 0) return false;
    *subtype = fourCC(code);
    return true;
}

struct SizeRange {
    int minimum, maximum, step;
};

std::vector<SizeRange> sizeRanges(const GValue* value) {
    std::vector<SizeRange> ranges;
    if (!value) return ranges;
    if (G_VALUE_HOLDS_INT(value)) {
        int size = g_value_get_int(value);
        ranges.push_back({size, size, 1});
    } else if (GST_VALUE_HOLDS_INT_RANGE(value)) {
        ranges.push_back({gst_value_get_int_range_min(value), gst_value_get_int_range_max(value),
                          std::max(1, gst_value_get_int_range_step(value))});
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); i++) {
            auto more = sizeRanges(gst_value_list_get_value(value, i));
            ranges.insert(ranges.end(), more.begin(), more.end());
        }
    }
    return ranges;
}

std::vector<std::string> formatNames(const GValue* value) {
    std::vector<std::string> names;
    if (!value) return names;
    if (G_VALUE_HOLDS_STRING(value)) {
        names.emplace_back(g_value_get_string(value));
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); i++) {
            auto more = formatNames(gst_value_list_get_value(value, i));
            names.insert(names.end(), more.begin(), more.end());
        }
    }
    return names;
}

std::vector<Capability> capabilitiesOf(GstCaps* caps) {
    std::vector<Capability> capabilities;
    if (!caps) return capabilities;
    for (guint i = 0; i < gst_caps_get_size(caps); i++) {
        GstStructure* structure = gst_caps_get_structure(caps, i);
        std::string media = gst_structure_get_name(structure);
        std::vector<std::pair<GUID, std::string>> formats;
        if (media == "video/x-raw") {
            for (const std::string& name : formatNames(gst_structure_get_value(structure, "format"))) {
                GUID subtype;
                if (subtypeOfFormat(name.c_str(), &subtype)) formats.emplace_back(subtype, name);
            }
        } else if (media == "image/jpeg") {
            formats.emplace_back(fourCC(kMjpgCode), std::string());
        }
        auto widths = sizeRanges(gst_structure_get_value(structure, "width"));
        auto heights = sizeRanges(gst_structure_get_value(structure, "height"));
        for (const auto& format : formats)
            for (const SizeRange& w : widths)
                for (const SizeRange& h : heights)
                    capabilities.push_back({format.first, media, format.second, w.minimum, w.maximum,
                                            w.step, h.minimum, h.maximum, h.step});
    }
    return capabilities;
}

std::u16string utf16(const char* text) {
    std::u16string result;
    if (!text) return result;
    gunichar2* converted = g_utf8_to_utf16(text, -1, nullptr, nullptr, nullptr);
    if (!converted) return result;
    for (gunichar2* unit = converted; *unit; unit++) result.push_back(static_cast<char16_t>(*unit));
    g_free(converted);
    return result;
}

// Frames of the test camera, decoded once when its source filter is made.
struct TestFrames {
    int width = 0;
    int height = 0;
    std::vector<std::vector<uint8_t>> frames;  // packed BGR, top row first
};

// Copies a mapped BGR frame whose rows may be padded into packed rows.
void packRows(const uint8_t* data, int stride, int width, int height, std::vector<uint8_t>& out) {
    size_t row = static_cast<size_t>(width) * 3;
    out.resize(row * static_cast<size_t>(height));
    for (int y = 0; y < height; y++)
        std::memcpy(out.data() + row * static_cast<size_t>(y), data + static_cast<size_t>(stride) * y, row);
}

// Decodes one image file to packed BGR, scaled to width x height when they are set.
bool decodeImage(const std::string& path, int width, int height, TestFrames& frames) {
    std::string description =
        "filesrc name=file ! decodebin ! videoconvert ! videoscale ! video/x-raw,format=BGR";
    if (width > 0) description += ",width=" + std::to_string(width) + ",height=" + std::to_string(height);
    description += " ! appsink name=sink sync=false";
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (error) g_error_free(error);
    if (!pipeline) return false;
    GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline), "file");
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    bool decoded = false;
    if (file && sink) {
        g_object_set(file, "location", path.c_str(), nullptr);
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), kDecodeTimeout);
        if (sample) {
            GstVideoInfo info;
            GstMapInfo map;
            GstBuffer* buffer = gst_sample_get_buffer(sample);
            if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) && buffer &&
                gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                std::vector<uint8_t> frame;
                packRows(map.data, GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), GST_VIDEO_INFO_WIDTH(&info),
                         GST_VIDEO_INFO_HEIGHT(&info), frame);
                gst_buffer_unmap(buffer, &map);
                frames.width = GST_VIDEO_INFO_WIDTH(&info);
                frames.height = GST_VIDEO_INFO_HEIGHT(&info);
                frames.frames.push_back(std::move(frame));
                decoded = true;
            }
            gst_sample_unref(sample);
        }
        gst_element_set_state(pipeline, GST_STATE_NULL);
    }
    if (file) gst_object_unref(file);
    if (sink) gst_object_unref(sink);
    gst_object_unref(pipeline);
    return decoded;
}

std::shared_ptr<TestFrames> loadTestFrames(const std::string& path) {
    std::vector<std::string> files;
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return nullptr;
    if (S_ISDIR(status.st_mode)) {
        if (DIR* directory = opendir(path.c_str())) {
            while (dirent* entry = readdir(directory)) {
                std::string file = path + "/" + entry->d_name;
                if (stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode)) files.push_back(file);
            }
            closedir(directory);
        }
        std::sort(files.begin(), files.end());
    } else {
        files.push_back(path);
    }
    auto frames = std::make_shared<TestFrames>();
    for (const std::string& file : files) decodeImage(file, frames->width, frames->height, *frames);
    if (frames->frames.empty()) return nullptr;
    return frames;
}

class GstSource : public dshow::SourceFilter {
public:
    // A device from the monitor.
    explicit GstSource(GstDevice* device) : device_(GST_DEVICE(gst_object_ref(device))) {
        GstCaps* caps = gst_device_get_caps(device);
        capabilities_ = capabilitiesOf(caps);
        if (caps) gst_caps_unref(caps);
        chooseCurrentFormat(kPreferredWidth, kPreferredHeight);
        dshow::addSourcePins(*this, false);
    }

    // The test camera: offers what cameras commonly do, converted from its
    // images, and starts at the first image's size.
    explicit GstSource(std::shared_ptr<TestFrames> frames) : frames_(std::move(frames)) {
        GstCaps* caps = gst_caps_from_string(kTestCameraCaps);
        capabilities_ = capabilitiesOf(caps);
        if (caps) gst_caps_unref(caps);
        chooseCurrentFormat(frames_->width, frames_->height);
        dshow::addSourcePins(*this, false);
    }

    ~GstSource() override {
        stopFeeding();
        dropPipeline();
        if (device_) gst_object_unref(device_);
    }

    bool hasPreviewPin() const override { return false; }

    HRESULT getFormat(AM_MEDIA_TYPE** type) override {
        if (capabilities_.empty()) return VFW_E_NOT_FOUND;
        *type = dshow::createVideoType(current_.subtype, width_, height_, frameInterval_);
        return *type ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT setFormat(const AM_MEDIA_TYPE* type) override {
        const VIDEOINFOHEADER* info = dshow::videoInfo(*type);
        if (!info || type->majortype != MEDIATYPE_Video) return VFW_E_INVALIDMEDIATYPE;
        int width = info->bmiHeader.biWidth;
        int height = info->bmiHeader.biHeight;
        for (const Capability& capability : capabilities_) {
            if (capability.subtype != type->subtype || !capability.allows(width, height)) continue;
            bool decoderChanges = pipeline_ && capability.media != current_.media;
            current_ = capability;
            width_ = width;
            height_ = height;
            if (info->AvgTimePerFrame > 0) frameInterval_ = info->AvgTimePerFrame;
            rateLimited_ = info->AvgTimePerFrame > 0;
            if (decoderChanges) return rebuildPipeline() ? S_OK : VFW_E_CANNOT_CONNECT;
            applyCaps();
            return S_OK;
        }
        return VFW_E_INVALIDMEDIATYPE;
    }

    HRESULT capabilityCount(int* count, int* capsBytes) override {
        *count = static_cast<int>(capabilities_.size());
        *capsBytes = sizeof(VIDEO_STREAM_CONFIG_CAPS);
        return S_OK;
    }

    HRESULT streamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override {
        if (index < 0 || index >= static_cast<int>(capabilities_.size())) return S_FALSE;
        const Capability& c = capabilities_[static_cast<size_t>(index)];
        return dshow::describeSizeRange({c.subtype, c.minWidth, c.minHeight, c.maxWidth, c.maxHeight,
                                         c.stepWidth, c.stepHeight},
                                        frameInterval_, type, caps);
    }

    HRESULT prepareOutput(const AM_MEDIA_TYPE& downstream) override {
        if (downstream.subtype != MEDIASUBTYPE_RGB24 || capabilities_.empty()) return VFW_E_CANNOT_CONNECT;
        dropPipeline();
        return buildPipeline() ? S_OK : VFW_E_CANNOT_CONNECT;
    }

protected:
    // Deliveries stop (under the stream lock) before the pipeline is taken
    // down, and the pipeline starts only after deliveries are allowed.
    HRESULT changeState(FILTER_STATE state) override {
        dshow::Filter::changeState(state);
        if (!pipeline_) return state == State_Running ? VFW_E_NOT_CONNECTED : S_OK;
        if (state != State_Running) {
            stopFeeding();
            gst_element_set_state(pipeline_, state == State_Paused ? GST_STATE_PAUSED : GST_STATE_NULL);
            return S_OK;
        }
        // The sink completes the change with its first sample, so the test
        // camera's frames must already be flowing while we wait for it.
        failed_ = false;
        bool started = gst_element_set_state(pipeline_, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
        if (started) startFeeding();
        if (!started ||
            gst_element_get_state(pipeline_, nullptr, nullptr, kStartTimeout) == GST_STATE_CHANGE_FAILURE ||
            failed_) {
            stopFeeding();
            gst_element_set_state(pipeline_, GST_STATE_NULL);
            dshow::Filter::changeState(State_Stopped);
            return E_FAIL;
        }
        return S_OK;
    }

private:
    // A raw format of the preferred size when there is one, as cameras
    // usually start in 640 x 480; else the first capability's smallest size.
    void chooseCurrentFormat(int width, int height) {
        if (capabilities_.empty()) return;
        for (const Capability& capability : capabilities_) {
            if (capability.media == "video/x-raw" && capability.allows(width, height)) {
                current_ = capability;
                width_ = width;
                height_ = height;
                return;
            }
        }
        current_ = capabilities_[0];
        width_ = current_.minWidth;
        height_ = current_.minHeight;
    }

    GstCaps* sourceCaps() const {
        GstCaps* caps = gst_caps_new_simple(current_.media.c_str(), "width", G_TYPE_INT, width_, "height",
                                            G_TYPE_INT, height_, nullptr);
        if (!current_.format.empty())
            gst_caps_set_simple(caps, "format", G_TYPE_STRING, current_.format.c_str(), nullptr);
        return caps;
    }

    GstCaps* outputCaps() const {
        return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", "width", G_TYPE_INT, width_,
                                   "height", G_TYPE_INT, height_, nullptr);
    }

    // A running stream renegotiates to the new format; the frame rate limit
    // is fixed when the pipeline is made.
    void applyCaps() {
        if (!pipeline_) return;
        GstCaps* caps = sourceCaps();
        g_object_set(sourceFilter_, "caps", caps, nullptr);
        gst_caps_unref(caps);
        caps = outputCaps();
        g_object_set(outputFilter_, "caps", caps, nullptr);
        gst_caps_unref(caps);
    }

    GstElement* makeSourceElement() {
        if (device_) return gst_device_create_element(device_, nullptr);
        GstElement* source = gst_element_factory_make("appsrc", nullptr);
        if (!source) return nullptr;
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", "width", G_TYPE_INT,
                                            frames_->width, "height", G_TYPE_INT, frames_->height,
                                            "framerate", GST_TYPE_FRACTION, kTestCameraFps, 1, nullptr);
        g_object_set(source, "caps", caps, "is-live", TRUE, "format", GST_FORMAT_TIME, "do-timestamp",
                     TRUE, nullptr);
        gst_caps_unref(caps);
        return source;
    }

    bool buildPipeline() {
        GstElement* sourceFilter = gst_element_factory_make("capsfilter", nullptr);
        GstElement* flip = gst_element_factory_make("videoflip", nullptr);
        GstElement* rate = rateLimited_ ? gst_element_factory_make("videorate", nullptr) : nullptr;
        GstElement* outputFilter = gst_element_factory_make("capsfilter", nullptr);
        GstElement* sink = gst_element_factory_make("appsink", nullptr);
        bool jpeg = current_.media == "image/jpeg";
        std::vector<GstElement*> chain = {makeSourceElement()};
        if (frames_) {
            chain.push_back(gst_element_factory_make("videoconvert", nullptr));
            chain.push_back(gst_element_factory_make("videoscale", nullptr));
            if (jpeg) chain.push_back(gst_element_factory_make("jpegenc", nullptr));
        }
        chain.push_back(sourceFilter);
        if (jpeg) chain.push_back(gst_element_factory_make("jpegdec", nullptr));
        chain.push_back(gst_element_factory_make("videoconvert", nullptr));
        chain.push_back(flip);
        if (rateLimited_) chain.push_back(rate);
        chain.push_back(outputFilter);
        chain.push_back(sink);
        bool made = std::find(chain.begin(), chain.end(), nullptr) == chain.end();
        if (!made) {
            for (GstElement* element : chain)
                if (element) gst_object_unref(gst_object_ref_sink(element));
            return false;
        }
        GstElement* pipeline = gst_pipeline_new(nullptr);
        for (GstElement* element : chain) gst_bin_add(GST_BIN(pipeline), element);
        if (!linkChain(chain)) {
            gst_object_unref(pipeline);
            return false;
        }

        pipeline_ = pipeline;
        sourceFilter_ = sourceFilter;
        outputFilter_ = outputFilter;
        applyCaps();
        gst_util_set_object_arg(G_OBJECT(flip), "method", "vertical-flip");
        if (rate) {
            int fps = static_cast<int>(std::max<REFERENCE_TIME>(1, kHundredNanosecondsPerSecond / frameInterval_));
            g_object_set(rate, "max-rate", fps, nullptr);
        }
        // No clock: samples are handed on as they come, the newest kept.
        g_object_set(sink, "sync", FALSE, "max-buffers", 1, "drop", TRUE, nullptr);
        GstAppSinkCallbacks callbacks = {};
        callbacks.new_sample = &GstSource::onSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);

        // Errors are kept for the start-up check; nothing is left queued on the bus.
        GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(pipeline));
        gst_bus_set_sync_handler(bus, &GstSource::onMessage, this, nullptr);
        gst_object_unref(bus);

        if (frames_) appSource_ = chain.front();
        return true;
    }

    static bool linkChain(const std::vector<GstElement*>& chain) {
        for (size_t i = 1; i < chain.size(); i++)
            if (!gst_element_link(chain[i - 1], chain[i])) return false;
        return true;
    }

    // From raw frames to JPEG or back the decoder comes or goes: the stream
    // is made anew and put back in the state it had.
    bool rebuildPipeline() {
        FILTER_STATE state;
        {
            std::lock_guard<std::mutex> guard(streamLock());
            state = state_;
        }
        stopFeeding();
        dropPipeline();
        if (!buildPipeline()) return false;
        if (state == State_Stopped) return true;
        gst_element_set_state(pipeline_, state == State_Running ? GST_STATE_PLAYING : GST_STATE_PAUSED);
        if (state == State_Running) startFeeding();
        return true;
    }

    void dropPipeline() {
        if (!pipeline_) return;
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
        appSource_ = nullptr;
        sourceFilter_ = nullptr;
        outputFilter_ = nullptr;
    }

    static GstBusSyncReply onMessage(GstBus*, GstMessage* message, gpointer self) {
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) static_cast<GstSource*>(self)->failed_ = true;
        return GST_BUS_DROP;
    }

    static GstFlowReturn onSample(GstAppSink* sink, gpointer self) {
        static_cast<GstSource*>(self)->handOn(sink);
        return GST_FLOW_OK;
    }

    void handOn(GstAppSink* sink) {
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample) return;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstVideoInfo info;
        GstMapInfo map;
        if (buffer && gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
            gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            int width = GST_VIDEO_INFO_WIDTH(&info);
            int height = GST_VIDEO_INFO_HEIGHT(&info);
            int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
            REFERENCE_TIME time = GST_BUFFER_PTS_IS_VALID(buffer)
                                      ? static_cast<REFERENCE_TIME>(GST_BUFFER_PTS(buffer) / 100)
                                      : 0;
            if (stride == width * 3) {
                deliver(map.data, width * height * 3, time);
            } else {
                packRows(map.data, stride, width, height, packed_);
                deliver(packed_.data(), static_cast<long>(packed_.size()), time);
            }
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }

    // The test camera's frames go in at its rate from a thread of our own.
    void startFeeding() {
        if (!appSource_) return;
        stopFeeding();
        feeding_ = true;
        feeder_ = std::thread([this] {
            std::unique_lock<std::mutex> lock(feederLock_);
            for (size_t next = 0; feeding_; next = (next + 1) % frames_->frames.size()) {
                const auto& frame = frames_->frames[next];
                GstBuffer* buffer = gst_buffer_new_memdup(frame.data(), frame.size());
                gst_app_src_push_buffer(GST_APP_SRC(appSource_), buffer);
                feederWake_.wait_for(lock, std::chrono::milliseconds(1000 / kTestCameraFps),
                                     [this] { return !feeding_; });
            }
        });
    }

    void stopFeeding() {
        if (!feeder_.joinable()) return;
        {
            std::lock_guard<std::mutex> guard(feederLock_);
            feeding_ = false;
        }
        feederWake_.notify_all();
        feeder_.join();
    }

    GstDevice* device_ = nullptr;
    std::shared_ptr<TestFrames> frames_;
    std::vector<Capability> capabilities_;
    Capability current_{};
    int width_ = 0;
    int height_ = 0;
    REFERENCE_TIME frameInterval_ = kDefaultFrameInterval;
    bool rateLimited_ = false;
    GstElement* pipeline_ = nullptr;
    GstElement* appSource_ = nullptr;
    GstElement* sourceFilter_ = nullptr;  // held by the pipeline
    GstElement* outputFilter_ = nullptr;
    std::atomic<bool> failed_{false};
    std::vector<uint8_t> packed_;  // streaming thread only
    std::thread feeder_;
    std::mutex feederLock_;
    std::condition_variable feederWake_;
    bool feeding_ = false;  // guarded by feederLock_
};

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

std::string deviceSortKey(GstDevice* device) {
    std::string key;
    gchar* name = gst_device_get_display_name(device);
    if (name) key = name;
    g_free(name);
    key += '\n';
    if (GstStructure* properties = gst_device_get_properties(device)) {
        gchar* text = gst_structure_to_string(properties);
        if (text) key += text;
        g_free(text);
        gst_structure_free(properties);
    }
    return key;
}

std::vector<dshow::DeviceEntry> listGstDevices() {
    std::vector<dshow::DeviceEntry> entries;
    if (const char* path = std::getenv(kTestCameraVariable); path && *path) {
        dshow::DeviceEntry entry;
        entry.friendlyName = kTestCameraName;
        std::string location = path;
        entry.bind = [location](IBaseFilter** filter) {
            auto frames = loadTestFrames(location);
            if (!frames) return VFW_E_NOT_FOUND;
            *filter = new GstSource(std::move(frames));
            return S_OK;
        };
        entries.push_back(std::move(entry));
    }

    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    GList* devices = gst_device_monitor_get_devices(monitor);
    std::vector<std::pair<std::string, GstDevice*>> sorted;
    for (GList* item = devices; item; item = item->next) {
        GstDevice* device = GST_DEVICE(item->data);
        sorted.emplace_back(deviceSortKey(device), device);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [key, device] : sorted) {
        dshow::DeviceEntry entry;
        gchar* name = gst_device_get_display_name(device);
        entry.friendlyName = utf16(name);
        g_free(name);
        GstDevice* held = GST_DEVICE(gst_object_ref(device));
        std::shared_ptr<GstDevice> shared(held, [](GstDevice* d) { gst_object_unref(d); });
        entry.bind = [shared](IBaseFilter** filter) {
            *filter = new GstSource(shared.get());
            return S_OK;
        };
        entries.push_back(std::move(entry));
    }
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(monitor);
    return entries;
}

HRESULT gstCreateInstance(REFCLSID classId, REFIID iid, void** object) {
    if (classId == CLSID_SystemDeviceEnum) return dshow::createDeviceEnumerator(listGstDevices, iid, object);
    return dshow::createStandardObject(classId, iid, object);
}

const com::Backend backend = {gstInitialize, gstUninitialize, gstCreateInstance};

}  // namespace

const com::Backend& com::gstreamerBackend() { return backend; }
