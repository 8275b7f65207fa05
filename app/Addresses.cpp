#include "app/Addresses.h"

#include <algorithm>

#include "base/Text.h"
#include "share/ShareForm.h"

namespace tallyhive {

std::string ServiceAddresses::StartPage(std::string_view uiLanguage) const {
    return SoftwareRoot() + "start.php?lang=" + std::string(uiLanguage);
}

std::string ServiceAddresses::SharePage(std::string_view id, std::string_view uiLanguage) const {
    // The id goes in as the page holds it: the service reads its own ids back.
    return SoftwareRoot() + "share.php?id=" + std::string(id) + "&lang=" + std::string(uiLanguage);
}

std::string ServiceAddresses::ShareEndpoint() const {
    return m_root + std::string(kSharePath);
}

bool NormalizeServiceRoot(std::string_view text, std::string& root, std::string& why) {
    std::string_view scheme;
    if (StartsWithIgnoringAsciiCase(text, "http://")) {
        scheme = "http://";
    } else if (StartsWithIgnoringAsciiCase(text, "https://")) {
        scheme = "https://";
    } else {
        why = "the service root must begin with http:// or https://";
        return false;
    }
    std::string_view rest = text.substr(scheme.size());
    const std::size_t hostEnd = rest.find_first_of("/?#");
    if (hostEnd == 0 || rest.empty()) {
        why = "the service root names no host";
        return false;
    }
    // Query strings and fragments would end up in the middle of every address built from the root.
    if (rest.find_first_of("?# \t\r\n") != std::string_view::npos) {
        why = "the service root must not contain a query, a fragment or white space";
        return false;
    }
    // Scheme and host in lower case, as the browser reports page addresses, so the prefix test on
    // them matches.
    std::string tail(rest);
    const std::size_t authorityEnd = std::min(tail.find('/'), tail.size());
    for (std::size_t i = 0; i < authorityEnd; ++i) tail[i] = LowerAscii(tail[i]);
    root = std::string(scheme) + tail;
    if (root.back() != '/') root.push_back('/');
    return true;
}

std::string BuiltInPageAddress(std::string_view programPath, int number) {
    return "res://" + std::string(programPath) + "/" + std::to_string(number);
}

bool IsTrustedPage(std::string_view url, std::string_view serviceRoot,
                   const BuiltInPageMatch& isBuiltInPage) {
    if (!serviceRoot.empty() && url.substr(0, serviceRoot.size()) == serviceRoot) return true;
    return isBuiltInPage(url, kAgreementJapanese) || isBuiltInPage(url, kAgreementEnglish);
}

bool IsTrustedPage(std::string_view url, std::string_view serviceRoot, std::string_view programPath) {
    return IsTrustedPage(url, serviceRoot, [programPath](std::string_view address, int number) {
        return address == BuiltInPageAddress(programPath, number);
    });
}

std::string ProgramCaption(std::string_view programPath) {
    const std::size_t slash = programPath.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? programPath : programPath.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    // A name that is all extension (".tallyhive") keeps its dot rather than becoming empty.
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    return std::string(name);
}

}  // namespace tallyhive
