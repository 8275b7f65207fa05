#pragma once
// Fakes of the assessment layer's platform services, for the unit tests of every layer above it. Plain data
// members set by the test; no behaviour beyond what the interfaces promise, so a test reads like the
// situation it sets up.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "assessment/Services.h"

namespace tallyhive {

// An in-memory file system: files by full path, folder listings by folder path. Listings are kept
// separately from the files so a test can list entries that cannot be read, or files that are not
// listed, exactly as a racing file system would.
class FakeFileService final : public FileService {
public:
    struct File {
        std::string bytes;
        FileTimes times;
        DirEntry::Type type = DirEntry::Type::RegularFile;
        bool readable = true;
    };

    std::string datastoreFolder;
    char separator = '\\';
    std::map<std::string, File, std::less<>> files;                     // full path -> file
    std::map<std::string, std::vector<DirEntry>, std::less<>> folders;  // folder -> entries
    std::vector<std::string> reads;  // every path ReadRegularFile was asked for, in order

    // Adds `name` to the listing of `folder` (with the creation time of `times`) and, for a regular
    // file, its content under folder + separator + name. Returns the full path.
    std::string AddFile(const std::string& folder, const std::string& name, std::string bytes,
                        FileTimes times = {}, DirEntry::Type type = DirEntry::Type::RegularFile);
    // Joins a folder and a name the way the service's separator says.
    std::string Join(const std::string& folder, const std::string& name) const;

    std::string DatastoreFolder() override { return datastoreFolder; }
    char PathSeparator() const override { return separator; }
    bool ListDirectory(const std::string& folder, std::vector<DirEntry>& entries, std::string* why = nullptr,
                       const NameFilter& wanted = {}) override;
    bool GetFileTimes(const std::string& path, FileTimes& times) override;
    bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                         std::string* why = nullptr) override;
};

// Local time is UTC shifted by an offset, so results do not depend on the machine's time zone. The
// offset is fixed unless the test lists clock changes, as a zone with daylight saving has them. The
// proleptic Gregorian calendar is used for every year.
class FakeTimeService final : public TimeService {
public:
    explicit FakeTimeService(std::int64_t offset = 0) : offsetSeconds(offset) {}

    // From the instant `fromUtc` on, local = UTC + offsetSeconds of the change.
    struct ClockChange {
        std::int64_t fromUtc;
        std::int64_t offsetSeconds;
    };

    std::int64_t offsetSeconds;        // local = UTC + offsetSeconds, before the first change
    std::vector<ClockChange> changes;  // in time order
    std::int64_t now = 0;

    // The offset in force at an instant.
    std::int64_t OffsetAt(std::int64_t utcSeconds) const;

    std::int64_t Now() const override { return now; }
    bool ToLocal(std::int64_t utcSeconds, LocalDateTime& out) const override;
    // Fields outside their ranges (month 13, hour 24, February 30) cannot be represented: false.
    // Like mktime with tm_isdst -1 ("mktime", C standard 7.27.2.3, which leaves the choice to the
    // implementation): an hour the clocks repeat gives its first instant, still in daylight saving
    // time; an hour they skip is read with the offset before the change, so it lands after it.
    bool FromLocal(const LocalDateTime& fields, std::int64_t& utcSeconds) const override;
    // Accepts "June 28, 2026  1:10:42pm" (any run of spaces, am/pm in either case, 12-hour clock) and
    // "2026-06-28 13:10:42"; nothing else.
    bool ParseDateText(std::string_view text, LocalDateTime& out) const override;

    // Seconds since 1970 of local calendar fields, for building expectations in tests.
    std::int64_t Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) const;
};

class FakeModuleService final : public ModuleService {
public:
    std::set<std::string, std::less<>> loadable;
    std::vector<std::string> tried;  // every name asked for, in order

    bool CanLoadModule(std::string_view name) override;
};

}  // namespace tallyhive
