// File access on Linux and other POSIX systems, where the Windows directory is a mounted Windows disk
// or a copy of one.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/Text.h"
#include "platform/Platform.h"
#include "platform/posix/UniqueFd.h"

namespace tallyhive {

namespace {

// Seconds between 1601-01-01 (the start of a Windows file time) and 1970-01-01.
constexpr std::int64_t kFileTimeEpochOffset = 11'644'473'600;

std::string ErrorText(int error) {
    return std::strerror(error);
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + '/' + name;
}

// The NTFS creation time as a file system driver for Windows disks exposes it (a FILETIME in
// 100-nanosecond units since 1601, little-endian); false when the file system has none.
// A file system that supports no extended attributes answers the same for every file on it, so
// the question is not asked again for that device (a listing of thousands of files otherwise makes
// one failing call per file).
bool NtfsCreationTime(const std::string& path, const struct statx& sx, std::int64_t& utcSeconds) {
    struct Device {
        std::uint32_t major = 0, minor = 0;
        bool known = false;
    };
    thread_local Device withoutAttributes;
    if (withoutAttributes.known && withoutAttributes.major == sx.stx_dev_major &&
        withoutAttributes.minor == sx.stx_dev_minor)
        return false;
    std::array<unsigned char, 8> raw{};
    const ssize_t got = ::getxattr(path.c_str(), "system.ntfs_crtime", raw.data(), raw.size());
    if (got < 0 && errno == EOPNOTSUPP) withoutAttributes = {sx.stx_dev_major, sx.stx_dev_minor, true};
    if (got != static_cast<ssize_t>(raw.size())) return false;
    std::uint64_t fileTime = 0;
    for (std::size_t i = raw.size(); i-- > 0;) fileTime = (fileTime << 8) | raw[i];
    if (fileTime == 0) return false;
    utcSeconds = static_cast<std::int64_t>(fileTime / 10'000'000) - kFileTimeEpochOffset;
    return true;
}

// Status of a file after following links, with its birth time where the file system keeps one.
bool StatusOf(const std::string& path, struct statx& sx) {
    return ::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0 &&
           (sx.stx_mask & (STATX_TYPE | STATX_MTIME)) == (STATX_TYPE | STATX_MTIME);
}

FileTimes TimesOf(const std::string& path, const struct statx& sx) {
    FileTimes times;
    times.lastWriteUtc = sx.stx_mtime.tv_sec;
    if (NtfsCreationTime(path, sx, times.creationUtc)) return times;
    // A copied file keeps its modification time but gets a fresh birth time: a birth time later
    // than the modification time says when the copy was made, not when the file was written.
    const bool birthUsable =
        (sx.stx_mask & STATX_BTIME) &&
        (sx.stx_btime.tv_sec < sx.stx_mtime.tv_sec ||
         (sx.stx_btime.tv_sec == sx.stx_mtime.tv_sec && sx.stx_btime.tv_nsec <= sx.stx_mtime.tv_nsec));
    times.creationUtc = birthUsable ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec;
    return times;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The child folder of `folder` named `component` in any letter case: a Windows disk mounted on Linux
// keeps its own spelling ("Performance/WinSAT/DataStore"). An exact match wins; among several
// spellings the smallest name wins, so the choice does not depend on the enumeration order.
std::string ResolveFolder(const std::string& folder, const std::string& component) {
    const std::string exact = Join(folder, component);
    if (IsDirectory(exact)) return exact;
    DirHandle dir(::opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir) return exact;
    std::string best;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (!EqualsIgnoringAsciiCase(name, component)) continue;
        if (!best.empty() && best <= name) continue;
        if (IsDirectory(Join(folder, name))) best = name;
    }
    return best.empty() ? exact : Join(folder, best);
}

class PosixFileService final : public FileService {
public:
    explicit PosixFileService(std::string windowsDir) : m_windowsDir(std::move(windowsDir)) {}

