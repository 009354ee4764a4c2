// Card designs: each shipped design puts every element into its box (read back from the PDF's text layer, after a
// printer's correction too), design files are read strictly, and the design for foreign stations carries nothing a
// foreign operator cannot read.
#include "BureauOrder.h"
#include "CardDesign.h"
#include "CardLayout.h"
#include "CardSettings.h"
#include "CardTestSupport.h"
#include "CardoApplication.h"
#include "CountryFile.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr double kPt = 72.0 / 25.4; // points in a millimetre
constexpr double kSlack = 0.5 * kPt; // how far a word may stand out of its box

CardSettings station()
{
    CardSettings s;
    s.call = QStringLiteral("JA1KEL");
    s.name = QStringLiteral("山田 花子");
    s.address = QStringLiteral("東京都渋谷区神宮前 1-2-3");
    s.qth = QStringLiteral("東京都渋谷区");
    s.nameRoman = QStringLiteral("Hanako Yamada");
    s.addressRoman = QStringLiteral("1-2-3 Jingumae, Shibuya-ku, Tokyo");
    s.qthRoman = QStringLiteral("Shibuya, Tokyo");
    s.grid = QStringLiteral("PM95tq");
    s.jcc = QStringLiteral("100113");
    s.rig = QStringLiteral("IC-7300");
    s.antenna = QStringLiteral("3エレ八木");
    s.freeLine = QStringLiteral("移動運用もお待ちしています");
    s.nextCardNumber = 41;
    return s;
}

const QString kJa = QStringLiteral(
    R"(24.04.28,1208,JE7QAS,59,7.045,SSB,,"木村 子之助","宮城県仙台市","VIA[JA7ZZZ] REM[TNX 1st QSO]",,R,0)");
const QString kDl
    = QStringLiteral(R"(24.04.29,2359,DL2MCR,599,14.025,CW,100W,"Hans","München","VIA[DL BURO] REM[Hope 20m]",,,-5)");

using Word = cardtest::PdfWord;
using cardtest::pdfWords;

/** Writes one card for @p line in @p design (domestic and foreign alike) and reads its words back. */
std::vector<Word> printedWords(const QString& line, const CardDesign& design, const PrinterCalibration& calibration,
                               CardSettings s = station())
{
    static const BureauOrder order = [] {
        CountryFile countries;
        countries.load(CountryFile::defaultPath());
        return BureauOrder(std::move(countries));
    }();
    s.domesticDesign = design.id;
    s.foreignDesign = design.id;
    std::vector<Card> cards = makeCards({parseContact(line)}, {0}, s);
    placeCards(cards, order, s);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("card.pdf"));
    EXPECT_TRUE(writeCardsPdf(pdf, cards, s, nullptr, calibration));
    return pdfWords(pdf);
}

/** @p mm on the page in points, where @p c moves and scales it to. */
QRectF onPage(const QRectF& mm, const PrinterCalibration& c)
{
    const double k = c.scale / 100;
    return QRectF((c.x + mm.x() * k) * kPt, (c.y + mm.y() * k) * kPt, mm.width() * k * kPt, mm.height() * k * kPt);
}

bool inside(const QRectF& word, const QRectF& box)
{
    return box.adjusted(-kSlack, -kSlack, kSlack, kSlack).contains(word);
}

/** The cell of column @p id in the contact table's first row, in mm. */
QRectF cell(const CardDesign& d, const QString& id, bool power)
{
    const QRectF box = d.element(QStringLiteral("contacts"))->box;
    double total = 0;
    double before = -1;
    double width = 0;
    for (const DesignColumn& c : d.columns) {
        if (!c.shown || (c.id == QLatin1String("power") && !power)) {
            continue;
        }
        if (c.id == id) {
            before = total;
            width = c.width;
        }
        total += c.width;
    }
    if (before < 0) {
        return QRectF();
    }
    const double top = box.top() + (d.captions ? 4.5 : 0);
    return QRectF(box.left() + box.width() * before / total, top, box.width() * width / total, d.rowHeight);
}

