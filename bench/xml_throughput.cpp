// Reading speed of the assessment XML reader on the real formal assessment (182 KB of UTF-16):
// decoding, parsing and walking into the record, repeated for about a second; prints MB/s of file
// bytes. "from file" adds opening and reading the file through the platform's file service.
//
// usage: xml_throughput [FILE]
#include <chrono>
#include <cstdio>
#include <string>

#include "assessment/AssessmentResult.h"
#include "assessment/XmlReader.h"
#include "platform/Platform.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Load>
double MegabytesPerSecond(std::size_t bytes, Load load) {
    for (int i = 0; i < 20; ++i) load();  // warm caches and the allocator
    long iterations = 0;
    const auto start = Clock::now();
    auto elapsed = Clock::duration::zero();
    while (elapsed < std::chrono::seconds(1)) {
        for (int i = 0; i < 20; ++i) load();
        iterations += 20;
        elapsed = Clock::now() - start;
    }
    const double seconds = std::chrono::duration<double>(elapsed).count();
    return static_cast<double>(bytes) * static_cast<double>(iterations) / seconds / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tallyhive;
    const std::string path = argc > 1 ? argv[1]
                                      : std::string(TALLYHIVE_SAMPLES_DIR) +
                                            "/win11-ptBR-acer-aspire-a515-45.Formal.Assessment.WinSAT.xml";
    const std::unique_ptr<FileService> files = MakeFileService();
    const std::unique_ptr<TimeService> time = MakeTimeService();
    const std::unique_ptr<XmlParser> xml = MakeXmlParser();
    std::string bytes;
    std::string why;
    if (!files->ReadRegularFile(path, kMaxXmlFileBytes, bytes, &why)) {
        std::fprintf(stderr, "xml_throughput: %s\n", why.c_str());
        return 2;
    }
    bool ok = true;
    CAssessmentResult record(*time);
    const double inMemory = MegabytesPerSecond(bytes.size(), [&] {
        record.Clear();
        CXmlForwardingReader reader(*files, *xml, record);
        ok = reader.LoadBytes(bytes) && ok;
    });
    const double fromFile = MegabytesPerSecond(bytes.size(), [&] {
        record.Clear();
        CXmlForwardingReader reader(*files, *xml, record);
        ok = reader.Load(path) && ok;
    });
    if (!ok || record.cpuScore.empty()) {
        std::fprintf(stderr, "xml_throughput: the file was not read\n");
        return 1;
    }
    std::printf("xml reading, in memory: %.0f MB/s (target >= 200)\n", inMemory);
    std::printf("xml reading, from file: %.0f MB/s\n", fromFile);
    return 0;
}
