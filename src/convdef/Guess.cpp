#include "convdef/Guess.h"

#include "common/Ascii.h"
#include "common/Cp932.h"
#include "convert/BandTable.h"
#include "convert/ConvDefTable.h"
#include "convert/DateTime.h"
#include "logtable/LogTable.h"

#include <algorithm>

namespace gk = guesskind;

// Japanese keywords and labels are spelled as CP932 bytes; ｢ and ｣ are the single bytes 0xA2 and 0xA3.
const std::array<NameRule, 17> NameRules = {{
    {"DATE,YYMMDD,"
     "\x93\xFA\x95\x74", // 日付
     "YYMMDD", gk::Date},
    {"TIME,JST,UTC,Z,"
     "\x8E\x9E\x8D\x8F," // 時刻
     "\x8A\x4A\x8E\x6E," // 開始
     "\x8A\x4A\x8E\x6E\x8E\x9E\x8D\x8F", // 開始時刻
     "HHmm", gk::Time},
    {"CALL,RADIO,CALLSIGN", "CALL", gk::Call},
    {"HIS,UR,RST", "RST", gk::Report},
    {"MY",
     "QSL\xA2"
     "My\xA3",
     gk::MyReport},
    {"MODE,2WAY,"
     "\x93\x64\x94\x67\x8C\x60\x8E\xAE", // 電波形式
     "MODE", gk::Mode},
    {"BAND,FREQ,MHZ,"
     "\x8E\xFC\x94\x67\x90\x94", // 周波数
     "FREQ", gk::Freq},
    {"NAME,OP,"
     "\x96\xBC\x91\x4F", // 名前
     "NAME", gk::Name},
    {"QTH,"
     "\x92\x6E\x96\xBC", // 地名
     "QTH", gk::Qth},
    {"QSL,MGR,VIA", "QSL[VIA]", 0},
    {"REM,RMKS", "QSL[REM]", 0},
    {"POWER,POW,"
     "\x93\x64\x97\xCD", // 電力
     "POWER", gk::Power},
    {"SEND,S,"
     "\x94\xAD\x91\x97", // 発送
     "SEND", gk::Send},
    {"RECV,R,"
     "\x8E\xF3\x97\xCC", // 受領
     "RECV", gk::Recv},
    {"ENV,"
     "\x8A\xC2\x8B\xAB", // 環境
     "ENV", gk::Env},
    {"P,PTB,POTBL", "CALL", gk::Portable},
    {"END,"
     "\x8F\x49\x97\xB9," // 終了
     "\x8F\x49\x97\xB9\x8E\x9E\x8D\x8F", // 終了時刻
     "QSL\xA2"
     "END\xA3",
     0},
}};

// ADIF names and those of English exports. ADIF's TIME_ON has four or six digits (HHMM or HHMMSS): the template
// reads the hour and the minute from either. BAND comes last: it is reached only when a frequency field took the
// frequency, and then adds nothing.
const std::array<NameRule, 16> EnglishNameRules = {{
    {"QSO_DATE,QSODATE,QSO DATE", "YYMMDD", gk::Date},
    {"TIME_ON,TIMEON,TIME ON,QSO_TIME,QSO TIME,START,START TIME", "%2h%2i", gk::Time},
    {"RST_SENT,RST SENT,RST_S,RSTS,RST_TX,SENT RST,HIS RST", "RST", gk::Report},
    {"RST_RCVD,RST RCVD,RST_R,RSTR,RST_RX,RCVD RST,MY RST",
     "QSL\xA2"
     "My\xA3",
     gk::MyReport},
    {"FREQUENCY,FREQ_MHZ,FREQ MHZ", "FREQ", gk::Freq},
    {"NAME_INTL,OPERATOR NAME,OP NAME", "NAME", gk::Name},
    {"QTH_INTL,ADDRESS,CITY", "QTH", gk::Qth},
    {"QSL_SENT,QSLSENT,QSL SENT,QSL_S", "SEND", gk::Send},
    {"QSL_RCVD,QSLRCVD,QSL RCVD,QSL_R", "RECV", gk::Recv},
    {"QSL_VIA,QSLVIA,QSL VIA,MANAGER,QSL_MGR,QSL MGR", "QSL[VIA]", 0},
    {"COMMENT,COMMENTS,NOTE,NOTES,REMARK,REMARKS", "QSL[REM]", 0},
    {"TX_PWR,TXPWR,TX PWR,TX_POWER,TX POWER,PWR", "POWER", gk::Power},
    // Bookkeeping of the logging program and of the own station: nothing for the card.
    {"QSL_SDATE,QSL_RDATE,QSLSDATE,QSLRDATE,QSL_SENT_VIA,QSL_RCVD_VIA,LOTW_QSL_SENT,LOTW_QSL_RCVD,LOTW_QSLSDATE,"
     "LOTW_QSLRDATE,EQSL_QSL_SENT,EQSL_QSL_RCVD,EQSL_QSLSDATE,EQSL_QSLRDATE,CLUBLOG_QSO_UPLOAD_DATE,"
     "CLUBLOG_QSO_UPLOAD_STATUS,QRZCOM_QSO_UPLOAD_DATE,QRZCOM_QSO_UPLOAD_STATUS,STATION_CALLSIGN,OPERATOR,"
     "MY_GRIDSQUARE,MY_CITY,MY_RIG,MY_ANTENNA,SUBMODE,BAND_RX,FREQ_RX",
     "NULL", 0},
    {"BAND", "NULL", 0},
    // A file KELBO wrote: the card's whole remark text and the environment number, as the card had them.
    {"APP_KELBO_QSLMSG", "QSL", 0},
    {"APP_KELBO_ENV", "ENV", gk::Env},
}};

