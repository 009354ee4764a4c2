// The bureau's order from the country file Debian installs, the route and manager a QSL text names, and the times a
// card prints from the Japanese times of the lines.
#include "BureauOrder.h"
#include "CardTime.h"
#include "Contact.h"
#include "CountryFile.h"

#include <QStringList>
#include <algorithm>
#include <gtest/gtest.h>
#include <random>

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

const BureauOrder& debianOrder()
{
    static const BureauOrder order = [] {
        CountryFile f;
        QString error;
        EXPECT_TRUE(f.load(CountryFile::defaultPath(), &error)) << error.toStdString();
        return BureauOrder(std::move(f));
    }();
    return order;
}

struct Sorted
{
    const char* call;
    const char* via;
    const char* bundle;
};

/** Sorts @p cards shuffled by @p order and gives the calls (with their managers) in the order that comes out. */
QStringList bureauSorted(const std::vector<Sorted>& cards, const BureauOrder& order)
{
    std::vector<Sorted> shuffled = cards;
    std::mt19937 rng(21);
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    std::stable_sort(shuffled.begin(), shuffled.end(), [&order](const Sorted& a, const Sorted& b) {
        return order.place(QString::fromLatin1(a.call), QString::fromLatin1(a.via)).key
            < order.place(QString::fromLatin1(b.call), QString::fromLatin1(b.via)).key;
    });
    QStringList out;
    for (const Sorted& s : shuffled) {
        out << QString::fromLatin1(s.call)
                + (*s.via ? QStringLiteral(" via ") + QString::fromLatin1(s.via) : QString());
    }
    return out;
}

QStringList callsOf(const std::vector<Sorted>& cards)
{
    QStringList out;
    for (const Sorted& s : cards) {
        out << QString::fromLatin1(s.call)
                + (*s.via ? QStringLiteral(" via ") + QString::fromLatin1(s.via) : QString());
    }
    return out;
}

TEST(BureauOrder, SortsAsTheBureauDoesByAreaPrefixSuffixThenDxccEntityAndUsaDistrict)
{
    // In the order a bureau wants them, with the bundle each goes into.
    const std::vector<Sorted> expected = {
        {"JA1AA", "", "1エリア"},
        {"JA1ABC/3", "", "1エリア"}, // the card goes to the operator, whose home area is 1
        {"JA1ABD", "", "1エリア"},
        {"3D2AG", "JA1XYZ", "1エリア"}, // a card via a manager goes with the manager's call
        {"DL/JA1ZZ", "", "1エリア"},
        {"JD1BME", "", "1エリア"}, // Minami Torishima, an exact call of the file, goes through Japan's bureau
        {"JH1AA", "", "1エリア"},
        {"JR1ABC", "", "1エリア"},
        {"7J1AAA", "", "1エリア"},
        {"7K3ABC", "", "1エリア"}, // 7K1–7N4 were issued in area 1
        {"7N4ZZZ", "", "1エリア"},
        {"8J1RL", "", "1エリア"}, // the Antarctic base, listed there by the file, is still Japan's bureau's
        {"JA2AAA", "", "2エリア"},
        {"JA0AA", "", "0エリア"},
        {"JS0ZZ", "", "0エリア"},
        {"3D2AG", "", "Fiji"},
        {"KH0/DL1A", "", "Fed. Rep. of Germany"},
        {"DL2MCR", "", "Fed. Rep. of Germany"},
        {"DO1ABC", "", "Fed. Rep. of Germany"},
        {"EA1XYZ", "", "Spain"},
        {"2E0ABC", "", "England"},
        {"G4ABC", "", "England"},
        {"M0XYZ", "", "England"},
        {"GW4ABC", "", "Wales"},
        {"MW0XYZ", "", "Wales"},
        {"DS1ABC", "", "Republic of Korea"},
        {"I1ABC", "", "Italy"},
        {"IT9ABC", "", "Italy"}, // Sicily counts for Italy
        {"AA1AA", "", "United States of America 1エリア"},
        {"K1ABC", "", "United States of America 1エリア"},
        {"W1AW", "", "United States of America 1エリア"},
        {"W1AW/P", "", "United States of America 1エリア"},
        {"N2XYZ", "", "United States of America 2エリア"},
        {"KA4ABC", "", "United States of America 4エリア"},
        {"WB4ABC", "", "United States of America 4エリア"},
        {"K0AAA", "", "United States of America 0エリア"},
        {"KL7ABC", "", "Alaska"},
        {"R3ABC", "", "European Russia"},
        {"RA3XYZ", "", "European Russia"},
        {"UA1ABC", "", "European Russia"},
        {"UA9ABC", "", "Asiatic Russia"},
        {"VK2ABC", "VIA", "Australia"}, // a manager text that is no call changes nothing
        {"Q1ABC", "", "Q1"}, // no entity: by prefix
        {"BAD", "", ""},
    };
    const BureauOrder& order = debianOrder();
    ASSERT_TRUE(order.hasCountryFile());
    EXPECT_EQ(bureauSorted(expected, order), callsOf(expected));
    for (const Sorted& s : expected) {
        const BureauPlace p = order.place(QString::fromLatin1(s.call), QString::fromLatin1(s.via));
        EXPECT_EQ(p.bundle, QString::fromUtf8(s.bundle)) << s.call;
        EXPECT_EQ(p.domestic, QString::fromUtf8(s.bundle).size() == 4 && p.bundle.endsWith(QStringLiteral("エリア")))
            << s.call;
    }
    EXPECT_EQ(order.place(QStringLiteral(" ja1abc ")).key, order.place(QStringLiteral("JA1ABC")).key);
}

