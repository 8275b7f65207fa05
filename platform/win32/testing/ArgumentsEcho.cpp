// Stands in for the command interpreter where a test needs to see how it was started: writes each
// argument after the program's own name on a line of its own, and ends.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <memory>

#include "platform/win32/Win32Util.h"

namespace {
// CommandLineToArgvW hands its array over to be given back with LocalFree.
struct LocalFreer {
    void operator()(LPWSTR* block) const noexcept { ::LocalFree(block); }
};
}  // namespace

int wmain() {
    int count = 0;
    const std::unique_ptr<LPWSTR, LocalFreer> arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (!arguments) return 1;
    for (int i = 1; i < count; ++i) std::printf("%s\n", tallyhive::win32::Narrow(arguments.get()[i]).c_str());
    return 0;
}
