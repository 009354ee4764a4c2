#include "MemoryLogTable.h"
#include "ScriptedDialogs.h"
#include "convdef/Settings.h"
#include "common/Cp932.h"
#include "convdef/ConvDefFile.h"
#include "convdef/Guess.h"
#include "app/TFieldDefBox.h"

#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

std::string sj(const char* utf8)
{
    return cp932::fromUtf8(utf8);
}

// Ten fields, three records; the last field name and one value are Japanese.
MemoryLogTable tenFieldTable()
{
    std::vector<std::string> names = {"DATE", "TIME", "CALL", "RST", "FREQ", "MODE", "NAME", "QTH", "QSL", sj("備考")};
    std::vector<std::vector<std::string>> rows = {
        {"2024/05/01", "12:34:00", "JA1ABC", "599", "7.05", "CW", "Taro", "Tokyo", "J", sj("移動運用")},
        {"2024/05/02", "1:05:00", "JR2XYZ", "59", "14.2", "SSB", "", "Nagoya", "", ""},
        {"2024/05/03", "23:59:00", "7K3AAA", "579", "21", "FT8", "Jiro", "", "N", "x"},
    };
    MemoryLogTable t("LOG.DB", std::move(names), std::move(rows));
    t.OpenTable("/memory/", "LOG.DB");
    return t;
}

ConvDefTable sampleDefinition()
{
    ConvDefTable d;
    d.fill("NULL");
    d[0] = "YY/MM/DD";
    d[2] = "CALL";
    d[9] = "SEND";
    d[20] = "";
    return d;
}

class FieldDefBoxTest : public ::testing::Test
{
protected:
    ScriptedDialogs dialogs;
};

TEST_F(FieldDefBoxTest, OpensOnRowOneWithACopyOfTheDefinition)
{
    MemoryLogTable table = tenFieldTable();
    ConvDefTable live = sampleDefinition();
    TFieldDefBox box(nullptr, live, table, QString());
    EXPECT_EQ(box.SelectedRow(), 1);
    EXPECT_EQ(box.FieldEdit->currentText(), QStringLiteral("YY/MM/DD"));
    EXPECT_EQ(box.Entries(), live);
    EXPECT_TRUE(box.AutoBtn->isEnabled());

    box.SelectRow(3);
    box.FieldEdit->setEditText(QStringLiteral("QSL[MY LABEL]"));
    EXPECT_EQ(box.Entries()[2], "QSL[MY LABEL]");
    EXPECT_EQ(live[2], "CALL") << "the dialog works on a copy";
    EXPECT_EQ(box.CellText(1, 3), QStringLiteral("QSL[MY LABEL]"));
}

