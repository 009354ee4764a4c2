// The card program's window as the operator uses it: the held contacts as a table with nothing chosen, the filter,
// the bureau order, and printing through the preview that reports only what really went out.
#include "CardDesignDialog.h"
#include "CardSettingsDialog.h"
#include "CardTestSupport.h"
#include "CardWindow.h"
#include "CardoApplication.h"
#include "PrintDialogs.h"
#include "ScriptedDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

/** Answers the print preview: cancelled, or printed into a PDF file. */
class ScriptedPrint : public PrintDialogs
{
public:
    ScriptedPrint() { setPrintDialogs(this); }
    ~ScriptedPrint() override { setPrintDialogs(nullptr); }

    PrintChoice choosePrint(QWidget*, int pages, const QString& lastPrinter,
                            const std::function<void(QPrinter*)>&) override
    {
        ++shown;
        offeredPages = pages;
        proposed = lastPrinter;
        if (during) {
            during(); // the log program calls in while the dialog is open
        }
        PrintChoice c = answer;
        c.accepted = !pdf.isEmpty() || !answer.printer.isEmpty();
        c.file = pdf;
        return c;
    }

    int shown = 0;
    int offeredPages = 0;
    QString proposed;
    PrintChoice answer; // pages, copies, a printer
    QString pdf; // "" cancels
    std::function<void()> during;

    PrintChoice chooseLabelPrint(QWidget* owner, int sheets, const QString& lastPrinter, const QPageLayout& page,
                                 const std::function<void(QPrinter*)>& paint) override
    {
        // The preview as it is drawn, into a PDF of its own.
        previewPage = page;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(preview.filePath(QStringLiteral("preview.pdf")));
        printer.setFullPage(true);
        printer.setPageLayout(page);
        paint(&printer);
        return choosePrint(owner, sheets, lastPrinter, paint);
    }
    QTemporaryDir preview;
    QPageLayout previewPage;

    std::optional<LabelSheet> editLabelSheet(QWidget*, const LabelSheet& sheet) override
    {
        editedFrom = sheet;
        return ownSheet;
    }
    std::optional<LabelSheet> ownSheet; // the operator's own sheet as typed in; nothing cancels
    LabelSheet editedFrom;
};

class CardWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CardSettings s;
        s.call = QStringLiteral("JA1KEL");
        s.nextCardNumber = 7;
        ASSERT_TRUE(saveCardSettings(s, settingsPath()));
        app = std::make_unique<CardoApplication>(settingsPath());
        win = std::make_unique<CardWindow>(*app);
        const char* lines[] = {
            R"(24.04.28,1208,VK2ABC,59,7.045,SSB,,"Bob","Sydney","",,,0)",
            R"(24.04.28,1300,JH3KVW,599,7.012,CW,,"佐藤 一郎","大阪府","",,,0)",
            R"(24.04.29,1011,JA1ZQX,59,7.045,SSB,,"山田 太郎","東京都","",F,R,0)",
            R"(24.04.30,0815,JH3ABC,59,21.2,SSB,,"","","",,,0)",
            "a line of another shape",
        };
        int position = 3;
        for (const char* l : lines) {
            app->AddLogPos(QString::fromUtf8(l), position);
            position += 2;
        }
        app->SetPrintMax();
        app->Foreground();
        app->DoLogList();
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("kelbo-cardprinter.ini")); }
    CardWindow& window() { return *win; }
    /** The call signs as the list shows them. */
    QStringList shownCalls()
    {
        QStringList out;
        for (int r = 0; r < window().proxy()->rowCount(); ++r) {
            out << window().proxy()->index(r, HeldLinesModel::Call).data().toString();
        }
        return out;
    }
    std::vector<int> printedPositions()
    {
        std::vector<int> out;
        for (int i = 0; i < app->logCount(); ++i) {
            out.push_back(app->GetPrintedPos(i));
        }
        return out;
    }

    QTemporaryDir dir;
    std::unique_ptr<CardoApplication> app;
    std::unique_ptr<CardWindow> win;
    ScriptedDialogs boxes;
    ScriptedPrint print;
};

