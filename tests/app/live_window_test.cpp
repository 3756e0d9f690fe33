// The real program under a virtual X server, fed by the capture library's
// test camera with frames of known symbols: the window is found, its title,
// top-most state and fixed size are read back, a screenshot shows the picture
// with a red outline around each symbol and its text on a white band, and
// the program ends promptly and cleanly when asked to close.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/result_overlay.h"
#include "frame_renderer.h"
#include "symbol_fixtures.h"

extern char** environ;

namespace {

const int kClientWidth = 640;
const int kClientHeight = 480;
const char* const kFixtures[] = {"dmtx-ascii-16x16", "zint-24x24"};
const double kSymbolCentresX[] = {180, 460};
const double kSymbolCentreY = 300;
const double kModulePixels = 7;

std::string workDir() {
    static std::string dir = [] {
        char pattern[] = "/tmp/kelvrane-live-XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made ? made : "/tmp");
    }();
    return dir;
}

// The scratch folder goes when the tests are done.
struct ScratchCleanup : ::testing::Environment {
    void TearDown() override { std::filesystem::remove_all(workDir()); }
};
const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new ScratchCleanup);

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A child process that is always ended and reaped, whatever the test does.
class Child {
public:
    // Runs argv with the environment given (NAME=value entries; "-NAME"
    // removes a variable); stdout and stderr go to files.
    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::string& outputStem, int extraFd = -1) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            bool replaced = false;
            for (const std::string& change : environment) {
                const std::string name = change[0] == '-' ? change.substr(1) : change.substr(0, change.find('='));
                if (entry.compare(0, name.size() + 1, name + "=") == 0) replaced = true;
            }
            if (!replaced) env.push_back(entry);
        }
        for (const std::string& change : environment)
            if (change[0] != '-') env.push_back(change);
        std::vector<char*> args, envp;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);

        stdoutPath = outputStem + ".out";
        stderrPath = outputStem + ".err";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (extraFd >= 0) posix_spawn_file_actions_adddup2(&actions, extraFd, 3);
        const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (failed) pid = -1;
        return pid > 0;
    }

    // The exit status, or -1 if it did not end within the time.
    int waitFor(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (pid > 0) {
            int status = 0;
            const pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() > end) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    void signal(int number) {
        if (pid > 0) kill(pid, number);
    }

    // Asked to end first, so that a server removes its lock files.
    ~Child() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        if (waitFor(std::chrono::seconds(3)) == -1 && pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    pid_t pid = -1;
    std::string stdoutPath;
    std::string stderrPath;
};

// Output of a short command, run to its end.
std::string run(const std::vector<std::string>& argv, const std::string& display) {
    Child child;
    static int serial = 0;
    const std::string stem = workDir() + "/cmd" + std::to_string(serial++);
    if (!child.start(argv, {"DISPLAY=" + display}, stem)) return "";
    child.waitFor(std::chrono::seconds(20));
    return readFile(child.stdoutPath);
}

// A virtual X server on a display number it picks itself.
class VirtualDisplay {
public:
    bool start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        const bool started = server.start({"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten",
                                           "tcp", "-noreset"},
                                          {}, workDir() + "/xvfb", fds[1]);
        close(fds[1]);
        if (!started) {
            close(fds[0]);
            return false;
        }
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return false;
        name = ":" + number;
        return true;
    }

    Child server;
    std::string name;
};

