// The Windows command interpreter under Wine: the command line typed into it, its output relayed and
// the program's status passed on. Wine's cmd differs from Windows' in its banner and in echoing
// typed lines, so the tests look for the program's own output rather than the whole transcript.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/Processes.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Util.h"
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

// A line the console's code page cannot hold would run something other than what was asked: it is
// never typed. (The temporary folder sees to it that the runner's own path always can be typed.)
TEST(Win32RunConsoleCommand, ALineOutsideTheConsolePageIsNeverTyped) {
    const auto processes = MakeProcessService();
    std::string bytes;
    ASSERT_FALSE(win32::EncodeExactly(L"\u65e5\u672c", win32::ConsoleInputCodePage(), bytes));
    std::uint32_t status = 7;
    std::string output, why;
    EXPECT_FALSE(RunConsoleCommand(
        *processes, SystemProgram("cmd.exe"), "/c echo marker-\xE6\x97\xA5\xE6\x9C\xAC", status,
        [&](std::string_view chunk) { output.append(chunk); }, &why));
    EXPECT_EQ(output.find("marker-"), std::string::npos) << output;
    EXPECT_EQ(status, 7u);
}

// The interpreter shares this program's console: Ctrl+C or Ctrl+Break there would end this program
// in the middle of the run and leave the runner behind. While the run lasts the run's own handler
// takes them. A handler of the test's, set before the run, would be asked only after it (the newest
// handler is asked first) and so tells whether an event got past the run's handler; it also keeps
// this test program alive if one does.
std::atomic<int> g_breaksPastTheRun{0};
BOOL WINAPI CountBreak(DWORD) {
    ++g_breaksPastTheRun;
    return TRUE;
}

TEST(Win32RunConsoleCommand, ConsoleBreaksDuringTheRunDoNotEndThisProgram) {
    // Wine generates only Ctrl+C for a whole console (Ctrl+Break fails there); the same handler takes
    // both on Windows. Closing the console window is no event a handler can refuse: see below.
    const std::vector<DWORD> events =
        UnderWine() ? std::vector<DWORD>{CTRL_C_EVENT} : std::vector<DWORD>{CTRL_C_EVENT, CTRL_BREAK_EVENT};
    for (const DWORD event : events) {
        SCOPED_TRACE(event);
        // Without a console, as the Windows program starts (and ends each run): the run gives it one,
        // shared with the interpreter. (Under Wine a test started from a terminal has a console that
        // takes no events.)
        ::FreeConsole();
        ASSERT_TRUE(::SetConsoleCtrlHandler(&CountBreak, TRUE));
        g_breaksPastTheRun = 0;
        const auto processes = MakeProcessService();
        std::uint32_t status = 0;
        std::string output, why;
        bool sent = false;
        RunConsoleCommand(
            *processes, SystemProgram("cmd.exe"), "/c echo started", status,
            [&](std::string_view chunk) {
                output.append(chunk);
                if (!sent && output.find("started") != std::string::npos) {
                    sent = ::GenerateConsoleCtrlEvent(event, 0) != 0;
                    // The event is handled on a thread of its own: it arrives while the run lasts.
                    ::Sleep(300);
                }
            },
            &why);
        EXPECT_TRUE(sent) << "error " << ::GetLastError() << "\n" << output;
        EXPECT_EQ(g_breaksPastTheRun, 0);
        ::SetConsoleCtrlHandler(&CountBreak, FALSE);
    }
    ::FreeConsole();
}

// The interpreter runs the user's AutoRun commands (the "Command Processor" registry key) as it
// starts unless it is given /D ("cmd" command reference): they could print over the run's output or
// read the lines typed for it. (Wine's cmd has no AutoRun, so a stand-in shows the arguments.)
TEST(Win32RunConsoleCommand, TheInterpreterStartsWithoutTheUsersAutoRun) {
    const auto processes = MakeProcessService(TALLYHIVE_ARGUMENTS_ECHO);
    std::string why;
    const auto interpreter = processes->StartInterpreter(&why);
    ASSERT_TRUE(interpreter) << why;
    interpreter->CloseInput();
    std::string output;
    for (int waits = 0; waits < 100; ++waits) {
        std::string chunk;
        const auto got = interpreter->ReadOutput(chunk, 100);
        output += chunk;
        if (got == InterpreterProcess::Output::Closed || got == InterpreterProcess::Output::Failed) break;
    }
    EXPECT_EQ(output, "/D\r\n") << "the arguments, one a line";
}

