// Symbol-size table, size lookup and data-region extraction.
#include <gtest/gtest.h>

#include <vector>

#include "ecc200/ecc200_internal.h"
#include "symbol_fixtures.h"

namespace {

// Each row's region layout must tile its symbol, and its codewords must fill
// the data modules, save the four-module corner some sizes leave over.
TEST(SymbolSizes, EveryRowIsConsistentWithItsLayout) {
    for (int i = 0; i < kSymbolSizeCount; ++i) {
        const SymbolSizeEntry& e = kSymbolSizes[i];
        SCOPED_TRACE(::testing::Message() << e.rows << "x" << e.cols);
        const bool square = dmIsSquare(e);
        EXPECT_EQ(square, i < 24) << "squares first, then rectangles";
        EXPECT_EQ(square, e.rows == e.cols);
        EXPECT_EQ(e.rows, (square ? e.regionsPerSide : 1) * (e.regionRows + 2));
        EXPECT_EQ(e.cols, e.regionsPerSide * (e.regionCols + 2));
        const int dataModules = (square ? e.regionsPerSide : 1) * e.regionRows * e.regionsPerSide * e.regionCols;
        const int leftOver = dataModules - 8 * (e.dataCodewords + e.eccCodewords);
        EXPECT_TRUE(leftOver == 0 || leftOver == 4) << leftOver;
        EXPECT_EQ(e.eccCodewords % e.blocks, 0);
        EXPECT_LE(e.blocks, kMaxBlocks);
        if (i > 0 && square) {
            EXPECT_GT(e.rows, kSymbolSizes[i - 1].rows);
        }
    }
}

TEST(SymbolSizes, RowsNamedAsExamples) {
    struct Row {
        int rows, cols, regionCols, regionRows, data, ecc, perSide, blocks;
    };
    const Row rows[] = {
        {32, 32, 14, 14, 62, 36, 2, 1},
        {52, 52, 24, 24, 204, 84, 2, 2},
        {144, 144, 22, 22, 1558, 620, 6, 10},
        {8, 32, 14, 6, 10, 11, 2, 1},
        {10, 10, 8, 8, 3, 5, 1, 1},
        {16, 48, 22, 14, 49, 28, 2, 1},
    };
    for (const Row& r : rows) {
        const int index = dmFindSymbolSize(r.rows, r.cols);
        ASSERT_GE(index, 0);
        const SymbolSizeEntry& e = kSymbolSizes[index];
        EXPECT_EQ(e.regionCols, r.regionCols);
        EXPECT_EQ(e.regionRows, r.regionRows);
        EXPECT_EQ(e.dataCodewords, r.data);
        EXPECT_EQ(e.eccCodewords, r.ecc);
        EXPECT_EQ(e.regionsPerSide, r.perSide);
        EXPECT_EQ(e.blocks, r.blocks);
    }
}

TEST(SymbolSizes, LookupFindsOnlyTableSizes) {
    struct Case {
        int rows, cols, index;
    };
    const Case cases[] = {{10, 10, 0}, {144, 144, 23}, {8, 18, 24}, {16, 48, 29}, {10, 12, -1},
                          {18, 8, -1}, {0, 0, -1},     {-10, -10, -1}, {146, 146, -1}};
    for (const Case& c : cases) EXPECT_EQ(dmFindSymbolSize(c.rows, c.cols), c.index) << c.rows << "x" << c.cols;
}

// One dark module in an otherwise light grid shows where extraction puts it.
TEST(DataRegions, GridModulesLandWhereTheirRegionPutsThem) {
    struct Case {
        int rows, cols, gridRow, gridCol, mapRow, mapCol;
    };
    const Case cases[] = {
        {32, 32, 17, 1, 14, 0},      {32, 32, 1, 17, 0, 14},     {32, 32, 30, 30, 27, 27},
        {8, 32, 1, 17, 0, 14},       {8, 32, 6, 30, 5, 27},      {10, 10, 1, 1, 0, 0},
        {144, 144, 142, 142, 131, 131}, {144, 144, 25, 49, 22, 44}, {16, 48, 14, 25, 13, 22},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rows << "x" << c.cols << " grid " << c.gridRow << "," << c.gridCol);
        const SymbolSizeEntry& e = kSymbolSizes[dmFindSymbolSize(c.rows, c.cols)];
        std::vector<unsigned char> grid(static_cast<size_t>(c.rows) * c.cols, 0);
        grid[c.gridRow * c.cols + c.gridCol] = 1;
        MappingMatrix* m = dmExtractRegions(e, grid.data(), c.cols);
        ASSERT_NE(m, nullptr);
        int dark = 0;
        for (int i = 0; i < m->rows * m->cols; ++i) dark += m->modules[i];
        EXPECT_EQ(dark, 1);
        EXPECT_EQ(m->modules[c.mapRow * m->cols + c.mapCol], 1);
        dmReleaseMappingMatrix(m);
    }
}

