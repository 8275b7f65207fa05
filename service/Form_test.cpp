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
    FormProblem problem;
    const auto form = DecodeShareForm(Body(), problem);
    ASSERT_TRUE(form) << problem.key;
    EXPECT_EQ(form->Get("cpu_score"), "7.9");
    EXPECT_EQ(form->Get("gpu_information"), "GeForce & <b>");
    EXPECT_EQ(form->Get("captcha"), "");
    EXPECT_FALSE(ValidateShare(*form));

    // Plain characters, "+" for a space and unknown keys are accepted as browsers send them.
    const auto plain =
        DecodeShareForm(Body("machine_information", "machine_information=My+PC&extra=1"), problem);
    ASSERT_TRUE(plain) << problem.key;
    EXPECT_EQ(plain->Get("machine_information"), "My PC");
}

TEST(ShareFormDecoding, BrokenFormsAreRefused) {
    using Kind = FormProblem::Kind;
    struct Case {
        std::string body;
        Kind kind;
        const char* key;
    };
    const Case cases[] = {
        {Body("captcha"), Kind::MissingKey, "captcha"},
        {Body() + "&cpu_score=%37", Kind::RepeatedKey, "cpu_score"},
        {Body("disk_information", "disk_information=%4"), Kind::BadEscape, ""},
        {Body("disk_information", "disk_information=%zz"), Kind::BadEscape, ""},
        {Body("disk_information", "disk_information=%C3%28"), Kind::NotText, "disk_information"},
        {Body("disk_information", "disk_information=%ED%A0%80"), Kind::NotText, "disk_information"},
        {Body("disk_information", "disk_information=a%00b"), Kind::NotText, "disk_information"},
        {Body("disk_information", "disk_information=a%0Ab"), Kind::NotText, "disk_information"},
        {Body("disk_information", "disk_information=%C2%85"), Kind::NotText, "disk_information"},
        {"", Kind::MissingKey, "system_score"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        FormProblem problem;
        EXPECT_FALSE(DecodeShareForm(c.body, problem));
        EXPECT_EQ(problem.kind, c.kind);
        EXPECT_EQ(problem.key, c.key);
    }
}

TEST(ShareFormValidation, ScoresLengthsAndPassCode) {
    using Kind = FormProblem::Kind;
    struct Case {
        std::string_view key;
        std::string value;
        Kind kind;  // None: accepted
    };
    const Case cases[] = {
        {"cpu_score", "1.0", Kind::None},
        {"cpu_score", "9.9", Kind::None},
        {"cpu_score", "8.55", Kind::None},
        {"cpu_score", "7", Kind::None},
        {"cpu_score", "0.9", Kind::BadScore},
        {"cpu_score", "10.0", Kind::BadScore},
        {"system_score", "9.91", Kind::BadScore},
        {"cpu_score", "nan", Kind::BadScore},
        {"cpu_score", "inf", Kind::BadScore},
        {"cpu_score", "7.9<img src=x>", Kind::BadScore},
        {"cpu_score", "", Kind::BadScore},
        {"cpu_score", "-7.9", Kind::BadScore},
        {"cpu_score", "0x7", Kind::BadScore},
        {"cpu_score", "7.", Kind::BadScore},
        {"cpu_score", " 7.9", Kind::BadScore},
        {"machine_information", std::string(kMaxTextLength, 'a'), Kind::None},
        {"machine_information", std::string(kMaxTextLength + 1, 'a'), Kind::TooLong},
        {"captcha", std::string(kMaxTextLength + 1, 'a'), Kind::TooLong},
        {"pass_code", "0123456789ABCDEF0123456789ABCDEF", Kind::BadPassCode},
        {"pass_code", "0123", Kind::BadPassCode},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value.substr(0, 20));
        FormProblem problem;
        const std::string value = c.key == "pass_code" ? c.value : EncodeFormValue(c.value);
        const auto form = DecodeShareForm(Body(c.key, std::string(c.key) + "=" + value), problem);
        ASSERT_TRUE(form) << problem.key;
        const FormProblem found = ValidateShare(*form);
        EXPECT_EQ(found.kind, c.kind);
        if (c.kind != Kind::None) {
            EXPECT_EQ(found.key, c.key);
        }
    }
}

}  // namespace
}  // namespace tallyhive::service
