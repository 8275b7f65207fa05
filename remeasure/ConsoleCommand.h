#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Running one program through the platform's command interpreter and relaying what it writes.
// The same routine serves the main program (starting the runner) and the runner (starting winsat).
namespace tallyhive {

// How the interpreter reads a command line; decides quoting and line ends.
enum class InterpreterSyntax {
    PosixShell,      // sh and friends: single quotes keep $, backquotes and backslashes literal
    WindowsCommand,  // cmd: double quotes, CR LF, environment references expanded by cmd itself
};

// One started interpreter. Implementations own the process and both pipe ends; the destructor
// releases them and does not leave the process behind as a zombie.
class InterpreterProcess {
public:
    enum class Output {
        Data,    // bytes were appended to the chunk
        Empty,   // nothing arrived within the wait
        Closed,  // no writer is left: nothing more can arrive
        Failed,  // the output cannot be read any more; the reading end has been closed, so the
                 // interpreter is not left blocked on a full pipe
    };

    virtual ~InterpreterProcess() = default;
    // Writes all of `text` (UTF-8; an implementation whose interpreter reads another encoding
    // converts it). False when the input is closed or broken; a failed write never raises a signal.
    virtual bool WriteInput(std::string_view text) = 0;
    // After this the interpreter reads end-of-file once it has consumed what was written.
    virtual void CloseInput() = 0;
    // Waits at most `waitMs` milliseconds for output and appends what is available to `chunk`.
    virtual Output ReadOutput(std::string& chunk, int waitMs) = 0;
    // True once the interpreter has ended; never blocks.
    virtual bool HasEnded() = 0;
    // Blocks until the interpreter has ended.
    virtual void WaitForEnd() = 0;
    // The interpreter's exit status once it has ended; empty when there is none to read (killed by
    // a signal, or the platform could not report it).
    virtual std::optional<std::uint32_t> ExitCode() = 0;
};

class ProcessService {
public:
    virtual ~ProcessService() = default;
    virtual InterpreterSyntax Syntax() const = 0;
    // Starts the command interpreter with pipes as its standard input, output and error. Null when
    // a pipe or the interpreter cannot be created; `why` then says which.
    virtual std::unique_ptr<InterpreterProcess> StartInterpreter(std::string* why = nullptr) = 0;
};

// Receives the interpreter's output as it arrives, byte for byte, in order.
using OutputSink = std::function<void(std::string_view chunk)>;

// The line that runs `programPath` with `arguments`: the quoted path, one blank, the arguments and
// the line end. The arguments are passed on as the interpreter's own words, unquoted.
std::string CommandLineFor(InterpreterSyntax syntax, std::string_view programPath,
                           std::string_view arguments);
// The line that ends the interpreter with the status of the last command it ran.
std::string ExitLineFor(InterpreterSyntax syntax);

// Starts the interpreter, types the command line and the exit line into it, closes its input (so a
// program that reads its standard input cannot swallow the exit line and leave the interpreter
// waiting), relays its output to `sink` until it has ended, and stores its exit status in
// `exitCode`. Returns false, leaving `exitCode` untouched, when the interpreter could not be started,
// the command line could not be typed into it, or its exit status could not be read: an unknown
// outcome is never reported as success.
bool RunConsoleCommand(ProcessService& processes, std::string_view programPath, std::string_view arguments,
                       std::uint32_t& exitCode, const OutputSink& sink, std::string* why = nullptr);

}  // namespace tallyhive
