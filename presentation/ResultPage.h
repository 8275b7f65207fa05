#pragma once
#include <string>
#include <string_view>

#include "presentation/PageWriter.h"

namespace tallyhive {

class CAssessmentResult;

// The width handed to the bars: the client width in device pixels over the horizontal display
// scale, in page pixels with six decimals ("640.000000"), whatever the process locale says.
std::string BarWidthText(int clientWidthDevicePixels, double dpiScaleX);

// Writes the record into the result page ("result_20.php" in `url`) or the profile page
// ("result_profile_20.php"): the bars through the page's setBarValue, the descriptions as plain text,
// the system texts as escaped HTML. Failed page calls are skipped. Always true.
bool FillResultPage(PageWriter& page, const CAssessmentResult& record, std::string_view url,
                    std::string_view barWidth);

}  // namespace tallyhive