TEST(DataRegions, MappingMatrixHasTheDataModulesOnly) {
    struct Case {
        int rows, cols, mapRows, mapCols;
    };
    const Case cases[] = {{10, 10, 8, 8}, {8, 32, 6, 28}, {144, 144, 132, 132}, {12, 26, 10, 24}, {64, 64, 56, 56}};
    for (const Case& c : cases) {
        const SymbolSizeEntry& e = kSymbolSizes[dmFindSymbolSize(c.rows, c.cols)];
        // All dark: every border module dark too, and none may leak in.
        std::vector<unsigned char> grid(static_cast<size_t>(c.rows) * c.cols, 1);
        MappingMatrix* m = dmExtractRegions(e, grid.data(), c.cols);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->rows, c.mapRows);
        EXPECT_EQ(m->cols, c.mapCols);
        for (int i = 0; i < m->rows * m->cols; ++i) ASSERT_EQ(m->modules[i], 1);
        dmReleaseMappingMatrix(m);
    }
}

TEST(DataRegions, BorderModulesHaveNoInfluence) {
    for (const char* name : {"zint-32x32", "dmtx-ascii-8x32", "zint-144x144"}) {
        SCOPED_TRACE(name);
        const SymbolFixture& f = symbolFixture(name);
        const SymbolSizeEntry& e = kSymbolSizes[dmFindSymbolSize(f.rows, f.cols)];
        MappingMatrix* drawn = dmExtractRegions(e, f.modules.data(), f.cols);
        ASSERT_NE(drawn, nullptr);
        for (unsigned char border : {0, 1}) {
            std::vector<unsigned char> grid = f.modules;
            const int patchRows = e.regionRows + 2;
            const int patchCols = e.regionCols + 2;
            for (int r = 0; r < f.rows; ++r) {
                for (int c = 0; c < f.cols; ++c) {
                    const int pr = r % patchRows;
                    const int pc = c % patchCols;
                    if (pr == 0 || pr == patchRows - 1 || pc == 0 || pc == patchCols - 1) grid[r * f.cols + c] = border;
                }
            }
            MappingMatrix* m = dmExtractRegions(e, grid.data(), f.cols);
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(std::vector<unsigned char>(m->modules, m->modules + m->rows * m->cols),
                      std::vector<unsigned char>(drawn->modules, drawn->modules + drawn->rows * drawn->cols));
            dmReleaseMappingMatrix(m);
        }
        dmReleaseMappingMatrix(drawn);
    }
}

TEST(DataRegions, NoMemoryGivesNoMatrix) {
    const SymbolSizeEntry& e = kSymbolSizes[0];
    std::vector<unsigned char> grid(100, 1);
    dmFailAllocationAfter(0);
    EXPECT_EQ(dmExtractRegions(e, grid.data(), e.cols), nullptr);
    dmFailAllocationAfter(-1);
}

}  // namespace