TEST_F(CardWindowTest, ArrivingContactsAreListedInBureauOrderWithNothingChosen)
{
    ASSERT_EQ(window().proxy()->rowCount(), 5);
    EXPECT_TRUE(window().chosenRows().isEmpty()) << "a transfer chooses nothing";
    EXPECT_EQ(window().counts()->text(), QStringLiteral("保持 5 件 / 選択 0 件 / 印刷済 0 件"));
    EXPECT_EQ(shownCalls(),
              (QStringList{QStringLiteral("JA1ZQX"), QStringLiteral("JH3ABC"), QStringLiteral("JH3KVW"),
                           QStringLiteral("VK2ABC"), QString()}));
    const QSortFilterProxyModel* p = window().proxy();
    EXPECT_EQ(p->index(0, HeldLinesModel::Date).data().toString(), QStringLiteral("2024-04-29"));
    EXPECT_EQ(p->index(0, HeldLinesModel::Time).data().toString(), QStringLiteral("10:11"));
    EXPECT_EQ(p->index(0, HeldLinesModel::Name).data().toString(), QStringLiteral("山田 太郎"));
    EXPECT_EQ(p->index(0, HeldLinesModel::Marks).data().toString(), QStringLiteral("F / R"));
    EXPECT_EQ(p->index(4, HeldLinesModel::Qsl).data().toString(), QStringLiteral("a line of another shape"));

    // 印刷 without a choice asks for one and prints nothing.
    EXPECT_FALSE(window().printChosen());
    EXPECT_EQ(boxes.texts(QStringLiteral("WarningBox")), QStringList{QStringLiteral("印刷する行を選んでください.")});
    EXPECT_EQ(print.shown, 0);
    EXPECT_EQ(app->printStat(), 0);

    // The list can be sorted otherwise and back into the bureau's order.
    window().list()->sortByColumn(HeldLinesModel::Date, Qt::DescendingOrder);
    EXPECT_EQ(shownCalls().first(), QStringLiteral("JH3ABC"));
    window().sortForBureau();
    EXPECT_EQ(shownCalls().first(), QStringLiteral("JA1ZQX"));
}

TEST_F(CardWindowTest, ElectronicOnlyAndNoQslContactsAreListedWithTheReasonAndNotPrinted)
{
    app->AddLogPos(QStringLiteral(R"(24.05.01,0830,DL2MCR,599,14.025,CW,,"","","VIA[LoTW]",,,0)"), 20);
    app->AddLogPos(QStringLiteral(R"(24.05.01,0900,W1AW,599,14.025,CW,,"","","VIA[NO QSL]",,,0)"), 22);
    app->AddLogPos(QStringLiteral(R"(24.05.01,0930,G4ABC,599,14.025,CW,,"","","VIA[G BURO]",,,0)"), 24);
    app->AddLogPos(QStringLiteral(R"(24.05.01,1000,3D2AG,599,14.025,CW,,"","","VIA[JA1XYZ]",,,0)"), 26);
    app->DoLogList();
    const auto row = [this](const QString& call) {
        for (int r = 0; r < window().proxy()->rowCount(); ++r) {
            if (window().proxy()->index(r, HeldLinesModel::Call).data().toString() == call) {
                return r;
            }
        }
        return -1;
    };
    const auto cell = [this, &row](const char* call, int column) {
        return window().proxy()->index(row(QString::fromLatin1(call)), column).data().toString();
    };
    // The bundle column shows where each card goes: a volunteer counts the bundles down the list.
    EXPECT_EQ(cell("JA1ZQX", HeldLinesModel::Bundle), QStringLiteral("1エリア"));
    EXPECT_EQ(cell("3D2AG", HeldLinesModel::Bundle), QStringLiteral("1エリア")) << "via its manager JA1XYZ";
    EXPECT_EQ(cell("JH3KVW", HeldLinesModel::Bundle), QStringLiteral("3エリア"));
    EXPECT_EQ(cell("G4ABC", HeldLinesModel::Bundle), QStringLiteral("England"));
    EXPECT_EQ(cell("W1AW", HeldLinesModel::Bundle), QStringLiteral("United States of America 1エリア"));
    EXPECT_EQ(shownCalls().mid(0, 2), (QStringList{QStringLiteral("3D2AG"), QStringLiteral("JA1ZQX")}))
        << "JA1XYZ before JA1ZQX";
    EXPECT_EQ(cell("DL2MCR", HeldLinesModel::State), QStringLiteral("印刷しない (電子QSLのみ)"));
    EXPECT_EQ(cell("W1AW", HeldLinesModel::State), QStringLiteral("印刷しない (NO QSL)"));
    EXPECT_EQ(cell("G4ABC", HeldLinesModel::State), QString());
    EXPECT_EQ(cell("G4ABC", HeldLinesModel::Qsl), QStringLiteral("via Bureau"));
    EXPECT_EQ(cell("3D2AG", HeldLinesModel::Qsl), QStringLiteral("via JA1XYZ"));

    // Chosen with the rest, they get no card and so no send mark.
    print.pdf = dir.filePath(QStringLiteral("printed.pdf"));
    window().filter()->setText(QStringLiteral("2024-05-01"));
    window().chooseAll();
    window().filter()->clear();
    ASSERT_TRUE(window().printChosen());
    const QStringList cards = cardtest::pdfPages(print.pdf);
    ASSERT_EQ(cards.size(), 2);
    EXPECT_TRUE(cards[0].contains(QStringLiteral("3D2AG")) && cards[0].contains(QStringLiteral("via JA1XYZ")));
    EXPECT_TRUE(cards[1].contains(QStringLiteral("G4ABC")) && cards[1].contains(QStringLiteral("via Bureau")));
    EXPECT_FALSE(cards.join(QString()).contains(QStringLiteral("BURO")));
    EXPECT_EQ(printedPositions(), (std::vector<int>{-1, -1, -1, -1, -1, -1, -1, 24, 26}));

    // Only the chosen left-out lines: nothing is printed, and the operator is told why.
    window().filter()->setText(QStringLiteral("DL2MCR"));
    window().chooseAll();
    window().filter()->clear();
    EXPECT_FALSE(window().printChosen());
    EXPECT_EQ(print.shown, 1);
    EXPECT_EQ(boxes.texts(QStringLiteral("WarningBox")).size(), 1);

    // With the setting off they print like any other.
    CardSettings s = app->settings();
    s.leaveOutElectronic = false;
    ASSERT_TRUE(app->setSettings(s));
    EXPECT_EQ(cell("DL2MCR", HeldLinesModel::State), QString());
    window().filter()->setText(QStringLiteral("DL2MCR"));
    window().chooseAll();
    window().filter()->clear();
    ASSERT_TRUE(window().printChosen());
    EXPECT_EQ(app->GetPrintedPos(5), 20);
}

