#include "platform/testing/Fakes.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <system_error>

namespace tallyhive {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

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

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

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
    if (EqualsIgnoringCase(meridiem, "pm")) {
        f.hour = f.hour % 12 + 12;
    } else if (EqualsIgnoringCase(meridiem, "am")) {
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

bool FakeTimeService::ToLocal(std::int64_t utcSeconds, LocalDateTime& out) const {
    std::int64_t local = 0;
    if (__builtin_add_overflow(utcSeconds, offsetSeconds, &local)) return false;
    std::int64_t days = local / kSecondsPerDay;
    std::int64_t rest = local % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    std::int64_t year = 0;
    LocalDateTime f;
    CivilFromDays(days, year, f.month, f.day);
    if (year < std::numeric_limits<int>::min() || year > std::numeric_limits<int>::max()) return false;
    f.year = static_cast<int>(year);
    f.hour = static_cast<int>(rest / 3600);
    f.minute = static_cast<int>(rest % 3600 / 60);
    f.second = static_cast<int>(rest % 60);
    out = f;
    return true;
}

bool FakeTimeService::FromLocal(const LocalDateTime& f, std::int64_t& utcSeconds) const {
    if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > DaysInMonth(f.year, f.month) || f.hour < 0 ||
        f.hour > 23 || f.minute < 0 || f.minute > 59 || f.second < 0 || f.second > 59)
        return false;
    const std::int64_t local =
        DaysFromCivil(f.year, f.month, f.day) * kSecondsPerDay + f.hour * 3600 + f.minute * 60 + f.second;
    return !__builtin_sub_overflow(local, offsetSeconds, &utcSeconds);
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

std::unique_ptr<PageElement> FakePageElement::Parent() const {
    if (!parent) return nullptr;
    return std::make_unique<FakePageElement>(*parent);
}

bool FakePageBridge::QueryElementProperty(std::string_view id, std::string_view name, std::string& value) {
    calls.push_back("QueryElementProperty " + std::string(id) + " " + std::string(name));
    const auto it = properties.find(std::make_pair(std::string(id), std::string(name)));
    if (it == properties.end()) return false;
    value = it->second;
    return true;
}

bool FakePageBridge::QueryObjectProperty(const PageElement* element, std::string_view name,
                                         std::string& value) {
    const std::string id = element ? element->Id() : std::string("(null)");
    calls.push_back("QueryObjectProperty " + id + " " + std::string(name));
    if (!element) return false;
    const auto it = properties.find(std::make_pair(id, std::string(name)));
    if (it == properties.end()) return false;
    value = it->second;
    return true;
}

bool FakePageBridge::CallPageScript(std::string_view function, std::span<const ScriptArg> args) {
    std::string line = "CallPageScript " + std::string(function) + "(";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) line += ',';
        if (const auto* text = std::get_if<std::string>(&args[i])) {
            line += *text;
        } else {
            std::array<char, 64> buffer{};
            const auto result =
                std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::get<double>(args[i]));
            line.append(buffer.data(), result.ptr);
        }
    }
    line += ')';
    calls.push_back(std::move(line));
    return scriptResult;
}

void FakePageBridge::SetElementHtml(std::string_view id, std::string_view html) {
    calls.push_back("SetElementHtml " + std::string(id) + " " + std::string(html));
}

void FakePageBridge::SetElementText(std::string_view id, std::string_view text) {
    calls.push_back("SetElementText " + std::string(id) + " " + std::string(text));
}

void FakePageBridge::NavigateTo(std::string_view url, std::string_view headers, const std::string* postData) {
    std::string line = "NavigateTo " + std::string(url);
    if (!headers.empty()) line += " headers=" + std::string(headers);
    if (postData) line += " post=" + *postData;
    calls.push_back(std::move(line));
    navigations.push_back(Navigation{std::string(url), std::string(headers),
                                     postData ? std::optional<std::string>(*postData) : std::nullopt});
}

void FakePageBridge::ReloadPage() {
    calls.emplace_back("ReloadPage");
}

void FakePageBridge::LoadBuiltInPage(int resourceNumber) {
    calls.push_back("LoadBuiltInPage " + std::to_string(resourceNumber));
}

}  // namespace tallyhive
