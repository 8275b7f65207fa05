#pragma once
#include <string>
#include <string_view>

namespace tallyhive::win32 {

// The text the XML component's loadXML is given for a document the core has decoded to UTF-8.
std::wstring LoadXmlText(std::string_view utf8Document);

}  // namespace tallyhive::win32
