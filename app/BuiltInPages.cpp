#include "app/BuiltInPages.h"

#include "app/Addresses.h"
#include "base/Text.h"

namespace tallyhive {

namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

std::string BuiltInImageAddress(int number, ImageAddressForm form) {
    const char* prefix = form == ImageAddressForm::Win32Resource ? "res:/PNG/#" : "PNG/";
    return prefix + std::to_string(number);
}

std::string RenderBuiltInPage(std::string_view source, std::string_view softwareRoot, ImageAddressForm form) {
    std::string page(source);
    ReplaceAll(page, "@IMAGE_130@", BuiltInImageAddress(kBannerImage, form));
    ReplaceAll(page, "@IMAGE_132@", BuiltInImageAddress(kIconImage, form));
    // Last, so a root that happens to contain a placeholder's text is not expanded again.
    ReplaceAll(page, "@SOFTWARE_ROOT@", EscapeHtml(softwareRoot));
    return page;
}

}  // namespace tallyhive
