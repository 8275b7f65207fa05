#include "assessment/Numbers.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <system_error>

namespace tallyhive {
namespace {

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t SkipSpace(std::string_view text, std::size_t i) {
    while (i < text.size() && IsAsciiSpace(text[i])) ++i;
    return i;
}

std::size_t SkipDigits(std::string_view text, std::size_t i) {
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i;
}

// The decimal exponent of the leading significant digit, saturated far outside double's range.
// Only needed to tell overflow from underflow when from_chars refuses a value as out of range.
long long MagnitudeOf(std::string_view integerDigits, std::string_view fractionDigits,
                      std::string_view exponentText) {
    constexpr long long kFar = 1'000'000;  // beyond any double exponent, small enough not to overflow
    long long exponent = 0;
    bool negative = false;
    std::size_t i = 0;
    if (i < exponentText.size() && (exponentText[i] == '+' || exponentText[i] == '-')) {
        negative = exponentText[i] == '-';
        ++i;
    }
    for (; i < exponentText.size(); ++i) {
        exponent = exponent * 10 + (exponentText[i] - '0');
        if (exponent > kFar) {
            exponent = kFar;
            break;
        }
    }
    if (negative) exponent = -exponent;

    std::size_t lead = 0;
    while (lead < integerDigits.size() && integerDigits[lead] == '0') ++lead;
    if (lead < integerDigits.size()) return exponent + static_cast<long long>(integerDigits.size() - lead);
    std::size_t zeros = 0;
    while (zeros < fractionDigits.size() && fractionDigits[zeros] == '0') ++zeros;
    if (zeros == fractionDigits.size()) return std::numeric_limits<long long>::min();  // the value is 0
    return exponent - static_cast<long long>(zeros);
}

}  // namespace

double ReadLeadingDouble(std::string_view text) {
    std::size_t i = SkipSpace(text, 0);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    const std::size_t integerEnd = SkipDigits(text, i);
    std::size_t end = integerEnd;
    std::size_t fractionBegin = integerEnd;
    std::size_t fractionEnd = integerEnd;
    if (end < text.size() && text[end] == '.') {
        fractionBegin = end + 1;
        fractionEnd = SkipDigits(text, fractionBegin);
        end = fractionEnd;
    }
    if (integerEnd == start && fractionEnd == fractionBegin) return 0.0;  // no digit at all: "", ".", "-e5"

    // An exponent counts only when digits follow it: "1e" and "1e+" read as 1.
    std::size_t exponentBegin = end;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t j = end + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        const std::size_t digitsEnd = SkipDigits(text, j);
        if (digitsEnd > j) {
            exponentBegin = end + 1;
            end = digitsEnd;
        }
    }

    // from_chars never consults the C locale; it is given only the span matched above, so it cannot
    // wander into forms ("inf", "nan", hexadecimal) the grammar does not have.
    const char* first = text.data() + start;
    const char* last = text.data() + end;
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        const std::string_view exponentText =
            exponentBegin < end ? text.substr(exponentBegin, end - exponentBegin) : std::string_view{};
        const long long magnitude =
            MagnitudeOf(text.substr(start, integerEnd - start),
                        text.substr(fractionBegin, fractionEnd - fractionBegin), exponentText);
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc{}) {
        value = 0.0;
    }
    return negative ? -value : value;
}

long long ReadLeadingInt64(std::string_view text) {
    std::size_t i = SkipSpace(text, 0);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate toward the sign so that the minimum, whose magnitude has no positive twin, fits.
    constexpr long long kMax = std::numeric_limits<long long>::max();
    constexpr long long kMin = std::numeric_limits<long long>::min();
    long long value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        const int digit = text[i] - '0';
        if (negative) {
            if (value < (kMin + digit) / 10) return kMin;
            value = value * 10 - digit;
        } else {
            if (value > (kMax - digit) / 10) return kMax;
            value = value * 10 + digit;
        }
    }
    return value;
}

std::string FormatFixed(double value, int decimals) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";

    // A double's exact decimal expansion has at most 1074 fractional digits. Rounding that exact text
    // ourselves gives halves away from zero; to_chars alone would round halves to even (1.25 -> 1.2).
    constexpr int kExactDigits = 1074;
    if (decimals < 0) decimals = 0;
    if (decimals > kExactDigits) decimals = kExactDigits;
    std::array<char, 1 + 309 + 1 + kExactDigits + 16> buffer{};
    const auto [last, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                          std::chars_format::fixed, kExactDigits);
    if (ec != std::errc{}) return {};
    std::string exact(buffer.data(), last);

    const bool negative = !exact.empty() && exact.front() == '-';
    if (negative) exact.erase(0, 1);
    const std::size_t point = exact.find('.');
    const std::size_t keep = point + (decimals > 0 ? 1 + static_cast<std::size_t>(decimals) : 0);
    const bool roundUp = exact.size() > point + static_cast<std::size_t>(decimals) + 1 &&
                         exact[point + static_cast<std::size_t>(decimals) + 1] >= '5';
    std::string digits = exact.substr(0, keep);
    if (roundUp) {
        std::size_t k = digits.size();
        bool carry = true;
        while (carry && k > 0) {
            --k;
            if (digits[k] == '.') continue;
            if (digits[k] == '9') {
                digits[k] = '0';
            } else {
                ++digits[k];
                carry = false;
            }
        }
        if (carry) digits.insert(0, 1, '1');
    }
    return negative ? "-" + digits : digits;
}

}  // namespace tallyhive
