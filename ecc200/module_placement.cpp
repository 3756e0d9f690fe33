// Symbol character placement: which eight modules of the mapping matrix make
// up each codeword, walked in the order the symbol stores them. The walk is
// shared by reading (decoding) and writing (tests that build symbols).
#include "ecc200/ecc200_internal.h"

namespace {

constexpr unsigned char kAllBits = 255;

struct Module {
    int row;
    int col;
};

// Positions of a nominal codeword's modules relative to its anchor, bit 7 first.
constexpr Module kNominal[8] = {{-2, -2}, {-2, -1}, {-1, -2}, {-1, -1}, {-1, 0}, {0, -2}, {0, -1}, {0, 0}};

// Wraps a module that falls off the left or top edge onto the opposite edge,
// shifted as the placement's torus demands. nullptr if it is still outside
// (never for the sizes of the table; guards matrices of other shapes).
unsigned char* wrapped(MappingMatrix* matrix, int row, int col) {
    const int nrow = matrix->rows;
    const int ncol = matrix->cols;
    if (col < 0) {
        col += ncol;
        row += 4 - ((ncol + 4) % 8);
    }
    if (row < 0) {
        row += nrow;
        col += 4 - ((nrow + 4) % 8);
    }
    if (row < 0 || row >= nrow || col < 0 || col >= ncol) return nullptr;
    return matrix->modules + static_cast<size_t>(row) * ncol + col;
}

unsigned char* at(MappingMatrix* matrix, int row, int col) {
    if (row < 0 || row >= matrix->rows || col < 0 || col >= matrix->cols) return nullptr;
    return matrix->modules + static_cast<size_t>(row) * matrix->cols + col;
}

void readModules(unsigned char* const modules[8], unsigned char* codeword) {
    unsigned value = 0;
    for (int k = 0; k < 8; ++k) value = (value << 1) | (modules[k] ? *modules[k] : 0u);
    *codeword = static_cast<unsigned char>(value);
}

void writeModules(unsigned char* const modules[8], const unsigned char* codeword) {
    for (int k = 0; k < 8; ++k) {
        if (modules[k]) *modules[k] = (*codeword >> (7 - k)) & 1;
    }
}

void nominalModules(MappingMatrix* matrix, int col, int row, unsigned char* modules[8]) {
    for (int k = 0; k < 8; ++k) modules[k] = wrapped(matrix, row + kNominal[k].row, col + kNominal[k].col);
}

// The four corner shapes, bit 7 first, as (row, col) with W = ncol, H = nrow.
void corner1Modules(MappingMatrix* m, int w, int h, unsigned char* modules[8]) {
    const Module p[8] = {{h - 1, 0}, {h - 1, 1}, {h - 1, 2}, {0, w - 2}, {0, w - 1}, {1, w - 1}, {2, w - 1}, {3, w - 1}};
    for (int k = 0; k < 8; ++k) modules[k] = at(m, p[k].row, p[k].col);
}

void corner2Modules(MappingMatrix* m, int w, int h, unsigned char* modules[8]) {
    const Module p[8] = {{h - 3, 0}, {h - 2, 0}, {h - 1, 0}, {0, w - 4}, {0, w - 3}, {0, w - 2}, {0, w - 1}, {1, w - 1}};
    for (int k = 0; k < 8; ++k) modules[k] = at(m, p[k].row, p[k].col);
}

void corner3Modules(MappingMatrix* m, int w, int h, unsigned char* modules[8]) {
    const Module p[8] = {{h - 3, 0}, {h - 2, 0}, {h - 1, 0}, {0, w - 2}, {0, w - 1}, {1, w - 1}, {2, w - 1}, {3, w - 1}};
    for (int k = 0; k < 8; ++k) modules[k] = at(m, p[k].row, p[k].col);
}

void corner4Modules(MappingMatrix* m, int w, int h, unsigned char* modules[8]) {
    const Module p[8] = {{h - 1, 0}, {h - 1, w - 1}, {0, w - 3}, {0, w - 2}, {0, w - 1}, {1, w - 3}, {1, w - 2}, {1, w - 1}};
    for (int k = 0; k < 8; ++k) modules[k] = at(m, p[k].row, p[k].col);
}

bool visited(const MappingMatrix* mask, int row, int col) {
    return mask->modules[static_cast<size_t>(row) * mask->cols + col] != 0;
}

}  // namespace