TEST(CardDesigns, EveryShippedDesignPutsEachElementIntoItsBox)
{
    struct Expect
    {
        const char* element; // an element id, or "col:<column>" for a cell of the contact table's first row
        const char* word;
    };
    struct Case
    {
        const char* design;
        const QString* line;
        PrinterCalibration calibration;
        std::vector<Expect> expected;
    } cases[] = {
        {"plain",
         &kJa,
         {},
         {{"ownCall", "JA1KEL"},
          {"ownName", "山田"},
          {"ownQth", "PM95tq"},
          {"toRadioCaption", "Radio"},
          {"destCall", "JE7QAS"},
          {"manager", "JA7ZZZ"},
          {"opQth", "木村"},
          {"tableCaption", "QSO"},
          {"col:date", "2024-04-28"},
          {"col:time", "12:08"},
          {"col:freq", "7.045"},
          {"col:mode", "SSB"},
          {"col:rst", "59"},
          {"remarks", "1st"},
          {"pseTnx", "QSL"},
          {"rigAntenna", "IC-7300"},
          {"freeLine", "移動運用もお待ちしています"},
          {"seventyThree", "73"},
          {"cardNumber", "41"}}},
        {"plain",
         &kDl,
         {3.5, -2, 100},
         {{"ownCall", "JA1KEL"},
          {"destCall", "DL2MCR"},
          {"route", "Bureau"},
          {"entity", "Germany"},
          {"opQth", "München"},
          {"col:date", "2024-04-29"},
          {"col:time", "14:59"},
          {"col:freq", "14.025"},
          {"col:mode", "CW"},
          {"col:rst", "599"},
          {"col:power", "100W"},
          {"remarks", "Hope"},
          {"pseTnx", "PSE"},
          {"cardNumber", "41"}}},
        {"preprinted",
         &kJa,
         {},
         {{"destCall", "JE7QAS"},
          {"manager", "JA7ZZZ"},
          {"col:date", "2024-04-28"},
          {"col:time", "12:08"},
          {"col:time", "JST"},
          {"col:freq", "7.045"},
          {"col:mode", "SSB"},
          {"col:rst", "59"},
          {"remarks", "1st"},
          {"pseTnx", "TNX"}}},
        {"preprinted",
         &kDl,
         {-1.5, 2.5, 97},
         {{"destCall", "DL2MCR"},
          {"col:date", "2024-04-29"},
          {"col:time", "14:59"},
          {"col:time", "UTC"},
          {"col:freq", "14.025"},
          {"col:mode", "CW"},
          {"col:rst", "599"},
          {"remarks", "Hope"},
          {"pseTnx", "PSE"}}},
        {"english",
         &kJa,
         {},
         {{"ownCall", "JA1KEL"},
          {"ownName", "Hanako"},
          {"ownAddress", "Jingumae,"},
          {"ownQth", "Shibuya,"},
          {"destCall", "JE7QAS"},
          {"manager", "JA7ZZZ"},
          {"col:date", "2024-04-28"},
          {"remarks", "1st"},
          {"rigAntenna", "IC-7300"},
          {"pseTnx", "TNX"}}},
        {"english",
         &kDl,
         {},
         {{"ownName", "Yamada"},
          {"destCall", "DL2MCR"},
          {"route", "Bureau"},
          {"opQth", "Hans"},
          {"col:time", "14:59"},
          {"col:power", "100W"},
          {"cardNumber", "41"}}},
    };
    for (const Case& c : cases) {
        const CardDesign d = shippedCardDesign(QString::fromLatin1(c.design));
        ASSERT_EQ(d.id, QString::fromLatin1(c.design));
        const std::vector<Word> words = printedWords(*c.line, d, c.calibration);
        ASSERT_FALSE(words.empty()) << c.design;
        const bool power = c.line == &kDl;
        const std::string what = std::string(c.design) + " / " + c.line->left(20).toStdString();
        for (const Expect& e : c.expected) {
            const QString id = QString::fromLatin1(e.element);
            const QRectF mm = id.startsWith(QLatin1String("col:")) ? cell(d, id.mid(4), power) : d.element(id)->box;
            const QRectF box = onPage(mm, c.calibration);
            bool found = false;
            bool placed = false;
            for (const Word& w : words) {
                if (w.text == QString::fromUtf8(e.word)) {
                    found = true;
                    placed = placed || inside(w.box, box);
                }
            }
            EXPECT_TRUE(found && placed) << what << ": \"" << e.word << "\" " << (found ? "outside" : "not in") << " "
                                         << e.element;
        }
        // Nothing at all lands outside the boxes of the elements the design shows.
        for (const Word& w : words) {
            bool placed = false;
            for (const DesignElement& e : d.elements) {
                placed = placed || (e.shown && inside(w.box, onPage(e.box, c.calibration)));
            }
            EXPECT_TRUE(placed) << what << ": \"" << w.text.toStdString() << "\" is in no box";
        }
    }
}

