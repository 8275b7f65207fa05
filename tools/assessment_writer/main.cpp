// tallyhive-make-assessment: writes one assessment file whose contents and times agree, for demos,
// tests and benchmarks on machines without the assessment tool.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tallyhive_version.h"
#include "tools/assessment_writer/AssessmentWriter.h"
#include "tools/assessment_writer/CommandLine.h"

int main(int argc, char** argv) {
    using namespace tallyhive::writer;
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Whole milliseconds: the file name and the execution time carry no finer part, and the file's
    // modification time must be the same instant.
    const std::int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
    std::string error;
    const std::optional<Request> request = ParseCommandLine(args, nowMs, std::getenv("WINDIR"), error);
    if (!request) {
        std::fprintf(stderr, "tallyhive-make-assessment: %s\n%s", error.c_str(), Usage().c_str());
        return 2;
    }
    if (request->help) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    if (request->version) {
        std::puts("tallyhive-make-assessment " TALLYHIVE_VERSION);
        return 0;
    }

    std::string written;
    bool ok = false;
    switch (request->target) {
        case Request::Target::WindowsDir: {
            std::string datastore;
            ok = MakeDatastore(request->where, datastore, &error) &&
                 WriteIntoFolder(request->content, datastore, written, &error);
            break;
        }
        case Request::Target::Datastore:
            ok = WriteIntoFolder(request->content, request->where, written, &error);
            break;
        case Request::Target::File:
            ok = WriteToPath(request->content, request->where, &error);
            written = request->where;
            break;
    }
    if (!ok) {
        std::fprintf(stderr, "tallyhive-make-assessment: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", written.c_str());
    return 0;
}
