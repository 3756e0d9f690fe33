// kelvrane-read: reads DataMatrix symbols from image files, as the live window
// reads camera frames.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

#include "app/result_overlay.h"
#include "read_tool.h"

namespace {

const char kToolName[] = "kelvrane-read";
const int kExitRead = 0;       // every file was read, symbols found or not
const int kExitUnreadable = 1; // some file could not be read (or annotated)
const int kExitUsage = 2;

const char kUsage[] =
    "usage: kelvrane-read [--json] [--annotate DIR] [--time] FILE...\n"
    "Try 'kelvrane-read --help' for more information.\n";

const char kHelp[] =
    "NAME\n"
    "    kelvrane-read - read DataMatrix (ECC 200) symbols from image files\n"
    "\n"
    "SYNOPSIS\n"
    "    kelvrane-read [--json] [--annotate DIR] [--time] [--] FILE...\n"
    "\n"
    "DESCRIPTION\n"
    "    Loads each FILE (PNG, JPEG, BMP, PNM, TIFF, WebP, as OpenCV reads them),\n"
    "    converts it to 8-bit gray and reads it as the live window reads a\n"
    "    camera frame: first with Otsu's global threshold and, only if that\n"
    "    finds nothing, again with an adaptive threshold. Up to ten symbols\n"
    "    are reported per image.\n"
    "\n"
    "    For every decoded symbol one line is printed on standard output:\n"
    "\n"
    "        FILE<TAB>TEXT\n"
    "\n"
    "    FILE exactly as given; TEXT the symbol's bytes with \\ written as \\\\,\n"
    "    line feed as \\n, carriage return as \\r, tab as \\t, printable ASCII\n"
    "    (0x20 to 0x7E) as it is and every other byte as \\xHH. An image without\n"
    "    a symbol prints nothing.\n"
    "\n"
    "OPTIONS\n"
    "    --json\n"
    "        Print one JSON object per line and symbol instead:\n"
    "        {\"file\":..., \"text\":..., \"escaped\":..., \"hex\":..., \"corners\":...,\n"
    "        \"pass\":...}. text is the symbol's text when its bytes are valid\n"
    "        UTF-8; otherwise it is the escaped form described above and\n"
    "        escaped is true. hex holds the exact bytes. corners are four [x, y]\n"
    "        pixel points: the far end of the first finder side, the corner\n"
    "        opposite the finder corner, the far end of the second finder side,\n"
    "        and the finder corner. pass is 1 when the global threshold found\n"
    "        the symbol, 2 when the adaptive one did.\n"
    "\n"
    "    --annotate DIR, --annotate=DIR\n"
    "        Also write each image, with the outline and text of every symbol\n"
    "        drawn as the live window draws them, as a PNG into DIR (created\n"
    "        when missing). The name is the input's file name with the\n"
    "        extension .png; an input file itself, or a file already written by\n"
    "        this run, is never overwritten: such names get -2, -3, ... added.\n"
    "\n"
    "    --time\n"
    "        Print per file the reader's own time in milliseconds (loading\n"
    "        excluded) on standard error: FILE<TAB>MS ms.\n"
    "\n"
    "    -h, --help\n"
    "        Print this text and exit.\n"
    "\n"
    "    --\n"
    "        End of options; every later argument is a FILE.\n"
    "\n"
    "DIAGNOSTICS\n"
    "    A file that is missing or not a readable image prints\n"
    "        kelvrane-read: cannot read FILE: REASON\n"
    "    on standard error, and the remaining files are still read. Images\n"
    "    larger than 67108864 pixels are refused before they are decoded. An\n"
    "    image on which both reader passes fail is reported the same way,\n"
    "    with the reason \"the reader failed on this image\".\n"
    "\n"
    "EXIT STATUS\n"
    "    0  every file was read (whether or not it held a symbol)\n"
    "    1  at least one file could not be read, or an annotated copy or the\n"
    "       output could not be written\n"
    "    2  usage error\n"
    "\n"
    "EXAMPLES\n"
    "    kelvrane-read samples/*.png\n"
    "    kelvrane-read --json --annotate out/annotated photo.jpg\n";

struct Arguments {
    bool json = false;
    bool time = false;
    bool help = false;
    std::string annotateDir;  // empty: no annotation
    std::vector<std::string> files;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n%s", kToolName, message.c_str(), kUsage);
    return kExitUsage;
}

// Returns -1 when the arguments are sound, else the exit status.
int parseArguments(int argc, char** argv, Arguments* args) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            args->files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--json") {
            args->json = true;
        } else if (arg == "--time") {
            args->time = true;
        } else if (arg == "--help" || arg == "-h") {
            args->help = true;
        } else if (arg == "--annotate" || arg.rfind("--annotate=", 0) == 0) {
            std::string dir;
            if (arg == "--annotate") {
                if (i + 1 >= argc) return usageError("option '--annotate' needs a directory");
                dir = argv[++i];
            } else {
                dir = arg.substr(std::strlen("--annotate="));
            }
            if (dir.empty()) return usageError("option '--annotate' needs a directory");
            args->annotateDir = dir;
        } else {
            return usageError("unknown option '" + arg + "'");
        }
    }
    if (args->help) return -1;
    if (args->files.empty()) return usageError("no image file given");
    return -1;
}

