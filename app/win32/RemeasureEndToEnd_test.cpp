// Measuring again on Windows, end to end: the runner the program carries as resource "EXE" 131 is
// written to a private folder and run through the command interpreter; it finds winsat where Windows
// keeps it (as a 32-bit program on 64-bit Windows, only through "Sysnative"), and the assessment
// winsat leaves is what the program then loads.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <memory>

#include "app/win32/EmbeddedRunnerWin32.h"
#include "app/win32/testing/AssessmentFiles.h"
#include "assessment/AssessmentResult.h"
#include "assessment/Loading.h"
#include "platform/Platform.h"
#include "platform/Processes.h"
#include "platform/win32/Win32Util.h"
#include "remeasure/Remeasure.h"

namespace tallyhive {
namespace {

namespace fs = std::filesystem;

bool UnderWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
    return std::wstring(buffer, length);
}

// The real system folder, whichever view of it this process has.
std::wstring NativeSystemFolder() {
    if (!UnderWow64()) return SystemFolder();
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = ::ExpandEnvironmentStringsW(L"%WinDir%\\Sysnative", buffer, MAX_PATH + 1);
    return std::wstring(buffer, length > 0 ? length - 1 : 0);
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The runner exactly as the program carries it.
class ProgramResources {
public:
    ProgramResources()
        : m_module(
              ::LoadLibraryExW(win32::Wide(TALLYHIVE_MAIN_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ProgramResources(const ProgramResources&) = delete;
    ProgramResources& operator=(const ProgramResources&) = delete;
    ~ProgramResources() {
        if (m_module) ::FreeLibrary(m_module);
    }
    RunnerImage Runner() const { return m_module ? RunnerResourceOf(m_module) : RunnerImage{}; }

private:
    HMODULE m_module;
};

// A file put somewhere for the test, removed again whatever happens.
class PlacedFile {
public:
    PlacedFile(const std::wstring& from, std::wstring to) : m_path(std::move(to)) {
        m_placed = ::CopyFileW(from.c_str(), m_path.c_str(), TRUE) != 0;
    }
    PlacedFile(const PlacedFile&) = delete;
    PlacedFile& operator=(const PlacedFile&) = delete;
    ~PlacedFile() {
        if (m_placed) ::DeleteFileW(m_path.c_str());
    }
    bool Placed() const { return m_placed; }

private:
    std::wstring m_path;
    bool m_placed = false;
};

class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : m_name(name) {
        ::SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    ~ScopedVariable() { ::SetEnvironmentVariableW(m_name, nullptr); }

private:
    const wchar_t* m_name;
};

class Win32RemeasureEndToEnd : public ::testing::Test {
protected:
    fs::path scratch =
        fs::temp_directory_path() / ("tallyhive-remeasure-" + std::to_string(::GetCurrentProcessId()));
    fs::path windowsDir = scratch / "Windows";
    fs::path datastore = windowsDir / "Performance" / "WinSAT" / "DataStore";
    fs::path temp = scratch / "temp";

    void SetUp() override {
        fs::create_directories(datastore);
        fs::create_directories(temp);
        // An older assessment is already there, an hour in the past.
        writer::AssessmentContent old;
        old.executedUtcMs = testing::NowUtcMs() - 3600 * 1000;
        old.systemScore = "3.3";
        std::wstring written;
        std::string why;
        ASSERT_TRUE(testing::WriteAssessmentFile(old, datastore.wstring(), written, &why)) << why;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
    }
};

TEST_F(Win32RemeasureEndToEnd, TheCarriedRunnerReachesWinsatWhereWindowsKeepsIt) {
    const ProgramResources program;
    const RunnerImage runner = program.Runner();
    ASSERT_FALSE(runner.bytes.empty()) << "resource EXE 131 of " << TALLYHIVE_MAIN_EXE;

    const std::wstring standIn = win32::Wide(TALLYHIVE_TEST_WINSAT);
    const std::wstring native = NativeSystemFolder() + L"\\winsat.exe";
    // Under WOW64 this is the 32-bit system folder the redirection shows a 32-bit program.
    const std::wstring seenAsSystem32 = SystemFolder() + L"\\winsat.exe";
    ASSERT_FALSE(Exists(native)) << "a winsat is already installed in this Wine prefix";
    ASSERT_FALSE(Exists(seenAsSystem32));

    enum class Place { Native, SeenAsSystem32, Nowhere };
    struct Case {
        const char* why;
        Place place;
        const wchar_t* winsatExit;  // empty: winsat succeeds
        bool ok;
    };
    const Case cases[] = {
        {"winsat in the system folder", Place::Native, L"", true},
        {"winsat fails and writes nothing", Place::Native, L"3", false},
        {"no winsat at all", Place::Nowhere, L"", false},
        // Only a 32-bit program on 64-bit Windows has two system folders: the runner must not take
        // the redirected one, where no winsat lives.
        {"winsat only in the folder a 32-bit program sees as system32", Place::SeenAsSystem32, L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        if (c.place == Place::SeenAsSystem32 && !UnderWow64()) continue;
        std::unique_ptr<PlacedFile> placed;
        if (c.place != Place::Nowhere) {
            placed =
                std::make_unique<PlacedFile>(standIn, c.place == Place::Native ? native : seenAsSystem32);
            ASSERT_TRUE(placed->Placed());
        }
        if (UnderWow64() && c.place == Place::Native) {
            ASSERT_FALSE(Exists(seenAsSystem32)) << "only Sysnative reaches it";
        }
        const ScopedVariable target(L"TALLYHIVE_TEST_DATASTORE", datastore.wstring());
        const ScopedVariable exit(L"TALLYHIVE_TEST_WINSAT_EXIT", c.winsatExit);

        const auto files = MakeFileService(win32::Narrow(windowsDir.wstring()));
        const auto time = MakeTimeService();
        const auto modules = MakeModuleService();
        const auto xml = MakeXmlParser();
        const auto temps = MakeTempFolderService(win32::Narrow(temp.wstring()));
        const auto processes = MakeProcessService();
        const RemeasureServices services{*temps, *processes, runner,
                                         [&] { return NewestFormalStamp(*files, *time); }};
        CAssessmentResult record(*time);
        std::string output, why, loadWhy;
        bool loaded = false;
        const bool ok =
            Remeasure(
                services, [&](std::string_view chunk) { output.append(chunk); },
                [&] {
                    return loaded = LoadLatestResult(
                               record, AssessmentServices{*files, *time, *modules, *xml}, &loadWhy);
                },
                &why) == RemeasureOutcome::Succeeded;

        EXPECT_EQ(ok, c.ok) << why << "\n" << output;
        EXPECT_EQ(loaded, c.ok) << loadWhy;
        if (c.ok) {
            EXPECT_EQ(record.systemScore, "4.8") << "the new assessment, not the old one";
            EXPECT_NE(output.find("winsat formal -restart clean"), std::string::npos) << output;
        } else {
            EXPECT_NE(why.find("no newer formal result"), std::string::npos) << why;
        }
        EXPECT_TRUE(fs::is_empty(temp)) << "runner file and private folder removed";
    }
}

}  // namespace
}  // namespace tallyhive
