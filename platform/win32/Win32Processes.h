#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "remeasure/ConsoleCommand.h"

namespace tallyhive {

// Finds the window of this program's console; null when it has none shown.
using ConsoleWindowFinder = HWND(WINAPI*)();

// The interpreter service of MakeProcessService, with the console's window found by `consoleWindow`
// rather than GetConsoleWindow (tests, where Wine shows no console window).
std::unique_ptr<ProcessService> MakeProcessService(const std::string& interpreter,
                                                   ConsoleWindowFinder consoleWindow);

}  // namespace tallyhive
