#pragma once
#include <string>
#include <vector>

#include "assessment/AssessmentResult.h"
#include "assessment/Services.h"
#include "tools/report/ReportOptions.h"

// tallyhive-report: the command-line face of the assessment core, for a datastore copied off a
// Windows machine or a mounted Windows disk.
namespace tallyhive::report {

enum ExitCode { kShown = 0, kNotShown = 1, kUnusable = 2 };

// One assessment file as the report shows it.
struct Examined {
    explicit Examined(const TimeService& time) : record(time) {}
    std::string path;
    bool readable = false;     // the file was read as an assessment (well-formed XML)
    bool consistent = false;   // and passed the consistency check
    std::string why;           // why not, when it was not shown
    CAssessmentResult record;  // what was read, also when the check refused it
};

// Reads `path` the way the program loads an assessment; unlike the program, keeps what was read
// when the check refuses it, so that the report can show it together with the reason.
Examined Examine(const std::string& path, const AssessmentServices& services);

// Runs the report: `out` receives what goes to standard output, `err` the messages for standard
// error. Returns the exit status.
int RunReport(const ReportOptions& options, const AssessmentServices& services, std::string& out,
              std::string& err);

// The JSON object of one assessment (pretty-printed without a final newline).
std::string JsonOf(const Examined& examined);

// A text from a file made safe for a terminal: control characters become "?".
std::string Printable(std::string_view text);

}  // namespace tallyhive::report
