#include "runner/AssessRunner.h"

#include <cstdint>

namespace tallyhive {

int RunAssessment(ProcessService& processes, std::string_view winsatPath, const OutputSink& sink,
                  std::string* why) {
    std::uint32_t winsatStatus = 0;
    return RunConsoleCommand(processes, winsatPath, kWinsatArguments, winsatStatus, sink, why) ? 0 : 1;
}

}  // namespace tallyhive
