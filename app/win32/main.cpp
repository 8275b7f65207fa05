// The Windows program: one instance per user session, then the main window as a modal dialog that
// hosts the system's web browser control. Reads no command line and no environment value.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>
#include <urlmon.h>

#include "app/Addresses.h"
#include "app/Messages.h"
#include "app/TallyhiveApp.h"
#include "platform/Platform.h"
#include "platform/win32/Win32AppServices.h"
#include "platform/win32/Win32Util.h"

namespace {

using namespace tallyhive;

constexpr int kMainDialog = 102;
// The web browser control's class, by its published identifier.
constexpr const wchar_t* kWebBrowserClass = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";
constexpr const wchar_t* kOleObjectInterface = L"{00000112-0000-0000-C000-000000000046}";

struct DialogState {
    Win32UserInterface* ui = nullptr;
    std::string caption;
};

// The browser control is created first: without it the window has nothing to show, and the program
// says so instead of showing an empty window.
bool CreateBrowserControl(std::string& why) {
    CLSID browserClass{};
    IID oleObject{};
    ::CLSIDFromString(kWebBrowserClass, &browserClass);
    ::IIDFromString(kOleObjectInterface, &oleObject);
    win32::ComPtr<IUnknown> browser;
    const HRESULT created =
        ::CoCreateInstance(browserClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, oleObject,
                           reinterpret_cast<void**>(browser.Put()));
    if (FAILED(created)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(created));
        why = std::string("the web browser control cannot be created (") + code + ")";
        return false;
    }
    why = "hosting the web browser control in place is not available in this build";
    return false;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            state = reinterpret_cast<DialogState*>(lParam);
            ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
            state->ui->SetOwner(dialog);
            std::string why;
            if (!CreateBrowserControl(why)) {
                state->ui->ShowMessage(state->caption, "TALLYHIVE cannot start: " + why + ".",
                                       MessageKind::Warning);
                ::EndDialog(dialog, IDCANCEL);
            }
            return TRUE;
        }
        case WM_COMMAND:
            // Enter and Esc never close the window: only the page's own "not_agree" or the close box do.
            if (LOWORD(wParam) == IDOK ||
                (LOWORD(wParam) == IDCANCEL && lParam == 0 && ::GetKeyState(VK_ESCAPE) < 0))
                return TRUE;
            if (LOWORD(wParam) == IDCANCEL) ::EndDialog(dialog, IDCANCEL);
            return TRUE;
        case WM_CLOSE:
            ::EndDialog(dialog, IDCANCEL);
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
        DialogState state{&ui, ProgramCaption(program.ProgramPath())};
        ::DialogBoxParamW(instance, MAKEINTRESOURCEW(kMainDialog), nullptr, &DialogProc,
                          reinterpret_cast<LPARAM>(&state));
        ui.SetOwner(nullptr);
        if (SUCCEEDED(ole)) ::OleUninitialize();
    });
    return 0;
}
