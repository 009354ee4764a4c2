// Cards as the operator mails them: what each card carries, read back from the PDF's text layer, the bureau order,
// the card line, and the card program's settings file.
#include "BureauOrder.h"
#include "CardLayout.h"
#include "CardSettings.h"
#include "CardTestSupport.h"
#include "CardoApplication.h"
#include "Contact.h"
#include "CountryFile.h"

#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <random>

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

CardSettings station()
{
    CardSettings s;
    s.call = QStringLiteral("JA1KEL");
    s.name = QStringLiteral("山田 花子");
    s.address = QStringLiteral("東京都渋谷区神宮前 1-2-3");
    s.qth = QStringLiteral("東京都渋谷区");
    s.grid = QStringLiteral("PM95tq");
    s.jcc = QStringLiteral("100113");
    s.rig = QStringLiteral("IC-7300");
    s.antenna = QStringLiteral("3エレ八木");
    s.freeLine = QStringLiteral("移動運用もお待ちしています");
    s.nextCardNumber = 41;
    return s;
}

/** The text of each card printed for @p lines with @p s, zones and countries told by @p order. */
QStringList printed(const QStringList& lines, const CardSettings& s, const BureauOrder& order = BureauOrder())
{
    std::vector<Contact> contacts;
    std::vector<qint64> rows;
    for (const QString& l : lines) {
        contacts.push_back(parseContact(l));
        rows.push_back(static_cast<qint64>(rows.size()));
    }
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("cards.pdf"));
    QString error;
    std::vector<Card> cards = makeCards(contacts, rows, s);
    placeCards(cards, order, s);
    EXPECT_TRUE(writeCardsPdf(pdf, cards, s, &error)) << error.toStdString();
    return cardtest::pdfPages(pdf);
}

const QString kJa = QStringLiteral(
    R"(24.04.28,1208,JE7QAS,59,7.045,SSB,,"木村 子之助","宮城県仙台市","VIA[JA7ZZZ] REM[TNX 1st QSO]",,R,0)");
const QString kDl = QStringLiteral(R"(24.04.29,2359,DL2MCR,599,14.025,CW,100W,"Hans","München","",,,-5)");

TEST(Card, CarriesWhatTheOperatorMailsInTheChosenForms)
{
    struct Case
    {
        const char* what;
        QString dateFormat;
        CardZones zones;
        bool band;
        QStringList expected;
    } cases[] = {
        {"defaults",
         QStringLiteral("yyyy-MM-dd"),
         CardZones::ForeignUtc,
         false,
         {QStringLiteral("2024-04-28"), QStringLiteral("Time (JST)"), QStringLiteral("12:08"), QStringLiteral("7.045"),
          QStringLiteral("MHz")}},
        {"UTC, band, month name",
         QStringLiteral("dd MMM yyyy"),
         CardZones::AllUtc,
         true,
         {QStringLiteral("28 APR 2024"), QStringLiteral("Time (UTC)"), QStringLiteral("03:08"), QStringLiteral("40m"),
          QStringLiteral("Band")}},
        {"slashes", QStringLiteral("yyyy/MM/dd"), CardZones::AllJst, false, {QStringLiteral("2024/04/28")}},
    };
    for (const Case& c : cases) {
        CardSettings s = station();
        s.dateFormat = c.dateFormat;
        s.zones = c.zones;
        s.showBand = c.band;
        const QStringList cards = printed({kJa}, s);
        ASSERT_EQ(cards.size(), 1) << c.what;
        const QString& card = cards[0];
        QStringList expected = c.expected;
        // Own station, the contact's call, name and QTH exactly (digits and kanji as written), mode, report, the
        // manager, the remarks without their labels, the reply and the card's number.
        expected << QStringLiteral("JA1KEL") << QStringLiteral("山田 花子") << QStringLiteral("PM95tq")
                 << QStringLiteral("100113") << QStringLiteral("JE7QAS") << QStringLiteral("木村 子之助")
                 << QStringLiteral("宮城県仙台市") << QStringLiteral("SSB") << QStringLiteral("59")
                 << QStringLiteral("via JA7ZZZ") << QStringLiteral("TNX 1st QSO") << QStringLiteral("TNX QSL")
                 << QStringLiteral("IC-7300") << QStringLiteral("3エレ八木")
                 << QStringLiteral("移動運用もお待ちしています") << QStringLiteral("No. 41");
        for (const QString& e : expected) {
            EXPECT_TRUE(card.contains(e)) << c.what << ": no \"" << e.toStdString() << "\" in\n" << card.toStdString();
        }
        for (const char* raw : {"VIA[", "REM[", "24.04.28", "1208", "SEND", "Pwr"}) {
            EXPECT_FALSE(card.contains(QString::fromLatin1(raw))) << c.what << ": " << raw;
        }
    }
}

