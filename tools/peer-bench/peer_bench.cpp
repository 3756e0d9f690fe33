// peer-bench: reads the same frames with our reader and with the readers a
// user would pick instead, and prints per frame set and reader the symbols
// decoded correctly, wrong texts, median and 90th-percentile milliseconds per
// frame and each reader's time relative to ours.
//
//   peer-bench MANIFEST [--runs N] [--warmup N]
//
// MANIFEST (written by make_bench_frames.py) has one line per frame:
// SET<TAB>FILE[<TAB>HEX TEXT]..., one hex text per symbol in the frame.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "peer_readers.h"

namespace {

const int kDefaultRuns = 31;
const int kDefaultWarmup = 3;
// The goal: on these sets ours is at least this much faster than zxing-cpp
// with its default options.
const double kGoalRatio = 3.0;
const char* const kGoalSets[] = {"live", "empty"};

struct Frame {
    std::string file;
    cv::Mat gray;
    std::vector<std::string> expected;  // raw bytes of each symbol's text
};

struct FrameSet {
    std::string name;
    std::vector<Frame> frames;
};

struct Outcome {
    int correct = 0;
    int wrong = 0;
    int expected = 0;
    double median = 0;
    double p90 = 0;
};

std::string fromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

bool loadManifest(const std::string& path, std::vector<FrameSet>* sets) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "peer-bench: cannot read %s\n", path.c_str());
        return false;
    }
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::stringstream stream(line);
        for (std::string field; std::getline(stream, field, '\t');) fields.push_back(field);
        if (fields.size() < 2) continue;
        Frame frame;
        frame.file = fields[1];
        frame.gray = cv::imread(frame.file, cv::IMREAD_GRAYSCALE);
        if (frame.gray.empty()) {
            std::fprintf(stderr, "peer-bench: cannot read frame %s\n", frame.file.c_str());
            return false;
        }
        for (size_t i = 2; i < fields.size(); ++i) frame.expected.push_back(fromHex(fields[i]));
        auto set = std::find_if(sets->begin(), sets->end(),
                                [&](const FrameSet& s) { return s.name == fields[0]; });
        if (set == sets->end()) {
            sets->push_back(FrameSet{fields[0], {}});
            set = sets->end() - 1;
        }
        set->frames.push_back(frame);
    }
    return true;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const double position = fraction * (values.size() - 1);
    const size_t low = static_cast<size_t>(std::floor(position));
    const size_t high = std::min(values.size() - 1, low + 1);
    return values[low] + (values[high] - values[low]) * (position - low);
}

// Counts texts found in expected (each expected symbol matched once) as
// correct and every other text as wrong.
void score(const std::vector<std::string>& found, std::vector<std::string> expected, Outcome* out) {
    out->expected += static_cast<int>(expected.size());
    for (const std::string& text : found) {
        const auto match = std::find(expected.begin(), expected.end(), text);
        if (match != expected.end()) {
            ++out->correct;
            expected.erase(match);
        } else {
            ++out->wrong;
        }
    }
}