const std::array<ValueRule, 32> ValueRules = {{
    {"599", "RST", gk::Report},
    {"59", "RST", gk::Report},
    {"CW", "MODE", gk::Mode},
    {"SSB", "MODE", gk::Mode},
    {"AM", "MODE", gk::Mode},
    {"FM", "MODE", gk::Mode},
    {"RTTY", "MODE", gk::Mode},
    {"%m", "MON", gk::Month},
    {"$#:!#", "HH:mm", gk::Time},
    {"#:!#", "HH:mm", gk::Time}, // a time field reads "H:mm:ss": one digit for the hours before ten
    {"%u-%u-%u_%u:!#", "YY-MM-DD HH:mm", gk::Date | gk::Time},
    {"%u-%u-%u_%u", "YY-MM-DD HHmm", gk::Date | gk::Time},
    {"%u.%u.%u", "YY.MM.DD", gk::Date},
    {"%u-%u-%u", "YY-MM-DD", gk::Date},
    {"%u/%u/%u", "YY/MM/DD", gk::Date},
    {"$#!#", "HHmm", gk::Time},
    {"5&&", "RST", gk::Report},
    {"5&", "RST", gk::Report},
    {"4&&", "RST", gk::Report},
    {"4&", "RST", gk::Report},
    {"######", "YYMMDD", gk::Date},
    {"########", "YYMMDD", gk::Date},
    {"%c", "CALL", gk::Call},
    {"'%u", "'YY", gk::Year},
    {"\x81\x65%u", "'YY", gk::Year}, // ‘ (left single quotation mark)
    {"%uMHz", "FREQ", gk::Freq},
    {"%u_MHz", "FREQ", gk::Freq},
    {"5&&",
     "QSL\xA2"
     "My\xA3",
     gk::MyReport},
    {"5&",
     "QSL\xA2"
     "My\xA3",
     gk::MyReport},
    {"%f", "FREQ", gk::Freq}, // "%f" is no code: it matches every value that reaches it
    {"%k", "NAME", gk::Name},
    {"%k", "QTH", gk::Qth},
}};

namespace {

constexpr std::size_t kValueView = 511;
constexpr const char* kUndecided = "?";

using ascii::isDigit;

bool isLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

unsigned char upper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

unsigned char at(std::string_view s, std::size_t i)
{
    return static_cast<unsigned char>(s[i]);
}

// Calls f(i) at the first byte of every character; stops when f returns true.
template <typename F> bool anyCharacter(std::string_view s, F f)
{
    for (std::size_t i = 0; i < s.size(); i += cp932::isLeadByte(at(s, i)) ? 2 : 1) {
        if (f(i)) {
            return true;
        }
    }
    return false;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && cp932::equalsNoCase(text.substr(0, prefix.size()), prefix);
}

// "%b": a frequency such as "7.05", "14.025MHz" or "1.2G".
bool isFrequencyLike(std::string_view rest)
{
    if (rest.empty() || !isDigit(at(rest, 0))) {
        return false;
    }
    const std::string head = cp932::toUpperAscii(cp932::cut(rest, 31));
    if (anyCharacter(head, [&](std::size_t i) { return std::string_view(head).substr(i, 3) == "MHZ"; })) {
        return true;
    }
    return std::all_of(rest.begin(), rest.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return isDigit(c) || c == '.' || c == '/' || c == ' ' || c == 'G';
    });
}

