// Memo files beside the table: a missing or damaged one leaves those memos empty with one note and never stops
// the table from opening; the memo file is found whatever its letter case; a send mark never touches it.
#include "TableFixtures.h"

#include "common/KelboError.h"

#include <QFile>
#include <functional>
#include <gtest/gtest.h>

using namespace fixtures;

namespace {

const std::string kReal = KELBO_FIXTURES_DIR;

void copyInto(const TempDir& tmp, const std::string& from, const std::string& as)
{
    writeFile(tmp.file(as), readFile(kReal + from));
}

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

std::string withBytes(std::string bytes, std::size_t at, const std::string& with)
{
    bytes.replace(at, with.size(), with);
    return bytes;
}

struct MemoCase
{
    const char* label;
    const char* table; // under the real tables
    const char* memo; // its memo file there, or nullptr
    const char* memoAs; // the name the memo file gets beside the copy ("" for none)
    std::function<std::string(std::string)> damage; // what happens to the memo file's bytes
    const char* field;
    std::vector<std::string> texts; // the field's texts in the first records
    const char* note; // a part of the note, or "" for none
};

} // namespace

TEST(TableMemo, MissingOrDamagedMemoFilesLeaveThoseMemosEmptyWithOneNote)
{
    const auto same = [](std::string b) { return b; };
    const std::vector<MemoCase> cases = {
        {"dBASE IV memo file missing",
         "/dbase-memo/dbase_8b.dbf",
         "/dbase-memo/dbase_8b.dbt",
         "",
         same,
         "MEMO",
         {"", "", ""},
         "がないため"},
        {"memo file in another letter case",
         "/dbase-memo/dbase_8b.dbf",
         "/dbase-memo/dbase_8b.dbt",
         "T.DbT",
         same,
         "MEMO",
         {"First memo\r\n", "Second memo", "Thierd memo"},
         ""},
        {"dBASE IV memo file cut after the first memo",
         "/dbase-memo/dbase_8b.dbf",
         "/dbase-memo/dbase_8b.dbt",
         "t.dbt",
         [](std::string b) { return b.substr(0, 1024); },
         "MEMO",
         {"First memo\r\n", "", ""},
         "一部が壊れている"},
        {"dBASE IV memo longer than its file",
         "/dbase-memo/dbase_8b.dbf",
         "/dbase-memo/dbase_8b.dbt",
         "t.dbt",
         [](std::string b) { return withBytes(b, 512 + 4, std::string("\xFF\xFF\x00\x00", 4)); },
         "MEMO",
         {"", "Second memo", "Thierd memo"},
         "一部が壊れている"},
        {"dBASE IV block without its head",
         "/dbase-memo/dbase_8b.dbf",
         "/dbase-memo/dbase_8b.dbt",
         "t.dbt",
         [](std::string b) { return withBytes(b, 1024, "xxxx"); },
         "MEMO",
         {"First memo\r\n", "", "Thierd memo"},
         "一部が壊れている"},
        {"dBASE III text without its end mark",
         "/dbase-memo/dbase_83.dbf",
         "/dbase-memo/dbase_83.dbt",
         "t.dbt",
         [](std::string b) { return b.substr(0, 512 + 30); },
         "DESC",
         {"Our Original assortment...a li", "", ""},
         "一部が壊れている"},
        {"FoxPro memo file with block size 0",
         "/dbase-memo/pr90.dbf",
         "/dbase-memo/pr90.fpt",
         "t.fpt",
         [](std::string b) { return withBytes(b, 6, std::string(2, '\0')); },
         "NOTEMEMO",
         {"", "", ""},
         "ブロックの大きさが 0"},
        {"FoxPro memo longer than its file",
         "/dbase-memo/vfp9_memo_bs1.dbf",
         "/dbase-memo/vfp9_memo_bs1.fpt",
         "t.fpt",
         [](std::string b) { return b.substr(0, b.size() - 100); },
         "NOTES",
         {"Some notes here\r\n", "", "sdf gsdf"},
         "一部が壊れている"},
        {"memo file of no bytes",
         "/dbase-memo/vfp9_memo_bs1.dbf",
         "/dbase-memo/vfp9_memo_bs1.fpt",
         "t.fpt",
         [](std::string) { return std::string(); },
         "NOTES",
         {"", "", ""},
         "を読めないため"},
        // Paradox: a memo kept wholly in the record needs no memo file.
        {"Paradox memo file missing",
         "/paradox/fields/memo.db",
         "/paradox/fields/memo.mb",
         "",
         same,
         "MEMO",
         {"", "01234567890\n"},
         "がないため"},
        {"Paradox memo file in capitals",
         "/paradox/fields/memo.db",
         "/paradox/fields/memo.mb",
         "T.MB",
         same,
         "MEMO",
         {std::string("0123456789001234567890"), "01234567890\n"},
         ""},
        {"Paradox shared block of another type",
         "/paradox/fields/memo.db",
         "/paradox/fields/memo.mb",
         "t.mb",
         [](std::string b) { return withBytes(b, 4096, "\x02"); },
         "MEMO",
         {"", "01234567890\n"},
         "一部が壊れている"},
        {"Paradox memo entry of another length",
         "/paradox/fields/memo.db",
         "/paradox/fields/memo.mb",
         "t.mb",
         [](std::string b) { return withBytes(b, 4096 + 12 + 63 * 5 + 1, "\x05"); },
         "MEMO",
         {"", "01234567890\n"},
         "一部が壊れている"},
        {"Paradox memo file cut inside a memo",
         "/paradox/db/CUSTOMER.DB",
         "/paradox/db/CUSTOMER.MB",
         "t.mb",
         [](std::string b) { return b.substr(0, 0x3000); },
         "Comments",
         {"Small comment (less 100 symbols)", "\tThe length of the leader may be zero for type B fields.",
          "mvn versions:set", "", "private static String readFile(String path) throws IOException"},
         "一部が壊れている"},
        {"Paradox memo file that is no memo file",
         "/paradox/fields/fmemo.db",
         "/paradox/fields/fmemo.mb",
         "t.mb",
         [](std::string b) { return withBytes(b, 0, "\x03"); },
         "FMEMO",
         {"", ""},
         "Paradox のメモファイルではありません"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir tmp;
        const std::string table = std::string("t") + (std::string(c.table).back() == 'f' ? ".dbf" : ".db");
        copyInto(tmp, c.table, table);
        if (*c.memoAs) {
            writeFile(tmp.file(c.memoAs), c.damage(readFile(kReal + c.memo)));
        }
        auto t = open(tmp.path(), table);
        int field = -1;
        for (int f = 0; f < t->FieldCount(); ++f) {
            if (t->FieldName(f) == c.field) {
                field = f;
            }
        }
        ASSERT_GE(field, 0);
        // Read every record twice: the note tells of the trouble once.
        for (int pass = 0; pass < 2; ++pass) {
            walk(*t);
        }
        for (std::size_t row = 0; row < c.texts.size(); ++row) {
            // An empty text is wanted whole, any other as the text's beginning.
            const std::string& want = c.texts[row];
            const std::string text = t->CellText(static_cast<long>(row), field);
            EXPECT_EQ(want.empty() ? text : text.substr(0, want.size()), want) << "row " << row;
        }
        const std::string note = t->ReadNote();
        if (*c.note) {
            EXPECT_NE(note.find(c.note), std::string::npos) << note;
            EXPECT_NE(note.find(tmp.path()), std::string::npos) << "the note names the memo file: " << note;
            EXPECT_EQ(occurrences(note, tmp.path()), 1u) << "one sentence: " << note;
        } else {
            EXPECT_EQ(note, "");
        }
    }
}

// A dBASE III memo file written without end marks: each memo ends where the next memo (or the free space) begins,
// instead of running on through the rest of the file.
TEST(TableMemo, MemoWithoutEndMarkEndsAtTheNextMemo)
{
    TempDir tmp;
    const std::vector<DbfField> fields = {{"CALL", 'C', 8}, {"NOTES", 'M', 10}};
    writeFile(
        tmp.file("t.dbf"),
        tablewrite::dbaseBytes(
            fields,
            {{"JA1AA", "         3"}, {"JA2BB", "         1"}, {"JA3CC", "          "}, {"JA4DD", "         2"}}));
    auto block = [](const std::string& text) { return text + std::string(512 - text.size(), ' '); };
    std::string header(512, '\0');
    header[0] = 4; // the first free block
    writeFile(tmp.file("t.dbt"),
              header + block("first memo") + block("second memo") + block("third memo")
                  + block("free space, once a memo"));
    auto t = open(tmp.path(), "t.dbf");
    const std::vector<std::string> wanted = {"third memo", "first memo", "", "second memo"};
    for (long row = 0; row < 4; ++row) {
        const std::string text = t->CellText(row, 1);
        EXPECT_EQ(text.substr(0, wanted[row].size()), wanted[row]) << "row " << row;
        EXPECT_LE(text.size(), 512u) << "row " << row << ": " << text;
    }
    EXPECT_EQ(t->ReadNote(), "");
}

TEST(TableMemo, SendMarkNeverTouchesTheMemoFile)
{
    struct Case
    {
        const char* table;
        const char* memo;
        const char* as;
        const char* field; // a text field to mark
        const char* memoField;
    };
    const Case cases[] = {
        {"/dbase-memo/dbase_8b.dbf", "/dbase-memo/dbase_8b.dbt", "t.dbt", "CHARACTER", "MEMO"},
        {"/dbase-memo/pr90.dbf", "/dbase-memo/pr90.fpt", "t.fpt", "TEMP18", "NOTEMEMO"},
        {"/paradox/db/CUSTOMER.DB", "/paradox/db/CUSTOMER.MB", "t.mb", "FirstName", "Comments"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        TempDir tmp;
        const std::string table = std::string("t") + (std::string(c.table).back() == 'f' ? ".dbf" : ".db");
        copyInto(tmp, c.table, table);
        copyInto(tmp, c.memo, c.as);
        const std::string memoBefore = readFile(tmp.file(c.as));
        const std::string tableBefore = readFile(tmp.file(table));
        auto t = open(tmp.path(), table);
        int field = -1;
        int memoField = -1;
        for (int f = 0; f < t->FieldCount(); ++f) {
            field = t->FieldName(f) == c.field ? f : field;
            memoField = t->FieldName(f) == c.memoField ? f : memoField;
        }
        ASSERT_GE(field, 0);
        ASSERT_GE(memoField, 0);
        const auto rowsBefore = walk(*t);
        t->MoveFirst();
        t->MoveNext();
        t->EditRecord();
        t->SetFieldText(field, "F");
        t->MoveFirst(); // posts the edit

        // A memo field is no text field that a mark may go into.
        t->EditRecord();
        t->SetFieldText(memoField, "F");
        EXPECT_THROW(t->MoveFirst(), KelboError);
        t->CloseTable();

        EXPECT_EQ(readFile(tmp.file(c.as)), memoBefore);
        const std::string tableAfter = readFile(tmp.file(table));
        ASSERT_EQ(tableAfter.size(), tableBefore.size());
        std::size_t changed = 0;
        for (std::size_t i = 0; i < tableAfter.size(); ++i) {
            changed += tableAfter[i] != tableBefore[i] ? 1 : 0;
        }
        EXPECT_GE(changed, 1u);
        auto again = open(tmp.path(), table);
        auto rows = walk(*again);
        EXPECT_EQ(rows[1][static_cast<std::size_t>(field)], "F");
        rows[1][static_cast<std::size_t>(field)] = rowsBefore[1][static_cast<std::size_t>(field)];
        EXPECT_EQ(rows, rowsBefore) << "only the marked field changed, memos read as before";
    }
}
