// Internal pieces of kelvrane-read, shared by the tool and its tests:
//   image_loading    file -> colour and gray images, with a reason on failure
//   text_escaping    decoded bytes -> the tool's escaped text, JSON strings, hex
//   frame_reading    the frame loop's two reader passes over one gray image
//   result_output    one output line per symbol, plain or JSON
#pragma once

#include <string>
#include <vector>

#include <opencv2/core/core_c.h>

#include "reader/reader.h"

// ----------------------------------------------------------- image loading

// A loaded image: colour (blue, green, red) and its gray copy, both owned.
struct LoadedImage {
    IplImage* colour = nullptr;
    IplImage* gray = nullptr;
};

// Loads one image file. On success returns true and fills *image (release it
// with releaseLoadedImage). On failure returns false and *reason says why in
// a few words ("No such file or directory", "empty file", "truncated or
// damaged PNG data", ...). Never throws.
bool loadImage(const std::string& path, LoadedImage* image, std::string* reason);
void releaseLoadedImage(LoadedImage* image);

// The format named by a file's first bytes ("PNG", "JPEG", ...) or "" when
// none of the formats we know. Reads only the file's head.
std::string sniffImageFormat(const std::string& path);

// Largest image, in pixels, that the tool decodes; bigger ones are refused
// before their pixels are allocated.
constexpr long long kMaxImagePixels = 1LL << 26;

// ----------------------------------------------------------- text escaping

// \ as \\, LF \n, CR \r, TAB \t, 0x20..0x7E as is, every other byte \xHH.
std::string escapeText(const std::string& bytes);
// True when bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(const std::string& bytes);
// A JSON string literal, quotes included, of text that is valid UTF-8.
std::string jsonString(const std::string& utf8);
// Lower-case hex of every byte, no separators.
std::string hexBytes(const std::string& bytes);

// ----------------------------------------------------------- frame reading

// What the two reader passes found in one image.
struct FrameReading {
    DecodedSymbol symbols[DM_MAX_RESULTS];
    int count = 0;        // valid entries of symbols
    int pass = 0;         // 1 or 2: the pass whose results these are
    bool failed = false;  // both passes returned -1
    double milliseconds = 0;  // the reader's own time, both passes
};

// Reads gray exactly as the live frame loop does: options 13 with level -1,
// and only if that finds nothing, options 14 with level 15.
void readFrame(IplImage* gray, FrameReading* reading);

// The text of a decoded symbol, up to its NUL (or all DM_TEXT_BYTES).
std::string symbolText(const DecodedSymbol& symbol);

// ----------------------------------------------------------- result output

// FILE<TAB>TEXT
std::string plainLine(const std::string& file, const DecodedSymbol& symbol);
// {"file":...,"text":...,"escaped":...,"hex":...,"corners":[[x,y],...],"pass":N}
std::string jsonLine(const std::string& file, const DecodedSymbol& symbol, int pass);
