#include <dmtx.h>

#include "peer_readers.h"

std::vector<std::string> readWithDmtx(const cv::Mat& gray) {
    std::vector<std::string> texts;
    DmtxImage* image = dmtxImageCreate(gray.data, gray.cols, gray.rows, DmtxPack8bppK);
    if (!image) return texts;
    dmtxImageSetProp(image, DmtxPropRowPadBytes, static_cast<int>(gray.step) - gray.cols);
    DmtxDecode* decode = dmtxDecodeCreate(image, 1);
    if (decode) {
        DmtxTime limit = dmtxTimeAdd(dmtxTimeNow(), kDmtxTimeLimitMs);
        DmtxRegion* region = dmtxRegionFindNext(decode, &limit);
        if (region) {
            DmtxMessage* message = dmtxDecodeMatrixRegion(decode, region, DmtxUndefined);
            if (message) {
                texts.emplace_back(reinterpret_cast<const char*>(message->output), message->outputIdx);
                dmtxMessageDestroy(&message);
            }
            dmtxRegionDestroy(&region);
        }
        dmtxDecodeDestroy(&decode);
    }
    dmtxImageDestroy(&image);
    return texts;
}
