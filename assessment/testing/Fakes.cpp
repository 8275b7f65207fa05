#include "assessment/testing/Fakes.h"

#include <algorithm>
#include <array>
#include <limits>

#include "base/Calendar.h"
#include "base/Text.h"

namespace tallyhive {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// A small cursor over the text for the date parser.
class Cursor {
public:
    explicit Cursor(std::string_view text) : m_text(text) {}
    bool AtEnd() const { return m_pos == m_text.size(); }
    std::size_t SkipSpaces() {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] == ' ') ++m_pos;
        return m_pos - start;
    }
    bool Number(int& value, std::size_t maxDigits) {
        std::size_t digits = 0;
        value = 0;
        while (m_pos < m_text.size() && digits < maxDigits && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
            value = value * 10 + (m_text[m_pos] - '0');
            ++m_pos;
            ++digits;
        }
        return digits > 0;
    }
    bool Literal(char c) {
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    std::string_view Word() {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && ((m_text[m_pos] >= 'a' && m_text[m_pos] <= 'z') ||
                                         (m_text[m_pos] >= 'A' && m_text[m_pos] <= 'Z')))
            ++m_pos;
        return m_text.substr(start, m_pos - start);
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

bool ParseEnglishForm(std::string_view text, LocalDateTime& out) {
    static constexpr std::array<std::string_view, 12> kMonths = {
        "January", "February", "March",     "April",   "May",      "June",
        "July",    "August",   "September", "October", "November", "December"};
    Cursor c(text);
    c.SkipSpaces();
    const std::string_view monthName = c.Word();
    const auto it = std::find(kMonths.begin(), kMonths.end(), monthName);
    if (it == kMonths.end()) return false;
    LocalDateTime f;
    f.month = static_cast<int>(it - kMonths.begin()) + 1;
    if (c.SkipSpaces() == 0 || !c.Number(f.day, 2) || !c.Literal(',') || c.SkipSpaces() == 0 ||
        !c.Number(f.year, 4) || c.SkipSpaces() == 0 || !c.Number(f.hour, 2) || !c.Literal(':') ||
        !c.Number(f.minute, 2) || !c.Literal(':') || !c.Number(f.second, 2))
        return false;
    const std::string_view meridiem = c.Word();
    c.SkipSpaces();
    if (!c.AtEnd() || f.hour < 1 || f.hour > 12) return false;
    if (EqualsIgnoringAsciiCase(meridiem, "pm")) {
        f.hour = f.hour % 12 + 12;
    } else if (EqualsIgnoringAsciiCase(meridiem, "am")) {
        f.hour %= 12;
    } else {
        return false;
    }
    out = f;
    return true;
}

bool ParseIsoForm(std::string_view text, LocalDateTime& out) {
    Cursor c(text);
    c.SkipSpaces();
    LocalDateTime f;
    if (!c.Number(f.year, 4) || !c.Literal('-') || !c.Number(f.month, 2) || !c.Literal('-') ||
        !c.Number(f.day, 2) || c.SkipSpaces() == 0 || !c.Number(f.hour, 2) || !c.Literal(':') ||
        !c.Number(f.minute, 2) || !c.Literal(':') || !c.Number(f.second, 2))
        return false;
    c.SkipSpaces();
    if (!c.AtEnd() || f.hour > 23) return false;
    out = f;
    return true;
}

}  // namespace

std::string FakeFileService::Join(const std::string& folder, const std::string& name) const {
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder + name;
    return folder + separator + name;
}

std::string FakeFileService::AddFile(const std::string& folder, const std::string& name, std::string bytes,
                                     FileTimes times, DirEntry::Type type) {
    DirEntry entry;
    entry.name = name;
    entry.type = type;
    entry.creationTimeUtc = times.creationUtc;
    folders[folder].push_back(entry);
    const std::string path = Join(folder, name);
    File file;
    file.bytes = std::move(bytes);
    file.times = times;
    file.type = type;
    files[path] = std::move(file);
    return path;
}

