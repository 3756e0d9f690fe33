#include "symbol_builder.h"

#include <cstdio>
#include <cstdlib>

#include "ecc200/ecc200_internal.h"

namespace {

struct Field {
    int exp[512];
    int log[256];
    Field() {
        int x = 1;
        for (int i = 0; i < 255; ++i) {
            exp[i] = exp[i + 255] = x;
            log[x] = i;
            x <<= 1;
            if (x & 256) x ^= 0x12D;
        }
        exp[510] = exp[511] = 0;
        log[0] = 0;
    }
    int mul(int a, int b) const { return a == 0 || b == 0 ? 0 : exp[log[a] + log[b]]; }
};

const Field& field() {
    static const Field f;
    return f;
}

}  // namespace

Codewords rsEncodeBlock(const Codewords& data, int eccCount) {
    const Field& f = field();
    // g(x) = (x - a^1)...(x - a^t), highest power first, g[0] = 1.
    std::vector<int> g{1};
    for (int i = 1; i <= eccCount; ++i) {
        std::vector<int> next(g.size() + 1, 0);
        for (size_t j = 0; j < g.size(); ++j) {
            next[j] ^= g[j];
            next[j + 1] ^= f.mul(g[j], f.exp[i]);
        }
        g = next;
    }
    std::vector<int> remainder(eccCount, 0);
    for (unsigned char d : data) {
        const int factor = d ^ (eccCount > 0 ? remainder[0] : 0);
        for (int j = 0; j + 1 < eccCount; ++j) remainder[j] = remainder[j + 1] ^ f.mul(factor, g[j + 1]);
        if (eccCount > 0) remainder[eccCount - 1] = f.mul(factor, g[eccCount]);
    }
    return Codewords(remainder.begin(), remainder.end());
}

Codewords padCodewords(const SymbolSizeEntry& entry, Codewords data) {
    if (static_cast<int>(data.size()) > entry.dataCodewords) data.resize(entry.dataCodewords);
    bool first = true;
    while (static_cast<int>(data.size()) < entry.dataCodewords) {
        const int position = static_cast<int>(data.size()) + 1;
        int pad = 129;
        if (!first) {
            pad = 129 + ((149 * position) % 253) + 1;
            if (pad > 254) pad -= 254;
        }
        first = false;
        data.push_back(static_cast<unsigned char>(pad));
    }
    return data;
}

int streamIndex(const SymbolSizeEntry& entry, int block, int position) {
    return position * entry.blocks + block;
}

Codewords encodeStream(const SymbolSizeEntry& entry, const Codewords& data) {
    const int n = entry.blocks;
    const int eccPerBlock = entry.eccCodewords / n;
    Codewords stream(entry.dataCodewords + entry.eccCodewords, 0);
    for (int b = 0; b < n; ++b) {
        Codewords blockData;
        for (int d = b; d < entry.dataCodewords; d += n) blockData.push_back(data.at(d));
        const Codewords ecc = rsEncodeBlock(blockData, eccPerBlock);
        for (size_t j = 0; j < blockData.size(); ++j) stream[streamIndex(entry, b, static_cast<int>(j))] = blockData[j];
        // Block codeword j sits at stream position j x n + block, across data
        // and error correction alike.
        const int dataLength = static_cast<int>(blockData.size());
        for (int j = 0; j < eccPerBlock; ++j) stream[streamIndex(entry, b, dataLength + j)] = ecc[j];
    }
    return stream;
}

std::vector<unsigned char> placeStream(const SymbolSizeEntry& entry, const Codewords& stream) {
    const bool square = entry.regionCols == entry.regionRows;
    const int regionRowCount = square ? entry.regionsPerSide : 1;
    const int ncol = entry.regionsPerSide * entry.regionCols;
    const int nrow = regionRowCount * entry.regionRows;
    MappingMatrix* mapping = dmCreateMappingMatrix(ncol, nrow);
    CodewordBuffer* buffer = dmCreateCodewordBuffer(static_cast<int>(stream.size()));
    if (!mapping || !buffer) {
        std::fprintf(stderr, "symbol builder: no memory\n");
        std::abort();
    }
    for (size_t i = 0; i < stream.size(); ++i) buffer->codewords[i] = stream[i];
    dmReadCodewords(mapping, buffer, kWritingShapeOps);
    // The module left over in the bottom-right corner of some sizes holds a
    // fixed pattern.
    if (nrow * ncol - 8 * static_cast<int>(stream.size()) == 4) {
        mapping->modules[(nrow - 1) * ncol + ncol - 1] = 1;
        mapping->modules[(nrow - 2) * ncol + ncol - 2] = 1;
    }

    std::vector<unsigned char> matrix(static_cast<size_t>(entry.rows) * entry.cols, 0);
    const int patchRows = entry.regionRows + 2;
    const int patchCols = entry.regionCols + 2;
    for (int r = 0; r < entry.rows; ++r) {
        for (int c = 0; c < entry.cols; ++c) {
            const int pr = r % patchRows;
            const int pc = c % patchCols;
            unsigned char& module = matrix[static_cast<size_t>(r) * entry.cols + c];
            if (pc == 0 || pr == patchRows - 1) {
                module = 1;  // solid finder
            } else if (pr == 0) {
                module = (pc % 2 == 0) ? 1 : 0;  // timing along the top
            } else if (pc == patchCols - 1) {
                module = (pr % 2 == 1) ? 1 : 0;  // timing along the right
            } else {
                const int mr = (r / patchRows) * entry.regionRows + pr - 1;
                const int mc = (c / patchCols) * entry.regionCols + pc - 1;
                module = mapping->modules[mr * ncol + mc];
            }
        }
    }
    dmReleaseCodewordBuffer(buffer);
    dmReleaseMappingMatrix(mapping);
    return matrix;
}

std::vector<unsigned char> buildSymbol(const SymbolSizeEntry& entry, const Codewords& data) {
    return placeStream(entry, encodeStream(entry, padCodewords(entry, data)));
}

unsigned char randomize255(unsigned char byte, int position) {
    const int value = byte + ((149 * position) % 255) + 1;
    return static_cast<unsigned char>(value <= 255 ? value : value - 256);
}

const SymbolSizeEntry& symbolSize(int rows, int cols) {
    const int index = dmFindSymbolSize(rows, cols);
    if (index < 0) {
        std::fprintf(stderr, "symbol builder: no size %d x %d\n", rows, cols);
        std::abort();
    }
    return kSymbolSizes[index];
}
