#include "convert/DateTime.h"

#include "common/CNumber.h"
#include "common/Cp932.h"

std::uint32_t ReadMonth(std::string_view text)
{
    for (std::uint32_t i = 1; i <= 12; ++i) {
        if (cp932::equalsNoCase(text, MonthTable.first[i]) || cp932::equalsNoCase(text, MonthTable.second[i])) {
            return i;
        }
    }
    std::uint32_t n = 0;
    if (!text.empty() && cnum::isDigit(static_cast<unsigned char>(text[0])) && cnum::readUnsigned(text, n)) {
        return n;
    }
    return 0;
}

std::string_view SplitToken(std::string_view text, std::string_view& rest)
{
    bool quoted = false;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (cp932::isLeadByte(c)) {
            i += 2;
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ' ' && !quoted) {
            break;
        }
        ++i;
    }
    std::string_view token;
    if (i < n) {
        token = text.substr(0, i);
        rest = text.substr(i + 1);
    } else {
        token = text;
        rest = std::string_view();
    }
    // Drop the quotes of a token that is one quoted run: it begins with a quote, and its last byte is the
    // quote that closes it (the quote state is "outside" again at the end of the token).
    if (token.size() >= 2 && token.front() == '"' && token.back() == '"' && !quoted) {
        token = token.substr(1, token.size() - 2);
    }
    return token;
}

std::string_view SkipApostrophe(std::string_view text)
{
    if (!text.empty() && text[0] == '\'') {
        return text.substr(1);
    }
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0x81
        && static_cast<unsigned char>(text[1]) == 0x65) {
        return text.substr(2);
    }
    return text;
}

unsigned MonthLength(unsigned month, unsigned year)
{
    static constexpr unsigned char kCommon[13] = {31, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month > 12) {
        return 31;
    }
    if (month == 2 && year % 4 == 0) {
        return 29;
    }
    return kCommon[month];
}

void ShiftToJst(CardRecord& record)
{
    record.Hour = static_cast<std::uint8_t>(record.Hour + 9);
    if (record.Hour < 24) {
        return;
    }
    record.Hour = static_cast<std::uint8_t>(record.Hour - 24);
    record.Day = static_cast<std::uint8_t>(record.Day + 1);
    if (record.Day > MonthLength(record.Month, record.Year)) {
        record.Day = 1;
        record.Month = static_cast<std::uint8_t>(record.Month + 1);
        if (record.Month > 12) {
            record.Month = 1;
            record.Year = static_cast<std::uint8_t>(record.Year + 1);
            if (record.Year == 100) {
                record.Year = 0;
            }
        }
    }
}
