// The DirectX probe's module loading. Modules are loaded by their full path in the system folder:
// by bare name the program's own folder (typically a download folder) would be searched first, and
// a DLL planted there would run.
#include <windows.h>

#include <memory>

#include "platform/Platform.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Util.h"

namespace tallyhive {

namespace {

class Win32ModuleService final : public ModuleService {
public:
    bool CanLoadModule(std::string_view name) override {
        if (name.empty() || name.find_first_of("\\/:") != std::string_view::npos) return false;
        wchar_t system[MAX_PATH] = {};
        const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return false;
        const std::wstring path = std::wstring(system, length) + L"\\" + win32::Wide(name);
        // Unloaded again at once: only whether it loads is asked.
        const win32::ModuleHandle module(::LoadLibraryExW(path.c_str(), nullptr, 0));
        return module.Valid();
    }
};

}  // namespace

std::unique_ptr<ModuleService> MakeModuleService() {
    return std::make_unique<Win32ModuleService>();
}

}  // namespace tallyhive
