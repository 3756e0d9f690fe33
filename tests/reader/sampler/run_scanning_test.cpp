// Run scanning and the timing-line sweep: sample positions, truncation,
// clipping to the image, the run cap, and the sweep's acceptance and tie rules.
#include <cmath>
#include <limits>
#include <memory>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "reader/reader_internal.h"
#include "sampler_test_images.h"

namespace {

constexpr double kPi8 = 0.39269908169872414;
constexpr double kPi16 = 0.19634954084936207;

// The profile as text: "L1 D3 ..." (light/dark and length per run).
std::string profileText() {
    const RunProfile& p = dmRunProfile();
    std::string s;
    for (int i = 0; i < p.runCount; ++i) {
        if (i) s += ' ';
        s += p.runLight[i] ? 'L' : 'D';
        s += std::to_string(p.runLength[i]);
    }
    return s;
}

std::vector<std::string> transpose(const std::vector<std::string>& rows) {
    std::vector<std::string> out(rows[0].size(), std::string(rows.size(), '.'));
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x) out[x][y] = rows[y][x];
    return out;
}

TEST(RunScanning, SamplePositionsAndClipping) {
    // Row 0: dark for x < 10, light after; row 1: ".###...".
    const std::string darkLeft = std::string(10, '#') + std::string(20, '.');
    const std::string startLight = "." + std::string(3, '#') + std::string(26, '.');
    struct Case {
        const char* what;
        bool transposed;  // scan the same pattern down a column with a kind 2 line
        double x0, y0, x1, y1;
        LineEquation line;
        const char* runs;
    };
    const Case cases[] = {
        // one step before the start, the end included: x = 9 .. 20
        {"forward", false, 10.3, 0, 20.2, 0, {1, 0, 0}, "D1 L11"},
        // x = 21 .. 10
        {"backward", false, 20.2, 0, 10.3, 0, {1, 0, 0}, "L12"},
        {"kind 2 forward", true, 0, 10.3, 0, 20.2, {2, 0, 0}, "D1 L11"},
        {"kind 2 backward", true, 0, 20.2, 0, 10.3, {2, 0, 0}, "L12"},
        // a single point scans forward: x = 9, 10
        {"one point", false, 10.0, 0, 10.0, 0, {1, 0, 0}, "D1 L1"},
        {"kind 2 one point", true, 0, 10.0, 0, 10.0, {2, 0, 0}, "D1 L1"},
        // the step before lies outside: the first sample inside opens run 0
        {"start at edge", false, -1.5, 1, 5.0, 1, {1, 0, 1}, "L1 D3 L2"},
        // truncation toward zero samples x = 0 twice (-0.7 and 0.3)
        {"truncation at zero", false, -1.2, 1, 1.0, 1, {1, 0, 1}, "L2 D1"},
        // samples whose minor coordinate leaves the image are skipped
        {"minor outside", false, 0, 0, 29, 0, {1, 1, -1.5f}, "D2"},
        {"wholly outside", false, 40, 0, 60, 0, {1, 0, 0}, ""},
        {"behind the image", false, -60, 0, -40, 0, {1, 0, 0}, ""},
        {"failure marker", false, 10, 0, 20, 0, {DM_LINE_FAILED, 0, 0}, ""},
        {"not a number", false, std::nan(""), 0, 20, 0, {1, 0, 0}, ""},
    };
    const TestImage rows({darkLeft, startLight});
    const TestImage columns(transpose({darkLeft, startLight}));
    for (const Case& c : cases) {
        dmScanRuns(c.transposed ? columns.image : rows.image, c.x0, c.y0, c.x1, c.y1, c.line);
        EXPECT_EQ(profileText(), c.runs) << c.what;
    }
}

TEST(RunScanning, StopsAtRunCapacity) {
    TestImage image(1400, 1);
    for (int x = 0; x < 1400; x += 2) image.set(x, 0);
    dmScanRuns(image.image, 0, 0, 1300, 0, {1, 0, 0});
    EXPECT_EQ(dmRunProfile().runCount, DM_MAX_RUNS);
    dmScanRuns(image.image, 0, 0, 1000, 0, {1, 0, 0});
    EXPECT_EQ(dmRunProfile().runCount, 1001);
}

