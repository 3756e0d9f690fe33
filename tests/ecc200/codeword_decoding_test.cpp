// Data codewords to text, one table of cases per encodation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ecc200/ecc200_internal.h"
#include "symbol_builder.h"

namespace {

struct Case {
    const char* what;
    std::vector<int> codewords;
    std::string text;  // every decoded byte, NULs included
    Ecc200Status status = ECC200_DECODED;
};

using namespace std::string_literals;
using V = std::vector<int>;

// Two codewords of a C40, Text or X12 pair holding the values a, b, c.
std::vector<int> pair(int a, int b, int c) {
    const int v = 1600 * a + 40 * b + c + 1;
    return {v / 256, v % 256};
}

std::vector<int> operator+(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CodewordBuffer* data = dmCreateCodewordBuffer(static_cast<int>(c.codewords.size()));
        for (int cw : c.codewords) data->codewords[data->length++] = static_cast<unsigned char>(cw);
        int length = -1;
        Ecc200Status status = ECC200_UNKNOWN_SIZE;
        char* text = dmDecodeCodewords(*data, &length, &status);
        EXPECT_EQ(status, c.status);
        if (c.status == ECC200_DECODED) {
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(std::string(text, length), c.text);
            EXPECT_EQ(text[length], '\0');
        } else {
            EXPECT_EQ(text, nullptr);
        }
        dmRelease(text);
        dmReleaseCodewordBuffer(data);
    }
}

TEST(CodewordDecoding, Ascii) {
    check({
        {"characters, digit pair, pad", {66, 67, 142, 129, 66}, "AB12"},
        {"digit pairs 00 and 99", {130, 229}, "0099"},
        {"codeword 0 is the byte 255", {0}, "\xff"},
        {"codeword 1 is NUL", {66, 1, 67}, "A\0B"s},
        {"upper shift", {235, 66}, "\xc1"},
        {"upper shift as the last codeword", {66, 235}, "A"},
        {"254 then a non-latch ends at once", {254, 66}, ""},
        {"254 then a latch selects it", V{254, 230} + pair(14, 15, 16), "ABC"},
        {"end of data without pad", {66, 67}, "AB"},
        {"no codewords", {}, ""},
    });
}

TEST(CodewordDecoding, FunctionCodewordsFail) {
    for (int cw : {232, 233, 234, 236, 237, 241, 242, 243, 244, 245, 246, 247, 248, 249, 250, 251, 252, 253, 255}) {
        SCOPED_TRACE(cw);
        check({{"function codeword", {66, cw, 66}, "", ECC200_TEXT_FAILED}});
    }
}

TEST(CodewordDecoding, C40AndText) {
    check({
        {"C40 pair, unlatch, ASCII", {230, 89, 233, 254, 66}, "ABCA"},
        {"Text pair, unlatch, ASCII", {239, 89, 233, 254, 66}, "abcA"},
        {"C40 digits and space", V{230} + pair(3, 4, 13), " 09"},
        {"shift 2 then upper shift", {230, 10, 255, 254}, "\xc1"},
        {"shift carries into the next pair", V{230} + pair(14, 15, 1) + pair(0, 3, 3), "AB!  "},
        {"shift 1 control character", V{230} + pair(0, 13, 3), "\x0d "},
        {"shift 2 punctuation ranges", V{230} + pair(1, 14, 1) + pair(15, 1, 22), "/:["},
        {"shift 2 FNC1 gives nothing, keeps upper shift", V{230} + pair(1, 30, 1) + pair(27, 14, 3), "\xc1 "},
        {"C40 shift 3", V{230} + pair(2, 1, 3), "a "},
        {"Text shift 3", V{239} + pair(2, 0, 2) + pair(1, 2, 27), "`A{"},
        {"ASCII latch clears a pending shift", V{230} + pair(14, 15, 1) + V{254, 230} + pair(0, 3, 3),
         "AB\x03 "},
        {"pair at the last codeword is ASCII", V{230} + pair(14, 15, 16) + V{66}, "ABCA"},
        {"the lone last codeword may be a pad", {230, 129}, ""},
        {"0, 0 holds no values", {230, 0, 0, 254, 66}, "A"},
        {"254 opening a pair is no unlatch", {230, 254, 66}, "N5"},
    });
}

