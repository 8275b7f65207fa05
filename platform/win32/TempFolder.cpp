// The runner's private folder on Windows: a fresh folder under the user's temporary folder, and the
// runner file held open read-only, shared for reading only, until the run has started, so no other
// process can replace it in between.
#include <windows.h>

#include <memory>
#include <vector>

#include "platform/Processes.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Util.h"
#include "remeasure/Remeasure.h"

namespace tallyhive {

namespace {

using win32::FileHandle;
using win32::FindHandle;
using win32::Wide;

// Every run's folder starts with this, so the folders earlier runs left can be found again.
constexpr wchar_t kFolderPrefix[] = L"tallyhive-run-";

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
        std::wstring parent;
        if (!Parent(parent)) {
            if (why) *why = "the temporary folder is unknown";
            return false;
        }
        // A name nobody has yet: created, not found, so an existing folder is never reused.
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            const std::wstring candidate = parent + kFolderPrefix + std::to_wstring(::GetCurrentProcessId()) +
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

    bool RemoveFile(const std::string& path, bool* inUse) override {
        if (::DeleteFileW(Wide(path).c_str())) return true;
        // A file a running program was started from is mapped as its image: DeleteFile fails with
        // access denied (a sharing violation while a handle without delete sharing is open). In a
        // folder only this user can enter, both mean a program still uses the file.
        const DWORD error = ::GetLastError();
        if (inUse && (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)) *inUse = true;
        return false;
    }

    bool RemoveFolder(const std::string& folder) override {
        return ::RemoveDirectoryW(Wide(folder).c_str()) != 0;
    }

    std::vector<std::string> EarlierFolders() override {
        std::vector<std::string> found;
        std::wstring parent;
        if (!Parent(parent)) return found;
        WIN32_FIND_DATAW entry{};
        const FindHandle search(::FindFirstFileExW((parent + kFolderPrefix + L"*").c_str(), FindExInfoBasic,
                                                   &entry, FindExSearchLimitToDirectories, nullptr, 0));
        if (!search.Valid()) return found;
        do {
            // Limiting the search to folders is only a hint; links are never followed.
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                found.push_back(win32::Narrow(parent + entry.cFileName));
        } while (::FindNextFileW(search.Get(), &entry));
        return found;
    }

private:
    // The folder the private folders are made in, with a separator at its end.
    bool Parent(std::wstring& parent) const {
        parent = Wide(m_parent);
        if (parent.empty()) {
            wchar_t buffer[MAX_PATH + 1] = {};
            const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
            if (length == 0 || length > MAX_PATH) return false;
            parent.assign(buffer, length);
        }
        if (!parent.empty() && parent.back() != L'\\') parent += L'\\';
        return true;
    }

    std::string m_parent;
};

}  // namespace

std::unique_ptr<TempFolderService> MakeTempFolderService(const std::string& parent) {
    return std::make_unique<Win32TempFolderService>(parent);
}

}  // namespace tallyhive
