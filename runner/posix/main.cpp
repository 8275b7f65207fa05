// AssessRunner: runs the assessment tool and shows what it writes. The program starts it without
// arguments; it ends with 0 when the assessment ran to its end and 1 when it could not be started.
// --help and --version answer and end without running anything.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "platform/Processes.h"
#include "runner/AssessRunner.h"
#include "tallyhive_version.h"

int main(int argc, char** argv) {
    CLI::App app{
        "Runs the assessment tool (winsat formal) and shows what it writes.\n"
        "The program starts it without arguments.",
        "AssessRunner"};
    app.set_version_flag("--version", std::string("AssessRunner ") + TALLYHIVE_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version end here with 0; anything else given is a usage error.
        if (e.get_exit_code() == 0) return app.exit(e);
        std::fprintf(stderr, "AssessRunner: %s (see --help)\n", e.what());
        return 2;
    }

    auto processes = tallyhive::MakeProcessService();
    // Flushed chunk by chunk so whoever shows this output sees it as it comes.
    const tallyhive::OutputSink toStdout = [](std::string_view chunk) {
        std::fwrite(chunk.data(), 1, chunk.size(), stdout);
        std::fflush(stdout);
    };
    std::string why;
    // On this platform winsat is whichever one the PATH finds.
    const int code = tallyhive::RunAssessment(*processes, "winsat", toStdout, &why);
    if (code != 0) std::fprintf(stderr, "AssessRunner: %s\n", why.c_str());
    return code;
}
