// The Windows program: one instance per user session, then the main window, a dialog hosting the
// system's web browser control, until it closes. Reads no command line and no environment value.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>
#include <urlmon.h>

#include <deque>
#include <memory>

#include "app/Addresses.h"
#include "app/TallyhiveApp.h"
#include "app/TallyhiveDlg.h"
#include "app/win32/BrowserHost.h"
#include "app/win32/DispatchBridge.h"
#include "app/win32/Win32Window.h"
#include "platform/HostServices.h"
#include "platform/Platform.h"
#include "platform/Processes.h"
#include "platform/win32/Win32AppServices.h"
#include "remeasure/Remeasure.h"
#include "runner/EmbeddedRunner.h"

namespace {

using namespace tallyhive;

constexpr int kMainDialog = 102;

// Measuring again: the runner from the program's own resources, run from a fresh folder through the
// command interpreter, whose console window shows the assessment as it runs.
class Win32Remeasurer final : public Remeasurer {
public:
    Win32Remeasurer(FileService& files, const TimeService& time) : m_files(files), m_time(time) {}

    bool Remeasure(const std::function<bool()>& loadLatest) override {
        const auto temp = MakeTempFolderService();
        const auto processes = MakeProcessService();
        const RemeasureServices services{*temp, *processes, EmbeddedRunner(),
                                         [this] { return NewestFormalStamp(m_files, m_time); }};
        const OutputSink toConsole = [](std::string_view chunk) {
            DWORD written = 0;
            ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), chunk.data(), static_cast<DWORD>(chunk.size()),
                        &written, nullptr);
        };
        const bool ok = tallyhive::Remeasure(services, toConsole, loadLatest);
        ::FreeConsole();
        return ok;
    }

private:
    FileService& m_files;
    const TimeService& m_time;
};

// Everything the main window's life needs, created when the dialog exists.
struct MainWindow {
    Win32UserInterface& ui;
    const Win32ProgramInfo& program;
    AssessmentServices assessment;
    Win32Remeasurer remeasurer;
    std::unique_ptr<BrowserHost> browser;
    std::unique_ptr<DispatchPageBridge> bridge;
    std::unique_ptr<Win32Window> window;
    std::unique_ptr<CTallyhiveDlg> dlg;
    std::string currentUrl;
    bool busy = false;
    std::deque<std::function<void()>> waiting;  // page events that came in while a handler ran

    // One handler at a time: an event that arrives inside a running command waits for it.
    void Run(std::function<void()> handler) {
        waiting.push_back(std::move(handler));
        if (busy) return;
        busy = true;
        while (!waiting.empty()) {
            auto next = std::move(waiting.front());
            waiting.pop_front();
            next();
        }
        busy = false;
    }
};

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* main = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            main = reinterpret_cast<MainWindow*>(lParam);
            ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(main));
            main->ui.SetOwner(dialog);
            BrowserHost::Callbacks callbacks;
            callbacks.documentComplete = [main](const std::string& url) {
                main->currentUrl = url;
                main->Run([main, url] { main->dlg->OnPageArrived(url); });
            };
            callbacks.documentEvent = [main](DISPID id) {
                // The event's element is valid only while the event is delivered: a click that comes
                // in while a command runs is not acted on, as the page cannot change under it.
                if (main->busy || !main->dlg) return;
                std::shared_ptr<DispatchElement> source = main->browser->EventSource();
                if (!source) return;
                main->Run([main, id, source, url = main->currentUrl] {
                    main->dlg->OnPageEvent(static_cast<int>(id), source.get(), url);
                });
            };
            main->browser = std::make_unique<BrowserHost>(dialog, callbacks);
            std::string why;
            if (!main->browser->Create(why)) {
                main->ui.ShowMessage(ProgramCaption(main->program.ProgramPath()),
                                     "TALLYHIVE cannot start: " + why + ".", MessageKind::Warning);
                main->browser.reset();
                ::DestroyWindow(dialog);
                return TRUE;
            }
            main->bridge = std::make_unique<DispatchPageBridge>(*main->browser, main->program.ProgramPath());
            main->window = std::make_unique<Win32Window>(dialog, *main->bridge);
            main->dlg = std::make_unique<CTallyhiveDlg>(
                DialogServices{*main->bridge, *main->window, main->ui, main->program, main->assessment,
                               main->remeasurer, [] { return UiLanguage(); }},
                std::string(DefaultServiceRoot()));
            main->dlg->OnDialogCreated();
            return TRUE;
        }
        case WM_SIZE:
            if (main && main->browser) main->browser->Resize();
            return TRUE;
        case WM_COMMAND:
            // Enter and Esc never close the window: keys belong to the page.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) return TRUE;
            return FALSE;
        case WM_CLOSE:
            ::DestroyWindow(dialog);
            return TRUE;
        case WM_DESTROY:
            if (main) main->browser.reset();
            ::PostQuitMessage(0);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    Win32UserInterface ui;
    Win32ProgramInfo program;
    const std::unique_ptr<InstanceLock> lock = MakeInstanceLock();
    StartUpServices services{*lock, ui, program, [] { return UiLanguage(); }};
    CTallyhiveApp().StartUp(services, [&] {
        // Their results are not needed: the window goes on without them.
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&controls);
        const HRESULT ole = ::OleInitialize(nullptr);
        ::CoInternetSetFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS, TRUE);
        {
            const auto files = MakeFileService();
            const auto time = MakeTimeService();
            const auto modules = MakeModuleService();
            const auto xml = MakeXmlParser();
            MainWindow main{ui,
                            program,
                            AssessmentServices{*files, *time, *modules, *xml},
                            Win32Remeasurer(*files, *time),
                            nullptr,
                            nullptr,
                            nullptr,
                            nullptr,
                            {},
                            false,
                            {}};
            const HWND dialog = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(kMainDialog), nullptr,
                                                     &DialogProc, reinterpret_cast<LPARAM>(&main));
            if (dialog && ::IsWindow(dialog)) {
                ::ShowWindow(dialog, SW_SHOW);
                MSG message;
                while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
                    if (FilterInputMessage(message.message, ::GetAsyncKeyState(VK_CONTROL) < 0)) continue;
                    // Keys go to the page first, so Tab, Enter and Esc act in the page.
                    if (main.browser && main.browser->TranslateKey(message)) continue;
                    ::TranslateMessage(&message);
                    ::DispatchMessageW(&message);
                    if (main.window && main.window->CloseResult() && !main.busy && ::IsWindow(dialog))
                        ::DestroyWindow(dialog);
                }
            }
            ui.SetOwner(nullptr);
        }
        if (SUCCEEDED(ole)) ::OleUninitialize();
    });
    return 0;
}
