// Reed-Solomon correction of one block over GF(256): syndromes,
// Berlekamp-Massey, Chien search and Forney's formula. No erasures; up to
// floor(t / 2) wrong codewords per block are corrected.
#include <cstring>

#include "ecc200/ecc200_internal.h"

namespace {

// x^8 + x^5 + x^3 + x^2 + 1, the field polynomial of ECC 200.
constexpr int kFieldPolynomial = 0x12D;
constexpr int kSymbolBits = 8;
constexpr int kFirstRoot = 1;
constexpr int kPrimitive = 1;
constexpr int kScratchArrays = 8;

// Syndromes of the block in logarithm form into syndromes[0..t-1]; returns
// whether any of them is not zero. Horner's rule for all roots at once, one
// codeword at a time, so that the roots' chains run side by side.
bool computeSyndromes(const ReedSolomonCodec& rs, const unsigned char* block, int length, unsigned char* syndromes) {
    int s[256];
    const int t = rs.rootCount;
    for (int i = 0; i < t; ++i) s[i] = block[0];
    for (int j = 1; j < length; ++j) {
        const int codeword = block[j];
        for (int i = 0; i < t; ++i) {
            // A logarithm (at most 254) plus a root exponent (at most 255)
            // needs one subtraction to be reduced.
            int exponent = rs.indexOf[s[i]] + (rs.firstRoot + i) * rs.primitive;
            if (exponent >= rs.fieldSize) exponent -= rs.fieldSize;
            s[i] = s[i] == 0 ? codeword : codeword ^ rs.alphaTo[exponent];
        }
    }
    bool anyError = false;
    for (int i = 0; i < t; ++i) {
        if (s[i] != 0) anyError = true;
        syndromes[i] = rs.indexOf[s[i]];
    }
    return anyError;
}

}  // namespace

int dmRsReduce(int x) {
    while (x >= 255) {
        x -= 255;
        x = (x >> 8) + (x & 255);
    }
    return x;
}

ReedSolomonCodec* dmRsCreate(int symbolBits, int rootCount, int shortening) {
    // The decoder's arithmetic (dmRsReduce, the Chien search over 255
    // positions) is that of GF(256): a smaller field would be decoded wrongly.
    if (symbolBits != kSymbolBits) return nullptr;
    const int fieldSize = (1 << symbolBits) - 1;
    if (rootCount < 0 || rootCount >= (1 << symbolBits)) return nullptr;
    if (shortening < 0 || shortening >= fieldSize - rootCount) return nullptr;

    auto* rs = static_cast<ReedSolomonCodec*>(dmAllocate(sizeof(ReedSolomonCodec)));
    if (!rs) return nullptr;
    std::memset(rs, 0, sizeof(*rs));
    rs->symbolBits = symbolBits;
    rs->fieldSize = fieldSize;
    int x = 1;
    for (int i = 0; i < fieldSize; ++i) {
        rs->indexOf[x] = static_cast<unsigned char>(i);
        rs->alphaTo[i] = static_cast<unsigned char>(x);
        x <<= 1;
        if (x & (1 << symbolBits)) x ^= kFieldPolynomial;
        x &= fieldSize;
    }
    rs->alphaTo[fieldSize] = 0;
    rs->indexOf[0] = static_cast<unsigned char>(fieldSize);
    if (x != 1) {  // the polynomial does not generate this field
        dmRsRelease(rs);
        return nullptr;
    }
    rs->rootCount = rootCount;
    rs->firstRoot = kFirstRoot;
    rs->primitive = kPrimitive;
    rs->inversePrimitive = 1;
    rs->shortening = shortening;
    return rs;
}

void dmRsRelease(ReedSolomonCodec* codec) { dmRelease(codec); }

