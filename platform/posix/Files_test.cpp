#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "assessment/AssessmentResult.h"
#include "assessment/Loading.h"
#include "assessment/XmlReader.h"
#include "assessment/testing/Fakes.h"
#include "platform/Platform.h"

namespace tallyhive {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "tallyhive-files-XXXXXX").string();
        if (::mkdtemp(pattern.data())) m_path = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// Sets both access and modification time, as a copy that keeps its times would have them.
void SetModificationTime(const std::string& path, std::int64_t utcSeconds) {
    const timespec times[2] = {{static_cast<time_t>(utcSeconds), 0}, {static_cast<time_t>(utcSeconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// Restores an environment value when the test ends.
class EnvironmentValue {
public:
    explicit EnvironmentValue(const char* name) : m_name(name) {
        if (const char* value = std::getenv(name)) m_saved = value;
    }
    EnvironmentValue(const EnvironmentValue&) = delete;
    EnvironmentValue& operator=(const EnvironmentValue&) = delete;
    ~EnvironmentValue() {
        if (m_saved) {
            ::setenv(m_name, m_saved->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_saved;
};

TEST(PosixFiles, DatastoreFolderInAnyLetterCase) {
    struct Case {
        std::vector<std::string> folders;  // created under the Windows directory
        std::string want;                  // relative to the Windows directory
        const char* why;
    };
    const Case cases[] = {
        {{"performance/winsat/datastore"}, "performance/winsat/datastore", "the spelling asked for"},
        {{"Performance/WinSAT/DataStore"}, "Performance/WinSAT/DataStore", "a mounted Windows disk"},
        {{"PERFORMANCE/WINSAT/DATASTORE"}, "PERFORMANCE/WINSAT/DATASTORE", "upper case"},
        {{"Performance/WinSAT/DataStore", "Performance/WinSAT/datastore"},
         "Performance/WinSAT/datastore",
         "an exact spelling wins over another"},
        {{"Performance/winsat.txt/x", "Performance/WinSAT/DataStore"},
         "Performance/WinSAT/DataStore",
         "a similar name is no match"},
        {{}, "performance/winsat/datastore", "missing: the path as asked, so listing it fails clearly"},
        {{"Performance"}, "Performance/winsat/datastore", "only the first level exists"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TempDir win;
        for (const std::string& folder : c.folders) fs::create_directories(win / folder);
        EXPECT_EQ(MakeFileService(win.Path())->DatastoreFolder(), win / c.want);
        EXPECT_EQ(MakeFileService(win.Path() + "/")->DatastoreFolder(), win / c.want) << "trailing slash";
    }
}

TEST(PosixFiles, AFileIsNoFolderOfTheDatastorePath) {
    TempDir win;
    WriteFile(win / "PERFORMANCE", "not a folder");
    fs::create_directories(win / "Performance/WinSAT/DataStore");
    EXPECT_EQ(MakeFileService(win.Path())->DatastoreFolder(), win / "Performance/WinSAT/DataStore");
}

TEST(PosixFiles, WindowsDirectoryFromTheArgumentElseWindir) {
    EnvironmentValue restore("WINDIR");
    TempDir fromEnvironment, fromArgument;
    fs::create_directories(fromEnvironment / "Performance/WinSAT/DataStore");
    fs::create_directories(fromArgument / "performance/winsat/datastore");
    ::setenv("WINDIR", fromEnvironment.Path().c_str(), 1);
    EXPECT_EQ(MakeFileService()->DatastoreFolder(), fromEnvironment / "Performance/WinSAT/DataStore");
    EXPECT_EQ(MakeFileService(fromArgument.Path())->DatastoreFolder(),
              fromArgument / "performance/winsat/datastore");
}

TEST(PosixFiles, MissingFolderCannotBeListed) {
    TempDir win;
    auto files = MakeFileService(win.Path());
    std::vector<DirEntry> entries = {DirEntry{}};
    std::string why;
    EXPECT_FALSE(files->ListDirectory(files->DatastoreFolder(), entries, &why));
    EXPECT_NE(why.find("cannot open folder " + (win / "performance/winsat/datastore")), std::string::npos)
        << why;
    EXPECT_TRUE(entries.empty());
}

// A datastore holding everything that may be named like a formal assessment.
struct Zoo {
    TempDir dir;
    std::int64_t older = 1'600'000'000;  // 2020-09-13
    std::int64_t newer = 1'650'000'000;  // 2022-04-15

    Zoo() {
        WriteFile(dir / "a Formal.xml", "<a/>");
        SetModificationTime(dir / "a Formal.xml", older);
        WriteFile(dir / "target.bin", "<l/>");
        SetModificationTime(dir / "target.bin", newer);
        fs::create_symlink("target.bin", dir / "l Formal.xml");
        fs::create_symlink("missing.bin", dir / "d Formal.xml");
        fs::create_directory(dir / "x Formal.xml");
        ::mkfifo((dir / "f Formal.xml").c_str(), 0600);
    }
};

TEST(PosixFiles, ListingTypesFollowLinks) {
    Zoo zoo;
    auto files = MakeFileService();
    std::vector<DirEntry> entries;
    ASSERT_TRUE(files->ListDirectory(zoo.dir.Path(), entries));
    std::map<std::string, DirEntry> byName;
    for (const DirEntry& entry : entries) byName[entry.name] = entry;

    struct Case {
        const char* name;
        DirEntry::Type type;
        const char* why;
    };
    const Case cases[] = {
        {"a Formal.xml", DirEntry::Type::RegularFile, "a regular file"},
        {"l Formal.xml", DirEntry::Type::RegularFile, "a link to a regular file is one"},
        {"d Formal.xml", DirEntry::Type::Other, "a dangling link"},
        {"x Formal.xml", DirEntry::Type::Directory, "a directory"},
        {"f Formal.xml", DirEntry::Type::Other, "a FIFO"},
        {".", DirEntry::Type::Directory, "dot"},
        {"..", DirEntry::Type::Directory, "dot dot"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_EQ(byName.count(c.name), 1u);
        EXPECT_EQ(byName[c.name].type, c.type);
    }
    // A birth time later than the modification time (the file was written, then its time set
    // back, as a copy does) is not trusted: the modification time stands in for creation.
    EXPECT_EQ(byName["a Formal.xml"].creationTimeUtc, zoo.older);
    EXPECT_EQ(byName["l Formal.xml"].creationTimeUtc, zoo.newer) << "times of the link's target";

    const FakeTimeService time;
    EXPECT_EQ(ListFormalFiles(zoo.dir.Path(), '/', entries, time),
              (std::vector<std::string>{zoo.dir / "l Formal.xml", zoo.dir / "a Formal.xml"}));
}

TEST(PosixFiles, AListingKeepsOnlyTheNamesTheFilterAccepts) {
    Zoo zoo;
    auto files = MakeFileService();
    std::vector<DirEntry> entries;
    ASSERT_TRUE(files->ListDirectory(zoo.dir.Path(), entries, nullptr, [](const std::string& name) {
        return name[0] == 'a' || name[0] == 'f';
    }));
    std::vector<std::string> names;
    for (const DirEntry& entry : entries) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a Formal.xml", "f Formal.xml"}));

    // The loader's own filter leaves out names that cannot qualify, and nothing it would take.
    std::vector<DirEntry> formal, all;
    ASSERT_TRUE(ListFormalCandidates(*files, zoo.dir.Path(), formal));
    ASSERT_TRUE(files->ListDirectory(zoo.dir.Path(), all));
    const FakeTimeService time;
    EXPECT_EQ(ListFormalFiles(zoo.dir.Path(), '/', formal, time),
              ListFormalFiles(zoo.dir.Path(), '/', all, time));
    for (const DirEntry& entry : formal) EXPECT_NE(entry.name, ".");
}

TEST(PosixFiles, CreationTimeIsTheBirthTimeOnlyWhenItIsNotLater) {
    TempDir dir;
    const std::string path = dir / "file.xml";
    const std::int64_t before = std::time(nullptr);
    WriteFile(path, "x");
    auto files = MakeFileService();

    struct statx sx {};
    ASSERT_EQ(::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &sx), 0);
    const bool hasBirthTime = (sx.stx_mask & STATX_BTIME) != 0;

    // Modified after its birth: the birth time is the creation time.
    SetModificationTime(path, before + 1000);
    FileTimes times;
    ASSERT_TRUE(files->GetFileTimes(path, times));
    EXPECT_EQ(times.lastWriteUtc, before + 1000);
    if (hasBirthTime) {
        EXPECT_EQ(times.creationUtc, static_cast<std::int64_t>(sx.stx_btime.tv_sec));
        EXPECT_LE(times.creationUtc - before, 5);
    } else {
        EXPECT_EQ(times.creationUtc, before + 1000);
    }

    // Modification time set into the past, as a copy keeps it: the birth time is the copy's.
    SetModificationTime(path, 1'000'000'000);
    ASSERT_TRUE(files->GetFileTimes(path, times));
    EXPECT_EQ(times.creationUtc, 1'000'000'000);
    EXPECT_EQ(times.lastWriteUtc, 1'000'000'000);

    EXPECT_FALSE(files->GetFileTimes(dir / "missing.xml", times));
    EXPECT_FALSE(files->GetFileTimes("", times));
}

TEST(PosixFiles, ReadRegularFileRefusesAllButRegularFilesWithinTheLimit) {
    Zoo zoo;
    WriteFile(zoo.dir / "ten.bin", "0123456789");
    WriteFile(zoo.dir / "empty.bin", "");
    struct Case {
        std::string path;
        std::size_t limit;
        std::optional<std::string> content;  // empty: refused
        const char* reason;
    };
    const Case cases[] = {
        {zoo.dir / "ten.bin", 10, "0123456789", "exactly the limit"},
        {zoo.dir / "ten.bin", 9, std::nullopt, "larger than 9 bytes"},
        {zoo.dir / "empty.bin", 0, "", "an empty file is read"},
        {zoo.dir / "l Formal.xml", 100, "<l/>", "through a link"},
        {zoo.dir / "d Formal.xml", 100, std::nullopt, "No such file"},
        {zoo.dir / "x Formal.xml", 100, std::nullopt, "not a regular file"},
        {zoo.dir / "f Formal.xml", 100, std::nullopt, "not a regular file"},
        {"/dev/zero", 100, std::nullopt, "not a regular file"},
        {zoo.dir / "missing.xml", 100, std::nullopt, "No such file"},
        {"", 100, std::nullopt, "no file was given"},
    };
    auto files = MakeFileService();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        std::string bytes = "untouched";
        std::string why;
        // Run apart, so that a read that blocks (on the FIFO) fails the test instead of hanging it.
        auto read = std::async(std::launch::async,
                               [&] { return files->ReadRegularFile(c.path, c.limit, bytes, &why); });
        if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Release the blocked reader so the test can end.
            const int writer = ::open(c.path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0) ::close(writer);
            ADD_FAILURE() << "reading " << c.path << " blocked";
            read.wait();
            continue;
        }
        const bool ok = read.get();
        EXPECT_EQ(ok, c.content.has_value()) << why;
        if (c.content) {
            EXPECT_EQ(bytes, *c.content);
        } else {
            EXPECT_EQ(bytes, "untouched");
            EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        }
    }
}

TEST(PosixFiles, UnreadableFileIsRefusedWithItsReason) {
    TempDir dir;
    ::chmod(dir.Path().c_str(), 0755);
    const std::string path = dir / "secret Formal.xml";
    WriteFile(path, "<WinSAT/>");
    ::chmod(path.c_str(), 0);
    // Root reads any file; drop to an ordinary user in a child so the permission check applies.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        auto files = MakeFileService();
        std::string bytes, why;
        const bool ok = files->ReadRegularFile(path, 1000, bytes, &why);
        ::_exit(ok ? 1 : (why.find("Permission denied") != std::string::npos && bytes.empty() ? 0 : 2));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: read anyway, 2: no clear reason, 3: could not drop rights";
}

TEST(PosixModules, NoDirectXModulesOnLinux) {
    auto modules = MakeModuleService();
    for (const char* name : {"d3d8.dll", "d3d9.dll", "d3d11.dll", "d3d12.dll", "libc.so.6"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(modules->CanLoadModule(name));
    }
}

// The real datastore of a Windows 11 machine, copied into a Windows directory the way a mounted disk
// spells it. It holds one formal assessment among the component files.
class SampleDatastore : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path source = fs::path(TALLYHIVE_SAMPLES_DIR) / "datastore-win11-ptBR-acer-aspire-a515-45";
        if (!fs::is_directory(source)) GTEST_SKIP() << "no sample datastore at " << source;
        m_folder = m_win / "Performance/WinSAT/DataStore";
        fs::create_directories(m_folder);
        for (const auto& entry : fs::directory_iterator(source))
            fs::copy_file(entry.path(), fs::path(m_folder) / entry.path().filename());
        m_formal = m_folder + "/2026-06-28 13.10.42.552 Formal.Assessment (Initial).WinSAT.xml";
    }

    TempDir m_win;
    std::string m_folder;
    std::string m_formal;
    std::unique_ptr<FileService> m_files = MakeFileService(m_win.Path());
    std::unique_ptr<TimeService> m_time = MakeTimeService();
    std::unique_ptr<ModuleService> m_modules = MakeModuleService();
    std::unique_ptr<XmlParser> m_xml = MakeXmlParser();
    AssessmentServices m_services{*m_files, *m_time, *m_modules, *m_xml};
};

TEST_F(SampleDatastore, ReadsTheFormalFileAndRefusesItAsNotVista7Or8) {
    CAssessmentResult record(*m_time);
    CXmlForwardingReader reader(*m_files, *m_xml, record);
    std::string why;
    ASSERT_TRUE(reader.Load(m_formal, &why)) << why;
    EXPECT_EQ(record.systemScore, "8");
    EXPECT_EQ(record.cpuScore, "9.3");
    EXPECT_EQ(record.memoryScore, "9.3");
    EXPECT_EQ(record.gamingScore, "9.9");
    EXPECT_EQ(record.diskScore, "8.55");
    EXPECT_EQ(record.osProductName, "Windows 10 Pro");
    EXPECT_EQ(record.programVersion, "V10.0 Build-26100.8521");
    ASSERT_EQ(record.processorNames.size(), 1u);
    EXPECT_EQ(record.processorNames[0], "AMD Ryzen 7 5700U with Radeon Graphics         ");
    EXPECT_EQ(record.dimmManufacturers.size(), record.dimmPartNumbers.size());
    EXPECT_EQ(record.execDateText, "739795:47442552");
    LocalDateTime local;
    ASSERT_TRUE(m_time->ToLocal(record.GetExecDateTime(), local));
    EXPECT_EQ((std::vector<int>{local.year, local.month, local.day, local.hour, local.minute, local.second}),
              (std::vector<int>{2026, 6, 28, 13, 10, 42}));

    // As copied, the file carries the copy's times and is refused for them.
    CAssessmentResult latest(*m_time);
    std::string chosen;
    EXPECT_FALSE(LoadLatestResult(latest, m_services, &why, &chosen));
    EXPECT_EQ(chosen, m_formal);
    EXPECT_NE(why.find("differ by"), std::string::npos) << why;

    // With the times the tool gave it, the file passes the time rules and the version rule refuses it.
    const std::int64_t exec = record.GetExecDateTime();
    if (exec > std::time(nullptr)) GTEST_SKIP() << "the machine's clock is before the assessment";
    SetModificationTime(m_formal, exec);
    EXPECT_FALSE(LoadLatestResult(latest, m_services, &why, &chosen));
    EXPECT_EQ(chosen, m_formal);
    EXPECT_NE(why.find("product name \"Windows 10 Pro\" is not Windows Vista, 7 or 8"), std::string::npos)
        << why;
    EXPECT_EQ(latest.systemScore, "");
}

}  // namespace
}  // namespace tallyhive