TEST_F(FieldDefBoxTest, CellTextsBesideATenFieldTable)
{
    MemoryLogTable table = tenFieldTable();
    TFieldDefBox box(nullptr, sampleDefinition(), table, QString());
    struct Case
    {
        int col;
        int row;
        QString text;
    };
    const Case cases[] = {
        {0, 0, QStringLiteral("No.")},
        {1, 0, QStringLiteral("変換式")},
        {2, 0, QStringLiteral("名称")},
        {3, 0, QStringLiteral("内容")},
        {0, 1, QStringLiteral("1")},
        {1, 1, QStringLiteral("YY/MM/DD")},
        {2, 1, QStringLiteral("DATE")},
        {3, 1, QStringLiteral("2024/05/01")},
        {2, 10, QStringLiteral("備考")},
        {3, 10, QStringLiteral("移動運用")},
        {1, 10, QStringLiteral("SEND")},
        {0, 11, QStringLiteral("11")},
        {1, 11, QStringLiteral("NULL")},
        {2, 11, QString()},
        {3, 11, QString()},
        {1, 21, QString()},
        {0, 64, QStringLiteral("64")},
        {1, 64, QStringLiteral("NULL")},
        {3, 64, QString()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(box.CellText(c.col, c.row), c.text) << "column " << c.col << " row " << c.row;
    }
}

TEST_F(FieldDefBoxTest, ClosedTableLeavesNamesAndValuesEmptyAndDisablesGuessAndNavigator)
{
    MemoryLogTable table = tenFieldTable();
    table.CloseTable();
    TFieldDefBox box(nullptr, sampleDefinition(), table, QString());
    EXPECT_EQ(box.CellText(1, 1), QStringLiteral("YY/MM/DD"));
    EXPECT_EQ(box.CellText(2, 1), QString());
    EXPECT_EQ(box.CellText(3, 1), QString());
    EXPECT_FALSE(box.AutoBtn->isEnabled());
    for (QToolButton* b : {box.NavFirst, box.NavPrior, box.NavNext, box.NavLast}) {
        EXPECT_FALSE(b->isEnabled());
    }
    // Editing still works on the copy.
    box.NULLBtnClick();
    EXPECT_EQ(box.Entries()[0], "NULL");
}

TEST_F(FieldDefBoxTest, LongValueIsCutWithoutSplittingACharacter)
{
    std::string longValue;
    for (int i = 0; i < 200; ++i) {
        longValue += sj("表");
    }
    MemoryLogTable table("T.DB", {"MEMO"}, {{longValue}});
    table.OpenTable("/", "T.DB");
    TFieldDefBox box(nullptr, sampleDefinition(), table, QString());
    // 255 bytes hold 127 double-byte characters; the 128th would be cut in half.
    EXPECT_EQ(box.CellText(3, 1), QString(127, QChar(0x8868)));
}

TEST_F(FieldDefBoxTest, ShowingAnEntryNeverRewritesIt)
{
    MemoryLogTable table = tenFieldTable();
    ConvDefTable live = sampleDefinition();
    live[1] = std::string("QSL[\x81", 5); // a lone lead byte: it does not decode
    TFieldDefBox box(nullptr, live, table, QString());
    box.SelectRow(2);
    box.SelectRow(1);
    EXPECT_EQ(box.Entries()[1], live[1]);
}

TEST_F(FieldDefBoxTest, GuessReplacesTheWholeCopyAndShowsIt)
{
    MemoryLogTable table = tenFieldTable();
    ConvDefTable live;
    live.fill("QTH");
    TFieldDefBox box(nullptr, live, table, QString());
    box.SelectRow(3);
    box.AutoBtn->click();
    EXPECT_EQ(box.Entries(), GuessConvDef(table));
    EXPECT_EQ(box.Entries()[2], "CALL");
    EXPECT_EQ(box.Entries()[63], "NULL") << "entries past the field count are reset too";
    EXPECT_EQ(box.FieldEdit->currentText(), QStringLiteral("CALL"));
    EXPECT_EQ(live[2], "QTH");
}

TEST_F(FieldDefBoxTest, NullButtonSetsTheSelectedEntryAndTheBox)
{
    MemoryLogTable table = tenFieldTable();
    TFieldDefBox box(nullptr, sampleDefinition(), table, QString());
    box.SelectRow(3);
    box.NULLBtn->click();
    EXPECT_EQ(box.Entries()[2], "NULL");
    EXPECT_EQ(box.FieldEdit->currentText(), QStringLiteral("NULL"));
}

TEST_F(FieldDefBoxTest, ExpressionBoxOffersTheVocabularyAndKeepsTypedText)
{
    MemoryLogTable table = tenFieldTable();
    TFieldDefBox box(nullptr, sampleDefinition(), table, QString());
    ASSERT_EQ(box.FieldEdit->count(), 43);
    EXPECT_EQ(box.FieldEdit->itemText(0), QStringLiteral("ADDQSL"));
    EXPECT_EQ(box.FieldEdit->itemText(26), QStringLiteral("QSL｢...｣"));
    EXPECT_EQ(box.FieldEdit->itemText(42), QStringLiteral("YYYY"));

    // Lower case is no keyword and must stay as typed: no completion turns it into "NULL".
    box.SelectRow(4);
    box.FieldEdit->lineEdit()->clear();
    QTest::keyClicks(box.FieldEdit->lineEdit(), QStringLiteral("null"));
    EXPECT_EQ(box.Entries()[3], "null");
    box.FieldEdit->setCurrentIndex(box.FieldEdit->findText(QStringLiteral("mBAND")));
    EXPECT_EQ(box.Entries()[3], "mBAND");
}

// Pure-blue and black pixels inside one expression cell of the rendered grid.
struct CellInk
{
    int blue = 0;
    int black = 0;
};

CellInk inkOf(TFieldDefBox& box, int row)
{
    box.show();
    const QRect cell = box.Grid->visualRect(box.Grid->model()->index(row - 1, 1));
    const QImage image = box.Grid->viewport()->grab(cell).toImage();
    CellInk ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (p == qRgb(0, 0, 255)) {
                ++ink.blue;
            } else if (p == qRgb(0, 0, 0)) {
                ++ink.black;
            }
        }
    }
    return ink;
}

