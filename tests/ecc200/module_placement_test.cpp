// Module placement: the codeword-to-module assignment, corner shapes, and
// the reading and writing sets as inverses of each other.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ecc200/ecc200_internal.h"

namespace {

struct Placement {
    MappingMatrix* matrix;
    CodewordBuffer* buffer;
    explicit Placement(const SymbolSizeEntry& e)
        : matrix(dmCreateMappingMatrix(e.regionsPerSide * e.regionCols,
                                       (dmIsSquare(e) ? e.regionsPerSide : 1) * e.regionRows)),
          buffer(dmCreateCodewordBuffer(e.dataCodewords + e.eccCodewords)) {}
    ~Placement() {
        dmReleaseMappingMatrix(matrix);
        dmReleaseCodewordBuffer(buffer);
    }
    int modules() const { return matrix->rows * matrix->cols; }
};

const SymbolSizeEntry& entryOf(int rows, int cols) { return kSymbolSizes[dmFindSymbolSize(rows, cols)]; }

// 10 x 10: bits 7 ... 0 of codewords 0 and 1.
TEST(ModulePlacement, TenByTenCodewordsUseTheirModules) {
    struct Case {
        int codeword;
        int modules[8][2];  // (row, col), bit 7 first
    };
    const Case cases[] = {
        {0, {{2, 6}, {2, 7}, {3, 6}, {3, 7}, {3, 0}, {4, 6}, {4, 7}, {4, 0}}},
        {1, {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}, {2, 2}}},
    };
    const SymbolSizeEntry& e = entryOf(10, 10);
    for (const Case& c : cases) {
        for (int bit = 7; bit >= 0; --bit) {
            SCOPED_TRACE(::testing::Message() << "codeword " << c.codeword << " bit " << bit);
            const int row = c.modules[7 - bit][0];
            const int col = c.modules[7 - bit][1];
            // Writing: only this bit set gives only this module.
            Placement written(e);
            written.buffer->codewords[c.codeword] = static_cast<unsigned char>(1 << bit);
            ASSERT_EQ(dmReadCodewords(written.matrix, written.buffer, kWritingShapeOps), 8);
            for (int i = 0; i < written.modules(); ++i) {
                EXPECT_EQ(written.matrix->modules[i], i == row * 8 + col ? 1 : 0) << "module " << i;
            }
            // Reading: only this module set gives only this bit.
            Placement read(e);
            read.matrix->modules[row * 8 + col] = 1;
            ASSERT_EQ(dmReadCodewords(read.matrix, read.buffer, kReadingShapeOps), 8);
            for (int k = 0; k < 8; ++k) EXPECT_EQ(read.buffer->codewords[k], k == c.codeword ? 1 << bit : 0);
        }
    }
}

// Shape operations that count which slots the walk calls.
int gShapeCalls[5];
void countNominal(MappingMatrix*, int, int, unsigned char*) { ++gShapeCalls[0]; }
void countCorner1(MappingMatrix*, int, int, unsigned char*) { ++gShapeCalls[1]; }
void countCorner2(MappingMatrix*, int, int, unsigned char*) { ++gShapeCalls[2]; }
void countCorner3(MappingMatrix*, int, int, unsigned char*) { ++gShapeCalls[3]; }
void countCorner4(MappingMatrix*, int, int, unsigned char*) { ++gShapeCalls[4]; }
const ShapeOps kCountingShapeOps = {{countNominal, countCorner1, countCorner2, countCorner3, countCorner4}};

TEST(ModulePlacement, CornerShapesFireForTheirSizes) {
    struct Case {
        int rows, cols, corner;  // 0: none
    };
    const Case cases[] = {
        {14, 14, 1},   {22, 22, 1}, {32, 32, 1}, {40, 40, 1}, {48, 48, 1}, {120, 120, 1}, {144, 144, 1},
        {16, 16, 2},   {24, 24, 2}, {8, 32, 3},  {16, 48, 3}, {8, 18, 4},  {16, 36, 4},   {10, 10, 0},
        {12, 12, 0},   {18, 18, 0}, {20, 20, 0}, {26, 26, 0}, {36, 36, 0}, {44, 44, 0},   {52, 52, 0},
        {64, 64, 0},   {72, 72, 0}, {80, 80, 0}, {88, 88, 0}, {96, 96, 0}, {104, 104, 0}, {132, 132, 0},
        {12, 26, 0},   {12, 36, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rows << "x" << c.cols);
        const SymbolSizeEntry& e = entryOf(c.rows, c.cols);
        Placement p(e);
        for (int& calls : gShapeCalls) calls = 0;
        EXPECT_EQ(dmReadCodewords(p.matrix, p.buffer, kCountingShapeOps), e.dataCodewords + e.eccCodewords);
        for (int slot = 1; slot <= 4; ++slot) EXPECT_EQ(gShapeCalls[slot], slot == c.corner ? 1 : 0) << "corner " << slot;
    }
}

