// The readers peer-bench compares. Each reads one 8-bit gray frame and returns
// the texts (raw bytes) it decoded. The peers are optional: each is compiled
// only where its development package is installed.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>

struct BenchReader {
    std::string name;
    // Reads one continuous 8-bit gray frame.
    std::vector<std::string> (*read)(const cv::Mat& gray);
};

// Ours, exactly as the live frame loop reads (two passes).
std::vector<std::string> readWithKelvrane(const cv::Mat& gray);

#ifdef KELVRANE_HAVE_ZXING
// zxing-cpp, DataMatrix only, with its default options.
std::vector<std::string> readWithZxingDefault(const cv::Mat& gray);
// zxing-cpp, DataMatrix only, with everything that costs time switched off.
std::vector<std::string> readWithZxingFastest(const cv::Mat& gray);
#endif

#ifdef KELVRANE_HAVE_DMTX
// Time limit libdmtx is given per frame.
constexpr int kDmtxTimeLimitMs = 100;
// libdmtx, stopping after the first symbol, within kDmtxTimeLimitMs.
std::vector<std::string> readWithDmtx(const cv::Mat& gray);
#endif

// Milliseconds of our reader's stages on one frame, per pass as run (the
// second pass runs only when the first found nothing).
struct StageTimes {
    double binarize[2] = {0, 0};
    double candidates[2] = {0, 0};
    double analysis[2] = {0, 0};  // timing sides, sampling and ECC 200 decoding of all candidates
    int candidateCount[2] = {0, 0};
    int passes = 0;
};
bool profileKelvraneStages(const cv::Mat& gray, StageTimes* times);