TEST(BureauOrder, WithoutTheCountryFileForeignCallsSortByPrefix)
{
    const std::vector<Sorted> expected = {
        {"JA1AA", "", "1エリア"},  {"JA1ABD", "", "1エリア"},
        {"JA1B", "", "1エリア"},   {"DL/JA1ZZ", "", "1エリア"},
        {"JH1AA", "", "1エリア"},  {"JR1ABC/3", "", "1エリア"},
        {"7K1ABC", "", "1エリア"}, {"JA2AAA", "", "2エリア"},
        {"8J9A", "", "9エリア"},   {"JA0AA", "", "0エリア"},
        {"JS0ZZ", "", "0エリア"},  {"3D2AG", "", "3D2"},
        {"KH0/DL1A", "", "DL1"},   {"DL2MCR", "", "DL2"},
        {"VK2ABC", "", "VK2"},     {"W1AW", "", "W1"},
        {"W1AW/P", "", "W1"},      {"", "", ""},
        {"BAD", "", ""},
    };
    const BureauOrder none;
    EXPECT_EQ(bureauSorted(expected, none), callsOf(expected));
    for (const Sorted& s : expected) {
        EXPECT_EQ(none.place(QString::fromLatin1(s.call)).bundle, QString::fromUtf8(s.bundle)) << s.call;
        EXPECT_EQ(bureauKey(QString::fromLatin1(s.call)), none.place(QString::fromLatin1(s.call)).key);
    }
}

TEST(BureauOrder, PortableCallsAndWhereTheStationWas)
{
    struct
    {
        const char* call;
        const char* home;
        bool inJapan;
        const char* country; // printed on the card
    } cases[] = {
        {"JA1ABC/3", "JA1ABC", true, ""},
        {"DL/JA1ABC", "JA1ABC", false, "Fed. Rep. of Germany"},
        {"JA1ABC/KH6", "JA1ABC", false, "Hawaii"},
        {"KH6/W1AW", "W1AW", false, "Hawaii"},
        {"VP2V/W1AW", "W1AW", false, "British Virgin Islands"},
        {"W1AW/P", "W1AW", false, "United States of America"},
        {"UA9ABC/1", "UA9ABC", false, "European Russia"},
        {"JD1/JA6GXK", "JA6GXK", true, "Minami Torishima"},
        {"JD1BME", "JD1BME", true, "Minami Torishima"},
        {"8J1RL", "8J1RL", false, "Antarctica"},
        {"3D2AG/P", "3D2AG", false, "Rotuma Island"},
        {"JA1ABC/MM", "JA1ABC", false, ""}, // at sea: in no country, so UTC
        {"/", "", false, ""},
        {"", "", false, ""},
    };
    const BureauOrder& order = debianOrder();
    for (const auto& c : cases) {
        const QString call = QString::fromLatin1(c.call);
        EXPECT_EQ(homeCall(call), QString::fromLatin1(c.home)) << c.call;
        EXPECT_EQ(order.inJapan(call), c.inJapan) << c.call;
        EXPECT_EQ(order.locationName(call), QString::fromLatin1(c.country)) << c.call;
    }
    // Without the country file Japan is told by the prefix alone.
    const BureauOrder none;
    EXPECT_TRUE(none.inJapan(QStringLiteral("JA1ABC/3")));
    EXPECT_TRUE(none.inJapan(QStringLiteral("7K3ABC")));
    EXPECT_FALSE(none.inJapan(QStringLiteral("DL/JA1ABC")));
    EXPECT_FALSE(none.inJapan(QStringLiteral("W1AW")));
    EXPECT_EQ(none.locationName(QStringLiteral("DL2MCR")), QString());
}

