// Builds ECC 200 module matrices from chosen data codewords, for tests,
// benchmarks and the fuzzer: pad, Reed-Solomon encode (an encoder of its own,
// independent of the decoder under test), interleave, place with the writing
// shape operations, draw the borders.
#pragma once

#include <vector>

#include "ecc200/ecc200.h"

using Codewords = std::vector<unsigned char>;

// The error-correction codewords of one block (generator roots alpha^1..^t
// over GF(256) with x^8 + x^5 + x^3 + x^2 + 1).
Codewords rsEncodeBlock(const Codewords& data, int eccCount);

// `data` filled up to the entry's data capacity with pad codewords as an
// encoder writes them (129, then the 253-state randomised pads). Data longer
// than the capacity is cut.
Codewords padCodewords(const SymbolSizeEntry& entry, Codewords data);

// The interleaved codeword stream (data and error correction) of exactly
// entry.dataCodewords data codewords.
Codewords encodeStream(const SymbolSizeEntry& entry, const Codewords& data);

// The rows x cols module matrix (borders included, 1 dark, 0 light) that holds
// the stream of entry.dataCodewords + entry.eccCodewords codewords.
std::vector<unsigned char> placeStream(const SymbolSizeEntry& entry, const Codewords& stream);

// placeStream(encodeStream(padCodewords(data))).
std::vector<unsigned char> buildSymbol(const SymbolSizeEntry& entry, const Codewords& data);

// Stream position of codeword `position` of block `block`.
int streamIndex(const SymbolSizeEntry& entry, int block, int position);

// Base 256 randomising of a byte at 1-based codeword position.
unsigned char randomize255(unsigned char byte, int position);

// The entry of rows x cols; aborts when there is none.
const SymbolSizeEntry& symbolSize(int rows, int cols);
