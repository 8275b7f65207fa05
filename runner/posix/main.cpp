// AssessRunner: runs the assessment tool and shows what it writes. Takes no arguments; ends with 0
// when the assessment ran to its end and 1 when it could not be started.
#include <cstdio>
#include <string>

#include "platform/Processes.h"
#include "runner/AssessRunner.h"

int main() {
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
