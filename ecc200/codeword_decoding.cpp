// Data codewords to text: ASCII (digit pairs, Upper Shift), C40, Text, X12,
// EDIFACT and Base 256. Function codewords (FNC1, Structured Append, Reader
// Programming, the 05/06 macros, ECI) are not supported and fail the symbol.
#include "ecc200/ecc200_internal.h"

namespace {

// ASCII codewords.
constexpr int kAsciiCharLast = 128;
constexpr int kPad = 129;
constexpr int kDigitPairFirst = 130;
constexpr int kDigitPairLast = 229;
constexpr int kLatchC40 = 230;
constexpr int kLatchBase256 = 231;
constexpr int kUpperShift = 235;
constexpr int kLatchX12 = 238;
constexpr int kLatchText = 239;
constexpr int kLatchEdifact = 240;
constexpr int kUnlatch = 254;
constexpr int kClearsShiftFrom = 230;

// C40, Text and X12 pack three values of 0..39 into two codewords.
constexpr int kTripleBase = 40;
constexpr int kEdifactUnlatch = 31;
// Base 256 lengths of 250 and more take a second length codeword.
constexpr int kBase256ShortLengthLast = 249;
constexpr int kBase256LongStep = 250;

constexpr int kTextBytesPerCodeword = 4;

enum class Mode { Ascii, UpperShift, C40, Text, X12, Edifact, Base256 };
enum Shift { kNoShift = 0, kShift1, kShift2, kShift3 };

struct Decoder {
    const unsigned char* codewords;
    int length;
    int pos;  // 0-based index of the next codeword
    char* text;
    int textLength;
    int textCapacity;  // bytes that may hold characters (the NUL comes after)
    Mode mode;
    bool latchExpected;
    int shift;
    bool upperShift;
    int base256End;
};

void put(Decoder& d, int byte) {
    if (d.textLength < d.textCapacity) d.text[d.textLength++] = static_cast<char>(byte & 255);
}

// A character from C40 or Text, raised by a pending Upper Shift.
void putShifted(Decoder& d, int byte) {
    if (d.upperShift) byte += 128;
    d.upperShift = false;
    put(d, byte);
}

void c40TextValue(Decoder& d, int v, bool text) {
    const int shift = d.shift;
    d.shift = kNoShift;
    switch (shift) {
    case kNoShift:
        if (v <= 2) {
            d.shift = kShift1 + v;
        } else if (v == 3) {
            putShifted(d, ' ');
        } else if (v <= 13) {
            putShifted(d, v + 44);  // digits
        } else if (v <= 39) {
            putShifted(d, v + (text ? 83 : 51));  // small or capital letters
        }
        break;
    case kShift1:
        putShifted(d, v);  // control characters
        break;
    case kShift2:
        if (v <= 14) {
            putShifted(d, v + 33);
        } else if (v <= 21) {
            putShifted(d, v + 43);
        } else if (v <= 26) {
            putShifted(d, v + 69);
        } else if (v == 30) {
            d.upperShift = true;
        }
        // 27 is FNC1 and the rest mean nothing: no character.
        break;
    case kShift3:
        if (!text || v > 26) {
            putShifted(d, v + 96);
        } else if (v == 0) {
            putShifted(d, '`');
        } else {
            putShifted(d, v + 64);  // capital letters
        }
        break;
    }
}

void x12Value(Decoder& d, int v) {
    static const char kSpecial[4] = {'\r', '*', '>', ' '};
    if (v < 4) {
        put(d, kSpecial[v]);
    } else if (v <= 13) {
        put(d, v + 44);
    } else {
        put(d, v + 51);
    }
}

// One C40, Text or X12 pair. A lone last codeword is read as ASCII.
void decodeTriple(Decoder& d) {
    if (d.pos + 1 >= d.length) {
        d.mode = Mode::Ascii;
        return;
    }
    const int v = 256 * d.codewords[d.pos] + d.codewords[d.pos + 1] - 1;
    d.pos += 2;
    // 0, 0 would give -1: no values at all.
    if (v >= 0) {
        const int values[3] = {v / (kTripleBase * kTripleBase), (v / kTripleBase) % kTripleBase, v % kTripleBase};
        for (int value : values) {
            if (d.mode == Mode::X12) {
                x12Value(d, value);
            } else {
                c40TextValue(d, value, d.mode == Mode::Text);
            }
        }
    }
    if (d.pos < d.length && d.codewords[d.pos] == kUnlatch) {
        ++d.pos;
        d.mode = Mode::Ascii;
    }
}

// One EDIFACT group of three codewords. With fewer left, they are ASCII.
void decodeEdifact(Decoder& d) {
    if (d.pos + 2 >= d.length) {
        d.mode = Mode::Ascii;
        return;
    }
    const int start = d.pos;
    const int b0 = d.codewords[start];
    const int b1 = d.codewords[start + 1];
    const int b2 = d.codewords[start + 2];
    const int values[4] = {b0 >> 2, ((b0 & 3) << 4) | (b1 >> 4), ((b1 & 15) << 2) | (b2 >> 6), b2 & 63};
    // ASCII resumes at the codeword after the one that ends the unlatch value.
    static const int kResumeAfter[4] = {1, 2, 3, 3};
    d.pos = start + 3;
    for (int k = 0; k < 4; ++k) {
        if (values[k] == kEdifactUnlatch) {
            d.mode = Mode::Ascii;
            d.pos = start + kResumeAfter[k];
            return;
        }
        put(d, (values[k] & 32) ? values[k] : values[k] + 64);
    }
}

// The length codewords after a Base 256 latch; the segment ends with the data.
void startBase256(Decoder& d) {
    d.mode = Mode::Base256;
    d.base256End = d.length;
    if (d.pos >= d.length) return;
    const int d1 = dmUnrandomize255(d.codewords[d.pos], d.pos + 1);
    ++d.pos;
    int segment = 0;
    if (d1 == 0) {
        return;
    } else if (d1 <= kBase256ShortLengthLast) {
        segment = d1;
    } else {
        if (d.pos >= d.length) return;
        const int d2 = dmUnrandomize255(d.codewords[d.pos], d.pos + 1);
        ++d.pos;
        segment = kBase256LongStep * (d1 - kBase256ShortLengthLast) + d2;
    }
    if (segment < d.length - d.pos) d.base256End = d.pos + segment;
}

void selectMode(Decoder& d, int codeword) {
    switch (codeword) {
    case kLatchC40: d.mode = Mode::C40; break;
    case kLatchBase256: startBase256(d); break;
    case kUpperShift: d.mode = Mode::UpperShift; break;
    case kLatchX12: d.mode = Mode::X12; break;
    case kLatchText: d.mode = Mode::Text; break;
    case kLatchEdifact: d.mode = Mode::Edifact; break;
    }
}

enum class Step { Continue, Finished, Failed };

Step decodeAscii(Decoder& d) {
    const int c = d.codewords[d.pos++];
    if (c >= kClearsShiftFrom) d.shift = kNoShift;
    if (c <= kAsciiCharLast) {
        put(d, c - 1);  // 0 wraps to 255
    } else if (c == kPad) {
        return Step::Finished;
    } else if (c <= kDigitPairLast) {
        put(d, '0' + (c - kDigitPairFirst) / 10);
        put(d, '0' + (c - kDigitPairFirst) % 10);
    } else if (c == kLatchC40 || c == kLatchBase256 || c == kUpperShift || c == kLatchX12 || c == kLatchText ||
               c == kLatchEdifact) {
        selectMode(d, c);
    } else if (c == kUnlatch) {
        d.latchExpected = true;
    } else {
        return Step::Failed;  // a function codeword
    }
    return Step::Continue;
}

Step decodeStep(Decoder& d) {
    if (d.latchExpected) {
        d.latchExpected = false;
        const int c = d.codewords[d.pos++];
        if (c >= kClearsShiftFrom) d.shift = kNoShift;
        if (c != kLatchC40 && c != kLatchBase256 && c != kUpperShift && c != kLatchX12 && c != kLatchText &&
            c != kLatchEdifact) {
            return Step::Finished;
        }
        selectMode(d, c);
        return Step::Continue;
    }
    switch (d.mode) {
    case Mode::Ascii:
        return decodeAscii(d);
    case Mode::UpperShift:
        put(d, d.codewords[d.pos++] + 127);
        d.mode = Mode::Ascii;
        break;
    case Mode::C40:
    case Mode::Text:
    case Mode::X12:
        decodeTriple(d);
        break;
    case Mode::Edifact:
        decodeEdifact(d);
        break;
    case Mode::Base256:
        if (d.pos >= d.base256End) {
            d.mode = Mode::Ascii;
            break;
        }
        put(d, dmUnrandomize255(d.codewords[d.pos], d.pos + 1));
        ++d.pos;
        if (d.pos >= d.base256End) d.mode = Mode::Ascii;
        break;
    }
    return Step::Continue;
}

}  // namespace