TEST(CardDesigns, APrePrintedCardGetsTheContactDataAlone)
{
    const CardDesign d = shippedCardDesign(QStringLiteral("preprinted"));
    QStringList text;
    for (const Word& w : printedWords(kJa, d, {})) {
        text << w.text;
    }
    // The card has its own station, captions, frames and the words "To Radio" printed already.
    for (const char* absent : {"JA1KEL", "山田", "Radio", "Date", "MHz", "Confirming", "73", "No.", "IC-7300"}) {
        EXPECT_FALSE(text.contains(QString::fromUtf8(absent))) << absent;
    }
    EXPECT_TRUE(text.contains(QStringLiteral("JST"))) << "without a caption the time names its zone";
}

TEST(CardDesigns, RemarksOfAGroupedCardGoUnderTheTableWhenItsBoxHasNoRoomForThem)
{
    const CardDesign d = shippedCardDesign(QStringLiteral("preprinted"));
    CardSettings s = station();
    s.groupContacts = true;
    s.domesticDesign = d.id;
    std::vector<Contact> contacts;
    for (const char* l : {R"(24.05.01,0900,JA1ZQX,59,7.045,SSB,,"","","REM[FB one]",,,0)",
                          R"(24.05.02,0900,JA1ZQX,59,7.045,SSB,,"","","",,,0)",
                          R"(24.05.03,0900,JA1ZQX,59,7.045,SSB,,"","","REM[FB three]",,,0)"}) {
        contacts.push_back(parseContact(QString::fromLatin1(l)));
    }
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("grouped.pdf"));
    ASSERT_TRUE(writeCardsPdf(pdf, makeCards(contacts, {0, 1, 2}, s), s, nullptr));
    const QRectF table = onPage(d.element(QStringLiteral("contacts"))->box, {});
    const QRectF remarks = onPage(d.element(QStringLiteral("remarks"))->box, {});
    std::vector<Word> inTable;
    std::vector<Word> inRemarks;
    for (const Word& w : pdfWords(pdf)) {
        if (inside(w.box, table)) {
            inTable.push_back(w);
        } else if (inside(w.box, remarks)) {
            inRemarks.push_back(w);
        }
    }
    QStringList remarkText;
    for (const Word& w : inRemarks) {
        remarkText << w.text;
    }
    EXPECT_EQ(remarkText.join(QLatin1Char(' ')), QStringLiteral("2024-05-01 FB one 2024-05-03 FB three"));
    int dates = 0;
    for (const Word& w : inTable) {
        dates += w.text.startsWith(QStringLiteral("2024-05-0")) ? 1 : 0;
        EXPECT_FALSE(w.text == QStringLiteral("FB")) << "no remark squeezed between the rows";
        EXPECT_GE(w.box.height(), kLegiblePoints - 0.1) << w.text.toStdString();
    }
    EXPECT_EQ(dates, 3);
}

TEST(CardDesigns, TheEnglishDesignPrintsNothingOutsideLatin1)
{
    const CardDesign d = shippedCardDesign(QStringLiteral("english"));
    CardSettings s = station();
    s.addressRoman = QStringLiteral("1-2-3 Jingumae, Shibuya-ku, Tokyo 150-0001, Japan, ")
                         .repeated(4); // too long: shortened with dots, not with "…"
    for (const QString& line : {kJa, kDl}) {
        QStringList text;
        for (const Word& w : printedWords(line, d, {}, s)) {
            text << w.text;
            for (const QChar ch : w.text) {
                EXPECT_LE(ch.unicode(), 0xff) << "\"" << w.text.toStdString() << "\" on a card abroad";
            }
        }
        EXPECT_TRUE(text.contains(QStringLiteral("Hanako"))) << text.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(text.join(QLatin1Char(' ')).contains(QStringLiteral("..."))) << "the long address is shortened";
    }

    // A romanised line left empty is left out, never printed in Japanese instead.
    s.nameRoman.clear();
    s.qthRoman.clear();
    const std::vector<Word> words = printedWords(kJa, d, {}, s);
    const auto has = [&words](const char* t) {
        return std::any_of(words.begin(), words.end(), [t](const Word& w) { return w.text == QString::fromUtf8(t); });
    };
    EXPECT_FALSE(has("Hanako"));
    EXPECT_FALSE(has("QTH")) << "no QTH of the own station nor of a station with a Japanese QTH";
    EXPECT_TRUE(has("PM95tq")) << "the rest of the line stays";
}

