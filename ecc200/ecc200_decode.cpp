// The ECC 200 stage: size lookup, region extraction, codeword placement,
// Reed-Solomon correction per block, and text decoding, in that order.
#include <cstring>

#include "ecc200/ecc200_internal.h"

namespace {

constexpr int kSymbolBits = 8;
constexpr int kFieldLength = 255;

// Corrects every block in order. Returns ECC200_DECODED with the sum of the
// corrections in *corrected, or the status of the first failure.
Ecc200Status correctBlocks(const SymbolSizeEntry& entry, CodewordBuffer* const blocks[kMaxBlocks], int* corrected) {
    const int rootCount = entry.eccCodewords / entry.blocks;
    int total = 0;
    for (int i = 0; i < entry.blocks; ++i) {
        ReedSolomonCodec* codec = dmRsCreate(kSymbolBits, rootCount, kFieldLength - blocks[i]->length);
        if (!codec) return ECC200_NO_MEMORY_BLOCKS;  // the table's parameters are valid: only memory is missing
        const int result = dmRsDecode(codec, blocks[i]->codewords);
        dmRsRelease(codec);
        if (result == kRsNoMemory) return ECC200_NO_MEMORY_BLOCKS;
        if (result < 0) return ECC200_UNCORRECTABLE;
        total += result;
    }
    *corrected = total;
    return ECC200_DECODED;
}

// Everything after the mapping matrix; the caller releases that.
Ecc200Status decodeMapping(const SymbolSizeEntry& entry, MappingMatrix* mapping, Ecc200Result& result,
                           int32_t* correctedOut) {
    CodewordBuffer* stream = dmCreateCodewordBuffer(entry.dataCodewords + entry.eccCodewords);
    if (!stream) return ECC200_NO_MEMORY_CODEWORDS;
    CodewordBuffer* data = dmCreateCodewordBuffer(entry.dataCodewords);
    if (!data) {
        dmReleaseCodewordBuffer(stream);
        return ECC200_NO_MEMORY_BLOCKS;
    }
    Ecc200Status status = ECC200_DECODED;
    CodewordBuffer* blocks[kMaxBlocks] = {};
    int corrected = 0;
    if (dmReadCodewords(mapping, stream, kReadingShapeOps) != stream->capacity) {
        status = ECC200_NO_MEMORY_CODEWORDS;  // the visited mask was missing
    } else {
        status = dmSplitBlocks(*stream, entry, blocks);
    }
    if (status == ECC200_DECODED) {
        status = correctBlocks(entry, blocks, &corrected);
    }
    if (status == ECC200_DECODED) {
        if (correctedOut) *correctedOut = corrected;
        dmJoinBlocks(blocks, entry, data);
        int textLength = 0;
        char* text = dmDecodeCodewords(*data, &textLength, &status);
        if (text) {
            // The caller sees the text up to its first NUL; one that does not
            // fit fails rather than arriving cut short.
            const size_t visible = strnlen(text, ECC200_TEXT_BYTES);
            if (visible < static_cast<size_t>(ECC200_TEXT_BYTES)) {
                std::memcpy(result.text, text, visible + 1);
            } else {
                status = ECC200_TEXT_FAILED;
            }
            dmRelease(text);
        }
    }
    dmReleaseBlocks(entry, blocks);
    dmReleaseCodewordBuffer(data);
    dmReleaseCodewordBuffer(stream);
    return status;
}

}  // namespace

const char* dmEcc200StatusName(int32_t status) {
    switch (status) {
    case ECC200_DECODED: return "decoded";
    case ECC200_UNKNOWN_SIZE: return "unknown symbol size";
    case ECC200_NO_MEMORY_CODEWORDS: return "no memory for the codewords";
    case ECC200_UNCORRECTABLE: return "uncorrectable";
    case ECC200_NO_MEMORY_BLOCKS: return "no memory for the blocks";
    case ECC200_TEXT_FAILED: return "text decoding failed";
    }
    return "unknown status";
}

Ecc200Result dmDecodeEcc200(int32_t rows, int32_t cols, const unsigned char* matrix, int32_t* correctedOut) {
    Ecc200Result result;
    result.text[0] = '\0';
    result.status = ECC200_DECODED;

    const int index = dmFindSymbolSize(rows, cols);
    if (index < 0 || !matrix) {  // no matrix is as undecodable as a wrong size
        result.status = ECC200_UNKNOWN_SIZE;
        return result;
    }
    const SymbolSizeEntry& entry = kSymbolSizes[index];
    MappingMatrix* mapping = dmExtractRegions(entry, matrix, cols);
    if (!mapping) {
        result.status = ECC200_NO_MEMORY_CODEWORDS;
        return result;
    }
    result.status = decodeMapping(entry, mapping, result, correctedOut);
    dmReleaseMappingMatrix(mapping);
    if (result.status != ECC200_DECODED) result.text[0] = '\0';
    return result;
}