TEST_F(CardWindowTest, CancelledPreviewPrintsNothing)
{
    window().chooseAll();
    EXPECT_EQ(window().counts()->text(), QStringLiteral("保持 5 件 / 選択 5 件 / 印刷済 0 件"));
    EXPECT_FALSE(window().printChosen());
    EXPECT_EQ(print.shown, 1);
    EXPECT_EQ(app->printStat(), 0);
    EXPECT_EQ(printedPositions(), std::vector<int>(5, -1));
    EXPECT_EQ(loadCardSettings(settingsPath()).nextCardNumber, 7) << "no card number used";
}

TEST_F(CardWindowTest, PrintsExactlyTheChosenContactsInTheListsOrder)
{
    window().filter()->setText(QStringLiteral("jh3"));
    EXPECT_EQ(shownCalls(), (QStringList{QStringLiteral("JH3ABC"), QStringLiteral("JH3KVW")}));
    window().chooseAll();
    window().filter()->clear();
    EXPECT_EQ(window().counts()->text(), QStringLiteral("保持 5 件 / 選択 2 件 / 印刷済 0 件"));

    print.pdf = dir.filePath(QStringLiteral("printed.pdf"));
    ASSERT_TRUE(window().printChosen());
    const QStringList cards = cardtest::pdfPages(print.pdf);
    ASSERT_EQ(cards.size(), 2);
    EXPECT_TRUE(cards[0].contains(QStringLiteral("JH3ABC")) && cards[0].contains(QStringLiteral("No. 7")));
    EXPECT_TRUE(cards[1].contains(QStringLiteral("JH3KVW")) && cards[1].contains(QStringLiteral("佐藤 一郎")));
    EXPECT_TRUE(cards[1].contains(QStringLiteral("JA1KEL")));

    EXPECT_EQ(app->printStat(), 2);
    EXPECT_EQ(printedPositions(), (std::vector<int>{-1, 5, -1, 9, -1}));
    EXPECT_EQ(loadCardSettings(settingsPath()).nextCardNumber, 9);
    EXPECT_EQ(loadCardSettings(settingsPath()).call, QStringLiteral("JA1KEL"));
    // Printed contacts stay listed with their state until the log program drops them.
    EXPECT_EQ(window().proxy()->rowCount(), 5);
    EXPECT_EQ(window().proxy()->index(1, HeldLinesModel::State).data().toString(), QStringLiteral("印刷済"));
    EXPECT_EQ(window().counts()->text(), QStringLiteral("保持 5 件 / 選択 0 件 / 印刷済 2 件"))
        << "printed cards are no longer chosen";

    app->DeletePrintedData();
    EXPECT_EQ(shownCalls(), (QStringList{QStringLiteral("JA1ZQX"), QStringLiteral("VK2ABC"), QString()}));
    EXPECT_TRUE(window().counts()->text().startsWith(QStringLiteral("保持 3 件 / 選択 0 件 / 印刷済 0 件")));
}

