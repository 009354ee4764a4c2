// Writes the bundled sample log in the three table formats, in CP932, and a settings file that suits it.
//   make-sample OUTDIR
// The same contacts go into LOG.DB (Paradox, DATE a date field), LOG.DBF (dBASE, DATE a date field) and
// LOG.TXT with its schema LOG.SCH, so that every engine shows the same field names and texts. LOG.ADI holds them
// too, as a logging program writes ADIF: UTF-8, times in UTC, QSL_SENT only where the logger set it.
#include "TableWriters.h"
#include "common/Cp932.h"

extern "C" {
#include <paradox.h>
}

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

struct Contact
{
    const char* date; // yyyy/MM/dd
    const char* time; // HHMM and a zone letter: J Japanese time, U or Z UTC
    const char* call;
    const char* his;
    const char* my;
    const char* freq;
    const char* mode;
    const char* name;
    const char* qth;
    const char* qsl;
    const char* rem;
    const char* send;
    const char* recv;
};

// Texts in UTF-8 here; written as CP932.
const Contact kContacts[] = {
    {"2024/04/28", "0912J", "JA1ZQX", "59", "59", "7.045", "SSB", "山田 太郎", "東京都世田谷区", "JARL", "初QSO", "F",
     "R"},
    {"2024/04/28", "0937J", "JH3KVW", "599", "599", "7.012", "CW", "佐藤 一郎", "大阪府堺市", "JARL", "", "F", ""},
    {"2024/04/28", "2315U", "JR6PMB", "59", "57", "14.215", "SSB", "比嘉 健", "沖縄県那覇市", "DIRECT", "ｺﾝﾃｽﾄ ①", "F",
     "R"},
    {"2024/04/29", "0102U", "DL2MCR", "599", "579", "14.025", "CW", "ハンス", "ドイツ ミュンヘン", "DL QSL BURO",
     "TNX QSO", "F", ""},
    {"2024/04/29", "1045J", "JE7QAS", "59", "59", "430.10", "FM", "鈴木 花子", "宮城県仙台市", "JARL", "移動運用", "",
     ""},
    {"2024/04/29", "1132J", "7K1BUG", "59+", "59", "145.00", "FM", "高橋 次郎", "神奈川県横浜市", "JARL", "ﾓｰﾋﾞﾙ", "F",
     "R"},
    {"2024/04/30", "1208U", "VK2FTW", "57", "55", "21.280", "SSB", "ピーター", "オーストラリア シドニー", "VK2ABC",
     "QSL VIA", "", ""},
    {"2024/04/30", "2001J", "JA8RWT", "599", "599", "3.535", "CW", "伊藤 三郎", "北海道札幌市", "JARL", "", "F", ""},
    {"2024/05/01", "0455Z", "K6LTE", "579", "559", "14.030", "CW", "マイク", "アメリカ カリフォルニア", "LoTW", "", "",
     ""},
    {"2024/05/01", "0933J", "JF2OHN", "59", "59", "50.150", "SSB", "渡辺 四郎", "愛知県名古屋市", "JARL", "ｴｽﾎﾟ E層",
     "F", "R"},
    {"2024/05/01", "1410J", "JJ1SEO", "-10", "-12", "7.041", "FT8", "中村 五郎", "千葉県船橋市", "JARL", "", "", ""},
    {"2024/05/02", "0623U", "HL5BLI", "59", "59", "21.205", "SSB", "キム", "韓国 釜山", "HL BURO", "", "F", ""},
    {"2024/05/02", "1500U", "BV2KI", "599", "599", "14.010", "CW", "リン", "台湾 台北", "DIRECT", "", "", ""},
    {"2024/05/03", "0705J", "JA4DND", "59", "59", "7.088", "AM", "小林 六郎", "広島県広島市", "JARL", "AM ﾗｳﾝﾄﾞQSO",
     "F", "R"},
    {"2024/05/03", "1120J", "JH0FGR", "599", "579", "10.115", "CW", "加藤 七海", "長野県松本市", "JARL", "", "", ""},
    {"2024/05/03", "2247U", "UA9CDV", "559", "539", "14.022", "CW", "セルゲイ", "ロシア エカテリンブルク", "RU BURO",
     "", "F", ""},
    {"2024/05/04", "0815J", "JQ1YCZ", "59", "59", "1295.0", "FM", "吉田 八重", "埼玉県さいたま市", "JARL", "ｸﾗﾌﾞ局", "",
     ""},
    {"2024/05/04", "1315J", "JA9CCG", "-08", "-15", "18.100", "FT8", "山本 九平", "石川県金沢市", "JARL", "", "F", "R"},
    {"2024/05/05", "0340Z", "KH6DX", "599", "599", "28.025", "CW", "カイ", "ハワイ ホノルル", "W6ABC", "", "", ""},
    {"2024/05/05", "1050J", "JR5TSY", "59", "59", "144.20", "SSB", "松本 十和", "高知県高知市", "JARL", "ﾎﾟｰﾀﾌﾞﾙ 5W",
     "F", ""},
    {"2024/05/05", "1530U", "VR2XMT", "59", "58", "21.300", "SSB", "ウォン", "香港", "DIRECT", "日付変更あり", "", ""},
    {"2024/05/06", "0802J", "JA6BZI", "599", "599", "7.003", "CW", "井上 誠", "福岡県福岡市", "JARL", "～QRP～", "F",
     "R"},
    {"2024/05/06", "1900J", "JE1CKA", "59", "59", "3.780", "SSB", "木村 優子", "東京都八王子市", "JARL", "", "", ""},
    {"2024/05/07", "1111U", "F5NBX", "579", "579", "14.040", "CW", "ピエール", "フランス パリ", "F BURO", "", "F", ""},
    {"2024/05/07", "2130J", "JH1OJW", "59", "59", "28.500", "SSB", "林 大輔", "茨城県水戸市", "JARL", "", "", ""},
    {"2024/05/08", "0555U", "G4RCK", "599", "589", "7.020", "CW", "ジョン", "イギリス ロンドン", "G BURO", "", "", ""},
    {"2024/05/08", "1240J", "JA3ZOH", "59", "59", "50.250", "SSB", "清水 明", "京都府京都市", "JARL", "QSL ｶｰﾄﾞ 希望",
     "F", "R"},
    {"2024/05/09", "1005J", "JK2VOC", "-05", "-09", "14.074", "FT8", "森 昭夫", "静岡県浜松市", "JARL", "", "", ""},
    {"2024/05/09", "2358U", "JA0BJY", "59", "59", "7.055", "SSB", "池田 聡", "新潟県新潟市", "JARL", "UTC 記入", "",
     ""},
    {"2024/05/10", "0830J", "JS1QBT", "599", "599", "7.015", "CW", "橋本 恵", "東京都練馬区", "JARL", "", "F", ""},
};

