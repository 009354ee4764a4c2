// The ADIF export: each record's fields read back by an ADIF reader of the test's own, times moved back to UTC
// across midnight and the year's end, records that cannot be made valid left out, and the exported sample read
// by KELBO again giving the same card lines as the table it came from.
#include "cardlink/TransferWalk.h"
#include "common/Cp932.h"
#include "common/KelboError.h"
#include "convdef/Guess.h"
#include "convdef/Settings.h"
#include "export/AdifExport.h"
#include "export/AdifValues.h"
#include "logtable/LogTable.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using Fields = std::map<std::string, std::string>;

// An ADIF reader written from the format's rules, independent of the table engine: a header up to <EOH>, then
// fields <NAME:LENGTH[:TYPE]>VALUE with the length in bytes, records ended by <EOR>. Names upper-cased.
struct AdifFile
{
    Fields header;
    std::vector<Fields> records;
};

AdifFile parseAdif(const std::string& text)
{
    AdifFile file;
    Fields current;
    bool inHeader = text.empty() || text[0] != '<';
    std::size_t i = 0;
    while ((i = text.find('<', i)) != std::string::npos) {
        const std::size_t close = text.find('>', i);
        if (close == std::string::npos) {
            ADD_FAILURE() << "a tag that never closes at byte " << i;
            break;
        }
        std::string tag = text.substr(i + 1, close - i - 1);
        for (char& c : tag) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        i = close + 1;
        if (tag == "EOH") {
            file.header = current;
            current.clear();
            inHeader = false;
            continue;
        }
        if (tag == "EOR") {
            EXPECT_FALSE(inHeader) << "a record before the header ended";
            file.records.push_back(current);
            current.clear();
            continue;
        }
        const std::size_t colon = tag.find(':');
        if (colon == std::string::npos) {
            ADD_FAILURE() << "a field without a length: " << tag;
            continue;
        }
        const std::size_t length = std::stoul(tag.substr(colon + 1));
        EXPECT_LE(i + length, text.size()) << tag;
        EXPECT_EQ(current.count(tag.substr(0, colon)), 0u) << "field twice: " << tag;
        current[tag.substr(0, colon)] = text.substr(i, length);
        i += length;
    }
    EXPECT_TRUE(current.empty()) << "fields after the last <EOR>";
    return file;
}

std::string readFile(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll().toStdString();
}

std::string text(const char* member, std::size_t capacity)
{
    return std::string(member, strnlen(member, capacity));
}
#define MEMBER(r, m) text((r).m, sizeof((r).m))

CardRecord jstRecord(unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, const char* call = "JA1ABC")
{
    CardRecord r{};
    r.Year = static_cast<std::uint8_t>(y);
    r.Month = static_cast<std::uint8_t>(mo);
    r.Day = static_cast<std::uint8_t>(d);
    r.Hour = static_cast<std::uint8_t>(h);
    r.Minute = static_cast<std::uint8_t>(mi);
    std::strncpy(r.Call, call, sizeof r.Call - 1);
    return r;
}

// 2026-12-10 12:00 UTC: two-digit years up to 27 are this century.
constexpr std::time_t kNow = 1796904000;

adifexport::Options options()
{
    adifexport::Options o;
    o.now = kNow;
    o.programVersion = "test";
    return o;
}

// Japanese time on the card, UTC in the file: the date rolls back over midnight, a month's and a year's end and
// the 29th of February; records whose date, time or call cannot be valid are refused with the reason.
TEST(AdifExport, CardTimesBecomeUtcWithTheDateRolled)
{
    struct Case
    {
        CardRecord jst;
        const char* date; // "" when refused
        const char* time; // or the start of the reason
    };
    const Case cases[] = {
        {jstRecord(24, 4, 28, 9, 12), "20240428", "0012"},
        {jstRecord(24, 4, 28, 8, 59), "20240427", "2359"},
        {jstRecord(24, 1, 1, 5, 0), "20231231", "2000"},
        {jstRecord(24, 3, 1, 0, 30), "20240229", "1530"},
        {jstRecord(23, 3, 1, 0, 30), "20230228", "1530"},
        {jstRecord(0, 1, 1, 3, 0), "19991231", "1800"},
        {jstRecord(27, 12, 31, 23, 59), "20271231", "1459"}, // next year still this century
        {jstRecord(28, 6, 1, 12, 0), "19280601", "0300"}, // later years are the last century's
        {jstRecord(24, 13, 45, 10, 0), "", "日付 24.13.45"},
        {jstRecord(24, 2, 30, 10, 0), "", "日付 24.02.30"},
        {jstRecord(0, 0, 0, 10, 0), "", "日付 00.00.00"},
        {jstRecord(24, 4, 28, 24, 0), "", "時刻 24:00"},
        {jstRecord(24, 4, 28, 10, 60), "", "時刻 10:60"},
        {jstRecord(24, 4, 28, 10, 0, "JA1 ABC"), "", "コールサイン「JA1 ABC」"},
        {jstRecord(24, 4, 28, 10, 0, "\x83\x65\x83\x58\x83\x67"), "", "コールサイン「テスト」"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.date) + " " + c.time);
        std::string out;
        std::string reason;
        const bool ok = adifexport::AppendAdifRecord(c.jst, {}, false, false, options(), out, reason);
        if (c.date[0] == '\0') {
            EXPECT_FALSE(ok);
            EXPECT_EQ(out, "");
            EXPECT_EQ(reason.rfind(c.time, 0), 0u) << reason;
            continue;
        }
        ASSERT_TRUE(ok) << reason;
        const AdifFile file = parseAdif("<EOH>" + out);
        ASSERT_EQ(file.records.size(), 1u);
        EXPECT_EQ(file.records[0].at("QSO_DATE"), c.date);
        EXPECT_EQ(file.records[0].at("TIME_ON"), c.time);
    }
}

