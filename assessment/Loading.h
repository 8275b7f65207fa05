#pragma once
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "assessment/Services.h"

namespace tallyhive {

class CAssessmentResult;

// Lists `folder` keeping only the entries whose names the selection below could take (the rest of
// the rule needs the entries' types and times, which the listing then reads for these alone).
bool ListFormalCandidates(FileService& files, const std::string& folder, std::vector<DirEntry>& entries,
                          std::string* why = nullptr);

// Picks the newest formal assessment among the entries of the datastore folder `root`: regular
// files whose full path contains "Formal" and whose extension is ".xml" in any letter case; the
// latest creation time in whole seconds wins, the first met on a tie. Empty when none qualifies.
std::string SelectNewestFormal(const std::string& root, char separator, std::span<const DirEntry> entries,
                               const TimeService& time);

// Every qualifying formal file, newest first (ties keep enumeration order).
std::vector<std::string> ListFormalFiles(const std::string& root, char separator,
                                         std::span<const DirEntry> entries, const TimeService& time);

// Clears `record`, reads `path` into it, probes DirectX and checks it against the file. On failure
// the record is left empty and `why` says what went wrong. What to show is the caller's: the shell
// navigates to the result page on success.
bool LoadResultFile(const std::string& path, CAssessmentResult& record, const AssessmentServices& services,
                    std::string* why = nullptr);

// Finds the newest formal assessment in the datastore and loads it as LoadResultFile does.
// `chosenPath` (optional) receives the file that was tried.
bool LoadLatestResult(CAssessmentResult& record, const AssessmentServices& services,
                      std::string* why = nullptr, std::string* chosenPath = nullptr);

}  // namespace tallyhive
