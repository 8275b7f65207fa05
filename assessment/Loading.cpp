#include "assessment/Loading.h"

#include <algorithm>
#include <cstdint>

#include "assessment/AssessmentResult.h"
#include "assessment/SystemFacts.h"
#include "assessment/XmlReader.h"
#include "base/Text.h"

namespace tallyhive {

namespace {

struct Candidate {
    std::string path;
    std::int64_t time = 0;
};

std::string FullPath(const std::string& root, char separator, const std::string& name) {
    if (!root.empty() && (root.back() == '/' || root.back() == '\\')) return root + name;
    return root + separator + name;
}

// The part of the name from its last "." on, in lower case; empty when the name has no ".".
// Only ASCII letters change case: no other character lower-cases to one of ".xml".
std::string LowerExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    return LowerAsciiCopy(std::string_view(name).substr(dot));
}

// The name part of the rule: the whole path holds "Formal" and the extension is ".xml".
bool QualifyingName(const std::string& root, char separator, const std::string& name) {
    if (name == "." || name == "..") return false;
    if (FullPath(root, separator, name).find("Formal") == std::string::npos) return false;
    return LowerExtension(name) == ".xml";
}

// The qualifying entries, in enumeration order, each with its comparable creation time.
std::vector<Candidate> FormalCandidates(const std::string& root, char separator,
                                        std::span<const DirEntry> entries, const TimeService& time) {
    std::vector<Candidate> candidates;
    for (const DirEntry& entry : entries) {
        // Only regular files: a directory, FIFO or device named like an assessment is never opened.
        if (entry.type != DirEntry::Type::RegularFile) continue;
        // The whole path is searched, so a folder named "Formal" above the datastore qualifies all.
        if (!QualifyingName(root, separator, entry.name)) continue;
        candidates.push_back(
            Candidate{FullPath(root, separator, entry.name), ComparableSeconds(entry.creationTimeUtc, time)});
    }
    return candidates;
}

}  // namespace

bool ListFormalCandidates(FileService& files, const std::string& folder, std::vector<DirEntry>& entries,
                          std::string* why) {
    const char separator = files.PathSeparator();
    return files.ListDirectory(folder, entries, why, [&](const std::string& name) {
        return QualifyingName(folder, separator, name);
    });
}

std::string SelectNewestFormal(const std::string& root, char separator, std::span<const DirEntry> entries,
                               const TimeService& time) {
    Candidate best;
    for (Candidate& candidate : FormalCandidates(root, separator, entries, time)) {
        // Zero means "nothing taken yet" (or a time that could not be converted), so any entry
        // replaces it; otherwise only a strictly later one does, and the first of a tie stays.
        if (best.time == 0 || best.time < candidate.time) best = std::move(candidate);
    }
    return best.path;
}

std::vector<std::string> ListFormalFiles(const std::string& root, char separator,
                                         std::span<const DirEntry> entries, const TimeService& time) {
    std::vector<Candidate> candidates = FormalCandidates(root, separator, entries, time);
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.time > b.time; });
    std::vector<std::string> paths;
    paths.reserve(candidates.size());
    for (Candidate& candidate : candidates) paths.push_back(std::move(candidate.path));
    return paths;
}

bool LoadResultFile(const std::string& path, CAssessmentResult& record, const AssessmentServices& services,
                    std::string* why) {
    record.Clear();
    if (path.empty()) {
        if (why) *why = "no assessment file was given";
        return false;
    }
    {
        CXmlForwardingReader reader(services.files, services.xml, record);
        std::string readWhy;
        if (!reader.Load(path, &readWhy)) {
            // A failed read leaves nothing half-filled.
            record.Clear();
            if (why) {
                // Name the file once, whether or not the reader's reason already does.
                if (readWhy.find(path) != std::string::npos) {
                    *why = readWhy;
                } else {
                    *why = "cannot read " + path + (readWhy.empty() ? std::string() : ": " + readWhy);
                }
            }
            return false;
        }
    }
    ProbeDirectXVersion(record, services.modules);
    std::string checkWhy;
    if (!IsConsistentWithFile(record, path, services.files, services.time, &checkWhy)) {
        record.Clear();
        if (why) *why = path + " was refused: " + checkWhy;
        return false;
    }
    return true;
}

bool LoadLatestResult(CAssessmentResult& record, const AssessmentServices& services, std::string* why,
                      std::string* chosenPath) {
    const std::string folder = services.files.DatastoreFolder();
    std::vector<DirEntry> entries;
    std::string listWhy;
    // A folder that cannot be listed has no candidates; the load below then fails like an empty one.
    const bool listed = ListFormalCandidates(services.files, folder, entries, &listWhy);
    if (!listed) entries.clear();
    const std::string path =
        SelectNewestFormal(folder, services.files.PathSeparator(), entries, services.time);
    if (chosenPath) *chosenPath = path;
    const bool loaded = LoadResultFile(path, record, services, why);
    if (!loaded && path.empty() && why) {
        *why = "no formal assessment in " + (folder.empty() ? std::string("(unknown folder)") : folder);
        if (!listed && !listWhy.empty()) *why += " (" + listWhy + ")";
    }
    return loaded;
}

}  // namespace tallyhive
