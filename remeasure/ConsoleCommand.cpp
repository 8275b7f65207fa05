#include "remeasure/ConsoleCommand.h"

namespace tallyhive {

namespace {

// How long one wait for output may last before the loop asks whether the interpreter has ended. The
// wait ends at once when output arrives or the pipe closes, so this only matters when a program the
// interpreter started in the background keeps the pipe open after the interpreter itself has ended.
constexpr int kOutputWaitMs = 50;

// Once the interpreter has ended, its own output still in the pipe is at most one pipe's capacity
// (1 MiB at the most on Linux). Beyond this, what arrives comes from a background program that
// keeps writing, and relaying it would never end.
constexpr std::size_t kDrainLimit = std::size_t{4} << 20;

void SetWhy(std::string* why, std::string text) {
    if (why) *why = std::move(text);
}

}  // namespace

std::string CommandLineFor(InterpreterSyntax syntax, std::string_view programPath,
                           std::string_view arguments) {
    std::string line;
    if (syntax == InterpreterSyntax::WindowsCommand) {
        // A Windows path cannot contain a double quotation mark, so plain quoting is enough; cmd
        // expands %WinDir% inside the quotes, which the runner relies on.
        line.append("\"").append(programPath).append("\" ").append(arguments).append("\r\n");
        return line;
    }
    // Inside single quotes the shell takes every character literally except the single quote
    // itself, which is closed, escaped and reopened.
    line.push_back('\'');
    for (char c : programPath) {
        if (c == '\'')
            line.append("'\\''");
        else
            line.push_back(c);
    }
    line.append("' ").append(arguments).append("\n");
    return line;
}

std::string ExitLineFor(InterpreterSyntax syntax) {
    return syntax == InterpreterSyntax::WindowsCommand ? "exit\r\n" : "exit\n";
}

bool RunConsoleCommand(ProcessService& processes, std::string_view programPath, std::string_view arguments,
                       std::uint32_t& exitCode, const OutputSink& sink, std::string* why) {
    std::string startWhy;
    std::unique_ptr<InterpreterProcess> interpreter = processes.StartInterpreter(&startWhy);
    if (!interpreter) {
        SetWhy(why, "the command interpreter could not be started: " + startWhy);
        return false;
    }

    // A command line that could not be typed (the interpreter ended early, or the line cannot be
    // given in the interpreter's code page) never ran: the interpreter's status would say nothing
    // about it. The loop below still waits for the interpreter, so none is left behind.
    const InterpreterSyntax syntax = processes.Syntax();
    const bool typed = interpreter->WriteInput(CommandLineFor(syntax, programPath, arguments));
    if (typed) interpreter->WriteInput(ExitLineFor(syntax));
    interpreter->CloseInput();

    std::string chunk;
    bool ended = false;
    std::size_t drained = 0;
    for (;;) {
        chunk.clear();
        // Once the interpreter has ended, only what is already waiting is relayed: a background
        // program holding the pipe open must not keep the run alive.
        const InterpreterProcess::Output got = interpreter->ReadOutput(chunk, ended ? 0 : kOutputWaitMs);
        if (got == InterpreterProcess::Output::Data) {
            if (sink && !chunk.empty()) sink(chunk);
            if (ended) {
                if ((drained += chunk.size()) > kDrainLimit) break;
            } else {
                // Asked even while output flows: a background program may go on writing after
                // the interpreter has ended.
                ended = interpreter->HasEnded();
            }
            continue;
        }
        if (got == InterpreterProcess::Output::Closed || got == InterpreterProcess::Output::Failed) {
            interpreter->WaitForEnd();
            break;
        }
        if (ended) break;
        ended = interpreter->HasEnded();
    }

    const std::optional<std::uint32_t> status = interpreter->ExitCode();
    if (!typed) {
        SetWhy(why, "the command line could not be typed into the command interpreter");
        return false;
    }
    if (!status) {
        SetWhy(why, "the command interpreter ended without an exit status (it was killed)");
        return false;
    }
    exitCode = *status;
    return true;
}

}  // namespace tallyhive