    std::string DatastoreFolder() override {
        std::string folder = m_windowsDir;
        if (folder.empty()) {
            // Without a Windows directory the relative path is taken from the current directory.
            std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
            if (!cwd) return {};
            folder = cwd.get();
        }
        for (const char* component : {"performance", "winsat", "datastore"})
            folder = ResolveFolder(folder, component);
        return folder;
    }

    char PathSeparator() const override { return '/'; }

    bool ListDirectory(const std::string& folder, std::vector<DirEntry>& entries, std::string* why,
                       const NameFilter& wanted) override {
        entries.clear();
        DirHandle dir(::opendir(folder.c_str()));
        if (!dir) {
            if (why) *why = "cannot open folder " + folder + ": " + ErrorText(errno);
            return false;
        }
        for (;;) {
            errno = 0;
            const dirent* raw = ::readdir(dir.get());
            // An error after some entries ends the listing; what was seen stays usable.
            if (!raw) break;
            DirEntry entry;
            entry.name = raw->d_name;
            if (wanted && !wanted(entry.name)) continue;
            const std::string path = Join(folder, entry.name);
            struct statx sx {};
            // Type after following links; a dangling link or a FIFO, device or socket is Other.
            if (!StatusOf(path, sx)) {
                entry.type = DirEntry::Type::Other;
            } else if (S_ISREG(sx.stx_mode)) {
                entry.type = DirEntry::Type::RegularFile;
                entry.creationTimeUtc = TimesOf(path, sx).creationUtc;
            } else if (S_ISDIR(sx.stx_mode)) {
                entry.type = DirEntry::Type::Directory;
                entry.creationTimeUtc = TimesOf(path, sx).creationUtc;
            } else {
                entry.type = DirEntry::Type::Other;
            }
            entries.push_back(std::move(entry));
        }
        return true;
    }

    bool GetFileTimes(const std::string& path, FileTimes& times) override {
        struct statx sx {};
        if (path.empty() || !StatusOf(path, sx)) return false;
        times = TimesOf(path, sx);
        return true;
    }

    bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                         std::string* why) override {
        auto fail = [&](const std::string& reason) {
            if (why) *why = "cannot read " + (path.empty() ? std::string("(no file)") : path) + ": " + reason;
            return false;
        };
        if (path.empty()) return fail("no file was given");
        // Non-blocking, so that opening a FIFO named like an assessment returns at once instead of
        // waiting for a writer; it is refused right after.
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (fd.Get() < 0) return fail(ErrorText(errno));
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0) return fail(ErrorText(errno));
        if (!S_ISREG(st.st_mode)) return fail("not a regular file");
        if (st.st_size < 0 || static_cast<std::uintmax_t>(st.st_size) > maxBytes)
            return fail("larger than " + std::to_string(maxBytes) + " bytes");
        std::string content;
        content.resize(static_cast<std::size_t>(st.st_size));
        std::size_t filled = 0;
        for (;;) {
            // One byte of room beyond the limit tells a file that grew while being read.
            if (filled == content.size()) {
                if (content.size() > maxBytes)
                    return fail("larger than " + std::to_string(maxBytes) + " bytes");
                content.resize(std::max<std::size_t>(content.size() * 2, 4096));
                if (content.size() > maxBytes) content.resize(maxBytes + 1);
            }
            const ssize_t got = ::read(fd.Get(), content.data() + filled, content.size() - filled);
            if (got < 0) {
                if (errno == EINTR) continue;
                return fail(ErrorText(errno));
            }
            if (got == 0) break;
            filled += static_cast<std::size_t>(got);
        }
        if (filled > maxBytes) return fail("larger than " + std::to_string(maxBytes) + " bytes");
        content.resize(filled);
        bytes = std::move(content);
        return true;
    }

private:
    std::string m_windowsDir;
};

}  // namespace

std::unique_ptr<FileService> MakeFileService(const std::string& windowsDir) {
    std::string folder = windowsDir;
    if (folder.empty()) {
        if (const char* fromEnvironment = std::getenv("WINDIR")) folder = fromEnvironment;
    }
    return std::make_unique<PosixFileService>(std::move(folder));
}

}  // namespace tallyhive