Outcome measure(const BenchReader& reader, const FrameSet& set, int runs, int warmup) {
    using Clock = std::chrono::steady_clock;
    Outcome outcome;
    std::vector<double> times;
    for (const Frame& frame : set.frames) {
        score(reader.read(frame.gray), frame.expected, &outcome);
        for (int i = 0; i < warmup; ++i) reader.read(frame.gray);
        for (int i = 0; i < runs; ++i) {
            const Clock::time_point start = Clock::now();
            const std::vector<std::string> texts = reader.read(frame.gray);
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }
    outcome.median = percentile(times, 0.5);
    outcome.p90 = percentile(times, 0.9);
    return outcome;
}

void printStageProfile(const FrameSet& set, int runs) {
    // Per pass: binarization, candidates, analysis times and candidate counts.
    std::vector<double> times[2][3];
    int candidates[2] = {0, 0};
    int passRuns[2] = {0, 0};
    for (const Frame& frame : set.frames) {
        for (int i = 0; i < runs; ++i) {
            StageTimes t;
            profileKelvraneStages(frame.gray, &t);
            for (int pass = 0; pass < t.passes; ++pass) {
                times[pass][0].push_back(t.binarize[pass]);
                times[pass][1].push_back(t.candidates[pass]);
                times[pass][2].push_back(t.analysis[pass]);
                candidates[pass] += t.candidateCount[pass];
                ++passRuns[pass];
            }
        }
    }
    const int frameRuns = static_cast<int>(set.frames.size()) * runs;
    for (int pass = 0; pass < 2; ++pass) {
        if (passRuns[pass] == 0) continue;
        std::printf("  kelvrane pass %d (run on %d%% of frames), median ms: binarization %.3f, "
                    "candidates %.3f, analysis+sampling+decoding %.3f; %.1f candidates per frame\n",
                    pass + 1, 100 * passRuns[pass] / frameRuns, percentile(times[pass][0], 0.5),
                    percentile(times[pass][1], 0.5), percentile(times[pass][2], 0.5),
                    static_cast<double>(candidates[pass]) / passRuns[pass]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string manifest;
    int runs = kDefaultRuns;
    int warmup = kDefaultWarmup;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--runs" || arg == "--warmup") && i + 1 < argc) {
            (arg == "--runs" ? runs : warmup) = std::max(arg == "--runs" ? 1 : 0, std::atoi(argv[++i]));
        } else if (manifest.empty() && arg[0] != '-') {
            manifest = arg;
        } else {
            std::fprintf(stderr, "usage: peer-bench MANIFEST [--runs N] [--warmup N]\n");
            return 2;
        }
    }
    if (manifest.empty()) {
        std::fprintf(stderr, "usage: peer-bench MANIFEST [--runs N] [--warmup N]\n");
        return 2;
    }
    std::vector<FrameSet> sets;
    if (!loadManifest(manifest, &sets)) return 1;

    std::vector<BenchReader> readers = {{"kelvrane", readWithKelvrane}};
#ifdef KELVRANE_HAVE_ZXING
    readers.push_back({"zxing-cpp default", readWithZxingDefault});
    readers.push_back({"zxing-cpp fastest", readWithZxingFastest});
#endif
#ifdef KELVRANE_HAVE_DMTX
    readers.push_back({"libdmtx first, " + std::to_string(kDmtxTimeLimitMs) + " ms", readWithDmtx});
#endif

    std::printf("%d timed runs per frame after %d warm-up runs; times in ms per frame\n", runs, warmup);
    std::map<std::string, std::map<std::string, Outcome>> all;
    for (const FrameSet& set : sets) {
        int symbols = 0;
        for (const Frame& frame : set.frames) symbols += static_cast<int>(frame.expected.size());
        std::printf("\n%s: %zu frame(s) of %dx%d, %d symbol(s)\n", set.name.c_str(), set.frames.size(),
                    set.frames[0].gray.cols, set.frames[0].gray.rows, symbols);
        std::printf("  %-24s %9s %6s %10s %9s %12s\n", "reader", "correct", "wrong", "median", "p90",
                    "time / ours");
        double ours = 0;
        for (const BenchReader& reader : readers) {
            const Outcome o = measure(reader, set, runs, warmup);
            if (reader.name == "kelvrane") ours = o.median;
            all[set.name][reader.name] = o;
            const std::string correct = std::to_string(o.correct) + "/" + std::to_string(o.expected);
            std::printf("  %-24s %9s %6d %10.3f %9.3f %11.2fx\n", reader.name.c_str(), correct.c_str(),
                        o.wrong, o.median, o.p90, ours > 0 ? o.median / ours : 0.0);
        }
        printStageProfile(set, runs);
    }

#ifdef KELVRANE_HAVE_ZXING
    std::printf("\ngoal: at least %.0fx faster than zxing-cpp default on the live and empty frames, "
                "every live symbol decoded, no wrong text\n", kGoalRatio);
    bool met = true;
    for (const char* name : kGoalSets) {
        if (!all.count(name)) continue;
        const Outcome& ours = all[name]["kelvrane"];
        const Outcome& zxing = all[name]["zxing-cpp default"];
        const double ratio = ours.median > 0 ? zxing.median / ours.median : 0;
        std::printf("  %-6s zxing-cpp default / kelvrane = %.2fx (%s)\n", name, ratio,
                    ratio >= kGoalRatio ? "met" : "missed");
        met = met && ratio >= kGoalRatio;
    }
    if (all.count("live")) {
        const Outcome& live = all["live"]["kelvrane"];
        std::printf("  live   decoded %d of %d\n", live.correct, live.expected);
        met = met && live.correct == live.expected;
    }
    int wrong = 0;
    for (auto& set : all) wrong += set.second["kelvrane"].wrong;
    std::printf("  wrong texts from kelvrane over all sets: %d\n", wrong);
    met = met && wrong == 0;
    std::printf("  goal %s\n", met ? "met" : "missed");
#endif
    return 0;
}
