// The command interpreter on Windows (%ComSpec%), with pipes for its standard handles. The lines
// typed into it are converted to the console's input code page, which is what the interpreter reads
// piped input in; a line that does not survive that conversion is not typed at all.
#include <windows.h>

#include <iterator>
#include <memory>
#include <string>

#include "platform/Processes.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Util.h"
#include "remeasure/ConsoleCommand.h"

namespace tallyhive {

namespace {

using win32::KernelHandle;

std::string ErrorText(const char* what) {
    return std::string(what) + " (error " + std::to_string(::GetLastError()) + ")";
}

// Ctrl+C or Ctrl+Break in the console while the run lasts would end this program in the middle of
// it and leave the runner behind: this process ignores them until the run is over.
class IgnoreConsoleBreaks {
public:
    IgnoreConsoleBreaks() : m_set(::SetConsoleCtrlHandler(&Ignore, TRUE) != 0) {}
    IgnoreConsoleBreaks(const IgnoreConsoleBreaks&) = delete;
    IgnoreConsoleBreaks& operator=(const IgnoreConsoleBreaks&) = delete;
    ~IgnoreConsoleBreaks() {
        if (m_set) ::SetConsoleCtrlHandler(&Ignore, FALSE);
    }

private:
    static BOOL WINAPI Ignore(DWORD) noexcept { return TRUE; }
    bool m_set;
};

// Closing the console window cannot be refused: whatever a handler answers to the close event, the
// process ends once it returns. While the run lasts the console window's Close item is greyed and
// taken from its window menu, which also disables the caption's close button and Alt+F4; it is put
// back where it was, with its own text, when the run is over. Other items of the console's menu
// (Edit, Properties) stay as they are.
class WithholdConsoleClose {
public:
    explicit WithholdConsoleClose(HWND console) : m_console(console) {
        const HMENU menu = m_console ? ::GetSystemMenu(m_console, FALSE) : nullptr;
        if (!menu) return;
        const int count = ::GetMenuItemCount(menu);
        for (int i = 0; i < count; ++i) {
            if (::GetMenuItemID(menu, i) == SC_CLOSE) m_position = i;
        }
        if (m_position < 0) return;
        wchar_t text[256] = {};
        const int length =
            ::GetMenuStringW(menu, SC_CLOSE, text, static_cast<int>(std::size(text)), MF_BYCOMMAND);
        m_text.assign(text, length > 0 ? static_cast<std::size_t>(length) : 0);
        m_greyed = ::EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED) != -1;
        m_removed = ::DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND) != FALSE;
    }
    WithholdConsoleClose(const WithholdConsoleClose&) = delete;
    WithholdConsoleClose& operator=(const WithholdConsoleClose&) = delete;
    ~WithholdConsoleClose() {
        if (!m_greyed && !m_removed) return;
        const HMENU menu = ::IsWindow(m_console) ? ::GetSystemMenu(m_console, FALSE) : nullptr;
        if (!menu) return;
        if (m_removed)
            ::InsertMenuW(menu, static_cast<UINT>(m_position), MF_BYPOSITION | MF_STRING, SC_CLOSE,
                          m_text.c_str());
        ::EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
    }

private:
    HWND m_console;
    int m_position = -1;
    std::wstring m_text;
    bool m_greyed = false;
    bool m_removed = false;
};

class Win32Interpreter final : public InterpreterProcess {
public:
    Win32Interpreter(HWND console, KernelHandle process, KernelHandle input, KernelHandle output)
        : m_close(console),
          m_process(std::move(process)),
          m_input(std::move(input)),
          m_output(std::move(output)) {}

    ~Win32Interpreter() override {
        CloseInput();
        // The interpreter is never left running behind the caller's back.
        if (!HasEnded()) WaitForEnd();
    }

