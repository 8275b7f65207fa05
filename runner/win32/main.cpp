// AssessRunner.exe: runs the assessment tool with the administrator rights its manifest asks for, in
// the console window it runs in. Takes no arguments; ends with 0 when the interpreter ran to its end
// and 1 when it could not be started.
#include <windows.h>

#include <string>

#include "platform/Processes.h"
#include "runner/AssessRunner.h"

namespace {

unsigned MajorVersion() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(&version)) return 0;
#pragma GCC diagnostic pop
    return version.dwMajorVersion;
}

std::optional<bool> UnderWow64() {
    BOOL wow64 = TRUE;
    if (!::IsWow64Process(::GetCurrentProcess(), &wow64)) return std::nullopt;
    return wow64 != FALSE;
}

}  // namespace

int wmain() {
    const HANDLE console = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const tallyhive::OutputSink toConsole = [console](std::string_view chunk) {
        DWORD written = 0;
        ::WriteFile(console, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
    };
    auto processes = tallyhive::MakeProcessService();
    return tallyhive::RunAssessment(*processes, tallyhive::WindowsWinsatPath(MajorVersion(), UnderWow64()),
                                    toConsole);
}
