#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "assessment/XmlReader.h"

namespace tallyhive {

class TimeService;

// One formal assessment as the file has it: texts are stored untouched (character-normalised element
// text); all interpretation happens in the system facts and the formatting.
class CAssessmentResult : public CXmlElementHandler {
public:
    explicit CAssessmentResult(const TimeService& time) : m_time(&time) {}

    std::string programVersion;
    std::string winEIVersion;
    std::string osProductName;
    std::string machineManufacturer;
    std::string machineProductName;
    std::string boardManufacturer;
    std::string boardProduct;
    std::string machineVersion;
    std::string systemScore;
    std::string memoryScore;
    std::string cpuScore;
    std::string graphicsScore;
    std::string gamingScore;
    std::string diskScore;
    std::vector<std::string> processorNames;
    std::vector<std::string> adapterDescriptions;
    std::vector<std::string> dedicatedVideoMemories;
    std::vector<std::string> dimmManufacturers;
    std::vector<std::string> dimmPartNumbers;
    std::string totalPhysicalBytes;
    std::string diskVendor;
    std::string diskModel;
    std::string directXVersion;
    std::string execDateText;
    std::int64_t execTime = 0;  // seconds since 1970; zero when no time was read

    bool Clear();
    bool OnElement(const std::string& path, const ElementText& text, const AttributeMap& attributes) override;
    bool OnElementEnd(const std::string& path) override;

    // The moment of the assessment: the date of execTime with the time of day of execDateText.
    // Zero, or a value that fails the consistency check, when it cannot be formed.
    std::int64_t GetExecDateTime() const;

    bool IsWindowsVista() const;
    bool IsWindows7() const;
    bool IsWindows8() const;
    // True when all six scores lie within [lowest, highest]; a text without a number reads as 0.
    bool ScoresWithin(double lowest, double highest) const;

private:
    bool IsDated(const std::string& path);

    const TimeService* m_time;
    // The elements open around the one reported: the length of each one's path and whether it names
    // the execution date, so that a deep path is not searched again for each element below it.
    struct OpenPath {
        std::size_t length;
        bool dated;
    };
    std::vector<OpenPath> m_open;
};

// The six scores by field name, in the order the range check reads them.
struct ScoreField {
    std::string_view name;
    std::string CAssessmentResult::*text;
};
inline constexpr std::array<ScoreField, 6> kScoreFields = {{
    {"systemScore", &CAssessmentResult::systemScore},
    {"memoryScore", &CAssessmentResult::memoryScore},
    {"cpuScore", &CAssessmentResult::cpuScore},
    {"graphicsScore", &CAssessmentResult::graphicsScore},
    {"gamingScore", &CAssessmentResult::gamingScore},
    {"diskScore", &CAssessmentResult::diskScore},
}};

// True when the score text reads as a finite number within [lowest, highest]; no number reads as 0.
bool ScoreWithin(std::string_view text, double lowest, double highest);

}  // namespace tallyhive
