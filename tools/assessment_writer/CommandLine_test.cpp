#include "tools/assessment_writer/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tallyhive::writer {
namespace {

constexpr std::int64_t kNow = 1'782'652'242'552;

TEST(ParseCommandLine, RefusesWhatCannotBeUsed) {
    struct Case {
        std::vector<std::string> args;
        const char* windir;
        const char* wantInError;
        const char* why;
    };
    const Case cases[] = {
        {{}, nullptr, "WINDIR", "no destination at all"},
        {{}, "", "WINDIR", "an empty WINDIR is no destination"},
        {{"--datastore"}, nullptr, "needs a value", "value missing at the end"},
        {{"--datastore", ""}, nullptr, "non-empty", "empty folder"},
        {{"--datastore", "a", "--output", "b"}, nullptr, "only one", "two destinations"},
        {{"--datastore", "a", "--datastore", "b"}, nullptr, "more than once", "a repeated single option"},
        {{"--datastore", "a", "--time", "yesterday"},
         nullptr,
         "yesterday",
         "an unreadable time names itself"},
        {{"--datastore", "a", "--bogus"}, nullptr, "unknown option --bogus", "unknown option"},
        {{"--datastore", "a", "stray"}, nullptr, "unexpected argument", "positional argument"},
        {{"--datastore", "a", "--video-memory", "1"}, nullptr, "--adapter", "memory without an adapter"},
        {{"--datastore", "a", "--adapter", "G", "--video-memory", "1GB"},
         nullptr,
         "byte count",
         "unit suffix"},
        {{"--datastore", "a", "--memory-bytes", "-5"}, nullptr, "byte count", "negative size"},
        {{"--datastore", "a", "--dimm", "Kingston"}, nullptr, "MAKER:PART", "module without part"},
        {{"--datastore", "a", "--size", "20k"}, nullptr, "byte count", "size with a unit"},
        {{"--datastore", "a", "--component", "../x"}, nullptr, "letters, digits", "a kind that is a path"},
        {{"--datastore", "a", "--component", "Formal.Assessment"}, nullptr, "kind", "component named formal"},
        {{"--datastore", "a", "--initial", "--recent"}, nullptr, "exclude", "both runs"},
        {{"--datastore", "a", "--initial=yes"}, nullptr, "no value", "a flag with a value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string error;
        EXPECT_FALSE(ParseCommandLine(c.args, kNow, c.windir, error).has_value());
        EXPECT_NE(error.find(c.wantInError), std::string::npos) << error;
    }
}

TEST(ParseCommandLine, FillsTheContent) {
    std::string error;
    const auto request = ParseCommandLine({"--windows-dir=/mnt/win",
                                           "--time",
                                           "@1.5",
                                           "--cpu",
                                           "7.9",
                                           "--product",
                                           "Windows Vista Business",
                                           "--processor",
                                           "P1",
                                           "--processor",
                                           "P2",
                                           "--adapter",
                                           "G1",
                                           "--adapter",
                                           "G2",
                                           "--video-memory",
                                           "536870912",
                                           "--dimm",
                                           "Maker:Part:With:Colons",
                                           "--initial",
                                           "--disk-vendor",
                                           ""},
                                          kNow, "/ignored", error);
    ASSERT_TRUE(request) << error;
    EXPECT_EQ(request->target, Request::Target::WindowsDir);
    EXPECT_EQ(request->where, "/mnt/win");
    const AssessmentContent& c = request->content;
    EXPECT_EQ(c.executedUtcMs, 1500);
    EXPECT_EQ(c.cpuScore, "7.9");
    EXPECT_EQ(c.productName, "Windows Vista Business");
    EXPECT_EQ(c.processorNames, (std::vector<std::string>{"P1", "P2"}))
        << "the first one replaces the default";
    ASSERT_EQ(c.adapters.size(), 2u);
    EXPECT_EQ(c.adapters[0].dedicatedVideoMemory, "0");
    EXPECT_EQ(c.adapters[1].dedicatedVideoMemory, "536870912") << "applies to the adapter before it";
    ASSERT_EQ(c.modules.size(), 1u);
    EXPECT_EQ(c.modules[0].manufacturer, "Maker");
    EXPECT_EQ(c.modules[0].partNumber, "Part:With:Colons") << "split at the first colon only";
    EXPECT_EQ(c.run, Run::Initial);
    EXPECT_EQ(c.diskVendor, "") << "an empty text is a value, as the tool writes it";
}

TEST(ParseCommandLine, DefaultsAndWindirFallback) {
    std::string error;
    const auto request = ParseCommandLine({}, kNow, "/windows", error);
    ASSERT_TRUE(request) << error;
    EXPECT_EQ(request->target, Request::Target::WindowsDir);
    EXPECT_EQ(request->where, "/windows");
    EXPECT_EQ(request->content.executedUtcMs, kNow);
    EXPECT_EQ(request->content.kind, kFormalKind);
    EXPECT_EQ(request->content.run, Run::Recent);

    const auto component = ParseCommandLine(
        {"--output", "f.xml", "--component", "Disk.Assessment", "--size", "20000"}, kNow, nullptr, error);
    ASSERT_TRUE(component) << error;
    EXPECT_EQ(component->target, Request::Target::File);
    EXPECT_EQ(component->content.kind, "Disk.Assessment");
    EXPECT_EQ(component->content.paddedBytes, 20000u);

    const auto help = ParseCommandLine({"--help"}, kNow, nullptr, error);
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->help) << "help needs no destination";
}

}  // namespace
}  // namespace tallyhive::writer