/** Writes @p json as "<name>" in @p dir and reads it as a design. */
bool readDesign(const QDir& dir, const char* name, const QByteArray& json, CardDesign& d, QString* error)
{
    QFile f(dir.filePath(QString::fromLatin1(name)));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(json);
    f.close();
    return loadCardDesign(f.fileName(), d, error);
}

TEST(CardDesignFile, ABadValueIsRefusedNamingTheFileTheKeyAndTheValue)
{
    QTemporaryDir dir;
    struct Case
    {
        const char* json;
        const char* named; // what the message must name besides the file
    } cases[] = {
        {R"({"elements": {"destCall": {"points": -3}}})", R"("destCall.points" の値 "-3")"},
        {R"({"elements": {"destCall": {"points": 6.5}}})", R"("destCall.points" の値 "6.5")"},
        {R"({"elements": {"destCall": {"points": 400}}})", R"("destCall.points" の値 "400")"},
        {R"({"elements": {"ownCall": {"width": 200}}})", R"("ownCall.width" の値 "200")"},
        {R"({"elements": {"ownCall": {"x": -1}}})", R"("ownCall.x" の値 "-1")"},
        {R"({"elements": {"pseTnx": {"y": 135}}})", R"("pseTnx.height" の値 "8")"}, // into the bureau's margin
        {R"({"elements": {"remarks": {"height": 0}}})", R"("remarks.height" の値 "0")"},
        {R"({"elements": {"remarks": {"height": 1e999}}})", "JSON"},
        {R"({"elements": {"destCall": {"bold": "yes"}}})", R"("destCall.bold" の値 "yes")"},
        {R"({"elements": {"destCall": {"align": "middle"}}})", R"("destCall.align" の値 "middle")"},
        {R"({"elements": {"logo": {"x": 1}}})", R"("elements.logo")"},
        {R"({"elements": {"text21": {"x": 1}}})", R"("elements.text21")"},
        {R"({"elements": {"destCall": {"colour": "red"}}})", R"("destCall.colour")"},
        {R"({"elements": {"contacts": {"columns": {"date": {"width": 0}}}}})",
         R"("contacts.columns.date.width" の値 "0")"},
        {R"({"elements": {"contacts": {"columns": {"qth": {}}}}})", R"("contacts.columns.qth")"},
        {R"({"size": {"width": 148, "height": 100}})", R"("size" の値 "148 x 100")"},
        {R"({"format": 2})", R"("format" の値 "2")"},
        {R"({"background": "missing.png"})", R"("background" の値 ")"},
        {R"({"elements": [1, 2]})", R"("elements")"},
        {R"({"title": "x", )", "JSON"},
    };
    for (const Case& c : cases) {
        CardDesign d;
        d.title = QStringLiteral("untouched");
        QString error;
        EXPECT_FALSE(readDesign(QDir(dir.path()), "my.json", c.json, d, &error)) << c.json;
        EXPECT_TRUE(error.startsWith(QStringLiteral("デザイン \"my.json\": "))) << error.toStdString();
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.named))) << c.json << "\n" << error.toStdString();
        EXPECT_EQ(d.title, QStringLiteral("untouched")) << "a refused design changes nothing";
    }
}