// Values that ADIF spells its own way: modes with their submodes, bands from frequencies (the band table's 10, 18
// and 24 MHz stand for bands, not frequencies), power without its unit, routes and managers apart.
TEST(AdifExport, ValuesInAdifSpelling)
{
    struct ModeCase
    {
        const char* card;
        const char* mode;
        const char* submode;
    };
    for (const ModeCase& c : {ModeCase{"ssb", "SSB", ""}, ModeCase{"USB", "SSB", "USB"}, ModeCase{"FT4", "MFSK", "FT4"},
                              ModeCase{"PSK31", "PSK", "PSK31"}, ModeCase{"A3J", "SSB", ""}, ModeCase{"F3E", "FM", ""},
                              ModeCase{"D-STAR", "DIGITALVOICE", "DSTAR"}, ModeCase{"FT8", "FT8", ""}}) {
        const auto m = adifvalues::modeOf(c.card);
        ASSERT_TRUE(m) << c.card;
        EXPECT_EQ(m->mode, c.mode) << c.card;
        EXPECT_EQ(m->submode, c.submode) << c.card;
    }
    EXPECT_FALSE(adifvalues::modeOf("電信"));

    CardRecord r = jstRecord(24, 4, 28, 12, 0);
    struct FreqCase
    {
        const char* card;
        const char* band;
        const char* freq;
    };
    for (const FreqCase& c : {FreqCase{"7.045", "40m", "7.045"}, FreqCase{" 430.10", "70cm", "430.10"},
                              FreqCase{"1295.0", "23cm", "1295.0"}, FreqCase{"24", "12m", ""},
                              FreqCase{"3.8", "80m", "3.8"}, FreqCase{"7 MHz", "", ""}}) {
        std::memset(r.Freq, 0, sizeof r.Freq);
        std::strncpy(r.Freq, c.card, sizeof r.Freq - 1);
        std::strcpy(r.Power, "100W");
        std::string out;
        std::string reason;
        ASSERT_TRUE(adifexport::AppendAdifRecord(r, {}, false, false, options(), out, reason));
        const Fields f = parseAdif("<EOH>" + out).records.at(0);
        EXPECT_EQ(f.count("BAND") ? f.at("BAND") : "", c.band) << c.card;
        EXPECT_EQ(f.count("FREQ") ? f.at("FREQ") : "", c.freq) << c.card;
        EXPECT_EQ(f.at("TX_PWR"), "100");
    }

    ConvDefTable defs = NullConvDefTable();
    defs[0] = "QSL[VIA]";
    defs[1] = "QSL\xA2My\xA3";
    defs[2] = "ADDQSL";
    defs[3] = "QSL[VIA]";
    const auto sort = [&](std::vector<std::string> texts) { return adifexport::SortRemarks(defs, texts); };
    adifexport::Remarks rm = sort({"JARL", "57", "TNX QSO", ""});
    EXPECT_EQ(rm.route, 'B');
    EXPECT_EQ(rm.manager, "");
    EXPECT_EQ(rm.rstRcvd, "57");
    EXPECT_EQ(rm.comment, "TNX QSO");
    rm = sort({"ja1xyz", "", "via W6ABC", "DIRECT"});
    EXPECT_EQ(rm.manager, "W6ABC"); // the later manager, as on the card
    EXPECT_EQ(rm.route, 'D');
    EXPECT_EQ(rm.comment, "");
    rm = sort({"G BURO", "", "LoTW only", ""});
    EXPECT_EQ(rm.route, 'B');
    EXPECT_EQ(rm.comment, "LoTW only"); // a remark is no route
}

