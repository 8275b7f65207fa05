#pragma once
#include <string>
#include <string_view>

// The texts the shell shows, in the interface language: "ja" gives Japanese, anything else English.
namespace tallyhive {

std::string_view AlreadyRunningMessage(std::string_view uiLanguage);
std::string_view LoadFailureMessage(std::string_view uiLanguage);
std::string_view RemeasureFailureMessage(std::string_view uiLanguage);
// The measurement goes on in a window of its own; its result is loaded with the load command.
std::string_view RemeasureStillRunningMessage(std::string_view uiLanguage);
// A command that stopped on an unexpected error; the page stays as the command left it.
std::string_view CommandFailureMessage(std::string_view uiLanguage);
// Why the Windows program cannot start at all. `detail` is the system's own account (an error code,
// what the control refused) and is shown as it is, inside the translated sentence.
enum class StartFailure { NoOle, NoBrowserControl };
std::string StartFailureMessage(std::string_view uiLanguage, StartFailure failure, std::string_view detail);
// The question offering the software page, around the program's version text.
std::string OutdatedVersionQuestion(std::string_view uiLanguage, std::string_view programVersion);

}  // namespace tallyhive
