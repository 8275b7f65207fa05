#include "runner/AssessRunner.h"

#include <cstdint>

namespace tallyhive {

std::string WindowsWinsatPath(unsigned majorVersion, std::optional<bool> wow64) {
    const bool sysnative = majorVersion >= 6 && wow64.value_or(true);
    return sysnative ? "%WinDir%\\Sysnative\\winsat" : "%WinDir%\\system32\\winsat";
}

int RunAssessment(ProcessService& processes, std::string_view winsatPath, const OutputSink& sink,
                  std::string* why) {
    std::uint32_t winsatStatus = 0;
    return RunConsoleCommand(processes, winsatPath, kWinsatArguments, winsatStatus, sink, why) ? 0 : 1;
}

}  // namespace tallyhive
