#include "common/number_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "common/blanks.h"

namespace vesmera {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

namespace {

std::optional<std::int32_t> Accumulate(std::string_view digits, int base, bool negative) {
    if (digits.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0 || d >= base)
            return std::nullopt;
        value = value * base + d;
        if (value > 2147483648LL)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL || value < -2147483648LL)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return Accumulate(text.substr(2), 16, false);
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::string_view rest = text.substr(i);
    if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X'))
        return Accumulate(rest.substr(1), 16, negative);
    if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X'))
        return Accumulate(rest.substr(2), 16, negative);
    return Accumulate(rest, 10, negative);
}

std::optional<std::int32_t> ParseDecimalInt32(std::string_view text) {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    return Accumulate(text, 10, negative);
}

std::string FormatGeneral(long double value, char decimalSeparator) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0)
        return "0";
    // Round to 15 significant digits first; the rounded exponent decides the notation.
    std::array<char, 64> buf{};
    auto r = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(value),
                           std::chars_format::scientific, 14);
    std::string sci(buf.data(), r.ptr);
    const auto ePos = sci.find('e');
    std::string digits;
    for (std::size_t k = 0; k < ePos; ++k)
        if (sci[k] != '.')
            digits.push_back(sci[k]);
    int exponent = std::atoi(sci.c_str() + ePos + 1);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = value < 0 ? "-" : "";
    if (exponent >= 15 || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) {
            out += decimalSeparator;
            out.append(digits, 1, std::string::npos);
        }
        out += 'E';
        out += std::to_string(exponent);
        return out;
    }
    if (exponent < 0) {
        out += '0';
        out += decimalSeparator;
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return out;
    }
    const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
        out += digits;
        out.append(intDigits - digits.size(), '0');
    } else {
        out.append(digits, 0, intDigits);
        out += decimalSeparator;
        out.append(digits, intDigits, std::string::npos);
    }
    return out;
}

std::optional<long double> ParseFloat(std::string_view text, char decimalSeparator) {
    text = TrimBlanks(text);
    std::string normal;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            normal += '-';
        ++i;
    }
    bool separatorSeen = false;
    int mantissaDigits = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            normal += c;
            ++mantissaDigits;
        } else if (c == decimalSeparator && !separatorSeen) {
            separatorSeen = true;
            normal += '.';
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        normal += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            normal += text[i++];
        int expDigits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++expDigits)
            normal += text[i];
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    long double value = 0;
    auto r = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (r.ec == std::errc::result_out_of_range)
        return std::nullopt;
    if (r.ec != std::errc() || r.ptr != normal.data() + normal.size())
        return std::nullopt;
    return value;
}

} // namespace vesmera
