#pragma once
#include <string>
#include <string_view>

// Number reading and printing that never depend on the process locale: a desktop toolkit switches
// the C locale to the user's, and "7.9" must still read as 7.9 under pt_BR or de_DE.
namespace tallyhive {

// Reads a leading decimal number: optional white space, optional sign, digits with "." as the
// decimal point, optional exponent. Reading stops at the first other character; no number gives 0.
// There are no "nan", "inf" or hexadecimal forms. An exponent beyond range gives +-infinity.
double ReadLeadingDouble(std::string_view text);

// Reads a leading decimal integer: optional white space and sign, then digits; no digits give 0.
// Saturates at the limits of int64 instead of overflowing.
long long ReadLeadingInt64(std::string_view text);

// Fixed-point text with `decimals` digits after ".", halves rounded away from zero.
std::string FormatFixed(double value, int decimals);

}  // namespace tallyhive
