#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "remeasure/ConsoleCommand.h"

// The runner program's whole job: run winsat through the command interpreter and show its output.
namespace tallyhive {

inline constexpr std::string_view kWinsatArguments = "formal -restart clean";

// Where the runner finds winsat on Windows, before the interpreter expands %WinDir%: a 32-bit runner
// on 64-bit Windows (WOW64) sees the system folder redirected and reaches the real one, where winsat
// lies, as "Sysnative"; systems older than version 6 have no such name. A WOW64 query that failed
// (`wow64` empty) counts as WOW64.
std::string WindowsWinsatPath(unsigned majorVersion, std::optional<bool> wow64);

// Runs `winsatPath` with kWinsatArguments through RunConsoleCommand, relaying the output to `sink`.
// Returns the runner's exit code: 0 when the interpreter ran to its end, whatever winsat reported
// (the main program judges the assessment by the file it leaves), 1 when the interpreter could not
// be started, the line could not be typed into it or its end could not be told; `why` says why.
int RunAssessment(ProcessService& processes, std::string_view winsatPath, const OutputSink& sink,
                  std::string* why = nullptr);

}  // namespace tallyhive
