// The Windows program: one instance per user session, then the main window, a dialog hosting the
// system's web browser control, until it closes. Reads no command line and no environment value.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>
#include <urlmon.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "app/Addresses.h"
#include "app/EventQueue.h"
#include "app/Messages.h"
#include "app/TallyhiveApp.h"
#include "app/TallyhiveDlg.h"
#include "app/win32/BrowserHost.h"
#include "app/win32/DispatchBridge.h"
#include "app/win32/Win32Window.h"
#include "app/win32/WindowIcons.h"
#include "platform/HostServices.h"
#include "platform/Platform.h"
#include "platform/Processes.h"
#include "platform/win32/Win32AppServices.h"
#include "platform/win32/Win32Util.h"
#include "remeasure/Remeasure.h"
#include "runner/EmbeddedRunner.h"
#include "tallyhive_version.h"

namespace {

using namespace tallyhive;

constexpr int kMainDialog = 102;
constexpr int kProgramIcon = 128;

std::string HresultText(HRESULT code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

// Measuring again: the runner from the program's own resources, run from a fresh folder through the
// command interpreter, whose console window shows the assessment as it runs. The runner asks for
// administrator rights, so Windows may run it apart from the interpreter, in a window of its own,
// and let the interpreter come back first: its folder then stays until it has ended, and is removed
// when the program ends or starts next.
class Win32Remeasurer final : public Remeasurer {
public:
    Win32Remeasurer(FileService& files, const TimeService& time) : m_files(files), m_time(time) {
        RemoveEarlierRunners();
    }
    Win32Remeasurer(const Win32Remeasurer&) = delete;
    Win32Remeasurer& operator=(const Win32Remeasurer&) = delete;
    ~Win32Remeasurer() {
        try {
            RemoveEarlierRunners();
        } catch (...) {
            // What stays is removed at the next start.
        }
    }

    RemeasureResult Remeasure(const std::function<bool()>& loadLatest) override {
        const auto temp = MakeTempFolderService();
        const auto processes = MakeProcessService();
        const RemeasureServices services{*temp, *processes, EmbeddedRunner(),
                                         [this] { return NewestFormalStamp(m_files, m_time); }};
        const OutputSink toConsole = [](std::string_view chunk) {
            DWORD written = 0;
            ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), chunk.data(), static_cast<DWORD>(chunk.size()),
                        &written, nullptr);
        };
        // The console the run was shown in goes with it, however the run ends.
        const ConsoleRelease console;
        switch (tallyhive::Remeasure(services, toConsole, loadLatest)) {
            case RemeasureOutcome::Succeeded:
                return RemeasureResult::Loaded;
            case RemeasureOutcome::StillRunning:
                return RemeasureResult::StillRunning;
            case RemeasureOutcome::Failed:
                break;
        }
        return RemeasureResult::Failed;
    }

private:
    struct ConsoleRelease {
        ConsoleRelease() = default;
        ConsoleRelease(const ConsoleRelease&) = delete;
        ConsoleRelease& operator=(const ConsoleRelease&) = delete;
        ~ConsoleRelease() { ::FreeConsole(); }
    };

    static void RemoveEarlierRunners() {
        tallyhive::RemoveEarlierRunners(*MakeTempFolderService(), EmbeddedRunner().fileName);
    }

    FileService& m_files;
    const TimeService& m_time;
};

// The program's one window: a dialog with the browser control in it, and everything its life needs.
// Page events go through the event queue, so a command that waits in a nested loop (a message box,
// a measurement) never sees another one start inside it.
class Win32ProgramWindow {
public:
    Win32ProgramWindow(Win32UserInterface& ui, const Win32ProgramInfo& program, FileService& files,
                       TimeService& time, ModuleService& modules, XmlParser& xml)
        : m_ui(ui),
          m_program(program),
          m_assessment{files, time, modules, xml},
          m_remeasurer(files, time),
          m_events(ui, program, [] { return UiLanguage(); }) {}
    Win32ProgramWindow(const Win32ProgramWindow&) = delete;
    Win32ProgramWindow& operator=(const Win32ProgramWindow&) = delete;
    ~Win32ProgramWindow() { m_ui.SetOwner(nullptr); }

