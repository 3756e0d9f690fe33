#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc/imgproc_c.h>

#include "read_tool.h"

// OpenCV allocates the whole picture from the dimensions in a file's header
// before it decodes a single pixel, and it accepts up to 2^30 pixels. A file of
// a few kilobytes can thus claim gigabytes. For the formats below the header
// is read here first, so that such a file is refused before anything is
// allocated; other formats OpenCV reads fall back to its own limit.

namespace {

const size_t kHeadBytes = 4096;  // room for long PNM comments
const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// Markers of a JPEG's frame header (SOF0..SOF15 without DHT, JPG and DAC).
bool isJpegFrameMarker(int marker) {
    return marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
}

// A file opened for the header checks; closes itself.
struct OpenFile {
    int fd = -1;
    ~OpenFile() {
        if (fd >= 0) close(fd);
    }
};

// Reads up to n bytes at offset; returns how many were read.
size_t readAt(int fd, uint64_t offset, uint8_t* out, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t got = pread(fd, out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

// Keeps the decoders' own complaints (libpng prints "libpng error: ..." on a
// truncated file) off standard error while one image is decoded; the tool
// says what went wrong in its own one-line message.
class QuietStandardError {
public:
    QuietStandardError() {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && devNull >= 0) dup2(devNull, STDERR_FILENO);
        if (devNull >= 0) close(devNull);
    }
    ~QuietStandardError() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int saved_ = -1;
};

uint32_t bigEndian16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
uint32_t bigEndian32(const uint8_t* p) { return (bigEndian16(p) << 16) | bigEndian16(p + 2); }
uint32_t littleEndian16(const uint8_t* p) { return (uint32_t(p[1]) << 8) | p[0]; }
uint32_t littleEndian32(const uint8_t* p) { return (littleEndian16(p + 2) << 16) | littleEndian16(p); }

struct HeaderInfo {
    std::string format;  // "" when unknown
    bool sized = false;  // width and height known
    uint64_t width = 0;
    uint64_t height = 0;
};

void setSize(HeaderInfo* info, uint64_t width, uint64_t height) {
    info->sized = true;
    info->width = width;
    info->height = height;
}

// Walks the JPEG segments up to the frame header.
void jpegSize(int fd, HeaderInfo* info) {
    uint64_t offset = 2;
    for (int segments = 0; segments < 10000; ++segments) {
        uint8_t b[9];
        if (readAt(fd, offset, b, 2) < 2 || b[0] != 0xff) return;
        const int marker = b[1];
        if (marker == 0xff) {  // fill byte
            offset += 1;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) {  // no length field
            offset += 2;
            continue;
        }
        if (marker == 0xd9 || marker == 0xda) return;  // end or scan before any frame
        if (readAt(fd, offset + 2, b, 7) < 2) return;
        const uint32_t length = bigEndian16(b);
        if (isJpegFrameMarker(marker)) {
            if (length >= 7) setSize(info, bigEndian16(b + 5), bigEndian16(b + 3));
            return;
        }
        if (length < 2) return;
        offset += 2 + length;
    }
}

void tiffSize(int fd, bool little, HeaderInfo* info) {
    auto u16 = [little](const uint8_t* p) { return little ? littleEndian16(p) : bigEndian16(p); };
    auto u32 = [little](const uint8_t* p) { return little ? littleEndian32(p) : bigEndian32(p); };
    uint8_t b[12];
    if (readAt(fd, 4, b, 4) < 4) return;
    const uint64_t ifd = u32(b);
    if (readAt(fd, ifd, b, 2) < 2) return;
    const uint32_t entries = u16(b);
    uint64_t width = 0, height = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        if (readAt(fd, ifd + 2 + 12ull * i, b, 12) < 12) return;
        const uint32_t tag = u16(b);
        const uint32_t type = u16(b + 2);
        const uint64_t value = type == 3 ? u16(b + 8) : u32(b + 8);
        if (tag == 256) width = value;
        if (tag == 257) height = value;
    }
    if (width > 0 && height > 0) setSize(info, width, height);
}

// PNM: magic, then width and height as decimal numbers between blanks and
// comments.
void pnmSize(const uint8_t* head, size_t n, HeaderInfo* info) {
    uint64_t values[2];
    size_t pos = 2;
    for (uint64_t& value : values) {
        for (;;) {
            while (pos < n && std::strchr(" \t\r\n\v\f", head[pos]) && head[pos]) ++pos;
            if (pos < n && head[pos] == '#') {
                while (pos < n && head[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        if (pos >= n || head[pos] < '0' || head[pos] > '9') return;
        value = 0;
        while (pos < n && head[pos] >= '0' && head[pos] <= '9' && value < (1ull << 40)) {
            value = value * 10 + (head[pos++] - '0');
        }
    }
    setSize(info, values[0], values[1]);
}

void webpSize(const uint8_t* head, size_t n, HeaderInfo* info) {
    if (n < 30) return;
    if (std::memcmp(head + 12, "VP8 ", 4) == 0 && head[23] == 0x9d && head[24] == 0x01 &&
        head[25] == 0x2a) {
        setSize(info, littleEndian16(head + 26) & 0x3fff, littleEndian16(head + 28) & 0x3fff);
    } else if (std::memcmp(head + 12, "VP8L", 4) == 0 && head[20] == 0x2f) {
        const uint32_t bits = littleEndian32(head + 21);
        setSize(info, (bits & 0x3fff) + 1, ((bits >> 14) & 0x3fff) + 1);
    } else if (std::memcmp(head + 12, "VP8X", 4) == 0) {
        const uint32_t w = head[24] | (head[25] << 8) | (head[26] << 16);
        const uint32_t h = head[27] | (head[28] << 8) | (head[29] << 16);
        setSize(info, uint64_t(w) + 1, uint64_t(h) + 1);
    }
}

HeaderInfo readHeader(int fd) {
    HeaderInfo info;
    uint8_t head[kHeadBytes] = {};
    const size_t n = readAt(fd, 0, head, kHeadBytes);
    if (n >= 8 && std::memcmp(head, kPngSignature, 8) == 0) {
        info.format = "PNG";
        if (n >= 24 && std::memcmp(head + 12, "IHDR", 4) == 0) {
            setSize(&info, bigEndian32(head + 16), bigEndian32(head + 20));
        }
    } else if (n >= 3 && head[0] == 0xff && head[1] == 0xd8 && head[2] == 0xff) {
        info.format = "JPEG";
        jpegSize(fd, &info);
    } else if (n >= 2 && head[0] == 'B' && head[1] == 'M') {
        info.format = "BMP";
        if (n >= 26) {
            if (littleEndian32(head + 14) == 12) {
                setSize(&info, littleEndian16(head + 18), littleEndian16(head + 20));
            } else {
                const int32_t w = static_cast<int32_t>(littleEndian32(head + 18));
                const int32_t h = static_cast<int32_t>(littleEndian32(head + 22));
                setSize(&info, w < 0 ? -int64_t(w) : w, h < 0 ? -int64_t(h) : h);
            }
        }
    } else if (n >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6') {
        info.format = "PNM";
        pnmSize(head, n, &info);
    } else if (n >= 8 && (std::memcmp(head, "II*\0", 4) == 0 || std::memcmp(head, "MM\0*", 4) == 0)) {
        info.format = "TIFF";
        tiffSize(fd, head[0] == 'I', &info);
    } else if (n >= 16 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0) {
        info.format = "WebP";
        webpSize(head, n, &info);
    }
    return info;
}

std::string describeSize(uint64_t width, uint64_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels, at most " +
           std::to_string(kMaxImagePixels);
}

}  // namespace

std::string sniffImageFormat(const std::string& path) {
    OpenFile file;
    file.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file.fd < 0) return "";
    return readHeader(file.fd).format;
}

bool loadImage(const std::string& path, LoadedImage* image, std::string* reason) {
    *image = LoadedImage();
    HeaderInfo header;
    {
        OpenFile file;
        file.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (file.fd < 0) {
            *reason = std::strerror(errno);
            return false;
        }
        struct stat info;
        if (fstat(file.fd, &info) != 0) {
            *reason = std::strerror(errno);
            return false;
        }
        if (S_ISDIR(info.st_mode)) {
            *reason = std::strerror(EISDIR);
            return false;
        }
        if (S_ISREG(info.st_mode) && info.st_size == 0) {
            *reason = "empty file";
            return false;
        }
        header = readHeader(file.fd);
    }
    if (header.sized) {
        if (header.width == 0 || header.height == 0) {
            *reason = "damaged " + header.format + " header (zero width or height)";
            return false;
        }
        if (header.width > uint64_t(kMaxImagePixels) || header.height > uint64_t(kMaxImagePixels) ||
            header.width * header.height > uint64_t(kMaxImagePixels)) {
            *reason = "image too large (" + describeSize(header.width, header.height) + ")";
            return false;
        }
    }

    try {
        cv::Mat colour;
        {
            QuietStandardError quiet;
            colour = cv::imread(path, cv::IMREAD_COLOR);
        }
        if (colour.empty()) {
            *reason = header.format.empty() ? "not an image file (unknown format)"
                                            : "truncated or damaged " + header.format + " data";
            return false;
        }
        if (static_cast<long long>(colour.total()) > kMaxImagePixels) {
            *reason = "image too large (" + describeSize(colour.cols, colour.rows) + ")";
            return false;
        }
        IplImage view = cvIplImage(colour);
        image->colour = cvCloneImage(&view);
        image->gray = cvCreateImage(cvGetSize(image->colour), IPL_DEPTH_8U, 1);
        cvCvtColor(image->colour, image->gray, CV_BGR2GRAY);
        return true;
    } catch (const cv::Exception& e) {
        *reason = "OpenCV could not decode it (" + e.err + ")";
    } catch (const std::bad_alloc&) {
        *reason = "out of memory";
    }
    releaseLoadedImage(image);
    return false;
}

void releaseLoadedImage(LoadedImage* image) {
    if (image->colour) cvReleaseImage(&image->colour);
    if (image->gray) cvReleaseImage(&image->gray);
}