// Closing the console window cannot be refused: a handler that returns TRUE for CTRL_CLOSE_EVENT
// only delays the end of the process ("HandlerRoutine callback function"). So while the run lasts
// the console window offers no way to close it: its window menu's Close item, and with it the
// caption's close button and Alt+F4, is gone, and comes back once the run is over. Wine shows no
// console window; a window with a window menu of its own stands in for it.
HWND g_console = nullptr;
HWND WINAPI StandInConsole() {
    return g_console;
}

struct WindowDestroyer {
    void operator()(HWND window) const noexcept { ::DestroyWindow(window); }
};

TEST(Win32RunConsoleCommand, TheConsoleWindowCannotBeClosedWhileTheRunLasts) {
    const std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer> console(
        ::CreateWindowExW(0, L"STATIC", L"console", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, HWND_MESSAGE,
                          nullptr, nullptr, nullptr));
    ASSERT_TRUE(console);
    g_console = console.get();
    const auto closeItem = [&] {
        return ::GetMenuState(::GetSystemMenu(console.get(), FALSE), SC_CLOSE, MF_BYCOMMAND);
    };
    ASSERT_NE(closeItem(), static_cast<UINT>(-1)) << "the stand-in has a Close item to begin with";

    const auto processes = MakeProcessService({}, &StandInConsole);
    std::uint32_t status = 1;
    std::string output, why;
    UINT during = 0;
    ASSERT_TRUE(RunConsoleCommand(
        *processes, SystemProgram("cmd.exe"), "/c echo started", status,
        [&](std::string_view chunk) {
            output.append(chunk);
            if (output.find("started") != std::string::npos) during = closeItem();
        },
        &why))
        << why;
    EXPECT_EQ(during, static_cast<UINT>(-1)) << "no Close item while the run lasts";
    const UINT after = closeItem();
    EXPECT_NE(after, static_cast<UINT>(-1)) << "the Close item is back";
    EXPECT_EQ(after & (MF_GRAYED | MF_DISABLED), 0u) << "and can be chosen";
    g_console = nullptr;
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
        const win32::FileHandle writer(::CreateFileA(path.c_str(), GENERIC_WRITE,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                     OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(writer.Get(), INVALID_HANDLE_VALUE);
        EXPECT_FALSE(temp->WriteExecutable(path, bytes, &why)) << "never written over";
    }
    EXPECT_TRUE(temp->RemoveFile(path));
    EXPECT_TRUE(temp->RemoveFolder(folder));
    EXPECT_TRUE(temp->RemoveFolder(other));
}

// An elevated runner may still run from its file after the interpreter has ended. Windows refuses
// to delete a file a process was started from; that refusal is what tells the run is still going.
TEST(Win32TempFolder, AFileAProgramRunsFromIsInUseAndItsFolderIsFoundLater) {
    const auto plain = MakeTempFolderService();
    std::string base, why;
    ASSERT_TRUE(plain->CreatePrivateFolder(base, &why)) << why;
    const auto temp = MakeTempFolderService(base);
    std::string folder;
    ASSERT_TRUE(temp->CreatePrivateFolder(folder, &why)) << why;
    ASSERT_TRUE(::CreateDirectoryW(win32::Wide(base + "\\not-a-run").c_str(), nullptr));

    // A real program to run: this test's own file, started suspended so it does nothing.
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    win32::FileHandle source(
        ::CreateFileW(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(source.Valid());
    LARGE_INTEGER size{};
    ASSERT_TRUE(::GetFileSizeEx(source.Get(), &size));
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    ASSERT_TRUE(::ReadFile(source.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr));
    ASSERT_EQ(read, bytes.size());
    const std::string path = folder + "\\AssessRunner.exe";
    ASSERT_TRUE(temp->WriteExecutable(path, bytes, &why)) << why;  // released at once

    std::wstring commandLine = L"\"" + win32::Wide(path) + L"\" --gtest_list_tests";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                 nullptr, nullptr, &startup, &started));
    const win32::KernelHandle process(started.hProcess);
    const win32::KernelHandle thread(started.hThread);

    bool inUse = false;
    EXPECT_FALSE(temp->RemoveFile(path, &inUse));
    EXPECT_TRUE(inUse) << "the running program's file";
    EXPECT_EQ(temp->EarlierFolders(), std::vector<std::string>{folder}) << "only the run's own folder";

    ::TerminateProcess(process.Get(), 1);
    ASSERT_EQ(::WaitForSingleObject(process.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(RemoveEarlierRunners(*temp, "AssessRunner.exe")) << "gone once the program has ended";
    EXPECT_TRUE(temp->EarlierFolders().empty());
    EXPECT_TRUE(::RemoveDirectoryW(win32::Wide(base + "\\not-a-run").c_str()));
    EXPECT_TRUE(plain->RemoveFolder(base));
}

TEST(Win32EncodeExactly, OnlyTextTheCodePageHoldsExactly) {
    struct Case {
        const wchar_t* text;
        UINT codePage;
        bool exact;
        const char* why;
    };
    const Case cases[] = {
        {L"C:\\Temp\\tallyhive-1\\AssessRunner.exe", 437, true, "plain ASCII"},
        {L"C:\\Usu\u00e1rios\\Jos\u00e9", 437, true, "accents the OEM page has"},
        {L"C:\\Users\\\u65e5\u672c", 437, false, "characters the OEM page lacks"},
        {L"C:\\Users\\\u0100da", 1252, false, "a letter best fit would turn into another"},
        {L"C:\\\u20ac", 437, false, "the euro sign is not in page 437"},
        {L"C:\\\u20ac", 1252, true, "but is in page 1252"},
        {L"C:\\Users\\\u65e5\u672c", 932, true, "Japanese in the Japanese page"},
        {L"C:\\Users\\\u65e5\u672c", CP_UTF8, true, "UTF-8 holds everything"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string bytes = "old";
        EXPECT_EQ(win32::EncodeExactly(c.text, c.codePage, bytes), c.exact);
        if (!c.exact) {
            EXPECT_TRUE(bytes.empty());
        }
    }
}

// A temporary folder whose name the console's code page cannot hold is given by its short name; the
// interpreter must be able to read back exactly the path it is given.
TEST(Win32TempFolder, AFolderNameOutsideTheConsolePageIsGivenByItsShortName) {
    const auto plain = MakeTempFolderService();
    std::string base, why;
    ASSERT_TRUE(plain->CreatePrivateFolder(base, &why)) << why;
    const std::wstring parent = win32::Wide(base) + L"\\\u65e5\u672c\u306e\u30d5\u30a9\u30eb\u30c0";
    ASSERT_TRUE(::CreateDirectoryW(parent.c_str(), nullptr));
    std::string bytes;
    ASSERT_FALSE(win32::EncodeExactly(parent, win32::ConsoleInputCodePage(), bytes))
        << "the test needs a console page without these characters";

    const auto temp = MakeTempFolderService(win32::Narrow(parent));
    std::string folder;
    ASSERT_TRUE(temp->CreatePrivateFolder(folder, &why)) << why;
    EXPECT_TRUE(win32::EncodeExactly(win32::Wide(folder), win32::ConsoleInputCodePage(), bytes)) << folder;
    const DWORD attributes = ::GetFileAttributesW(win32::Wide(folder).c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(temp->RemoveFolder(folder));
    EXPECT_TRUE(::RemoveDirectoryW(parent.c_str()));
    EXPECT_TRUE(plain->RemoveFolder(base));
}

}  // namespace
}  // namespace tallyhive
