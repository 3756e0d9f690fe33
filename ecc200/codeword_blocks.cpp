// The symbol interleaves its Reed-Solomon blocks codeword by codeword; these
// split the stream into blocks and join the corrected data back together.
#include "ecc200/ecc200_internal.h"

int dmBlockLength(const SymbolSizeEntry& entry, int block) {
    const int n = entry.blocks;
    // Stream codeword k belongs to block k mod n; in 144 x 144 that leaves
    // the last two blocks one data codeword short.
    return (entry.dataCodewords + entry.eccCodewords - block + n - 1) / n;
}

int dmBlockDataLength(const SymbolSizeEntry& entry, int block) {
    const int n = entry.blocks;
    return (entry.dataCodewords - block + n - 1) / n;
}

Ecc200Status dmSplitBlocks(const CodewordBuffer& stream, const SymbolSizeEntry& entry,
                           CodewordBuffer* blocks[kMaxBlocks]) {
    const int n = entry.blocks;
    for (int i = 0; i < kMaxBlocks; ++i) blocks[i] = nullptr;
    for (int i = 0; i < n; ++i) {
        const int length = dmBlockLength(entry, i);
        blocks[i] = dmCreateCodewordBuffer(length);
        if (!blocks[i]) {
            dmReleaseBlocks(entry, blocks);
            return ECC200_NO_MEMORY_BLOCKS;
        }
        for (int j = 0; j < length && j * n + i < stream.length; ++j) blocks[i]->codewords[j] = stream.codewords[j * n + i];
        blocks[i]->length = length;
    }
    return ECC200_DECODED;
}

void dmReleaseBlocks(const SymbolSizeEntry& entry, CodewordBuffer* blocks[kMaxBlocks]) {
    for (int i = 0; i < entry.blocks && i < kMaxBlocks; ++i) {
        dmReleaseCodewordBuffer(blocks[i]);
        blocks[i] = nullptr;
    }
}

void dmJoinBlocks(CodewordBuffer* const blocks[kMaxBlocks], const SymbolSizeEntry& entry, CodewordBuffer* data) {
    const int n = entry.blocks;
    for (int d = 0; d < entry.dataCodewords && data->length < data->capacity; ++d) {
        data->codewords[data->length++] = blocks[d % n]->codewords[d / n];
    }
}
