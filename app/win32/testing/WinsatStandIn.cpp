// winsat.exe for the Windows tests: answers "formal -restart clean" as the assessment tool does, by
// writing a new formal assessment, here into the datastore the test names in
// TALLYHIVE_TEST_DATASTORE (never into the system's own). TALLYHIVE_TEST_WINSAT_EXIT makes it fail
// with that status and write nothing.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/win32/testing/AssessmentFiles.h"
#include "platform/win32/Win32Util.h"

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[1024] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, buffer, 1024);
    return length > 0 && length < 1024 ? std::wstring(buffer, length) : std::wstring();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring arguments;
    for (int i = 1; i < argc; ++i) arguments += (i > 1 ? L" " : L"") + std::wstring(argv[i]);
    const std::string shown = tallyhive::win32::Narrow(arguments);
    std::printf("winsat %s\n", shown.c_str());
    if (arguments != L"formal -restart clean") {
        std::printf("usage: winsat formal -restart clean\n");
        return 2;
    }
    const std::wstring datastore = Environment(L"TALLYHIVE_TEST_DATASTORE");
    if (datastore.empty()) {
        std::printf("no test datastore given\n");
        return 3;
    }
    if (const std::wstring status = Environment(L"TALLYHIVE_TEST_WINSAT_EXIT"); !status.empty()) {
        std::printf("cannot assess\n");
        return std::stoi(status);
    }
    std::printf("Assessing...\n");
    std::fflush(stdout);

    tallyhive::writer::AssessmentContent content;
    content.executedUtcMs = tallyhive::testing::NowUtcMs();
    content.productName = "Windows 7 Professional";
    content.systemScore = "4.8";
    content.cpuScore = "4.8";
    std::wstring written;
    std::string why;
    if (!tallyhive::testing::WriteAssessmentFile(content, datastore, written, &why)) {
        std::printf("%s\n", why.c_str());
        return 4;
    }
    std::printf("Wrote %s\n", tallyhive::win32::Narrow(written).c_str());
    return 0;
}
