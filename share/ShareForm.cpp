#include "share/ShareForm.h"

#include <string>
#include <string_view>
#include <utility>

#include "assessment/AssessmentResult.h"
#include "base/Text.h"
#include "presentation/Formatting.h"

namespace tallyhive {

std::string EncodeFormValue(std::string_view utf8) {
    // Every byte is escaped, letters and digits too, so no value can ever carry a form delimiter
    // and the body stays ASCII whatever the text.
    return PercentEncode(utf8, PercentKeep::Nothing);
}

std::string BuildShareForm(const CAssessmentResult& record, std::string_view passCode) {
    // The descriptions are made afresh from the record, exactly as the result page shows them.
    const std::pair<std::string_view, std::string> encoded[] = {
        {"system_score=", record.systemScore},
        {"&cpu_score=", record.cpuScore},
        {"&memory_score=", record.memoryScore},
        {"&gpu_score=", record.graphicsScore},
        {"&game_score=", record.gamingScore},
        {"&disk_score=", record.diskScore},
        {"&system_information=", record.osProductName},
        {"&machine_information=", FormatMachine(record)},
        {"&cpu_information=", FormatProcessors(record)},
        {"&memory_information=", FormatMemory(record)},
        {"&gpu_information=", FormatAdapters(record)},
        {"&game_information=", FormatGaming(record)},
        {"&disk_information=", FormatDisk(record)},
    };
    std::string body;
    for (const auto& [key, value] : encoded) {
        body += key;
        body += EncodeFormValue(value);
    }
    // The pass code is hexadecimal already and goes as it is; the captcha key is sent empty.
    body += "&pass_code=";
    body += passCode;
    body += "&captcha=";
    return body;
}

}  // namespace tallyhive
