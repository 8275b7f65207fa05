#include "app/Addresses.h"

#include <gtest/gtest.h>

#include <string>

namespace tallyhive {
namespace {

TEST(ServiceAddresses, EveryAddressHangsOffTheRoot) {
    const ServiceAddresses a("http://svc.test/");
    EXPECT_EQ(a.SoftwareRoot(), "http://svc.test/software/tallyhive/");
    EXPECT_EQ(a.StartPage("ja"), "http://svc.test/software/tallyhive/start.php?lang=ja");
    EXPECT_EQ(a.HomePage(), "http://svc.test/software/tallyhive/start.php");
    EXPECT_EQ(a.ResultPage(), "http://svc.test/software/tallyhive/result_20.php");
    EXPECT_EQ(a.SharePage("", "en"), "http://svc.test/software/tallyhive/share.php?id=&lang=en");
    EXPECT_EQ(a.ShareEndpoint(), "http://svc.test/as/responses/add/tallyhive");
}

TEST(NormalizeServiceRoot, AcceptsWebAddressesOnly) {
    struct Case {
        const char* in;
        const char* want;  // null: refused
        const char* why;
    };
    const Case cases[] = {
        {"http://127.0.0.1:8470/", "http://127.0.0.1:8470/", "already in form"},
        {"http://127.0.0.1:8470", "http://127.0.0.1:8470/", "the trailing slash is added"},
        {"HTTP://Svc.Example:80/Tally/", "http://svc.example:80/Tally/", "scheme and host lower, path kept"},
        {"https://svc.example/base", "https://svc.example/base/", "a path without slash"},
        {"ftp://svc.example/", nullptr, "another scheme"},
        {"svc.example/", nullptr, "no scheme"},
        {"http://", nullptr, "no host"},
        {"http:///path/", nullptr, "an empty host"},
        {"http://svc.example/?a=1", nullptr, "a query would sit inside every address"},
        {"http://svc.example/#top", nullptr, "so would a fragment"},
        {"http://svc example/", nullptr, "white space"},
        {"", nullptr, "nothing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string root = "unchanged";
        std::string why;
        const bool ok = NormalizeServiceRoot(c.in, root, why);
        EXPECT_EQ(ok, c.want != nullptr) << why;
        if (c.want) {
            EXPECT_EQ(root, c.want);
        } else {
            EXPECT_FALSE(why.empty()) << "a refusal says why";
        }
    }
}

TEST(BuiltInPageAddress, ProgramPathAndNumber) {
    EXPECT_EQ(BuiltInPageAddress("/usr/bin/tallyhive", 129), "res:///usr/bin/tallyhive/129");
    EXPECT_EQ(BuiltInPageAddress("C:\\Tools\\Tallyhive.exe", 134), "res://C:\\Tools\\Tallyhive.exe/134");
}

TEST(ProgramCaption, FileNameWithoutExtension) {
    struct Case {
        const char* path;
        const char* want;
    };
    const Case cases[] = {
        {"/usr/bin/tallyhive", "tallyhive"},
        {"C:\\Tools\\Tallyhive.exe", "Tallyhive"},
        {"C:\\My.Tools\\tally.hive.exe", "tally.hive"},
        {"/opt/my.dir/tallyhive", "tallyhive"},
        {"/opt/.tallyhive", ".tallyhive"},
        {"tallyhive", "tallyhive"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ProgramCaption(c.path), c.want);
    }
}

}  // namespace
}  // namespace tallyhive
