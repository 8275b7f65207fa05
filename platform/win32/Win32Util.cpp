#include "platform/win32/Win32Util.h"

namespace tallyhive::win32 {

namespace {
// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDifference = 116444736000000000LL;
}  // namespace

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                             0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length,
                          nullptr, nullptr);
    return utf8;
}

UINT ConsoleInputCodePage() {
    const UINT console = ::GetConsoleCP();
    return console != 0 ? console : ::GetOEMCP();
}

bool EncodeExactly(std::wstring_view text, UINT codePage, std::string& bytes) {
    bytes.clear();
    if (text.empty()) return true;
    const int size = static_cast<int>(text.size());
    // Best fit would type another character in place of a missing one; some code pages refuse
    // the flag, and for them the round trip below is the only judge.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int length = ::WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        flags = 0;
        length = ::WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, nullptr);
    }
    if (length <= 0) return false;
    bytes.resize(static_cast<std::size_t>(length));
    if (::WideCharToMultiByte(codePage, flags, text.data(), size, bytes.data(), length, nullptr, nullptr) !=
        length)
        return false;
    // What the interpreter will read back must be the very text.
    const int back = ::MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    std::wstring decoded(static_cast<std::size_t>(back > 0 ? back : 0), L'\0');
    if (back <= 0 || ::MultiByteToWideChar(codePage, 0, bytes.data(), length, decoded.data(), back) != back ||
        decoded != text) {
        bytes.clear();
        return false;
    }
    return true;
}

std::int64_t UnixSeconds(const FILETIME& time) {
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    const std::int64_t since = ticks - kEpochDifference;
    // Whole seconds toward minus infinity, so times before 1970 do not round up.
    return since >= 0 ? since / 10000000 : -((-since + 9999999) / 10000000);
}

FILETIME FileTimeOf(std::int64_t unixSeconds) {
    const auto ticks = static_cast<std::uint64_t>(unixSeconds * 10000000 + kEpochDifference);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

}  // namespace tallyhive::win32