struct CardWalk
{
    std::vector<long> positions;
    std::vector<CardRecord> records;
};

CardWalk walk(LogTable& table, const ConvDefTable& defs, bool utc, bool all)
{
    CardWalk w;
    for (TransferWalk t(table, defs, utc, all); t.next();) {
        w.positions.push_back(t.position());
        w.records.push_back(t.record());
    }
    return w;
}

KelboSettings sampleSettings(const QTemporaryDir& dir)
{
    const QString sample = QStringLiteral(KELBO_SAMPLE_DIR);
    QByteArray ini = QByteArray::fromStdString(readFile(sample + "/KELBO.ini.in"));
    QFile f(dir.filePath("KELBO.ini"));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(ini.replace("@LOGDATA@", sample.toUtf8()));
    f.close();
    KelboSettings s;
    LoadSettings(f.fileName().toStdString(), s);
    return s;
}

// The sample log in every format, every record (--all) and the unsent ones: each written record holds the card's
// values in ADIF fields, read by the test's own reader; read back by KELBO with the guessed definition and
// "UTC→JST", the file gives the same card lines as the table (the marks in ADIF's Y and N).
TEST(AdifExport, SampleInEveryFormatRoundTrips)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const KelboSettings settings = sampleSettings(dir);
    for (const char* name : {"LOG.DB", "LOG.DBF", "LOG.TXT", "LOG.ADI"}) {
        for (const bool all : {true, false}) {
            SCOPED_TRACE(std::string(name) + (all ? " all" : " unsent"));
            auto table = createLogTable();
            table->OpenTable(KELBO_SAMPLE_DIR, name);
            const ConvDefTable defs = std::string(name) == "LOG.ADI" ? GuessConvDef(*table) : settings.Fields;
            const CardWalk original = walk(*table, defs, settings.UTC, all);
            ASSERT_FALSE(original.records.empty());

            adifexport::Options o = options();
            o.allSend = all;
            o.utcToJst = settings.UTC;
            o.stationCall = "JA1KLB";
            const QString out = dir.filePath("export.adi");
            std::vector<long> progress;
            const adifexport::Summary summary = adifexport::ExportAdifFile(
                *table, defs, o, out.toStdString(), [&](long done, long) { progress.push_back(done); });
            EXPECT_EQ(summary.written, static_cast<long>(original.records.size()));
            EXPECT_TRUE(summary.leftOut.empty());
            EXPECT_EQ(summary.visited, table->RecordCount());
            ASSERT_FALSE(progress.empty());
            EXPECT_EQ(progress.back(), table->RecordCount());

            const AdifFile file = parseAdif(readFile(out));
            EXPECT_EQ(file.header.at("ADIF_VER"), "3.1.4");
            EXPECT_EQ(file.header.at("PROGRAMID"), "KELBO");
            EXPECT_EQ(file.header.at("CREATED_TIMESTAMP"), "20261210 120000");
            ASSERT_EQ(file.records.size(), original.records.size());
            for (std::size_t k = 0; k < file.records.size(); ++k) {
                const CardRecord& r = original.records[k];
                const Fields& f = file.records[k];
                SCOPED_TRACE(MEMBER(r, Call));
                EXPECT_EQ(f.at("CALL"), MEMBER(r, Call));
                // The card's Japanese time is the file's UTC moved on nine hours.
                int y = std::stoi(f.at("QSO_DATE").substr(0, 4)), mo = std::stoi(f.at("QSO_DATE").substr(4, 2)),
                    d = std::stoi(f.at("QSO_DATE").substr(6, 2)), h = std::stoi(f.at("TIME_ON").substr(0, 2)) + 9;
                if (h >= 24) {
                    h -= 24;
                    const int len
                        = mo == 2 ? (y % 4 == 0 ? 29 : 28) : (mo == 4 || mo == 6 || mo == 9 || mo == 11 ? 30 : 31);
                    if (++d > len) {
                        d = 1;
                        if (++mo > 12) {
                            mo = 1;
                            ++y;
                        }
                    }
                }
                EXPECT_EQ(y % 100, r.Year);
                EXPECT_EQ(mo, r.Month);
                EXPECT_EQ(d, r.Day);
                EXPECT_EQ(h, r.Hour);
                EXPECT_EQ(std::stoi(f.at("TIME_ON").substr(2, 2)), r.Minute);
                EXPECT_EQ(f.at("FREQ"), MEMBER(r, Freq));
                EXPECT_EQ(f.at("BAND"), adifvalues::bandOfFrequency(std::stod(MEMBER(r, Freq))));
                EXPECT_EQ(f.at("MODE"), MEMBER(r, Mode));
                EXPECT_EQ(f.at("RST_SENT"), MEMBER(r, Rst));
                EXPECT_EQ(f.at("NAME"), cp932::toUtf8(MEMBER(r, Name)));
                EXPECT_EQ(f.at("QTH"), cp932::toUtf8(MEMBER(r, Qth)));
                EXPECT_EQ(f.at("QSL_SENT"), r.SendChar != '\0' && r.SendChar != ' ' ? "Y" : "N");
                EXPECT_EQ(f.at("QSL_RCVD"), r.RecvChar != '\0' && r.RecvChar != ' ' ? "Y" : "N");
                EXPECT_EQ(f.at("APP_KELBO_QSLMSG"), cp932::toUtf8(MEMBER(r, Qsl)));
                EXPECT_EQ(f.at("STATION_CALLSIGN"), "JA1KLB");
                const std::map<std::string, std::string> managers = {{"VK2FTW", "VK2ABC"}, {"KH6DX", "W6ABC"}};
                const auto manager = managers.find(MEMBER(r, Call));
                if (manager != managers.end()) {
                    EXPECT_EQ(f.at("QSL_VIA"), manager->second);
                } else {
                    EXPECT_EQ(f.count("QSL_VIA"), 0u); // routes such as JARL, DIRECT, G BURO are no managers
                }
            }

            // Read back: the same card lines.
            auto back = createLogTable();
            back->OpenTable(dir.path().toStdString(), "export.adi");
            const CardWalk again = walk(*back, GuessConvDef(*back), true, all);
            ASSERT_EQ(again.records.size(), original.records.size());
            for (std::size_t k = 0; k < again.records.size(); ++k) {
                CardRecord a = original.records[k];
                CardRecord b = again.records[k];
                SCOPED_TRACE(MEMBER(a, Call));
                for (CardRecord* r : {&a, &b}) {
                    r->SendChar = r->SendChar != '\0' && r->SendChar != ' ' ? 'Y' : '\0';
                    r->RecvChar = r->RecvChar != '\0' && r->RecvChar != ' ' ? 'Y' : '\0';
                }
                EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0)
                    << MEMBER(a, Qsl) << " / " << MEMBER(b, Qsl) << " " << int(a.Hour) << ":" << int(a.Minute) << " / "
                    << int(b.Hour) << ":" << int(b.Minute);
            }
        }
    }
}

