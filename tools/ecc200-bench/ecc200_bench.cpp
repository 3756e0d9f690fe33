// dmDecodeEcc200 on a 10 x 10, a 32 x 32 and a 144 x 144 symbol full of
// ASCII text, clean and with as many wrong codewords in every block as the
// code corrects (floor(t / 2)).
//
// Run: build/tools/ecc200-bench/ecc200_bench --benchmark_repetitions=10
//      --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "ecc200/ecc200.h"
#include "ecc200/ecc200_internal.h"
#include "symbol_builder.h"

namespace {

std::vector<unsigned char> benchSymbol(int size, bool withErrors) {
    const SymbolSizeEntry& entry = symbolSize(size, size);
    std::mt19937 rng(size);
    Codewords data;
    for (int i = 0; i < entry.dataCodewords; ++i) data.push_back(static_cast<unsigned char>('A' + 1 + rng() % 26));
    Codewords stream = encodeStream(entry, data);
    if (withErrors) {
        const int perBlock = entry.eccCodewords / entry.blocks / 2;
        for (int b = 0; b < entry.blocks; ++b) {
            std::vector<int> positions(dmBlockLength(entry, b));
            for (size_t j = 0; j < positions.size(); ++j) positions[j] = static_cast<int>(j);
            std::shuffle(positions.begin(), positions.end(), rng);
            for (int k = 0; k < perBlock; ++k) stream[streamIndex(entry, b, positions[k])] ^= 0xA5;
        }
    }
    return placeStream(entry, stream);
}

void BM_DecodeEcc200(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const bool withErrors = state.range(1) != 0;
    const std::vector<unsigned char> matrix = benchSymbol(size, withErrors);
    int32_t corrected = 0;
    for (auto _ : state) {
        Ecc200Result result = dmDecodeEcc200(size, size, matrix.data(), &corrected);
        benchmark::DoNotOptimize(result);
        if (result.status != ECC200_DECODED) {
            state.SkipWithError(dmEcc200StatusName(result.status));
            break;
        }
    }
    state.counters["corrected"] = corrected;
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_DecodeEcc200)
    ->ArgNames({"size", "errors"})
    ->Args({10, 0})
    ->Args({10, 1})
    ->Args({32, 0})
    ->Args({32, 1})
    ->Args({144, 0})
    ->Args({144, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
