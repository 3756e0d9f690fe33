#include <chrono>
#include <cstring>

#include "read_tool.h"

namespace {

// The live frame loop's two passes: Otsu's global threshold first, and the
// dearer adaptive threshold only when that found nothing.
const int kFirstPassLevel = -1;
const int kFirstPassOptions = DM_GLOBAL_THRESHOLD | DM_ZOOM_CANDIDATES | DM_CHECK_CORRECTIONS;
const int kSecondPassLevel = 15;
const int kSecondPassOptions = DM_ADAPTIVE_THRESHOLD | DM_ZOOM_CANDIDATES | DM_CHECK_CORRECTIONS;

}  // namespace

void readFrame(IplImage* gray, FrameReading* reading) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();

    // A failed call leaves the count alone, so it must start at 0 to read as
    // "nothing found".
    reading->count = 0;
    reading->pass = 1;
    const int first = dmReadSymbols(gray, reading->symbols, &reading->count, kFirstPassLevel,
                                    kFirstPassOptions);
    reading->failed = false;
    if (reading->count <= 0) {
        reading->count = 0;
        reading->pass = 2;
        const int second = dmReadSymbols(gray, reading->symbols, &reading->count,
                                         kSecondPassLevel, kSecondPassOptions);
        reading->failed = first < 0 && second < 0;
        if (reading->count < 0) reading->count = 0;
    }
    if (reading->count > DM_MAX_RESULTS) reading->count = DM_MAX_RESULTS;

    const std::chrono::duration<double, std::milli> elapsed = Clock::now() - start;
    reading->milliseconds = elapsed.count();
}

std::string symbolText(const DecodedSymbol& symbol) {
    const void* end = std::memchr(symbol.text, '\0', DM_TEXT_BYTES);
    const size_t length = end ? static_cast<const char*>(end) - symbol.text : DM_TEXT_BYTES;
    return std::string(symbol.text, length);
}