// A contact log without dates (a real spreadsheet export): no record can be made valid, each is listed with the
// reason, and the file holds the header only. An export over the open table itself is refused and leaves it as it
// was; one into a missing folder leaves nothing.
TEST(AdifExport, InvalidRecordsAndForbiddenTargets)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QFile::copy(QStringLiteral(KELBO_FIXTURES_DIR "/text/log-utf8.csv"), dir.filePath("log.csv")));
    auto table = createLogTable();
    table->OpenTable(dir.path().toStdString(), "log.csv");
    const ConvDefTable defs = GuessConvDef(*table);
    const adifexport::Summary summary
        = adifexport::ExportAdifFile(*table, defs, options(), dir.filePath("out.adi").toStdString());
    EXPECT_EQ(summary.written, 0);
    ASSERT_FALSE(summary.leftOut.empty());
    EXPECT_EQ(summary.leftOut[0].call, "JA1AA");
    EXPECT_EQ(summary.leftOut[0].reason.rfind("日付 00.00.00", 0), 0u) << summary.leftOut[0].reason;
    EXPECT_TRUE(parseAdif(readFile(dir.filePath("out.adi"))).records.empty());

    const std::string before = readFile(dir.filePath("log.csv"));
    EXPECT_THROW(adifexport::ExportAdifFile(*table, defs, options(), dir.filePath("log.csv").toStdString()),
                 KelboError);
    EXPECT_EQ(readFile(dir.filePath("log.csv")), before);
    ASSERT_TRUE(QFile::link(dir.filePath("log.csv"), dir.filePath("link.adi")));
    EXPECT_THROW(adifexport::ExportAdifFile(*table, defs, options(), dir.filePath("link.adi").toStdString()),
                 KelboError);
    EXPECT_EQ(readFile(dir.filePath("log.csv")), before);
    EXPECT_THROW(adifexport::ExportAdifFile(*table, defs, options(), dir.filePath("no/such/out.adi").toStdString()),
                 KelboError);
    EXPECT_FALSE(QFile::exists(dir.filePath("no")));
}

} // namespace
