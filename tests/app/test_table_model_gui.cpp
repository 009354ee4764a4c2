// The grid's model: rows and columns of the open table, decoded headers, cells read on demand, the current
// record marked and signalled, and no following while the grid is detached.
#include "../logtable/TableFixtures.h"
#include "CountingLogTable.h"

#include "app/LogTableModel.h"

#include <gtest/gtest.h>

using namespace fixtures;

namespace {

/** Counts a signal's emissions and keeps the int argument of the last one. */
struct Spy
{
    int count = 0;
    int last = -1;
    void clear() { count = 0; }
};

void spyOn(LogTableModel& model, Spy& spy, const char* which)
{
    const std::string w = which;
    if (w == "reset") {
        QObject::connect(&model, &QAbstractItemModel::modelReset, [&spy] { ++spy.count; });
    } else if (w == "current") {
        QObject::connect(&model, &LogTableModel::currentRecordChanged, [&spy](int row) {
            ++spy.count;
            spy.last = row;
        });
    } else {
        QObject::connect(&model, &QAbstractItemModel::dataChanged, [&spy] { ++spy.count; });
    }
}

} // namespace

TEST(TableModel, ShowsTheOpenTableAndFollowsIt)
{
    TempDir tmp;
    writeFile(tmp.file("m.csv"), sj("CALL,名前,SEND\nJA1AA,山田,F\nJA2BB,佐藤,\nJA3CC,鈴木,\n"));
    auto table = createLogTable();
    LogTableModel model(*table);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);

    Spy resets;
    Spy moves;
    spyOn(model, resets, "reset");
    spyOn(model, moves, "current");
    table->OpenTable(tmp.path(), "m.csv");
    EXPECT_EQ(resets.count, 1);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("名前"));
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), QStringLiteral("鈴木"));
    EXPECT_EQ(model.data(model.index(1, 2)).toString(), QString());
    EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), QStringLiteral("▶"));
    EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), QString());
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);

    moves.clear();
    table->MoveBy(2);
    ASSERT_EQ(moves.count, 1);
    EXPECT_EQ(moves.last, 2);
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toString(), QStringLiteral("▶"));

    // A written record is shown again without a reset.
    Spy changed;
    spyOn(model, changed, "data");
    resets.clear();
    table->MoveTo(1);
    table->EditRecord();
    table->SetFieldText(2, "F");
    table->Post();
    EXPECT_EQ(changed.count, 1);
    EXPECT_EQ(resets.count, 0);
    EXPECT_EQ(model.data(model.index(1, 2)).toString(), QStringLiteral("F"));

    table->CloseTable();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.currentRow(), -1);
}

TEST(TableModel, DetachedGridCatchesUpOnAttach)
{
    TempDir tmp;
    writeFile(tmp.file("d.csv"), "CALL,SEND\nJA1AA,\nJA2BB,\nJA3CC,\n");
    auto table = createLogTable();
    table->OpenTable(tmp.path(), "d.csv");
    LogTableModel model(*table);
    Spy moves;
    Spy resets;
    spyOn(model, moves, "current");
    spyOn(model, resets, "reset");

    table->DetachGrid();
    for (table->MoveFirst(); !table->AtEnd(); table->MoveNext()) {
        table->EditRecord();
        table->SetFieldText(1, "F");
    }
    EXPECT_EQ(moves.count, 0);
    EXPECT_EQ(resets.count, 0);
    EXPECT_EQ(model.currentRow(), 0) << "the grid stays where it was";

    table->AttachGrid();
    EXPECT_EQ(resets.count, 1);
    ASSERT_EQ(moves.count, 1);
    EXPECT_EQ(model.currentRow(), 2) << "past the end shows the last record";
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), QStringLiteral("F"));
}

TEST(TableModel, LargeTableShowsItsFirstScreenWithoutReadingEveryRecord)
{
    TempDir tmp;
    std::string text = "CALL,SEND\n";
    for (int i = 0; i < 200000; ++i) {
        text += "JA" + std::to_string(i) + ",\n";
    }
    writeFile(tmp.file("big.csv"), text);

    // A table that counts the cells it is asked for.
    CountingLogTable table;
    table.OpenTable(tmp.path(), "big.csv");
    LogTableModel model(table);
    EXPECT_EQ(model.rowCount(), 200000);
    for (int row = 0; row < 40; ++row) {
        for (int column = 0; column < 2; ++column) {
            model.data(model.index(row, column));
        }
    }
    EXPECT_EQ(model.data(model.index(199999, 0)).toString(), QStringLiteral("JA199999"));
    EXPECT_EQ(table.cells, 41 * 2) << "only the rows shown are read, each once";
}

// The main window destroys its table before its child objects: the model outlives the table safely, and
// either may go first.
TEST(TableModel, TableDestroyedBeforeTheModel)
{
    TempDir tmp;
    writeFile(tmp.file("x.csv"), "CALL\nJA1AA\n");
    auto table = createLogTable();
    table->OpenTable(tmp.path(), "x.csv");
    auto model = std::make_unique<LogTableModel>(*table);
    table.reset();
    EXPECT_EQ(model->rowCount(), 0);
    model.reset(); // must not touch the destroyed table

    auto other = createLogTable();
    {
        LogTableModel shortLived(*other);
    }
    other->OpenTable(tmp.path(), "x.csv"); // no listener left behind
    EXPECT_EQ(other->RecordCount(), 1);
}

// Rows are subdued by the table's own send-mark rule, the one the unsent count and the transfer follow: in an ADIF
// log QSL_SENT "N", "R" or none is not sent, "Y" is.
TEST(TableModel, SubduesTheRowsTheSendMarkRuleCountsAsSent)
{
    TempDir tmp;
    writeFile(tmp.file("log.adi"),
              "KELBO test log\n<EOH>\n"
              "<CALL:5>JA1AA<QSL_SENT:1>Y<EOR>\n"
              "<CALL:5>JA2BB<QSL_SENT:1>N<EOR>\n"
              "<CALL:5>JA3CC<QSL_SENT:1>r<EOR>\n"
              "<CALL:5>JA4DD<EOR>\n"
              "<CALL:5>JA5EE<QSL_SENT:1>I<EOR>\n");
    auto table = createLogTable();
    table->OpenTable(tmp.path(), "log.adi");
    LogTableModel model(*table);
    int sent = -1;
    for (int f = 0; f < table->FieldCount(); ++f) {
        if (table->FieldName(f) == "QSL_SENT") {
            sent = f;
        }
    }
    ASSERT_GE(sent, 0);
    model.setSendField(sent);
    const SendMarkRule rule = table->sendMarkRule();
    const bool expected[] = {true, false, false, false, true};
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(model.isMarked(row), expected[row]) << row;
        EXPECT_EQ(model.isMarked(row), !rule.isUnsent(table->CellText(row, sent))) << "as the count reads it, " << row;
        EXPECT_EQ(model.data(model.index(row, 0), Qt::ForegroundRole).isValid(), expected[row]) << row;
    }

    // A table of the program's own rule: any mark but a blank is sent.
    writeFile(tmp.file("s.csv"), sj("CALL,SEND\nJA1AA,N\nJA2BB, F\nJA3CC,\nJA4DD,済\n"));
    table->OpenTable(tmp.path(), "s.csv");
    model.setSendField(1);
    EXPECT_TRUE(model.isMarked(0));
    EXPECT_FALSE(model.isMarked(1));
    EXPECT_FALSE(model.isMarked(2));
    EXPECT_TRUE(model.isMarked(3));
}