bool isCallSign(std::string_view rest)
{
    const auto has = [&](bool (*test)(unsigned char)) {
        return std::any_of(rest.begin(), rest.end(), [&](char c) { return test(static_cast<unsigned char>(c)); });
    };
    return IsCallSignLike(rest) && has(isDigit) && has(isLetter);
}

bool hasDoubleByte(std::string_view rest)
{
    return anyCharacter(rest, [&](std::size_t i) { return cp932::isLeadByte(at(rest, i)); });
}

bool isFree(GuessKind kinds, GuessKind taken)
{
    return (kinds & taken) == 0;
}

bool nameMatches(std::string_view keywords, std::string_view name)
{
    while (true) {
        const auto comma = keywords.find(',');
        const std::string_view keyword = keywords.substr(0, comma);
        if (!keyword.empty() && cp932::equalsNoCase(keyword, name)) {
            return true;
        }
        if (comma == std::string_view::npos) {
            return false;
        }
        keywords.remove_prefix(comma + 1);
    }
}

// The date and time refinements of a field found by its name: the first value rule of the same kinds whose
// pattern fits the whole value; kinds already given elsewhere do not matter here.
void refineByValue(std::string& entry, GuessKind kinds, std::string_view value)
{
    for (const ValueRule& rule : ValueRules) {
        if ((rule.kinds & kinds) != 0 && MatchValuePattern(value, rule.pattern)) {
            entry = std::string(rule.expression);
            return;
        }
    }
}

bool isZoneLetter(char c)
{
    return c == 'J' || c == 'I' || c == 'U' || c == 'Z';
}

// "1045J", "0455Z": a time of day in digits followed by the letter of its zone, which "HHmmJ" reads.
bool endsInZoneLetter(std::string_view value)
{
    const std::string_view v = value.substr(0, value.find_last_not_of(" \t") + 1);
    return v.size() >= 2 && v.size() <= 7 && isZoneLetter(v.back()) && IsAllDigits(v.substr(0, v.size() - 1));
}

// The time expression for a value: a zone letter after the digits needs the keyword that reads it, else the
// Japanese and the UTC contacts of one log would all get the zone of the check box.
std::string withZone(std::string expression, std::string_view value)
{
    if ((expression == "HHmm" || expression == "%2h%2i") && endsInZoneLetter(value)) {
        return "HHmmJ";
    }
    return expression;
}

// "40m": a band in metres (a field named BAND in an English log).
bool isMetres(std::string_view value)
{
    return value.size() >= 2 && (value.back() == 'm' || value.back() == 'M')
        && IsAllDigits(value.substr(0, value.size() - 1));
}

bool isFrequencyName(std::string_view name)
{
    return cp932::equalsNoCase(name, "FREQ") || cp932::equalsNoCase(name, "FREQUENCY");
}

struct Choice
{
    bool applies;
    const char* expression;
    GuessKind kinds;
};

} // namespace

