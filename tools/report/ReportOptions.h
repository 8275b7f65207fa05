#pragma once
#include <optional>
#include <string>
#include <vector>

// The command line of tallyhive-report.
namespace tallyhive::report {

struct ReportOptions {
    // Where the assessment comes from: the platform's Windows directory (WINDIR, else the current
    // folder), a given Windows directory, a datastore folder, or one file.
    enum class Source { Default, WindowsDir, Datastore, File };
    Source source = Source::Default;
    std::string where;
    bool all = false;
    bool json = false;
    bool shareForm = false;
    std::optional<std::string> serverDateTime;
    bool help = false;
    bool version = false;
};

// Reads the arguments after the program name; empty with `error` set on a usage error.
std::optional<ReportOptions> ParseReportArguments(const std::vector<std::string>& args, std::string& error);
std::string ReportUsage();

}  // namespace tallyhive::report
