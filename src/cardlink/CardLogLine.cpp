#include "cardlink/CardLogLine.h"

#include "common/CNumber.h"

#include <cstring>

namespace {

// Members are zero-terminated; the bound guards against a member that fills its array.
template <std::size_t N> void appendMember(std::string& out, const char (&member)[N])
{
    out.append(member, strnlen(member, N));
}

template <std::size_t N> void appendQuoted(std::string& out, const char (&member)[N])
{
    out.push_back('"');
    appendMember(out, member);
    out.push_back('"');
}

void appendMark(std::string& out, char mark)
{
    if (mark != '\0') {
        out.push_back(mark);
    }
}

} // namespace

void AppendCardLogLine(const CardRecord& r, std::string& out)
{
    cnum::append02u(out, r.Year);
    out.push_back('.');
    cnum::append02u(out, r.Month);
    out.push_back('.');
    cnum::append02u(out, r.Day);
    out.push_back(',');
    cnum::append02u(out, r.Hour);
    cnum::append02u(out, r.Minute);
    out.push_back(',');
    appendMember(out, r.Call);
    out.push_back(',');
    appendMember(out, r.Rst);
    out.push_back(',');
    appendMember(out, r.Freq);
    out.push_back(',');
    appendMember(out, r.Mode);
    out.push_back(',');
    appendMember(out, r.Power);
    out.push_back(',');
    appendQuoted(out, r.Name);
    out.push_back(',');
    appendQuoted(out, r.Qth);
    out.push_back(',');
    appendQuoted(out, r.Qsl);
    out.push_back(',');
    appendMark(out, r.SendChar);
    out.push_back(',');
    appendMark(out, r.RecvChar);
    out.push_back(',');
    cnum::appendInt(out, static_cast<std::int32_t>(r.Env));
}

std::string BuildCardLogLine(const CardRecord& record)
{
    std::string line;
    line.reserve(768); // the longest line has 751 bytes
    AppendCardLogLine(record, line);
    return line;
}

bool IsRecordPassed(const CardRecord& record, bool allSend)
{
    if (record.Call[0] == '\0') {
        return false;
    }
    return allSend || record.SendChar == '\0' || record.SendChar == ' ';
}
