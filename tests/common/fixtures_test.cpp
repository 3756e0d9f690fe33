// The committed symbols are what every decoding test relies on: check that
// each one is a well-formed ECC 200 symbol (finder along the left and bottom,
// alternating timing along the top and right) before anything reads it.
#include <gtest/gtest.h>

#include "symbol_fixtures.h"

TEST(SymbolFixtures, EveryFixtureHasItsFinderAndTimingBorders) {
    ASSERT_GE(symbolFixtures().size(), 60u);
    for (const SymbolFixture& f : symbolFixtures()) {
        SCOPED_TRACE(f.name);
        ASSERT_EQ(f.modules.size(), static_cast<size_t>(f.rows * f.cols));
        EXPECT_FALSE(f.text.empty());
        auto at = [&](int r, int c) { return f.modules[r * f.cols + c]; };
        for (int r = 0; r < f.rows; ++r) {
            EXPECT_EQ(at(r, 0), 1) << "finder column, row " << r;
            EXPECT_EQ(at(r, f.cols - 1), r % 2) << "timing column, row " << r;
        }
        for (int c = 0; c < f.cols; ++c) {
            EXPECT_EQ(at(f.rows - 1, c), 1) << "finder row, column " << c;
            EXPECT_EQ(at(0, c), (c + 1) % 2) << "timing row, column " << c;
        }
    }
}
