#include "app/BuiltInPages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace tallyhive {
namespace {

std::string ReadSource(const std::string& name) {
    std::ifstream in(std::string(TALLYHIVE_SOURCE_DIR) + "/resources/" + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(RenderBuiltInPage, EachPlatformGetsItsImageAddresses) {
    struct Case {
        ImageAddressForm form;
        const char* want;
        const char* why;
    };
    const Case cases[] = {
        {ImageAddressForm::Win32Resource, "<img src=\"res:/PNG/#130\"><img src=\"res:/PNG/#132\">",
         "the Windows control reads the resource number after the #"},
        {ImageAddressForm::UrlScheme, "<img src=\"PNG/130\"><img src=\"PNG/132\">",
         "a scheme handler never sees a fragment: a path beside the page instead"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(RenderBuiltInPage("<img src=\"@IMAGE_130@\"><img src=\"@IMAGE_132@\">", "", c.form),
                  c.want);
    }
}

TEST(RenderBuiltInPage, SoftwareRootIsEscapedAndNotExpandedAgain) {
    struct Case {
        const char* root;
        const char* want;
        const char* why;
    };
    const Case cases[] = {
        {"http://svc.test/software/tallyhive/", "<a href=\"http://svc.test/software/tallyhive/\">x</a>",
         "an ordinary root"},
        {"http://svc.test/\"><script>x()</script>",
         "<a href=\"http://svc.test/&quot;&gt;&lt;script&gt;x()&lt;/script&gt;\">x</a>",
         "a quote cannot leave the attribute"},
        {"http://svc.test/@IMAGE_130@/", "<a href=\"http://svc.test/@IMAGE_130@/\">x</a>",
         "a root holding a placeholder's text stays as given"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(RenderBuiltInPage("<a href=\"@SOFTWARE_ROOT@\">x</a>", c.root, ImageAddressForm::UrlScheme),
                  c.want);
    }
}

// The committed agreement pages: what the host and the page commands rely on.
TEST(AgreementPages, CarryTheIdsLabelsAndImagesTheProgramNeeds) {
    struct Case {
        const char* file;
        std::vector<std::string> needed;
    };
    const Case cases[] = {
        {"agreement_en.html",
         {"<html lang=\"en\">", "charset=UTF-8", "id=\"agreement\"", "<button id=\"agree\">Agree</button>",
          "<button id=\"not_agree\">Not agree(exit)</button>", "id=\"about\"",
          "<a href=\"@SOFTWARE_ROOT@\" onclick=\"return false;\" title=\"About TALLYHIVE(open a browser)\">",
          "src=\"@IMAGE_130@\" width=\"369\" height=\"72\"",
          "src=\"@IMAGE_132@\" height=\"24\" alt=\"TALLYHIVE\"", "About TALLYHIVE</a>",
          "Please run by the agreement to the following items."}},
        {"agreement_ja.html",
         {"<html lang=\"ja\">", "charset=UTF-8", "id=\"agreement\"", "<button id=\"agree\">同意する</button>",
          "<button id=\"not_agree\">同意しない(終了)</button>", "id=\"about\"",
          "<a href=\"@SOFTWARE_ROOT@\" onclick=\"return false;\" "
          "title=\"TALLYHIVEについて(ブラウザで開きます)\">",
          "src=\"@IMAGE_130@\" width=\"369\" height=\"72\"",
          "src=\"@IMAGE_132@\" height=\"24\" alt=\"TALLYHIVE\"", "TALLYHIVEについて</a>",
          "動作前に、以下の項目を確認し同意の上実行して下さい。"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string source = ReadSource(c.file);
        ASSERT_FALSE(source.empty());
        for (const std::string& piece : c.needed) EXPECT_NE(source.find(piece), std::string::npos) << piece;
        const std::string page =
            RenderBuiltInPage(source, "http://svc.test/software/tallyhive/", ImageAddressForm::UrlScheme);
        EXPECT_EQ(page.find('@'), std::string::npos) << "no placeholder is left over";
        std::size_t items = 0;
        for (std::size_t at = page.find("<li>"); at != std::string::npos; at = page.find("<li>", at + 1))
            ++items;
        EXPECT_EQ(items, 6u) << "six numbered items";
    }
}

}  // namespace
}  // namespace tallyhive
