// Strips the finder and timing borders of every data region: what is left is
// the mapping matrix that the module placement walks.
#include "ecc200/ecc200_internal.h"

MappingMatrix* dmExtractRegions(const SymbolSizeEntry& entry, const unsigned char* matrix, int32_t cols) {
    const int a = entry.regionCols;
    const int b = entry.regionRows;
    const int e = entry.regionsPerSide;
    const bool square = dmIsSquare(entry);
    const int regionRowsOfRegions = square ? e : 1;
    MappingMatrix* mapping = dmCreateMappingMatrix(e * a, regionRowsOfRegions * b);
    if (!mapping) return nullptr;
    // Every region sits in a patch of (b + 2) x (a + 2) grid modules whose
    // outer rows and columns are its borders.
    for (int regionRow = 0; regionRow < regionRowsOfRegions; ++regionRow) {
        for (int regionCol = 0; regionCol < e; ++regionCol) {
            for (int r = 0; r < b; ++r) {
                const unsigned char* from =
                    matrix + static_cast<size_t>(regionRow * (b + 2) + r + 1) * cols + regionCol * (a + 2) + 1;
                unsigned char* to = mapping->modules + static_cast<size_t>(regionRow * b + r) * mapping->cols +
                                    regionCol * a;
                for (int c = 0; c < a; ++c) to[c] = from[c];
            }
        }
    }
    return mapping;
}
