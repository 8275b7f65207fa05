#pragma once
// Formal assessment files written the way the assessment tool leaves them on Windows: the document
// in UTF-16 under the tool's file name, created and last written at its execution time. Used by
// the Windows tests and their stand-in assessment tool only.
#include <cstdint>
#include <string>

#include "tools/assessment_writer/AssessmentWriter.h"

namespace tallyhive::testing {

// Milliseconds since 1970 UTC, from the system clock.
std::int64_t NowUtcMs();

// Writes `content` into `folder` (which must exist) under the name the tool gives it for its
// execution time, never over an existing file. False with `why` on any failure.
bool WriteAssessmentFile(const writer::AssessmentContent& content, const std::wstring& folder,
                         std::wstring& written, std::string* why = nullptr);

}  // namespace tallyhive::testing
