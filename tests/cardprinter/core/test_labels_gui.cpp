// QSO labels: the sheets' geometry, each label's contact data inside its own cell as the PDF's text layer places it,
// and the operator's own sheet refused with the value that is wrong.
#include "BureauOrder.h"
#include "CardLayout.h"
#include "CardSettings.h"
#include "CardTestSupport.h"
#include "Contact.h"
#include "LabelSheet.h"
#include "LabelSheetLayout.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <map>

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

constexpr double kPt = 72 / 25.4; // points per mm

using Word = cardtest::PdfWord;

/** The words of each page of a PDF. */
const auto pageWords = cardtest::pdfPageWords;

/** @p cell (mm) in points, grown by half a millimetre each way. */
QRectF within(const QRectF& cell)
{
    const QRectF r(cell.left() * kPt, cell.top() * kPt, cell.width() * kPt, cell.height() * kPt);
    return r.adjusted(-0.5 * kPt, -0.5 * kPt, 0.5 * kPt, 0.5 * kPt);
}

CardSettings station()
{
    CardSettings s;
    s.call = QStringLiteral("JA1KEL");
    s.nextCardNumber = 41;
    s.groupContacts = true;
    return s;
}

TEST(LabelSheet, PresetsFitTheirPageWithoutOverlapAndTheStartSkipsCells)
{
    const std::map<QString, int> counts = {{QStringLiteral("A4-12"), 12},
                                           {QStringLiteral("A4-18"), 18},
                                           {QStringLiteral("A4-21"), 21},
                                           {QStringLiteral("A4-24"), 24}};
    ASSERT_EQ(labelSheetPresets().size(), counts.size());
    for (const LabelSheet& sheet : labelSheetPresets()) {
        SCOPED_TRACE(sheet.key.toStdString());
        EXPECT_EQ(sheet.cells(), counts.at(sheet.key));
        EXPECT_EQ(sheet.problem(), QString());
        EXPECT_EQ(sheet.media(), QStringLiteral("iso_a4_210x297mm"));
        EXPECT_EQ(contactsPerLabel(sheet), kContactsPerCard) << "a grouped card's five contacts fit every preset";
        const QRectF page(0, 0, sheet.pageWidth, sheet.pageHeight);
        for (int a = 0; a < sheet.cells(); ++a) {
            const QRectF cell = sheet.cell(a);
            EXPECT_TRUE(page.adjusted(-0.01, -0.01, 0.01, 0.01).contains(cell)) << a;
            for (int b = a + 1; b < sheet.cells(); ++b) {
                const QRectF both = cell.intersected(sheet.cell(b));
                EXPECT_TRUE(both.width() < 1e-6 || both.height() < 1e-6) << a << " and " << b;
            }
        }
        // Row by row: the second label is right of the first, the label under the first starts the second row.
        EXPECT_GT(sheet.cell(1).left(), sheet.cell(0).left());
        EXPECT_GT(sheet.cell(sheet.columns).top(), sheet.cell(0).top());
        EXPECT_DOUBLE_EQ(sheet.cell(sheet.columns).left(), sheet.cell(0).left());

        // A partly used sheet: the first label goes to the start cell, the run goes on to a new sheet.
        const int cells = sheet.cells();
        const int start = cells - 1;
        EXPECT_EQ(labelPlace(sheet, start, 0).sheet, 0);
        EXPECT_EQ(labelPlace(sheet, start, 0).cell, cells - 2);
        EXPECT_EQ(labelPlace(sheet, start, 0).rect, sheet.cell(cells - 2));
        EXPECT_EQ(labelPlace(sheet, start, 2).sheet, 1);
        EXPECT_EQ(labelPlace(sheet, start, 2).cell, 0);
        EXPECT_EQ(labelSheetCount(sheet, start, 2), 1);
        EXPECT_EQ(labelSheetCount(sheet, start, 3), 2);
        EXPECT_EQ(labelSheetCount(sheet, 1, cells + 1), 2);
        // Sheet 2 alone carries labels 2.. and starts at its first cell; sheet 1 alone keeps the start.
        const LabelRange second = labelsOnSheets(sheet, start, cells + 5, 2, 2);
        EXPECT_EQ(second.first, 2);
        EXPECT_EQ(second.last, cells + 2);
        EXPECT_EQ(second.start, 1);
        const LabelRange first = labelsOnSheets(sheet, start, cells + 5, 1, 1);
        EXPECT_EQ(first.first, 0);
        EXPECT_EQ(first.last, 2);
        EXPECT_EQ(first.start, start);
        EXPECT_EQ(labelsOnSheets(sheet, start, 1, 2, 3).first, labelsOnSheets(sheet, start, 1, 2, 3).last)
            << "a sheet beyond the run carries nothing";
        // The next run is proposed after the last label, on a fresh sheet once this one is used up.
        EXPECT_EQ(nextLabelStart(sheet, 0), 2);
        EXPECT_EQ(nextLabelStart(sheet, cells - 1), 1);
    }
}

