#include "presentation/ResultPage.h"

#include <array>
#include <charconv>

#include "assessment/AssessmentResult.h"
#include "base/Text.h"
#include "presentation/Formatting.h"

namespace tallyhive {

namespace {

struct HardwareBar {
    std::string_view selector;
    std::string CAssessmentResult::*score;
    std::string_view colour;
    std::string_view descriptionId;
    std::string (*describe)(const CAssessmentResult&);
};

constexpr std::array<HardwareBar, 5> kHardwareBars = {{
    {"#cpu_score", &CAssessmentResult::cpuScore, "#F51D90", "cpu_information", &FormatProcessors},
    {"#memory_score", &CAssessmentResult::memoryScore, "#FFB326", "memory_information", &FormatMemory},
    {"#gpu_score", &CAssessmentResult::graphicsScore, "#BFDE56", "gpu_information", &FormatAdapters},
    {"#game_score", &CAssessmentResult::gamingScore, "#38BEFF", "game_information", &FormatGaming},
    {"#disk_score", &CAssessmentResult::diskScore, "#BF1DFF", "disk_information", &FormatDisk},
}};

void SetBar(PageWriter& page, std::string_view selector, const std::string& score, std::string_view colour,
            std::string_view width) {
    const std::array<ScriptArg, 4> args = {std::string(selector), score, std::string(colour),
                                           std::string(width)};
    page.CallPageScript("setBarValue", args);
}

}  // namespace

std::string BarWidthText(int clientWidthDevicePixels, double dpiScaleX) {
    // A scale the screen cannot have (zero, negative, not a number) counts as 1 rather than
    // sending "inf" or "nan" to the page.
    if (!(dpiScaleX > 0.0)) dpiScaleX = 1.0;
    const double width = static_cast<double>(clientWidthDevicePixels) / dpiScaleX;
    // to_chars gives printf's "%f" digits without reading the C locale, which a desktop toolkit
    // switches to the user's (a German locale would print "640,000000").
    std::array<char, 400> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), width, std::chars_format::fixed, 6);
    if (result.ec != std::errc()) return {};
    return std::string(buffer.data(), result.ptr);
}

bool FillResultPage(PageWriter& page, const CAssessmentResult& record, std::string_view url,
                    std::string_view barWidth) {
    for (const HardwareBar& bar : kHardwareBars) {
        SetBar(page, bar.selector, record.*bar.score, bar.colour, barWidth);
        page.SetElementText(bar.descriptionId, bar.describe(record));
    }
    // The three texts below are written as HTML. They come from an assessment file anyone can edit
    // (a score only has to begin with a number to pass the range check), and the page holds a bridge
    // to this program, so they are escaped: markup in them shows as characters and never runs.
    if (url.find("result_profile_20.php") != std::string_view::npos) {
        SetBar(page, "#system_score", record.systemScore, "#515151", barWidth);
        page.SetElementHtml("system_information", EscapeHtml(FormatMachine(record)) + " (" +
                                                      EscapeHtml(record.osProductName) + ")");
        const std::array<ScriptArg, 1> args = {std::string(barWidth)};
        page.CallPageScript("updateBarValue", args);
    } else if (url.find("result_20.php") != std::string_view::npos) {
        page.SetElementHtml("system_score", EscapeHtml(record.systemScore));
        page.SetElementHtml("system_information", EscapeHtml(record.osProductName));
        page.SetElementHtml("machine_information", EscapeHtml(FormatMachine(record)));
    }
    return true;
}

}  // namespace tallyhive
