#include "convert/ConvertRecord.h"

#include "common/CNumber.h"
#include "common/Cp932.h"
#include "convert/BandTable.h"
#include "convert/ConvExpression.h"
#include "convert/DateTime.h"
#include "convert/FieldTemplate.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace {

using Kw = ConvExprKind;

std::string_view untilNul(std::string_view s)
{
    // Field texts are short: a plain loop beats a library call for them.
    if (s.size() < 32) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\0') {
                return s.substr(0, i);
            }
        }
        return s;
    }
    const void* nul = std::memchr(s.data(), '\0', s.size());
    return nul ? s.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - s.data())) : s;
}

template <std::size_t N> void setText(char (&member)[N], std::string_view text)
{
    if (text.size() < N) {
        // The whole text fits: no cut to look for. An empty view may carry a null pointer, which memcpy must
        // never see.
        if (!text.empty()) {
            std::memcpy(member, text.data(), text.size());
        }
        member[text.size()] = '\0';
        return;
    }
    cp932::copyTo(member, N, text);
}

// Appends @p text to the zero-terminated @p member of @p length bytes, cut to the member's capacity.
template <std::size_t N> std::size_t appendText(char (&member)[N], std::size_t length, std::string_view text)
{
    const std::size_t n = cp932::cutLength(text, N - 1 - length);
    if (n > 0) {
        std::memcpy(member + length, text.data(), n);
    }
    length += n;
    member[length] = '\0';
    return length;
}

// Byte offset of the last character of @p text (a double-byte character counts from its lead byte).
std::size_t lastCharStart(std::string_view text)
{
    std::size_t i = 0;
    std::size_t last = 0;
    while (i < text.size()) {
        last = i;
        i += cp932::isLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
    }
    return last;
}

std::string_view skipBlanks(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) {
        ++i;
    }
    return s.substr(i);
}

std::uint8_t low8(std::uint32_t v)
{
    return static_cast<std::uint8_t>(v & 0xFFu);
}

std::uint8_t year8(std::uint32_t v)
{
    return static_cast<std::uint8_t>(v % 100u);
}

// A working copy of a field text with every @p from byte replaced by '.'; the text is at most 1023 bytes.
// Separators and digits are single bytes, so a trail byte (0x40 and above) is never replaced.
struct WorkingCopy
{
    char bytes[kFieldTextCapacity + 1];
    std::size_t size;

    WorkingCopy(std::string_view text, char from)
        : size(text.size())
    {
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = text[i] == from ? '.' : text[i];
        }
        bytes[size] = '\0';
    }
    std::string_view view() const { return std::string_view(bytes, size); }
};

void setDate(CardRecord& r, std::uint32_t y, std::uint32_t m, std::uint32_t d)
{
    r.Year = year8(y);
    r.Month = low8(m);
    r.Day = low8(d);
}

void setHhmm(CardRecord& r, std::uint32_t t)
{
    r.Hour = low8(t / 100u);
    r.Minute = low8(t % 100u);
}

void convertDotted(CardRecord& r, std::string_view text, char separator, bool dayFirst)
{
    std::uint32_t v[3];
    const WorkingCopy copy(text, separator);
    if (cnum::scanUnsigned(copy.view(), "%u.%u.%u", v, 3) == 3) {
        if (dayFirst) {
            setDate(r, v[2], v[1], v[0]);
        } else {
            setDate(r, v[0], v[1], v[2]);
        }
    }
}

void convertDateTime(CardRecord& r, std::string_view text, bool colon)
{
    std::uint32_t v[5];
    const WorkingCopy copy(SkipApostrophe(text), '-');
    if (colon) {
        if (cnum::scanUnsigned(copy.view(), "%u.%u.%u %u:%u", v, 5) == 5) {
            setDate(r, v[0], v[1], v[2]);
            r.Hour = low8(v[3]);
            r.Minute = low8(v[4]);
        }
    } else if (cnum::scanUnsigned(copy.view(), "%u.%u.%u %u", v, 4) == 4) {
        setDate(r, v[0], v[1], v[2]);
        setHhmm(r, v[3]);
    }
}