TEST(Card, ForeignCardsPrintUtcAndTheCountryAndTheManagerBesideTheCall)
{
    CountryFile countries;
    ASSERT_TRUE(countries.load(CountryFile::defaultPath()));
    const BureauOrder order(std::move(countries));
    const QStringList cards = printed(
        {
            QStringLiteral(R"(25.01.01,0005,DL2MCR,599,14.025,CW,,"Hans","München","VIA[DL BURO]",,,0)"),
            QStringLiteral(R"(24.03.01,0830,3D2AG,59,21.2,SSB,,"","","VIA[JA1XYZ] REM[TNX]",,,0)"),
            QStringLiteral(R"(25.01.01,0005,JA1ABC/3,59,7.045,SSB,,"","","VIA[JARL]",,,0)"),
            QStringLiteral(R"(25.01.01,0005,DL/JA1ABC,59,7.045,SSB,,"","","",,,0)"),
        },
        station(), order);
    ASSERT_EQ(cards.size(), 4);
    struct
    {
        QStringList has;
        QStringList hasNot;
    } expected[] = {
        {{"Time (UTC)", "2024-12-31", "15:05", "Fed. Rep. of Germany", "via Bureau"}, {"JST", "00:05", "BURO"}},
        {{"Time (UTC)", "2024-02-29", "23:30", "Fiji", "via JA1XYZ", "TNX"}, {"JST", "via Bureau"}},
        {{"Time (JST)", "2025-01-01", "00:05", "via Bureau"}, {"UTC", "Japan", "JARL"}},
        {{"Time (UTC)", "2024-12-31", "15:05", "Fed. Rep. of Germany"}, {"JST"}},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        const QString& card = cards[static_cast<qsizetype>(i)];
        for (const QString& e : expected[i].has) {
            EXPECT_TRUE(card.contains(e)) << i << ": no \"" << e.toStdString() << "\" in\n" << card.toStdString();
        }
        for (const QString& e : expected[i].hasNot) {
            EXPECT_FALSE(card.contains(e)) << i << ": \"" << e.toStdString() << "\" in\n" << card.toStdString();
        }
    }

    // The settings: every card in JST, no country.
    CardSettings s = station();
    s.zones = CardZones::AllJst;
    s.entityOnCard = false;
    const QString jst = printed({kDl}, s, order).value(0);
    EXPECT_TRUE(jst.contains(QStringLiteral("Time (JST)")) && jst.contains(QStringLiteral("23:59")))
        << jst.toStdString();
    EXPECT_FALSE(jst.contains(QStringLiteral("Germany")));
}

TEST(Card, ReplyPowerAndShapesFollowTheContact)
{
    const QString odd = QStringLiteral("not a card line, 1234");
    const QStringList cards = printed({kDl, odd}, station());
    ASSERT_EQ(cards.size(), 2);
    for (const char* e : {"DL2MCR", "München", "2024-04-29", "14:59", "Time (UTC)", "14.025", "CW", "599", "Pwr",
                          "100W", "PSE QSL", "No. 41"}) {
        EXPECT_TRUE(cards[0].contains(QString::fromUtf8(e))) << e << " in\n" << cards[0].toStdString();
    }
    EXPECT_FALSE(cards[0].contains(QStringLiteral("via")));
    // A line of another shape is still printed as it came, numbered on.
    EXPECT_TRUE(cards[1].contains(odd));
    EXPECT_TRUE(cards[1].contains(QStringLiteral("No. 42")));
}

TEST(Card, ContactsWithOneStationShareCardsOfUpToFive)
{
    QStringList lines;
    for (int day = 1; day <= 7; ++day) {
        lines << QStringLiteral(R"(24.05.%1,0900,JA1ZQX,59,7.045,SSB,,"","","",,,0)").arg(day, 2, 10, QLatin1Char('0'));
        if (day == 2) {
            lines << kDl;
        }
    }
    CardSettings s = station();
    std::vector<Contact> contacts;
    std::vector<qint64> rows;
    for (const QString& l : lines) {
        contacts.push_back(parseContact(l));
        rows.push_back(static_cast<qint64>(rows.size()));
    }
    EXPECT_EQ(makeCards(contacts, rows, s).size(), lines.size()) << "one card per contact unless chosen";

    s.groupContacts = true;
    const std::vector<Card> cards = makeCards(contacts, rows, s);
    ASSERT_EQ(cards.size(), 3u);
    EXPECT_EQ(cards[0].lines, (std::vector<qint64>{0, 1, 3, 4, 5}));
    EXPECT_EQ(cards[1].lines, (std::vector<qint64>{2}));
    EXPECT_EQ(cards[2].lines, (std::vector<qint64>{6, 7}));
    EXPECT_EQ(cards[2].number, 43);

    const QStringList text = printed(lines, s);
    ASSERT_EQ(text.size(), 3);
    for (int day : {1, 2, 3, 4, 5}) {
        EXPECT_TRUE(text[0].contains(QStringLiteral("2024-05-0%1").arg(day))) << day;
    }
    EXPECT_FALSE(text[0].contains(QStringLiteral("2024-05-06")));
    EXPECT_FALSE(text[0].contains(QStringLiteral("Pwr"))) << "no power column when no contact has one";
}