TEST_F(FieldDefBoxTest, ExpressionsOtherThanNullAreDrawnPureBlue)
{
    MemoryLogTable table = tenFieldTable();
    ConvDefTable live = sampleDefinition();
    live[4] = "null";
    TFieldDefBox box(nullptr, live, table, QString());
    box.SelectRow(1);

    const CellInk lower = inkOf(box, 5); // "null": no keyword
    EXPECT_GT(lower.blue, 0);
    EXPECT_EQ(lower.black, 0);
    const CellInk keyword = inkOf(box, 6); // "NULL"
    EXPECT_EQ(keyword.blue, 0);
    EXPECT_GT(keyword.black, 0);
    const CellInk selected = inkOf(box, 1); // selected row: selection colours, not blue
    EXPECT_EQ(selected.blue, 0);
}

TEST_F(FieldDefBoxTest, NavigatorMovesTheSharedRecord)
{
    MemoryLogTable table = tenFieldTable();
    TFieldDefBox box(nullptr, sampleDefinition(), table, QString());
    EXPECT_FALSE(box.NavPrior->isEnabled());
    box.NavNext->click();
    EXPECT_EQ(table.RecNo(), 1);
    EXPECT_EQ(box.CellText(3, 3), QStringLiteral("JR2XYZ"));
    box.NavLast->click();
    EXPECT_EQ(table.RecNo(), 2);
    EXPECT_EQ(box.CellText(3, 3), QStringLiteral("7K3AAA"));
    EXPECT_FALSE(box.NavNext->isEnabled());
    box.NavPrior->click();
    EXPECT_EQ(table.RecNo(), 1);
    box.NavFirst->click();
    EXPECT_EQ(table.RecNo(), 0);
    EXPECT_EQ(box.CellText(3, 3), QStringLiteral("JA1ABC"));
}

TEST_F(FieldDefBoxTest, SaveAndLoadDefinitionFilesFromTheBaseFolder)
{
    QTemporaryDir dir;
    const QString base = dir.path() + QLatin1Char('/');
    const QString file = base + QStringLiteral("mine.def");
    MemoryLogTable table = tenFieldTable();

    TFieldDefBox saver(nullptr, sampleDefinition(), table, base);
    dialogs.fileName(file);
    saver.SaveBtn->click();
    ASSERT_EQ(dialogs.asked.size(), 1u);
    const FileDialogSpec save = dialogs.asked[0].request;
    EXPECT_EQ(save.title, QStringLiteral("変換定義シートを保存"));
    EXPECT_EQ(save.filter, QStringLiteral("KELBO 変換定義ファイル(*.def)"));
    EXPECT_EQ(save.fileName, QStringLiteral("ConvDef.def"));
    EXPECT_EQ(save.defaultExt, QStringLiteral("def"));
    EXPECT_EQ(save.startDir, base);

    ConvDefTable other;
    other.fill("QTH");
    TFieldDefBox loader(nullptr, other, table, base);
    loader.SelectRow(1);
    dialogs.fileName(file);
    loader.LoadBtn->click();
    const FileDialogSpec load = dialogs.asked.back().request;
    EXPECT_EQ(load.title, QStringLiteral("変換定義シートを選択"));
    EXPECT_EQ(load.fileName, QString());
    EXPECT_EQ(load.startDir, base);
    EXPECT_EQ(loader.Entries(), sampleDefinition());
    EXPECT_EQ(loader.FieldEdit->currentText(), QStringLiteral("YY/MM/DD")) << "the box shows the loaded entry";

    // A cancelled dialog and a missing file change nothing and say nothing.
    loader.NULLBtnClick();
    loader.LoadBtn->click();
    dialogs.fileName(base + QStringLiteral("missing.def"));
    loader.LoadBtn->click();
    EXPECT_EQ(loader.Entries()[0], "NULL");
    EXPECT_TRUE(dialogs.texts(QStringLiteral("ShowError")).isEmpty());
}

