// kelvrane-read as its users run it: the real binary, its output streams and
// its exit status.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

class KelvraneRead : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvrane-read-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path path(const std::string& name) const { return dir_ / name; }

    // A small gray PNG without a symbol.
    fs::path blankPng(const std::string& name) const {
        cv::Mat image(48, 64, CV_8UC1, cv::Scalar(200));
        cv::imwrite(path(name).string(), image);
        return path(name);
    }

    ToolRun run(const std::vector<std::string>& args, const char* stdoutPath = nullptr) const {
        const fs::path outPath = stdoutPath ? fs::path(stdoutPath) : dir_ / ".stdout";
        const fs::path errPath = dir_ / ".stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> all = {KELVRANE_READ_BINARY};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        ToolRun result;
        pid_t pid;
        if (posix_spawn(&pid, KELVRANE_READ_BINARY, &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        if (!stdoutPath) result.out = readFile(outPath);
        result.err = readFile(errPath);
        return result;
    }

    fs::path dir_;
};

TEST_F(KelvraneRead, UnreadableFilesAreNamedAndTheRestStillRead) {
    const fs::path blank = blankPng("blank.png");
    writeFile(path("notes.txt"), "this is not an image\n");
    writeFile(path("empty.png"), "");
    const std::string png = readFile(blank);
    writeFile(path("truncated.png"), png.substr(0, png.size() / 2));
    writeFile(path("truncated-header.png"), png.substr(0, 20));
    // A valid header claiming 40000 x 40000 pixels and no pixel data.
    std::string huge = png.substr(0, 33);
    huge.replace(16, 8, std::string("\x00\x00\x9c\x40\x00\x00\x9c\x40", 8));
    writeFile(path("huge.png"), huge);

    const struct {
        std::string file;
        std::string reason;
    } cases[] = {
        {path("missing.png").string(), "No such file or directory"},
        {path("notes.txt").string(), "not an image file (unknown format)"},
        {path("empty.png").string(), "empty file"},
        {path("truncated.png").string(), "truncated or damaged PNG data"},
        {path("truncated-header.png").string(), "truncated or damaged PNG data"},
        {path("huge.png").string(), "image too large (40000 x 40000 pixels, at most 67108864)"},
        {dir_.string(), "Is a directory"},
    };
    for (const auto& c : cases) {
        const ToolRun r = run({c.file, blank.string()});
        EXPECT_EQ(r.status, 1) << c.file;
        EXPECT_EQ(r.err, "kelvrane-read: cannot read " + c.file + ": " + c.reason + "\n");
        EXPECT_EQ(r.out, "");
    }
    const ToolRun good = run({blank.string(), blank.string()});
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out, "");
    EXPECT_EQ(good.err, "");
}

TEST_F(KelvraneRead, UsageErrorsExitWithTwoAndTheUsage) {
    const std::string blank = blankPng("blank.png").string();
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--json"},
        {"--frobnicate", blank},
        {"-x", blank},
        {blank, "--annotate"},
        {"--annotate=", blank},
    };
    for (const auto& args : cases) {
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("usage: kelvrane-read [--json] [--annotate DIR] [--time] FILE..."),
                  std::string::npos) << r.err;
        EXPECT_EQ(r.err.rfind("kelvrane-read: ", 0), 0u) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // After "--" a leading dash names a file.
    const ToolRun dashed = run({"--", "-odd-name.png"});
    EXPECT_EQ(dashed.status, 1);
    EXPECT_EQ(dashed.err, "kelvrane-read: cannot read -odd-name.png: No such file or directory\n");
}

TEST_F(KelvraneRead, HelpIsAManualPage) {
    const ToolRun r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char* section : {"NAME\n", "SYNOPSIS\n", "DESCRIPTION\n", "OPTIONS\n", "EXIT STATUS\n",
                                "--json", "--annotate DIR", "--time"}) {
        EXPECT_NE(r.out.find(section), std::string::npos) << section;
    }
    EXPECT_EQ(run({"-h", "--nonsense-after-help-is-still-an-error"}).status, 2);
}