// XWD screenshots: the header's big-endian 32-bit fields, then the colour
// map, then the pixels (32 bits each on a 24-bit TrueColor screen).
cv::Mat readXwd(const std::string& path) {
    const std::string data = readFile(path);
    auto field = [&data](int index) -> uint32_t {
        const size_t at = static_cast<size_t>(index) * 4;
        if (data.size() < at + 4) return 0;
        const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
        return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    };
    const uint32_t headerSize = field(0), width = field(4), height = field(5), byteOrder = field(7);
    const uint32_t bitsPerPixel = field(11), bytesPerLine = field(12);
    const uint32_t redMask = field(14), greenMask = field(15), blueMask = field(16), colours = field(19);
    const size_t pixelsAt = headerSize + static_cast<size_t>(colours) * 12;
    if (bitsPerPixel != 32 || width == 0 || height == 0 ||
        data.size() < pixelsAt + static_cast<size_t>(bytesPerLine) * height)
        return cv::Mat();
    auto shiftOf = [](uint32_t mask) {
        int s = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++s;
        }
        return s;
    };
    cv::Mat image(static_cast<int>(height), static_cast<int>(width), CV_8UC3);
    for (uint32_t y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const unsigned char*>(data.data() + pixelsAt + y * bytesPerLine);
        for (uint32_t x = 0; x < width; ++x) {
            const unsigned char* p = row + 4 * x;
            const uint32_t v = byteOrder == 0 ? (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) |
                                                    (uint32_t(p[1]) << 8) | p[0]
                                              : (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) |
                                                    (uint32_t(p[2]) << 8) | p[3];
            image.at<cv::Vec3b>(static_cast<int>(y), static_cast<int>(x)) =
                cv::Vec3b(static_cast<uchar>((v & blueMask) >> shiftOf(blueMask)),
                          static_cast<uchar>((v & greenMask) >> shiftOf(greenMask)),
                          static_cast<uchar>((v & redMask) >> shiftOf(redMask)));
        }
    }
    return image;
}

// The camera picture: two real symbols, upright, on a light background.
RenderedFrame cameraPicture() {
    FrameStyle style;
    style.color = true;
    style.width = kClientWidth;
    style.height = kClientHeight;
    std::vector<SymbolPlacement> placements;
    for (int i = 0; i < 2; ++i) {
        const SymbolFixture& fixture = symbolFixture(kFixtures[i]);
        SymbolPlacement placement;
        placement.modules = fixture.modules;
        placement.rows = fixture.rows;
        placement.cols = fixture.cols;
        placement.center = cv::Point2d(kSymbolCentresX[i], kSymbolCentreY);
        placement.modulePixels = kModulePixels;
        placements.push_back(placement);
    }
    return renderFrame(style, placements);
}

// Where the bands and texts of the results would be drawn, in this order.
cv::Mat expectedBands(const cv::Mat& picture, const std::vector<std::string>& texts) {
    cv::Mat drawn = picture.clone();
    IplImage frame = cvIplImage(drawn);
    std::vector<DecodedSymbol> results(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        std::memset(&results[i], 0, sizeof results[i]);
        // Outlines far away from the bands, so that only bands and texts count.
        for (int k = 0; k < 4; ++k) results[i].corners[k] = cvPoint(600, 470);
        std::snprintf(results[i].text, sizeof results[i].text, "%s", texts[i].c_str());
    }
    drawResults(&frame, results.data(), static_cast<int>(results.size()));
    return drawn;
}

bool redNear(const cv::Mat& image, cv::Point2d p, int reach) {
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
            const int x = cvRound(p.x) + dx, y = cvRound(p.y) + dy;
            if (x < 0 || y < 0 || x >= image.cols || y >= image.rows) continue;
            const cv::Vec3b v = image.at<cv::Vec3b>(y, x);
            if (v[2] > 200 && v[1] < 60 && v[0] < 60) return true;
        }
    return false;
}

std::string windowId(const std::string& display) {
    const std::string info = run({"xwininfo", "-name", "Kelvrane"}, display);
    const size_t at = info.find("Window id: ");
    if (at == std::string::npos) return "";
    return info.substr(at + 11, info.find(' ', at + 11) - (at + 11));
}

}  // namespace

