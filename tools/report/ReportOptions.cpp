#include "tools/report/ReportOptions.h"

#include "tools/CliArguments.h"

namespace tallyhive::report {

std::string ReportUsage() {
    return "usage: tallyhive-report [--windows-dir DIR | --datastore DIR | --file PATH] [--all] [--json]\n"
           "                        [--share-form [--server-datetime TEXT]]\n"
           "       tallyhive-report --help | --version\n"
           "Shows the newest formal Windows assessment (Vista, 7 or 8) of a Windows directory (default:\n"
           "the WINDIR environment value), of a datastore folder or of one file, and whether it passes\n"
           "the consistency check.\n"
           "  --all              every formal assessment of the folder, newest first\n"
           "  --json             JSON instead of text\n"
           "  --share-form       the form body a share of this assessment sends\n"
           "  --server-datetime  the service's time stamp for the pass code (default: the local clock)\n"
           "Exit status: 0 a consistent assessment was shown; 1 none was found or it failed the check;\n"
           "2 a usage error or input that cannot be read.\n";
}

std::optional<ReportOptions> ParseReportArguments(const std::vector<std::string>& args, std::string& error) {
    CLI::App app{"Shows the newest formal Windows assessment.", "tallyhive-report"};
    tools::PrepareApp(app);
    CLI::Option* windowsDir = app.add_option("--windows-dir");
    CLI::Option* datastore = app.add_option("--datastore");
    CLI::Option* file = app.add_option("--file");
    // Used exactly as given, spaces and all, as the service's value would be.
    CLI::Option* serverDateTime = app.add_option("--server-datetime");
    CLI::Option* all = app.add_flag("--all");
    CLI::Option* json = app.add_flag("--json");
    CLI::Option* shareForm = app.add_flag("--share-form");
    CLI::Option* help = app.add_flag("-h,--help");
    CLI::Option* version = app.add_flag("--version");

    auto fail = [&](std::string message) -> std::optional<ReportOptions> {
        error = std::move(message);
        return std::nullopt;
    };
    if (std::string problem = tools::ParseArguments(app, args); !problem.empty()) return fail(problem);

    ReportOptions options;
    options.help = help->count() > 0;
    options.version = version->count() > 0;
    if (options.help || options.version) return options;

    options.all = all->count() > 0;
    options.json = json->count() > 0;
    options.shareForm = shareForm->count() > 0;
    if (serverDateTime->count() > 0) options.serverDateTime = tools::Value(serverDateTime);
    const std::pair<CLI::Option*, ReportOptions::Source> sources[] = {
        {windowsDir, ReportOptions::Source::WindowsDir},
        {datastore, ReportOptions::Source::Datastore},
        {file, ReportOptions::Source::File},
    };
    for (const auto& [option, source] : sources) {
        if (option->count() == 0) continue;
        if (options.source != ReportOptions::Source::Default)
            return fail("give only one of --windows-dir, --datastore and --file");
        options.where = tools::Value(option);
        if (options.where.empty()) return fail(option->get_name() + " needs a non-empty value");
        options.source = source;
    }
    if (options.serverDateTime && !options.shareForm)
        return fail("--server-datetime goes only with --share-form");
    if (options.shareForm && (options.all || options.json))
        return fail("--share-form prints one form body; it goes with neither --all nor --json");
    if (options.all && options.source == ReportOptions::Source::File)
        return fail("--all lists the assessments of a folder; it does not go with --file");
    return options;
}

}  // namespace tallyhive::report
