#include <filesystem>
#include <string>

#include "tools/assessment_writer/AssessmentWriter.h"
#include "tools/winsat-standin/StandIn.h"

namespace tallyhive::standin {

namespace {

writer::AssessmentContent ContentFor(const Scores& scores, const MachineFacts& facts,
                                     std::int64_t executedUtc) {
    writer::AssessmentContent c;
    c.executedUtcMs = executedUtc * 1000;
    c.run = writer::Run::Recent;
    c.productName = kProductName;
    c.systemScore = FormatScore(scores.system);
    c.cpuScore = FormatScore(scores.cpu);
    c.memoryScore = FormatScore(scores.memory);
    c.graphicsScore = FormatScore(scores.graphics);
    c.gamingScore = FormatScore(scores.gaming);
    c.diskScore = FormatScore(scores.disk);
    // What the system does not tell stays empty rather than borrowing the writer's sample hardware.
    c.processorNames = {facts.processorName};
    c.adapters = {{"Graphics not measured on this machine", "0"}};
    c.totalPhysicalBytes = std::to_string(facts.totalPhysicalBytes);
    c.modules.clear();
    c.diskVendor = facts.diskVendor;
    c.diskModel = facts.diskModel;
    c.machineManufacturer = facts.manufacturer;
    c.machineProductName = facts.productName;
    c.machineVersion = facts.version;
    c.boardManufacturer = facts.boardManufacturer;
    c.boardProduct = facts.boardProduct;
    return c;
}

}  // namespace

bool WriteFormalAssessment(const std::string& datastore, const Scores& scores, const MachineFacts& facts,
                           std::int64_t executedUtc, std::string& written, std::string& error) {
    writer::AssessmentContent content = ContentFor(scores, facts, executedUtc);
    // File names carry the time to the millisecond; two runs within one second get names a
    // millisecond apart instead of one replacing the other.
    for (int attempt = 0; attempt < 1000; ++attempt, ++content.executedUtcMs) {
        writer::LocalMoment moment;
        if (!writer::ToLocalMoment(content.executedUtcMs, moment)) {
            error = "the execution time cannot be converted to local time";
            return false;
        }
        const std::string path =
            (std::filesystem::path(datastore) / writer::FileNameFor(moment, content.kind, content.run))
                .string();
        std::error_code ec;
        if (std::filesystem::exists(path, ec) || ec) continue;
        if (!writer::WriteToPath(content, path, &error)) return false;
        written = path;
        return true;
    }
    error = "every name for this moment is taken in " + datastore;
    return false;
}

}  // namespace tallyhive::standin
