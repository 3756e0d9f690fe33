// Stages of the ECC 200 decoder, shared between its own files, its tests and
// its test tools. Not part of the public interface (that is ecc200.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "ecc200/ecc200.h"

// ---------------------------------------------------------------------------
// Allocation (ecc200_memory.cpp). Every buffer of the stage comes from here so
// that tests can make any one allocation fail.

// malloc, or nullptr when the failure hook says so.
void* dmAllocate(size_t bytes);
// free; nullptr is fine.
void dmRelease(void* block);
// Test hook: the next `allocations` allocations succeed, the one after fails,
// and the hook then disarms itself. A negative count disarms it.
void dmFailAllocationAfter(int allocations);

// ---------------------------------------------------------------------------
// Records.

// Data modules of a symbol with every border removed, row-major, 0/1.
struct MappingMatrix {
    int32_t cols;
    int32_t rows;
    unsigned char* modules;  // rows x cols bytes, allocated with the record
};

// A length-counted run of codewords. `capacity` is the room allocated; no
// stage writes past it.
struct CodewordBuffer {
    int32_t length;
    int32_t capacity;
    unsigned char* codewords;  // capacity bytes, allocated with the record
};

// Zero-filled matrix, or nullptr when there is no memory.
MappingMatrix* dmCreateMappingMatrix(int32_t cols, int32_t rows);
void dmReleaseMappingMatrix(MappingMatrix* matrix);
// Empty buffer (length 0, zero-filled) with room for `capacity` codewords, or
// nullptr when there is no memory.
CodewordBuffer* dmCreateCodewordBuffer(int32_t capacity);
void dmReleaseCodewordBuffer(CodewordBuffer* buffer);

// ---------------------------------------------------------------------------
// Symbol sizes and data regions (symbol_sizes.cpp, data_regions.cpp).

// Whether the entry is a square symbol (its regions are square).
bool dmIsSquare(const SymbolSizeEntry& entry);
// A new mapping matrix holding the data modules of `matrix` (rows x cols of
// the entry, row stride `cols`), or nullptr when there is no memory.
MappingMatrix* dmExtractRegions(const SymbolSizeEntry& entry, const unsigned char* matrix, int32_t cols);

// ---------------------------------------------------------------------------
// Module placement (module_placement.cpp).

// One shape operation: for the nominal shape (a, b) are the anchor's column
// and row, for the corner shapes ncol and nrow. Reading operations assemble
// *codeword from the modules, writing operations store its bits into them.
using ShapeOp = void (*)(MappingMatrix* matrix, int a, int b, unsigned char* codeword);

// Slots: nominal, corner1, corner2, corner3, corner4.
struct ShapeOps {
    ShapeOp shape[5];
};

extern const ShapeOps kReadingShapeOps;
extern const ShapeOps kWritingShapeOps;

void dmReadNominal(MappingMatrix* matrix, int col, int row, unsigned char* codeword);
void dmReadCorner1(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword);
void dmReadCorner2(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword);
void dmReadCorner3(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword);
void dmReadCorner4(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword);
void dmWriteNominal(MappingMatrix* matrix, int col, int row, unsigned char* codeword);
void dmMarkCorner1(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword);
void dmMarkCorner2(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword);
void dmMarkCorner3(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword);
void dmMarkCorner4(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword);

// Walks the matrix in symbol-character order and applies `ops` to every
// codeword position, codeword i of the walk being byte length + i of the
// buffer; then adds the count to the buffer's length. With the reading set
// this reads the codewords out of the matrix, with the writing set it places
// the buffer's bytes into it. Returns the count, or -1 (buffer unchanged) when
// the visited mask cannot be allocated. Stops at the buffer's capacity.
int dmReadCodewords(MappingMatrix* matrix, CodewordBuffer* buffer, const ShapeOps& ops);

// ---------------------------------------------------------------------------
// Reed-Solomon (reed_solomon.cpp).

struct ReedSolomonCodec {
    int32_t symbolBits;
    int32_t fieldSize;          // 2^symbolBits - 1; also the logarithm of 0
    unsigned char alphaTo[256]; // alphaTo[i] = alpha^i, alphaTo[fieldSize] = 0
    unsigned char indexOf[256]; // indexOf[alpha^i] = i, indexOf[0] = fieldSize
    int32_t rootCount;
    int32_t firstRoot;
    int32_t primitive;
    int32_t inversePrimitive;
    int32_t shortening;         // leading zero symbols missing from the block
};

// Result of dmRsDecode besides a correction count.
constexpr int kRsUncorrectable = -1;
constexpr int kRsNoMemory = -2;

// A codec for blocks of 255 - shortening codewords with rootCount check
// codewords, or nullptr for bad parameters (symbolBits other than 8, a root
// count or shortening that leaves no data) or no memory.
ReedSolomonCodec* dmRsCreate(int symbolBits, int rootCount, int shortening);
void dmRsRelease(ReedSolomonCodec* codec);
// Corrects the block in place. Returns the number of corrected codewords,
// kRsUncorrectable (block unchanged) or kRsNoMemory (block unchanged).
int dmRsDecode(const ReedSolomonCodec* codec, unsigned char* block);
// x mod 255 for x >= 0.
int dmRsReduce(int x);

// ---------------------------------------------------------------------------
// Block split and join (codeword_blocks.cpp).

constexpr int kMaxBlocks = 10;

// Codewords of block `block` of the entry, data and error correction together.
int dmBlockLength(const SymbolSizeEntry& entry, int block);
// Data codewords of block `block` of the entry.
int dmBlockDataLength(const SymbolSizeEntry& entry, int block);
// Splits the interleaved stream into entry.blocks new buffers in blocks[].
// Returns ECC200_DECODED, or ECC200_NO_MEMORY_BLOCKS with blocks[] all nullptr.
Ecc200Status dmSplitBlocks(const CodewordBuffer& stream, const SymbolSizeEntry& entry,
                           CodewordBuffer* blocks[kMaxBlocks]);
void dmReleaseBlocks(const SymbolSizeEntry& entry, CodewordBuffer* blocks[kMaxBlocks]);
// Appends the data codewords of all blocks, in symbol order, to `data`.
void dmJoinBlocks(CodewordBuffer* const blocks[kMaxBlocks], const SymbolSizeEntry& entry,
                  CodewordBuffer* data);

// ---------------------------------------------------------------------------
// Codeword decoding to text (codeword_decoding.cpp).

// The message of the data codewords: a new NUL-terminated text of
// 4 x length + 1 bytes (release with dmRelease), or nullptr with *status set
// to ECC200_TEXT_FAILED (unsupported codeword) or ECC200_NO_MEMORY_BLOCKS.
// *textLength receives the number of bytes decoded (NULs inside included).
char* dmDecodeCodewords(const CodewordBuffer& data, int* textLength, Ecc200Status* status);
// Base 256 un-randomising of the codeword at 1-based `position`.
unsigned char dmUnrandomize255(unsigned char codeword, int position);
