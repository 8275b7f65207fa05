#include "share/ShareForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "assessment/AssessmentResult.h"
#include "assessment/testing/Fakes.h"

namespace tallyhive {
namespace {

TEST(EncodeFormValue, EveryByteEscaped) {
    struct Case {
        std::string_view in, want, why;
    };
    const Case cases[] = {
        {"", "", "empty stays empty"},
        {"7.9", "%37%2E%39", "digits and the point are escaped too"},
        {"a b", "%61%20%62", "a space is %20, never a plus"},
        {"-_.~", "%2D%5F%2E%7E", "the characters others leave alone"},
        {"&=+%", "%26%3D%2B%25", "form delimiters"},
        {"\xe3\x82\xa2", "%E3%82%A2", "a katakana character, upper-case hex"},
        {"\xff\x80", "%FF%80", "high bytes keep their value"},
        {std::string_view("a\0b", 3), "%61%00%62", "a zero byte is escaped, not an end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(EncodeFormValue(c.in), c.want);
    }
    EXPECT_EQ(EncodeFormValue("\xe3\x82\xa2").size(), 9u) << "three bytes become nine characters";
}

class ShareForm : public ::testing::Test {
protected:
    ShareForm() {
        m_record.systemScore = "5.9";
        m_record.cpuScore = "7.9";
        m_record.memoryScore = "7.5";
        m_record.graphicsScore = "6.8";
        m_record.gamingScore = "6.8";
        m_record.diskScore = "5.9";
        m_record.osProductName = "Windows 7 Ultimate";
        m_record.machineManufacturer = "Acme";
        m_record.processorNames = {"CPU"};
        m_record.totalPhysicalBytes = "8589934592";
        m_record.adapterDescriptions = {"GPU"};
        m_record.dedicatedVideoMemories = {"1073741824"};
        m_record.directXVersion = "11";
        m_record.diskVendor = "WDC";
        m_record.diskModel = "WD10";
    }

    FakeTimeService m_time;
    CAssessmentResult m_record{m_time};
};

constexpr std::string_view kCode = "0123456789abcdef0123456789abcdef";

TEST_F(ShareForm, FifteenKeysInOrder) {
    const std::string want =
        "system_score=%35%2E%39&cpu_score=%37%2E%39&memory_score=%37%2E%35&gpu_score=%36%2E%38"
        "&game_score=%36%2E%38&disk_score=%35%2E%39"
        "&system_information=%57%69%6E%64%6F%77%73%20%37%20%55%6C%74%69%6D%61%74%65"
        "&machine_information=%41%63%6D%65&cpu_information=%43%50%55"
        "&memory_information=%38%2E%30%47%42&gpu_information=%47%50%55"
        "&game_information=%31%2E%30%47%42%2C%20%44%69%72%65%63%74%58%20%31%31"
        "&disk_information=%57%44%43%20%57%44%31%30"
        "&pass_code=0123456789abcdef0123456789abcdef&captcha=";
    EXPECT_EQ(BuildShareForm(m_record, kCode), want);
}

TEST_F(ShareForm, HostileTextsCannotBreakTheForm) {
    struct Case {
        std::string CAssessmentResult::*field;
        std::string value;
        std::string_view why;
    };
    const Case cases[] = {
        {&CAssessmentResult::osProductName, "a&pass_code=x", "an ampersand and an equals sign"},
        {&CAssessmentResult::machineManufacturer, "1+1 = 2", "a plus sign and spaces"},
        {&CAssessmentResult::diskVendor, "\xe3\x82\xa2\xe3\x82\xa4", "katakana"},
        {&CAssessmentResult::cpuScore,
         std::string("7\0"
                     "9",
                     3),
         "a zero byte"},
        {&CAssessmentResult::systemScore, "%37", "a percent escape in the text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        m_record.*c.field = c.value;
        const std::string body = BuildShareForm(m_record, kCode);
        EXPECT_EQ(std::count(body.begin(), body.end(), '&'), 14);
        EXPECT_EQ(std::count(body.begin(), body.end(), '='), 15);
        EXPECT_EQ(body.find('+'), std::string::npos);
        EXPECT_EQ(body.find('\0'), std::string::npos);
        EXPECT_TRUE(body.ends_with("&captcha="));
        EXPECT_TRUE(std::all_of(body.begin(), body.end(), [](char ch) { return ch > 0x20 && ch < 0x7F; }))
            << "printable ASCII only";
    }
}

TEST_F(ShareForm, EmptyRecordStillNamesDirectX) {
    CAssessmentResult empty(m_time);
    EXPECT_EQ(BuildShareForm(empty, ""),
              "system_score=&cpu_score=&memory_score=&gpu_score=&game_score=&disk_score="
              "&system_information=&machine_information=&cpu_information=&memory_information="
              "&gpu_information=&game_information=%2C%20%44%69%72%65%63%74%58%20&disk_information="
              "&pass_code=&captcha=");
}

TEST_F(ShareForm, ScoresAreSentAsStored) {
    m_record.cpuScore = " 7.90 ";
    const std::string body = BuildShareForm(m_record, kCode);
    EXPECT_NE(body.find("&cpu_score=%20%37%2E%39%30%20&"), std::string::npos) << "never reformatted";
}

}  // namespace
}  // namespace tallyhive
