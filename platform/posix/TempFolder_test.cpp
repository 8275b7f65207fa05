// The runner's private folder on POSIX.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <vector>

#include "platform/Processes.h"
#include "platform/posix/testing/TestSupport.h"
#include "remeasure/Remeasure.h"

namespace tallyhive {
namespace {

using testing::ReadFile;
using testing::ScopedEnv;
using testing::ScratchFolder;
using testing::WriteFile;

std::span<const unsigned char> Bytes(const std::string& s) {
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

TEST(PosixTempFolder, MakesAFreshFolderOnlyTheUserCanEnter) {
    ScratchFolder parent;
    auto temp = MakeTempFolderService(parent.path());
    std::string first, second;
    ASSERT_TRUE(temp->CreatePrivateFolder(first));
    ASSERT_TRUE(temp->CreatePrivateFolder(second));
    EXPECT_NE(first, second) << "every run gets a folder of its own";
    for (const std::string& folder : {first, second}) {
        SCOPED_TRACE(folder);
        struct stat st {};
        ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0700u) << "nobody else may enter, list or write it";
        EXPECT_EQ(folder.rfind(parent.path() + "/", 0), 0u);
        EXPECT_TRUE(temp->RemoveFolder(folder));
    }
}

TEST(PosixTempFolder, UsesTmpdirThenTmp) {
    ScratchFolder parent;
    struct Case {
        const char* tmpdir;
        std::string wantParent;
        std::string_view why;
    };
    const std::string withSlash = parent.path() + "/";
    const Case cases[] = {
        {parent.path().c_str(), parent.path(), "TMPDIR is the user's temporary folder"},
        {withSlash.c_str(), parent.path(), "a trailing slash in TMPDIR gives no double slash"},
        {"", "/tmp", "empty TMPDIR: /tmp"},
        {nullptr, "/tmp", "no TMPDIR: /tmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ScopedEnv tmpdir("TMPDIR", c.tmpdir);
        auto temp = MakeTempFolderService();
        std::string folder;
        ASSERT_TRUE(temp->CreatePrivateFolder(folder));
        EXPECT_EQ(folder.rfind(c.wantParent + "/tallyhive-", 0), 0u) << folder;
        EXPECT_TRUE(temp->RemoveFolder(folder));
    }
}

TEST(PosixTempFolder, AnUnusableTemporaryFolderIsAClearFailure) {
    ScratchFolder scratch;
    WriteFile(scratch / "plain-file", "x");
    struct Case {
        std::string parent;
        std::string_view why;
    };
    const Case cases[] = {
        {scratch / "missing", "the folder does not exist"},
        {scratch / "plain-file", "the path is a file"},
        {"/proc", "a read-only file system (refuses even root)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        auto temp = MakeTempFolderService(c.parent);
        std::string folder = "untouched", why;
        EXPECT_FALSE(temp->CreatePrivateFolder(folder, &why));
        EXPECT_EQ(folder, "untouched");
        EXPECT_NE(why.find(c.parent), std::string::npos) << why;
    }
}

// The temporary folder is shared with other users: only this user's own run folders are cleared
// later, never what a link someone placed there points to.
TEST(PosixTempFolder, EarlierFoldersAreOnlyThisUsersOwnRunFolders) {
    ScratchFolder parent;
    ScratchFolder elsewhere;
    WriteFile(elsewhere / "AssessRunner", "keep me");
    auto temp = MakeTempFolderService(parent.path());
    std::string folder;
    ASSERT_TRUE(temp->CreatePrivateFolder(folder));
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), (parent / "tallyhive-run-link").c_str()), 0);
    ASSERT_EQ(::mkdir((parent / "tallyhive-run-open").c_str(), 0755), 0);
    WriteFile(parent / "tallyhive-run-file", "x");
    ASSERT_EQ(::mkdir((parent / "another-program").c_str(), 0700), 0);

    EXPECT_EQ(temp->EarlierFolders(), std::vector<std::string>{folder});
    EXPECT_TRUE(RemoveEarlierRunners(*temp, "AssessRunner"));
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(ReadFile(elsewhere / "AssessRunner"), "keep me");
}

TEST(PosixTempFolder, WritesAnExecutableWithExactlyTheGivenBytes) {
    ScratchFolder parent;
    auto temp = MakeTempFolderService(parent.path());
    std::string folder;
    ASSERT_TRUE(temp->CreatePrivateFolder(folder));
    std::string content(300000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    const std::string path = folder + "/AssessRunner";
    ASSERT_NE(temp->WriteExecutable(path, Bytes(content)), nullptr);
    EXPECT_EQ(ReadFile(path), content);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_TRUE(temp->RemoveFile(path));
    EXPECT_TRUE(temp->RemoveFolder(folder));
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(PosixTempFolder, NeverWritesThroughSomethingAlreadyThere) {
    ScratchFolder parent;
    auto temp = MakeTempFolderService(parent.path());
    WriteFile(parent / "victim", "keep me");
    struct Case {
        std::string_view why;
        void (*plant)(const std::string& path, const std::string& victim);
    };
    const Case cases[] = {
        {"an existing file is not reused",
         [](const std::string& p, const std::string&) { WriteFile(p, "old"); }},
        {"a planted link is not followed",
         [](const std::string& p, const std::string& victim) {
             ASSERT_EQ(::symlink(victim.c_str(), p.c_str()), 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const std::string path = parent / "AssessRunner";
        c.plant(path, parent / "victim");
        std::string why;
        EXPECT_EQ(temp->WriteExecutable(path, Bytes("new bytes"), &why), nullptr);
        EXPECT_FALSE(why.empty());
        EXPECT_EQ(ReadFile(parent / "victim"), "keep me");
        ::unlink(path.c_str());
    }
}

TEST(PosixTempFolder, AFullDiskIsReportedAsAFailedWrite) {
    ScratchFolder parent;
    const std::string path = parent / "AssessRunner";
    // A child process with a small file size limit stands in for a full disk: its writes stop part
    // way through, as they would when the space runs out.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        auto temp = MakeTempFolderService(parent.path());
        std::string why;
        const bool written = temp->WriteExecutable(path, Bytes(std::string(100000, 'r')), &why) != nullptr;
        ::_exit(written ? 1 : why.empty() ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a partial write was reported as written; 2: no reason given";
}

}  // namespace
}  // namespace tallyhive