TEST(Card, FontReadsBackAndTheSheetIsAPostcard)
{
    EXPECT_EQ(QFontInfo(cardFont(10)).family(), QStringLiteral("BIZ UDPGothic")) << "fonts-morisawa-bizud-gothic";
    EXPECT_EQ(QFontInfo(cardFont(10, true)).styleName(), QStringLiteral("Bold")) << "a real bold face";
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("card.pdf"));
    std::vector<Card> one(1);
    one[0].contacts.push_back(parseContact(kJa));
    one[0].lines.push_back(0);
    ASSERT_TRUE(writeCardsPdf(pdf, one, station(), nullptr));
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    // 100 x 148 mm in points.
    EXPECT_TRUE(bytes.contains("/MediaBox [0 0 283") || bytes.contains("/MediaBox [0 0 284")) << "postcard size";

    QString error;
    EXPECT_FALSE(writeCardsPdf(dir.filePath(QStringLiteral("no/such/folder/c.pdf")), one, station(), &error));
    EXPECT_FALSE(error.isEmpty());
}

using Word = cardtest::PdfWord;
using cardtest::pdfWords;

/** Page @p page of @p pdf at @p dpi in grey. */
QImage rendered(const QString& pdf, int dpi)
{
    QTemporaryDir dir;
    const QString stem = dir.filePath(QStringLiteral("page"));
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"), QStringLiteral("-png"),
                       QStringLiteral("-singlefile"), pdf, stem});
    return QImage(stem + QStringLiteral(".png")).convertToFormat(QImage::Format_Grayscale8);
}

TEST(Card, ADxStationReadsTheCallAndTheBureauHasItsMargin)
{
    CardSettings s = station();
    s.address = QStringLiteral("東京都渋谷区神宮前 1-2-3 ") + QStringLiteral("ながいながい住所の続き ").repeated(6);
    const QString line = QStringLiteral(R"(24.04.28,1208,JA0OOO,59,7.045,SSB,,"","","VIA[JH0OQO] REM[%1]",,,0)")
                             .arg(QStringLiteral("TNX FB QSO ").repeated(40));
    std::vector<Card> one(1);
    one[0].contacts.push_back(parseContact(line));
    one[0].lines.push_back(0);
    QTemporaryDir dir;
    const QString slashed = dir.filePath(QStringLiteral("slashed.pdf"));
    ASSERT_TRUE(writeCardsPdf(slashed, one, s, nullptr));

    const std::vector<Word> words = pdfWords(slashed);
    ASSERT_FALSE(words.empty());
    const auto call
        = std::find_if(words.begin(), words.end(), [](const Word& w) { return w.text == QStringLiteral("JA0OOO"); });
    ASSERT_NE(call, words.end()) << "the text layer reads the zero as 0";
    const double pageHeight = 420;
    for (const Word& w : words) {
        if (w.text != call->text) {
            EXPECT_LT(w.box.height(), call->box.height())
                << "the destination call is the largest text: " << w.text.toStdString();
        }
        EXPECT_GE(w.box.height(), 6.9) << "nothing shrinks below a legible size: " << w.text.toStdString();
        EXPECT_LE(w.box.bottom(), pageHeight - 28.3) << "the lowest 10 mm stay free: " << w.text.toStdString();
    }
    EXPECT_NE(
        std::find_if(words.begin(), words.end(), [](const Word& w) { return w.text == QStringLiteral("JH0OQO"); }),
        words.end());
    EXPECT_TRUE(cardtest::pdfText(slashed).contains(QStringLiteral("…"))) << "what does not fit is shortened";

    // Nothing at all is drawn in the lowest 10 mm (frames and lines included).
    const QImage page = rendered(slashed, 50);
    ASSERT_FALSE(page.isNull());
    const int free = static_cast<int>(page.height() * 10.0 / 148.0);
    for (int y = page.height() - free; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            ASSERT_GT(qGray(page.pixel(x, y)), 245) << x << "," << y;
        }
    }

    // The slashed zero is drawn, not written: without it the text layer is the same and the picture is not.
    s.slashedZero = false;
    const QString plain = dir.filePath(QStringLiteral("plain.pdf"));
    ASSERT_TRUE(writeCardsPdf(plain, one, s, nullptr));
    EXPECT_EQ(cardtest::pdfText(plain), cardtest::pdfText(slashed));
    EXPECT_NE(rendered(plain, 100), rendered(slashed, 100));
}