bool MatchValuePattern(std::string_view value, std::string_view pattern)
{
    std::size_t v = 0;
    std::size_t p = 0;
    const auto digitIn = [&](char lo, char hi) {
        if (v >= value.size() || value[v] < lo || value[v] > hi) {
            return false;
        }
        ++v;
        return true;
    };
    while (p < pattern.size()) {
        const auto pc = at(pattern, p);
        if (pc == '%') {
            const char code = p + 1 < pattern.size() ? pattern[p + 1] : '\0';
            const std::string_view rest = value.substr(v);
            switch (code) {
            case 'u': {
                const std::size_t start = v;
                while (v < value.size() && isDigit(at(value, v))) {
                    ++v;
                }
                if (v == start) {
                    return false;
                }
                break;
            }
            case 'b':
                return isFrequencyLike(rest);
            case 'c':
                return isCallSign(rest);
            case 'd':
                return !BandTable(rest).empty();
            case 'k':
                return hasDoubleByte(rest);
            case 'm':
                return MonthNumber(rest) != 0;
            default:
                break;
            }
            p += 2;
            continue;
        }
        bool ok;
        switch (pc) {
        case '#':
            ok = digitIn('0', '9');
            break;
        case '$':
            ok = digitIn('0', '2');
            break;
        case '!':
            ok = digitIn('0', '5');
            break;
        case '&':
            ok = digitIn('1', '9');
            break;
        case '_': {
            const std::size_t start = v;
            while (v < value.size() && (value[v] == ' ' || value[v] == '\t')) {
                ++v;
            }
            ok = v > start;
            break;
        }
        default:
            if (cp932::isLeadByte(pc) && p + 1 < pattern.size()) {
                // A double-byte character matches exactly: its trail byte is no ASCII letter.
                ok = value.substr(v, 2) == pattern.substr(p, 2);
                v += 2;
                ++p;
            } else {
                ok = v < value.size() && upper(at(value, v)) == upper(pc);
                ++v;
            }
            break;
        }
        if (!ok) {
            return false;
        }
        ++p;
    }
    return true;
}

bool IsCallSignLike(std::string_view text)
{
    return text.size() >= 3 && std::all_of(text.begin(), text.end(), [](char ch) {
               const auto c = static_cast<unsigned char>(ch);
               return isLetter(c) || isDigit(c) || c == '/' || c == '-';
           });
}

unsigned MonthNumber(std::string_view text)
{
    for (unsigned m = 1; m <= 12; ++m) {
        if (cp932::equalsNoCase(text, MonthTable.first[m]) || cp932::equalsNoCase(text, MonthTable.second[m])) {
            return m;
        }
    }
    return 0;
}

bool ContainsMonthName(std::string_view text)
{
    return anyCharacter(text, [&](std::size_t i) {
        const std::string_view tail = text.substr(i);
        for (unsigned m = 1; m <= 12; ++m) {
            if (startsWithNoCase(tail, MonthTable.first[m]) || startsWithNoCase(tail, MonthTable.second[m])) {
                return true;
            }
        }
        return false;
    });
}

bool IsAllDigits(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return isDigit(static_cast<unsigned char>(c)); });
}