    // Creates the dialog, shows it and runs its messages until it has gone. False when the dialog
    // could not be created at all.
    bool Run(HINSTANCE instance);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam);
    void OnInitDialog(HWND dialog);
    void OnDocumentComplete(const std::string& url);
    void OnDocumentEvent(DISPID id);

    Win32UserInterface& m_ui;
    const Win32ProgramInfo& m_program;
    AssessmentServices m_assessment;
    Win32Remeasurer m_remeasurer;
    EventQueue m_events;
    // Outlives the dialog, which shows these icons until it has gone.
    std::unique_ptr<WindowIcons> m_icons;
    // Destroyed in reverse order: the dialog logic before the window and bridge it works through,
    // those before the control.
    std::unique_ptr<BrowserHost> m_browser;
    std::unique_ptr<DispatchPageBridge> m_bridge;
    std::unique_ptr<Win32Window> m_window;
    std::unique_ptr<CTallyhiveDlg> m_dlg;
    std::string m_currentUrl;
};

bool Win32ProgramWindow::Run(HINSTANCE instance) {
    const HWND dialog = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(kMainDialog), nullptr, &DialogProc,
                                             reinterpret_cast<LPARAM>(this));
    if (!dialog || !::IsWindow(dialog)) return false;
    ::ShowWindow(dialog, SW_SHOW);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (FilterInputMessage(message.message, ::GetAsyncKeyState(VK_CONTROL) < 0)) continue;
        // Keys go to the page first, so Tab, Enter and Esc act in the page.
        if (m_browser && m_browser->TranslateKey(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
        // A command asked for the window to close: it goes once that command has returned.
        if (m_window && m_window->CloseResult() && !m_events.Busy() && ::IsWindow(dialog))
            ::DestroyWindow(dialog);
    }
    return true;
}

INT_PTR CALLBACK Win32ProgramWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                LPARAM lParam) noexcept {
    try {
        if (message == WM_INITDIALOG) {
            auto* window = reinterpret_cast<Win32ProgramWindow*>(lParam);
            ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(window));
            window->OnInitDialog(dialog);
            return TRUE;
        }
        auto* window = reinterpret_cast<Win32ProgramWindow*>(::GetWindowLongPtrW(dialog, DWLP_USER));
        return window ? window->OnMessage(dialog, message, wParam) : FALSE;
    } catch (...) {
        // Nothing may unwind into the system's dialog manager. A window that could not be set up
        // goes away, so the program ends rather than showing an empty window.
        if (message == WM_INITDIALOG) ::DestroyWindow(dialog);
        return message == WM_INITDIALOG ? TRUE : FALSE;
    }
}

void Win32ProgramWindow::OnInitDialog(HWND dialog) {
    m_ui.SetOwner(dialog);
    m_icons = std::make_unique<WindowIcons>(dialog, ::GetModuleHandleW(nullptr), kProgramIcon);
    BrowserHost::Callbacks callbacks;
    callbacks.documentComplete = [this](const std::string& url) { OnDocumentComplete(url); };
    callbacks.documentEvent = [this](DISPID id) { OnDocumentEvent(id); };
    m_browser = std::make_unique<BrowserHost>(dialog, callbacks);
    std::string why;
    if (!m_browser->Create(why)) {
        m_ui.ShowMessage(ProgramCaption(m_program.ProgramPath()),
                         StartFailureMessage(UiLanguage(), StartFailure::NoBrowserControl, why),
                         MessageKind::Warning);
        m_browser.reset();
        ::DestroyWindow(dialog);
        return;
    }
    m_bridge = std::make_unique<DispatchPageBridge>(*m_browser, m_program.ProgramPath());
    m_window = std::make_unique<Win32Window>(dialog, *m_bridge);
    m_dlg =
        std::make_unique<CTallyhiveDlg>(DialogServices{*m_bridge, *m_window, m_ui, m_program, m_assessment,
                                                       m_remeasurer, [] { return UiLanguage(); }},
                                        std::string(DefaultServiceRoot()));
    m_dlg->OnDialogCreated();
}

