// The runner's private folder on POSIX: mkdtemp under $TMPDIR (or /tmp), mode 0700.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/Processes.h"
#include "remeasure/Remeasure.h"

namespace tallyhive {

namespace {

// Every run's folder starts with this, so the folders earlier runs left can be found again.
constexpr std::string_view kFolderPrefix = "tallyhive-run-";

std::string ErrnoText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// Nothing to hold on POSIX: the folder is the user's alone, so nobody else can swap the file.
class PosixHeldFile final : public HeldFile {};

class PosixTempFolderService final : public TempFolderService {
public:
    explicit PosixTempFolderService(std::string parent) : m_parent(std::move(parent)) {}

    char PathSeparator() const override { return '/'; }

    bool CreatePrivateFolder(std::string& folder, std::string* why) override {
        const std::string parent = Parent();
        std::string pattern = parent + "/" + std::string(kFolderPrefix) + "XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        // mkdtemp makes the folder with mode 0700 under a name nobody could have guessed or
        // prepared, so no other process of the user can plant or replace the runner in it.
        if (!::mkdtemp(buffer.data())) {
            if (why) *why = ErrnoText(parent, errno);
            return false;
        }
        folder = buffer.data();
        return true;
    }

    std::unique_ptr<HeldFile> WriteExecutable(const std::string& path, std::span<const unsigned char> bytes,
                                              std::string* why) override {
        auto fail = [&](int error) -> std::unique_ptr<HeldFile> {
            if (why) *why = ErrnoText(path, error);
            return nullptr;
        };
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRWXU);
        if (fd < 0) return fail(errno);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                // A short write with no error means the disk is full.
                const int error = n < 0 ? errno : ENOSPC;
                ::close(fd);
                return fail(error);
            }
            done += static_cast<std::size_t>(n);
        }
        // Some file systems report a failed write only here.
        if (::close(fd) != 0) return fail(errno);
        return std::make_unique<PosixHeldFile>();
    }

    // A running program's file can be unlinked here, so nothing is ever reported in use.
    bool RemoveFile(const std::string& path, bool*) override { return ::unlink(path.c_str()) == 0; }
    bool RemoveFolder(const std::string& folder) override { return ::rmdir(folder.c_str()) == 0; }

    std::vector<std::string> EarlierFolders() override {
        std::vector<std::string> found;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(Parent(), error)) {
            const std::string name = entry.path().filename().string();
            if (!name.starts_with(kFolderPrefix)) continue;
            // The temporary folder is shared: only a real folder of this user's, made as
            // CreatePrivateFolder makes it, is taken, never a link someone else placed there.
            struct stat info {};
            const std::string path = entry.path().string();
            if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
                (info.st_mode & 07777) != 0700)
                continue;
            found.push_back(path);
        }
        return found;
    }

private:
    std::string Parent() const {
        std::string parent = m_parent;
        if (parent.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            parent = (tmp && *tmp) ? tmp : "/tmp";
        }
        while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
        return parent;
    }

    std::string m_parent;
};

}  // namespace

std::unique_ptr<TempFolderService> MakeTempFolderService(const std::string& parent) {
    return std::make_unique<PosixTempFolderService>(parent);
}

}  // namespace tallyhive