ConvDefTable GuessConvDef(const std::vector<std::string>& fieldNames, const std::vector<std::string>& values)
{
    const std::size_t n = std::min<std::size_t>(fieldNames.size(), kConvDefCount);
    const auto valueOf = [&](std::size_t i) -> std::string_view {
        return i < values.size() ? std::string_view(values[i]) : std::string_view();
    };
    const auto valueView
        = [&](std::size_t i) { return valueOf(i).substr(0, cp932::cutLength(valueOf(i), kValueView)); };

    GuessKind TakenKinds = 0;
    ConvDefTable entries;
    entries.fill(kUndecided);

    // A log with both a band and a frequency field (an English export) takes the frequency from the latter.
    const bool hasFrequencyField = std::any_of(fieldNames.begin(), fieldNames.begin() + static_cast<long>(n),
                                               [](const std::string& name) { return isFrequencyName(name); });

    // By name, with the date and time refinements: the program's own names first, then, for the fields they leave,
    // the names of ADIF and English exports.
    const auto byName = [&](const auto& rules, std::size_t i) {
        for (const NameRule& rule : rules) {
            if (!isFree(rule.kinds, TakenKinds) || !nameMatches(rule.keywords, fieldNames[i])) {
                continue;
            }
            const bool band = cp932::equalsNoCase(fieldNames[i], "BAND") && rule.kinds == gk::Freq;
            if (band && hasFrequencyField) {
                continue;
            }
            entries[i] = std::string(rule.expression);
            TakenKinds |= rule.kinds;
            if (band && isMetres(valueOf(i))) {
                entries[i] = "mBAND";
            }
            if (rule.kinds == gk::Date || rule.kinds == gk::Time) {
                const std::string own = entries[i];
                refineByValue(entries[i], rule.kinds, valueOf(i));
                if (own == "%2h%2i" && entries[i] == "HHmm") {
                    entries[i] = own; // digits: four or six of them
                }
                entries[i] = withZone(entries[i], valueOf(i));
            }
            return;
        }
    };
    for (std::size_t i = 0; i < n; ++i) {
        byName(NameRules, i);
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (entries[i] == kUndecided) {
            byName(EnglishNameRules, i);
        }
    }

    // By value.
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view v = valueView(i);
        if (entries[i] != kUndecided || v.empty()) {
            continue;
        }
        for (const ValueRule& rule : ValueRules) {
            if (isFree(rule.kinds, TakenKinds) && MatchValuePattern(v, rule.pattern)) {
                entries[i] = withZone(std::string(rule.expression), v);
                TakenKinds |= rule.kinds;
                break;
            }
        }
    }

    // Remaining names become remarks labelled with the field's name.
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& name = fieldNames[i];
        if (entries[i] != kUndecided || name.empty()) {
            continue;
        }
        if (cp932::equalsNoCase(name, "MISC")) {
            entries[i] = "ADDQSL";
            continue;
        }
        std::string label = name;
        for (const char* spelled : {"MyQTH", "MyRIG", "Contest"}) {
            if (cp932::equalsNoCase(name, spelled)) {
                label = spelled;
            }
        }
        entries[i] = "QSL\xA2" + label + "\xA3";
    }

    // Fields without a name: the first kind still free that the value can stand for.
    for (std::size_t i = 0; i < n; ++i) {
        if (entries[i] != kUndecided) {
            continue;
        }
        entries[i] = kNullConvExpr;
        const std::string_view v = valueView(i);
        if (v.empty()) {
            continue;
        }
        const auto free = [&](GuessKind k) { return isFree(k, TakenKinds); };
        const auto pick = [&](const Choice* first, const Choice* last) {
            for (const Choice* c = first; c != last; ++c) {
                if (c->applies) {
                    entries[i] = c->expression;
                    TakenKinds |= c->kinds;
                    return;
                }
            }
        };
        if (IsAllDigits(v)) {
            const Choice choices[] = {
                {free(gk::Year), "YY", gk::Year},
                {free(gk::Month), "MM", gk::Month},
                {free(gk::Day), "DD", gk::Day},
                {free(gk::Time), "HHmm", gk::Time},
                {free(gk::Freq) && MatchValuePattern(v, "%d"), "mBAND", gk::Freq},
                {free(gk::Freq) && MatchValuePattern(v, "%b"), "FREQ", gk::Freq},
                {free(gk::Power), "POWER", gk::Power},
                {free(gk::Env), "ENV", gk::Env},
            };
            pick(std::begin(choices), std::end(choices));
        } else {
            const Choice choices[] = {
                {free(gk::Date) && ContainsMonthName(v), "DD MON 'YY", gk::Date},
                {free(gk::Freq) && MatchValuePattern(v, "%b"), "FREQ", gk::Freq},
                {free(gk::Call) && IsCallSignLike(v), "CALL", gk::Call},
                {free(gk::Name), "NAME", gk::Name},
                {free(gk::Qth), "QTH", gk::Qth},
                {free(gk::Recv), "RECV", gk::Recv},
            };
            pick(std::begin(choices), std::end(choices));
        }
    }

    for (auto& e : entries) {
        if (e == kUndecided) {
            e = kNullConvExpr;
        }
    }

    // A file KELBO wrote carries the card's whole remark text: the remark fields beside it (manager, comment, the
    // received report) would only repeat what it holds.
    const auto own
        = std::find_if(fieldNames.begin(), fieldNames.begin() + static_cast<long>(n),
                       [](const std::string& name) { return cp932::equalsNoCase(name, "APP_KELBO_QSLMSG"); });
    if (own != fieldNames.begin() + static_cast<long>(n)) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::string& e = entries[i];
            if (!cp932::equalsNoCase(fieldNames[i], "APP_KELBO_QSLMSG")
                && (e == "QSL" || e == "ADDQSL" || e.rfind("QSL", 0) == 0)) {
                entries[i] = kNullConvExpr;
            }
        }
    }
    return entries;
}

ConvDefTable GuessConvDef(const LogTable& table)
{
    const int n = std::min(table.FieldCount(), kConvDefCount);
    std::vector<std::string> names;
    std::vector<std::string> values;
    for (int i = 0; i < n; ++i) {
        names.push_back(table.FieldName(i));
        values.push_back(table.FieldText(i));
    }
    return GuessConvDef(names, values);
}