void Win32ProgramWindow::OnDocumentComplete(const std::string& url) {
    m_currentUrl = url;
    m_events.Post([this, url] {
        if (m_dlg) m_dlg->OnPageArrived(url);
    });
}

void Win32ProgramWindow::OnDocumentEvent(DISPID id) {
    // The event's element is valid only while the event is delivered: a click that comes in while a
    // command runs is not acted on, as the page cannot change under it.
    if (m_events.Busy() || !m_dlg) return;
    std::shared_ptr<DispatchElement> source = m_browser->EventSource();
    if (!source) return;
    m_events.Post([this, id, source, url = m_currentUrl] {
        m_dlg->OnPageEvent(static_cast<int>(id), source.get(), url);
    });
}

INT_PTR Win32ProgramWindow::OnMessage(HWND dialog, UINT message, WPARAM wParam) {
    switch (message) {
        case WM_SIZE:
            if (m_browser) m_browser->Resize();
            return TRUE;
        case WM_ACTIVATE:
            // The control shows the page active or inactive with the window; the dialog manager
            // then puts the focus back where it was.
            if (m_browser) m_browser->OnFrameActivate(LOWORD(wParam) != WA_INACTIVE);
            return FALSE;
        case WM_SETFOCUS:
            // The window itself takes no keys: the page does.
            if (m_browser) m_browser->Focus();
            return TRUE;
        case BrowserHost::kReloadCheckMessage:
            if (m_browser) m_browser->OnReloadCheck();
            return TRUE;
        case WM_COMMAND:
            // Enter and Esc never close the window: keys belong to the page.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) return TRUE;
            return FALSE;
        case WM_CLOSE:
            ::DestroyWindow(dialog);
            return TRUE;
        case WM_DESTROY:
            // No page event runs against a window that is gone.
            m_events.Close();
            m_browser.reset();
            ::PostQuitMessage(0);
            return TRUE;
        default:
            return FALSE;
    }
}

// --help and --version: a window program has no console to write to, so the answer is a message
// box, and nothing else starts. Any other argument is ignored, as it always was.
bool AnswerHelpOrVersion(const Win32ProgramInfo& program) {
    if (__argc != 2) return false;
    const std::wstring_view word = __wargv[1];
    if (word != L"--help" && word != L"--version") return false;
    const std::string text = word == L"--version"
                                 ? std::string("TALLYHIVE " TALLYHIVE_VERSION)
                                 : std::string(
                                       "usage: tallyhive.exe [--help | --version]\n\n"
                                       "Shows the newest formal assessment of this computer and "
                                       "shares it with the TALLYHIVE service.");
    const std::wstring caption = win32::Wide(ProgramCaption(program.ProgramFilePath()));
    ::MessageBoxW(nullptr, win32::Wide(text).c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    Win32UserInterface ui;
    Win32ProgramInfo program;
    if (AnswerHelpOrVersion(program)) return 0;
    const std::unique_ptr<InstanceLock> lock = MakeInstanceLock();
    StartUpServices services{*lock, ui, program, [] { return UiLanguage(); }};
    CTallyhiveApp().StartUp(services, [&] {
        // Without the common controls the window still works, in the older look.
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&controls);
        const win32::OleApartment ole;
        if (!ole.Usable()) {
            // The browser control cannot be embedded without it.
            ui.ShowMessage(ProgramCaption(program.ProgramPath()),
                           StartFailureMessage(UiLanguage(), StartFailure::NoOle, HresultText(ole.Result())),
                           MessageKind::Warning);
            return;
        }
        ::CoInternetSetFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS, TRUE);
        const auto files = MakeFileService();
        const auto time = MakeTimeService();
        const auto modules = MakeModuleService();
        const auto xml = MakeXmlParser();
        Win32ProgramWindow window(ui, program, *files, *time, *modules, *xml);
        window.Run(instance);
    });
    return 0;
}
