// Files on Windows: the Windows folder from the shell, enumeration with FindFirstFileW (which gives
// each entry's creation time), and reading whole files.
#include <windows.h>

#include <shlobj.h>

#include <memory>

#include "platform/Platform.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Util.h"

namespace tallyhive {

namespace {

using win32::FileHandle;
using win32::FindHandle;
using win32::Narrow;
using win32::Wide;

std::string LastErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(error) : Narrow(text);
}

class Win32FileService final : public FileService {
public:
    explicit Win32FileService(std::string windowsDir) : m_windowsDir(std::move(windowsDir)) {}

    std::string DatastoreFolder() override {
        std::wstring folder = Wide(m_windowsDir);
        if (folder.empty()) {
            wchar_t buffer[MAX_PATH] = {};
            if (::SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_WINDOWS, TRUE)) folder = buffer;
        }
        // Without a Windows folder the relative path is resolved against the current folder.
        if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
        folder += L"performance\\winsat\\datastore";
        wchar_t full[32768];
        const DWORD length = ::GetFullPathNameW(folder.c_str(), 32768, full, nullptr);
        if (length == 0 || length >= 32768) return Narrow(folder);
        return Narrow(std::wstring_view(full, length));
    }

    char PathSeparator() const override { return '\\'; }

    bool ListDirectory(const std::string& folder, std::vector<DirEntry>& entries, std::string* why,
                       const NameFilter& wanted) override {
        entries.clear();
        std::wstring pattern = Wide(folder);
        if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
        pattern += L"*.*";
        WIN32_FIND_DATAW data{};
        const FindHandle find(::FindFirstFileW(pattern.c_str(), &data));
        if (!find) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) return true;  // an empty folder
            if (why) *why = "cannot open folder " + folder + ": " + LastErrorText(error);
            return false;
        }
        do {
            DirEntry entry;
            entry.name = Narrow(data.cFileName);
            if (wanted && !wanted(entry.name)) continue;
            const DWORD attributes = data.dwFileAttributes;
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                entry.type = DirEntry::Type::Directory;
            } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
                entry.type = DirEntry::Type::Other;
            } else {
                entry.type = DirEntry::Type::RegularFile;
            }
            entry.creationTimeUtc = win32::UnixSeconds(data.ftCreationTime);
            entries.push_back(std::move(entry));
        } while (::FindNextFileW(find.Get(), &data));
        return true;
    }

    bool GetFileTimes(const std::string& path, FileTimes& times) override {
        if (path.empty()) return false;
        WIN32_FIND_DATAW data{};
        const FindHandle find(::FindFirstFileW(Wide(path).c_str(), &data));
        if (!find) return false;
        times.creationUtc = win32::UnixSeconds(data.ftCreationTime);
        times.lastWriteUtc = win32::UnixSeconds(data.ftLastWriteTime);
        return true;
    }

    bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                         std::string* why) override {
        auto fail = [&](const std::string& reason) {
            if (why) *why = "cannot read " + (path.empty() ? std::string("(no file)") : path) + ": " + reason;
            return false;
        };
        if (path.empty()) return fail("no file name");
        const FileHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) return fail(LastErrorText(::GetLastError()));
        // Only files on a disk: a pipe or device under that name must never block the program.
        if (::GetFileType(file.Get()) != FILE_TYPE_DISK) return fail("not a regular file");
        BY_HANDLE_FILE_INFORMATION info{};
        if (::GetFileInformationByHandle(file.Get(), &info) &&
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return fail("a folder");
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file.Get(), &size)) return fail(LastErrorText(::GetLastError()));
        if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) return fail("larger than the limit");
        bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
            if (!::ReadFile(file.Get(), bytes.data() + done, want, &got, nullptr)) {
                bytes.clear();
                return fail(LastErrorText(::GetLastError()));
            }
            if (got == 0) break;
            done += got;
        }
        bytes.resize(done);
        return true;
    }

private:
    std::string m_windowsDir;
};

}  // namespace

std::unique_ptr<FileService> MakeFileService(const std::string& windowsDir) {
    return std::make_unique<Win32FileService>(windowsDir);
}

}  // namespace tallyhive
