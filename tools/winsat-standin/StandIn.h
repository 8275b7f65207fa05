#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The stand-in assessment tool: the command line it accepts, what it measures and how measurements
// become scores in the Windows 7 range.
namespace tallyhive::standin {

struct Options {
    std::string windowsDir;  // where the datastore lives; from --windows-dir, else WINDIR
    bool quick = false;      // a fraction of a second instead of a few seconds (tests, demos)
    bool verbose = false;
    bool help = false;  // --help or --version: print and end, nothing else is read
    bool version = false;
};

// Reads `winsat formal [-restart never|clean] [-v] [--quick] [--windows-dir DIR]` (arguments after
// the program name), or `--help` or `--version` alone. `windirEnv` and `quickEnv` are the values of
// WINDIR and TALLYHIVE_WINSAT_QUICK, null when unset. Empty with `error` set when the command line cannot be
// used.
std::optional<Options> ParseArguments(const std::vector<std::string>& args, const char* windirEnv,
                                      const char* quickEnv, std::string& error);
std::string Usage();

struct Measurements {
    double processorMBps = 0;  // mixing throughput of all hardware threads together
    unsigned processorThreads = 0;
    double memoryGBps = 0;     // bytes read plus bytes written per second, copying large blocks
    double diskWriteMBps = 0;  // sequential write, synchronised to the disk
    double diskReadMBps = 0;   // sequential read with the cache dropped where the system allows
};

// How long and how much each measurement takes: a few seconds in all, a fraction with `quick`.
struct Budget {
    double processorSeconds;
    double memorySeconds;
    std::size_t memoryBytes;
    std::size_t diskBytes;
};
Budget BudgetFor(bool quick);

// The measurements themselves (Measure.cpp, this machine's system calls). `threads` receives the
// number of hardware threads used. The disk is measured with a nameless file in `folder`, which
// therefore disappears even if the program is killed; false with `error` when it cannot be made.
double MeasureProcessor(double seconds, unsigned& threads);
double MeasureMemory(double seconds, std::size_t bytes);
bool MeasureDisk(const std::string& folder, std::size_t bytes, double& writeMBps, double& readMBps,
                 std::string& error);

// What the assessment file says about the machine, read from /proc and /sys where the system
// offers it; texts the system does not offer stay empty.
struct MachineFacts {
    std::string processorName;
    unsigned long long totalPhysicalBytes = 0;
    std::string manufacturer, productName, version;  // the machine
    std::string boardManufacturer, boardProduct;
    std::string diskVendor, diskModel;  // the disk that holds `folder`
};
MachineFacts ReadMachineFacts(const std::string& folder);
// The first "model name" of a /proc/cpuinfo text; empty when it has none.
std::string ProcessorNameFromCpuinfo(const std::string& cpuinfo);

// Subscores as the assessment file carries them: one decimal, within 1.0 and 7.9.
struct Scores {
    double cpu = 1.0, memory = 1.0, graphics = 1.0, gaming = 1.0, disk = 1.0;
    double system = 1.0;  // the lowest subscore, as the base score always is
};

// Maps each measurement onto 1.0 .. 7.9 on a logarithmic scale between two anchors and truncates to
// one decimal. Graphics are not measured here (no graphics test runs on this machine); they are
// taken from the memory score, which is what bounds integrated graphics.
Scores ScoresFrom(const Measurements& m);
// One decimal, "." as the decimal point whatever the locale ("5.9").
std::string FormatScore(double score);

// The product name the stand-in's files carry: it must begin with "Windows 7" for the file to be
// accepted, and says plainly that the result is a demonstration measured on this machine.
inline constexpr const char* kProductName = "Windows 7 (demonstration: measured on this Linux machine)";

// Writes a new formal assessment with these scores and facts, executed at `executedUtc`, into
// `datastore` under a name no earlier assessment has, never replacing a file. The file appears
// whole or not at all. `written` receives its full path.
bool WriteFormalAssessment(const std::string& datastore, const Scores& scores, const MachineFacts& facts,
                           std::int64_t executedUtc, std::string& written, std::string& error);

}  // namespace tallyhive::standin