TEST(Card, RemarksOfAGroupedCardStayWithTheirContact)
{
    CardSettings s = station();
    s.groupContacts = true;
    const QStringList lines = {
        QStringLiteral(R"(24.05.01,0900,JA1ZQX,59,7.045,SSB,,"","","REM[FIRST]",,,0)"),
        QStringLiteral(R"(24.05.02,0900,JA1ZQX,59,7.045,SSB,,"","","",,,0)"),
        QStringLiteral(R"(24.05.03,0900,JA1ZQX,59,7.045,SSB,,"","","REM[FIRST]",,,0)"),
    };
    std::vector<Contact> contacts;
    std::vector<qint64> rows;
    for (const QString& l : lines) {
        contacts.push_back(parseContact(l));
        rows.push_back(static_cast<qint64>(rows.size()));
    }
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("grouped.pdf"));
    ASSERT_TRUE(writeCardsPdf(pdf, makeCards(contacts, rows, s), s, nullptr));
    std::vector<double> dates;
    std::vector<double> remarks;
    for (const Word& w : pdfWords(pdf)) {
        if (w.text.startsWith(QStringLiteral("2024-05-0"))) {
            dates.push_back(w.box.top());
        } else if (w.text == QStringLiteral("FIRST")) {
            remarks.push_back(w.box.top());
        }
    }
    ASSERT_EQ(dates.size(), 3u);
    ASSERT_EQ(remarks.size(), 2u) << "a remark given twice is printed with each of its contacts";
    EXPECT_TRUE(remarks[0] > dates[0] && remarks[0] < dates[1]) << "under the first contact";
    EXPECT_TRUE(remarks[1] > dates[2]) << "under the third contact";
}

TEST(CardLine, FieldsDatesAndLabelledRemarks)
{
    const Contact c = parseContact(
        QStringLiteral(R"(99.12.31,2330,JA1ZQX/1,59,7.045,SSB,10W,"佐藤, 一郎","大阪府","say "hi"",F,R,0)"));
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.date, QDate(1999, 12, 31)) << "a two-digit year ahead of today is last century's";
    EXPECT_EQ(parseContact(kJa).date, QDate(2024, 4, 28));
    EXPECT_EQ(c.call, QStringLiteral("JA1ZQX/1"));
    EXPECT_EQ(c.power, QStringLiteral("10W"));
    EXPECT_EQ(c.name, QStringLiteral("佐藤, 一郎"));
    EXPECT_EQ(c.qsl, QStringLiteral(R"(say "hi")"));
    EXPECT_TRUE(c.cardReceived());
    EXPECT_FALSE(parseContact(QStringLiteral(R"(00.00.00,0000,X,,,,,"","",""," ",,0)")).date.isValid());
    EXPECT_FALSE(parseContact(QStringLiteral(R"(00.00.00,0000,X,,,,,"","",""," ",,0)")).cardReceived());
    EXPECT_FALSE(parseContact(QStringLiteral("24.04.28,1208,JA1ZQX")).ok);

    struct
    {
        const char* qsl;
        const char* via;
        const char* remarks;
    } cases[] = {
        {"VIA[VK2ABC]", "VK2ABC", ""},
        {"JARL VIA[ W1AW ] REM[TNX FB]", "W1AW", "JARL TNX FB"},
        {"My｢599｣ END｢1234｣", "", "My 599 END 1234"},
        {"QSL{direct} 備考<初交信>", "", "QSL direct 備考 初交信"},
        {"MGR[JA1AAA] VIA[JA2BBB]", "JA1AAA", ""},
        {"TNX (FB) [sic] REM[]", "", "TNX (FB) [sic]"},
    };
    for (const auto& t : cases) {
        const QslText q = splitQslText(QString::fromUtf8(t.qsl));
        EXPECT_EQ(q.via, QString::fromUtf8(t.via)) << t.qsl;
        EXPECT_EQ(q.remarks, QString::fromUtf8(t.remarks)) << t.qsl;
    }
    EXPECT_EQ(bandOf(QStringLiteral("7.045")), QStringLiteral("40m"));
    EXPECT_EQ(bandOf(QStringLiteral("433")), QStringLiteral("70cm"));
    EXPECT_EQ(bandOf(QStringLiteral("8.0")), QString());
    EXPECT_EQ(bandOf(QStringLiteral("SAT")), QString());
}