TEST_F(CardWindowTest, LinesDroppedWhileThePreviewIsOpenAreNeverReportedForOthers)
{
    print.pdf = dir.filePath(QStringLiteral("printed.pdf"));
    window().filter()->setText(QStringLiteral("JH3"));
    window().chooseAll();
    ASSERT_TRUE(window().printChosen());
    window().filter()->clear();

    // The log program drops the printed lines while the next cards are in the preview: the rows move up, and the
    // marks still go to the contacts that were printed.
    window().filter()->setText(QStringLiteral("JA1ZQX"));
    window().chooseAll();
    window().filter()->clear();
    print.during = [this] { app->DeletePrintedData(); };
    ASSERT_TRUE(window().printChosen());
    EXPECT_EQ(printedPositions(), (std::vector<int>{-1, 7, -1}));

    // A new transfer replaces every line meanwhile: nothing is reported printed, and the operator is told.
    app->DeletePrintedData();
    app->setPrintStat(0);
    window().chooseAll();
    print.during = [this] {
        app->DeleteLog();
        app->AddLogPos(QStringLiteral(R"(24.05.05,0100,JA1AAA,59,7.1,SSB,,"","","",,,0)"), 40);
    };
    EXPECT_FALSE(window().printChosen());
    EXPECT_EQ(app->printStat(), 0);
    EXPECT_EQ(printedPositions(), std::vector<int>{-1});
    EXPECT_EQ(boxes.texts(QStringLiteral("WarningBox")).size(), 1);
}

TEST_F(CardWindowTest, PagesAreCardsAndOnlyTheChosenCardsCountAsPrinted)
{
    window().chooseAll();
    const QStringList calls = shownCalls();
    print.pdf = dir.filePath(QStringLiteral("pages.pdf"));
    print.answer.fromPage = 2;
    print.answer.toPage = 3;
    ASSERT_TRUE(window().printChosen());
    const QStringList cards = cardtest::pdfPages(print.pdf);
    ASSERT_EQ(cards.size(), 2);
    EXPECT_TRUE(cards[0].contains(calls[1]) && cards[0].contains(QStringLiteral("No. 7"))) << cards[0].toStdString();
    EXPECT_TRUE(cards[1].contains(calls[2]) && cards[1].contains(QStringLiteral("No. 8"))) << cards[1].toStdString();
    int printed = 0;
    for (int r = 0; r < window().proxy()->rowCount(); ++r) {
        const bool isPrinted
            = window().proxy()->index(r, HeldLinesModel::State).data().toString() == QStringLiteral("印刷済");
        EXPECT_EQ(isPrinted, r == 1 || r == 2) << r;
        printed += isPrinted ? 1 : 0;
    }
    EXPECT_EQ(printed, 2);
    EXPECT_EQ(loadCardSettings(settingsPath()).nextCardNumber, 9);
}

TEST_F(CardWindowTest, TheChosenPrinterIsProposedNextTimeAndARefusedJobPrintsNothing)
{
    // No print system answers here: the job is refused, the operator told, nothing printed and no number used.
    qputenv("CUPS_SERVER", dir.filePath(QStringLiteral("no-cups.sock")).toUtf8());
    window().chooseAll();
    print.answer.printer = QStringLiteral("QSL-printer");
    EXPECT_FALSE(window().printChosen());
    EXPECT_EQ(boxes.texts(QStringLiteral("WarningBox")).size(), 1);
    EXPECT_EQ(printedPositions(), (std::vector<int>{-1, -1, -1, -1, -1}));
    EXPECT_EQ(app->printStat(), 0);
    EXPECT_EQ(loadCardSettings(settingsPath()).nextCardNumber, 7);
    print.answer = PrintChoice();
    window().printChosen();
    EXPECT_EQ(print.proposed, QStringLiteral("QSL-printer"));
    EXPECT_EQ(loadCardSettings(settingsPath()).printer, QStringLiteral("QSL-printer"));
}

