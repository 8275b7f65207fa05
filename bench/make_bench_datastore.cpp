// Fills a folder with a datastore as a machine assessed for years would have it: mostly component
// files of 20-200 KB, a few hundred formal assessments of the real file's size, times spread over
// three years and files written in an order unrelated to their times. The newest formal assessment
// is a consistent Windows 7 one, so the report has something to show.
//
// usage: make_bench_datastore FOLDER [FILES] [FORMAL]     (default 10000 files, 300 formal)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tools/assessment_writer/AssessmentWriter.h"

int main(int argc, char** argv) {
    using namespace tallyhive::writer;
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: make_bench_datastore FOLDER [FILES] [FORMAL]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const long files = argc > 2 ? std::atol(argv[2]) : 10'000;
    const long formal = argc > 3 ? std::atol(argv[3]) : 300;
    if (files <= 0 || formal <= 0 || formal > files) {
        std::fprintf(stderr, "make_bench_datastore: need 0 < FORMAL <= FILES\n");
        return 2;
    }

    std::mt19937_64 random(20260628);  // the same datastore on every run
    const std::int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
    const std::int64_t spanMs = 3LL * 365 * 24 * 3600 * 1000;
    static const char* const kComponents[] = {"Cpu.Assessment", "Mem.Assessment", "Disk.Assessment",
                                              "DWM.Assessment", "Graphics3D.Assessment"};

    // Every file gets its own millisecond, so no two names collide.
    std::vector<std::int64_t> times;
    times.reserve(static_cast<std::size_t>(files));
    for (long i = 0; i < files; ++i) times.push_back(nowMs - 60'000 - spanMs + i * (spanMs / files));
    std::shuffle(times.begin(), times.end(), random);

    // The latest time goes to a formal file; the other formal files are spread among the rest.
    std::size_t latest = 0;
    for (std::size_t i = 1; i < times.size(); ++i)
        if (times[i] > times[latest]) latest = i;

    std::uniform_int_distribution<std::size_t> size(20'000, 200'000);
    long formalLeft = formal - 1;
    for (std::size_t i = 0; i < times.size(); ++i) {
        AssessmentContent content;
        content.executedUtcMs = times[i];
        const bool isFormal = i == latest || (formalLeft > 0 && random() % static_cast<std::uint64_t>(files) <
                                                                    static_cast<std::uint64_t>(formal));
        if (isFormal) {
            if (i != latest) --formalLeft;
            content.paddedBytes = 181'952;
        } else {
            content.kind = kComponents[i % 5];
            content.paddedBytes = size(random);
        }
        std::string written;
        std::string why;
        if (!WriteIntoFolder(content, folder, written, &why)) {
            std::fprintf(stderr, "make_bench_datastore: %s\n", why.c_str());
            return 1;
        }
    }
    std::printf("%ld files, %ld formal, in %s\n", files, formal - formalLeft, folder.c_str());
    return 0;
}
