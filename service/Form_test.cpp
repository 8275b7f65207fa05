// Decoding and validating the share form: every hostile or broken form is refused with a reason, and
// the program's own form (every byte percent-encoded) arrives intact.
#include <gtest/gtest.h>

#include <string>

#include "service/Form.h"
#include "share/ShareForm.h"

namespace tallyhive::service {
namespace {

std::string Body(std::string_view replaceKey = {}, std::string_view replacement = {}) {
    const std::string values[] = {"7.9",
                                  "7.9",
                                  "7.5",
                                  "6.8",
                                  "6.8",
                                  "5.9",
                                  "Windows 7 Ultimate",
                                  "Demo PC",
                                  "Intel(R) Core(TM) i7",
                                  "8.0GB",
                                  "GeForce & <b>",
                                  "1.0GB, DirectX 11",
                                  "Disk",
                                  "0123456789abcdef0123456789abcdef",
                                  ""};
    std::string body;
    for (std::size_t i = 0; i < kFormKeys.size(); ++i) {
        if (kFormKeys[i] == replaceKey) {
            if (!replacement.empty()) body += std::string(body.empty() ? "" : "&") + std::string(replacement);
            continue;
        }
        body += (i ? "&" : "") + std::string(kFormKeys[i]) + "=" +
                (i == 13 ? values[i] : EncodeFormValue(values[i]));
    }
    return body;
}

TEST(ShareFormDecoding, TheProgramsFormArrivesIntact) {
    std::string why;
    const auto form = DecodeShareForm(Body(), why);
    ASSERT_TRUE(form) << why;
    EXPECT_EQ(form->Get("cpu_score"), "7.9");
    EXPECT_EQ(form->Get("gpu_information"), "GeForce & <b>");
    EXPECT_EQ(form->Get("captcha"), "");
    EXPECT_EQ(ValidateShare(*form), "");

    // Plain characters, "+" for a space and unknown keys are accepted as browsers send them.
    const auto plain = DecodeShareForm(Body("machine_information", "machine_information=My+PC&extra=1"), why);
    ASSERT_TRUE(plain) << why;
    EXPECT_EQ(plain->Get("machine_information"), "My PC");
}

TEST(ShareFormDecoding, BrokenFormsAreRefused) {
    struct Case {
        std::string body;
        const char* reason;
    };
    const Case cases[] = {
        {Body("captcha"), "missing"},
        {Body() + "&cpu_score=%37", "twice"},
        {Body("disk_information", "disk_information=%4"), "percent"},
        {Body("disk_information", "disk_information=%zz"), "percent"},
        {Body("disk_information", "disk_information=%C3%28"), "UTF-8"},
        {Body("disk_information", "disk_information=%ED%A0%80"), "UTF-8"},
        {Body("disk_information", "disk_information=a%00b"), "UTF-8"},
        {"", "missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        std::string why;
        EXPECT_FALSE(DecodeShareForm(c.body, why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
}

TEST(ShareFormValidation, ScoresLengthsAndPassCode) {
    struct Case {
        std::string_view key;
        std::string value;
        const char* reason;  // empty: accepted
    };
    const Case cases[] = {
        {"cpu_score", "1.0", ""},
        {"cpu_score", "9.9", ""},
        {"cpu_score", "8.55", ""},
        {"cpu_score", "7", ""},
        {"cpu_score", "0.9", "score"},
        {"cpu_score", "10.0", "score"},
        {"cpu_score", "nan", "score"},
        {"cpu_score", "inf", "score"},
        {"cpu_score", "7.9<img src=x>", "score"},
        {"cpu_score", "", "score"},
        {"cpu_score", "-7.9", "score"},
        {"cpu_score", "0x7", "score"},
        {"cpu_score", "7.", "score"},
        {"machine_information", std::string(kMaxTextLength, 'a'), ""},
        {"machine_information", std::string(kMaxTextLength + 1, 'a'), "longer"},
        {"pass_code", "0123456789ABCDEF0123456789ABCDEF", "pass code"},
        {"pass_code", "0123", "pass code"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value.substr(0, 20));
        std::string why;
        const std::string value = c.key == "pass_code" ? c.value : EncodeFormValue(c.value);
        const auto form = DecodeShareForm(Body(c.key, std::string(c.key) + "=" + value), why);
        ASSERT_TRUE(form) << why;
        const std::string reason = ValidateShare(*form);
        if (*c.reason == '\0') {
            EXPECT_EQ(reason, "");
        } else {
            EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        }
    }
}

}  // namespace
}  // namespace tallyhive::service