struct FieldDef
{
    const char* name;
    int width; // 0: the date field
};

const FieldDef kFields[] = {
    {"DATE", 0},  {"TIME", 5}, {"CALL", 12}, {"HIS", 3},  {"MY", 3},   {"FREQ", 8}, {"MODE", 6},
    {"NAME", 20}, {"QTH", 30}, {"QSL", 12},  {"REM", 40}, {"SEND", 1}, {"RECV", 1},
};
constexpr int kFieldCount = sizeof kFields / sizeof kFields[0];

std::vector<std::string> values(const Contact& c)
{
    const char* texts[]
        = {c.date, c.time, c.call, c.his, c.my, c.freq, c.mode, c.name, c.qth, c.qsl, c.rem, c.send, c.recv};
    std::vector<std::string> out;
    for (int i = 0; i < kFieldCount; ++i) {
        out.push_back(cp932::fromUtf8(texts[i]));
        if (kFields[i].width > 0 && out.back().size() > static_cast<std::size_t>(kFields[i].width)) {
            std::fprintf(stderr, "make-sample: %s of %s is too long\n", kFields[i].name, c.call);
            std::exit(1);
        }
    }
    return out;
}

void parseDate(const std::string& d, int& y, int& m, int& day)
{
    std::sscanf(d.c_str(), "%d/%d/%d", &y, &m, &day);
}

