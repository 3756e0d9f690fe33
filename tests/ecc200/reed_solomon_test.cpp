// Reed-Solomon codec and the block split and join.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "ecc200/ecc200_internal.h"
#include "symbol_builder.h"

namespace {

TEST(ReedSolomon, ReduceIsModulo255) {
    EXPECT_EQ(dmRsReduce(255), 0);
    EXPECT_EQ(dmRsReduce(509), 254);
    for (int x = 0; x < 70000; ++x) ASSERT_EQ(dmRsReduce(x), x % 255) << x;
}

TEST(ReedSolomon, CreateChecksItsParameters) {
    struct Case {
        int bits, roots, shortening;
        bool made;
    };
    const Case cases[] = {{9, 10, 0, false},  {0, 10, 0, false},  {8, 256, 0, false}, {8, -1, 0, false},
                          {8, 10, 245, false}, {8, 10, -1, false}, {8, 10, 244, true},  {8, 0, 0, true},
                          {8, 68, 37, true},   {3, 2, 0, false}};  // the field is GF(256) only
    for (const Case& c : cases) {
        ReedSolomonCodec* rs = dmRsCreate(c.bits, c.roots, c.shortening);
        EXPECT_EQ(rs != nullptr, c.made) << c.bits << " " << c.roots << " " << c.shortening;
        dmRsRelease(rs);
    }
}

TEST(ReedSolomon, TablesAreTheFieldOf0x12D) {
    ReedSolomonCodec* rs = dmRsCreate(8, 10, 0);
    ASSERT_NE(rs, nullptr);
    EXPECT_EQ(rs->fieldSize, 255);
    EXPECT_EQ(rs->alphaTo[0], 1);
    EXPECT_EQ(rs->alphaTo[8], 0x2D);
    EXPECT_EQ(rs->alphaTo[255], 0);
    EXPECT_EQ(rs->indexOf[0], 255);
    for (int x = 1; x < 256; ++x) ASSERT_EQ(rs->alphaTo[rs->indexOf[x]], x);
    EXPECT_EQ(rs->firstRoot, 1);
    EXPECT_EQ(rs->primitive, 1);
    dmRsRelease(rs);
}

struct BlockShape {
    int length;
    int ecc;
};
// 10 x 10, 16 x 48, 52 x 52, 144 x 144 (blocks 0-7 and 8-9).
const BlockShape kBlockShapes[] = {{8, 5}, {77, 28}, {144, 42}, {218, 62}, {217, 62}};

std::vector<unsigned char> randomCodeword(std::mt19937& rng, const BlockShape& shape) {
    Codewords data(shape.length - shape.ecc);
    for (unsigned char& d : data) d = static_cast<unsigned char>(rng());
    Codewords ecc = rsEncodeBlock(data, shape.ecc);
    data.insert(data.end(), ecc.begin(), ecc.end());
    return data;
}

// Flips `count` distinct codewords to other values.
void corrupt(std::mt19937& rng, std::vector<unsigned char>& block, int count) {
    std::vector<int> positions(block.size());
    for (size_t i = 0; i < positions.size(); ++i) positions[i] = static_cast<int>(i);
    std::shuffle(positions.begin(), positions.end(), rng);
    for (int i = 0; i < count; ++i) block[positions[i]] ^= static_cast<unsigned char>(1 + rng() % 255);
}

bool isCodeword(const std::vector<unsigned char>& block, int ecc) {
    Codewords data(block.begin(), block.end() - ecc);
    Codewords expected = rsEncodeBlock(data, ecc);
    return std::equal(expected.begin(), expected.end(), block.end() - ecc);
}

TEST(ReedSolomon, CorrectsUpToHalfTheRootsAndCountsThem) {
    std::mt19937 rng(11);
    for (const BlockShape& shape : kBlockShapes) {
        ReedSolomonCodec* rs = dmRsCreate(8, shape.ecc, 255 - shape.length);
        ASSERT_NE(rs, nullptr);
        for (int errors = 0; errors <= shape.ecc / 2; ++errors) {
            for (int trial = 0; trial < 5; ++trial) {
                SCOPED_TRACE(::testing::Message() << "length " << shape.length << " errors " << errors);
                const std::vector<unsigned char> good = randomCodeword(rng, shape);
                std::vector<unsigned char> block = good;
                corrupt(rng, block, errors);
                EXPECT_EQ(dmRsDecode(rs, block.data()), errors);
                EXPECT_EQ(block, good);
            }
        }
        dmRsRelease(rs);
    }
}

// Past floor(t/2) the decoder either gives up and leaves the block alone or
// lands on some other codeword; it never hands back a block that is neither.
TEST(ReedSolomon, BeyondItsReachFailsOrReturnsAValidCodeword) {
    std::mt19937 rng(13);
    for (const BlockShape& shape : kBlockShapes) {
        ReedSolomonCodec* rs = dmRsCreate(8, shape.ecc, 255 - shape.length);
        ASSERT_NE(rs, nullptr);
        int failures = 0;
        int trials = 0;
        for (int errors = shape.ecc / 2 + 1; errors <= shape.ecc + 2; ++errors) {
            for (int trial = 0; trial < 20; ++trial, ++trials) {
                SCOPED_TRACE(::testing::Message() << "length " << shape.length << " errors " << errors);
                std::vector<unsigned char> block = randomCodeword(rng, shape);
                corrupt(rng, block, errors);
                const std::vector<unsigned char> received = block;
                const int result = dmRsDecode(rs, block.data());
                if (result < 0) {
                    EXPECT_EQ(result, kRsUncorrectable);
                    EXPECT_EQ(block, received);
                    ++failures;
                } else {
                    EXPECT_TRUE(isCodeword(block, shape.ecc));
                }
            }
        }
        EXPECT_GT(failures, trials / 2);
        dmRsRelease(rs);
    }
}

// A received block whose syndromes are those of one error in the shortened
// part: the locator points where the block has no codeword, so it is more
// wrong than the code can say, and no correction may be reported.
TEST(ReedSolomon, AnErrorLocatedInTheShortenedPartIsUncorrectable) {
    std::mt19937 rng(41);
    for (const BlockShape& shape : kBlockShapes) {
        SCOPED_TRACE(shape.length);
        const int pad = 255 - shape.length;
        ReedSolomonCodec* rs = dmRsCreate(8, shape.ecc, pad);
        for (int k : {0, pad / 2, pad - 1}) {
            // x^m mod g(x), m the power of full-length position k, has the
            // syndromes of an error at k and lies in the check codewords.
            const int m = 254 - k;
            Codewords monomial(m - shape.ecc + 1, 0);
            monomial[0] = static_cast<unsigned char>(1 + rng() % 255);
            const Codewords alias = rsEncodeBlock(monomial, shape.ecc);
            std::vector<unsigned char> block = randomCodeword(rng, shape);
            for (int j = 0; j < shape.ecc; ++j) block[shape.length - shape.ecc + j] ^= alias[j];
            const std::vector<unsigned char> received = block;
            EXPECT_EQ(dmRsDecode(rs, block.data()), kRsUncorrectable) << "position " << k;
            EXPECT_EQ(block, received);
        }
        dmRsRelease(rs);
    }
}

TEST(ReedSolomon, NoMemoryLeavesTheBlockAlone) {
    std::mt19937 rng(17);
    ReedSolomonCodec* rs = dmRsCreate(8, 5, 247);
    std::vector<unsigned char> block = randomCodeword(rng, {8, 5});
    corrupt(rng, block, 1);
    const std::vector<unsigned char> received = block;
    dmFailAllocationAfter(0);
    EXPECT_EQ(dmRsDecode(rs, block.data()), kRsNoMemory);
    dmFailAllocationAfter(-1);
    EXPECT_EQ(block, received);
    dmRsRelease(rs);
    dmFailAllocationAfter(0);
    EXPECT_EQ(dmRsCreate(8, 5, 247), nullptr);
    dmFailAllocationAfter(-1);
}

// Stream codewords labelled with their 16-bit index, one byte at a time.
std::vector<int> splitLabels(const SymbolSizeEntry& e, int block) {
    std::vector<int> labels(dmBlockLength(e, block), 0);
    for (int shift : {0, 8}) {
        CodewordBuffer* stream = dmCreateCodewordBuffer(e.dataCodewords + e.eccCodewords);
        for (int k = 0; k < stream->capacity; ++k) stream->codewords[k] = static_cast<unsigned char>(k >> shift);
        stream->length = stream->capacity;
        CodewordBuffer* blocks[kMaxBlocks];
        EXPECT_EQ(dmSplitBlocks(*stream, e, blocks), ECC200_DECODED);
        EXPECT_EQ(blocks[block]->length, static_cast<int>(labels.size()));
        for (size_t j = 0; j < labels.size(); ++j) labels[j] |= blocks[block]->codewords[j] << shift;
        dmReleaseBlocks(e, blocks);
        dmReleaseCodewordBuffer(stream);
    }
    return labels;
}

TEST(CodewordBlocks, SplitTakesEveryNthCodeword) {
    struct Case {
        int rows, block, length, dataLength, position, streamIndex;
    };
    const Case cases[] = {
        {52, 0, 144, 102, 0, 0},     {52, 1, 144, 102, 0, 1},       {52, 0, 144, 102, 1, 2},
        {144, 0, 218, 156, 217, 2170}, {144, 8, 217, 155, 0, 8},    {144, 8, 217, 155, 1, 18},
        {144, 8, 217, 155, 216, 2168}, {144, 9, 217, 155, 216, 2169}, {144, 7, 218, 156, 155, 1557},
        {10, 0, 8, 3, 7, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rows << " block " << c.block << " position " << c.position);
        const SymbolSizeEntry& e = kSymbolSizes[dmFindSymbolSize(c.rows, c.rows)];
        EXPECT_EQ(dmBlockLength(e, c.block), c.length);
        EXPECT_EQ(dmBlockDataLength(e, c.block), c.dataLength);
        EXPECT_EQ(dmBlockLength(e, c.block) - dmBlockDataLength(e, c.block), e.eccCodewords / e.blocks);
        EXPECT_EQ(splitLabels(e, c.block)[c.position], c.streamIndex);
    }
}

// Data codeword d is block d mod n, position d div n: the joined stream is
// the first dataCodewords of the symbol's stream, for every size.
TEST(CodewordBlocks, JoinRestoresTheDataInSymbolOrder) {
    std::mt19937 rng(19);
    for (const SymbolSizeEntry& e : kSymbolSizes) {
        SCOPED_TRACE(::testing::Message() << e.rows << "x" << e.cols);
        CodewordBuffer* stream = dmCreateCodewordBuffer(e.dataCodewords + e.eccCodewords);
        for (int k = 0; k < stream->capacity; ++k) stream->codewords[k] = static_cast<unsigned char>(rng());
        stream->length = stream->capacity;
        CodewordBuffer* blocks[kMaxBlocks];
        ASSERT_EQ(dmSplitBlocks(*stream, e, blocks), ECC200_DECODED);
        CodewordBuffer* data = dmCreateCodewordBuffer(e.dataCodewords);
        dmJoinBlocks(blocks, e, data);
        ASSERT_EQ(data->length, e.dataCodewords);
        EXPECT_TRUE(std::equal(data->codewords, data->codewords + data->length, stream->codewords));
        dmReleaseCodewordBuffer(data);
        dmReleaseBlocks(e, blocks);
        dmReleaseCodewordBuffer(stream);
    }
}

TEST(CodewordBlocks, NoMemoryForAnyBlockReleasesTheOthers) {
    const SymbolSizeEntry& e = kSymbolSizes[dmFindSymbolSize(144, 144)];
    CodewordBuffer* stream = dmCreateCodewordBuffer(e.dataCodewords + e.eccCodewords);
    stream->length = stream->capacity;
    for (int failing = 0; failing < e.blocks; ++failing) {
        CodewordBuffer* blocks[kMaxBlocks];
        dmFailAllocationAfter(failing);
        EXPECT_EQ(dmSplitBlocks(*stream, e, blocks), ECC200_NO_MEMORY_BLOCKS);
        dmFailAllocationAfter(-1);
        for (CodewordBuffer* b : blocks) EXPECT_EQ(b, nullptr);
    }
    dmReleaseCodewordBuffer(stream);
}

}  // namespace
