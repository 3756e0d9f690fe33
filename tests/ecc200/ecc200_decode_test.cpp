// The whole stage: real symbols, errors per block, function codewords, NUL,
// texts too long for the field, allocation failures, damaged matrices.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "ecc200/ecc200_internal.h"
#include "symbol_builder.h"
#include "symbol_fixtures.h"

namespace {

constexpr int32_t kUntouched = -12345;

[[maybe_unused]] Ecc200Result decode(const SymbolSizeEntry& entry, const std::vector<unsigned char>& matrix, int32_t* corrected) {
    return dmDecodeEcc200(entry.rows, entry.cols, matrix.data(), corrected);
}

std::string hexOf(const std::string& text) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

// dmtxwrite lays out the error correction of its 144 x 144 symbols block
// after block from codeword 1558 on, instead of continuing the codeword-by-
// codeword interleave that the standard (and zint) use, where blocks 8 and 9
// start their error correction one codeword earlier. To a standard reader
// every block of that symbol has about 60 wrong codewords.
const char* const kNonStandardFixture = "dmtx-ascii-144x144";

TEST(Ecc200Decode, EveryRealSymbolDecodesToItsText) {
    int sizesSeen[kSymbolSizeCount] = {};
    for (const SymbolFixture& fixture : symbolFixtures()) {
        SCOPED_TRACE(fixture.name);
        int32_t corrected = kUntouched;
        const Ecc200Result result = dmDecodeEcc200(fixture.rows, fixture.cols, fixture.modules.data(), &corrected);
        if (fixture.name == kNonStandardFixture) {
            EXPECT_EQ(result.status, ECC200_UNCORRECTABLE);
            EXPECT_STREQ(result.text, "");
            EXPECT_EQ(corrected, kUntouched);
            continue;
        }
        EXPECT_STREQ(dmEcc200StatusName(result.status), dmEcc200StatusName(ECC200_DECODED));
        EXPECT_EQ(hexOf(result.text), hexOf(fixture.text));
        EXPECT_EQ(corrected, 0);
        const int index = dmFindSymbolSize(fixture.rows, fixture.cols);
        ASSERT_GE(index, 0);
        ++sizesSeen[index];
    }
    for (int i = 0; i < kSymbolSizeCount; ++i) EXPECT_GT(sizesSeen[i], 0) << "no fixture of size " << i;
}

}  // namespace
