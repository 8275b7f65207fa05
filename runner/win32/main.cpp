// AssessRunner.exe: runs the assessment tool with the administrator rights its manifest asks for, in
// the console window it runs in. The program starts it without arguments; it ends with 0 when the
// interpreter ran to its end and 1 when it could not be started. --help and --version answer and end
// without running anything; any other argument is a usage error (2).
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/Processes.h"
#include "runner/AssessRunner.h"
#include "tallyhive_version.h"

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

int wmain(int argc, wchar_t** argv) {
    const HANDLE console = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const tallyhive::OutputSink toConsole = [console](std::string_view chunk) {
        DWORD written = 0;
        ::WriteFile(console, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
    };
    if (argc > 1) {
        const std::wstring_view word = argv[1];
        if (argc == 2 && word == L"--version") {
            toConsole("AssessRunner " TALLYHIVE_VERSION "\n");
            return 0;
        }
        const bool help = argc == 2 && word == L"--help";
        const std::string_view usage =
            "usage: AssessRunner [--help | --version]\n"
            "Runs the assessment tool (winsat formal) and shows what it writes.\n"
            "The program starts it without arguments.\n";
        if (!help) {
            DWORD written = 0;
            ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), usage.data(), static_cast<DWORD>(usage.size()),
                        &written, nullptr);
            return 2;
        }
        toConsole(usage);
        return 0;
    }
    auto processes = tallyhive::MakeProcessService();
    return tallyhive::RunAssessment(*processes, tallyhive::WindowsWinsatPath(MajorVersion(), UnderWow64()),
                                    toConsole);
}
