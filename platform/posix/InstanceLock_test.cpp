#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/AppServices.h"
#include "platform/HostServices.h"

namespace tallyhive {
namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lock-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    TempDir dir;
    auto first = MakeInstanceLock(dir.Path());
    auto second = MakeInstanceLock(dir.Path());
    EXPECT_EQ(first->Acquire("Tallyhive"), InstanceState::First);
    EXPECT_EQ(second->Acquire("Tallyhive"), InstanceState::AlreadyRunning);
    EXPECT_EQ(MakeInstanceLock(dir.Path())->Acquire("Other"), InstanceState::First) << "names are separate";
    first->Release();
    first->Release();
    EXPECT_EQ(second->Acquire("Tallyhive"), InstanceState::First) << "after the first closed, a start runs";
}

TEST(InstanceLock, DiesWithItsProcess) {
    TempDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto lock = MakeInstanceLock(dir.Path());
        if (lock->Acquire("Tallyhive") != InstanceState::First) _exit(3);
        std::abort();  // never releases: the kernel must
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child took the lock and died without releasing it";
    EXPECT_EQ(MakeInstanceLock(dir.Path())->Acquire("Tallyhive"), InstanceState::First);
}

TEST(InstanceLock, ProgramsItStartsDoNotKeepIt) {
    TempDir dir;
    auto lock = MakeInstanceLock(dir.Path());
    ASSERT_EQ(lock->Acquire("Tallyhive"), InstanceState::First);
    // A browser started to open a link may outlive this program; it must not inherit the lock.
    // The pipe closes on exec, so reading its end tells when the child runs the new program and
    // has dropped whatever descriptors close on exec.
    int execed[2];
    ASSERT_EQ(pipe2(execed, O_CLOEXEC), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execlp("sleep", "sleep", "3", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(execed[1]);
    char byte = 0;
    while (read(execed[0], &byte, 1) < 0 && errno == EINTR) {
    }
    close(execed[0]);
    lock->Release();
    const InstanceState next = MakeInstanceLock(dir.Path())->Acquire("Tallyhive");
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(next, InstanceState::First);
}

TEST(InstanceLock, UnusableFoldersAndNamesAreNotFirst) {
    TempDir dir;
    const std::string closed = dir.Path() + "/closed";
    ASSERT_EQ(mkdir(closed.c_str(), 0500), 0);
    struct Case {
        std::string folder;
        std::string name;
        const char* why;
    };
    const Case cases[] = {
        {dir.Path() + "/missing", "Tallyhive", "a folder that does not exist"},
        {dir.Path(), "../Tallyhive", "a name that leaves the folder"},
        {dir.Path(), "", "no name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(MakeInstanceLock(c.folder)->Acquire(c.name), InstanceState::Unknown);
    }
    if (geteuid() != 0) {
        EXPECT_EQ(MakeInstanceLock(closed)->Acquire("Tallyhive"), InstanceState::Unknown)
            << "read-only folder";
    }
}

TEST(InstanceLock, WithoutARuntimeFolderUsesAPrivateOne) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string restore = saved ? saved : "";
    unsetenv("XDG_RUNTIME_DIR");
    auto first = MakeInstanceLock();
    auto second = MakeInstanceLock();
    const InstanceState a = first->Acquire("TallyhiveLockTest");
    const InstanceState b = second->Acquire("TallyhiveLockTest");
    if (saved) setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
    EXPECT_EQ(a, InstanceState::First);
    EXPECT_EQ(b, InstanceState::AlreadyRunning);
    struct stat info {};
    ASSERT_EQ(stat(("/tmp/tallyhive-" + std::to_string(geteuid())).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "closed to other users";
}

}  // namespace
}  // namespace tallyhive
