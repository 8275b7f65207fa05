#pragma once
#include <memory>
#include <string>

#include "assessment/Services.h"
#include "assessment/XmlTree.h"

// Factories for the platform services. Each platform folder implements them in files of the same
// names (Files.cpp, Time.cpp, ...); CMake picks the folder.
namespace tallyhive {

// `windowsDir` is the Windows directory given on the command line (Linux builds); when it is empty
// the platform's own rule applies (WINDIR on Linux, the shell's Windows folder on Windows).
std::unique_ptr<FileService> MakeFileService(const std::string& windowsDir = {});
std::unique_ptr<TimeService> MakeTimeService();
std::unique_ptr<ModuleService> MakeModuleService();
std::unique_ptr<XmlParser> MakeXmlParser();

// "ja" when the user's language is Japanese, otherwise "en"; computed afresh on every call.
std::string UiLanguage();

}  // namespace tallyhive