/** Chooses the label sheet @p key in the window as the operator does. */
void chooseSheet(CardWindow& w, const char* key)
{
    const int at = w.sheet()->findData(QString::fromLatin1(key));
    ASSERT_GE(at, 0);
    w.sheet()->setCurrentIndex(at);
    emit w.sheet()->activated(at);
}

TEST_F(CardWindowTest, LabelsPrintFromTheStartCellAndSheetsCountAsPagesThatMarkExactlyTheirLines)
{
    EXPECT_EQ(window().media()->currentText(), QStringLiteral("はがき"));
    EXPECT_FALSE(window().sheet()->isVisibleTo(&window())) << "a sheet matters only for labels";
    window().media()->setCurrentIndex(1);
    EXPECT_TRUE(window().sheet()->isVisibleTo(&window()) && window().start()->isVisibleTo(&window()));
    chooseSheet(window(), "A4-24");
    EXPECT_EQ(window().start()->maximum(), 24);
    window().start()->setValue(23); // two labels left on a used sheet
    {
        const QSettings ini(settingsPath(), QSettings::IniFormat);
        EXPECT_TRUE(ini.value(QStringLiteral("Labels/Print")).toBool()) << "the choice is kept";
        EXPECT_EQ(ini.value(QStringLiteral("Labels/Sheet")).toString(), QStringLiteral("A4-24"));
        EXPECT_EQ(ini.value(QStringLiteral("Labels/Start")).toInt(), 23);
    }

    // Four labels from cell 23: two on the used sheet, two on a new one. Only the second sheet is printed: its labels
    // go to a fresh sheet from the first cell, numbered on, and only their contacts count as printed.
    window().filter()->setText(QStringLiteral("2024-04"));
    window().chooseAll();
    window().filter()->clear();
    const QStringList calls = shownCalls();
    print.pdf = dir.filePath(QStringLiteral("sheet2.pdf"));
    print.answer.fromPage = 2;
    print.answer.toPage = 2;
    ASSERT_TRUE(window().printChosen());
    EXPECT_EQ(print.offeredPages, 2) << "pages are sheets";
    EXPECT_EQ(print.previewPage.pageSize().id(), QPageSize::A4);
    const QStringList preview = cardtest::pdfPages(print.preview.filePath(QStringLiteral("preview.pdf")));
    ASSERT_EQ(preview.size(), 2) << "the preview shows both sheets";
    EXPECT_TRUE(preview[0].contains(calls[0]) && preview[1].contains(calls[3]));
    QStringList pages = cardtest::pdfPages(print.pdf);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains(calls[2]) && pages[0].contains(calls[3])) << pages[0].toStdString();
    EXPECT_FALSE(pages[0].contains(calls[0]) || pages[0].contains(calls[1]));
    EXPECT_TRUE(pages[0].contains(QStringLiteral("No. 7")) && pages[0].contains(QStringLiteral("No. 8")));
    QFile file(print.pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("/MediaBox [0 0 595")) << "an A4 sheet";
    EXPECT_EQ(printedPositions(), (std::vector<int>{3, 5, -1, -1, -1})) << "VK2ABC and JH3KVW";
    EXPECT_EQ(app->printStat(), 2);
    EXPECT_EQ(loadCardSettings(settingsPath()).nextCardNumber, 9);
    EXPECT_EQ(window().start()->value(), 3) << "the next label goes after the last one printed";
    EXPECT_EQ(loadCardSettings(settingsPath()).labelStart, 3);

    // The rest on that sheet, from cell 3 on.
    window().filter()->setText(QStringLiteral("JA1ZQX"));
    window().chooseAll();
    window().filter()->clear();
    print.answer = PrintChoice();
    print.pdf = dir.filePath(QStringLiteral("rest.pdf"));
    ASSERT_TRUE(window().printChosen());
    EXPECT_EQ(print.offeredPages, 1);
    EXPECT_EQ(printedPositions(), (std::vector<int>{3, 5, 7, -1, -1}));
    EXPECT_EQ(window().start()->value(), 4);

    // A cancelled preview uses nothing; scripts over the bus still print cards.
    print.pdf.clear();
    window().filter()->setText(QStringLiteral("JH3ABC"));
    window().chooseAll();
    EXPECT_FALSE(window().printChosen());
    EXPECT_EQ(window().start()->value(), 4);
    qputenv("KELBO_CARDPRINTER_PDF_DIR", dir.path().toUtf8());
    const QString cards = app->PrintLines({3});
    qunsetenv("KELBO_CARDPRINTER_PDF_DIR");
    QFile card(cards);
    ASSERT_TRUE(card.open(QIODevice::ReadOnly));
    EXPECT_TRUE(card.readAll().contains("/MediaBox [0 0 283")) << "a postcard";
}