void convertCall(CardRecord& r, std::string_view text)
{
    if (text.empty()) {
        return;
    }
    // A call sign already at its capacity keeps its length: nothing of "/" + text fits after it.
    std::size_t length = std::strlen(r.Call);
    if (length > 0 && length < sizeof r.Call - 1) {
        r.Call[length++] = '/';
        r.Call[length] = '\0';
    }
    appendText(r.Call, length, text);
    cp932::toUpperAsciiInPlace(r.Call);
}

void convertFreq(CardRecord& r, std::string_view text)
{
    char work[32];
    const std::size_t n = cp932::copyTo(work, sizeof work, text);
    cp932::toUpperAsciiInPlace(work);
    std::size_t end = n;
    for (std::size_t i = 0; i + 3 <= n;) {
        if (work[i] == 'M' && work[i + 1] == 'H' && work[i + 2] == 'Z') {
            end = i;
            while (end > 0 && (work[end - 1] == ' ' || work[end - 1] == '\t')) {
                --end;
            }
            break;
        }
        i += cp932::isLeadByte(static_cast<unsigned char>(work[i])) ? 2 : 1;
    }
    setText(r.Freq, std::string_view(work, end));
}

void convertKhz(CardRecord& r, std::string_view text)
{
    double khz = 0.0;
    if (cnum::readDouble(text.substr(0, cp932::cutLength(text, 31)), khz)) {
        cnum::formatFixed3(khz * 0.001, r.Freq, sizeof r.Freq);
    }
}

void convertAddQsl(CardRecord& r, std::string_view text)
{
    std::size_t length = std::strlen(r.Qsl);
    if (length > 0 && length < sizeof r.Qsl - 1) {
        r.Qsl[length++] = ' ';
        r.Qsl[length] = '\0';
    }
    appendText(r.Qsl, length, text);
}

void convertBracket(CardRecord& r, std::string_view expr, std::string_view text)
{
    if (text.empty()) {
        return;
    }
    const char* open = static_cast<const char*>(std::memchr(kQslOpenBrackets, expr[3], sizeof kQslOpenBrackets));
    const char close = kQslCloseBrackets[open - kQslOpenBrackets];
    std::size_t i = 4;
    while (i < expr.size() && expr[i] != close) {
        i += cp932::isLeadByte(static_cast<unsigned char>(expr[i])) ? 2 : 1;
    }
    const std::string_view label = expr.substr(4, (i < expr.size() ? i : expr.size()) - 4);
    std::size_t length = std::strlen(r.Qsl);
    if (length + label.size() + text.size() + 2 >= sizeof r.Qsl - 1) {
        return;
    }
    if (length > 0) {
        r.Qsl[length++] = ' ';
    }
    std::memcpy(r.Qsl + length, label.data(), label.size());
    length += label.size();
    r.Qsl[length++] = *open;
    std::memcpy(r.Qsl + length, text.data(), text.size());
    length += text.size();
    r.Qsl[length++] = close;
    r.Qsl[length] = '\0';
}

// Reads one number and stores it through @p store; writes nothing without a number.
template <typename Store> void withNumber(std::string_view text, Store store)
{
    std::uint32_t v = 0;
    if (cnum::readUnsigned(text, v)) {
        store(v);
    }
}

int convertHhmmJ(int flag, CardRecord& r, std::string_view text)
{
    if (!text.empty()) {
        const std::size_t last = lastCharStart(text);
        if (last == text.size() - 1) {
            const char zone = text[last];
            if (zone == 'J' || zone == 'I') {
                flag = 0;
                text.remove_suffix(1);
            } else if (zone == 'U' || zone == 'Z') {
                flag = 1;
                text.remove_suffix(1);
            }
        }
    }
    withNumber(text, [&](std::uint32_t t) { setHhmm(r, t); });
    return flag;
}

