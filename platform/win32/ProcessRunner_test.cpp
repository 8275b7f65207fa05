// The Windows command interpreter under Wine: the command line typed into it, its output relayed and
// the program's status passed on. Wine's cmd differs from Windows' in its banner and in echoing
// typed lines, so the tests look for the program's own output rather than the whole transcript.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "remeasure/ConsoleCommand.h"
#include "remeasure/Remeasure.h"

namespace tallyhive {
namespace {

std::string SystemProgram(const char* name) {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    std::string path;
    for (UINT i = 0; i < length; ++i) path += static_cast<char>(folder[i]);
    return path + "\\" + name;
}

// Wine's cmd ends a bare "exit" with 0 instead of the status of the last command, as Windows' cmd
// does; there the program's status cannot be seen through the interpreter.
bool UnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

TEST(Win32RunConsoleCommand, RelaysOutputAndPassesTheStatusOn) {
    const auto processes = MakeProcessService();
    const std::uint32_t three = UnderWine() ? 0 : 3;
    struct Case {
        const char* arguments;
        std::uint32_t status;
        const char* output;
    };
    const Case cases[] = {{"/c echo hello-from-cmd", 0, "hello-from-cmd"}, {"/c exit 3", three, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::string output;
        std::uint32_t status = 99;
        std::string why;
        ASSERT_TRUE(RunConsoleCommand(
            *processes, SystemProgram("cmd.exe"), c.arguments, status,
            [&](std::string_view chunk) { output.append(chunk); }, &why))
            << why;
        EXPECT_EQ(status, c.status);
        EXPECT_NE(output.find(c.output), std::string::npos) << output;
    }
}

TEST(Win32RunConsoleCommand, AnInterpreterThatCannotStartIsAFailure) {
    const auto processes = MakeProcessService("C:\\no\\such\\interpreter.exe");
    std::uint32_t status = 7;
    std::string why;
    EXPECT_FALSE(RunConsoleCommand(*processes, "x", "", status, nullptr, &why));
    EXPECT_EQ(status, 7u);
    EXPECT_FALSE(why.empty());
}

TEST(Win32TempFolder, AFreshFolderAndAFileHeldAgainstReplacement) {
    const auto temp = MakeTempFolderService();
    std::string folder, why;
    ASSERT_TRUE(temp->CreatePrivateFolder(folder, &why)) << why;
    std::string other;
    ASSERT_TRUE(temp->CreatePrivateFolder(other, &why));
    EXPECT_NE(folder, other);
    const std::string path = folder + "\\AssessRunner.exe";
    const unsigned char bytes[] = {'M', 'Z', 0, 1, 2};
    {
        auto held = temp->WriteExecutable(path, bytes, &why);
        ASSERT_TRUE(held) << why;
        // While held, nobody can open it for writing or replace it.
        const HANDLE writer = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
        EXPECT_FALSE(temp->WriteExecutable(path, bytes, &why)) << "never written over";
    }
    EXPECT_TRUE(temp->RemoveFile(path));
    EXPECT_TRUE(temp->RemoveFolder(folder));
    EXPECT_TRUE(temp->RemoveFolder(other));
}

}  // namespace
}  // namespace tallyhive