TEST(CardDesignFile, WhatIsWrittenReadsBackAndTheShippedDesignsStayThere)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("designs"));
    // A design written by hand: what it leaves out keeps the plain card's values, an element it leaves out is not
    // printed.
    CardDesign hand;
    QString error;
    ASSERT_TRUE(parseCardDesign(R"({"title": "手書き", "elements": {"destCall": {"y": 20},
                                    "text2": {"x": 10, "y": 100, "width": 50, "height": 6, "text": "Hope to CU"}}})",
                                hand, &error, folder + QStringLiteral("/hand.json")))
        << error.toStdString();
    EXPECT_EQ(hand.id, QStringLiteral("hand"));
    const CardDesign plain = shippedCardDesign(QStringLiteral("plain"));
    EXPECT_EQ(hand.element(QStringLiteral("destCall"))->box, QRectF(8, 20, 84, 11.5));
    EXPECT_EQ(hand.element(QStringLiteral("destCall"))->points, 30);
    EXPECT_FALSE(hand.element(QStringLiteral("ownCall"))->shown);
    EXPECT_EQ(hand.element(QStringLiteral("text2"))->text, QStringLiteral("Hope to CU"));

    // Every shipped design and the hand-written one survive a write and a read.
    std::vector<CardDesign> all = shippedCardDesigns();
    all.push_back(hand);
    for (CardDesign d : all) {
        CardDesign back;
        ASSERT_TRUE(parseCardDesign(cardDesignJson(d), back, &error)) << d.id.toStdString() << error.toStdString();
        back.id = d.id;
        back.shipped = d.shipped;
        EXPECT_EQ(back, d) << d.id.toStdString();
    }

    // Saved with a background picture beside it; a broken file and one named as a shipped design are left out
    // and named.
    QDir().mkpath(folder);
    QImage picture(20, 30, QImage::Format_RGB32);
    picture.fill(Qt::yellow);
    ASSERT_TRUE(picture.save(folder + QStringLiteral("/back.png")));
    hand.background = folder + QStringLiteral("/back.png");
    hand.id = QStringLiteral("mine");
    ASSERT_TRUE(saveCardDesign(hand, &error, folder)) << error.toStdString();
    QFile saved(folder + QStringLiteral("/mine.json"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains(R"("background": "back.png")")) << "named beside the design";
    CardDesign bad;
    readDesign(QDir(folder), "broken.json", R"({"elements": {"destCall": {"points": -3}}})", bad, nullptr);
    readDesign(QDir(folder), "plain.json", R"({})", bad, nullptr);
    hand.id = QStringLiteral("plain");
    EXPECT_FALSE(saveCardDesign(hand, &error, folder)) << "a shipped design is never overwritten";

    QStringList problems;
    const std::vector<CardDesign> found = cardDesigns(&problems, folder);
    QStringList ids;
    for (const CardDesign& d : found) {
        ids << d.id;
    }
    EXPECT_EQ(ids,
              (QStringList{QStringLiteral("plain"), QStringLiteral("preprinted"), QStringLiteral("english"),
                           QStringLiteral("mine")}));
    EXPECT_EQ(found.back().background, folder + QStringLiteral("/back.png"));
    EXPECT_EQ(found.front(), plain);
    ASSERT_EQ(problems.size(), 2) << problems.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(problems[0].contains(QStringLiteral("broken.json")));
    EXPECT_TRUE(problems[1].contains(QStringLiteral("plain.json")));

    CardDesign d;
    EXPECT_FALSE(findCardDesign(QStringLiteral("broken"), d, &error, folder));
    EXPECT_TRUE(error.contains(QStringLiteral("destCall.points"))) << error.toStdString();
    EXPECT_EQ(d, plain) << "a caller that goes on prints the plain card";
    EXPECT_FALSE(findCardDesign(QStringLiteral("../../etc/passwd"), d, &error, folder));
    EXPECT_TRUE(findCardDesign(QStringLiteral("english"), d, &error, folder));
}

/** Page 1 of @p pdf at @p dpi. */
QImage rendered(const QString& pdf, int dpi)
{
    QTemporaryDir dir;
    const QString stem = dir.filePath(QStringLiteral("page"));
    QProcess::execute(
        QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf, stem});
    return QImage(stem + QStringLiteral(".png"));
}

