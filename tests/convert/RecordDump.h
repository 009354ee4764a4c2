#ifndef KELBO_TESTS_CONVERT_RECORDDUMP_H
#define KELBO_TESTS_CONVERT_RECORDDUMP_H

#include "convert/CardRecord.h"

#include <cstring>
#include <string>

/** Every member of @p r on one line, bytes above 0x7E as \xNN, so that a failed comparison shows which member
 * differs. */
inline std::string dump(const CardRecord& r)
{
    auto text = [](const char* s, std::size_t size) {
        std::string out = "\"";
        for (std::size_t i = 0; i < size && s[i]; ++i) {
            const auto c = static_cast<unsigned char>(s[i]);
            if (c < 0x20 || c > 0x7E) {
                static const char hex[] = "0123456789ABCDEF";
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
        return out + "\"";
    };
    return "Y=" + std::to_string(r.Year) + " M=" + std::to_string(r.Month) + " D=" + std::to_string(r.Day)
        + " h=" + std::to_string(r.Hour) + " m=" + std::to_string(r.Minute) + " Call=" + text(r.Call, sizeof r.Call)
        + " Rst=" + text(r.Rst, sizeof r.Rst) + " Mode=" + text(r.Mode, sizeof r.Mode)
        + " Freq=" + text(r.Freq, sizeof r.Freq) + " Power=" + text(r.Power, sizeof r.Power)
        + " Name=" + text(r.Name, sizeof r.Name) + " Qth=" + text(r.Qth, sizeof r.Qth)
        + " Qsl=" + text(r.Qsl, sizeof r.Qsl) + " Send=" + std::to_string(static_cast<unsigned char>(r.SendChar))
        + " Recv=" + std::to_string(static_cast<unsigned char>(r.RecvChar)) + " Env=" + std::to_string(r.Env);
}

/** A record with every member set to a value no test case produces, so that "nothing written" shows. */
inline CardRecord sentinelRecord()
{
    CardRecord r;
    r.Year = 11;
    r.Month = 22;
    r.Day = 33;
    r.Hour = 44;
    r.Minute = 55;
    std::strcpy(r.Call, "OLD1CALL");
    std::strcpy(r.Rst, "r0");
    std::strcpy(r.Mode, "m0");
    std::strcpy(r.Freq, "f0");
    std::strcpy(r.Power, "p0");
    std::strcpy(r.Name, "n0");
    std::strcpy(r.Qth, "t0");
    std::strcpy(r.Qsl, "q0");
    r.SendChar = 's';
    r.RecvChar = 'r';
    r.Env = 77;
    return r;
}

#endif
