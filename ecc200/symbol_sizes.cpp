// The 30 ECC 200 symbol sizes and their lookup.
#include "ecc200/ecc200_internal.h"

// rows, cols, regionCols, regionRows, dataCodewords, eccCodewords,
// regionsPerSide, blocks
const SymbolSizeEntry kSymbolSizes[kSymbolSizeCount] = {
    {10, 10, 8, 8, 3, 5, 1, 1},
    {12, 12, 10, 10, 5, 7, 1, 1},
    {14, 14, 12, 12, 8, 10, 1, 1},
    {16, 16, 14, 14, 12, 12, 1, 1},
    {18, 18, 16, 16, 18, 14, 1, 1},
    {20, 20, 18, 18, 22, 18, 1, 1},
    {22, 22, 20, 20, 30, 20, 1, 1},
    {24, 24, 22, 22, 36, 24, 1, 1},
    {26, 26, 24, 24, 44, 28, 1, 1},
    {32, 32, 14, 14, 62, 36, 2, 1},
    {36, 36, 16, 16, 86, 42, 2, 1},
    {40, 40, 18, 18, 114, 48, 2, 1},
    {44, 44, 20, 20, 144, 56, 2, 1},
    {48, 48, 22, 22, 174, 68, 2, 1},
    {52, 52, 24, 24, 204, 84, 2, 2},
    {64, 64, 14, 14, 280, 112, 4, 2},
    {72, 72, 16, 16, 368, 144, 4, 4},
    {80, 80, 18, 18, 456, 192, 4, 4},
    {88, 88, 20, 20, 576, 224, 4, 4},
    {96, 96, 22, 22, 696, 272, 4, 4},
    {104, 104, 24, 24, 816, 336, 4, 6},
    {120, 120, 18, 18, 1050, 408, 6, 6},
    {132, 132, 20, 20, 1304, 496, 6, 8},
    {144, 144, 22, 22, 1558, 620, 6, 10},
    {8, 18, 16, 6, 5, 7, 1, 1},
    {8, 32, 14, 6, 10, 11, 2, 1},
    {12, 26, 24, 10, 16, 14, 1, 1},
    {12, 36, 16, 10, 22, 18, 2, 1},
    {16, 36, 16, 14, 32, 24, 2, 1},
    {16, 48, 22, 14, 49, 28, 2, 1},
};

int dmFindSymbolSize(int rows, int cols) {
    for (int i = 0; i < kSymbolSizeCount; ++i) {
        if (kSymbolSizes[i].cols == cols && kSymbolSizes[i].rows == rows) return i;
    }
    return -1;
}

bool dmIsSquare(const SymbolSizeEntry& entry) { return entry.regionCols == entry.regionRows; }
