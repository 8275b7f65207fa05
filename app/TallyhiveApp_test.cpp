#include "app/TallyhiveApp.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "app/testing/Fakes.h"

namespace tallyhive {
namespace {

TEST(StartUp, OneInstancePerUser) {
    struct Case {
        InstanceState state;
        const char* language;
        const char* message;  // null: the window runs
        const char* why;
    };
    const Case cases[] = {
        {InstanceState::First, "en", nullptr, "the first start runs the window"},
        {InstanceState::AlreadyRunning, "ja", "すでにTALLYHIVEは、起動されています。", "Japanese user"},
        {InstanceState::AlreadyRunning, "en", "TALLYHIVE has already been started.", "any other language"},
        {InstanceState::Unknown, "en", "TALLYHIVE has already been started.",
         "a lock that fails counts the same"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeInstanceLock lock;
        lock.state = c.state;
        FakeUserInterface ui;
        FakeProgramInfo program;
        StartUpServices services{lock, ui, program, [&] { return std::string(c.language); }};
        int windows = 0;
        const bool refused = CTallyhiveApp().StartUp(services, [&] {
            ++windows;
            EXPECT_EQ(lock.releases, 0) << "the lock is held while the window runs";
        });
        EXPECT_EQ(lock.acquired, std::vector<std::string>{"Tallyhive"});
        EXPECT_EQ(lock.releases, 1);
        EXPECT_EQ(refused, c.message != nullptr);
        EXPECT_EQ(windows, c.message ? 0 : 1);
        if (c.message) {
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_EQ(ui.messages[0].text, c.message);
            EXPECT_EQ(ui.messages[0].caption, "tallyhive");
            EXPECT_EQ(ui.messages[0].kind, MessageKind::Warning);
        } else {
            EXPECT_TRUE(ui.messages.empty());
        }
    }
}

TEST(StartUp, CaptionIsTheFileNameAsTheUserKnowsIt) {
    struct Case {
        const char* path;      // as the pages' addresses carry it
        const char* filePath;  // as the file system names it
        const char* caption;
    };
    const Case cases[] = {
        {"/opt/my%20tools/tally%20hive", "/opt/my tools/tally hive", "tally hive"},
        {"/home/%E5%B1%B1/tallyhive.bin", "/home/山/tallyhive.bin", "tallyhive"},
        {"C:\\Tools\\Tallyhive.exe", "", "Tallyhive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        FakeInstanceLock lock;
        lock.state = InstanceState::AlreadyRunning;
        FakeUserInterface ui;
        FakeProgramInfo program;
        program.path = c.path;
        program.filePath = c.filePath;
        StartUpServices services{lock, ui, program, [] { return std::string("en"); }};
        CTallyhiveApp().StartUp(services, [] {});
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].caption, c.caption);
    }
}

TEST(StartUp, LockIsReleasedWhenTheWindowThrows) {
    FakeInstanceLock lock;
    FakeUserInterface ui;
    FakeProgramInfo program;
    StartUpServices services{lock, ui, program, [] { return std::string("en"); }};
    EXPECT_THROW(CTallyhiveApp().StartUp(services, [] { throw std::runtime_error("window failed"); }),
                 std::runtime_error);
    EXPECT_EQ(lock.releases, 1);
}

}  // namespace
}  // namespace tallyhive