TEST(CardDesigns, ABackgroundPictureCoversTheCardButTheBureausMargin)
{
    QTemporaryDir dir;
    QImage png(100, 148, QImage::Format_RGB32);
    png.fill(QColor(0, 0, 255));
    ASSERT_TRUE(png.save(dir.filePath(QStringLiteral("back.png"))));
    QFile svg(dir.filePath(QStringLiteral("back.svg")));
    ASSERT_TRUE(svg.open(QIODevice::WriteOnly));
    svg.write(R"(<svg xmlns="http://www.w3.org/2000/svg" width="100mm" height="148mm" viewBox="0 0 100 148">)"
              R"(<rect width="100" height="148" fill="#00ff00"/></svg>)");
    svg.close();
    for (const auto& [file, colour] :
         {std::pair{"back.png", QColor(0, 0, 255)}, std::pair{"back.svg", QColor(0, 255, 0)}}) {
        CardDesign d = shippedCardDesign(QStringLiteral("preprinted"));
        d.background = dir.filePath(QString::fromLatin1(file));
        ASSERT_TRUE(checkCardDesign(d, nullptr)) << file;
        CardSettings s = station();
        std::vector<Card> cards = makeCards({parseContact(kJa)}, {0}, s);
        const QString pdf = dir.filePath(QStringLiteral("card.pdf"));
        QPdfWriter writer(pdf);
        writer.setResolution(300);
        writer.setPageLayout(cardPageLayout());
        QPainter p(&writer);
        paintDesignedCard(p, writer.logicalDpiX() / 25.4, d, cards[0], s);
        p.end();
        const QImage page = rendered(pdf, 25);
        ASSERT_FALSE(page.isNull());
        const QColor top = page.pixelColor(page.width() / 2, page.height() / 10);
        EXPECT_LE(std::abs(top.red() - colour.red()) + std::abs(top.green() - colour.green())
                      + std::abs(top.blue() - colour.blue()),
                  6)
            << file << ": " << top.name().toStdString();
        EXPECT_EQ(page.pixelColor(page.width() / 2, page.height() - 3), QColor(Qt::white)) << file << ": the margin";
        EXPECT_TRUE(cardtest::pdfText(pdf).contains(QStringLiteral("JE7QAS"))) << "the data over the picture";
    }
}

TEST(CardDesigns, LettersAFontJoinsReadBackApart)
{
    // A font draws "fi" and "fl" as one glyph, which a PDF reader cannot take back to its letters.
    const QString line
        = QStringLiteral(R"(24.04.28,1208,JE7QAS,59,7.045,SSB,,"","Fukushima","REM[TNX fine QSO, flat band]",,,0)");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("card.pdf"));
    CardSettings s = station();
    s.freeLine = QStringLiteral("office fluffy affiliate");
    ASSERT_TRUE(writeCardsPdf(pdf, makeCards({parseContact(line)}, {0}, s), s, nullptr));
    const QString text = cardtest::pdfText(pdf);
    for (const char* e : {"Confirming our QSO", "TNX fine QSO, flat band", "office fluffy affiliate"}) {
        EXPECT_TRUE(text.contains(QString::fromLatin1(e))) << e << " in\n" << text.toStdString();
    }
}

TEST(CardDesigns, ABackgroundThatIsNoPictureStopsPrinting)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("designs"));
    QDir().mkpath(folder);
    QFile png(folder + QStringLiteral("/back.png"));
    ASSERT_TRUE(png.open(QIODevice::WriteOnly));
    png.write("not a picture");
    png.close();
    CardDesign d = shippedCardDesign(QStringLiteral("preprinted"));
    d.id = QStringLiteral("picture");
    d.background = png.fileName();
    QString error;
    ASSERT_TRUE(saveCardDesign(d, &error, folder)) << error.toStdString();
    CardSettings s = station();
    EXPECT_EQ(cardDesignProblem(s, folder), QString());
    s.domesticDesign = QStringLiteral("picture");
    EXPECT_TRUE(cardDesignProblem(s, folder).contains(QStringLiteral("back.png")))
        << cardDesignProblem(s, folder).toStdString();
    QImage(10, 10, QImage::Format_RGB32).save(png.fileName(), "PNG");
    EXPECT_EQ(cardDesignProblem(s, folder), QString());
}