bool writeFile(const std::string& path, const std::string& bytes)
{
    if (!tablewrite::writeFile(path, bytes)) {
        std::fprintf(stderr, "make-sample: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

bool writeParadox(const std::string& path)
{
    std::vector<tablewrite::PxField> fields;
    for (const FieldDef& f : kFields) {
        fields.push_back({f.name, f.width == 0 ? pxfDate : pxfAlpha, f.width == 0 ? 4 : f.width});
    }
    std::vector<std::vector<std::string>> rows;
    for (const Contact& c : kContacts) {
        const auto v = values(c);
        std::vector<std::string> row;
        for (int i = 0; i < kFieldCount; ++i) {
            if (kFields[i].width == 0) {
                int y = 0, m = 0, d = 0;
                parseDate(v[i], y, m, d);
                row.push_back(tablewrite::pxDate(y, m, d));
            } else {
                row.push_back(tablewrite::pxAlpha(v[i], kFields[i].width));
            }
        }
        rows.push_back(row);
    }
    tablewrite::ParadoxOptions options;
    options.tableName = "LOG";
    options.codePage = 932; // the code page of the table's texts
    const std::string error = tablewrite::writeParadox(path, fields, rows, options);
    if (!error.empty()) {
        std::fprintf(stderr, "make-sample: %s\n", error.c_str());
        return false;
    }
    return true;
}

bool writeDbase(const std::string& path)
{
    std::vector<tablewrite::DbfField> fields;
    for (const FieldDef& f : kFields) {
        fields.push_back({f.name, f.width == 0 ? 'D' : 'C', f.width == 0 ? 8 : f.width});
    }
    std::vector<std::vector<std::string>> rows;
    for (const Contact& c : kContacts) {
        auto v = values(c);
        for (int i = 0; i < kFieldCount; ++i) {
            if (kFields[i].width == 0) {
                int y = 0, m = 0, d = 0;
                parseDate(v[i], y, m, d);
                char date[16];
                std::snprintf(date, sizeof date, "%04d%02d%02d", y, m, d);
                v[i] = date;
            }
        }
        rows.push_back(v);
    }
    tablewrite::DbaseOptions options;
    options.day = 10;
    return writeFile(path, tablewrite::dbaseBytes(fields, rows, options));
}

bool writeText(const std::string& dir)
{
    std::string schema = "[LOG]\r\nFILETYPE = VARYING\r\nCHARSET = ascii\r\nDELIMITER = \"\r\nSEPARATOR = ,\r\n";
    for (int i = 0; i < kFieldCount; ++i) {
        char line[80];
        if (kFields[i].width == 0) {
            std::snprintf(line, sizeof line, "Field%d = %s,DATE,10,0,0\r\n", i + 1, kFields[i].name);
        } else {
            std::snprintf(line, sizeof line, "Field%d = %s,CHAR,%d,0,0\r\n", i + 1, kFields[i].name, kFields[i].width);
        }
        schema += line;
    }
    std::string table;
    for (const Contact& c : kContacts) {
        const auto v = values(c);
        for (int i = 0; i < kFieldCount; ++i) {
            if (i > 0) {
                table += ',';
            }
            table += kFields[i].width == 0 ? v[i] : "\"" + v[i] + "\"";
        }
        table += "\r\n";
    }
    return writeFile(dir + "LOG.SCH", schema) && writeFile(dir + "LOG.TXT", table);
}

std::string adifField(const char* name, const std::string& value)
{
    return "<" + std::string(name) + ":" + std::to_string(value.size()) + ">" + value;
}

const char* bandOf(double mhz)
{
    struct Band
    {
        double low, high;
        const char* name;
    };
    static const Band bands[]
        = {{1.8, 2.0, "160m"},      {3.5, 4.0, "80m"},       {7.0, 7.3, "40m"},    {10.1, 10.15, "30m"},
           {14.0, 14.35, "20m"},    {18.068, 18.168, "17m"}, {21.0, 21.45, "15m"}, {24.89, 24.99, "12m"},
           {28.0, 29.7, "10m"},     {50.0, 54.0, "6m"},      {144.0, 148.0, "2m"}, {430.0, 440.0, "70cm"},
           {1240.0, 1300.0, "23cm"}};
    for (const Band& b : bands) {
        if (mhz >= b.low && mhz <= b.high) {
            return b.name;
        }
    }
    return "";
}

// UTF-8, byte lengths, a header, the tags of some records in lower case; times in UTC (Japanese times moved back
// nine hours), every third one with seconds; QSL_SENT Y where the log has the mark, N or none where it has not.
bool writeAdif(const std::string& dir)
{
    std::string out = "KELBO sample log\r\n<ADIF_VER:5>3.1.4 <PROGRAMID:11>make-sample <CREATED_TIMESTAMP:15>20240510 "
                      "120000 <EOH>\r\n";
    int n = 0;
    for (const Contact& c : kContacts) {
        std::tm t = {};
        std::sscanf(c.date, "%d/%d/%d", &t.tm_year, &t.tm_mon, &t.tm_mday);
        std::sscanf(c.time, "%2d%2d", &t.tm_hour, &t.tm_min);
        t.tm_year -= 1900;
        t.tm_mon -= 1;
        std::time_t at = ::timegm(&t);
        if (c.time[4] == 'J') {
            at -= 9 * 3600;
        }
        ::gmtime_r(&at, &t);
        char date[32];
        char time[32];
        std::snprintf(date, sizeof date, "%04d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
        std::snprintf(time, sizeof time, n % 3 == 2 ? "%02d%02d00" : "%02d%02d", t.tm_hour, t.tm_min);
        std::string mode = c.mode;
        std::string record = adifField("QSO_DATE", date) + " " + adifField("TIME_ON", time) + " "
            + adifField("CALL", c.call) + " " + adifField("BAND", bandOf(std::atof(c.freq))) + " "
            + adifField("FREQ", c.freq) + " " + adifField("MODE", mode) + " " + adifField("RST_SENT", c.his) + " "
            + adifField("RST_RCVD", c.my) + " " + adifField("NAME", c.name) + " " + adifField("QTH", c.qth) + " ";
        if (std::strcmp(c.qsl, "JARL") != 0) {
            record += adifField("QSL_VIA", c.qsl) + " ";
        }
        if (*c.rem) {
            record += adifField("COMMENT", c.rem) + " ";
        }
        if (*c.send) {
            record += adifField("QSL_SENT", "Y") + " " + adifField("QSL_SDATE", "20240511") + " ";
        } else if (n % 2 == 0) {
            record += adifField("QSL_SENT", n % 4 == 0 ? "N" : "R") + " ";
        }
        if (*c.recv) {
            record += adifField("QSL_RCVD", "Y") + " ";
        }
        record += "<EOR>\r\n";
        if (n % 5 == 1) {
            // Tag names are case-blind: some loggers write them in lower case.
            for (std::size_t i = 0; i < record.size(); ++i) {
                if (record[i] == '<') {
                    for (std::size_t k = i + 1; k < record.size() && record[k] != ':' && record[k] != '>'; ++k) {
                        record[k] = static_cast<char>(std::tolower(static_cast<unsigned char>(record[k])));
                    }
                }
            }
        }
        out += record;
        ++n;
    }
    return writeFile(dir + "LOG.ADI", out);
}

bool writeSettings(const std::string& dir)
{
    const char* expressions[] = {"YY/MM/DD", "HHmmJ", "CALL",     "RST",    "NULL", "FREQ", "MODE",
                                 "NAME",     "QTH",   "QSL[VIA]", "ADDQSL", "SEND", "RECV"};
    std::string ini = "[LOGFILE]\r\nDir=@LOGDATA@\r\nName=LOG.DB\r\n[CARDO]\r\nAllSend=0\r\nUTC=1\r\nSendMark=F\r\n"
                      "[Fields]\r\n";
    for (int k = 1; k <= 64; ++k) {
        ini += "FIELD" + std::to_string(k) + "=" + (k <= kFieldCount ? expressions[k - 1] : "NULL") + "\r\n";
    }
    return writeFile(dir + "KELBO.ini.in", cp932::fromUtf8(ini));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-sample OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];
    if (dir.back() != '/') {
        dir += '/';
    }
    const bool ok = writeParadox(dir + "LOG.DB") && writeDbase(dir + "LOG.DBF") && writeText(dir) && writeAdif(dir)
        && writeSettings(dir);
    return ok ? 0 : 1;
}
