#pragma once
#include <string>
#include <string_view>

namespace tallyhive {

class CAssessmentResult;

// The hardware descriptions shown on the result pages and sent with a share. Pure functions of the
// record; scores are never formatted.
std::string FormatByteSize(std::string_view byteCount);  // "8.0GB", "512MB", "Infinity"
std::string FormatProcessors(const CAssessmentResult& record);
std::string FormatMemory(const CAssessmentResult& record);
std::string FormatAdapters(const CAssessmentResult& record);
std::string FormatGaming(const CAssessmentResult& record);
std::string FormatDisk(const CAssessmentResult& record);
std::string FormatMachine(const CAssessmentResult& record);

}  // namespace tallyhive