TEST(PrinterCalibration, KeptPerPrinterAndTheTestPageShowsTheBoxesWhereThePrinterPutsThem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kelbo-cardprinter.ini"));
    CardSettings s = station();
    s.domesticDesign = QStringLiteral("preprinted");
    s.foreignDesign = QStringLiteral("english");
    s.calibrations[QStringLiteral("Office_Inkjet")] = {1.5, -0.8, 98.5};
    s.calibrations[QStringLiteral("Label")] = {};
    ASSERT_TRUE(saveCardSettings(s, path));
    const CardSettings back = loadCardSettings(path);
    EXPECT_EQ(back.nameRoman, s.nameRoman);
    EXPECT_EQ(back.addressRoman, s.addressRoman);
    EXPECT_EQ(back.qthRoman, s.qthRoman);
    EXPECT_EQ(back.domesticDesign, QStringLiteral("preprinted"));
    EXPECT_EQ(back.foreignDesign, QStringLiteral("english"));
    EXPECT_EQ(back.calibrationFor(QStringLiteral("Office_Inkjet")), (PrinterCalibration{1.5, -0.8, 98.5}));
    EXPECT_TRUE(back.calibrationFor(QStringLiteral("Label")).isNone());
    EXPECT_TRUE(back.calibrationFor(QString()).isNone()) << "a PDF file is never corrected";
    EXPECT_EQ(back.calibrations.size(), 1u);

    // A value out of range or no number reads as no correction; without a design setting the card stays plain.
    {
        QSettings ini(path, QSettings::IniFormat);
        ini.setValue(QStringLiteral("Calibration/Office_Inkjet/OffsetX"), 55);
        ini.setValue(QStringLiteral("Calibration/Office_Inkjet/Scale"), QStringLiteral("big"));
        ini.remove(QStringLiteral("Card/DomesticDesign"));
    }
    const CardSettings hand = loadCardSettings(path);
    EXPECT_EQ(hand.calibrationFor(QStringLiteral("Office_Inkjet")), (PrinterCalibration{0, -0.8, 100}));
    EXPECT_EQ(hand.domesticDesign, QStringLiteral("plain"));
    const CardSettings fresh = loadCardSettings(dir.filePath(QStringLiteral("none.ini")));
    EXPECT_EQ(fresh.domesticDesign, QStringLiteral("plain"));
    EXPECT_EQ(fresh.foreignDesign, QStringLiteral("plain"));

    // The test page: the grid numbered every 10 mm and the design's boxes named, moved as the printer needs.
    const CardDesign d = shippedCardDesign(QStringLiteral("preprinted"));
    const PrinterCalibration c{2, 3, 100};
    const QString pdf = dir.filePath(QStringLiteral("test.pdf"));
    ASSERT_TRUE(writeTestPagePdf(pdf, d, c, nullptr));
    const std::vector<Word> words = pdfWords(pdf);
    const auto at = [&words](const QString& t) {
        for (const Word& w : words) {
            if (w.text == t) {
                return w.box;
            }
        }
        return QRectF();
    };
    EXPECT_FALSE(at(QStringLiteral("130")).isNull()) << "the grid is numbered";
    const QRectF name = at(designElementTitle(QStringLiteral("remarks")));
    ASSERT_FALSE(name.isNull());
    const QRectF box = onPage(d.element(QStringLiteral("remarks"))->box, c);
    EXPECT_NEAR(name.left(), box.left(), kSlack);
    EXPECT_NEAR(name.top(), box.top(), kSlack);
}

TEST(PrinterCalibration, ADesignThatCannotBeReadStopsPrintingBeforeANumberIsTaken)
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    QDir().mkpath(cardDesignsFolder());
    QFile f(QDir(cardDesignsFolder()).filePath(QStringLiteral("mine.json")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"({"elements": {"destCall": {"points": -3}}})");
    f.close();
    const QString path = dir.filePath(QStringLiteral("card.ini"));
    CardSettings s = station();
    s.foreignDesign = QStringLiteral("mine");
    ASSERT_TRUE(saveCardSettings(s, path));
    CardoApplication app(path);
    app.AddLogPos(kJa, 1);
    app.AddLogPos(kDl, 3);
    PrintTarget target;
    target.file = dir.filePath(QStringLiteral("cards.pdf"));
    QString message;
    // The domestic card's design is there; the foreign card's is not.
    EXPECT_TRUE(app.print(app.cardsFor({0}), target, &message)) << message.toStdString();
    EXPECT_EQ(loadCardSettings(path).nextCardNumber, 42);
    QFile::remove(target.file);
    EXPECT_FALSE(app.print(app.cardsFor({1}), target, &message));
    EXPECT_TRUE(message.contains(QStringLiteral("\"destCall.points\" の値 \"-3\""))) << message.toStdString();
    EXPECT_FALSE(QFile::exists(target.file));
    EXPECT_EQ(loadCardSettings(path).nextCardNumber, 42) << "no number used";

    // With a shipped design chosen again the card prints.
    s.foreignDesign = QStringLiteral("english");
    s.nextCardNumber = 42;
    ASSERT_TRUE(app.setSettings(s));
    EXPECT_TRUE(app.print(app.cardsFor({1}), target, &message)) << message.toStdString();
    qunsetenv("XDG_CONFIG_HOME");
}

} // namespace
