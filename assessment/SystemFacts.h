#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "assessment/Services.h"

namespace tallyhive {

class CAssessmentResult;

// Windows version an assessment came from, by its product name; Unknown has no score range.
enum class WindowsVersion { Unknown, Vista, Seven, Eight };
WindowsVersion WindowsVersionOf(const CAssessmentResult& record);
std::string_view WindowsVersionName(WindowsVersion version);  // "Vista", "7", "8" or ""

// The scores each Windows version can give, found by the start of its product name; oldest first,
// so each range holds the ones before it. The program's checks, the service's bars and the result
// pages' script all read this one table.
struct WindowsScoreRange {
    std::string_view productPrefix;
    WindowsVersion version;
    double lowest;
    double highest;
};
inline constexpr std::array<WindowsScoreRange, 3> kWindowsScoreRanges{{
    {"Windows Vista", WindowsVersion::Vista, 1.0, 5.9},
    {"Windows 7", WindowsVersion::Seven, 1.0, 7.9},
    {"Windows 8", WindowsVersion::Eight, 1.0, 9.9},
}};
// The entry whose prefix starts `productName`; null for any other system.
const WindowsScoreRange* ScoreRangeOf(std::string_view productName);

// Sets record.directXVersion to the highest d3dN.dll (N = 8..12) that loads; unchanged when none does.
void ProbeDirectXVersion(CAssessmentResult& record, ModuleService& modules);

// A file time as the newest-file selection and measuring again compare it: the instant itself, so a
// later file is newer across a change of the clocks; zero when its local date is before 1900 or the
// platform cannot convert it, so such a time never beats a real one.
std::int64_t ComparableSeconds(std::int64_t utcSeconds, const TimeService& time);

// True when the file's own times agree with each other and with the execution time inside it, the
// Windows version is Vista, 7 or 8 and every score lies in its range. `why` says which rule failed.
bool IsConsistentWithFile(const CAssessmentResult& record, const std::string& path, FileService& files,
                          const TimeService& time, std::string* why = nullptr);

}  // namespace tallyhive
