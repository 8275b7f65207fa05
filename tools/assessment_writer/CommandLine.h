#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/assessment_writer/AssessmentWriter.h"

// The command line of tallyhive-make-assessment.
namespace tallyhive::writer {

struct Request {
    enum class Target { WindowsDir, Datastore, File };
    Target target = Target::WindowsDir;
    std::string where;  // the Windows directory, the datastore folder or the file
    AssessmentContent content;
    bool help = false;
    bool version = false;
};

// Reads the arguments after the program name. `nowUtcMs` is the default execution time; `windirEnv`
// (WINDIR, null when unset) is the destination when none is given. Empty with `error` set when the
// command line cannot be used.
std::optional<Request> ParseCommandLine(const std::vector<std::string>& args, std::int64_t nowUtcMs,
                                        const char* windirEnv, std::string& error);
std::string Usage();

}  // namespace tallyhive::writer
