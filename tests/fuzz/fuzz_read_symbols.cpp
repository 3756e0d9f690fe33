// Feeds small gray images to dmReadSymbols. Input layout:
//   byte 0      image width - 1 (1 ... 256 pixels)
//   byte 1      pass: 0 the application's Otsu pass (13, -1), 1 its adaptive
//               pass (14, 15), otherwise options = byte 1 & 15 with level byte 2
//   byte 2      level for the other passes (odd, even and too small blocks alike)
//   the rest    pixels, row by row; the height is what fits (at most 256 rows)
// Whatever the image, a call returns 0 or -1, writes a count of 0 ... 10 on
// success, leaves results and count untouched on failure, and every
// reported text ends within its field.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <opencv2/core/core_c.h>

#include "reader/reader.h"

namespace {

constexpr size_t kHeaderBytes = 3;
constexpr int kMaxSide = 256;
constexpr int kUntouchedCount = -12345;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderBytes + 1) return 0;
    const int width = data[0] + 1;
    int level = data[2];
    int options = data[1] & 15;
    if (data[1] == 0) {
        options = 13;
        level = -1;
    } else if (data[1] == 1) {
        options = 14;
        level = 15;
    }
    const size_t pixels = size - kHeaderBytes;
    int height = static_cast<int>(pixels / width);
    if (height < 1) return 0;
    if (height > kMaxSide) height = kMaxSide;

    IplImage* image = cvCreateImage(cvSize(width, height), IPL_DEPTH_8U, 1);
    for (int y = 0; y < height; ++y) {
        std::memcpy(image->imageData + y * image->widthStep, data + kHeaderBytes + y * width, width);
    }

    DecodedSymbol results[DM_MAX_RESULTS];
    std::memset(results, 0x5A, sizeof(results));
    int count = kUntouchedCount;
    const int status = dmReadSymbols(image, results, &count, level, options);
    cvReleaseImage(&image);

    if (status == 0) {
        if (count < 0 || count > DM_MAX_RESULTS) std::abort();
        for (int i = 0; i < count; ++i) {
            if (std::memchr(results[i].text, '\0', DM_TEXT_BYTES) == nullptr) std::abort();
        }
    } else {
        if (status != -1 || count != kUntouchedCount) std::abort();
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(results);
        for (size_t i = 0; i < sizeof(results); ++i) {
            if (bytes[i] != 0x5A) std::abort();
        }
    }
    return 0;
}
