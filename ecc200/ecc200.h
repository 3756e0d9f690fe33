// ECC 200 decoding stage: a sampled module matrix of one DataMatrix symbol in,
// its corrected text out. Stateless; every call allocates and releases its own
// buffers, so calls on different threads are independent.
#pragma once

#include <cstdint>

// One row of the ECC 200 symbol-size table (ISO/IEC 16022 symbol attributes).
struct SymbolSizeEntry {
    int32_t rows;            // symbol height in modules, borders included
    int32_t cols;            // symbol width in modules, borders included
    int32_t regionCols;      // data columns of one data region
    int32_t regionRows;      // data rows of one data region
    int32_t dataCodewords;   // data codewords of the symbol
    int32_t eccCodewords;    // error-correction codewords, all blocks together
    int32_t regionsPerSide;  // square: regions along each side; rectangular: regions in the row
    int32_t blocks;          // interleaved Reed-Solomon blocks
};

constexpr int kSymbolSizeCount = 30;

// The 30 sizes in the standard's order (24 square, then 6 rectangular); this is
// also the lookup order.
extern const SymbolSizeEntry kSymbolSizes[kSymbolSizeCount];

// Index of the first entry with these rows and cols, or -1 when there is none.
int dmFindSymbolSize(int rows, int cols);

enum Ecc200Status : int32_t {
    ECC200_DECODED = 0,            // text holds the message
    ECC200_UNKNOWN_SIZE = 1,       // rows x cols is not an ECC 200 size, or no matrix
    ECC200_NO_MEMORY_CODEWORDS = 2,// no memory for the data modules or the placement's buffers
    ECC200_UNCORRECTABLE = 4,      // a Reed-Solomon block could not be corrected
    ECC200_NO_MEMORY_BLOCKS = 5,   // no memory for a block, a codec, the joined data codewords or the text
    ECC200_TEXT_FAILED = 11,       // unsupported codeword (function codewords), or text longer than 1599 bytes
};

// Name of a status value for tools and tests ("decoded", "uncorrectable", ...).
const char* dmEcc200StatusName(int32_t status);

constexpr int ECC200_TEXT_BYTES = 1600;

struct Ecc200Result {
    char text[ECC200_TEXT_BYTES];  // NUL-terminated; empty unless status is 0
    int32_t status;                // an Ecc200Status value
};

// Decodes a module matrix of rows x cols bytes (row-major, 1 dark, 0 light,
// borders included, oriented with the solid finder along the left column and
// the bottom row). *correctedOut receives the number of codewords corrected
// over all blocks once every block has been corrected (statuses 0 and 11);
// it is left untouched otherwise.
Ecc200Result dmDecodeEcc200(int32_t rows, int32_t cols, const unsigned char* matrix,
                            int32_t* correctedOut);
