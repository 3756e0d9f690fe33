// The whole stage: real symbols, errors per block, function codewords, NUL,
// texts too long for the field, allocation failures, damaged matrices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "ecc200/ecc200_internal.h"
#include "symbol_builder.h"
#include "symbol_fixtures.h"

namespace {

constexpr int32_t kUntouched = -12345;

Ecc200Result decode(const SymbolSizeEntry& entry, const std::vector<unsigned char>& matrix, int32_t* corrected) {
    return dmDecodeEcc200(entry.rows, entry.cols, matrix.data(), corrected);
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


// The data codewords of a real symbol, read by the stage's own steps.
Codewords dataCodewordsOf(const SymbolFixture& f) {
    const SymbolSizeEntry& e = symbolSize(f.rows, f.cols);
    MappingMatrix* m = dmExtractRegions(e, f.modules.data(), f.cols);
    CodewordBuffer* stream = dmCreateCodewordBuffer(e.dataCodewords + e.eccCodewords);
    dmReadCodewords(m, stream, kReadingShapeOps);
    Codewords data(stream->codewords, stream->codewords + e.dataCodewords);
    dmReleaseCodewordBuffer(stream);
    dmReleaseMappingMatrix(m);
    return data;
}

// The symbol builder that the other tests rely on redraws every real symbol
// module for module from its data codewords alone: its Reed-Solomon encoder,
// interleave, placement and borders are those of the generators.
TEST(Ecc200Decode, BuilderRedrawsEveryRealSymbol) {
    for (const SymbolFixture& f : symbolFixtures()) {
        if (f.name == kNonStandardFixture) continue;
        SCOPED_TRACE(f.name);
        const SymbolSizeEntry& e = symbolSize(f.rows, f.cols);
        EXPECT_EQ(placeStream(e, encodeStream(e, dataCodewordsOf(f))), f.modules);
    }
}

// Text of ASCII characters filling the symbol's data (no pad).
Codewords asciiData(const SymbolSizeEntry& e, std::mt19937& rng, std::string* text) {
    Codewords data;
    text->clear();
    for (int i = 0; i < e.dataCodewords; ++i) {
        const char c = static_cast<char>('!' + rng() % 90);
        data.push_back(static_cast<unsigned char>(c + 1));
        *text += c;
    }
    return data;
}

// Corrupts `perBlock[b]` distinct codewords of every block b of the stream.
void corruptBlocks(const SymbolSizeEntry& e, Codewords& stream, const std::vector<int>& perBlock, std::mt19937& rng) {
    for (int b = 0; b < e.blocks; ++b) {
        std::vector<int> positions(dmBlockLength(e, b));
        for (size_t j = 0; j < positions.size(); ++j) positions[j] = static_cast<int>(j);
        std::shuffle(positions.begin(), positions.end(), rng);
        for (int k = 0; k < perBlock[b]; ++k) {
            stream[streamIndex(e, b, positions[k])] ^= static_cast<unsigned char>(1 + rng() % 255);
        }
    }
}

TEST(Ecc200Decode, CorrectsHalfTheRootsInEveryBlockAndCountsThem) {
    std::mt19937 rng(23);
    for (const SymbolSizeEntry& e : kSymbolSizes) {
        SCOPED_TRACE(::testing::Message() << e.rows << "x" << e.cols);
        std::string text;
        Codewords stream = encodeStream(e, asciiData(e, rng, &text));
        const int perBlock = e.eccCodewords / e.blocks / 2;
        corruptBlocks(e, stream, std::vector<int>(e.blocks, perBlock), rng);
        int32_t corrected = kUntouched;
        const Ecc200Result result = decode(e, placeStream(e, stream), &corrected);
        EXPECT_EQ(result.status, ECC200_DECODED);
        EXPECT_EQ(result.text, text);
        EXPECT_EQ(corrected, perBlock * e.blocks);
    }
}

// One block beyond its reach stops the symbol there; the count stays as it was.
TEST(Ecc200Decode, AnUncorrectableBlockFailsTheSymbol) {
    std::mt19937 rng(29);
    struct Case {
        int rows, cols;
        int failingBlock;
    };
    const Case cases[] = {{72, 72, 1}, {144, 144, 9}, {144, 144, 0}, {52, 52, 1}, {32, 32, 0}, {16, 48, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rows << "x" << c.cols << " block " << c.failingBlock);
        const SymbolSizeEntry& e = symbolSize(c.rows, c.cols);
        std::string text;
        Codewords stream = encodeStream(e, asciiData(e, rng, &text));
        std::vector<int> perBlock(e.blocks, 1);
        perBlock[c.failingBlock] = e.eccCodewords / e.blocks;  // t errors, twice what t corrects
        corruptBlocks(e, stream, perBlock, rng);
        int32_t corrected = kUntouched;
        const Ecc200Result result = decode(e, placeStream(e, stream), &corrected);
        EXPECT_EQ(result.status, ECC200_UNCORRECTABLE);
        EXPECT_STREQ(result.text, "");
        EXPECT_EQ(corrected, kUntouched);
    }
}

TEST(Ecc200Decode, TextOutcomes) {
    struct Case {
        const char* what;
        int rows, cols;
        Codewords data;
        std::string text;
        Ecc200Status status;
    };
    Codewords digits1599(799, 130 + 12);  // "12" x 799, then one more character
    digits1599.push_back('7' + 1);
    Codewords digits1600(800, 130 + 12);
    Codewords digitsFull(1558, 130 + 34);
    std::string text1599;
    for (int i = 0; i < 799; ++i) text1599 += "12";
    text1599 += '7';
    const Case cases[] = {
        {"text", 10, 10, {'H' + 1, 'i' + 1}, "Hi", ECC200_DECODED},
        {"FNC1 first, as in GS1 symbols", 12, 12, {232, 'A' + 1}, "", ECC200_TEXT_FAILED},
        {"Structured Append", 14, 14, {'A' + 1, 233, 1, 2, 3}, "", ECC200_TEXT_FAILED},
        {"Reader Programming", 10, 10, {234}, "", ECC200_TEXT_FAILED},
        {"05 macro", 10, 10, {236}, "", ECC200_TEXT_FAILED},
        {"ECI", 12, 12, {241, 10, 'A' + 1}, "", ECC200_TEXT_FAILED},
        {"NUL cuts the text", 12, 12, {'A' + 1, 1, 'B' + 1}, "A", ECC200_DECODED},
        {"1599 bytes fill the field", 144, 144, digits1599, text1599, ECC200_DECODED},
        {"1600 bytes do not fit", 144, 144, digits1600, "", ECC200_TEXT_FAILED},
        {"3116 digits do not fit", 144, 144, digitsFull, "", ECC200_TEXT_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SymbolSizeEntry& e = symbolSize(c.rows, c.cols);
        Codewords stream = encodeStream(e, padCodewords(e, c.data));
        stream[0] ^= 0x5A;  // one correction, to see where the count goes
        int32_t corrected = kUntouched;
        const Ecc200Result result = decode(e, placeStream(e, stream), &corrected);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(std::string(result.text), c.text);
        EXPECT_EQ(corrected, 1) << "statuses 0 and 11 report the corrections";
    }
}

TEST(Ecc200Decode, SizesOutsideTheTableCostNothing) {
    const std::vector<unsigned char> modules(144 * 144, 1);
    struct Case {
        int rows, cols;
        const unsigned char* matrix;
    };
    const Case cases[] = {{10, 12, modules.data()}, {18, 8, modules.data()}, {0, 0, modules.data()},
                          {-10, -10, modules.data()}, {10, 10, nullptr}};
    for (const Case& c : cases) {
        int32_t corrected = kUntouched;
        const Ecc200Result result = dmDecodeEcc200(c.rows, c.cols, c.matrix, &corrected);
        EXPECT_EQ(result.status, ECC200_UNKNOWN_SIZE) << c.rows << "x" << c.cols;
        EXPECT_STREQ(result.text, "");
        EXPECT_EQ(corrected, kUntouched);
    }
    EXPECT_EQ(dmDecodeEcc200(10, 10, symbolFixture("zint-10x10").modules.data(), nullptr).status, ECC200_DECODED);
}

// Every allocation of a call, failed in turn: a status for memory and an
// empty text each time, nothing leaked (the sanitizer build checks).
TEST(Ecc200Decode, EveryAllocationFailureGivesAMemoryStatus) {
    std::mt19937 rng(31);
    const SymbolSizeEntry& e = symbolSize(52, 52);
    std::string text;
    Codewords stream = encodeStream(e, asciiData(e, rng, &text));
    corruptBlocks(e, stream, {3, 4}, rng);  // the decoder's scratch is needed too
    const std::vector<unsigned char> matrix = placeStream(e, stream);
    int failures = 0;
    for (int allowed = 0;; ++allowed) {
        SCOPED_TRACE(allowed);
        int32_t corrected = kUntouched;
        dmFailAllocationAfter(allowed);
        const Ecc200Result result = decode(e, matrix, &corrected);
        dmFailAllocationAfter(-1);
        if (result.status == ECC200_DECODED) {
            EXPECT_EQ(result.text, text);
            EXPECT_EQ(corrected, 7);
            break;
        }
        ++failures;
        EXPECT_TRUE(result.status == ECC200_NO_MEMORY_CODEWORDS || result.status == ECC200_NO_MEMORY_BLOCKS)
            << dmEcc200StatusName(result.status);
        EXPECT_STREQ(result.text, "");
        ASSERT_LT(allowed, 100);
    }
    // mapping, stream, data, mask, 2 blocks, 2 codecs, 2 scratch, text
    EXPECT_EQ(failures, 11);
}

// Damaged and random matrices of every size: some status, a terminated text
// that is empty unless decoded, and nothing out of bounds (sanitizer build).
TEST(Ecc200Decode, DamagedMatricesOnlyEverGiveAStatus) {
    std::mt19937 rng(37);
    for (const SymbolSizeEntry& e : kSymbolSizes) {
        SCOPED_TRACE(::testing::Message() << e.rows << "x" << e.cols);
        std::string text;
        const std::vector<unsigned char> good = buildSymbol(e, asciiData(e, rng, &text));
        for (int trial = 0; trial < 12; ++trial) {
            std::vector<unsigned char> matrix = good;
            // From a few flipped modules up to pure noise.
            const size_t flips = trial == 11 ? matrix.size() : (matrix.size() >> (11 - trial));
            for (size_t k = 0; k < flips; ++k) matrix[rng() % matrix.size()] = rng() & 1;
            int32_t corrected = kUntouched;
            const Ecc200Result result = decode(e, matrix, &corrected);
            ASSERT_TRUE(result.status == ECC200_DECODED || result.status == ECC200_UNCORRECTABLE ||
                        result.status == ECC200_TEXT_FAILED)
                << dmEcc200StatusName(result.status);
            ASSERT_LT(strnlen(result.text, ECC200_TEXT_BYTES), static_cast<size_t>(ECC200_TEXT_BYTES));
            if (result.status != ECC200_DECODED) {
                EXPECT_STREQ(result.text, "");
            }
            if (result.status == ECC200_UNCORRECTABLE) {
                EXPECT_EQ(corrected, kUntouched);
            }
        }
    }
}

TEST(Ecc200Decode, StatusNames) {
    for (int status : {0, 1, 2, 4, 5, 11}) {
        EXPECT_STRNE(dmEcc200StatusName(status), dmEcc200StatusName(-1)) << status;
    }
    EXPECT_STREQ(dmEcc200StatusName(ECC200_UNCORRECTABLE), "uncorrectable");
}

}  // namespace