TEST(LabelSheet, TheOperatorsOwnSheetIsRefusedNamingTheValueThatIsWrong)
{
    struct Case
    {
        const char* what;
        std::function<void(LabelSheet&)> change;
        const char* named; // in the message
    } cases[] = {
        {"no width", [](LabelSheet& s) { s.labelWidth = 0; }, "ラベルの幅「0」mm"},
        {"too low", [](LabelSheet& s) { s.labelHeight = 24; }, "ラベルの高さ「24」mm"},
        {"negative margin", [](LabelSheet& s) { s.top = -1; }, "上余白「-1」mm"},
        {"no number", [](LabelSheet& s) { s.hGap = std::nan(""); }, "横の間隔「nan」mm"},
        {"no rows", [](LabelSheet& s) { s.rows = 0; }, "行数「0」"},
        {"too wide", [](LabelSheet& s) { s.columns = 4; }, "4 列 x ラベルの幅 70"},
        {"too tall", [](LabelSheet& s) { s.vGap = 2; }, "縦の間隔 2 x 7 = 310.5 mm が用紙の高さ 297 mm"},
        {"too small a page", [](LabelSheet& s) { s.pageWidth = 20; }, "用紙の幅「20」mm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LabelSheet s;
        EXPECT_EQ(s.problem(), QString()) << "the default own sheet is sound";
        c.change(s);
        EXPECT_TRUE(s.problem().contains(QString::fromUtf8(c.named))) << s.problem().toStdString();
    }

    // Kept in the settings file and read back; a value written there by hand that is no number is named, and
    // stays in the file as written until the operator sets the sheet again.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kelbo-cardprinter.ini"));
    CardSettings s = station();
    s.printLabels = true;
    s.labelSheet = QStringLiteral("Custom");
    s.customLabels.columns = 2;
    s.customLabels.rows = 5;
    s.customLabels.labelWidth = 90;
    s.customLabels.labelHeight = 50;
    s.customLabels.top = 10;
    s.customLabels.left = 12.5;
    s.customLabels.hGap = 5;
    s.customLabels.vGap = 3;
    s.labelStart = 4;
    ASSERT_TRUE(saveCardSettings(s, path));
    const CardSettings back = loadCardSettings(path);
    EXPECT_TRUE(back.printLabels);
    EXPECT_EQ(back.labels().cell(3), QRectF(12.5 + 95, 10 + 53, 90, 50));
    EXPECT_EQ(back.labelStart, 4);
    {
        QSettings ini(path, QSettings::IniFormat);
        ini.setValue(QStringLiteral("Labels/CustomTop"), QStringLiteral("1O"));
        ini.setValue(QStringLiteral("Labels/Sheet"), QStringLiteral("A4-99"));
    }
    CardSettings hand = loadCardSettings(path);
    EXPECT_EQ(hand.labelSheet, QStringLiteral("A4-24")) << "an unknown sheet reads as the default one";
    hand.labelSheet = QStringLiteral("Custom");
    EXPECT_TRUE(hand.labels().problem().contains(QStringLiteral("Labels/CustomTop「1O」")))
        << hand.labels().problem().toStdString();
    hand.labelStart = 2;
    ASSERT_TRUE(saveLabelChoice(hand, path));
    EXPECT_EQ(QSettings(path, QSettings::IniFormat).value(QStringLiteral("Labels/CustomTop")).toString(),
              QStringLiteral("1O"));
    EXPECT_EQ(loadCardSettings(path).labelStart, 2);
}

TEST(Labels, EachLabelsDataLandsInsideItsOwnCell)
{
    const QStringList lines = {
        QStringLiteral(
            R"(24.04.28,1208,JE7QAS,59,7.045,SSB,,"木村 子之助","宮城県仙台市","VIA[JA7ZZZ] REM[初QSOありがとう]",,R,0)"),
        QStringLiteral(R"(24.04.29,2359,DL2MCR,599,14.025,CW,100W,"Hans","München","VIA[BURO]",,,-5)"),
        QStringLiteral(R"(24.05.01,0900,JA0OOO,59,7.045,SSB,,"","","REM[FB]",,,0)"),
        QStringLiteral(R"(24.05.02,0905,JA0OOO,59,3.535,SSB,,"","","",,,0)"),
        QStringLiteral(R"(24.05.03,0910,JA0OOO,599,10.125,CW,,"","","",,,0)"),
        QStringLiteral(R"(24.05.04,0915,JA0OOO,59,21.2,SSB,,"","","",,,0)"),
        QStringLiteral(R"(24.05.05,0920,JA0OOO,59,50.2,FM,,"","","",,,0)"),
        QStringLiteral(R"(24.05.06,1020,JH1ABC/3,59,430.1,FM,,"","","REM[%1]",,,0)")
            .arg(QStringLiteral("移動運用ありがとうございました ").repeated(8)),
    };
    std::vector<Contact> contacts;
    std::vector<qint64> serials;
    for (const QString& l : lines) {
        contacts.push_back(parseContact(l));
        serials.push_back(static_cast<qint64>(serials.size()));
    }
    LabelSheet small; // the operator's own: small labels from the page's corner with gaps, one contact each
    small.columns = 3;
    small.rows = 9;
    small.labelWidth = 60;
    small.labelHeight = 25;
    small.top = 0;
    small.left = 0;
    small.hGap = 5;
    small.vGap = 3;
    ASSERT_EQ(small.problem(), QString());
    struct Case
    {
        LabelSheet sheet;
        int start;
    } cases[] = {{*labelSheetPreset(QStringLiteral("A4-24")), 23},
                 {*labelSheetPreset(QStringLiteral("A4-18")), 5},
                 {*labelSheetPreset(QStringLiteral("A4-12")), 11},
                 {*labelSheetPreset(QStringLiteral("A4-21")), 1},
                 {small, 26}};
    const CardSettings s = station();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sheet.caption().toStdString());
        const int perLabel = contactsPerLabel(c.sheet);
        ASSERT_GE(perLabel, 1);
        std::vector<Card> cards = makeCards(contacts, serials, s, perLabel);
        placeCards(cards, BureauOrder(), s);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("labels.pdf"));
        QString error;
        ASSERT_TRUE(writeLabelsPdf(pdf, cards, s, c.sheet, c.start, &error)) << error.toStdString();
        const auto pages = pageWords(pdf);
        ASSERT_EQ(static_cast<int>(pages.size()), labelSheetCount(c.sheet, c.start, static_cast<int>(cards.size())));

        std::vector<std::vector<QRectF>> used(pages.size());
        for (std::size_t k = 0; k < cards.size(); ++k) {
            const LabelPlace at = labelPlace(c.sheet, c.start, static_cast<int>(k));
            used[static_cast<std::size_t>(at.sheet)].push_back(within(at.rect));
        }
        for (std::size_t page = 0; page < pages.size(); ++page) {
            for (const Word& w : pages[page]) {
                const bool inside = std::any_of(used[page].begin(), used[page].end(),
                                                [&w](const QRectF& cell) { return cell.contains(w.box); });
                EXPECT_TRUE(inside) << "sheet " << page + 1 << ": " << w.text.toStdString() << " at "
                                    << w.box.left() / kPt << "," << w.box.top() / kPt << " mm";
                EXPECT_GE(w.box.height(), 6.9) << "nothing below a legible size: " << w.text.toStdString();
                const QRectF printable = QRectF(0, 0, c.sheet.pageWidth * kPt, c.sheet.pageHeight * kPt)
                                             .adjusted(3.5 * kPt, 3.5 * kPt, -3.5 * kPt, -3.5 * kPt);
                EXPECT_TRUE(printable.contains(w.box)) << "clear of the page's edge: " << w.text.toStdString();
            }
        }
        // Each label's own call, number and contacts in its own cell.
        const auto wordsIn = [&](std::size_t k) {
            const LabelPlace at = labelPlace(c.sheet, c.start, static_cast<int>(k));
            QStringList out;
            for (const Word& w : pages[static_cast<std::size_t>(at.sheet)]) {
                if (within(at.rect).contains(w.box)) {
                    out << w.text;
                }
            }
            return out;
        };
        for (std::size_t k = 0; k < cards.size(); ++k) {
            const QStringList words = wordsIn(k);
            const Card& card = cards[k];
            EXPECT_TRUE(words.contains(card.contacts.front().call)) << k << ": " << words.join(' ').toStdString();
            EXPECT_TRUE(words.contains(QString::number(card.number))) << k;
            EXPECT_TRUE(words.contains(QStringLiteral("JA1KEL"))) << "the own call on every label";
            for (const Contact& contact : card.contacts) {
                EXPECT_TRUE(words.contains(contact.date.toString(QStringLiteral("yyyy-MM-dd"))))
                    << k << ": " << words.join(' ').toStdString();
            }
        }
        const QString first = wordsIn(0).join(QLatin1Char(' '));
        EXPECT_TRUE(first.contains(QStringLiteral("via JA7ZZZ"))) << first.toStdString();
        EXPECT_TRUE(first.contains(QStringLiteral("12:08")) && first.contains(QStringLiteral("JST")));
        EXPECT_TRUE(first.contains(QStringLiteral("TNX QSL")));
        const QString dx = wordsIn(1).join(QLatin1Char(' '));
        EXPECT_TRUE(dx.contains(QStringLiteral("14:59")) && dx.contains(QStringLiteral("UTC"))) << dx.toStdString();
        EXPECT_TRUE(dx.contains(QStringLiteral("2024-04-29")) && dx.contains(QStringLiteral("PSE QSL")));
        if (perLabel == kContactsPerCard) {
            const QStringList grouped = wordsIn(2);
            EXPECT_EQ(grouped.filter(QRegularExpression(QStringLiteral("^2024-05-0[1-5]$"))).size(), 5)
                << grouped.join(' ').toStdString();
            EXPECT_EQ(cards.size(), 4u);
            EXPECT_TRUE(first.contains(QStringLiteral("初QSOありがとう"))) << "remarks where room is left";
        } else {
            EXPECT_EQ(cards.size(), 8u) << "a label carries only what fits on it";
        }
    }
}

