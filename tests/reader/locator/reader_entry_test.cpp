// Reader entry: what a call writes to the caller, and when it writes nothing.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "frame_renderer.h"
#include "reader/reader.h"
#include "reader/reader_internal.h"
#include "symbol_fixtures.h"

namespace {

constexpr unsigned char kUntouched = 0xA5;
constexpr int kUntouchedCount = 77;

struct Table {
    DecodedSymbol results[DM_MAX_RESULTS];
    int count = kUntouchedCount;
    Table() { std::memset(results, kUntouched, sizeof(results)); }
    bool untouched() const {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(results);
        for (size_t i = 0; i < sizeof(results); ++i) {
            if (bytes[i] != kUntouched) return false;
        }
        return count == kUntouchedCount;
    }
};

int read(cv::Mat& gray, Table& table, int level, int options) {
    IplImage ipl = cvIplImage(gray);
    return dmReadSymbols(&ipl, table.results, &table.count, level, options);
}

TEST(ReadSymbols, FailedCallsLeaveTheCallersTableAlone) {
    cv::Mat gray(120, 160, CV_8UC1, cv::Scalar(200));
    cv::Mat color(120, 160, CV_8UC3, cv::Scalar(200, 200, 200));
    cv::Mat deep(120, 160, CV_16UC1, cv::Scalar(200));
    struct Case {
        const char* name;
        cv::Mat* image;
        int level, options;
    };
    const Case cases[] = {
        {"even block size", &gray, 14, 14},
        {"block size 1", &gray, 1, 14},
        {"both threshold bits with level -1", &gray, -1, 15},
        {"three channels, first pass", &color, -1, 13},
        {"three channels, second pass", &color, 15, 14},
        {"16-bit gray, fixed level", &deep, 100, DM_GLOBAL_THRESHOLD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Table table;
        EXPECT_EQ(read(*c.image, table, c.level, c.options), -1);
        EXPECT_TRUE(table.untouched());
    }
    Table table;
    EXPECT_EQ(dmReadSymbols(nullptr, table.results, &table.count, -1, 13), -1);
    EXPECT_TRUE(table.untouched());
}

TEST(ReadSymbols, ImageWithoutSymbolGivesNone) {
    FrameStyle style;
    style.noiseSigma = 6;
    cv::Mat blank = renderFrame(style, {}).image;
    cv::Mat black(480, 640, CV_8UC1, cv::Scalar(0));
    for (cv::Mat* image : {&blank, &black}) {
        for (const auto& [level, options] : {std::pair{-1, 13}, std::pair{15, 14}}) {
            SCOPED_TRACE(testing::Message() << "options " << options);
            Table table;
            EXPECT_EQ(read(*image, table, level, options), 0);
            EXPECT_EQ(table.count, 0);
        }
    }
}

TEST(ReadSymbols, NullResultsOrCountWriteNothing) {
    const SymbolFixture& f = symbolFixture("zint-20x20");
    cv::Mat frame = renderFrame(FrameStyle{}, {placeSymbol(f, {320, 240}, 5)}).image;
    IplImage ipl = cvIplImage(frame);

    Table found;
    ASSERT_EQ(dmReadSymbols(&ipl, found.results, &found.count, -1, 13), 0);
    ASSERT_EQ(found.count, 1);
    EXPECT_EQ(std::string(found.results[0].text), f.text);

    Table noCount;
    EXPECT_EQ(dmReadSymbols(&ipl, noCount.results, nullptr, -1, 13), 0);
    EXPECT_TRUE(noCount.untouched());
    Table noResults;
    EXPECT_EQ(dmReadSymbols(&ipl, nullptr, &noResults.count, -1, 13), 0);
    EXPECT_EQ(noResults.count, kUntouchedCount);

    // Nothing carries over from one call to the next: the same image gives
    // the same table, byte for byte.
    Table again;
    ASSERT_EQ(dmReadSymbols(&ipl, again.results, &again.count, -1, 13), 0);
    EXPECT_EQ(std::memcmp(found.results, again.results, sizeof(found.results)), 0);
}

TEST(ReadSymbols, MoreThanTenSymbolsGiveTheFirstTenCandidates) {
    // Twelve different symbols; the reader stops at ten, taking them in the
    // order in which their candidates were found.
    const char* names[] = {"zint-16x16", "zint-18x18",  "zint-20x20", "zint-22x22",
                           "zint-24x24", "zint-26x26",  "dmtx-c40",   "dmtx-text",
                           "zint-8x18",  "dmtx-digits", "zint-12x26", "dmtx-base256-short"};
    std::vector<SymbolPlacement> placements;
    for (int i = 0; i < 12; ++i) {
        placements.push_back(
            placeSymbol(symbolFixture(names[i]), {160.0 + 320 * (i % 4), 120.0 + 240 * (i / 4)}, 6, 10 * i));
    }
    FrameStyle style;
    style.width = 1280;
    style.height = 720;
    const RenderedFrame frame = renderFrame(style, placements);
    cv::Mat gray = frame.image;

    // Where each symbol's candidates stand in the candidate table.
    IplImage ipl = cvIplImage(gray);
    ReaderContext* context = dmCreateContext();
    dmBinarize(&ipl, -1, 13, context);
    dmFindCandidates(&ipl, context);
    std::vector<int> firstCandidate(placements.size(), DM_MAX_CANDIDATES);
    for (int k = context->candidateCount - 1; k >= 0; --k) {
        const CvPoint2D32f corner = context->candidates[k].finderCorner;
        for (size_t s = 0; s < placements.size(); ++s) {
            const cv::Point2d d = frame.corners[s][3] - cv::Point2d(corner.x, corner.y);
            if (std::hypot(d.x, d.y) < 8) firstCandidate[s] = k;
        }
    }
    dmDestroyContext(context);

    Table table;
    ASSERT_EQ(read(gray, table, -1, 13), 0);
    ASSERT_EQ(table.count, DM_MAX_RESULTS);
    int previous = -1;
    std::vector<bool> reported(placements.size(), false);
    for (int r = 0; r < table.count; ++r) {
        const std::string text = table.results[r].text;
        int s = 0;
        while (s < 12 && symbolFixture(names[s]).text != text) ++s;
        ASSERT_LT(s, 12) << "unknown text " << text;
        EXPECT_FALSE(reported[s]) << names[s] << " reported twice";
        reported[s] = true;
        EXPECT_GT(firstCandidate[s], previous) << names[s] << " out of candidate order";
        previous = firstCandidate[s];
    }
    for (size_t s = 0; s < placements.size(); ++s) {
        if (!reported[s]) {
            EXPECT_GT(firstCandidate[s], previous) << names[s] << " left out";
        }
    }
}

}  // namespace