TEST_F(CardWindowTest, TheOperatorsOwnSheetIsTakenOnlyWhenItsMeasuresFit)
{
    // The measures dialog refuses a sheet whose labels do not fit, naming the value.
    {
        LabelSheet wide;
        wide.columns = 4;
        LabelSheetDialog dlg(wide, &window());
        dlg.accept();
        EXPECT_NE(dlg.result(), QDialog::Accepted);
        const QStringList told = boxes.texts(QStringLiteral("WarningBox"));
        ASSERT_EQ(told.size(), 1);
        EXPECT_TRUE(told[0].contains(QStringLiteral("4 列 x ラベルの幅 70"))) << told[0].toStdString();
        LabelSheet fits;
        fits.columns = 2;
        fits.labelWidth = 100;
        LabelSheetDialog ok(fits, &window());
        ok.accept();
        EXPECT_EQ(ok.result(), QDialog::Accepted);
        EXPECT_EQ(ok.sheet().cell(1), QRectF(100, 0.5, 100, 37));
    }

    window().media()->setCurrentIndex(1);
    chooseSheet(window(), "A4-12");
    // Cancelled: the sheet chosen before stays.
    chooseSheet(window(), "Custom");
    EXPECT_EQ(window().sheet()->currentData().toString(), QStringLiteral("A4-12"));
    LabelSheet own;
    own.columns = 2;
    own.rows = 5;
    own.labelWidth = 90;
    own.labelHeight = 50;
    own.top = 10;
    own.left = 12;
    own.hGap = 6;
    print.ownSheet = own;
    chooseSheet(window(), "Custom");
    EXPECT_EQ(window().sheet()->currentText(), QStringLiteral("カスタム (2 x 5, 90 x 50 mm)"));
    EXPECT_EQ(window().start()->maximum(), 10);
    EXPECT_EQ(loadCardSettings(settingsPath()).labels().cell(1), QRectF(108, 10, 90, 50));

    // A measure the settings file holds that is no number: printing is refused naming it, nothing is printed.
    QSettings(settingsPath(), QSettings::IniFormat)
        .setValue(QStringLiteral("Labels/CustomLeft"), QStringLiteral("12mm"));
    app = std::make_unique<CardoApplication>(settingsPath());
    win = std::make_unique<CardWindow>(*app);
    app->AddLogPos(QStringLiteral(R"(24.04.28,1300,JH3KVW,599,7.012,CW,,"","","",,,0)"), 3);
    app->DoLogList();
    EXPECT_EQ(window().sheet()->currentText(), QStringLiteral("カスタム (設定に誤りがあります)"));
    window().chooseAll();
    print.pdf = dir.filePath(QStringLiteral("never.pdf"));
    const int shown = print.shown;
    EXPECT_FALSE(window().printChosen());
    EXPECT_EQ(print.shown, shown);
    EXPECT_TRUE(boxes.texts(QStringLiteral("WarningBox")).last().contains(QStringLiteral("Labels/CustomLeft「12mm」")));
    EXPECT_EQ(printedPositions(), std::vector<int>{-1});
    EXPECT_EQ(QSettings(settingsPath(), QSettings::IniFormat).value(QStringLiteral("Labels/CustomLeft")).toString(),
              QStringLiteral("12mm"))
        << "the file is left as it is";
}

