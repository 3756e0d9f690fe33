// Allocation for the whole stage, with a failure hook so that tests can reach
// every out-of-memory path.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "ecc200/ecc200_internal.h"

namespace {

// Allocations left before the injected failure; negative when disarmed.
std::atomic<int> allocationsBeforeFailure{-1};

}  // namespace

void* dmAllocate(size_t bytes) {
    int left = allocationsBeforeFailure.load(std::memory_order_relaxed);
    while (left >= 0) {
        // Count down; the one that finds 0 fails and disarms the hook.
        int next = left == 0 ? -1 : left - 1;
        if (allocationsBeforeFailure.compare_exchange_weak(left, next, std::memory_order_relaxed)) {
            if (left == 0) return nullptr;
            break;
        }
    }
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void dmRelease(void* block) { std::free(block); }

void dmFailAllocationAfter(int allocations) {
    allocationsBeforeFailure.store(allocations < 0 ? -1 : allocations, std::memory_order_relaxed);
}

MappingMatrix* dmCreateMappingMatrix(int32_t cols, int32_t rows) {
    if (cols < 0 || rows < 0) return nullptr;
    size_t bytes = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    auto* matrix = static_cast<MappingMatrix*>(dmAllocate(sizeof(MappingMatrix) + bytes));
    if (!matrix) return nullptr;
    matrix->cols = cols;
    matrix->rows = rows;
    matrix->modules = reinterpret_cast<unsigned char*>(matrix + 1);
    std::memset(matrix->modules, 0, bytes);
    return matrix;
}

void dmReleaseMappingMatrix(MappingMatrix* matrix) { dmRelease(matrix); }

CodewordBuffer* dmCreateCodewordBuffer(int32_t capacity) {
    if (capacity < 0) return nullptr;
    auto* buffer = static_cast<CodewordBuffer*>(dmAllocate(sizeof(CodewordBuffer) + capacity));
    if (!buffer) return nullptr;
    buffer->length = 0;
    buffer->capacity = capacity;
    buffer->codewords = reinterpret_cast<unsigned char*>(buffer + 1);
    std::memset(buffer->codewords, 0, capacity);
    return buffer;
}

void dmReleaseCodewordBuffer(CodewordBuffer* buffer) { dmRelease(buffer); }
