#include "assessment/AssessmentResult.h"

#include <cmath>
#include <string_view>

#include "assessment/Numbers.h"
#include "assessment/Services.h"

namespace tallyhive {

namespace {

using TextField = std::string CAssessmentResult::*;
using ListField = std::vector<std::string> CAssessmentResult::*;

struct TextRow {
    std::string_view path;
    TextField field;
};

constexpr TextRow kTextRows[] = {
    {"WinSAT.ProgramInfo.Version", &CAssessmentResult::programVersion},
    {"WinSAT.ProgramInfo.WinEIVersion", &CAssessmentResult::winEIVersion},
    {"WinSAT.WinSPR.SystemScore", &CAssessmentResult::systemScore},
    {"WinSAT.WinSPR.MemoryScore", &CAssessmentResult::memoryScore},
    {"WinSAT.WinSPR.CpuScore", &CAssessmentResult::cpuScore},
    {"WinSAT.WinSPR.GraphicsScore", &CAssessmentResult::graphicsScore},
    {"WinSAT.WinSPR.GamingScore", &CAssessmentResult::gamingScore},
    {"WinSAT.WinSPR.DiskScore", &CAssessmentResult::diskScore},
    {"WinSAT.SystemConfig.OSVersion.ProductName", &CAssessmentResult::osProductName},
    {"WinSAT.SystemConfig.Disk.SystemDisk.Vendor", &CAssessmentResult::diskVendor},
    {"WinSAT.SystemConfig.Disk.SystemDisk.Model", &CAssessmentResult::diskModel},
    {"WinSAT.SystemConfig.Memory.TotalPhysical.Bytes", &CAssessmentResult::totalPhysicalBytes},
    {"WinSAT.SystemConfig.System.Machine.Manufacturer", &CAssessmentResult::machineManufacturer},
    {"WinSAT.SystemConfig.System.Machine.ProductName", &CAssessmentResult::machineProductName},
    {"WinSAT.SystemConfig.System.Machine.Version", &CAssessmentResult::machineVersion},
    {"WinSAT.SystemConfig.System.MotherBoard.Manufacturer", &CAssessmentResult::boardManufacturer},
    {"WinSAT.SystemConfig.System.MotherBoard.Product", &CAssessmentResult::boardProduct},
};

struct ListRow {
    std::string_view path;
    ListField field;
};

constexpr ListRow kListRows[] = {
    {"WinSAT.SystemConfig.Processor.Instance.ProcessorName", &CAssessmentResult::processorNames},
    {"WinSAT.SystemConfig.Graphics.AdapterDescription", &CAssessmentResult::adapterDescriptions},
    {"WinSAT.SystemConfig.Graphics.DedicatedVideoMemory", &CAssessmentResult::dedicatedVideoMemories},
};

constexpr std::string_view kDimmPath = "WinSAT.SystemConfig.Memory.DIMM";
constexpr std::string_view kDimmManufacturerPath = "WinSAT.SystemConfig.Memory.DIMM.Manufacturer";
constexpr std::string_view kDimmPartNumberPath = "WinSAT.SystemConfig.Memory.DIMM.PartNumber";

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;

// Removes every occurrence of each day name in one left-to-right pass per name, the way a plain
// replace-all does: text that comes together only after a removal is not removed again.
std::string RemoveDayNames(std::string text) {
    static constexpr std::string_view kDayNames[] = {"Monday ", "Tuesday ",  "Wednesday ", "Thursday ",
                                                     "Friday ", "Saturday ", "Sunday "};
    for (std::string_view day : kDayNames) {
        std::string out;
        out.reserve(text.size());
        std::size_t from = 0;
        for (std::size_t at = text.find(day); at != std::string::npos; at = text.find(day, from)) {
            out.append(text, from, at - from);
            from = at + day.size();
        }
        out.append(text, from, std::string::npos);
        text = std::move(out);
    }
    return text;
}

}  // namespace

bool ScoreWithin(std::string_view text, double lowest, double highest) {
    const double value = ReadLeadingDouble(text);
    // An exponent beyond range reads as infinity; it is no score, whatever the bounds.
    return std::isfinite(value) && value >= lowest && value <= highest;
}

bool CAssessmentResult::Clear() {
    for (const TextRow& row : kTextRows) (this->*row.field).clear();
    for (const ListRow& row : kListRows) (this->*row.field).clear();
    dimmManufacturers.clear();
    dimmPartNumbers.clear();
    directXVersion.clear();
    execDateText.clear();
    execTime = 0;
    m_open.clear();
    return true;
}

bool CAssessmentResult::IsDated(const std::string& path) {
    // A path that does not continue the innermost open one (its end was not reported) starts afresh.
    while (!m_open.empty() && (m_open.back().length >= path.size() || path[m_open.back().length] != '.'))
        m_open.pop_back();
    // The name holds no dot, so it lies either in the parent's path or in the part added below it.
    const bool dated =
        m_open.empty()
            ? path.find("ExecDateTOD") != std::string::npos
            : m_open.back().dated || path.find("ExecDateTOD", m_open.back().length) != std::string::npos;
    m_open.push_back({path.size(), dated});
    return dated;
}

bool CAssessmentResult::OnElementEnd(const std::string& path) {
    if (!m_open.empty() && m_open.back().length == path.size()) m_open.pop_back();
    return true;
}

bool CAssessmentResult::OnElement(const std::string& path, const ElementText& text,
                                  const AttributeMap& attributes) {
    const bool dated = IsDated(path);
    for (const TextRow& row : kTextRows) {
        if (path == row.path) {
            this->*row.field = text.Get();
            return true;
        }
    }
    for (const ListRow& row : kListRows) {
        if (path == row.path) {
            (this->*row.field).push_back(text.Get());
            return true;
        }
    }
    if (path == kDimmPath) {
        // The module's children arrive right after it (pre-order) and fill the entries made here.
        dimmManufacturers.emplace_back();
        dimmPartNumbers.emplace_back();
        return true;
    }
    if (path == kDimmManufacturerPath || path == kDimmPartNumberPath) {
        if (dimmManufacturers.empty() || dimmPartNumbers.empty()) return false;
        (path == kDimmManufacturerPath ? dimmManufacturers : dimmPartNumbers).back() = text.Get();
        return true;
    }
    if (dated) {
        const std::string friendly = RemoveDayNames(std::string(AttributeValue(attributes, "Friendly")));
        LocalDateTime fields;
        if (m_time->ParseDateText(friendly, fields)) {
            std::int64_t seconds = 0;
            if (fields.year < 1900) {
                execTime = 0;
            } else if (m_time->FromLocal(fields, seconds)) {
                execTime = seconds;
            }
        }
        // An element below this one is dated too and comes next: its text is the one kept, and taking
        // each enclosing element's whole text first would cost the depth times the text.
        if (!text.HasChildElement()) execDateText = text.Get();
        return true;
    }
    return true;
}

std::int64_t CAssessmentResult::GetExecDateTime() const {
    const std::size_t firstColon = execDateText.find(':');
    if (execDateText.empty() || firstColon == std::string::npos) return 0;

    const std::size_t tokenStart = execDateText.find_first_not_of(':');
    std::string_view timeOfDay;
    if (tokenStart != std::string::npos) {
        const std::size_t tokenEnd = execDateText.find(':', tokenStart);
        if (tokenEnd != std::string::npos) timeOfDay = std::string_view(execDateText).substr(tokenEnd + 1);
    }
    const long long milliseconds = ReadLeadingInt64(timeOfDay);
    // A count outside one day names no time of day on the date; zero makes the check refuse it.
    if (milliseconds < 0 || milliseconds >= kMillisecondsPerDay) return 0;
    // Without an execution date there is no day to put the time on.
    if (execTime == 0) return 0;

    LocalDateTime fields;
    if (!m_time->ToLocal(execTime, fields)) return 0;
    const long long seconds = milliseconds / 1000;
    fields.hour = static_cast<int>(seconds / 3600);
    fields.minute = static_cast<int>((seconds - fields.hour * 3600LL) / 60);
    fields.second = static_cast<int>(seconds - fields.hour * 3600LL - fields.minute * 60LL);
    std::int64_t result = 0;
    if (!m_time->FromLocal(fields, result) || result <= 0) return 0;
    return result;
}

bool CAssessmentResult::IsWindowsVista() const {
    return osProductName.starts_with("Windows Vista");
}
bool CAssessmentResult::IsWindows7() const {
    return osProductName.starts_with("Windows 7");
}
bool CAssessmentResult::IsWindows8() const {
    return osProductName.starts_with("Windows 8");
}

bool CAssessmentResult::ScoresWithin(double lowest, double highest) const {
    for (const ScoreField& score : kScoreFields) {
        if (!ScoreWithin(this->*score.text, lowest, highest)) return false;
    }
    return true;
}

}  // namespace tallyhive
