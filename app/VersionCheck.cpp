#include "app/VersionCheck.h"

#include <vector>

#include "assessment/Numbers.h"

namespace tallyhive {

namespace {

std::string_view Trim(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

}  // namespace

std::string ReleaseVersionText(std::string_view productVersion) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = productVersion.find('.', start);
        parts.push_back(
            Trim(productVersion.substr(start, dot == std::string_view::npos ? dot : dot - start)));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
        // A dot at the very end adds no empty part: "2.0." has the parts 2 and 0.
        if (start >= productVersion.size()) break;
    }
    if (parts.size() < 3) return {};
    return std::string(parts[0]) + "." + std::string(parts[1]) + std::string(parts[2]);
}

bool IsPageVersionNewer(std::string_view pageVersion, std::string_view programVersion) {
    return ReadLeadingDouble(pageVersion) > ReadLeadingDouble(programVersion);
}

}  // namespace tallyhive
