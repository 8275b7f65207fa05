// The user's language on POSIX: the locale variables in the order the C library itself weighs them.
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace tallyhive {

std::string UiLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        // The language code ends at the territory, the code set or the modifier ("ja_JP.UTF-8",
        // "ja.eucJP", "ja@x"); comparing the whole code keeps three-letter codes such as "jam" apart.
        const std::string_view locale(value);
        const std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
        return language == "ja" ? "ja" : "en";
    }
    return "en";
}

}  // namespace tallyhive
