// The platform's entry point: runs WinMain with the program's module and
// turns its result into the usual exit status.
#include <cstdio>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "resources.h"

namespace {

const int kLoopEnded = 1;  // WinMain's result once the message loop has ended

}  // namespace

int main() {
    char commandLine[] = "";
    const int status = WinMain(&kelvraneModule, nullptr, commandLine, SW_SHOWDEFAULT) == kLoopEnded ? 0 : 1;
    // The worker is never stopped: the process ends under it, as the
    // platform's process exit does. Ending it without running static
    // destructors keeps them from pulling state out from under the worker.
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    _exit(status);
}
