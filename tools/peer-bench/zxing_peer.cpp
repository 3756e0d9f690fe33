#include <ZXing/ReadBarcode.h>

#include "peer_readers.h"

namespace {

std::vector<std::string> readWith(const cv::Mat& gray, const ZXing::DecodeHints& hints) {
    const ZXing::ImageView view(gray.data, gray.cols, gray.rows, ZXing::ImageFormat::Lum,
                                static_cast<int>(gray.step));
    std::vector<std::string> texts;
    for (const ZXing::Result& result : ZXing::ReadBarcodes(view, hints)) {
        if (!result.isValid()) continue;
        const ZXing::ByteArray& bytes = result.bytes();
        texts.emplace_back(bytes.begin(), bytes.end());
    }
    return texts;
}

}  // namespace

std::vector<std::string> readWithZxingDefault(const cv::Mat& gray) {
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::DataMatrix);
    return readWith(gray, hints);
}

std::vector<std::string> readWithZxingFastest(const cv::Mat& gray) {
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::DataMatrix);
    hints.setTryHarder(false);
    hints.setTryRotate(false);
    hints.setTryDownscale(false);
    return readWith(gray, hints);
}
