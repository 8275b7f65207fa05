// tallyhive-report: shows the newest formal Windows assessment of a Windows directory, a datastore
// folder or one file, and whether it passes the consistency check.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tallyhive_version.h"
#include "tools/report/Report.h"
#include "tools/report/ReportOptions.h"

int main(int argc, char** argv) {
    using namespace tallyhive;
    // The user's locale, as a desktop program has it: nothing read or printed may depend on it.
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<report::ReportOptions> options = report::ParseReportArguments(args, error);
    if (!options) {
        std::fprintf(stderr, "tallyhive-report: %s\n%s", error.c_str(), report::ReportUsage().c_str());
        return report::kUnusable;
    }
    if (options->help) {
        std::fputs(report::ReportUsage().c_str(), stdout);
        return report::kShown;
    }
    if (options->version) {
        std::puts("tallyhive-report " TALLYHIVE_VERSION);
        return report::kShown;
    }

    const std::string windowsDir =
        options->source == report::ReportOptions::Source::WindowsDir ? options->where : std::string();
    const std::unique_ptr<FileService> files = MakeFileService(windowsDir);
    const std::unique_ptr<TimeService> time = MakeTimeService();
    const std::unique_ptr<ModuleService> modules = MakeModuleService();
    const std::unique_ptr<XmlParser> xml = MakeXmlParser();
    const AssessmentServices services{*files, *time, *modules, *xml};

    std::string out;
    std::string err;
    const int status = report::RunReport(*options, services, out, err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    // A full disk or a closed pipe must not pass for a shown report.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("tallyhive-report: cannot write the report to standard output\n", stderr);
        return report::kUnusable;
    }
    return status;
}
