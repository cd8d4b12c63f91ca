#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesmera {

// The value of a hexadecimal digit in either case; -1 for any other character.
int HexDigit(char c);

// Integer text as the settings file and the colour names accept it: a text of at least three
// characters starting with "0x"/"0X" is hexadecimal after those two; otherwise optional
// leading blanks, an optional sign, then decimal digits or hexadecimal digits after "$", "x",
// "X", "0x" or "0X", and nothing after. Outside the 32-bit signed range there is no value.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// A floating value in general format: at most 15 significant digits, trailing zeros dropped,
// no thousands separator, the given decimal separator. Magnitudes of 1E15 and more or below
// 1E-5 are written as a mantissa, "E" and the exponent ("1E15", "1,5E-6").
std::string FormatGeneral(long double value, char decimalSeparator);

// Strict text to number: optional blanks around, optional sign, digits with at most one
// decimal separator, optional exponent. Anything else has no value.
std::optional<long double> ParseFloat(std::string_view text, char decimalSeparator);

// Whole number in decimal, as the status lines of the weight server carry it: optional blanks
// around, optional sign, decimal digits; 32-bit signed range.
std::optional<std::int32_t> ParseDecimalInt32(std::string_view text);

} // namespace vesmera
