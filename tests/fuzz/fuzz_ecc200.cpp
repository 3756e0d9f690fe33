// libFuzzer target for the ECC 200 stage.
//
// Input: byte 0 chooses the symbol size (low 7 bits, modulo the 30 sizes)
// and the mode (bit 7).
// - Matrix mode (bit 7 clear): the rest is the module matrix, eight modules a
//   byte, most significant bit first; missing bytes are light modules. Any
//   matrix must give a status, and an empty text unless it decoded.
// - Codeword mode (bit 7 set): the rest are data codewords, which are padded,
//   Reed-Solomon encoded and placed like a real symbol, so that the text
//   decoder sees arbitrary codewords. Such a symbol must never fail its error
//   correction.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ecc200/ecc200.h"
#include "symbol_builder.h"

namespace {

constexpr uint8_t kCodewordMode = 0x80;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

void checkResult(const Ecc200Result& result) {
    require(strnlen(result.text, ECC200_TEXT_BYTES) < static_cast<size_t>(ECC200_TEXT_BYTES));
    require(result.status == ECC200_DECODED || result.status == ECC200_UNCORRECTABLE ||
            result.status == ECC200_TEXT_FAILED);
    if (result.status != ECC200_DECODED) require(result.text[0] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const SymbolSizeEntry& entry = kSymbolSizes[(data[0] & 0x7f) % kSymbolSizeCount];
    const uint8_t* rest = data + 1;
    const size_t restSize = size - 1;
    const size_t modules = static_cast<size_t>(entry.rows) * entry.cols;

    if (data[0] & kCodewordMode) {
        Codewords codewords(rest, rest + restSize);
        const std::vector<unsigned char> matrix = buildSymbol(entry, codewords);
        int32_t corrected = -1;
        const Ecc200Result result = dmDecodeEcc200(entry.rows, entry.cols, matrix.data(), &corrected);
        checkResult(result);
        require(result.status != ECC200_UNCORRECTABLE);
        require(corrected == 0);
        return 0;
    }

    std::vector<unsigned char> matrix(modules, 0);
    for (size_t i = 0; i < modules && i / 8 < restSize; ++i) matrix[i] = (rest[i / 8] >> (7 - i % 8)) & 1;
    int32_t corrected = -1;
    const Ecc200Result result = dmDecodeEcc200(entry.rows, entry.cols, matrix.data(), &corrected);
    checkResult(result);
    if (result.status == ECC200_UNCORRECTABLE) require(corrected == -1);
    return 0;
}
