#include "export/AdifExport.h"

#include "cardlink/TransferWalk.h"
#include "common/Ascii.h"
#include "common/Cp932.h"
#include "common/KelboError.h"
#include "convert/ConvertRecord.h"
#include "convert/DateTime.h"
#include "export/AdifValues.h"
#include "logtable/LogTable.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <cstring>
#include <sys/stat.h>

namespace adifexport {

namespace {

constexpr std::string_view kAdifVersion = "3.1.4";

std::string_view member(const char* text, std::size_t capacity)
{
    return std::string_view(text, strnlen(text, capacity));
}
template <std::size_t N> std::string_view member(const char (&text)[N])
{
    return member(text, N);
}

using ascii::trimBlanks;

bool isAscii(std::string_view s)
{
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// One field "<NAME:n>value " with the value's length in bytes; an empty value is left out.
void tag(std::string& out, std::string_view name, std::string_view value)
{
    if (value.empty()) {
        return;
    }
    out += '<';
    out += name;
    out += ':';
    out += std::to_string(value.size());
    out += '>';
    out += value;
    out += ' ';
}

// A text field from CP932: UTF-8, or left out when it is not ASCII and the file is to be ASCII only. Control
// characters (line breaks of a memo) become blanks: an ADIF String holds none.
void textTag(std::string& out, std::string_view name, std::string_view cp932Text, const Options& options)
{
    const std::string_view trimmed = trimBlanks(cp932Text);
    if (trimmed.empty() || (options.asciiOnly && !isAscii(trimmed))) {
        return;
    }
    std::string utf8 = cp932::toUtf8(trimmed);
    for (char& c : utf8) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    tag(out, name, utf8);
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysIn(int month, int year)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

std::string twoDigits(unsigned v)
{
    std::string s(2, '0');
    s[0] = static_cast<char>('0' + (v / 10) % 10);
    s[1] = static_cast<char>('0' + v % 10);
    return s;
}

std::tm utcTime(std::time_t t)
{
    std::tm tm{};
    gmtime_r(&t, &tm);
    return tm;
}

std::time_t exportTime(const Options& options)
{
    return options.now != 0 ? options.now : std::time(nullptr);
}

enum class RemarkKind
{
    None,
    Replace, // "QSL"
    Append, // "ADDQSL"
    Bracket // "QSL[label]" and the other brackets
};

// The kind of a remark expression and, for the bracket forms, its label (CP932).
RemarkKind remarkKind(std::string_view expr, std::string& label)
{
    if (expr == "QSL") {
        return RemarkKind::Replace;
    }
    if (expr == "ADDQSL") {
        return RemarkKind::Append;
    }
    static constexpr std::string_view kOpen[] = {"QSL[", "QSL\xA2", "QSL{", "QSL<", "QSL("};
    static constexpr char kClose[] = {']', '\xA3', '}', '>', ')'};
    for (std::size_t k = 0; k < std::size(kOpen); ++k) {
        if (expr.substr(0, 4) != kOpen[k]) {
            continue;
        }
        label.clear();
        for (std::size_t i = 4; i < expr.size(); ++i) {
            const auto c = static_cast<unsigned char>(expr[i]);
            if (cp932::isLeadByte(c) && i + 1 < expr.size()) {
                label.append(expr.substr(i, 2));
                ++i;
                continue;
            }
            if (expr[i] == kClose[k]) {
                break;
            }
            label += expr[i];
        }
        return RemarkKind::Bracket;
    }
    return RemarkKind::None;
}

bool isManagerLabel(std::string_view label)
{
    const std::string upper = cp932::toUpperAscii(trimBlanks(label));
    return upper == "VIA" || upper == "MGR" || upper == "MANAGER" || upper == "QSL VIA" || upper == "QSL_VIA"
        || upper == "QSLVIA" || upper == "QSL MGR" || upper == "ROUTE";
}

bool isOwnReportLabel(std::string_view label)
{
    const std::string upper = cp932::toUpperAscii(trimBlanks(label));
    return upper == "MY" || upper == "MY RST" || upper == "RST_RCVD" || upper == "RCVD";
}

void addComment(Remarks& r, std::string_view text)
{
    const std::string_view t = trimBlanks(text);
    if (t.empty()) {
        return;
    }
    if (!r.comment.empty()) {
        r.comment += ' ';
    }
    r.comment += t;
}

} // namespace

int FullYear(unsigned year, int currentYear)
{
    const int y = 2000 + static_cast<int>(year % 100);
    return y > currentYear + 1 ? y - 100 : y;
}

Remarks SortRemarks(const ConvDefTable& defs, const std::vector<std::string>& texts)
{
    Remarks r;
    std::string label;
    const std::size_t n = std::min<std::size_t>(texts.size(), defs.size());
    for (std::size_t i = 0; i < n; ++i) {
        const RemarkKind kind = remarkKind(defs[i], label);
        if (kind == RemarkKind::None) {
            continue;
        }
        const std::string_view text = member(texts[i].c_str(), texts[i].size());
        if (kind == RemarkKind::Replace) {
            r = Remarks{}; // the card's remark begins again with this field
        }
        const std::string_view value = trimBlanks(text);
        if (value.empty()) {
            continue;
        }
        if (kind == RemarkKind::Bracket && isManagerLabel(label)) {
            if (const char route = adifvalues::routeOf(value)) {
                r.route = route;
            } else if (std::string call = adifvalues::managerOf(value, true); !call.empty()) {
                r.manager = std::move(call);
            } else {
                addComment(r, value);
            }
        } else if (kind == RemarkKind::Bracket && isOwnReportLabel(label) && adifvalues::isReport(value)) {
            r.rstRcvd = std::string(value);
        } else if (std::string call = adifvalues::managerOf(value, false); !call.empty()) {
            r.manager = std::move(call);
        } else {
            addComment(r, value);
        }
    }
    return r;
}

std::string AdifHeader(const Options& options)
{
    const std::tm now = utcTime(exportTime(options));
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d %H%M%S", &now);
    std::string out = "ADIF export of a log table by KELBO\n";
    tag(out, "ADIF_VER", kAdifVersion);
    tag(out, "PROGRAMID", "KELBO");
    tag(out, "PROGRAMVERSION", options.programVersion);
    tag(out, "CREATED_TIMESTAMP", stamp);
    out += "<EOH>\n";
    return out;
}

bool AppendAdifRecord(const CardRecord& jst, const Remarks& remarks, bool sent, bool received, const Options& options,
                      std::string& out, std::string& reason)
{
    const std::string call = cp932::toUpperAscii(trimBlanks(member(jst.Call)));
    if (!adifvalues::isCallSign(call)) {
        reason = "コールサイン「" + cp932::toUtf8(call) + "」はコールサインとして読めません";
        return false;
    }
    // The date and time as the card line has them (Japanese time), checked, then moved back nine hours.
    const std::string shown = twoDigits(jst.Year) + "." + twoDigits(jst.Month) + "." + twoDigits(jst.Day);
    int year = FullYear(jst.Year, utcTime(exportTime(options)).tm_year + 1900);
    int month = jst.Month;
    int day = jst.Day;
    if (month < 1 || month > 12 || day < 1 || day > daysIn(month, year)) {
        reason = "日付 " + shown + " は正しい日付ではありません";
        return false;
    }
    if (jst.Hour > 23 || jst.Minute > 59) {
        reason = "時刻 " + twoDigits(jst.Hour) + ":" + twoDigits(jst.Minute) + " は正しい時刻ではありません";
        return false;
    }
    int hour = jst.Hour - 9;
    if (hour < 0) {
        hour += 24;
        if (--day == 0) {
            if (--month == 0) {
                month = 12;
                --year;
            }
            day = daysIn(month, year);
        }
    }
    const std::string date
        = std::to_string(year) + twoDigits(static_cast<unsigned>(month)) + twoDigits(static_cast<unsigned>(day));

    const std::size_t start = out.size();
    tag(out, "CALL", call);
    tag(out, "QSO_DATE", date);
    tag(out, "TIME_ON", twoDigits(static_cast<unsigned>(hour)) + twoDigits(jst.Minute));

    // The frequency: a band of the band table that lies outside the band's edges (10, 18 and 24 MHz stand for
    // 30 m, 17 m and 12 m) gives only the band; a frequency gives both.
    const std::string_view freqText = trimBlanks(member(jst.Freq));
    if (const auto mhz = adifvalues::frequencyOf(freqText)) {
        const std::string band = adifvalues::bandOfFrequency(*mhz);
        static constexpr std::pair<std::string_view, std::string_view> kBandOnly[]
            = {{"10", "30m"}, {"18", "17m"}, {"24", "12m"}};
        bool bandOnly = false;
        for (const auto& [text, name] : kBandOnly) {
            if (freqText == text) {
                tag(out, "BAND", name);
                bandOnly = true;
            }
        }
        if (!bandOnly) {
            tag(out, "BAND", band);
            tag(out, "FREQ", freqText);
        }
    } else if (cp932::equalsNoCase(freqText, "SAT")) {
        tag(out, "PROP_MODE", "SAT");
    }
    if (const auto mode = adifvalues::modeOf(member(jst.Mode))) {
        tag(out, "MODE", mode->mode);
        tag(out, "SUBMODE", mode->submode);
    }
    textTag(out, "RST_SENT", member(jst.Rst), options);
    textTag(out, "RST_RCVD", remarks.rstRcvd, options);
    textTag(out, "NAME", member(jst.Name), options);
    textTag(out, "QTH", member(jst.Qth), options);
    tag(out, "QSL_VIA", remarks.manager);
    tag(out, "QSL_SENT", sent ? "Y" : "N");
    if (remarks.route == 'B' || remarks.route == 'D' || remarks.route == 'E') {
        tag(out, "QSL_SENT_VIA", std::string(1, remarks.route));
    }
    tag(out, "QSL_RCVD", received ? "Y" : "N");
    if (const auto watts = adifvalues::powerOf(member(jst.Power))) {
        tag(out, "TX_PWR", *watts);
    }
    textTag(out, "COMMENT", remarks.comment, options);
    tag(out, "STATION_CALLSIGN", cp932::toUpperAscii(trimBlanks(options.stationCall)));
    // The card's remark text whole, for KELBO reading the file back; other programs keep it as it is.
    const std::string_view qsl = member(jst.Qsl);
    if (!options.asciiOnly || isAscii(qsl)) {
        tag(out, "APP_KELBO_QSLMSG", cp932::toUtf8(qsl));
    }
    if (jst.Env != 0) {
        tag(out, "APP_KELBO_ENV", std::to_string(jst.Env));
    }
    if (out.size() > start && out.back() == ' ') {
        out.pop_back();
    }
    out += "<EOR>\n";
    return true;
}

Summary WriteAdif(LogTable& table, const ConvDefTable& defs, const Options& options, const filewrite::Put& put,
                  const Progress& progress)
{
    Summary summary;
    const std::string header = AdifHeader(options);
    put(header.data(), header.size());
    const SendMarkRule rule = table.sendMarkRule();
    const long total = table.RecordCount();
    std::string out;
    std::string reason;
    for (TransferWalk walk(table, defs, options.utcToJst, options.allSend); walk.next();) {
        const CardRecord& r = walk.record();
        const Remarks remarks = SortRemarks(defs, walk.texts());
        const bool sent = !rule.isUnsentChar(r.SendChar);
        const bool received = r.RecvChar != '\0' && r.RecvChar != ' ';
        out.clear();
        if (AppendAdifRecord(r, remarks, sent, received, options, out, reason)) {
            put(out.data(), out.size());
            ++summary.written;
        } else {
            summary.leftOut.push_back({walk.position(), cp932::toUtf8(member(r.Call)), reason});
        }
        summary.visited = walk.position() + 1;
        if (progress) {
            progress(summary.visited, total);
        }
    }
    summary.visited = total;
    if (progress) {
        progress(total, total);
    }
    return summary;
}

Summary ExportAdifFile(LogTable& table, const ConvDefTable& defs, const Options& options, const std::string& path,
                       const Progress& progress)
{
    const std::string target = filewrite::resolveLinks(path);
    const auto fail
        = [&](const std::string& why) { return KelboError("ADIFファイル " + path + " に書き込めません: " + why); };
    struct stat out
    {
    };
    struct stat log
    {
    };
    if (::stat(target.c_str(), &out) == 0 && ::stat(table.FilePath().c_str(), &log) == 0 && out.st_dev == log.st_dev
        && out.st_ino == log.st_ino) {
        throw fail("開いているログのファイルです. 別の名前を指定してください");
    }
    Summary summary;
    try {
        filewrite::checkWritable(target);
        filewrite::replaceFile(
            target, [&](const filewrite::Put& put) { summary = WriteAdif(table, defs, options, put, progress); });
    } catch (const filewrite::Failure& e) {
        throw fail(e.what());
    }
    return summary;
}

std::string CardProgramStationCall()
{
    const QString path = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                             .filePath(QStringLiteral("KELBO/kelbo-cardprinter.ini"));
    if (!QFileInfo::exists(path)) {
        return {};
    }
    const QSettings ini(path, QSettings::IniFormat);
    const std::string call = ini.value(QStringLiteral("Station/Call")).toString().trimmed().toUpper().toStdString();
    return adifvalues::isCallSign(call) ? call : std::string();
}

} // namespace adifexport