void convertDdMonYy(CardRecord& r, std::string_view text)
{
    std::string_view rest;
    const std::string_view dayToken = SplitToken(text, rest);
    const std::string_view monthToken = SplitToken(rest, rest);
    const std::string_view yearToken = SplitToken(rest, rest);
    std::uint32_t d = 0;
    std::uint32_t y = 0;
    if (cnum::readUnsigned(dayToken, d) && cnum::readUnsigned(SkipApostrophe(yearToken), y)) {
        r.Year = year8(y);
        r.Day = low8(d);
        r.Month = low8(ReadMonth(skipBlanks(monthToken)));
    }
}

void convertYyDdMon(CardRecord& r, std::string_view text)
{
    std::string_view rest;
    const std::string_view yearToken = SplitToken(text, rest);
    const std::string_view dayToken = SplitToken(rest, rest);
    std::uint32_t d = 0;
    std::uint32_t y = 0;
    if (cnum::readUnsigned(SkipApostrophe(yearToken), y) && cnum::readUnsigned(dayToken, d)) {
        r.Year = year8(y);
        r.Day = low8(d);
        r.Month = low8(ReadMonth(skipBlanks(rest)));
    }
}

void convertDdMon(CardRecord& r, std::string_view text)
{
    std::string_view rest;
    const std::string_view dayToken = SplitToken(text, rest);
    std::uint32_t d = 0;
    if (cnum::readUnsigned(dayToken, d)) {
        r.Day = low8(d);
        r.Month = low8(ReadMonth(skipBlanks(rest)));
    }
}

void convertMonDd(CardRecord& r, std::string_view text)
{
    std::string_view rest;
    const std::string_view monthToken = SplitToken(text, rest);
    std::uint32_t d = 0;
    if (cnum::readUnsigned(rest, d)) {
        r.Day = low8(d);
        r.Month = low8(ReadMonth(skipBlanks(monthToken)));
    }
}

int applyKind(Kw kind, int flag, CardRecord& r, std::string_view expr, std::string_view text)
{
    switch (kind) {
    case Kw::Template:
        return FieldTemplate(flag, r, expr, text);
    case Kw::YYdotMMdotDD: {
        std::uint32_t v[3];
        if (cnum::scanUnsigned(text, "%u.%u.%u", v, 3) == 3) {
            setDate(r, v[0], v[1], v[2]);
        }
        break;
    }
    case Kw::YYMMDD:
        withNumber(text, [&](std::uint32_t n) { setDate(r, n / 10000u, (n / 100u) % 100u, n % 100u); });
        break;
    case Kw::YYDDMM:
        withNumber(text, [&](std::uint32_t n) { setDate(r, n / 10000u, n % 100u, (n / 100u) % 100u); });
        break;
    case Kw::YYslashMMslashDD:
        convertDotted(r, text, '/', false);
        break;
    case Kw::DDslashMMslashYY:
        convertDotted(r, text, '/', true);
        break;
    case Kw::YYdashMMdashDD:
        convertDotted(r, text, '-', false);
        break;
    case Kw::YYMMDDHHcolonmm:
        convertDateTime(r, text, true);
        break;
    case Kw::YYMMDDHHmm:
        convertDateTime(r, text, false);
        break;
    case Kw::DDMONapYY:
        convertDdMonYy(r, text);
        break;
    case Kw::apYYDDMON:
        convertYyDdMon(r, text);
        break;
    case Kw::HHmm:
        withNumber(text, [&](std::uint32_t t) { setHhmm(r, t); });
        break;
    case Kw::HHmmJ:
        return convertHhmmJ(flag, r, text);
    case Kw::HHcolonmm: {
        std::uint32_t v[2];
        if (cnum::scanUnsigned(text, "%u:%u", v, 2) == 2) {
            r.Hour = low8(v[0]);
            r.Minute = low8(v[1]);
        }
        break;
    }
    case Kw::YY:
    case Kw::YYYY:
        withNumber(text, [&](std::uint32_t y) { r.Year = year8(y); });
        break;
    case Kw::apYY:
        withNumber(SkipApostrophe(text), [&](std::uint32_t y) { r.Year = year8(y); });
        break;
    case Kw::MM:
        withNumber(text, [&](std::uint32_t v) { r.Month = low8(v); });
        break;
    case Kw::DD:
        withNumber(text, [&](std::uint32_t v) { r.Day = low8(v); });
        break;
    case Kw::HH:
        withNumber(text, [&](std::uint32_t v) { r.Hour = low8(v); });
        break;
    case Kw::mm:
        withNumber(text, [&](std::uint32_t v) { r.Minute = low8(v); });
        break;
    case Kw::MON:
        r.Month = low8(ReadMonth(text));
        break;
    case Kw::DDMON:
        convertDdMon(r, text);
        break;
    case Kw::MONDD:
        convertMonDd(r, text);
        break;
    case Kw::Call:
        convertCall(r, text);
        break;
    case Kw::Rst:
        setText(r.Rst, text);
        break;
    case Kw::Mode:
        setText(r.Mode, text);
        cp932::toUpperAsciiInPlace(r.Mode);
        break;
    case Kw::Freq:
        convertFreq(r, text);
        break;
    case Kw::KHz:
        convertKhz(r, text);
        break;
    case Kw::Band:
        setText(r.Freq, BandTable(text));
        break;
    case Kw::Power:
        setText(r.Power, text);
        break;
    case Kw::Name:
        setText(r.Name, text);
        break;
    case Kw::Qth:
        setText(r.Qth, text);
        break;
    case Kw::Qsl:
        setText(r.Qsl, text);
        break;
    case Kw::AddQsl:
        convertAddQsl(r, text);
        break;
    case Kw::Bracket:
        convertBracket(r, expr, text);
        break;
    case Kw::Send:
        r.SendChar = text.empty() ? '\0' : text[0];
        break;
    case Kw::Recv:
        r.RecvChar = text.empty() ? '\0' : text[0];
        break;
    case Kw::Env:
        withNumber(text, [&](std::uint32_t v) { r.Env = v; });
        break;
    }
    return flag;
}