TEST(CountryFile, ReadsOverridesAndExactCallsAndRefusesABrokenFile)
{
    CountryFile f;
    ASSERT_TRUE(f.parse("Testland:  05:  08:  NA:   37.60:    91.87:     5.0:  T0:\n"
                        "    T0,T1(4)[7]<1.0/2.0>{SA}~-3.0~,=T9ABC/P(3);\n"
                        "Sub Testland: 05: 08: NA: 1: 2: 3:  *T1X:\n"
                        "    T1X;\n"
                        "Other Land: 05: 08: NA: 1: 2: 3:  T9:\n    T9;\n"));
    ASSERT_EQ(f.entityCount(), 3);
    EXPECT_EQ(f.lookup(QStringLiteral("T1ABC")), 0);
    EXPECT_EQ(f.lookup(QStringLiteral("T1XYZ")), 1) << "the longest prefix wins";
    EXPECT_EQ(f.entity(1).bundle, 0) << "a part counted by other awards goes with its DXCC entity";
    EXPECT_FALSE(f.entity(1).dxcc);
    EXPECT_EQ(f.lookup(QStringLiteral("T9ABC/P")), 0) << "an exact call wins over its prefix";
    EXPECT_EQ(f.lookup(QStringLiteral("T9ABC")), 2);
    EXPECT_EQ(f.lookup(QStringLiteral("X1ABC")), -1);
    EXPECT_EQ(f.byMainPrefix(QStringLiteral("T9")), 2);

    for (const char* broken : {"", "  \n", "Testland: 05: 08: NA: 1: 2: 3: T0:\n    T0\n", "Testland: 05: 08;",
                               "Testland: 05: 08: NA: 1: 2: 3: T0:\n    T0(4;\n",
                               "Testland: 05: 08: NA: 1: 2: 3: T0:\n    T0,=T1 ABC#;\n"}) {
        QString error;
        EXPECT_FALSE(f.parse(broken, &error)) << broken;
        EXPECT_FALSE(error.isEmpty()) << broken;
        EXPECT_TRUE(f.isEmpty()) << broken;
    }
    QString error;
    EXPECT_FALSE(f.load(QStringLiteral("/no/such/cty.dat"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("/no/such/cty.dat")));
}

TEST(QslRoute, RoutesAreRoutesAndOnlyACallAfterViaIsAManager)
{
    struct
    {
        const char* qsl;
        const char* via;
        QslRoute route;
        const char* remarks;
    } cases[] = {
        {"VIA[JARL]", "", QslRoute::Bureau, ""},
        {"VIA[G BURO]", "", QslRoute::Bureau, ""},
        {"VIA[BUREAU]", "", QslRoute::Bureau, ""},
        {"VIA[RSGB BUREAU OR DIRECT E-QSL & CLUBLOG]", "", QslRoute::Bureau, ""},
        {"VIA[DIRECT]", "", QslRoute::Direct, ""},
        {"VIA[DIRECT WITH 1 IRC OR 2$ ( NO BURO)]", "", QslRoute::Direct, ""},
        {"VIA[LoTW]", "", QslRoute::Electronic, ""},
        {"VIA[eQSL.net]", "", QslRoute::Electronic, ""},
        {"VIA[LOTW ONLY.NO LONGER RSGB MEMBER.]", "", QslRoute::Electronic, ""},
        {"VIA[NO QSL]", "", QslRoute::NoQsl, ""},
        {"VIA[Sorry, No QSL's at the moment please.]", "", QslRoute::NoQsl, ""},
        {"VIA[VK2ABC]", "VK2ABC", QslRoute::None, ""},
        {"VIA[QSL VIA N7RO]", "N7RO", QslRoute::None, ""},
        {"VIA[VIA MANAGER EA6DB. ( VIA BUREAU OR DIRECT)]", "EA6DB", QslRoute::Bureau, ""},
        {"VIA[DIRECT OR BURO VIA BA4EG]", "BA4EG", QslRoute::Bureau, ""},
        {"MGR[LOTW] VIA[JA2BBB]", "JA2BBB", QslRoute::Electronic, ""},
        {"VIA[P.O. BOX 52852 - SANTIAGO]", "", QslRoute::None, ""}, // an address is no manager
        {"JARL VIA[ W1AW ] REM[TNX FB]", "W1AW", QslRoute::None, "JARL TNX FB"},
        {"JARL", "", QslRoute::Bureau, ""},
        {"NO QSL", "", QslRoute::NoQsl, ""},
        {"ビューロー", "", QslRoute::Bureau, ""},
        {"QSL不要", "", QslRoute::NoQsl, ""},
        {"TNX DIRECT QSL", "", QslRoute::None, "TNX DIRECT QSL"}, // a remark with other words stays a remark
        {"REM[NO QSL]", "", QslRoute::NoQsl, ""},
    };
    for (const auto& t : cases) {
        const QslText q = splitQslText(QString::fromUtf8(t.qsl));
        EXPECT_EQ(q.via, QString::fromLatin1(t.via)) << t.qsl;
        EXPECT_EQ(q.route, t.route) << t.qsl;
        EXPECT_EQ(q.remarks, QString::fromUtf8(t.remarks)) << t.qsl;
    }
    EXPECT_EQ(routeText(QslRoute::Bureau), QStringLiteral("via Bureau"));
    EXPECT_EQ(routeText(QslRoute::Direct), QStringLiteral("Direct"));
    EXPECT_EQ(routeText(QslRoute::Electronic), QString());

    const auto reason = [](const char* qsl) {
        return leftOutReason(parseContact(
            QStringLiteral(R"(24.04.28,1208,DL2MCR,599,14.025,CW,,"","","%1",,,0)").arg(QString::fromUtf8(qsl))));
    };
    EXPECT_EQ(reason("VIA[LoTW]"), QStringLiteral("電子QSLのみ"));
    EXPECT_EQ(reason("VIA[NO QSL]"), QStringLiteral("NO QSL"));
    EXPECT_EQ(reason("VIA[LOTW OR VIA EA6DB]"), QString()) << "a manager takes paper cards";
    EXPECT_EQ(reason("VIA[BURO, LOTW]"), QString());
    EXPECT_EQ(reason(""), QString());
}

TEST(CardTime, JapaneseTimesTurnToUtcWithTheDateRolledBack)
{
    struct
    {
        QDate jst;
        const char* hhmm;
        bool utc;
        QDate date;
        const char* time;
        const char* zone;
    } cases[] = {
        {QDate(2024, 4, 28), "1208", true, QDate(2024, 4, 28), "03:08", "UTC"},
        {QDate(2024, 4, 28), "0900", true, QDate(2024, 4, 28), "00:00", "UTC"},
        {QDate(2024, 4, 28), "0859", true, QDate(2024, 4, 27), "23:59", "UTC"},
        {QDate(2024, 4, 28), "0000", true, QDate(2024, 4, 27), "15:00", "UTC"},
        {QDate(2024, 5, 1), "0830", true, QDate(2024, 4, 30), "23:30", "UTC"}, // month's end
        {QDate(2025, 1, 1), "0005", true, QDate(2024, 12, 31), "15:05", "UTC"}, // year's end
        {QDate(2024, 3, 1), "0300", true, QDate(2024, 2, 29), "18:00", "UTC"}, // leap year
        {QDate(2023, 3, 1), "0300", true, QDate(2023, 2, 28), "18:00", "UTC"},
        {QDate(2000, 1, 1), "0830", true, QDate(1999, 12, 31), "23:30", "UTC"},
        {QDate(2024, 12, 31), "2359", true, QDate(2024, 12, 31), "14:59", "UTC"},
        {QDate(2024, 12, 31), "2359", false, QDate(2024, 12, 31), "23:59", "JST"},
        // What cannot be converted stays in JST and says so.
        {QDate(2024, 4, 28), "2460", true, QDate(2024, 4, 28), "2460", "JST"},
        {QDate(2024, 4, 28), "12:08", true, QDate(2024, 4, 28), "12:08", "JST"},
        {QDate(), "1208", true, QDate(), "12:08", "JST"},
    };
    for (const auto& c : cases) {
        const CardTime t = cardTime(c.jst, QString::fromLatin1(c.hhmm), c.utc);
        EXPECT_EQ(t.date, c.date) << c.hhmm << " " << c.jst.toString().toStdString();
        EXPECT_EQ(t.time, QString::fromLatin1(c.time)) << c.hhmm;
        EXPECT_EQ(t.zone, QString::fromLatin1(c.zone)) << c.hhmm;
    }
}

} // namespace
