// The Windows platform layer under Wine: the date parser on the assessment tool's texts, the file
// times the selection reads, whole-file reads, the digest and the module probe.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "app/AppServices.h"
#include "app/VersionCheck.h"
#include "assessment/XmlTree.h"
#include "base/Md5.h"
#include "platform/HostServices.h"
#include "platform/Platform.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32AppServices.h"
#include "platform/win32/Win32Util.h"
#include "platform/win32/Win32Xml.h"

namespace tallyhive {
namespace {

TEST(Win32Time, ReadsTheAssessmentToolsFriendlyTexts) {
    const auto time = MakeTimeService();
    struct Case {
        const char* text;
        LocalDateTime want;
    };
    const Case cases[] = {
        {"June 28, 2026  1:10:42pm", {2026, 6, 28, 13, 10, 42}},
        {"December 9, 2009  11:05:00am", {2009, 12, 9, 11, 5, 0}},
        {"2026/06/28 13:10:42", {2026, 6, 28, 13, 10, 42}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LocalDateTime got;
        ASSERT_TRUE(time->ParseDateText(c.text, got));
        EXPECT_EQ(got.year, c.want.year);
        EXPECT_EQ(got.month, c.want.month);
        EXPECT_EQ(got.day, c.want.day);
        EXPECT_EQ(got.hour, c.want.hour);
        EXPECT_EQ(got.minute, c.want.minute);
        EXPECT_EQ(got.second, c.want.second);
    }
    LocalDateTime ignored;
    EXPECT_FALSE(time->ParseDateText("not a date", ignored));

    // Local fields and back give the same instant.
    const std::int64_t now = time->Now();
    LocalDateTime local;
    ASSERT_TRUE(time->ToLocal(now, local));
    std::int64_t back = 0;
    ASSERT_TRUE(time->FromLocal(local, back));
    EXPECT_EQ(back, now);
}

TEST(Win32Md5, MatchesThePublishedDigests) {
    struct Case {
        std::string input;
        const char* hex;
    };
    const Case cases[] = {{"", "d41d8cd98f00b204e9800998ecf8427e"},
                          {"abc", "900150983cd24fb0d6963f7d28e17f72"},
                          {"2026121016103kq52xb8m4", nullptr}};
    for (const Case& c : cases) {
        Md5Digest digest{};
        ASSERT_TRUE(ComputeMd5(c.input, digest));
        if (!c.hex) continue;
        std::string hex;
        for (const auto b : digest) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", b);
            hex += two;
        }
        EXPECT_EQ(hex, c.hex) << c.input;
    }
}

TEST(Win32Files, ListsReadsAndDatesFiles) {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder =
        std::wstring(temp) + L"tallyhive-files-" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring file = folder + L"\\2009-10-22 09.05.00.000 Formal.Assessment (Recent).WinSAT.xml";
    {
        win32::FileHandle handle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(handle.Valid());
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(handle.Get(), "<a/>", 4, &written, nullptr));
        // The times the test sets; Wine keeps the modification time and reports it as creation too.
        const FILETIME when = win32::FileTimeOf(1256202300);
        ::SetFileTime(handle.Get(), &when, &when, &when);
    }
    ASSERT_TRUE(::CreateDirectoryW((folder + L"\\x Formal.xml").c_str(), nullptr));

    const auto files = MakeFileService();
    std::vector<DirEntry> entries;
    ASSERT_TRUE(files->ListDirectory(win32::Narrow(folder), entries));
    bool sawFile = false, sawFolder = false;
    for (const DirEntry& entry : entries) {
        if (entry.name == "x Formal.xml") {
            sawFolder = true;
            EXPECT_EQ(entry.type, DirEntry::Type::Directory);
        } else if (entry.name.find("Formal.Assessment") != std::string::npos) {
            sawFile = true;
            EXPECT_EQ(entry.type, DirEntry::Type::RegularFile);
            FileTimes times;
            ASSERT_TRUE(files->GetFileTimes(win32::Narrow(file), times));
            EXPECT_EQ(times.lastWriteUtc, 1256202300);
            EXPECT_EQ(entry.creationTimeUtc, times.creationUtc);
        }
    }
    EXPECT_TRUE(sawFile);
    EXPECT_TRUE(sawFolder);

    std::string bytes, why;
    EXPECT_TRUE(files->ReadRegularFile(win32::Narrow(file), 100, bytes, &why)) << why;
    EXPECT_EQ(bytes, "<a/>");
    EXPECT_FALSE(files->ReadRegularFile(win32::Narrow(file), 3, bytes, &why)) << "beyond the limit";
    EXPECT_FALSE(files->ReadRegularFile(win32::Narrow(folder) + "\\x Formal.xml", 100, bytes, &why))
        << "a folder";
    EXPECT_FALSE(files->ReadRegularFile(win32::Narrow(folder) + "\\missing.xml", 100, bytes, &why));
    EXPECT_NE(files->DatastoreFolder().find("performance\\winsat\\datastore"), std::string::npos);