TEST(LiveWindow, ShowsTheAnnotatedPictureInAFixedTopMostWindowAndClosesCleanly) {
    VirtualDisplay display;
    ASSERT_TRUE(display.start()) << "Xvfb could not be started";

    // The test camera delivers this picture, over and over.
    RenderedFrame picture = cameraPicture();
    const std::string framePath = workDir() + "/frame.png";
    ASSERT_TRUE(cv::imwrite(framePath, picture.image));

    Child program;
    ASSERT_TRUE(program.start({KELVRANE_PROGRAM},
                              {"DISPLAY=" + display.name, "SDL_VIDEODRIVER=x11",
                               std::string(KELVRANE_TEST_CAMERA_VARIABLE) + "=" + framePath,
                               "LSAN_OPTIONS=suppressions=" LSAN_SUPPRESSIONS},
                              workDir() + "/kelvrane"));

    std::string window;
    for (int i = 0; i < 200 && window.empty(); ++i) {
        window = windowId(display.name);
        if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(window.empty()) << readFile(program.stderrPath);

    const std::string properties = run({"xprop", "-id", window}, display.name);
    EXPECT_NE(properties.find("WM_NAME(STRING) = \"Kelvrane\""), std::string::npos) << properties;
    EXPECT_NE(properties.find("_NET_WM_STATE_ABOVE"), std::string::npos) << properties;
    // Fixed size: the smallest and the largest size the window asks for are
    // both its client area.
    EXPECT_NE(properties.find("program specified minimum size: 640 by 480"), std::string::npos) << properties;
    EXPECT_NE(properties.find("program specified maximum size: 640 by 480"), std::string::npos) << properties;

    // The picture comes after the second of settling; wait for its outlines.
    const std::string shotPath = workDir() + "/window.xwd";
    cv::Mat shot;
    bool outlined = false;
    for (int attempt = 0; attempt < 60 && !outlined; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        run({"xwd", "-silent", "-id", window, "-out", shotPath}, display.name);
        shot = readXwd(shotPath);
        if (shot.cols != kClientWidth || shot.rows != kClientHeight) continue;
        outlined = true;
        for (const SymbolCorners& corners : picture.corners)
            for (const cv::Point2d& corner : corners) outlined = outlined && redNear(shot, corner, 3);
    }
    ASSERT_EQ(shot.cols, kClientWidth);
    ASSERT_EQ(shot.rows, kClientHeight);
    cv::imwrite(SCREENSHOT_PATH, shot);
    EXPECT_TRUE(outlined) << "no red outline around every symbol; screenshot at " << SCREENSHOT_PATH;

    // The picture itself, away from bands and outlines, is the camera's. The
    // control's sunken edge covers the outermost pixels.
    const cv::Rect plain(1, 100, kClientWidth - 2, 80);
    EXPECT_LE(cv::norm(shot(plain), picture.image(plain), cv::NORM_INF), 8);

    // The texts on their white bands, in one of the two orders the reader may report.
    const std::string first = symbolFixture(kFixtures[0]).text, second = symbolFixture(kFixtures[1]).text;
    const cv::Rect bands(1, 1, 519, 63);
    double best = 1e9;
    for (const auto& texts : {std::vector<std::string>{first, second}, std::vector<std::string>{second, first}}) {
        cv::Mat expected = expectedBands(picture.image, texts);
        cv::Mat difference;
        cv::absdiff(shot(bands), expected(bands), difference);
        cv::Mat gray;
        cv::cvtColor(difference, gray, cv::COLOR_BGR2GRAY);
        best = std::min(best, static_cast<double>(cv::countNonZero(gray > 40)));
    }
    EXPECT_LT(best, 20) << "bands differ from the decoded texts by " << best << " pixels";

    // Closing ends the program at once, with status 0 and nothing on standard error.
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitFor(std::chrono::seconds(5)), 0);
    const std::string errors = readFile(program.stderrPath);
    EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
}

TEST(LiveWindow, WithoutADisplaySaysSoAndExitsWithOne) {
    Child program;
    ASSERT_TRUE(program.start({KELVRANE_PROGRAM}, {"-DISPLAY", "-WAYLAND_DISPLAY", "SDL_VIDEODRIVER=x11"},
                              workDir() + "/nodisplay"));
    EXPECT_EQ(program.waitFor(std::chrono::seconds(20)), 1);
    EXPECT_EQ(readFile(program.stderrPath), "Error: Cannot create window\n");
}
