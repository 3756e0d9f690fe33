// The platform's entry point: runs WinMain with the program's module and
// turns its result into the usual exit status.
#include "resources.h"

namespace {

const int kLoopEnded = 1;  // WinMain's result once the message loop has ended

}  // namespace

int main() {
    char commandLine[] = "";
    const int result = WinMain(&kelvraneModule, nullptr, commandLine, SW_SHOWDEFAULT);
    return result == kLoopEnded ? 0 : 1;
}