    ::DeleteFileW(file.c_str());
    ::RemoveDirectoryW((folder + L"\\x Formal.xml").c_str());
    ::RemoveDirectoryW(folder.c_str());
}

TEST(Win32Modules, LoadsOnlyNamesInTheSystemFolder) {
    const auto modules = MakeModuleService();
    EXPECT_TRUE(modules->CanLoadModule("kernel32.dll"));
    EXPECT_FALSE(modules->CanLoadModule("no-such-module.dll"));
    EXPECT_FALSE(modules->CanLoadModule("..\\kernel32.dll")) << "never a path";
    EXPECT_FALSE(modules->CanLoadModule("C:\\windows\\system32\\kernel32.dll"));
}

TEST(Win32Xml, TheComponentGivesTheSameTree) {
    XmlTree tree;
    std::string why;
    ASSERT_TRUE(MakeXmlParser()->Parse(
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><a x=\"1\">\n <b>t</b><![CDATA[<c>]]></a>", tree, &why))
        << why;
    ASSERT_EQ(tree.nodes.size(), 5u);
    EXPECT_EQ(tree.nodes[0].value, "a");
    EXPECT_EQ(tree.nodes[0].attributes.at(0).second, "1");
    EXPECT_EQ(tree.nodes[1].value, "\n ") << "white space between elements is kept";
    EXPECT_EQ(tree.nodes[2].value, "b");
    EXPECT_EQ(tree.nodes[3].value, "t");
    EXPECT_EQ(tree.nodes[4].value, "<c>");
    EXPECT_FALSE(MakeXmlParser()->Parse("<a><b></a>", tree, &why));
    EXPECT_TRUE(tree.nodes.empty());
}

// The document reaches the XML component already decoded, as UTF-16 text; a declaration naming its
// file's encoding would then be false, and older versions of the component refuse loadXML text
// whose declaration names any encoding but UTF-16. Only the declaration goes: whatever follows it
// is handed on as it was.
TEST(Win32Xml, TheComponentIsHandedTheDocumentWithoutItsDeclaration) {
    struct Case {
        const char* decoded;
        const wchar_t* handed;
        const char* why;
    };
    const Case cases[] = {
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<a>caf\xC3\xA9</a>", L"\r\n<a>caf\u00e9</a>",
         "a file in windows-1252"},
        {"<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><a/>", L"<a/>", "UTF-8, single quotes"},
        {"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!--c-->\n<a/>", L"\n<!--c-->\n<a/>",
         "comments after it stay"},
        {"<?xml version=\"1.0\"?><a/>", L"<a/>", "no encoding named"},
        {"<a>no declaration</a>", L"<a>no declaration</a>", "nothing to take"},
        {"<?xml-stylesheet href=\"s.xsl\"?><a/>", L"<?xml-stylesheet href=\"s.xsl\"?><a/>",
         "a processing instruction is no declaration"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(win32::LoadXmlText(c.decoded), c.handed);
    }
    XmlTree tree;
    std::string why;
    ASSERT_TRUE(MakeXmlParser()->Parse(cases[0].decoded, tree, &why)) << why;
    ASSERT_EQ(tree.nodes.size(), 2u);
    EXPECT_EQ(tree.nodes[1].value, "caf\xC3\xA9");
}

TEST(Win32Instance, ASecondHolderIsRefusedUntilTheFirstLetsGo) {
    const auto first = MakeInstanceLock();
    const auto second = MakeInstanceLock();
    const std::string name = "TallyhiveTest" + std::to_string(::GetCurrentProcessId());
    EXPECT_EQ(first->Acquire(name), InstanceState::First);
    EXPECT_EQ(second->Acquire(name), InstanceState::AlreadyRunning);
    first->Release();
    EXPECT_EQ(second->Acquire(name), InstanceState::First);
}

std::vector<int> closedHandles;

TEST(Win32Handles, EachHandleIsClosedOnceByItsLastOwner) {
    struct CountingTraits {
        using Type = int;
        static int Invalid() noexcept { return -1; }
        static void Close(int handle) noexcept { closedHandles.push_back(handle); }
    };
    using Owner = win32::UniqueHandle<CountingTraits>;
    closedHandles.clear();
    {
        const Owner none;
        Owner first(1);
        Owner taker(std::move(first));
        EXPECT_FALSE(first.Valid());
        Owner second(2);
        second = std::move(taker);
        EXPECT_EQ(closedHandles, std::vector<int>{2}) << "a move over a held handle closes that one only";
        second.Reset(3);
        EXPECT_EQ(closedHandles, (std::vector<int>{2, 1}));
    }
    EXPECT_EQ(closedHandles, (std::vector<int>{2, 1, 3})) << "an empty owner closes nothing";
}

#ifdef TALLYHIVE_MAIN_EXE
TEST(Win32Version, TheProgramCarriesTheBuildsVersion) {
    const std::string version = ProductVersionOf(TALLYHIVE_MAIN_EXE);
    EXPECT_EQ(version, "2.0.0.1");
    EXPECT_EQ(ReleaseVersionText(version), "2.00");
}
#endif

}  // namespace
}  // namespace tallyhive