// Where the annotated copy of one input goes; never an input file and never
// a file this run has written already.
class AnnotationNames {
public:
    AnnotationNames(const std::string& dir, const std::vector<std::string>& inputs) : dir_(dir) {
        for (const std::string& input : inputs) {
            std::error_code error;
            const std::filesystem::path canonical = std::filesystem::weakly_canonical(input, error);
            if (!error) taken_.insert(canonical.string());
        }
    }

    std::string next(const std::string& input) {
        std::string stem = std::filesystem::path(input).stem().string();
        if (stem.empty() || stem == "." || stem == "..") stem = "image";
        for (int n = 1;; ++n) {
            const std::string name = n == 1 ? stem : stem + "-" + std::to_string(n);
            const std::filesystem::path candidate = std::filesystem::path(dir_) / (name + ".png");
            std::error_code error;
            const std::filesystem::path canonical =
                std::filesystem::weakly_canonical(candidate, error);
            const std::string key = error ? candidate.string() : canonical.string();
            if (taken_.insert(key).second) return candidate.string();
        }
    }

private:
    std::string dir_;
    std::set<std::string> taken_;
};

bool writeAnnotated(const std::string& outPath, LoadedImage* image, const FrameReading& reading,
                    std::string* reason) {
    try {
        if (reading.count > 0) drawResults(image->colour, reading.symbols, reading.count);
        if (cv::imwrite(outPath, cv::cvarrToMat(image->colour))) return true;
        *reason = "OpenCV could not write the PNG";
    } catch (const cv::Exception& e) {
        *reason = "OpenCV could not write the PNG (" + e.err + ")";
    } catch (const std::bad_alloc&) {
        *reason = "out of memory";
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    const int status = parseArguments(argc, argv, &args);
    if (status >= 0) return status;
    if (args.help) {
        std::fputs(kHelp, stdout);
        return kExitRead;
    }
    // OpenCV's own warnings would mix with our one-line diagnostics.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);

    int exitStatus = kExitRead;
    bool annotate = !args.annotateDir.empty();
    if (annotate) {
        std::error_code error;
        std::filesystem::create_directories(args.annotateDir, error);
        if (error || !std::filesystem::is_directory(args.annotateDir)) {
            const std::string reason = error ? error.message() : std::strerror(ENOTDIR);
            std::fprintf(stderr, "%s: cannot write %s: %s\n", kToolName, args.annotateDir.c_str(),
                         reason.c_str());
            exitStatus = kExitUnreadable;
            annotate = false;  // the texts are still worth printing
        }
    }
    AnnotationNames names(annotate ? args.annotateDir : std::string(), args.files);

    FrameReading reading;
    int outputError = 0;  // errno of the first failed write of the texts
    for (const std::string& file : args.files) {
        LoadedImage image;
        std::string reason;
        if (!loadImage(file, &image, &reason)) {
            std::fflush(stdout);
            std::fprintf(stderr, "%s: cannot read %s: %s\n", kToolName, file.c_str(), reason.c_str());
            exitStatus = kExitUnreadable;
            continue;
        }
        readFrame(image.gray, &reading);
        if (reading.failed) {
            std::fflush(stdout);
            std::fprintf(stderr, "%s: cannot read %s: the reader failed on this image\n", kToolName,
                         file.c_str());
            exitStatus = kExitUnreadable;
        }
        for (int i = 0; i < reading.count; ++i) {
            const std::string line = args.json ? jsonLine(file, reading.symbols[i], reading.pass)
                                               : plainLine(file, reading.symbols[i]);
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fputc('\n', stdout);
        }
        if (std::fflush(stdout) != 0 && outputError == 0) outputError = errno;
        if (args.time) std::fprintf(stderr, "%s\t%.3f ms\n", file.c_str(), reading.milliseconds);
        if (annotate) {
            const std::string outPath = names.next(file);
            if (!writeAnnotated(outPath, &image, reading, &reason)) {
                std::fprintf(stderr, "%s: cannot write %s: %s\n", kToolName, outPath.c_str(),
                             reason.c_str());
                exitStatus = kExitUnreadable;
            }
        }
        releaseLoadedImage(&image);
    }
    // Texts that never reached their reader (a full disk, a closed pipe) must
    // not end in success.
    if (std::fflush(stdout) != 0 && outputError == 0) outputError = errno;
    if (outputError != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "%s: cannot write standard output: %s\n", kToolName,
                     outputError != 0 ? std::strerror(outputError) : "write error");
        exitStatus = kExitUnreadable;
    }
    return exitStatus;
}
