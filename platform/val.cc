#include "platform/val.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "platform/runtime_error.h"

namespace platform {

namespace {

int16_t Checked16(long long value) {
    if (value < std::numeric_limits<int16_t>::min() ||
        value > std::numeric_limits<int16_t>::max()) {
        throw RuntimeError(errors::kOverflow);
    }
    return static_cast<int16_t>(value);
}

double EnteroConBase(const std::string& digits, int base, size_t bits16) {
    unsigned long long value = 0;
    size_t significant = 0;
    for (char c : digits) {
        const int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : 99;
        if (d >= base)
            break;
        if (value != 0 || d != 0)
            ++significant;
        if (significant > 11)
            throw RuntimeError(errors::kOverflow);
        value = value * base + d;
    }
    if (significant <= bits16 && value <= 0xFFFF)
        return static_cast<int16_t>(value);
    if (value > 0xFFFFFFFFULL)
        throw RuntimeError(errors::kOverflow);
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

}  // namespace

double Val(const QString& text) {
    // Blanks, tabs and line feeds do not count wherever they stand.
    std::string s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        s.push_back(c.unicode() < 128 ? static_cast<char>(std::tolower(c.unicode())) : '\x7f');
    }
    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'h')
            return EnteroConBase(s.substr(2), 16, 4);
        if (s[1] == 'o')
            return EnteroConBase(s.substr(2), 8, 6);
    }
    // The longest leading part of the form [sign] digits [. digits] [e|d [sign] digits].
    size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number.push_back(s[i++]);
    size_t mantissa = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
        number.push_back(s[i++]), ++mantissa;
    if (i < s.size() && s[i] == '.') {
        number.push_back(s[i++]);
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
            number.push_back(s[i++]), ++mantissa;
    }
    if (mantissa == 0)
        return 0.0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'd')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exponent.push_back(s[j++]);
        size_t digits = 0;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
            exponent.push_back(s[j++]), ++digits;
        if (digits > 0)
            number += exponent;
    }
    // from_chars reads the same whatever the process locale (a decimal point, never a comma).
    const bool negative = number[0] == '-';
    const size_t start = (number[0] == '-' || number[0] == '+') ? 1 : 0;
    double value = 0.0;
    const auto [end, ec] =
        std::from_chars(number.data() + start, number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too small to tell from zero is zero; too large is an overflow.
        if (number.find("e-") != std::string::npos)
            return 0.0;
        throw RuntimeError(errors::kOverflow);
    }
    if (!std::isfinite(value))
        throw RuntimeError(errors::kOverflow);
    return negative ? -value : value;
}

int16_t CInt(double value) {
    if (!std::isfinite(value))
        throw RuntimeError(errors::kOverflow);
    // nearbyint rounds to nearest with halves to even in the default rounding mode.
    const double rounded = std::nearbyint(value);
    if (rounded < -32768.0 || rounded > 32767.0)
        throw RuntimeError(errors::kOverflow);
    return static_cast<int16_t>(rounded);
}

int16_t Add16(int16_t a, int16_t b) {
    return Checked16(static_cast<long long>(a) + b);
}
int16_t Subtract16(int16_t a, int16_t b) {
    return Checked16(static_cast<long long>(a) - b);
}

}  // namespace platform
