// One instance per user: an exclusive flock on a file in the user's runtime folder. The kernel
// drops the lock when the process ends however it ends, so a crash never leaves a stale lock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "app/AppServices.h"
#include "platform/HostServices.h"

namespace tallyhive {

namespace {

// The folder for the lock when the session has no runtime folder (root in CI, a bare ssh login):
// a folder of this user's own under /tmp. It must be ours and closed to others, or another user
// could hold our lock or point it elsewhere.
bool PrivateFallbackFolder(std::string& folder) {
    const uid_t uid = geteuid();
    folder = "/tmp/tallyhive-" + std::to_string(uid);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == uid && (info.st_mode & 0077) == 0;
}

class FileInstanceLock final : public InstanceLock {
public:
    explicit FileInstanceLock(std::string runtimeDir) : m_runtimeDir(std::move(runtimeDir)) {}
    FileInstanceLock(const FileInstanceLock&) = delete;
    FileInstanceLock& operator=(const FileInstanceLock&) = delete;
    ~FileInstanceLock() override { Release(); }

    InstanceState Acquire(std::string_view name) override {
        Release();
        if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..")
            return InstanceState::Unknown;
        std::string folder = m_runtimeDir;
        if (folder.empty()) {
            const char* runtime = std::getenv("XDG_RUNTIME_DIR");
            if (runtime != nullptr && runtime[0] == '/') folder = runtime;
        }
        if (folder.empty() && !PrivateFallbackFolder(folder)) return InstanceState::Unknown;

        const std::string path = folder + "/" + std::string(name) + ".lock";
        // Close-on-exec: a browser started to open a link must not inherit the lock and keep it
        // after this program has ended. No symlink is followed out of the folder.
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return InstanceState::Unknown;
        int result = 0;
        do {
            result = flock(fd, LOCK_EX | LOCK_NB);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            const int error = errno;
            close(fd);
            return error == EWOULDBLOCK ? InstanceState::AlreadyRunning : InstanceState::Unknown;
        }
        m_fd = fd;
        return InstanceState::First;
    }

    void Release() override {
        // The file stays: removing it would let a starting instance lock a fresh file while a
        // third still waits on the old one, and both would think themselves first.
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }

private:
    std::string m_runtimeDir;
    int m_fd = -1;
};

}  // namespace

std::unique_ptr<InstanceLock> MakeInstanceLock(const std::string& runtimeDir) {
    return std::make_unique<FileInstanceLock>(runtimeDir);
}

}  // namespace tallyhive
