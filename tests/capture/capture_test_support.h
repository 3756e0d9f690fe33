// Shared by the capture tests: standard output capture and a fixture that
// installs the fake platform with scripted devices.
#pragma once

#include "capture_input.h"
#include "dshow_fake.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

// Collects what the process writes to standard output between start and
// take (the library prints with printf).
class StdoutCapture {
public:
    StdoutCapture() { start(); }
    ~StdoutCapture() {
        if (saved_ >= 0) take();
    }
    void start() {
        fflush(stdout);
        file_ = tmpfile();
        saved_ = dup(STDOUT_FILENO);
        dup2(fileno(file_), STDOUT_FILENO);
    }
    std::string take() {
        fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
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
    FILE* file_ = nullptr;
    int saved_ = -1;
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