// All members zero. The record holds only bytes and integers, so one memset does it without building a
// temporary and copying it over.
void clearRecord(CardRecord& record)
{
    static_assert(std::is_trivially_copyable_v<CardRecord>);
    std::memset(static_cast<void*>(&record), 0, sizeof record);
}

// The field text as the keywords see it: up to its first NUL, at most kFieldTextCapacity bytes.
std::string_view fieldText(std::string_view text)
{
    text = untilNul(text);
    if (text.size() > kFieldTextCapacity) {
        text = text.substr(0, cp932::cutLength(text, kFieldTextCapacity));
    }
    return text;
}

} // namespace

int ConvertField(int flag, CardRecord& record, std::string_view expr, std::string_view text)
{
    expr = untilNul(expr);
    return applyKind(ClassifyConvExpression(expr), flag, record, expr, fieldText(text));
}

bool IsConversionKeyword(std::string_view expr)
{
    return ClassifyConvExpression(untilNul(expr)) != Kw::Template;
}

ConvDefPlan::ConvDefPlan(const ConvDefTable& defs)
{
    for (std::size_t i = 0; i < defs.size(); ++i) {
        m_exprs[i] = std::string(untilNul(defs[i]));
        m_kinds[i] = static_cast<std::uint8_t>(ClassifyConvExpression(m_exprs[i]));
    }
}

int ConvDefPlan::apply(std::size_t position, int flag, CardRecord& record, std::string_view text) const
{
    return applyKind(static_cast<Kw>(m_kinds[position]), flag, record, m_exprs[position], fieldText(text));
}

int ConvertRecord(const std::string_view* texts, int count, const ConvDefPlan& plan, CardRecord& record, int flag)
{
    clearRecord(record);
    const int n = count < kConvDefCount ? count : kConvDefCount;
    for (int i = 0; i < n; ++i) {
        flag = plan.apply(static_cast<std::size_t>(i), flag, record, texts[i]);
    }
    return flag;
}