TEST_F(KelvraneRead, AnnotateWritesPngsWithoutOverwritingInputs) {
    const fs::path blank = blankPng("frame.png");
    fs::create_directories(path("other"));
    cv::imwrite(path("other/frame.jpg").string(), cv::Mat(30, 40, CV_8UC3, cv::Scalar(10, 20, 30)));
    const fs::path outDir = path("out/annotated");  // made by the tool

    const ToolRun r = run({"--annotate", outDir.string(), "--time", blank.string(),
                       path("other/frame.jpg").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    const cv::Mat first = cv::imread((outDir / "frame.png").string(), cv::IMREAD_UNCHANGED);
    const cv::Mat second = cv::imread((outDir / "frame-2.png").string(), cv::IMREAD_UNCHANGED);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(first.size(), cv::Size(64, 48));
    EXPECT_EQ(first.channels(), 3);
    EXPECT_EQ(second.size(), cv::Size(40, 30));
    const std::vector<std::string> timings = lines(r.err);
    ASSERT_EQ(timings.size(), 2u) << r.err;
    EXPECT_TRUE(std::regex_match(timings[0], std::regex(".*/frame\\.png\t[0-9]+\\.[0-9]{3} ms")))
        << timings[0];

    // Annotating into the input's own folder must leave the input alone.
    const std::string before = readFile(blank);
    EXPECT_EQ(run({"--annotate", dir_.string(), blank.string()}).status, 0);
    EXPECT_EQ(readFile(blank), before);
    EXPECT_TRUE(fs::exists(path("frame-2.png")));

    // An annotation folder that cannot be made: the files are still read.
    writeFile(path("plain-file"), "x");
    const ToolRun blocked = run({"--annotate", path("plain-file/sub").string(), blank.string()});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(blocked.err.rfind("kelvrane-read: cannot write " + path("plain-file/sub").string(), 0), 0u)
        << blocked.err;
}

TEST_F(KelvraneRead, LostOutputIsAFailure) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(KELVRANE_SAMPLES_DIR)) {
        if (entry.path().extension() == ".png") files.push_back(entry.path().string());
    }
    const ToolRun r = run(files, "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kelvrane-read: cannot write standard output: No space left on device\n");
}

// Expected output of the committed samples: samples/samples.txt holds the
// lines kelvrane-read prints for them, FILE relative to samples/.
std::vector<std::string> expectedSampleLines() {
    std::vector<std::string> out;
    for (const std::string& line : lines(readFile(fs::path(KELVRANE_SAMPLES_DIR) / "samples.txt"))) {
        if (!line.empty() && line[0] != '#') out.push_back(line);
    }
    return out;
}

std::vector<std::string> sampleFiles() {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(KELVRANE_SAMPLES_DIR)) {
        if (entry.path().extension() == ".png") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST_F(KelvraneRead, DecodesTheSamples) {
    const std::vector<std::string> files = sampleFiles();
    ASSERT_FALSE(files.empty());
    const ToolRun r = run(files);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> got;
    const std::string prefix = std::string(KELVRANE_SAMPLES_DIR) + "/";
    for (std::string line : lines(r.out)) {
        if (line.rfind(prefix, 0) == 0) line.erase(0, prefix.size());
        got.push_back(line);
    }
    std::vector<std::string> expected = expectedSampleLines();
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);

    // The same symbols as JSON: one object per line with every field.
    const ToolRun json = run({"--json", files.front()});
    const std::regex shape(
        "\\{\"file\":\"[^\"]+\",\"text\":\"([^\"\\\\]|\\\\.)*\",\"escaped\":(true|false),"
        "\"hex\":\"([0-9a-f]{2})*\",\"corners\":\\[(\\[-?[0-9]+,-?[0-9]+\\],?){4}\\],"
        "\"pass\":[12]\\}");
    for (const std::string& line : lines(json.out)) {
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
    }
}

}  // namespace
