// Shared by the capture tests: standard output capture and a fixture that
// installs the fake platform with scripted devices.
#pragma once

#include "capture_input.h"
#include "dshow_fake.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

// Collects what the process writes to one of its standard streams between
// start and take (the library prints with printf, GStreamer warns on stderr).
class StreamCapture {
public:
    StreamCapture(FILE* stream, int fd) : stream_(stream), fd_(fd) { start(); }
    ~StreamCapture() {
        if (saved_ >= 0) take();
    }
    void start() {
        fflush(stream_);
        file_ = tmpfile();
        saved_ = dup(fd_);
        dup2(fileno(file_), fd_);
    }
    std::string take() {
        fflush(stream_);
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
        std::string text;
        rewind(file_);
        char chunk[4096];
        size_t got;
        while ((got = fread(chunk, 1, sizeof(chunk), file_)) > 0) text.append(chunk, got);
        fclose(file_);
        return text;
    }

private:
    FILE* stream_;
    int fd_;
    FILE* file_ = nullptr;
    int saved_ = -1;
};

struct StdoutCapture : StreamCapture {
    StdoutCapture() : StreamCapture(stdout, STDOUT_FILENO) {}
};

struct StderrCapture : StreamCapture {
    StderrCapture() : StreamCapture(stderr, STDERR_FILENO) {}
};

class FakeCameraTest : public ::testing::Test {
protected:
    void install(const std::vector<FakeDevice>& devices) { fakeInstall(devices); }
    void SetUp() override {
        objectsBefore_ = fakeLiveObjects();
        memoryBefore_ = fakeTaskMemoryBlocks();
        install({FakeDevice{}});
    }
    void TearDown() override {
        fakeUninstall();
        EXPECT_EQ(fakeLiveObjects(), objectsBefore_) << "platform objects leaked";
        EXPECT_EQ(fakeTaskMemoryBlocks(), memoryBefore_) << "task memory leaked";
    }

private:
    long objectsBefore_ = 0;
    long memoryBefore_ = 0;
};

inline const char* kBanner = "\n***** KELVRANE CAPTURE LIBRARY - 1.0000 *****\n\n";
inline const char* kReadyLines =
    "SETUP: Capture callback set\n"
    "SETUP: Device is setup and ready to capture.\n\n";