TEST_F(FieldDefBoxTest, FailedSaveIsReported)
{
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/no/such/folder/x.def");
    MemoryLogTable table = tenFieldTable();
    TFieldDefBox box(nullptr, sampleDefinition(), table, QString());
    dialogs.fileName(file);
    box.SaveBtn->click();
    EXPECT_EQ(dialogs.texts(QStringLiteral("ShowError")), QStringList{file + QStringLiteral(" に書き込めません")});
}

} // namespace

namespace {

/** kelbo-lines' lines for @p args, by table position. */
std::map<long, QString> linesOf(const QStringList& args)
{
    QProcess lines;
    lines.start(QStringLiteral(KELBO_BINARY_DIR "/src/lines/kelbo-lines"), args);
    EXPECT_TRUE(lines.waitForFinished(30000));
    EXPECT_EQ(lines.exitCode(), 0) << lines.readAllStandardError().toStdString();
    std::map<long, QString> out;
    for (const QString& l : QString::fromUtf8(lines.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        out[l.section('\t', 0, 0).toLong()] = l.section('\t', 1);
    }
    return out;
}

// The line under the grid is what a transfer hands over for the current record: the same as kelbo-lines gives,
// after every navigator move and every edit.
TEST_F(FieldDefBoxTest, PreviewLineIsTheCardLineOfTheCurrentRecord)
{
    const QString sample = QStringLiteral(KELBO_SAMPLE_DIR);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile in(sample + "/KELBO.ini.in");
    QFile ini(dir.filePath("KELBO.ini"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly) && ini.open(QIODevice::WriteOnly));
    ini.write(in.readAll().replace("@LOGDATA@", sample.toUtf8()));
    ini.close();
    KelboSettings settings;
    LoadSettings(ini.fileName().toStdString(), settings);
    const std::map<long, QString> expected = linesOf({"--ini", ini.fileName(), "--all", sample, "LOG.DB"});
    ASSERT_GT(expected.size(), 20u);

    std::unique_ptr<LogTable> table = createLogTable();
    table->OpenTable(sample.toStdString() + "/", "LOG.DB");
    TFieldDefBox box(nullptr, settings.Fields, *table, QString());
    box.SetPreviewOptions(settings.UTC, false);
    for (long pos = 0; pos < table->RecordCount(); ++pos) {
        ASSERT_EQ(table->RecNo(), pos);
        ASSERT_EQ(expected.count(pos), 1u);
        EXPECT_EQ(box.Preview->text(), expected.at(pos)) << pos;
        // Records already marked would not be handed over without すべて引き渡す: the line says so.
        const bool marked = table->FieldText(11) != "" && table->FieldText(11)[0] != ' ';
        EXPECT_EQ(box.Preview->toolTip().isEmpty(), !marked) << pos;
        box.NavNext->click();
    }

    // An edit shows at once: the call sign field set to NULL leaves the line without it.
    box.NavFirst->click();
    box.SelectRow(3);
    box.FieldEdit->setEditText(QStringLiteral("NULL"));
    EXPECT_EQ(box.Preview->text().section(',', 2, 2), QString());
    EXPECT_EQ(box.Preview->text().section(',', 3), expected.at(0).section(',', 3));
    box.FieldEdit->setEditText(QStringLiteral("CALL"));
    EXPECT_EQ(box.Preview->text(), expected.at(0));
}

TEST_F(FieldDefBoxTest, EveryKeywordInTheListHasATooltip)
{
    MemoryLogTable table = tenFieldTable();
    TFieldDefBox box(nullptr, sampleDefinition(), table, QString());
    ASSERT_EQ(box.FieldEdit->count(), 43);
    for (int i = 0; i < box.FieldEdit->count(); ++i) {
        const QString tip = box.FieldEdit->itemData(i, Qt::ToolTipRole).toString();
        EXPECT_FALSE(tip.isEmpty()) << box.FieldEdit->itemText(i).toStdString();
        EXPECT_FALSE(tip.contains('\n'));
    }
}

} // namespace