TEST(CardSettingsFile, KeepsWhatTheOperatorSetAndSurvivesBadValues)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/kelbo-cardprinter.ini"));
    CardSettings s = station();
    s.freeLine = QStringLiteral("TNX FB QSO, 73 & GL");
    s.dateFormat = QStringLiteral("dd MMM yyyy");
    s.zones = CardZones::AllJst;
    s.entityOnCard = false;
    s.leaveOutElectronic = false;
    s.groupContacts = true;
    s.nextCardNumber = 1234;
    ASSERT_TRUE(saveCardSettings(s, path));
    const CardSettings back = loadCardSettings(path);
    EXPECT_EQ(back.call, s.call);
    EXPECT_EQ(back.name, s.name);
    EXPECT_EQ(back.freeLine, s.freeLine);
    EXPECT_EQ(back.dateFormat, s.dateFormat);
    EXPECT_EQ(back.zones, CardZones::AllJst);
    EXPECT_FALSE(back.entityOnCard);
    EXPECT_FALSE(back.leaveOutElectronic);
    EXPECT_TRUE(back.groupContacts);
    EXPECT_EQ(back.nextCardNumber, 1234);

    // Written by hand: a comma in a text, an unknown date form, a number that is none.
    QFile f(dir.filePath(QStringLiteral("hand.ini")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Station]\nCall=JA1KEL\nFreeLine=TNX FB QSO, 73\n[Card]\nDateFormat=%s%s\nNextNumber=-3x\n"
            "TimeZone=UTC\n");
    f.close();
    const CardSettings hand = loadCardSettings(f.fileName());
    EXPECT_EQ(hand.freeLine, QStringLiteral("TNX FB QSO, 73"));
    EXPECT_EQ(hand.dateFormat, QStringLiteral("yyyy-MM-dd"));
    EXPECT_EQ(hand.nextCardNumber, 1);
    EXPECT_EQ(hand.zones, CardZones::AllUtc) << "the zone setting of before: every card in UTC";

    const CardSettings none = loadCardSettings(dir.filePath(QStringLiteral("missing.ini")));
    EXPECT_TRUE(none.call.isEmpty());
    EXPECT_EQ(none.zones, CardZones::ForeignUtc);
    EXPECT_TRUE(none.entityOnCard);
    EXPECT_TRUE(none.leaveOutElectronic);
    EXPECT_EQ(none.nextCardNumber, 1);
}

} // namespace

namespace {

TEST(CardProgram, WithoutTheCountryFileSortsByPrefixAndSaysSo)
{
    QTemporaryDir dir;
    qputenv("KELBO_COUNTRY_FILE", dir.filePath(QStringLiteral("missing-cty.dat")).toUtf8());
    CardoApplication none(dir.filePath(QStringLiteral("a.ini")));
    qunsetenv("KELBO_COUNTRY_FILE");
    CardoApplication debian(dir.filePath(QStringLiteral("b.ini")));
    EXPECT_TRUE(none.countryNote().contains(QStringLiteral("missing-cty.dat"))) << none.countryNote().toStdString();
    EXPECT_FALSE(none.bureauOrder().hasCountryFile());
    EXPECT_TRUE(debian.countryNote().isEmpty()) << debian.countryNote().toStdString();
    for (CardoApplication* app : {&none, &debian}) {
        app->AddLogPos(QStringLiteral(R"(24.04.28,1208,DS1ABC,59,7.045,SSB,,"","","",,,0)"), 1);
        app->AddLogPos(QStringLiteral(R"(24.04.28,1208,EA1XYZ,59,7.045,SSB,,"","","",,,0)"), 2);
        app->AddLogPos(QStringLiteral(R"(24.04.28,1208,DO1ABC,59,7.045,SSB,,"","","",,,0)"), 3);
    }
    // By prefix DS1 lands between DO1 and EA1; by country Korea (HL) comes after Germany (DL) and Spain (EA).
    EXPECT_EQ(none.printOrder({0, 1, 2}), (QList<int>{2, 0, 1}));
    EXPECT_EQ(debian.printOrder({0, 1, 2}), (QList<int>{2, 1, 0}));
    EXPECT_EQ(none.lines()[0].bundle, QStringLiteral("DS1"));
    EXPECT_EQ(debian.lines()[0].bundle, QStringLiteral("Republic of Korea"));
}

} // namespace