void dmReadNominal(MappingMatrix* matrix, int col, int row, unsigned char* codeword) {
    unsigned char* modules[8];
    nominalModules(matrix, col, row, modules);
    readModules(modules, codeword);
}

void dmWriteNominal(MappingMatrix* matrix, int col, int row, unsigned char* codeword) {
    unsigned char* modules[8];
    nominalModules(matrix, col, row, modules);
    writeModules(modules, codeword);
}

void dmReadCorner1(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword) {
    unsigned char* modules[8];
    corner1Modules(matrix, ncol, nrow, modules);
    readModules(modules, codeword);
}

void dmReadCorner2(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword) {
    unsigned char* modules[8];
    corner2Modules(matrix, ncol, nrow, modules);
    readModules(modules, codeword);
}

void dmReadCorner3(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword) {
    unsigned char* modules[8];
    corner3Modules(matrix, ncol, nrow, modules);
    readModules(modules, codeword);
}

void dmReadCorner4(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword) {
    unsigned char* modules[8];
    corner4Modules(matrix, ncol, nrow, modules);
    readModules(modules, codeword);
}

void dmMarkCorner1(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword) {
    unsigned char* modules[8];
    corner1Modules(matrix, ncol, nrow, modules);
    writeModules(modules, codeword);
}

void dmMarkCorner2(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword) {
    unsigned char* modules[8];
    corner2Modules(matrix, ncol, nrow, modules);
    writeModules(modules, codeword);
}

void dmMarkCorner3(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword) {
    unsigned char* modules[8];
    corner3Modules(matrix, ncol, nrow, modules);
    writeModules(modules, codeword);
}

void dmMarkCorner4(MappingMatrix* matrix, int ncol, int nrow, unsigned char* codeword) {
    unsigned char* modules[8];
    corner4Modules(matrix, ncol, nrow, modules);
    writeModules(modules, codeword);
}

const ShapeOps kReadingShapeOps = {{dmReadNominal, dmReadCorner1, dmReadCorner2, dmReadCorner3, dmReadCorner4}};
const ShapeOps kWritingShapeOps = {{dmWriteNominal, dmMarkCorner1, dmMarkCorner2, dmMarkCorner3, dmMarkCorner4}};

int dmReadCodewords(MappingMatrix* matrix, CodewordBuffer* buffer, const ShapeOps& ops) {
    static const ShapeOp kMarkCorner[5] = {nullptr, dmMarkCorner1, dmMarkCorner2, dmMarkCorner3, dmMarkCorner4};
    const int nrow = matrix->rows;
    const int ncol = matrix->cols;
    MappingMatrix* mask = dmCreateMappingMatrix(ncol, nrow);
    if (!mask) return -1;

    int count = 0;
    auto emit = [&](int slot, int a, int b) {
        if (buffer->length + count >= buffer->capacity) return;
        ops.shape[slot](matrix, a, b, buffer->codewords + buffer->length + count);
        ++count;
    };
    auto corner = [&](int slot) {
        unsigned char all = kAllBits;
        kMarkCorner[slot](mask, ncol, nrow, &all);
        emit(slot, ncol, nrow);
    };

    int row = 4;
    int col = 0;
    do {
        if (col == 0 && row == nrow) {
            corner(1);
        } else if (col == 0 && row == nrow - 2 && ncol % 4 != 0) {
            corner(2);
        } else if (col == 0 && row == nrow - 2 && ncol % 8 == 4) {
            corner(3);
        } else if (col == 2 && row == nrow + 4 && ncol % 8 == 0) {
            corner(4);
        }
        // Up and to the right.
        while (row >= 0 && col < ncol) {
            if (row < nrow && col >= 0 && !visited(mask, row, col)) emit(0, col, row);
            row -= 2;
            col += 2;
        }
        row += 1;
        col += 3;
        // Down and to the left.
        if (col >= 0) {
            while (row < nrow && col >= 0) {
                if (row >= 0 && col < ncol && !visited(mask, row, col)) emit(0, col, row);
                row += 2;
                col -= 2;
            }
        }
        row += 3;
        col += 1;
    } while (row < nrow || col < ncol);

    dmReleaseMappingMatrix(mask);
    buffer->length += count;
    return count;
}
