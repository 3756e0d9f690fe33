// imageToDib: an 8-bit OpenCV image as a 24-bit device-independent bitmap.
#include <cstring>

#include "main_window.h"

namespace {

const WORD kBitsPerPixel = 24;
const int kBitmapRowAlignment = 4;

}  // namespace

HBITMAP imageToDib(const IplImage* image) {
    if (!image || image->depth != IPL_DEPTH_8U || image->width <= 0 || image->height <= 0) return nullptr;
    const int w = image->width;
    const int h = image->height;
    const int stride = (3 * w + kBitmapRowAlignment - 1) / kBitmapRowAlignment * kBitmapRowAlignment;

    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;  // positive: rows bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = kBitsPerPixel;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(stride) * static_cast<DWORD>(h);

    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;

    // Source rows are read at the image's own row step, so that widths whose
    // rows carry padding come out straight too.
    unsigned char* pixels = static_cast<unsigned char*>(bits);
    for (int i = 0; i < h; ++i) {
        const unsigned char* source =
            reinterpret_cast<const unsigned char*>(image->imageData) + static_cast<size_t>(i) * image->widthStep;
        unsigned char* target = pixels + static_cast<size_t>(h - 1 - i) * stride;
        if (image->nChannels == 1) {
            for (int x = 0; x < w; ++x) target[3 * x] = target[3 * x + 1] = target[3 * x + 2] = source[x];
        } else if (image->nChannels == 3) {
            std::memcpy(target, source, static_cast<size_t>(3) * w);
        }
    }
    return bitmap;
}