TEST(RunScanning, GarbageLinesStayInsideAndEnd) {
    TestImage image(20, 20);
    image.fillRect(5, 5, 9, 9);
    const double huge = 1e30;
    const double inf = std::numeric_limits<double>::infinity();
    const LineEquation lines[] = {{1, 0, 7}, {2, 0, 7}, {1, 1e30f, 0}, {2, -1e30f, 1e30f},
                                  {1, std::nanf(""), 0}};
    const double ends[][4] = {{-huge, 0, huge, 0}, {huge, huge, -huge, -huge},
                              {0, -inf, 0, inf}, {-1e12, -1e12, 1e12, 1e12}, {3, 3, 3, 3}};
    for (const LineEquation& l : lines)
        for (const auto& e : ends) {
            dmScanRuns(image.image, e[0], e[1], e[2], e[3], l);
            EXPECT_LE(dmRunProfile().runCount, DM_MAX_RUNS);
        }
    // A long finite scan across the image sees the image's pixels, x = 0
    // twice as every scan from the left does (truncation toward zero).
    dmScanRuns(image.image, -1e9, 0, 1e9, 0, {1, 0, 7});
    EXPECT_EQ(profileText(), "L6 D5 L10");
}

TEST(RunScanning, ProfileBelongsToItsThread) {
    // A scan on another thread between a scan and the reading of its profile
    // leaves this thread's profile as it was.
    const TestImage mine({"..####...."});
    const TestImage theirs({"#.#.#.#.#."});
    dmScanRuns(mine.image, 1, 0, 9, 0, {1, 0, 0});
    std::promise<std::string> other;
    std::thread worker([&] {
        dmScanRuns(theirs.image, 1, 0, 9, 0, {1, 0, 0});
        other.set_value(profileText());
    });
    const std::string otherRuns = other.get_future().get();
    worker.join();
    EXPECT_EQ(otherRuns, "D1 L1 D1 L1 D1 L1 D1 L1 D1 L1");
    EXPECT_EQ(profileText(), "L2 D4 L4");
}

TEST(RunScanning, CountInnerRuns) {
    struct Case {
        std::string row;
        int inner;
    };
    const Case cases[] = {
        {"..##..", 1},     // light, dark, light
        {"......", 0},     // one light run
        {"##..##", 3},     // dark, light, dark
        {"######", 1},
        {"..####", 1},
        {"##.#.#..", 5},
    };
    for (const Case& c : cases) {
        const TestImage image({c.row});
        // from x = 1 so that the step before lands on x = 0
        const double end = static_cast<double>(c.row.size()) - 1;
        EXPECT_EQ(dmCountInnerRuns(image.image, {1, 0, 0}, 1, 0, end, 0), c.inner) << c.row;
    }
    const TestImage image({"##.."});
    EXPECT_EQ(dmCountInnerRuns(image.image, {1, 0, 0}, 10, 0, 20, 0), 0);  // empty profile
}

TEST(RunScanning, RunVariance) {
    const int32_t lengths[] = {5, 5, 5, 5, 5, 5, 9, 1};
    EXPECT_DOUBLE_EQ(dmRunVariance(6, 5.0, lengths), 0.0);
    EXPECT_DOUBLE_EQ(dmRunVariance(8, 5.0, lengths), 32.0 / 8);
}

// Vertical stripes: every kind 1 line sees the same x pattern, whatever its
// turn. Dark first run of 5 (x = 9 .. 13), five more runs of 5, then dark to
// the right edge.
TestImage* stripes() {
    auto* image = new TestImage(60, 41);
    for (int x = 9; x < 60; ++x) {
        const bool dark = x >= 39 || ((x - 9) / 5) % 2 == 0;
        if (dark) image->fillRect(x, 0, x, 40);
    }
    return image;
}

bool sameLine(const LineEquation& a, const LineEquation& b) {
    return a.kind == b.kind && std::fabs(a.slope - b.slope) < 1e-6f &&
           std::fabs(a.intercept - b.intercept) < 1e-4f;
}

TEST(TimingLine, AcceptanceAndTieRules) {
    std::unique_ptr<TestImage> image(stripes());
    const LineEquation guess{1, 0, 20};
    const CvPoint2D32f from = cvPoint2D32f(10, 20);
    struct Case {
        const char* what;
        float length;  // distance from -> toward
        int steps;
        double halfRange;
        bool unturned;  // else the turn right after the first acceptable one
    };
    const Case cases[] = {
        // runs 5 x 6 then the long last run: accepted at every turn; the first
        // and the one right after are both taken, later equal scores are not
        {"L = 40, N = 40", 40, 40, kPi8, false},
        {"L = 40, N = 20", 40, 20, kPi16, false},
        {"L = 40, reversed sweep", 40, 40, -kPi8, false},
        // total 30 is not above 0.6 x 60: nothing accepted, but the variance
        // was low, so the unturned line comes back rather than a failure
        {"L = 60", 60, 40, kPi8, true},
    };
    for (const Case& c : cases) {
        const CvPoint2D32f toward = cvPoint2D32f(10 + c.length, 20);
        const LineEquation got = dmFindTimingLine(image->image, guess, c.steps, from, toward,
                                                  c.halfRange);
        const LineEquation expect =
            c.unturned ? guess
                       : dmRotateLine(guess, c.halfRange - c.halfRange / c.steps, from);
        EXPECT_TRUE(sameLine(got, expect))
            << c.what << ": got " << got.kind << "/" << got.slope << "/" << got.intercept;
    }
    const TestImage blank(60, 41);
    EXPECT_EQ(dmFindTimingLine(blank.image, guess, 40, from, cvPoint2D32f(50, 20), kPi8).kind,
              DM_LINE_FAILED);
}

