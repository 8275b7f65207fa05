#include "platform/win32/Win32Util.h"

#include <shlwapi.h>

#include <algorithm>
#include <vector>

namespace tallyhive::win32 {

namespace {
// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDifference = 116444736000000000LL;

// URL_ESCAPE_AS_UTF8 (Windows 7 on) and URL_UNESCAPE_AS_UTF8 (Windows 8 on) share one value; the
// headers offer them only to builds for those versions.
constexpr DWORD kEscapeAsUtf8 = 0x00040000;

// One piece of a path between separators, with every character that is unsafe in an address
// encoded; the separators stay as they are.
std::wstring EscapeSegment(const std::wstring& segment) {
    if (segment.empty()) return segment;
    // Each character grows at most to nine (four UTF-8 bytes, three characters each).
    std::vector<wchar_t> escaped(segment.size() * 9 + 1);
    DWORD length = static_cast<DWORD>(escaped.size());
    if (FAILED(::UrlEscapeW(segment.c_str(), escaped.data(), &length,
                            URL_ESCAPE_SEGMENT_ONLY | URL_ESCAPE_PERCENT | kEscapeAsUtf8)))
        return segment;
    return std::wstring(escaped.data(), length);
}

bool SameFileName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}
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

std::string ResourcePageAddress(std::string_view modulePath, int number) {
    const std::wstring path = Wide(modulePath);
    std::wstring address = L"res://";
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find_first_of(L"\\/", start), path.size());
        address += EscapeSegment(path.substr(start, end - start));
        if (end < path.size()) address += path[end];
        start = end + 1;
    }
    return Narrow(address) + "/" + std::to_string(number);
}

bool IsResourcePageAddress(std::string_view url, std::string_view modulePath, int number) {
    const std::wstring address = Wide(url);
    const std::wstring scheme = L"res://";
    const std::wstring page = L"/" + std::to_wstring(number);
    if (address.size() <= scheme.size() + page.size() ||
        !SameFileName(address.substr(0, scheme.size()), scheme) ||
        address.compare(address.size() - page.size(), page.size(), page) != 0)
        return false;
    std::wstring module = address.substr(scheme.size(), address.size() - scheme.size() - page.size());
    // Decoded, each escape is one character; Windows 8 and later can read them as UTF-8 in one step,
    // Windows 7 cannot, so the UTF-8 reading is done here from the characters it gave.
    DWORD length = static_cast<DWORD>(module.size()) + 1;
    std::wstring decoded(length, L'\0');
    if (FAILED(::UrlUnescapeW(module.data(), decoded.data(), &length, 0))) return false;
    decoded.resize(length);
    const std::wstring program = Wide(modulePath);
    if (SameFileName(decoded, program)) return true;
    std::string bytes;
    for (wchar_t c : decoded) {
        if (c > 0xFF) return false;
        bytes.push_back(static_cast<char>(c));
    }
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                           static_cast<int>(bytes.size()), nullptr, 0);
    if (size <= 0) return false;
    std::wstring asUtf8(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                          asUtf8.data(), size);
    return SameFileName(asUtf8, program);
}

}  // namespace tallyhive::win32
