#include "result_overlay.h"

#include <opencv2/imgproc/imgproc_c.h>

namespace {

// Single-precision constants, widened to double where they multiply the width.
const float kBandStep = 0.047f;    // band height per result, in frame widths
const float kBandWidth = 0.8f;     // band right edge, in frame widths
const float kFontPerWidth = 0.0008f;

const CvScalar kOutlineColour = {{0, 0, 255, 0}};
const CvScalar kBandColour = {{255, 255, 255, 0}};
const CvScalar kTextColour = {{0, 0, 0, 0}};

}  // namespace

void drawResults(IplImage* frame, const DecodedSymbol* results, int count) {
    const int width = frame->width;
    for (int i = 0; i < count; ++i) {
        const DecodedSymbol& symbol = results[i];
        for (int k = 0; k < 4; ++k) {
            cvLine(frame, symbol.corners[k], symbol.corners[(k + 1) % 4], kOutlineColour, 1, 8, 0);
        }

        const int y0 = static_cast<int>(width * i * static_cast<double>(kBandStep));
        const int y1 = static_cast<int>(width * (i + 1) * static_cast<double>(kBandStep));
        const int x1 = static_cast<int>(width * static_cast<double>(kBandWidth));
        CvPoint band[4] = {{0, y0}, {x1, y0}, {x1, y1}, {0, y1}};
        cvFillConvexPoly(frame, band, 4, kBandColour, 8, 0);

        const float scale = static_cast<float>(width * static_cast<double>(kFontPerWidth));
        CvFont font;
        cvInitFont(&font, CV_FONT_HERSHEY_SIMPLEX, scale, scale, 0, 2, 8);
        cvPutText(frame, symbol.text, cvPoint(0, (i + 1) * width / 32), &font, kTextColour);
    }
}
