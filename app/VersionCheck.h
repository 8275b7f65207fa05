#pragma once
#include <string>
#include <string_view>

namespace tallyhive {

// The release form of a ProductVersion: parts split at ".", each trimmed; part 1 + "." + part 2 +
// part 3 ("2.0.0.1" gives "2.00", "2.0.10.0" gives "2.010"); empty with fewer than three parts.
std::string ReleaseVersionText(std::string_view productVersion);

// True when the start page announces a version above the program's; both read as leading decimal
// numbers, a text without one as 0.
bool IsPageVersionNewer(std::string_view pageVersion, std::string_view programVersion);

}  // namespace tallyhive
