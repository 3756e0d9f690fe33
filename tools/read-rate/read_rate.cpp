// Read-rate harness: renders real symbols into camera-like 640 x 480 frames
// over a grid of module sizes, rotations, tilts, blur and noise, runs the two
// passes of the frame loop (global threshold with zoom, then the adaptive
// threshold only when nothing was found) stage by stage, and prints the share
// of frames read per module size, symbol size, rotation and tilt, together
// with the analysis statuses of the candidates, so that the main causes of
// failure show.
//
// A frame counts as read when the symbol's text comes back and every
// reported corner lies within one module of the true one.
//
//   kelvrane_read_rate [--symbols name,name,...] [--modules 3,4,...]
//                      [--blur sigma] [--noise sigma] [--options first,second]
//                      [--ideal] [--list]
//
// --options replaces the option words of the two passes (13,14 by default;
// 5,6 drop the correction-count check); --list prints one line per frame
// that was not read, with its seed; --ideal hands the analysis one candidate
// built from the symbol's true corners instead of the finder's, so that the
// sampler's own losses show apart from the locator's.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/core/core_c.h>

#include "candidate_from_corners.h"
#include "frame_renderer.h"
#include "reader/reader_internal.h"
#include "symbol_fixtures.h"

namespace {

// The frame loop's two passes.
constexpr int kFirstOptions = 13;
constexpr int kFirstLevel = -1;
constexpr int kSecondOptions = 14;
constexpr int kSecondLevel = 15;

constexpr double kDefaultBlurSigma = 0.8;
constexpr double kDefaultNoiseSigma = 5.0;
// Frames whose symbol (with its quiet zone) would not lie this many pixels
// inside the frame are left out of the grid.
constexpr double kFrameMargin = 4.0;

const char* const kDefaultSymbols[] = {
    "dmtx-ascii-10x10", "zint-12x12",       "dmtx-ascii-16x16", "zint-20x20",
    "dmtx-ascii-24x24", "zint-32x32",       "dmtx-ascii-40x40", "zint-52x52",
    "dmtx-ascii-64x64", "zint-72x72",       "dmtx-ascii-8x18",  "zint-16x36"};
const double kDefaultModules[] = {3, 4, 5, 6, 8};
const double kRotations[] = {0, 37, 90, 143, 210, 300};
struct Tilt {
    double x, y;
};
const Tilt kTilts[] = {{0, 0}, {25, 0}, {0, 25}, {15, 15}};

// Status of a candidate whose analysis threw (the reader call would fail).
constexpr int kThrew = -1;

struct Tally {
    int frames = 0;
    int read = 0;
};

struct PassOutcome {
    int candidates = 0;
    std::vector<int> statuses;  // one per analysed candidate
    std::vector<double> farErrors;  // far-corner error in modules, per candidate that reached sampling
    int farOutward = 0;             // of those more than a module off: farther from the finder corner than the truth
    int farInward = 0;              // ... nearer to it
    std::vector<std::string> countErrors;  // per candidate with status 103: which count went which way
    std::vector<double> countFarErrors;    // their far-corner errors, in modules
    bool decodedRight = false;  // the right text came back
    bool read = false;          // ... with corners within one module
};

// Progress of a candidate through the stages: a higher rank got farther.
int rank(int status) {
    switch (status) {
        case 0: return 100;
        case 113: return 90;
        case 112: return 80;
        case 111: return 70;
        case 105: return 60;
        case 104: return 50;
        case 103: return 40;
        case 6: return 30;
        case 5: return 20;
        case 2: return 10;
        default: return 0;
    }
}

std::string statusName(int status) {
    switch (status) {
        case 0: return "0 decoded";
        case 2: return "2 not convex";
        case 5: return "5 no timing A";
        case 6: return "6 no timing B";
        case 103: return "103 counts/size";
        case 104: return "104 no inner edge";
        case 105: return "105 cells";
        case 111: return "111 uncorrectable";
        case 112: return "112 decode failed";
        case 113: return "113 corrections";
        case kThrew: return "threw";
        default: return std::to_string(status);
    }
}

std::string direction(int counted, int modules) {
    if (counted == modules) return "ok";
    return counted > modules ? "high" : "low";
}

// A candidate that failed on its module counts is still in hand-over form:
// counts the two timing sides again and says which one is wrong, and how.
std::string countError(ReaderContext* context, int index, const SymbolFixture& f) {
    const SymbolCandidate& c = context->candidates[index];
    const int cols = dmCountInnerRuns(context->sampled, c.timingLineB, c.finderCorner.x, c.finderCorner.y,
                                      c.finderEndA.x, c.finderEndA.y) + 1;
    const int rows = dmCountInnerRuns(context->sampled, c.timingLineA, c.finderEndB.x, c.finderEndB.y,
                                      c.finderEndA.x, c.finderEndA.y) + 1;
    // A square symbol may be read with its sides exchanged; rectangles only upright.
    return "top " + direction(cols, f.cols) + ", right " + direction(rows, f.rows);
}

PassOutcome runPass(IplImage* gray, int options, int level, const SymbolFixture& f,
                    const SymbolCorners& truth, double module, bool ideal) {
    PassOutcome out;
    ReaderContext* context = dmCreateContext();
    context->options = options;
    try {
        dmBinarize(gray, level, options, context);
        if (ideal) {
            candidateFromCorners(context->bilevel, truth, true, &context->candidates[0]);
            context->candidateCount = 1;
        } else {
            dmFindCandidates(gray, context);
        }
    } catch (...) {
        out.statuses.push_back(kThrew);
        dmDestroyContext(context);
        return out;
    }
    out.candidates = context->candidateCount;
    for (int i = 0; i < context->candidateCount && context->resultCount < DM_MAX_RESULTS; ++i) {
        int status;
        try {
            status = dmAnalyzeCandidate(context, i);
        } catch (...) {
            status = kThrew;
        }
        out.statuses.push_back(status);
        if (status == 0 || status > 100) {
            // The outline was written before sampling; its corner 1 is the far corner.
            const CvPoint& p = context->results[context->resultCount - (status == 0 ? 1 : 0)].corners[1];
            out.farErrors.push_back(std::hypot(p.x - truth[1].x, p.y - truth[1].y) / module);
            if (out.farErrors.back() > 1) {
                const double reported = std::hypot(p.x - truth[3].x, p.y - truth[3].y);
                const double expected = std::hypot(truth[1].x - truth[3].x, truth[1].y - truth[3].y);
                ++(reported > expected ? out.farOutward : out.farInward);
            }
        }
        if (status == 103) {
            out.countErrors.push_back(countError(context, i, f));
            out.countFarErrors.push_back(out.farErrors.back());
        }
        if (context->zoomMode == 1 && context->zoomed != nullptr) cvReleaseImage(&context->zoomed);
    }
    for (int i = 0; i < context->resultCount; ++i) {
        const DecodedSymbol& r = context->results[i];
        if (f.text != std::string(r.text)) continue;
        out.decodedRight = true;
        if (matchesCorners(truth, r.corners, module)) out.read = true;
    }
    dmDestroyContext(context);
    return out;
}

std::vector<std::string> splitList(const char* s) {
    std::vector<std::string> out;
    std::stringstream in(s);
    std::string item;
    while (std::getline(in, item, ',')) if (!item.empty()) out.push_back(item);
    return out;
}

void printTable(const char* title, const std::map<std::string, Tally>& table) {
    std::printf("\n%s\n", title);
    for (const auto& [key, t] : table)
        std::printf("  %-18s %5d / %5d  %5.1f%%\n", key.c_str(), t.read, t.frames,
                    t.frames ? 100.0 * t.read / t.frames : 0.0);
}

std::string number(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

std::string padded(int v, int width) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*d", width, v);
    return buffer;
}

void printErrors(const char* title, const std::vector<double>& errors) {
    if (errors.empty()) return;
    int within1 = 0, within2 = 0;
    for (double e : errors) {
        if (e <= 1) ++within1;
        else if (e <= 2) ++within2;
    }
    const int n = static_cast<int>(errors.size());
    std::printf("\n%s (%d)\n", title, n);
    std::printf("  within 1 module %5.1f%%, 1 to 2 modules %5.1f%%, farther %5.1f%%\n", 100.0 * within1 / n,
                100.0 * within2 / n, 100.0 * (n - within1 - within2) / n);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> symbols(std::begin(kDefaultSymbols), std::end(kDefaultSymbols));
    std::vector<double> modules(std::begin(kDefaultModules), std::end(kDefaultModules));
    bool list = false;
    bool ideal = false;
    double blur = kDefaultBlurSigma;
    double noise = kDefaultNoiseSigma;
    int firstOptions = kFirstOptions;
    int secondOptions = kSecondOptions;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--symbols") && i + 1 < argc) {
            symbols = splitList(argv[++i]);
        } else if (!std::strcmp(argv[i], "--modules") && i + 1 < argc) {
            modules.clear();
            for (const std::string& m : splitList(argv[++i])) modules.push_back(std::atof(m.c_str()));
        } else if (!std::strcmp(argv[i], "--blur") && i + 1 < argc) {
            blur = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--noise") && i + 1 < argc) {
            noise = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--options") && i + 1 < argc) {
            const std::vector<std::string> words = splitList(argv[++i]);
            if (words.size() != 2) {
                std::fprintf(stderr, "--options takes two option words\n");
                return 2;
            }
            firstOptions = std::atoi(words[0].c_str());
            secondOptions = std::atoi(words[1].c_str());
        } else if (!std::strcmp(argv[i], "--ideal")) {
            ideal = true;
        } else if (!std::strcmp(argv[i], "--list")) {
            list = true;
        } else {
            std::fprintf(stderr, "usage: %s [--symbols name,...] [--modules 3,4,...] [--blur s] [--noise s] "
                         "[--options first,second] [--ideal] [--list]\n", argv[0]);
            return 2;
        }
    }

    Tally all;
    std::map<std::string, Tally> byModule, bySize, byRotation, byTilt;
    std::map<std::string, int> frameFailures;  // most advanced status of each unread frame
    std::map<int, int> candidateStatuses;      // every analysed candidate, both passes
    std::map<std::string, int> countErrors;    // candidates with status 103
    int secondPassReads = 0;
    std::vector<double> farErrors;  // candidates that reached sampling
    std::vector<double> countFarErrors;  // those of them that failed on their counts
    int farOutward = 0, farInward = 0;
    unsigned seed = 1;

    for (const std::string& name : symbols) {
        const SymbolFixture& f = symbolFixture(name);
        for (double module : modules)
            for (double rotation : kRotations)
                for (const Tilt& tilt : kTilts) {
                    FrameStyle style;
                    style.blurSigma = blur;
                    style.noiseSigma = noise;
                    style.seed = seed++;
                    SymbolPlacement s;
                    s.modules = f.modules;
                    s.rows = f.rows;
                    s.cols = f.cols;
                    s.center = cv::Point2d(style.width / 2.0, style.height / 2.0);
                    s.modulePixels = module;
                    s.rotationDegrees = rotation;
                    s.tiltXDegrees = tilt.x;
                    s.tiltYDegrees = tilt.y;
                    RenderedFrame frame = renderFrame(style, {s});
                    const SymbolCorners& truth = frame.corners[0];
                    // The quiet zone reaches about two modules past the corners.
                    bool fits = true;
                    const double reach = s.quietModules * module * 1.5 + kFrameMargin;
                    for (const cv::Point2d& p : truth)
                        if (p.x < reach || p.y < reach || p.x > style.width - reach || p.y > style.height - reach)
                            fits = false;
                    if (!fits) continue;

                    IplImage gray = cvIplImage(frame.image);
                    const PassOutcome first = runPass(&gray, firstOptions, kFirstLevel, f, truth, module, ideal);
                    PassOutcome second;
                    const bool firstFoundAny = std::any_of(first.statuses.begin(), first.statuses.end(),
                                                           [](int st) { return st == 0; });
                    if (!firstFoundAny) second = runPass(&gray, secondOptions, kSecondLevel, f, truth, module, ideal);
                    const bool read = first.read || second.read;
                    if (!first.read && second.read) ++secondPassReads;

                    const std::string sizeKey = padded(f.rows, 3) + "x" + std::to_string(f.cols);
                    const std::string rotationKey = padded(static_cast<int>(rotation), 3);
                    const std::string tiltKey = number(tilt.x) + "/" + number(tilt.y);
                    for (Tally* t : {&all, &byModule[padded(static_cast<int>(module), 2) + " px"], &bySize[sizeKey],
                                     &byRotation[rotationKey], &byTilt[tiltKey]}) {
                        ++t->frames;
                        if (read) ++t->read;
                    }
                    for (const PassOutcome* p : {&first, static_cast<const PassOutcome*>(&second)}) {
                        for (int st : p->statuses) ++candidateStatuses[st];
                        farErrors.insert(farErrors.end(), p->farErrors.begin(), p->farErrors.end());
                        for (const std::string& e : p->countErrors) ++countErrors[e];
                        farOutward += p->farOutward;
                        farInward += p->farInward;
                        countFarErrors.insert(countFarErrors.end(), p->countFarErrors.begin(),
                                              p->countFarErrors.end());
                    }
                    if (read) continue;

                    std::string cause;
                    if (first.decodedRight || second.decodedRight) {
                        cause = "decoded, corners off";
                    } else if (first.candidates == 0 && second.candidates == 0) {
                        cause = "no candidate";
                    } else {
                        int best = kThrew;
                        for (const PassOutcome* p : {&first, static_cast<const PassOutcome*>(&second)})
                            for (int st : p->statuses)
                                if (rank(st) > rank(best) || best == kThrew) best = st;
                        cause = statusName(best);
                    }
                    ++frameFailures[cause];
                    if (list)
                        std::printf("unread %-18s module %g rotation %g tilt %s seed %u: %s (candidates %d/%d)%s%s\n",
                                    name.c_str(), module, rotation, tiltKey.c_str(), style.seed, cause.c_str(),
                                    first.candidates, second.candidates,
                                    first.countErrors.empty() ? "" : ("; first pass " + first.countErrors[0]).c_str(),
                                    second.countErrors.empty() ? "" : ("; second pass " + second.countErrors[0]).c_str());
                }
    }

    std::printf("frames read: %d / %d  %.1f%% (second pass read %d)\n", all.read, all.frames,
                all.frames ? 100.0 * all.read / all.frames : 0.0, secondPassReads);
    printTable("by module size", byModule);
    printTable("by symbol size (rows x cols)", bySize);
    printTable("by rotation (degrees)", byRotation);
    printTable("by tilt (x/y degrees)", byTilt);
    std::printf("\nunread frames by the farthest any candidate got\n");
    for (const auto& [cause, n] : frameFailures) std::printf("  %-22s %5d\n", cause.c_str(), n);
    std::printf("\nall analysed candidates by status\n");
    for (const auto& [st, n] : candidateStatuses) std::printf("  %-22s %5d\n", statusName(st).c_str(), n);
    std::printf("\ncandidates with status 103: module counts along the corrected sides\n");
    for (const auto& [e, n] : countErrors) std::printf("  %-22s %5d\n", e.c_str(), n);
    printErrors("far corner after the sweep, candidates that reached sampling", farErrors);
    printErrors("far corner after the sweep, candidates that failed on their counts", countFarErrors);
    std::printf("  far corners more than a module off: %d farther from the finder corner than the truth, %d nearer\n",
                farOutward, farInward);
    return 0;
}