int dmRsDecode(const ReedSolomonCodec* codec, unsigned char* block) {
    const ReedSolomonCodec& rs = *codec;
    const int nn = rs.fieldSize;
    const int a0 = nn;  // logarithm of 0
    const int t = rs.rootCount;
    const int pad = rs.shortening;
    const int length = nn - pad;
    if (t <= 0 || length <= 0) return 0;

    const int n = t + 1;
    auto* scratch = static_cast<unsigned char*>(dmAllocate(static_cast<size_t>(kScratchArrays) * n));
    if (!scratch) return kRsNoMemory;
    unsigned char* s = scratch;              // syndromes, logarithms
    unsigned char* lambda = scratch + n;     // error locator
    unsigned char* b = scratch + 2 * n;      // previous correction term, logarithms
    unsigned char* tmp = scratch + 3 * n;    // next locator
    unsigned char* omega = scratch + 4 * n;  // error evaluator, logarithms
    unsigned char* root = scratch + 5 * n;   // roots found by the Chien search
    unsigned char* reg = scratch + 6 * n;    // Chien register
    unsigned char* loc = scratch + 7 * n;    // error positions
    int result = 0;

    if (!computeSyndromes(rs, block, length, s)) {
        dmRelease(scratch);
        return 0;
    }

    // Berlekamp-Massey.
    std::memset(lambda, 0, n);
    lambda[0] = 1;
    for (int i = 0; i < n; ++i) b[i] = rs.indexOf[lambda[i]];
    int el = 0;
    for (int r = 1; r <= t; ++r) {
        int discrepancy = 0;
        for (int i = 0; i < r; ++i) {
            if (lambda[i] != 0 && s[r - i - 1] != a0) {
                discrepancy ^= rs.alphaTo[dmRsReduce(rs.indexOf[lambda[i]] + s[r - i - 1])];
            }
        }
        discrepancy = rs.indexOf[discrepancy];
        if (discrepancy == a0) {
            std::memmove(b + 1, b, t);
            b[0] = static_cast<unsigned char>(a0);
            continue;
        }
        tmp[0] = lambda[0];
        for (int i = 0; i < t; ++i) {
            tmp[i + 1] = b[i] != a0 ? lambda[i + 1] ^ rs.alphaTo[dmRsReduce(discrepancy + b[i])] : lambda[i + 1];
        }
        if (2 * el <= r - 1) {
            el = r - el;
            for (int i = 0; i <= t; ++i) {
                b[i] = lambda[i] == 0 ? static_cast<unsigned char>(a0)
                                      : static_cast<unsigned char>(dmRsReduce(rs.indexOf[lambda[i]] - discrepancy + nn));
            }
        } else {
            std::memmove(b + 1, b, t);
            b[0] = static_cast<unsigned char>(a0);
        }
        std::memcpy(lambda, tmp, n);
    }

    int degLambda = 0;
    for (int i = 0; i < n; ++i) {
        lambda[i] = rs.indexOf[lambda[i]];
        if (lambda[i] != a0) degLambda = i;
    }

    // Chien search: position k = i - 1 is wrong where lambda(alpha^i) = 0.
    std::memcpy(reg + 1, lambda + 1, t);
    int count = 0;
    for (int i = 1; i <= nn && count < degLambda; ++i) {
        int q = 1;
        for (int j = degLambda; j > 0; --j) {
            if (reg[j] != a0) {
                reg[j] = static_cast<unsigned char>(dmRsReduce(reg[j] + j));
                q ^= rs.alphaTo[reg[j]];
            }
        }
        if (q != 0) continue;
        root[count] = static_cast<unsigned char>(i);
        loc[count] = static_cast<unsigned char>(i - 1);
        ++count;
    }
    if (count != degLambda) {
        dmRelease(scratch);
        return kRsUncorrectable;
    }

    // Error evaluator omega = s * lambda mod x^degLambda.
    for (int i = 0; i < degLambda; ++i) {
        int sum = 0;
        for (int j = i; j >= 0; --j) {
            if (s[i - j] != a0 && lambda[j] != a0) sum ^= rs.alphaTo[dmRsReduce(s[i - j] + lambda[j])];
        }
        omega[i] = rs.indexOf[sum];
    }

    // Forney. The error values go into tmp first: a locator that points into
    // the shortened part, or gives an error value of 0 or an infinite one,
    // shows more errors than the code can correct, and the block is then
    // left as it came.
    for (int j = count - 1; j >= 0; --j) {
        int numerator = 0;
        for (int i = degLambda - 1; i >= 0; --i) {
            if (omega[i] != a0) numerator ^= rs.alphaTo[dmRsReduce(omega[i] + i * root[j])];
        }
        int denominator = 0;
        for (int i = (degLambda < t - 1 ? degLambda : t - 1) & ~1; i >= 0; i -= 2) {
            if (lambda[i + 1] != a0) denominator ^= rs.alphaTo[dmRsReduce(lambda[i + 1] + i * root[j])];
        }
        if (numerator == 0 || denominator == 0 || loc[j] < pad) {
            result = kRsUncorrectable;
            break;
        }
        tmp[j] = rs.alphaTo[dmRsReduce(rs.indexOf[numerator] + nn - rs.indexOf[denominator])];
    }
    if (result == 0) {
        for (int j = 0; j < count; ++j) block[loc[j] - pad] ^= tmp[j];
        // Beyond floor(t / 2) errors the locator can still have all its roots
        // while the corrected block is no codeword; such a block is not
        // reported as corrected.
        if (computeSyndromes(rs, block, length, s)) {
            for (int j = 0; j < count; ++j) block[loc[j] - pad] ^= tmp[j];
            result = kRsUncorrectable;
        } else {
            result = count;
        }
    }
    dmRelease(scratch);
    return result;
}