TEST(CodewordDecoding, X12) {
    check({
        {"CR, asterisk, letter, unlatch", {238, 0, 55, 254, 66}, "\r*AA"},
        {"greater-than, space, digit", V{238} + pair(2, 3, 4), "> 0"},
        {"Z, 9 and a value of 40", V{238} + pair(39, 13, 3) + pair(40, 0, 0), "Z9 [\r\r"},
        {"pair at the last codeword is ASCII", {238, 67}, "B"},
    });
}

TEST(CodewordDecoding, Edifact) {
    check({
        {"group ending in unlatch", {240, 4, 32, 223, 66}, "ABCA"},
        {"full groups then ASCII at the end", {240, 4, 32, 196, 4, 32, 196, 66}, "ABCDABCDA"},
        {"punctuation range kept as it is", {240, 0x80, 0x08, 0x3f}, " @ ?"},
        {"unlatch as the first value", {240, 126, 66, 67}, "AB"},
        {"unlatch as the second value", {240, 5, 0xF3, 66}, "AA"},
        {"unlatch as the third value", {240, 4, 0x27, 0xC5, 66}, "ABA"},
        {"two codewords left are ASCII", {240, 66, 67}, "AB"},
        {"one codeword left is ASCII", {240, 4, 32, 196, 66}, "ABCDA"},
    });
}

std::vector<int> base256(const std::vector<int>& plain, int firstPosition) {
    std::vector<int> out;
    for (size_t i = 0; i < plain.size(); ++i) {
        out.push_back(randomize255(static_cast<unsigned char>(plain[i]), firstPosition + static_cast<int>(i)));
    }
    return out;
}

TEST(CodewordDecoding, Base256) {
    std::vector<int> long300(300);
    for (int i = 0; i < 300; ++i) long300[i] = i & 255;
    std::string long300Text;
    for (int b : long300) long300Text += static_cast<char>(b);
    check({
        {"length, three bytes, ASCII", {231, 47, 57, 208, 102, 66}, "xyzA"},
        {"length 0 runs to the end", V{231} + base256({0, 'a', 0, 'b'}, 2), "a\0b"s},
        {"segment longer than the data", V{231} + base256({10, 'a', 'b'}, 2), "ab"},
        {"latch as the last codeword", {66, 231}, "A"},
        {"two-codeword length, 300 bytes", V{231} + base256({250, 50}, 2) + base256(long300, 4) + V{66},
         long300Text + "A"},
        {"two-codeword length cut by the end", V{231} + base256({250}, 2), ""},
        {"latched after 254", V{254, 231} + base256({1, 'q'}, 3) + V{66}, "qA"},
    });
}

TEST(CodewordDecoding, Unrandomize255) {
    EXPECT_EQ(dmUnrandomize255(47, 2), 3);
    EXPECT_EQ(dmUnrandomize255(57, 3), 'x');
    for (int position = 1; position < 2000; position += 7) {
        for (int byte = 0; byte < 256; ++byte) {
            ASSERT_EQ(dmUnrandomize255(randomize255(static_cast<unsigned char>(byte), position), position), byte);
        }
    }
}

TEST(CodewordDecoding, NoMemoryForTheText) {
    CodewordBuffer* data = dmCreateCodewordBuffer(1);
    data->codewords[data->length++] = 66;
    int length = 0;
    Ecc200Status status = ECC200_DECODED;
    dmFailAllocationAfter(0);
    EXPECT_EQ(dmDecodeCodewords(*data, &length, &status), nullptr);
    dmFailAllocationAfter(-1);
    EXPECT_EQ(status, ECC200_NO_MEMORY_BLOCKS);
    dmReleaseCodewordBuffer(data);
}

}  // namespace
