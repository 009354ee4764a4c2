#include "export/AdifValues.h"

#include "common/Ascii.h"
#include "common/Cp932.h"

#include <array>
#include <cstdlib>
#include <string>

namespace adifvalues {

namespace {

using ascii::trimBlanks;

bool isAlnum(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

struct ModeRow
{
    std::string_view card; // upper case
    std::string_view mode;
    std::string_view submode;
};

// Modes that are written as they are, and the submodes ADIF files under a mode. Card texts are compared in upper
// case with blanks, '-' and '_' left out ("D-STAR" = "DSTAR").
constexpr std::array<ModeRow, 64> kModes = {{
    {"SSB", "SSB", ""},
    {"USB", "SSB", "USB"},
    {"LSB", "SSB", "LSB"},
    {"J3E", "SSB", ""},
    {"A3J", "SSB", ""},
    {"CW", "CW", ""},
    {"A1A", "CW", ""},
    {"A1", "CW", ""},
    {"PCW", "CW", "PCW"},
    {"AM", "AM", ""},
    {"A3E", "AM", ""},
    {"A3", "AM", ""},
    {"FM", "FM", ""},
    {"F3E", "FM", ""},
    {"F3", "FM", ""},
    {"NFM", "FM", ""},
    {"RTTY", "RTTY", ""},
    {"F1B", "RTTY", ""},
    {"F1", "RTTY", ""},
    {"FSK", "RTTY", ""},
    {"FT8", "FT8", ""},
    {"FT4", "MFSK", "FT4"},
    {"JS8", "MFSK", "JS8"},
    {"FST4", "MFSK", "FST4"},
    {"FST4W", "MFSK", "FST4W"},
    {"Q65", "MFSK", "Q65"},
    {"MFSK", "MFSK", ""},
    {"MFSK16", "MFSK", "MFSK16"},
    {"PSK", "PSK", ""},
    {"BPSK", "PSK", ""},
    {"PSK31", "PSK", "PSK31"},
    {"BPSK31", "PSK", "BPSK31"},
    {"PSK63", "PSK", "PSK63"},
    {"BPSK63", "PSK", "BPSK63"},
    {"PSK125", "PSK", "PSK125"},
    {"QPSK31", "PSK", "QPSK31"},
    {"SSTV", "SSTV", ""},
    {"ATV", "ATV", ""},
    {"FAX", "FAX", ""},
    {"PKT", "PKT", ""},
    {"PACKET", "PKT", ""},
    {"DV", "DIGITALVOICE", ""},
    {"DIGITALVOICE", "DIGITALVOICE", ""},
    {"DSTAR", "DIGITALVOICE", "DSTAR"},
    {"C4FM", "DIGITALVOICE", "C4FM"},
    {"FUSION", "DIGITALVOICE", "C4FM"},
    {"DMR", "DIGITALVOICE", "DMR"},
    {"FREEDV", "DIGITALVOICE", "FREEDV"},
    {"M17", "DIGITALVOICE", "M17"},
    {"JT65", "JT65", ""},
    {"JT9", "JT9", ""},
    {"JT4", "JT4", ""},
    {"WSPR", "WSPR", ""},
    {"MSK144", "MSK144", ""},
    {"OLIVIA", "OLIVIA", ""},
    {"CONTESTI", "CONTESTI", ""},
    {"HELL", "HELL", ""},
    {"MT63", "MT63", ""},
    {"THOR", "THOR", ""},
    {"DOMINO", "DOMINO", ""},
    {"ROS", "ROS", ""},
    {"ISCAT", "ISCAT", ""},
    {"FSK441", "FSK441", ""},
    {"VOI", "VOI", ""},
}};

struct BandRow
{
    const char* name;
    double lower;
    double upper;
};

// The amateur bands with their edges in MHz.
constexpr std::array<BandRow, 33> kBands = {{
    {"2190m", .1357, .1378},     {"630m", .472, .479},        {"560m", .501, .504},
    {"160m", 1.8, 2.0},          {"80m", 3.5, 4.0},           {"60m", 5.06, 5.45},
    {"40m", 7.0, 7.3},           {"30m", 10.1, 10.15},        {"20m", 14.0, 14.35},
    {"17m", 18.068, 18.168},     {"15m", 21.0, 21.45},        {"12m", 24.89, 24.99},
    {"10m", 28.0, 29.7},         {"8m", 40.0, 45.0},          {"6m", 50.0, 54.0},
    {"5m", 54.000001, 69.9},     {"4m", 70.0, 71.0},          {"2m", 144.0, 148.0},
    {"1.25m", 222.0, 225.0},     {"70cm", 420.0, 450.0},      {"33cm", 902.0, 928.0},
    {"23cm", 1240.0, 1300.0},    {"13cm", 2300.0, 2450.0},    {"9cm", 3300.0, 3500.0},
    {"6cm", 5650.0, 5925.0},     {"3cm", 10000.0, 10500.0},   {"1.25cm", 24000.0, 24250.0},
    {"6mm", 47000.0, 47200.0},   {"4mm", 75500.0, 81000.0},   {"2.5mm", 119980.0, 123000.0},
    {"2mm", 134000.0, 149000.0}, {"1mm", 241000.0, 250000.0}, {"submm", 300000.0, 7500000.0},
}};

} // namespace

std::optional<Mode> modeOf(std::string_view cardMode)
{
    std::string key;
    for (const char c : trimBlanks(cardMode)) {
        if (c == ' ' || c == '-' || c == '_') {
            continue;
        }
        key += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    for (const ModeRow& row : kModes) {
        if (row.card == key) {
            return Mode{std::string(row.mode), std::string(row.submode)};
        }
    }
    return std::nullopt;
}

std::string bandOfFrequency(double mhz)
{
    for (const BandRow& band : kBands) {
        if (mhz >= band.lower && mhz <= band.upper) {
            return band.name;
        }
    }
    return {};
}

std::optional<double> frequencyOf(std::string_view cardFreq)
{
    const std::string_view s = trimBlanks(cardFreq);
    bool digits = false;
    bool point = false;
    for (const char c : s) {
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    const double mhz = std::strtod(std::string(s).c_str(), nullptr);
    if (!(mhz > 0)) {
        return std::nullopt;
    }
    return mhz;
}

std::optional<std::string> powerOf(std::string_view cardPower)
{
    std::string_view s = trimBlanks(cardPower);
    if (!s.empty() && (s.back() == 'W' || s.back() == 'w')) {
        s = trimBlanks(s.substr(0, s.size() - 1));
    }
    if (!frequencyOf(s)) { // the same shape: a positive decimal number
        return std::nullopt;
    }
    return std::string(s);
}

char routeOf(std::string_view remark)
{
    std::string words;
    for (const char c : trimBlanks(remark)) {
        words += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (words.rfind("VIA ", 0) == 0) {
        words.erase(0, 4);
    }
    const auto has = [&](std::string_view w) {
        const std::size_t at = words.find(w);
        if (at == std::string::npos) {
            return false;
        }
        const bool startOk = at == 0 || !isAlnum(words[at - 1]);
        const std::size_t end = at + w.size();
        return startOk && (end == words.size() || !isAlnum(words[end]));
    };
    if (has("NO QSL") || has("NOQSL") || words == "NIL") {
        return 'N';
    }
    if (has("LOTW") || has("EQSL") || has("E-QSL")) {
        return 'E';
    }
    if (has("DIRECT") || has("DIR")) {
        return 'D';
    }
    if (has("JARL") || has("BURO") || has("BUREAU") || has("BURE")) {
        return 'B';
    }
    return 0;
}

bool isCallSign(std::string_view text)
{
    if (text.empty() || text.size() > 20 || !isAlnum(text.front()) || !isAlnum(text.back())) {
        return false;
    }
    bool digit = false;
    bool letter = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            letter = true;
        } else if (c != '/') {
            return false;
        }
    }
    return digit && letter;
}

std::string managerOf(std::string_view remark, bool bareCall)
{
    std::string s = cp932::toUpperAscii(trimBlanks(remark));
    std::string_view rest = s;
    bool labelled = false;
    for (const std::string_view label : {"VIA ", "MGR ", "QSL VIA ", "QSL MGR "}) {
        if (rest.substr(0, label.size()) == label) {
            rest = trimBlanks(rest.substr(label.size()));
            labelled = true;
            break;
        }
    }
    if ((labelled || bareCall) && isCallSign(rest) && routeOf(rest) == 0) {
        return std::string(rest);
    }
    return {};
}

bool isReport(std::string_view text)
{
    const std::string_view s = trimBlanks(text);
    std::size_t digits = 0;
    while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') {
        ++digits;
    }
    if (digits < 2 || digits > 3 || s[0] < '1' || s[0] > '5') {
        return false;
    }
    const std::string_view rest = s.substr(digits);
    if (rest.empty()) {
        return true;
    }
    if (rest.size() == 1 && ((rest[0] >= 'A' && rest[0] <= 'Z') || rest[0] == '+')) {
        return true;
    }
    if (rest[0] == '+' || rest[0] == '-') {
        for (std::size_t i = 1; i < rest.size(); ++i) {
            if (rest[i] < '0' || rest[i] > '9') {
                return false;
            }
        }
        return rest.size() > 1;
    }
    return false;
}

} // namespace adifvalues
