#include "app/ScriptText.h"

#include <gtest/gtest.h>

#include <string>

namespace tallyhive {
namespace {

TEST(JsonStringLiteral, DataNeverBecomesCode) {
    struct Case {
        std::string in;
        std::string want;
        const char* why;
    };
    const Case cases[] = {
        {"7.9", "\"7.9\"", "ordinary text"},
        {"", "\"\"", "empty"},
        {"\"); host.share(); (\"", "\"\\\"); host.share(); (\\\"\"", "a quote cannot end the literal"},
        {"a\\", "\"a\\\\\"", "a trailing backslash cannot escape the closing quote"},
        {"a\nb\rc\td", "\"a\\nb\\rc\\td\"", "line breaks would end the statement"},
        {"</script><b>", "\"\\u003c/script>\\u003cb>\"", "no closing tag inside a page"},
        {"x\xE2\x80\xA8y\xE2\x80\xA9z", "\"x\\u2028y\\u2029z\"", "line and paragraph separators"},
        {std::string("a\0b", 3), "\"a\\u0000b\"", "a zero byte is kept, escaped"},
        {"\x01\x1F\x7F", "\"\\u0001\\u001f\\u007f\"", "control characters"},
        {"日本語 ✓ \xF0\x9F\x98\x80", "\"日本語 ✓ \xF0\x9F\x98\x80\"", "valid UTF-8 passes through"},
        {"a\x80z", "\"a\\ufffdz\"", "a stray continuation byte"},
        {"a\xE3\x81", "\"a\\ufffd\\ufffd\"", "a sequence cut short at the end"},
        {"\xC0\xAF", "\"\\ufffd\\ufffd\"", "an overlong slash"},
        {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\"", "a UTF-16 surrogate"},
        {"\xF4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\"", "beyond U+10FFFF"},
        {"\xE3\x81\"", "\"\\ufffd\\ufffd\\\"\"", "a cut sequence does not swallow the quote after it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(JsonStringLiteral(c.in), c.want);
    }
}

}  // namespace
}  // namespace tallyhive
