#include "cardlink/CardLogLine.h"

#include "common/Cp932.h"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace {

// The line is assembled in a buffer on the stack and appended in one step: a line has at most 751 bytes.
class LineWriter
{
public:
    template <std::size_t N> void member(const char (&text)[N])
    {
        // Members are zero-terminated; the bound guards against a member that fills its array.
        // A line end or another control byte would break the line apart at the card program: it becomes a blank.
        // No CP932 trail byte lies below 0x20, so no character is cut by this.
        const std::size_t n = strnlen(text, N);
        for (std::size_t i = 0; i < n; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            *m_p++ = c < 0x20 ? ' ' : text[i];
        }
    }
    template <std::size_t N> void quoted(const char (&text)[N])
    {
        *m_p++ = '"';
        member(text);
        *m_p++ = '"';
    }
    void byte(char c) { *m_p++ = c; }
    void mark(char c)
    {
        // The field holds one byte: a lead byte alone would be half a character, so it is left out.
        if (c != '\0' && !cp932::isLeadByte(static_cast<unsigned char>(c))) {
            *m_p++ = static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        }
    }
    void twoDigits(unsigned v)
    {
        if (v >= 100) {
            *m_p++ = static_cast<char>('0' + v / 100);
            v %= 100;
        }
        *m_p++ = static_cast<char>('0' + v / 10);
        *m_p++ = static_cast<char>('0' + v % 10);
    }
    void signedNumber(std::int32_t v) { m_p = std::to_chars(m_p, m_buffer + sizeof m_buffer, v).ptr; }
    void appendTo(std::string& out) const { out.append(m_buffer, static_cast<std::size_t>(m_p - m_buffer)); }

private:
    char m_buffer[800];
    char* m_p = m_buffer;
};

} // namespace

void AppendCardLogLine(const CardRecord& r, std::string& out)
{
    LineWriter w;
    w.twoDigits(r.Year);
    w.byte('.');
    w.twoDigits(r.Month);
    w.byte('.');
    w.twoDigits(r.Day);
    w.byte(',');
    w.twoDigits(r.Hour);
    w.twoDigits(r.Minute);
    w.byte(',');
    w.member(r.Call);
    w.byte(',');
    w.member(r.Rst);
    w.byte(',');
    w.member(r.Freq);
    w.byte(',');
    w.member(r.Mode);
    w.byte(',');
    w.member(r.Power);
    w.byte(',');
    w.quoted(r.Name);
    w.byte(',');
    w.quoted(r.Qth);
    w.byte(',');
    w.quoted(r.Qsl);
    w.byte(',');
    w.mark(r.SendChar);
    w.byte(',');
    w.mark(r.RecvChar);
    w.byte(',');
    w.signedNumber(static_cast<std::int32_t>(r.Env));
    w.appendTo(out);
}

std::string BuildCardLogLine(const CardRecord& record)
{
    std::string line;
    line.reserve(768); // the longest line has 751 bytes
    AppendCardLogLine(record, line);
    return line;
}

bool IsRecordPassed(const CardRecord& record, bool allSend, const SendMarkRule& rule)
{
    if (record.Call[0] == '\0') {
        return false;
    }
    return allSend || rule.isUnsentChar(record.SendChar);
}