bool FakeFileService::ListDirectory(const std::string& folder, std::vector<DirEntry>& entries,
                                    std::string* why, const NameFilter& wanted) {
    const auto it = folders.find(folder);
    if (it == folders.end()) {
        if (why) *why = "cannot open folder " + folder + ": no such folder";
        return false;
    }
    entries.clear();
    for (const DirEntry& entry : it->second)
        if (!wanted || wanted(entry.name)) entries.push_back(entry);
    return true;
}

bool FakeFileService::GetFileTimes(const std::string& path, FileTimes& times) {
    const auto it = files.find(path);
    if (it == files.end()) return false;
    times = it->second.times;
    return true;
}

bool FakeFileService::ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                                      std::string* why) {
    reads.push_back(path);
    auto fail = [&](std::string_view reason) {
        if (why) *why = "cannot read " + path + ": " + std::string(reason);
        return false;
    };
    const auto it = files.find(path);
    if (it == files.end()) return fail("no such file");
    if (it->second.type != DirEntry::Type::RegularFile) return fail("not a regular file");
    if (!it->second.readable) return fail("permission denied");
    if (it->second.bytes.size() > maxBytes) return fail("file too large");
    bytes = it->second.bytes;
    return true;
}

std::int64_t FakeTimeService::OffsetAt(std::int64_t utcSeconds) const {
    std::int64_t offset = offsetSeconds;
    for (const ClockChange& change : changes)
        if (utcSeconds >= change.fromUtc) offset = change.offsetSeconds;
    return offset;
}

bool FakeTimeService::ToLocal(std::int64_t utcSeconds, LocalDateTime& out) const {
    std::int64_t local = 0;
    if (__builtin_add_overflow(utcSeconds, OffsetAt(utcSeconds), &local)) return false;
    // Local time is UTC shifted by the offset: the calendar fields of the shifted instant.
    return UtcFields(local, out);
}

bool FakeTimeService::FromLocal(const LocalDateTime& f, std::int64_t& utcSeconds) const {
    if (!IsValidDateTime(f)) return false;
    const std::int64_t local =
        DaysFromCivil(f.year, f.month, f.day) * kSecondsPerDay + f.hour * 3600 + f.minute * 60 + f.second;
    // The earliest instant whose local time these fields are.
    std::vector<std::int64_t> offsets{offsetSeconds};
    for (const ClockChange& change : changes) offsets.push_back(change.offsetSeconds);
    std::optional<std::int64_t> earliest;
    for (const std::int64_t offset : offsets) {
        std::int64_t utc = 0;
        if (!__builtin_sub_overflow(local, offset, &utc) && OffsetAt(utc) == offset &&
            (!earliest || utc < *earliest))
            earliest = utc;
    }
    if (earliest) {
        utcSeconds = *earliest;
        return true;
    }
    // No offset fits: the fields fall in an hour the clocks skipped; the offset before the change
    // that skipped it applies.
    std::int64_t before = offsetSeconds;
    for (const ClockChange& change : changes) {
        std::int64_t skippedUntil = 0;
        if (!__builtin_add_overflow(change.fromUtc, change.offsetSeconds, &skippedUntil) &&
            local < skippedUntil)
            break;
        before = change.offsetSeconds;
    }
    return !__builtin_sub_overflow(local, before, &utcSeconds);
}

bool FakeTimeService::ParseDateText(std::string_view text, LocalDateTime& out) const {
    LocalDateTime f;
    if (!ParseEnglishForm(text, f) && !ParseIsoForm(text, f)) return false;
    if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > DaysInMonth(f.year, f.month) || f.minute > 59 ||
        f.second > 59)
        return false;
    out = f;
    return true;
}

std::int64_t FakeTimeService::Utc(int year, int month, int day, int hour, int minute, int second) const {
    std::int64_t utc = 0;
    FromLocal(LocalDateTime{year, month, day, hour, minute, second}, utc);
    return utc;
}

bool FakeModuleService::CanLoadModule(std::string_view name) {
    tried.emplace_back(name);
    return loadable.find(name) != loadable.end();
}

}  // namespace tallyhive
