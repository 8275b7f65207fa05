// The runner's private folder on Windows: a fresh folder under the user's temporary folder, and the
// runner file held open read-only, shared for reading only, until the run has started, so no other
// process can replace it in between.
#include <windows.h>

#include <memory>

#include "platform/Processes.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Util.h"
#include "remeasure/Remeasure.h"

namespace tallyhive {

namespace {

using win32::FileHandle;
using win32::Wide;

class HeldWin32File final : public HeldFile {
public:
    explicit HeldWin32File(FileHandle handle) : m_handle(std::move(handle)) {}

private:
    FileHandle m_handle;
};

// The runner's path is typed into the command interpreter, which reads it in the console's code
// page: a folder whose name has a character outside it is given by its short (8.3) name instead.
bool TypablePath(const std::wstring& path, std::string& typable) {
    const UINT codePage = win32::ConsoleInputCodePage();
    std::string bytes;
    if (win32::EncodeExactly(path, codePage, bytes)) {
        typable = win32::Narrow(path);
        return true;
    }
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetShortPathNameW(path.c_str(), buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return false;
    const std::wstring shortPath(buffer, length);
    if (!win32::EncodeExactly(shortPath, codePage, bytes)) return false;
    typable = win32::Narrow(shortPath);
    return true;
}

class Win32TempFolderService final : public TempFolderService {
public:
    explicit Win32TempFolderService(std::string parent) : m_parent(std::move(parent)) {}

    char PathSeparator() const override { return '\\'; }

    bool CreatePrivateFolder(std::string& folder, std::string* why) override {
        std::wstring parent = Wide(m_parent);
        if (parent.empty()) {
            wchar_t buffer[MAX_PATH + 1] = {};
            const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
            if (length == 0 || length > MAX_PATH) {
                if (why) *why = "the temporary folder is unknown";
                return false;
            }
            parent.assign(buffer, length);
        }
        if (!parent.empty() && parent.back() != L'\\') parent += L'\\';
        // A name nobody has yet: created, not found, so an existing folder is never reused.
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            const std::wstring candidate = parent + L"tallyhive-" + std::to_wstring(::GetCurrentProcessId()) +
                                           L"-" + std::to_wstring(::GetTickCount64()) + L"-" +
                                           std::to_wstring(attempt);
            if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
                if (TypablePath(candidate, folder)) return true;
                ::RemoveDirectoryW(candidate.c_str());
                if (why)
                    *why = "the temporary folder " + win32::Narrow(candidate) +
                           " cannot be typed into the command interpreter, not even by its short name";
                return false;
            }
            if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
        }
        if (why)
            *why = "cannot create a folder in " + win32::Narrow(parent) + " (error " +
                   std::to_string(::GetLastError()) + ")";
        return false;
    }

    std::unique_ptr<HeldFile> WriteExecutable(const std::string& path, std::span<const unsigned char> bytes,
                                              std::string* why) override {
        const std::wstring wide = Wide(path);
        {
            FileHandle file(::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file.Valid()) {
                if (why) *why = "cannot create " + path + " (error " + std::to_string(::GetLastError()) + ")";
                return nullptr;
            }
            std::size_t done = 0;
            while (done < bytes.size()) {
                DWORD written = 0;
                const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
                if (!::WriteFile(file.Get(), bytes.data() + done, want, &written, nullptr) || written == 0) {
                    if (why)
                        *why = "cannot write " + path + " (error " + std::to_string(::GetLastError()) + ")";
                    return nullptr;
                }
                done += written;
            }
            if (!::FlushFileBuffers(file.Get())) {
                if (why) *why = "cannot write " + path + " (error " + std::to_string(::GetLastError()) + ")";
                return nullptr;
            }
        }
        FileHandle held(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!held.Valid()) {
            if (why) *why = "cannot hold " + path + " (error " + std::to_string(::GetLastError()) + ")";
            return nullptr;
        }
        return std::make_unique<HeldWin32File>(std::move(held));
    }

    bool RemoveFile(const std::string& path) override { return ::DeleteFileW(Wide(path).c_str()) != 0; }

    bool RemoveFolder(const std::string& folder) override {
        return ::RemoveDirectoryW(Wide(folder).c_str()) != 0;
    }

private:
    std::string m_parent;
};

}  // namespace

std::unique_ptr<TempFolderService> MakeTempFolderService(const std::string& parent) {
    return std::make_unique<Win32TempFolderService>(parent);
}

}  // namespace tallyhive