    bool WriteInput(std::string_view text) override {
        if (!m_input.Valid()) return false;
        std::string bytes;
        // A character the code page lacks would reach the interpreter as another one: a path that
        // names something else is worse than none.
        if (!win32::EncodeExactly(win32::Wide(text), win32::ConsoleInputCodePage(), bytes)) return false;
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD written = 0;
            if (!::WriteFile(m_input.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                             &written, nullptr) ||
                written == 0)
                return false;
            done += written;
        }
        return true;
    }

    void CloseInput() override { m_input.Reset(); }

    Output ReadOutput(std::string& chunk, int waitMs) override {
        if (!m_output.Valid()) return Output::Closed;
        const ULONGLONG until = ::GetTickCount64() + static_cast<ULONGLONG>(waitMs > 0 ? waitMs : 0);
        for (;;) {
            DWORD waiting = 0;
            if (!::PeekNamedPipe(m_output.Get(), nullptr, 0, nullptr, &waiting, nullptr)) {
                const DWORD error = ::GetLastError();
                m_output.Reset();
                return error == ERROR_BROKEN_PIPE ? Output::Closed : Output::Failed;
            }
            if (waiting > 0) {
                char buffer[65536];
                DWORD got = 0;
                if (!::ReadFile(m_output.Get(), buffer, std::min<DWORD>(waiting, sizeof buffer), &got,
                                nullptr)) {
                    m_output.Reset();
                    return Output::Failed;
                }
                chunk.append(buffer, got);
                return Output::Data;
            }
            if (::GetTickCount64() >= until) return Output::Empty;
            ::Sleep(1);
        }
    }

    bool HasEnded() override { return ::WaitForSingleObject(m_process.Get(), 0) == WAIT_OBJECT_0; }

    void WaitForEnd() override { ::WaitForSingleObject(m_process.Get(), INFINITE); }

    std::optional<std::uint32_t> ExitCode() override {
        DWORD code = 0;
        if (!HasEnded() || !::GetExitCodeProcess(m_process.Get(), &code)) return std::nullopt;
        return static_cast<std::uint32_t>(code);
    }

private:
    IgnoreConsoleBreaks m_breaks;
    WithholdConsoleClose m_close;
    KernelHandle m_process;
    KernelHandle m_input;   // our end of the interpreter's standard input
    KernelHandle m_output;  // our end of its standard output and error
};

class Win32ProcessService final : public ProcessService {
public:
    Win32ProcessService(std::string interpreter, ConsoleWindowFinder consoleWindow)
        : m_interpreter(std::move(interpreter)), m_consoleWindow(consoleWindow) {}

    InterpreterSyntax Syntax() const override { return InterpreterSyntax::WindowsCommand; }

    std::unique_ptr<InterpreterProcess> StartInterpreter(std::string* why) override {
        std::wstring comspec = win32::Wide(m_interpreter);
        if (comspec.empty()) {
            wchar_t buffer[MAX_PATH + 1] = {};
            const DWORD length = ::GetEnvironmentVariableW(L"ComSpec", buffer, MAX_PATH);
            if (length == 0 || length >= MAX_PATH) {
                if (why) *why = "ComSpec is not set";
                return nullptr;
            }
            comspec.assign(buffer, length);
        }
        // A program without a console gets one, so the interpreter and the programs it starts
        // have a window to show their own output in.
        ::AllocConsole();

        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE inputRead = nullptr, inputWrite = nullptr, outputRead = nullptr, outputWrite = nullptr;
        if (!::CreatePipe(&inputRead, &inputWrite, &inherit, 0)) {
            if (why) *why = ErrorText("cannot create the input pipe");
            return nullptr;
        }
        KernelHandle childInput(inputRead), ourInput(inputWrite);
        if (!::CreatePipe(&outputRead, &outputWrite, &inherit, 0)) {
            if (why) *why = ErrorText("cannot create the output pipe");
            return nullptr;
        }
        KernelHandle ourOutput(outputRead), childOutput(outputWrite);
        // Only the interpreter's ends are inherited: with ours in the child too, the pipes would
        // never report their end.
        ::SetHandleInformation(ourInput.Get(), HANDLE_FLAG_INHERIT, 0);
        ::SetHandleInformation(ourOutput.Get(), HANDLE_FLAG_INHERIT, 0);

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput.Get();
        startup.hStdOutput = childOutput.Get();
        startup.hStdError = childOutput.Get();
        // /D: the user's AutoRun commands would otherwise run first, printing into the run's output
        // or reading the lines typed for it.
        std::wstring commandLine = L"\"" + comspec + L"\" /D";
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(comspec.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                              nullptr, &startup, &started)) {
            if (why) *why = ErrorText("cannot start the command interpreter");
            return nullptr;
        }
        const KernelHandle thread(started.hThread);  // not needed: closed at once
        return std::make_unique<Win32Interpreter>(m_consoleWindow(), KernelHandle(started.hProcess),
                                                  std::move(ourInput), std::move(ourOutput));
    }

private:
    std::string m_interpreter;
    ConsoleWindowFinder m_consoleWindow;
};

}  // namespace

std::unique_ptr<ProcessService> MakeProcessService(const std::string& interpreter) {
    return std::make_unique<Win32ProcessService>(interpreter, &::GetConsoleWindow);
}

std::unique_ptr<ProcessService> MakeProcessService(const std::string& interpreter,
                                                   ConsoleWindowFinder consoleWindow) {
    return std::make_unique<Win32ProcessService>(interpreter, consoleWindow);
}

}  // namespace tallyhive
