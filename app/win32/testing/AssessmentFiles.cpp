#include "app/win32/testing/AssessmentFiles.h"

#include <windows.h>

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Util.h"

namespace tallyhive::testing {

namespace {

constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000LL;  // 100 ns units since 1601

FILETIME FileTimeOfMs(std::int64_t utcMs) {
    const std::uint64_t ticks = static_cast<std::uint64_t>(utcMs * 10000 + kUnixEpochAsFileTime);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

bool Fail(std::string* why, std::string text) {
    if (why) *why = std::move(text) + " (error " + std::to_string(::GetLastError()) + ")";
    return false;
}

}  // namespace

std::int64_t NowUtcMs() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const std::uint64_t ticks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    return (static_cast<std::int64_t>(ticks) - kUnixEpochAsFileTime) / 10000;
}

bool WriteAssessmentFile(const writer::AssessmentContent& content, const std::wstring& folder,
                         std::wstring& written, std::string* why) {
    // The tool names and dates its files in local time, as the program's own conversions read them.
    const FILETIME utc = FileTimeOfMs(content.executedUtcMs);
    FILETIME local{};
    SYSTEMTIME fields{};
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &fields))
        return Fail(why, "cannot convert the execution time");
    const writer::LocalMoment moment{fields.wYear,   fields.wMonth,  fields.wDay,         fields.wHour,
                                     fields.wMinute, fields.wSecond, fields.wMilliseconds};
    std::string xml, bytes;
    if (!writer::RenderDocument(content, moment, xml, why) || !writer::EncodeUtf16Le(xml, bytes, why))
        return false;

    written = folder + L"\\" + win32::Wide(writer::FileNameFor(moment, content.kind, content.run));
    win32::FileHandle file(::CreateFileW(written.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return Fail(why, "cannot create " + win32::Narrow(written));
    DWORD done = 0;
    if (!::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) ||
        done != bytes.size())
        return Fail(why, "cannot write " + win32::Narrow(written));
    if (!::SetFileTime(file.Get(), &utc, &utc, &utc))
        return Fail(why, "cannot date " + win32::Narrow(written));
    return true;
}

}  // namespace tallyhive::testing
