#include <vector>

#include "assessment/Loading.h"
#include "assessment/SystemFacts.h"
#include "remeasure/Remeasure.h"

namespace tallyhive {

std::optional<FormalStamp> NewestFormalStamp(FileService& files, const TimeService& time) {
    const std::string root = files.DatastoreFolder();
    std::vector<DirEntry> entries;
    if (root.empty() || !ListFormalCandidates(files, root, entries)) return std::nullopt;
    const char separator = files.PathSeparator();
    // The same choice LoadLatestResult makes, so the file compared is the file that would be shown.
    std::string newest = SelectNewestFormal(root, separator, entries, time);
    if (newest.empty()) return std::nullopt;
    const bool rootEnds = root.back() == '\\' || root.back() == '/';
    for (const DirEntry& entry : entries) {
        const std::string full = rootEnds ? root + entry.name : root + separator + entry.name;
        if (full == newest)
            return FormalStamp{std::move(newest), ComparableSeconds(entry.creationTimeUtc, time)};
    }
    return std::nullopt;
}

}  // namespace tallyhive