// Stripes of 4 dark and 6 light pixels from x = 9 in a band of rows
// 30 - halfWidth .. 30 + halfWidth, light elsewhere: the more a turn of the
// line y = 30 leans, the sooner it leaves the band, so later turns of a sweep
// from the widest see more runs, all with variance near 1.
TestImage* stripedBand(int halfWidth) {
    auto* image = new TestImage(160, 61);
    for (int x = 9; x < 160; ++x)
        if ((x - 9) % 10 < 4) image->fillRect(x, 30 - halfWidth, x, 30 + halfWidth);
    return image;
}

TEST(TimingLine, PenaltyOfLaterTurns) {
    // From (10, 30) over 100 pixels. The first acceptable turn and the one
    // right after are taken; from then on a turn wins only with a strictly
    // lower sqrt(var + penalty) / m^1.7, the penalty being the turn's count
    // since the first acceptable one, less 2 (N = 40) or less 1 (N = 20).
    struct Case {
        int halfWidth, steps;
        double halfRange;
        int chosen;  // j of the returned turn
    };
    const Case cases[] = {
        // j 36 (13 runs) first, j 37 (17 runs) next; j 38 covers all 20 runs
        // but its penalty of 1 makes sqrt(2) / 20^1.7 lose to 1 / 17^1.7
        {2, 40, kPi8, 37},
        // j 6, then j 7 with penalty 1; j 8 (15 runs, penalty 2) beats it,
        // j 9 (penalty 3) and j 10 (17 runs, penalty 4) do not; the sweep
        // stops at j 11
        {8, 20, kPi16, 8},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TestImage> image(stripedBand(c.halfWidth));
        const LineEquation guess{1, 0, 30};
        const CvPoint2D32f from = cvPoint2D32f(10, 30);
        const LineEquation got = dmFindTimingLine(image->image, guess, c.steps, from,
                                                  cvPoint2D32f(110, 30), c.halfRange);
        const double turn = c.halfRange - c.chosen * c.halfRange / c.steps;
        EXPECT_TRUE(sameLine(got, dmRotateLine(guess, turn, from)))
            << "N " << c.steps << ": got " << got.kind << "/" << got.slope << "/" << got.intercept;
    }
}

// A one-pixel timing row along direction phi from (10, 20): 5-pixel modules,
// dark first, over 100 pixels; light everywhere else.
void drawTimingRow(TestImage& image, double phi) {
    const double slope = std::tan(phi);
    for (int x = 10; x < 110; ++x) {
        if (((x - 10) / 5) % 2 != 0) continue;
        const int y = static_cast<int>(std::floor(20 + slope * (x - 10) + 0.5));
        image.set(x, y);
    }
}

TEST(TimingLine, FindsTheTurnOfATiltedPattern) {
    struct Case {
        double phi;  // true direction of the pattern
        double halfRange;
        int steps;
    };
    const double unit = M_PI / 320;
    const Case cases[] = {
        {5 * unit, kPi8, 40},   {5 * unit, -kPi8, 40}, {-7 * unit, kPi8, 40},
        {-7 * unit, -kPi8, 40}, {3 * unit, kPi16, 20}, {0.0, kPi8, 40},
    };
    for (const Case& c : cases) {
        TestImage image(140, 41);
        drawTimingRow(image, c.phi);
        const LineEquation got = dmFindTimingLine(image.image, {1, 0, 20}, c.steps,
                                                  cvPoint2D32f(10, 20), cvPoint2D32f(110, 20),
                                                  c.halfRange);
        ASSERT_EQ(got.kind, DM_LINE_X_MAJOR) << c.phi;
        EXPECT_NEAR(std::atan(got.slope), c.phi, 1e-4) << "phi " << c.phi << " h " << c.halfRange;
        EXPECT_NEAR(got.slope * 10 + got.intercept, 20, 1e-4);  // still through the start
    }
}

}  // namespace
