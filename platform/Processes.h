#pragma once
#include <memory>
#include <string>

#include "remeasure/ConsoleCommand.h"
#include "remeasure/Remeasure.h"

// Factories for the services measuring again needs: the command interpreter and the private
// temporary folder. Each platform folder implements them (ProcessRunner.cpp, TempFolder.cpp).
namespace tallyhive {

// `interpreter` names the interpreter to start; when empty the platform's rule applies (POSIX:
// /bin/sh, whatever the user's login shell; Windows: %ComSpec%).
std::unique_ptr<ProcessService> MakeProcessService(const std::string& interpreter = {});

// `parent` replaces the user's temporary folder (tests); when empty, POSIX uses $TMPDIR or /tmp and
// Windows the user's temporary folder.
std::unique_ptr<TempFolderService> MakeTempFolderService(const std::string& parent = {});

}  // namespace tallyhive
