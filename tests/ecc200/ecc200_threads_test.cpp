// The stage keeps no state between calls: decodes on several threads at once
// give each its own result (the ThreadSanitizer build runs this too).
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ecc200/ecc200.h"
#include "symbol_fixtures.h"

TEST(Ecc200Threads, ConcurrentDecodesAreIndependent) {
    const std::vector<SymbolFixture>& fixtures = symbolFixtures();
    constexpr int kThreads = 4;
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                for (size_t i = t; i < fixtures.size(); i += 2) {
                    const SymbolFixture& f = fixtures[i];
                    int32_t corrected = -1;
                    const Ecc200Result r = dmDecodeEcc200(f.rows, f.cols, f.modules.data(), &corrected);
                    // The one non-standard fixture fails alike on every thread.
                    const bool ok = r.status == ECC200_DECODED ? std::string(r.text) == f.text
                                                                : r.status == ECC200_UNCORRECTABLE;
                    if (!ok) ++mismatches[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}