TEST_F(CardWindowTest, LinesUnfitForACardAreListedAndLeftOut)
{
    app->AddLogPos(QStringLiteral(R"(24.13.45,2460,JA2XYZ,59,7.045,SSB,,"","","",,,0)"), 30);
    app->DoLogList();
    window().chooseAll();
    print.pdf = dir.filePath(QStringLiteral("checked.pdf"));
    boxes.answer(Answer::No);
    EXPECT_FALSE(window().printChosen());
    ASSERT_EQ(boxes.texts(QStringLiteral("YesNoBox")).size(), 1);
    const QString asked = boxes.texts(QStringLiteral("YesNoBox")).front();
    EXPECT_TRUE(asked.contains(QStringLiteral("JA2XYZ 24.13.45 2460: 日付「24.13.45」が正しくありません")))
        << asked.toStdString();
    EXPECT_TRUE(asked.contains(QStringLiteral("a line of another shape: 行の形式が正しくありません")))
        << asked.toStdString();
    EXPECT_TRUE(asked.contains(QStringLiteral("残りの 4 件を印刷しますか")));
    EXPECT_EQ(print.shown, 0);
    EXPECT_FALSE(QFile::exists(print.pdf));

    boxes.answer(Answer::Yes);
    ASSERT_TRUE(window().printChosen());
    const QString text = cardtest::pdfText(print.pdf);
    EXPECT_EQ(cardtest::pdfPages(print.pdf).size(), 4);
    EXPECT_FALSE(text.contains(QStringLiteral("JA2XYZ")));
    EXPECT_FALSE(text.contains(QStringLiteral("another shape")));
    EXPECT_EQ(printedPositions(), (std::vector<int>{3, 5, 7, 9, -1, -1}));
    EXPECT_EQ(window().proxy()->index(window().proxy()->rowCount() - 1, HeldLinesModel::State).data().toString(),
              QStringLiteral("不備"));

    // Without the own call sign nothing is printed at all.
    CardSettings s = app->settings();
    s.call.clear();
    ASSERT_TRUE(app->setSettings(s));
    window().chooseAll();
    EXPECT_FALSE(window().printChosen());
    EXPECT_TRUE(boxes.texts(QStringLiteral("WarningBox")).back().contains(QStringLiteral("自局のコールサイン")));
}

TEST_F(CardWindowTest, SettingsDialogHandsBackTheEditsAndTheFileKeepsThem)
{
    CardSettings s = app->settings();
    s.name = QStringLiteral("山田 花子");
    CardSettingsDialog dlg(s);
    QLineEdit* call = dlg.findChild<QLineEdit*>();
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->text(), QStringLiteral("JA1KEL"));
    call->setText(QStringLiteral(" ja1abc "));
    const QList<QComboBox*> combos = dlg.findChildren<QComboBox*>();
    ASSERT_GE(combos.size(), 3);
    combos[1]->setCurrentIndex(2); // UTC for all
    const CardSettings edited = dlg.settings();
    EXPECT_EQ(edited.call, QStringLiteral("JA1ABC"));
    EXPECT_EQ(edited.name, QStringLiteral("山田 花子"));
    EXPECT_EQ(edited.zones, CardZones::AllUtc);
    EXPECT_EQ(edited.nextCardNumber, 7);

    ASSERT_TRUE(app->setSettings(edited));
    // The list shows the lines' times as they came; only the cards convert them.
    EXPECT_EQ(app->model()->headerData(HeldLinesModel::Time, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("時刻(JST)"));
    const CardSettings back = loadCardSettings(settingsPath());
    EXPECT_EQ(back.call, QStringLiteral("JA1ABC"));
    EXPECT_EQ(back.zones, CardZones::AllUtc);
}

TEST_F(CardWindowTest, TheDesignDialogPreviewsTheChosenContactAndLeavesTheSettingsAlone)
{
    const QByteArray settingsBefore = [this] {
        QFile f(settingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const int vk = shownCalls().indexOf(QStringLiteral("VK2ABC"));
    ASSERT_GE(vk, 0);
    window().list()->selectionModel()->select(window().proxy()->index(vk, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QString previewed;
    QTimer::singleShot(0, [&previewed] {
        if (auto* dlg = qobject_cast<CardDesignDialog*>(QApplication::activeModalWidget())) {
            previewed = dlg->contactBox()->itemText(0);
            dlg->reject();
        }
    });
    window().editDesigns();
    EXPECT_EQ(previewed, QStringLiteral("保持している交信: VK2ABC 24.04.28"));
    QFile f(settingsPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), settingsBefore);
}

} // namespace