TEST(Labels, APrintersCorrectionMovesAndScalesEveryLabel)
{
    std::vector<Contact> contacts
        = {parseContact(QStringLiteral(R"(24.04.28,1208,JE7QAS,59,7.045,SSB,,"木村","仙台市","VIA[JA7ZZZ]",,R,0)")),
           parseContact(QStringLiteral(R"(24.04.29,2359,DL2MCR,599,14.025,CW,100W,"Hans","München","",,,-5)"))};
    const CardSettings s = station();
    std::vector<Card> cards = makeCards(contacts, {0, 1}, s, 1);
    placeCards(cards, BureauOrder(), s);
    const LabelSheet sheet = *labelSheetPreset(QStringLiteral("A4-21"));
    QTemporaryDir dir;
    const auto words = [&](const PrinterCalibration& c) {
        const QString pdf = dir.filePath(QStringLiteral("labels-%1-%2-%3.pdf").arg(c.x).arg(c.y).arg(c.scale));
        QString error;
        EXPECT_TRUE(writeLabelsPdf(pdf, cards, s, sheet, 2, &error, c)) << error.toStdString();
        const auto pages = pageWords(pdf);
        return pages.empty() ? std::vector<Word>() : pages.front();
    };
    const std::vector<Word> plain = words(PrinterCalibration());
    ASSERT_FALSE(plain.empty());
    for (const PrinterCalibration c : {PrinterCalibration{3.5, -2, 100}, PrinterCalibration{-1.5, 2.5, 97}}) {
        const std::vector<Word> moved = words(c);
        ASSERT_EQ(moved.size(), plain.size());
        for (std::size_t i = 0; i < plain.size(); ++i) {
            ASSERT_EQ(moved[i].text, plain[i].text);
            // Where the word lands: the offset, then the sheet scaled from its corner.
            const double x = c.x + plain[i].box.left() / kPt * c.scale / 100;
            const double y = c.y + plain[i].box.top() / kPt * c.scale / 100;
            EXPECT_NEAR(moved[i].box.left() / kPt, x, 0.5) << moved[i].text.toStdString();
            EXPECT_NEAR(moved[i].box.top() / kPt, y, 0.5) << moved[i].text.toStdString();
        }
    }
}

} // namespace
