#include "assessment/SystemFacts.h"

#include <string>

#include "assessment/AssessmentResult.h"
#include "assessment/Numbers.h"

namespace tallyhive {

namespace {

// Two timestamps more than this apart were not written by one run of the assessment tool.
constexpr std::uint64_t kFileTimesTolerance = 10;
constexpr std::uint64_t kExecTimeTolerance = 10;
constexpr std::uint64_t kVistaExecTimeTolerance = 600;

// |a - b| without signed overflow, even for the extremes of int64.
std::uint64_t AbsoluteDifference(std::int64_t a, std::int64_t b) {
    return a > b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)
                 : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
}

// A value from the file, shortened for a message: a hostile file can make it arbitrarily long.
std::string Shown(const std::string& text) {
    constexpr std::size_t kMaxShown = 60;
    if (text.empty()) return "(empty)";
    if (text.size() <= kMaxShown) return text;
    std::size_t cut = kMaxShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // keep UTF-8 whole
    return text.substr(0, cut) + "...";
}

bool Fail(std::string* why, std::string reason) {
    if (why) *why = std::move(reason);
    return false;
}

bool DifferenceWithin(std::int64_t a, std::int64_t b, std::uint64_t tolerance, std::string_view what,
                      std::string* why) {
    const std::uint64_t difference = AbsoluteDifference(a, b);
    if (difference <= tolerance) return true;
    return Fail(why, std::string(what) + " differ by " + std::to_string(difference) + " s (more than " +
                         std::to_string(tolerance) + ")");
}

// A file time as local calendar fields and back, as the execution time inside the file is formed
// from its local fields: the two then compare alike even in the hour the clocks repeat. Zero before
// 1900 or when the platform cannot convert it.
std::int64_t LocalFieldSeconds(std::int64_t utcSeconds, const TimeService& time) {
    LocalDateTime fields;
    if (!time.ToLocal(utcSeconds, fields) || fields.year < 1900) return 0;
    std::int64_t seconds = 0;
    if (!time.FromLocal(fields, seconds)) return 0;
    return seconds;
}

}  // namespace

WindowsVersion WindowsVersionOf(const CAssessmentResult& record) {
    const WindowsScoreRange* range = ScoreRangeOf(record.osProductName);
    return range ? range->version : WindowsVersion::Unknown;
}

const WindowsScoreRange* ScoreRangeOf(std::string_view productName) {
    for (const WindowsScoreRange& range : kWindowsScoreRanges)
        if (productName.starts_with(range.productPrefix)) return &range;
    return nullptr;
}

std::string_view WindowsVersionName(WindowsVersion version) {
    switch (version) {
        case WindowsVersion::Vista:
            return "Vista";
        case WindowsVersion::Seven:
            return "7";
        case WindowsVersion::Eight:
            return "8";
        case WindowsVersion::Unknown:
            break;
    }
    return "";
}

void ProbeDirectXVersion(CAssessmentResult& record, ModuleService& modules) {
    // Every version is tried: a machine may lack one in the middle and still have a later one.
    for (int n = 8; n <= 12; ++n) {
        if (modules.CanLoadModule("d3d" + std::to_string(n) + ".dll"))
            record.directXVersion = std::to_string(n);
    }
}

std::int64_t ComparableSeconds(std::int64_t utcSeconds, const TimeService& time) {
    // The local fields only decide whether the time counts at all (a date the user could be shown,
    // from 1900 on); the order is the instants' own. Local fields and back would read the hour the
    // clocks repeat in autumn twice, and a file written later would compare as older.
    LocalDateTime fields;
    if (!time.ToLocal(utcSeconds, fields) || fields.year < 1900) return 0;
    return utcSeconds;
}

bool IsConsistentWithFile(const CAssessmentResult& record, const std::string& path, FileService& files,
                          const TimeService& time, std::string* why) {
    FileTimes times;
    if (path.empty()) return Fail(why, "no assessment file was given");
    if (!files.GetFileTimes(path, times)) return Fail(why, "cannot read the times of " + path);
    const std::int64_t lastWrite = LocalFieldSeconds(times.lastWriteUtc, time);
    const std::int64_t creation = LocalFieldSeconds(times.creationUtc, time);
    const std::int64_t execution = record.GetExecDateTime();

    if (!DifferenceWithin(lastWrite, creation, kFileTimesTolerance, "last-write and creation times", why))
        return false;
    // Zero means no execution time could be formed; it must not pass against file times that are
    // zero as well (a file dated before 1900 or beyond what the platform converts).
    if (execution == 0) return Fail(why, "the file holds no usable execution time");
    const std::uint64_t tolerance = record.IsWindowsVista() ? kVistaExecTimeTolerance : kExecTimeTolerance;
    if (!DifferenceWithin(execution, creation, tolerance, "execution time and creation time", why))
        return false;
    if (!DifferenceWithin(lastWrite, execution, tolerance, "last-write time and execution time", why))
        return false;

    const WindowsScoreRange* range = ScoreRangeOf(record.osProductName);
    if (!range)
        return Fail(why, "product name \"" + Shown(record.osProductName) + "\" is not Windows Vista, 7 or 8");
    for (const ScoreField& score : kScoreFields) {
        if (!ScoreWithin(record.*score.text, range->lowest, range->highest)) {
            return Fail(why, "score " + std::string(score.name) + " " + Shown(record.*score.text) +
                                 " is outside " + FormatFixed(range->lowest, 1) + "-" +
                                 FormatFixed(range->highest, 1));
        }
    }
    return true;
}

}  // namespace tallyhive
