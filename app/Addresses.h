#pragma once
#include <functional>
#include <string>
#include <string_view>

// Every address the program uses is the service's root or the software root followed by a fixed path.
namespace tallyhive {

// The build's default root of the web service (http scheme, host, trailing slash).
std::string_view DefaultServiceRoot();

class ServiceAddresses {
public:
    explicit ServiceAddresses(std::string serviceRoot) : m_root(std::move(serviceRoot)) {}

    const std::string& ServiceRoot() const { return m_root; }
    std::string SoftwareRoot() const { return m_root + "software/tallyhive/"; }
    // After the agreement, with the interface language; "home" goes to the same page without one.
    std::string StartPage(std::string_view uiLanguage) const;
    std::string HomePage() const { return SoftwareRoot() + "start.php"; }
    std::string ResultPage() const { return SoftwareRoot() + "result_20.php"; }
    std::string SharePage(std::string_view id, std::string_view uiLanguage) const;
    std::string ShareEndpoint() const;

private:
    std::string m_root;
};

// A root given on the command line, checked and brought into the form the address rules need
// (absolute http or https address with a host, ending in "/"). False with a reason otherwise.
bool NormalizeServiceRoot(std::string_view text, std::string& root, std::string& why);

// "res://" + the program path + "/" + the number: the address of a page the program carries.
std::string BuiltInPageAddress(std::string_view programPath, int number);
inline constexpr int kAgreementJapanese = 129;
inline constexpr int kAgreementEnglish = 134;
inline constexpr int kBannerImage = 130;
inline constexpr int kIconImage = 132;

// Pages that may run page commands and receive the assessment: the program's own agreement pages
// and addresses beginning with the service root. Anything else that gets into the window is only
// shown and fitted.
// `isBuiltInPage` tells whether an address as the browser reports it is one of the program's pages;
// a browser that reports addresses in another form than it was given them needs its own comparison.
using BuiltInPageMatch = std::function<bool(std::string_view url, int number)>;
bool IsTrustedPage(std::string_view url, std::string_view serviceRoot, const BuiltInPageMatch& isBuiltInPage);
// The same where the browser reports the program's pages exactly as BuiltInPageAddress writes them.
bool IsTrustedPage(std::string_view url, std::string_view serviceRoot, std::string_view programPath);

// The program file's name without its extension: the caption of every message box.
std::string ProgramCaption(std::string_view programPath);

}  // namespace tallyhive
