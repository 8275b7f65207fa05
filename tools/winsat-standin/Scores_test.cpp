#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "tools/winsat-standin/StandIn.h"

namespace tallyhive::standin {
namespace {

// A machine whose every measurement sits at the same point between the anchors.
Measurements AllAt(double position) {
    auto at = [position](double low, double high) { return low * std::pow(high / low, position); };
    Measurements m;
    m.processorMBps = at(50.0, 40000.0);
    m.memoryGBps = at(0.5, 40.0);
    m.diskWriteMBps = m.diskReadMBps = at(5.0, 2000.0);
    return m;
}

TEST(ScoresFrom, StayWithinTheWindows7RangeAndNeverRoundUp) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double processorMBps;
        double want;
        std::string_view why;
    };
    const Case cases[] = {
        {50.0, 1.0, "the lower anchor is the lowest score"},
        {40000.0, 7.9, "the upper anchor is the highest score"},
        {4e9, 7.9, "a machine beyond the upper anchor stays at 7.9 (8.0 would be refused)"},
        {1.0, 1.0, "a machine below the lower anchor stays at 1.0 (0.9 would be refused)"},
        {0.0, 1.0, "no measurement at all"},
        {-5.0, 1.0, "a negative figure from a broken clock"},
        {nan, 1.0, "not a number"},
        {inf, 1.0, "an infinite figure (zero elapsed time) is no evidence of speed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Measurements m = AllAt(0.5);
        m.processorMBps = c.processorMBps;
        EXPECT_DOUBLE_EQ(ScoresFrom(m).cpu, c.want);
    }
    // 5.96 would print as 6.0 if it were rounded; a score must not claim more than was measured.
    Measurements m = AllAt((5.96 - 1.0) / 6.9);
    EXPECT_DOUBLE_EQ(ScoresFrom(m).cpu, 5.9);
}

TEST(ScoresFrom, FasterHardwareNeverScoresLower) {
    double last = 0;
    for (double position = -0.2; position <= 1.2; position += 0.01) {
        const Scores s = ScoresFrom(AllAt(position));
        EXPECT_GE(s.cpu, last) << position;
        last = s.cpu;
    }
}

TEST(ScoresFrom, TheSystemScoreIsTheLowestSubscore) {
    struct Case {
        Measurements m;
        double want;
        std::string_view why;
    };
    Measurements slowDisk = AllAt(0.9);
    slowDisk.diskWriteMBps = slowDisk.diskReadMBps = 5.0;
    Measurements noRead = AllAt(0.9);
    noRead.diskReadMBps = 0;
    Measurements slowMemory = AllAt(0.9);
    slowMemory.memoryGBps = 0.5;
    const Case cases[] = {
        {slowDisk, 1.0, "a slow disk pulls the whole system down"},
        {noRead, 1.0, "a disk that could not be read back counts as the slowest"},
        {slowMemory, 1.0, "graphics follow memory, and the system follows both"},
        {AllAt(0.5), ScoresFrom(AllAt(0.5)).cpu, "an even machine"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const Scores s = ScoresFrom(c.m);
        EXPECT_DOUBLE_EQ(s.system, c.want);
        EXPECT_DOUBLE_EQ(s.graphics, s.memory);
        EXPECT_DOUBLE_EQ(s.gaming, s.memory);
    }
}

TEST(FormatScore, OneDecimalWithAPointInEveryLocale) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    // German writes 5,9: the file must still say 5.9 or the reader takes it for 5.
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    struct Case {
        double score;
        std::string_view want;
    };
    for (const Case& c : {Case{1.0, "1.0"}, Case{5.9, "5.9"}, Case{7.9, "7.9"}, Case{6.0, "6.0"}}) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(FormatScore(c.score), c.want);
    }
    std::setlocale(LC_ALL, saved.c_str());
    if (!german) GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
}

}  // namespace
}  // namespace tallyhive::standin
