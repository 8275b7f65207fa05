// winsat (stand-in): measures this machine for a few seconds and writes a formal assessment into the
// datastore of the configured Windows directory, printing progress the way an assessment does.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tallyhive_version.h"
#include "tools/winsat-standin/StandIn.h"

namespace {

using namespace tallyhive::standin;
using Clock = std::chrono::steady_clock;

void Line(const char* format, auto... values) {
    std::printf(format, values...);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string RunTime(Clock::duration elapsed) {
    const long long hundredths = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 10;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%02lld", hundredths / 360000,
                  hundredths / 6000 % 60, hundredths / 100 % 60, hundredths % 100);
    return text;
}

int Fail(const std::string& error) {
    std::fprintf(stderr, "winsat: %s\n", error.c_str());
    std::fflush(stderr);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<Options> options =
        ParseArguments(args, std::getenv("WINDIR"), std::getenv("TALLYHIVE_WINSAT_QUICK"), error);
    if (!options) {
        std::fprintf(stderr, "winsat: %s\n%s", error.c_str(), Usage().c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    if (options->version) {
        std::puts("winsat (stand-in) " TALLYHIVE_VERSION);
        return 0;
    }

    // The same folder the program that shows the result will look in.
    const std::string datastore = tallyhive::MakeFileService(options->windowsDir)->DatastoreFolder();
    std::error_code ec;
    std::filesystem::create_directories(datastore, ec);
    if (datastore.empty() || !std::filesystem::is_directory(datastore))
        return Fail("cannot use the datastore folder " + datastore +
                    (ec ? ": " + ec.message() : std::string()));

    const Budget budget = BudgetFor(options->quick);
    const auto started = Clock::now();
    std::string commandLine = "winsat";
    for (const std::string& arg : args) commandLine += " " + arg;
    Line("Stand-in system assessment of this machine (a demonstration, not a Windows assessment)");
    Line("> Command Line '%s'", commandLine.c_str());
    Line("> Running: Feature Enumeration ''");
    const MachineFacts facts = ReadMachineFacts(datastore);
    Line("> Processor: %s", facts.processorName.empty() ? "(unknown)" : facts.processorName.c_str());
    Line("> Memory: %.1f GB", static_cast<double>(facts.totalPhysicalBytes) / (1u << 30));
    Line("> Run Time %s", RunTime(Clock::now() - started).c_str());

    Measurements m;
    Line("> Running: Processor Performance Assessment");
    m.processorMBps = MeasureProcessor(budget.processorSeconds, m.processorThreads);
    Line("> Processor throughput %.1f MB/s on %u threads", m.processorMBps, m.processorThreads);
    Line("> Run Time %s", RunTime(Clock::now() - started).c_str());

    Line("> Running: Memory Performance Assessment");
    m.memoryGBps = MeasureMemory(budget.memorySeconds, budget.memoryBytes);
    Line("> Memory bandwidth %.2f GB/s", m.memoryGBps);
    Line("> Run Time %s", RunTime(Clock::now() - started).c_str());

    Line("> Running: Disk Performance Assessment '%s'", datastore.c_str());
    if (!MeasureDisk(datastore, budget.diskBytes, m.diskWriteMBps, m.diskReadMBps, error)) return Fail(error);
    Line("> Disk sequential write %.1f MB/s, read %.1f MB/s", m.diskWriteMBps, m.diskReadMBps);
    Line("> Run Time %s", RunTime(Clock::now() - started).c_str());

    Line("> Graphics: not measured on this machine; scored as its memory");
    const Scores scores = ScoresFrom(m);
    Line("> Processor %s, Memory %s, Graphics %s, Gaming graphics %s, Primary hard disk %s",
         FormatScore(scores.cpu).c_str(), FormatScore(scores.memory).c_str(),
         FormatScore(scores.graphics).c_str(), FormatScore(scores.gaming).c_str(),
         FormatScore(scores.disk).c_str());
    Line("> Base score %s", FormatScore(scores.system).c_str());

    std::string written;
    if (!WriteFormalAssessment(datastore, scores, facts, static_cast<std::int64_t>(std::time(nullptr)),
                               written, error))
        return Fail("the assessment could not be saved: " + error);
    Line("> Saved the formal assessment '%s'", written.c_str());
    Line("> Total Run Time %s", RunTime(Clock::now() - started).c_str());
    return 0;
}
