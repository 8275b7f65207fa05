#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Writes assessment files shaped like the ones the assessment tool leaves in its datastore: UTF-16LE
// with a byte-order mark, one line, CDATA where the tool uses it, and file times that agree with the
// execution time inside. Used by the tests, the demo, the benchmark and the stand-in assessment tool.
namespace tallyhive::writer {

// A moment in local calendar fields, to the millisecond; month 1-12, day 1-31, hour 0-23.
struct LocalMoment {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

struct MemoryModule {
    // A child left empty (nullopt) is not written at all, which a reader must cope with.
    std::optional<std::string> manufacturer;
    std::optional<std::string> partNumber;
};

struct Adapter {
    std::string description;
    std::string dedicatedVideoMemory;  // a byte count as text
};

enum class Run { Initial, Recent };

inline constexpr std::string_view kFormalKind = "Formal.Assessment";

// Everything a file says. Texts are UTF-8 and are written exactly (escaped as XML needs); scores
// are texts so that a test can write values no real run produces.
struct AssessmentContent {
    std::int64_t executedUtcMs = 0;  // milliseconds since 1970-01-01 UTC
    Run run = Run::Recent;
    // "Formal.Assessment" for the formal assessment; otherwise a component such as "Cpu.Assessment",
    // whose file carries no system score.
    std::string kind = std::string(kFormalKind);
    // When not zero, metric samples pad the file to about this many bytes (real files are 10-200 KB
    // of metrics that no reader here looks at).
    std::size_t paddedBytes = 0;

    std::string programVersion = "V6.1 Build-7601";
    std::string winEIVersion = "WinEI-1.60";
    std::string productName = "Windows 7 Ultimate";

    std::string systemScore = "5.9";
    std::string memoryScore = "7.3";
    std::string cpuScore = "7.1";
    std::string graphicsScore = "6.5";
    std::string gamingScore = "6.5";
    std::string diskScore = "5.9";

    std::vector<std::string> processorNames = {"Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz"};
    std::vector<Adapter> adapters = {{"NVIDIA GeForce GTX 560 Ti", "1073741824"}};
    std::string totalPhysicalBytes = "8589934592";
    std::vector<MemoryModule> modules = {{"Kingston", "99U5471-012.A00LF"},
                                         {"Kingston", "99U5471-012.A00LF"}};
    std::string diskVendor;  // the tool often leaves it empty
    std::string diskModel = "ST1000DM003-9YN162";
    std::string machineManufacturer = "System manufacturer";
    std::string machineProductName = "System Product Name";
    std::string machineVersion = "System Version";
    std::string boardManufacturer = "ASUSTeK Computer INC.";
    std::string boardProduct = "P8P67 PRO";
};

// Day number of a proleptic Gregorian date, 0001-01-01 being day 1 (the tool's "ExecDateTOD").
std::int64_t DayNumber(int year, int month, int day);

// The tool's "Friendly" execution time: "Sunday June 28, 2026  1:10:42pm" (English names, unpadded
// day, hour space-padded to two places, lower-case am/pm).
std::string FriendlyText(const LocalMoment& moment);

// "DAYNUMBER:MILLISECONDS-SINCE-LOCAL-MIDNIGHT".
std::string ExecDateText(const LocalMoment& moment);

// "YYYY-MM-DD HH.MM.SS.mmm <kind> (Recent).WinSAT.xml".
std::string FileNameFor(const LocalMoment& moment, std::string_view kind, Run run);

// The document as UTF-8 text, declaration included, on one line. False with `why` when a text
// cannot be written into XML at all (invalid UTF-8, or a control character XML does not allow).
bool RenderDocument(const AssessmentContent& content, const LocalMoment& executed, std::string& xml,
                    std::string* why = nullptr);

// UTF-8 to UTF-16LE with a byte-order mark. False on invalid UTF-8 (overlong forms, surrogates,
// values above U+10FFFF, truncated sequences).
bool EncodeUtf16Le(std::string_view utf8, std::string& bytes, std::string* why = nullptr);

// Local calendar fields of an instant and back, daylight saving decided by the runtime; false when
// the platform cannot convert.
bool ToLocalMoment(std::int64_t utcMs, LocalMoment& moment);
bool FromLocalMoment(const LocalMoment& moment, std::int64_t& utcMs);

// Reads "YYYY-MM-DD HH:MM:SS[.mmm]" (local time) or "@SECONDS[.mmm]" (since 1970 UTC).
bool ParseMoment(std::string_view text, std::int64_t& utcMs, std::string* why = nullptr);

// Creates windowsDir/Performance/WinSAT/DataStore (and any missing parent) and returns its path.
bool MakeDatastore(const std::string& windowsDir, std::string& datastore, std::string* why = nullptr);

// Writes the file under its tool-given name into `folder`. The file appears whole or not at all,
// never replaces an existing file, and has its access and modification times set to the execution
// time. `written` receives the full path.
bool WriteIntoFolder(const AssessmentContent& content, const std::string& folder, std::string& written,
                     std::string* why = nullptr);

// The same, at exactly `path`.
bool WriteToPath(const AssessmentContent& content, const std::string& path, std::string* why = nullptr);

// Sets a file's access and modification times to `utcMs`.
bool SetFileTimes(const std::string& path, std::int64_t utcMs, std::string* why = nullptr);

}  // namespace tallyhive::writer
