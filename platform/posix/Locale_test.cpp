#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace tallyhive {
namespace {

TEST(UiLanguage, FirstSetLocaleVariableDecides) {
    struct Case {
        const char *all, *messages, *lang;
        const char* want;
        const char* why;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, "en", "nothing set"},
        {nullptr, nullptr, "ja_JP.UTF-8", "ja", "LANG alone"},
        {nullptr, nullptr, "ja", "ja", "the bare language"},
        {nullptr, nullptr, "ja.eucJP", "ja", "a code set without territory"},
        {nullptr, nullptr, "ja@modifier", "ja", "a modifier without territory"},
        {nullptr, nullptr, "en_US.UTF-8", "en", "English"},
        {nullptr, nullptr, "de_DE.UTF-8", "en", "any other language is English"},
        {nullptr, nullptr, "C", "en", "the C locale"},
        {nullptr, nullptr, "jam_JM", "en", "a three-letter code that begins with ja"},
        {"ja_JP.UTF-8", "en_US.UTF-8", "en_US.UTF-8", "ja", "LC_ALL comes first"},
        {"en_US.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8", "en", "LC_ALL overrides the others"},
        {"", "ja_JP.UTF-8", "en_US.UTF-8", "ja", "an empty LC_ALL is skipped"},
        {nullptr, "en_US.UTF-8", "ja_JP.UTF-8", "en", "LC_MESSAGES before LANG"},
        {"", "", "ja_JP.UTF-8", "ja", "empty values fall through to LANG"},
    };
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> saved[3];
    for (int i = 0; i < 3; ++i) {
        if (const char* v = std::getenv(names[i])) saved[i] = v;
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const char* values[] = {c.all, c.messages, c.lang};
        for (int i = 0; i < 3; ++i) {
            if (values[i]) {
                ::setenv(names[i], values[i], 1);
            } else {
                ::unsetenv(names[i]);
            }
        }
        EXPECT_EQ(UiLanguage(), c.want);
    }
    for (int i = 0; i < 3; ++i) {
        if (saved[i]) {
            ::setenv(names[i], saved[i]->c_str(), 1);
        } else {
            ::unsetenv(names[i]);
        }
    }
}

}  // namespace
}  // namespace tallyhive
