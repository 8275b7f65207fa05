#include <windows.h>

#include "platform/Platform.h"

namespace tallyhive {

std::string UiLanguage() {
    // The primary language of the user's default language identifier: Japanese is 0x11.
    return (::GetUserDefaultLangID() & 0x3FF) == 0x11 ? "ja" : "en";
}

}  // namespace tallyhive