unsigned char dmUnrandomize255(unsigned char codeword, int position) {
    const int pseudoRandom = ((149 * position) % 255) + 1;
    int value = codeword - pseudoRandom;
    if (value < 0) value += 256;
    return static_cast<unsigned char>(value);
}

char* dmDecodeCodewords(const CodewordBuffer& data, int* textLength, Ecc200Status* status) {
    const int length = data.length < 0 ? 0 : data.length;
    const size_t bytes = static_cast<size_t>(kTextBytesPerCodeword) * length + 1;
    char* text = static_cast<char*>(dmAllocate(bytes));
    if (!text) {
        *status = ECC200_NO_MEMORY_BLOCKS;
        return nullptr;
    }
    Decoder d{};
    d.codewords = data.codewords;
    d.length = length;
    d.text = text;
    d.textCapacity = static_cast<int>(bytes) - 1;
    d.mode = Mode::Ascii;
    while (d.pos < d.length) {
        const Step step = decodeStep(d);
        if (step == Step::Failed) {
            dmRelease(text);
            *status = ECC200_TEXT_FAILED;
            return nullptr;
        }
        if (step == Step::Finished) break;
    }
    text[d.textLength] = '\0';
    *textLength = d.textLength;
    *status = ECC200_DECODED;
    return text;
}
