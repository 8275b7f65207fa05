#include "presentation/Formatting.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "assessment/AssessmentResult.h"
#include "assessment/Numbers.h"
#include "base/Text.h"

namespace tallyhive {
namespace {

constexpr std::string_view kListSeparator = ", ";
constexpr std::string_view kWordSeparator = " ";

// 1024 TB: a byte count this large (or larger in magnitude) is no real size.
constexpr double kBeyondAnySize = 1125899906842624.0;

std::string JoinList(const std::vector<std::string>& entries) {
    std::string out;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) out += kListSeparator;
        out += entries[i];
    }
    return out;
}

// Decodes one UTF-8 sequence at `pos`; an invalid byte decodes as itself with length 1, which is never
// white space, so broken text is kept rather than trimmed into.
char32_t DecodeAt(std::string_view text, std::size_t pos, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    length = 1;
    if (lead < 0x80) return lead;
    std::size_t count = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        count = 2;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        count = 3;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        count = 4;
        cp = lead & 0x07;
    } else {
        return 0xFFFD;
    }
    if (pos + count > text.size()) return 0xFFFD;
    for (std::size_t i = 1; i < count; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0xFFFD;
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    length = count;
    return cp;
}

// The white-space set of the C library's wide-character test under a Unicode locale, fixed here so
// that the trimming does not depend on the process locale. No-break spaces are not white space.
bool IsWideSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x1680 || (c >= 0x2000 && c <= 0x2006) ||
           (c >= 0x2008 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x205F || c == 0x3000;
}

std::string TrimWideSpace(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t length = 0;
        if (!IsWideSpace(DecodeAt(text, begin, length))) break;
        begin += length;
    }
    // Walk forward to find where the last run of white space starts: UTF-8 cannot be decoded backwards
    // safely when it may be broken.
    std::size_t end = begin;
    std::size_t pos = begin;
    while (pos < text.size()) {
        std::size_t length = 0;
        const bool space = IsWideSpace(DecodeAt(text, pos, length));
        pos += length;
        if (!space) end = pos;
    }
    return std::string(text.substr(begin, end - begin));
}

// Leaves out empty texts and exact repeats, then joins with one space.
std::string JoinDistinct(std::initializer_list<const std::string*> texts) {
    std::vector<const std::string*> kept;
    for (const std::string* text : texts) {
        if (text->empty()) continue;
        bool repeat = false;
        for (const std::string* k : kept) repeat = repeat || *k == *text;
        if (!repeat) kept.push_back(text);
    }
    std::string out;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) out += kWordSeparator;
        out += *kept[i];
    }
    return out;
}

// Index of the last occurrence of every text in the list. One pass keeps FormatMemory linear: a file
// may list a great many modules, and asking "does it occur again later?" by scanning would be quadratic.
std::unordered_map<std::string_view, std::size_t> LastIndexes(const std::vector<std::string>& list) {
    std::unordered_map<std::string_view, std::size_t> last;
    last.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) last[list[i]] = i;
    return last;
}

}  // namespace

std::string FormatByteSize(std::string_view byteCount) {
    if (byteCount.empty()) return {};
    double value = ReadLeadingDouble(byteCount);
    if (std::isnan(value)) return "Infinity";
    if (value < 1024.0) {
        // Printing as a C int would overflow on large negative counts; a count below -1024 TB
        // is as meaningless as one above 1024 TB and is named the same way, with its sign.
        if (value <= -kBeyondAnySize) return "-Infinity";
        return std::to_string(static_cast<long long>(value)) + "B";
    }
    static constexpr std::array<std::string_view, 4> kUnits = {"KB", "MB", "GB", "TB"};
    for (const std::string_view unit : kUnits) {
        value *= 0.0009765625;  // 1/1024, exact, so the scaled comparisons match the byte thresholds
        if (value < 100.0) return FormatFixed(value, 1) + std::string(unit);
        if (value < 1024.0) return std::to_string(static_cast<long long>(value)) + std::string(unit);
    }
    return "Infinity";
}

std::string FormatProcessors(const CAssessmentResult& record) {
    return JoinList(record.processorNames);
}

std::string FormatAdapters(const CAssessmentResult& record) {
    return JoinList(record.adapterDescriptions);
}

std::string FormatGaming(const CAssessmentResult& record) {
    std::string out;
    for (std::size_t i = 0; i < record.dedicatedVideoMemories.size(); ++i) {
        if (i > 0) out += kListSeparator;
        out += FormatByteSize(record.dedicatedVideoMemories[i]);
    }
    out += ", DirectX ";
    out += record.directXVersion;
    return out;
}

std::string FormatMemory(const CAssessmentResult& record) {
    std::string out = FormatByteSize(record.totalPhysicalBytes);
    const auto& makers = record.dimmManufacturers;
    const auto& parts = record.dimmPartNumbers;
    const std::size_t count = std::min(makers.size(), parts.size());
    const auto lastMaker = LastIndexes(makers);
    const auto lastPart = LastIndexes(parts);
    for (std::size_t i = 0; i < count; ++i) {
        // Of identical modules only the last is written. Each list is tested by itself, so a module
        // is skipped even when its pair never recurs as a pair.
        if (lastMaker.at(makers[i]) > i && lastPart.at(parts[i]) > i) continue;
        out += kListSeparator;
        out += makers[i];
        if (makers[i] != parts[i]) {
            if (!makers[i].empty()) out += kWordSeparator;
            out += parts[i];
        }
    }
    return out;
}

std::string FormatDisk(const CAssessmentResult& record) {
    std::string out;
    if (!record.diskVendor.empty()) out += TrimWideSpace(record.diskVendor);
    // The untrimmed texts decide: " ACME " and "ACME" differ, so both are written.
    if (!record.diskModel.empty() && record.diskVendor != record.diskModel) {
        if (!out.empty()) out += kWordSeparator;
        out += TrimWideSpace(record.diskModel);
    }
    return out;
}

std::string FormatMachine(const CAssessmentResult& record) {
    // Texts that firmware makers leave in place of a real name; a machine that carries one of them
    // is better named by its motherboard.
    static constexpr std::array<std::string_view, 9> kMachinePlaceholders = {
        "To Be Filled By O.E.M.",
        "System manufacturer System Product Name System Version",
        "BASE_BOARD_MANUFACTURER MODEL_NAME BASE_BOARD_VERSION",
        "O.E.M",
        "Unknow",
        "Gigabyte Technology Co., Ltd. To be filled by O.E.M.",
        "ASUS All Series System Version",
        "Machine_information",
        "System manufacturer ",
    };
    const std::string machine =
        JoinDistinct({&record.machineManufacturer, &record.machineProductName, &record.machineVersion});
    bool placeholder = false;
    for (const std::string_view text : kMachinePlaceholders) {
        if (EqualsIgnoringAsciiCase(machine, text)) {
            placeholder = true;
            break;
        }
    }
    if (!placeholder && !machine.empty()) return machine;
    return JoinDistinct({&record.boardManufacturer, &record.boardProduct});
}

}  // namespace tallyhive
