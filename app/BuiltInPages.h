#pragma once
#include <string>
#include <string_view>

// The agreement pages are written once each (resources/agreement_ja.html, agreement_en.html) with
// placeholders for what differs between platforms and runs: "@SOFTWARE_ROOT@" for the link to the
// software page, "@IMAGE_130@" and "@IMAGE_132@" for the banner and the icon.
namespace tallyhive {

enum class ImageAddressForm {
    Win32Resource,  // "res:/PNG/#130": the Windows browser control reads the resource after the "#"
    // "PNG/130": a URL scheme handler never sees a fragment, so the picture gets a path of its
    // own, relative to the page ("res://" + program path + "/PNG/130").
    UrlScheme,
};

std::string BuiltInImageAddress(int number, ImageAddressForm form);

// The page as the browser gets it. The software root is escaped for the attribute it goes into.
std::string RenderBuiltInPage(std::string_view source, std::string_view softwareRoot, ImageAddressForm form);

}  // namespace tallyhive
