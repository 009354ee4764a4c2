// Moving through a table: the same rules for every engine, the closed table's error, and the listener
// that lets a grid follow (or not, while detached).
#include "MemoryTable.h"
#include "TableFixtures.h"

#include "common/KelboError.h"

#include <functional>
#include <gtest/gtest.h>

using namespace fixtures;

namespace {

/** The same five calls in each format. */
class TableMoves : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        const std::vector<std::string> calls = {"JA1AA", "JA2BB", "JA3CC", "JA4DD", "JA5EE"};
        const std::string name = GetParam();
        if (name == "t.db") {
            std::vector<std::vector<std::string>> rows;
            for (const auto& c : calls) {
                rows.push_back({pxAlpha(c, 8)});
            }
            makeParadox(tmp.file(name), {{"CALL", pxfAlpha, 8}}, rows);
        } else if (name == "t.dbf") {
            std::vector<std::vector<std::string>> rows;
            for (const auto& c : calls) {
                rows.push_back({c});
            }
            writeFile(tmp.file(name), dbfBytes({{"CALL", 'C', 8}}, rows));
        } else {
            std::string text = "CALL\r\n";
            for (const auto& c : calls) {
                text += c + "\r\n";
            }
            writeFile(tmp.file(name), text);
        }
        table = open(tmp.path(), name);
    }

    std::string call() const { return table->FieldText(0); }

    TempDir tmp;
    std::unique_ptr<LogTable> table;
};

} // namespace

TEST_P(TableMoves, MovesStopAtEitherEnd)
{
    EXPECT_EQ(table->RecordCount(), 5);
    EXPECT_EQ(table->RecNo(), 0);
    EXPECT_EQ(call(), "JA1AA");
    EXPECT_FALSE(table->AtEnd());

    table->MoveBy(3);
    EXPECT_EQ(call(), "JA4DD");
    table->MoveBy(-2);
    EXPECT_EQ(call(), "JA2BB");
    EXPECT_FALSE(table->AtEnd());
    table->MoveBy(-10); // stops at the first record
    EXPECT_EQ(table->RecNo(), 0);
    EXPECT_FALSE(table->AtEnd());

    table->MoveBy(4);
    EXPECT_EQ(call(), "JA5EE");
    EXPECT_FALSE(table->AtEnd());
    table->MoveNext(); // tries to pass the last record
    EXPECT_TRUE(table->AtEnd());
    EXPECT_EQ(table->RecNo(), 5);

    table->MoveFirst();
    EXPECT_FALSE(table->AtEnd());
    table->MoveBy(99);
    EXPECT_TRUE(table->AtEnd());
    table->MoveBy(-1);
    EXPECT_EQ(call(), "JA5EE");

    table->MoveTo(2);
    EXPECT_EQ(call(), "JA3CC");
    table->MoveTo(77);
    EXPECT_EQ(table->RecNo(), 4);
    EXPECT_EQ(table->CellText(1, 0), "JA2BB");
    EXPECT_EQ(table->RecNo(), 4) << "CellText does not move the table";
}

