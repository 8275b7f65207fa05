#include "app/EventQueue.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/testing/Fakes.h"

namespace tallyhive {
namespace {

using Log = std::vector<std::string>;

TEST(EventQueue, EventsArrivingWhileOneRunsWaitForItInOrder) {
    FakeUserInterface ui;
    FakeProgramInfo program;
    EventQueue queue(ui, program, [] { return std::string("en"); });
    Log log;
    queue.Post([&] {
        log.push_back("first starts");
        // What a nested loop (a message box, a script wait) delivers while the first one runs.
        queue.Post([&] {
            log.push_back("second");
            queue.Post([&] { log.push_back("fourth"); });
        });
        queue.Post([&] { log.push_back("third"); });
        EXPECT_TRUE(queue.Busy());
        log.push_back("first ends");
    });
    EXPECT_EQ(log, (Log{"first starts", "first ends", "second", "third", "fourth"}));
    EXPECT_FALSE(queue.Busy());
    EXPECT_TRUE(ui.messages.empty());
}

TEST(EventQueue, ClosingDropsWaitingEventsButLetsTheRunningOneFinish) {
    FakeUserInterface ui;
    FakeProgramInfo program;
    EventQueue queue(ui, program, [] { return std::string("en"); });
    Log log;
    queue.Post([&] {
        queue.Post([&] { log.push_back("queued before closing"); });
        queue.Close();
        queue.Post([&] { log.push_back("arrived after closing"); });
        log.push_back("running one finishes");
    });
    queue.Post([&] { log.push_back("posted once idle"); });
    EXPECT_EQ(log, (Log{"running one finishes"}));
    EXPECT_FALSE(queue.Busy());
}

TEST(EventQueue, AThrowingHandlerFailsOnlyItsOwnCommand) {
    struct Case {
        const char* language;
        std::function<void()> fail;
        const char* message;
        const char* logged;
        const char* why;
    };
    const Case cases[] = {
        {"en", [] { throw std::runtime_error("page gone"); }, "The command could not be completed.",
         "page gone", "a standard exception"},
        {"ja", [] { throw std::runtime_error("page gone"); }, "操作を完了できませんでした。", "page gone",
         "Japanese user"},
        {"en", [] { throw 42; }, "The command could not be completed.", "", "something that is no exception"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeUserInterface ui;
        FakeProgramInfo program;
        program.filePath = "/home/user/my tools/tallyhive.bin";
        Log logged;
        EventQueue queue(
            ui, program, [&] { return std::string(c.language); },
            [&](std::string_view what) { logged.emplace_back(what); });
        Log log;
        queue.Post([&] {
            queue.Post([&] { log.push_back("queued behind the failure"); });
            c.fail();
        });
        EXPECT_FALSE(queue.Busy());
        EXPECT_EQ(log, (Log{"queued behind the failure"}));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].caption, "tallyhive");
        EXPECT_EQ(ui.messages[0].text, c.message);
        EXPECT_EQ(ui.messages[0].kind, MessageKind::Warning);
        EXPECT_EQ(logged, (Log{c.logged}));

        queue.Post([&] { log.push_back("the next command"); });
        EXPECT_EQ(log.back(), "the next command");
        EXPECT_EQ(ui.messages.size(), 1u);
    }
}

}  // namespace
}  // namespace tallyhive
