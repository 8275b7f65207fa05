// The application shell's platform services on Windows: the instance mutex, message boxes, the
// user's browser and the program's own version resource.
#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <vector>

#include "app/AppServices.h"
#include "platform/HostServices.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32AppServices.h"
#include "platform/win32/Win32Util.h"

namespace tallyhive {

namespace {

using win32::Narrow;
using win32::Wide;

class Win32InstanceLock final : public InstanceLock {
public:
    InstanceState Acquire(std::string_view name) override {
        Release();
        // The name has no namespace prefix: unique within the user's logon session.
        const HANDLE created = ::CreateMutexW(nullptr, TRUE, Wide(name).c_str());
        const DWORD error = ::GetLastError();
        if (!created) return InstanceState::Unknown;
        if (error == ERROR_ALREADY_EXISTS) {
            // A mutex that existed already is only opened, never owned by the call: only the
            // handle is given back.
            const win32::KernelHandle opened(created);
            return InstanceState::AlreadyRunning;
        }
        m_mutex.Reset(created);
        return InstanceState::First;
    }

    void Release() override { m_mutex.Reset(); }

private:
    win32::OwnedMutex m_mutex;
};

}  // namespace

std::unique_ptr<InstanceLock> MakeInstanceLock(const std::string&) {
    return std::make_unique<Win32InstanceLock>();
}

MessageAnswer Win32UserInterface::ShowMessage(std::string_view caption, std::string_view text,
                                              MessageKind kind) {
    const bool question = kind == MessageKind::Question;
    const int answer = ::MessageBoxW(m_owner, Wide(text).c_str(), Wide(caption).c_str(),
                                     question ? (MB_YESNO | MB_ICONQUESTION) : (MB_OK | MB_ICONEXCLAMATION));
    if (!question) return MessageAnswer::Ok;
    return answer == IDYES ? MessageAnswer::Yes : MessageAnswer::No;
}

void Win32UserInterface::OpenUrl(std::string_view url) {
    // The shell's "open" verb with the address as the file: no command line is ever parsed.
    ::ShellExecuteW(::GetDesktopWindow(), L"open", Wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::string Win32ProgramInfo::ProgramPath() const {
    std::vector<wchar_t> buffer(1024);
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return length == 0 || length >= buffer.size() ? std::string()
                                                  : Narrow(std::wstring_view(buffer.data(), length));
}

bool Win32ProgramInfo::IsBuiltInPage(std::string_view url, int number) const {
    return win32::IsResourcePageAddress(url, ProgramPath(), number);
}

std::string Win32ProgramInfo::ProductVersion() const {
    return ProductVersionOf(ProgramPath());
}

std::string ProductVersionOf(const std::string& path) {
    const std::wstring file = Wide(path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<unsigned char> data(size);
    if (!::GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return {};
    void* value = nullptr;
    UINT length = 0;
    // The program's version resource carries one string table, language neutral and Unicode.
    if (!::VerQueryValueW(data.data(), L"\\StringFileInfo\\000004b0\\ProductVersion", &value, &length) ||
        !value || length == 0)
        return {};
    std::wstring_view text(static_cast<const wchar_t*>(value), length);
    while (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
    return Narrow(text);
}

}  // namespace tallyhive