TEST_P(TableMoves, ClosedTableRefusesMovesAndEdits)
{
    table->CloseTable();
    table->CloseTable(); // no effect when already closed
    EXPECT_FALSE(table->IsOpen());
    EXPECT_EQ(table->FieldCount(), 0);
    EXPECT_EQ(table->RecordCount(), 0);
    EXPECT_EQ(table->FilePath(), "");
    const std::vector<std::function<void()>> operations = {
        [&] { table->MoveFirst(); },  [&] { table->MoveNext(); },   [&] { table->MoveBy(1); },
        [&] { table->MoveTo(0); },    [&] { table->EditRecord(); }, [&] { table->SetFieldText(0, "F"); },
        [&] { table->FieldText(0); }, [&] { table->FieldName(0); },
    };
    for (std::size_t i = 0; i < operations.size(); ++i) {
        try {
            operations[i]();
            ADD_FAILURE() << "operation " << i << " succeeded on a closed table";
        } catch (const KelboError& e) {
            EXPECT_STREQ(e.what(), kClosedDatasetMessage) << "operation " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, TableMoves, ::testing::Values("t.db", "t.dbf", "t.txt"));

TEST(TableMovesEmpty, EmptyTableIsAtEndAndHasNothingToEdit)
{
    TempDir tmp;
    writeFile(tmp.file("e.dbf"), dbfBytes({{"CALL", 'C', 8}}, {}));
    writeFile(tmp.file("e.csv"), "CALL,SEND\r\n");
    makeParadox(tmp.file("e.db"), {{"CALL", pxfAlpha, 8}}, {});
    for (const char* name : {"e.dbf", "e.csv", "e.db"}) {
        SCOPED_TRACE(name);
        auto table = open(tmp.path(), name);
        EXPECT_EQ(table->RecordCount(), 0);
        EXPECT_TRUE(table->AtEnd());
        table->MoveFirst();
        EXPECT_TRUE(table->AtEnd());
        table->MoveBy(-1);
        EXPECT_TRUE(table->AtEnd());
        EXPECT_EQ(table->FieldText(0), "");
        EXPECT_THROW(table->EditRecord(), KelboError);
    }
}

namespace {

struct RecordingListener : LogTableListener
{
    std::vector<std::string> events;
    void tableReset() override { events.push_back("reset"); }
    void currentChanged(long position) override { events.push_back("at " + std::to_string(position)); }
    void recordChanged(long position) override { events.push_back("wrote " + std::to_string(position)); }
    void tableDestroyed() override { events.push_back("gone"); }
};

} // namespace

TEST(TableListener, FollowsOpenMovesAndCloseUnlessDetached)
{
    TempDir tmp;
    writeFile(tmp.file("l.csv"), "CALL,SEND\nJA1AA,\nJA2BB,\nJA3CC,\n");
    RecordingListener listener; // outlives the table, which tells it when it goes
    auto table = createLogTable();
    table->setListener(&listener);

    table->OpenTable(tmp.path(), "l.csv");
    table->MoveNext();
    EXPECT_EQ(listener.events, (std::vector<std::string>{"reset", "at 0", "at 1"}));

    listener.events.clear();
    table->DetachGrid();
    table->DetachGrid(); // nests
    table->MoveNext();
    table->EditRecord();
    table->SetFieldText(1, "F");
    table->Post();
    table->AttachGrid();
    EXPECT_TRUE(listener.events.empty()) << "still detached once";
    table->AttachGrid();
    EXPECT_EQ(listener.events, (std::vector<std::string>{"reset", "at 2"}));

    listener.events.clear();
    table->MoveFirst();
    table->EditRecord();
    table->SetFieldText(1, "F");
    table->MoveNext(); // posts, then moves
    table->CloseTable();
    EXPECT_EQ(listener.events, (std::vector<std::string>{"at 0", "wrote 0", "at 1", "reset", "at -1"}));

    listener.events.clear();
    table.reset();
    EXPECT_EQ(listener.events, (std::vector<std::string>{"gone"}));
}

// All texts of a record at once: what FieldText gives field by field, a pending edit included, and empty texts
// past the end.
TEST(TableFieldTexts, AgreeWithFieldTextWhileEditingAndPastTheEnd)
{
    const auto data = memoryTableData({"CALL", "QTH", "SEND"}, {{"JA1AA", "Tokyo", ""}, {"JA2BB", "Nagoya", "F"}});
    data->widths = {8, 0, 1};
    const auto table = openMemoryTable(data);
    auto fieldByField = [&table] {
        std::vector<std::string> texts;
        for (int f = 0; f < table->FieldCount(); ++f) {
            texts.push_back(table->FieldText(f));
        }
        return texts;
    };
    std::vector<std::string> texts = {"left", "over", "from", "before"};
    table->FieldTexts(texts);
    EXPECT_EQ(texts, (std::vector<std::string>{"JA1AA", "Tokyo", ""}));

    table->EditRecord();
    table->SetFieldText(2, "FX");
    table->FieldTexts(texts);
    EXPECT_EQ(texts, (std::vector<std::string>{"JA1AA", "Tokyo", "F"}));
    EXPECT_EQ(texts, fieldByField());

    table->MoveNext();
    table->MoveNext();
    ASSERT_TRUE(table->AtEnd());
    table->FieldTexts(texts);
    EXPECT_EQ(texts, (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(texts, fieldByField());
    EXPECT_EQ(data->rows[0][2], "F") << "the edit was posted by the move";
}
