#include "common/CNumber.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace cnum {

bool readUnsigned(std::string_view text, std::uint32_t& value, std::size_t* consumed, std::size_t width)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && isSpace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    // The field width counts the sign and the digits, never the white space skipped before them.
    const std::size_t limit = width == 0 ? n : (width < n - i ? i + width : n);
    bool negative = false;
    if (i < limit && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t firstDigit = i;
    std::uint32_t v = 0;
    while (i < limit && isDigit(static_cast<unsigned char>(text[i]))) {
        v = v * 10u + static_cast<std::uint32_t>(text[i] - '0');
        ++i;
    }
    if (i == firstDigit) {
        return false;
    }
    value = negative ? 0u - v : v;
    if (consumed) {
        *consumed = i;
    }
    return true;
}

bool readInt(std::string_view text, std::int32_t& value, std::size_t* consumed)
{
    std::uint32_t u = 0;
    if (!readUnsigned(text, u, consumed)) {
        return false;
    }
    value = static_cast<std::int32_t>(u);
    return true;
}

bool readDouble(std::string_view text, double& value, std::size_t* consumed)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && isSpace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    std::size_t digits = 0;
    while (i < n && isDigit(static_cast<unsigned char>(text[i]))) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && isDigit(static_cast<unsigned char>(text[i]))) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    // An exponent counts only when at least one digit follows the 'e' and its sign.
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            ++j;
        }
        if (j < n && isDigit(static_cast<unsigned char>(text[j]))) {
            while (j < n && isDigit(static_cast<unsigned char>(text[j]))) {
                ++j;
            }
            i = j;
        }
    }
    double v = 0.0;
    const auto result = std::from_chars(text.data() + start, text.data() + i, v, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on overflow and underflow; decide which it was from the exponent
        // of the leading digit: a large magnitude overflows, a tiny one underflows.
        std::size_t k = start;
        long intDigits = 0;
        bool seenNonZero = false;
        long leadingZeros = 0;
        while (k < i && isDigit(static_cast<unsigned char>(text[k]))) {
            if (text[k] != '0' || seenNonZero) {
                seenNonZero = true;
                ++intDigits;
            }
            ++k;
        }
        if (k < i && text[k] == '.') {
            ++k;
            while (!seenNonZero && k < i && text[k] == '0') {
                ++leadingZeros;
                ++k;
            }
        }
        long exponent = 0;
        bool negativeExponent = false;
        while (k < i && text[k] != 'e' && text[k] != 'E') {
            ++k;
        }
        if (k < i) {
            ++k;
            if (text[k] == '+' || text[k] == '-') {
                negativeExponent = text[k] == '-';
                ++k;
            }
            for (; k < i; ++k) {
                if (exponent < 100000) {
                    exponent = exponent * 10 + (text[k] - '0');
                }
            }
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
        const long magnitude = seenNonZero ? intDigits + exponent : exponent - leadingZeros;
        v = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    value = negative ? -v : v;
    if (consumed) {
        *consumed = i;
    }
    return true;
}

int scanUnsigned(std::string_view text, std::string_view pattern, std::uint32_t* values, int maxValues)
{
    std::size_t t = 0;
    int count = 0;
    for (std::size_t p = 0; p < pattern.size(); ++p) {
        const auto pc = static_cast<unsigned char>(pattern[p]);
        if (isSpace(pc)) {
            while (t < text.size() && isSpace(static_cast<unsigned char>(text[t]))) {
                ++t;
            }
            continue;
        }
        if (pc == '%' && p + 1 < pattern.size() && pattern[p + 1] != '%') {
            std::size_t q = p + 1;
            std::size_t width = 0;
            while (q < pattern.size() && isDigit(static_cast<unsigned char>(pattern[q]))) {
                width = width * 10 + static_cast<std::size_t>(pattern[q] - '0');
                ++q;
            }
            if (q >= pattern.size() || pattern[q] != 'u' || count >= maxValues) {
                return count;
            }
            std::size_t used = 0;
            std::uint32_t v = 0;
            if (!readUnsigned(text.substr(t), v, &used, width)) {
                return count;
            }
            values[count++] = v;
            t += used;
            p = q;
            continue;
        }
        if (pc == '%') {
            ++p; // "%%" matches one '%'
        }
        if (t >= text.size() || static_cast<unsigned char>(text[t]) != pc) {
            return count;
        }
        ++t;
    }
    return count;
}

std::size_t formatFixed3(double value, char* out, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    char buffer[400];
    std::size_t length = 0;
    if (std::isnan(value)) {
        const char* s = std::signbit(value) ? "-nan" : "nan";
        length = std::strlen(s);
        std::memcpy(buffer, s, length);
    } else {
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
        length = result.ec == std::errc() ? static_cast<std::size_t>(result.ptr - buffer) : 0;
    }
    if (length > size - 1) {
        length = size - 1;
    }
    std::memcpy(out, buffer, length);
    out[length] = '\0';
    return length;
}

} // namespace cnum