// Every size: the walk yields dataCodewords + eccCodewords codewords, each bit
// in a module of its own, and reading returns what writing placed.
TEST(ModulePlacement, WritingAndReadingAreInversesForEverySize) {
    std::mt19937 rng(7);
    for (const SymbolSizeEntry& e : kSymbolSizes) {
        SCOPED_TRACE(::testing::Message() << e.rows << "x" << e.cols);
        const int count = e.dataCodewords + e.eccCodewords;
        Placement ones(e);
        for (int i = 0; i < count; ++i) ones.buffer->codewords[i] = 255;
        ASSERT_EQ(dmReadCodewords(ones.matrix, ones.buffer, kWritingShapeOps), count);
        int dark = 0;
        for (int i = 0; i < ones.modules(); ++i) dark += ones.matrix->modules[i];
        EXPECT_EQ(dark, 8 * count) << "two bits share a module";

        Placement written(e);
        std::vector<unsigned char> stream(count);
        for (unsigned char& cw : stream) cw = static_cast<unsigned char>(rng());
        for (int i = 0; i < count; ++i) written.buffer->codewords[i] = stream[i];
        dmReadCodewords(written.matrix, written.buffer, kWritingShapeOps);
        CodewordBuffer* read = dmCreateCodewordBuffer(count);
        ASSERT_EQ(dmReadCodewords(written.matrix, read, kReadingShapeOps), count);
        EXPECT_EQ(read->length, count);
        EXPECT_EQ(std::vector<unsigned char>(read->codewords, read->codewords + count), stream);
        dmReleaseCodewordBuffer(read);
    }
}

TEST(ModulePlacement, LeftOverCornerOfTwelveByTwelveIsNeverRead) {
    const SymbolSizeEntry& e = entryOf(12, 12);
    Placement p(e);
    for (int r = 8; r < 10; ++r)
        for (int c = 8; c < 10; ++c) p.matrix->modules[r * 10 + c] = 1;
    ASSERT_EQ(dmReadCodewords(p.matrix, p.buffer, kReadingShapeOps), 12);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(p.buffer->codewords[i], 0);
}

TEST(ModulePlacement, AllLightAndAllDarkMatrices) {
    for (unsigned char module : {0, 1}) {
        const SymbolSizeEntry& e = entryOf(144, 144);
        Placement p(e);
        for (int i = 0; i < p.modules(); ++i) p.matrix->modules[i] = module;
        ASSERT_EQ(dmReadCodewords(p.matrix, p.buffer, kReadingShapeOps), 2178);
        for (int i = 0; i < 2178; ++i) ASSERT_EQ(p.buffer->codewords[i], module ? 255 : 0);
    }
}

TEST(ModulePlacement, AppendsAfterTheBufferLengthAndStopsAtItsCapacity) {
    const SymbolSizeEntry& e = entryOf(10, 10);
    Placement p(e);
    for (int i = 0; i < p.modules(); ++i) p.matrix->modules[i] = 1;
    p.buffer->length = 5;  // room for 3 more of the walk's 8
    EXPECT_EQ(dmReadCodewords(p.matrix, p.buffer, kReadingShapeOps), 3);
    EXPECT_EQ(p.buffer->length, 8);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(p.buffer->codewords[i], 0);
    for (int i = 5; i < 8; ++i) EXPECT_EQ(p.buffer->codewords[i], 255);
}

TEST(ModulePlacement, NoMemoryForTheMaskReadsNothing) {
    const SymbolSizeEntry& e = entryOf(10, 10);
    Placement p(e);
    dmFailAllocationAfter(0);
    EXPECT_EQ(dmReadCodewords(p.matrix, p.buffer, kReadingShapeOps), -1);
    dmFailAllocationAfter(-1);
    EXPECT_EQ(p.buffer->length, 0);
}

}  // namespace
