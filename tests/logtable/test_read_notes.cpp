// Damaged tables that read short say so once, naming the file; what can be read is read.
#include "TableFixtures.h"

#include <gtest/gtest.h>

using namespace fixtures;

TEST(ReadNotes, ShortReadsAreNamedAndWholeReadsSayNothing)
{
    TempDir tmp;
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 600; ++i) {
        rows.push_back({pxAlpha("JA" + std::to_string(i), 8)});
    }
    makeParadox(tmp.file("LOG.DB"), {{"CALL", pxfAlpha, 8}}, rows);
    EXPECT_EQ(open(tmp.path(), "LOG.DB")->ReadNote(), "");

    // The first data block no longer points to the next one.
    std::string bytes = readFile(tmp.file("LOG.DB"));
    const std::size_t headerSize = static_cast<unsigned char>(bytes[2]) | static_cast<unsigned char>(bytes[3]) << 8;
    bytes[headerSize] = 0;
    bytes[headerSize + 1] = 0;
    writeFile(tmp.file("LOG.DB"), bytes);
    auto broken = open(tmp.path(), "LOG.DB");
    ASSERT_GT(broken->RecordCount(), 0);
    ASSERT_LT(broken->RecordCount(), 600);
    const std::string note = broken->ReadNote();
    EXPECT_NE(note.find(tmp.file("LOG.DB")), std::string::npos) << note;
    EXPECT_NE(note.find("600 件のうち " + std::to_string(broken->RecordCount()) + " 件"), std::string::npos) << note;

    // A byte order mark only says the table is UTF-8: nothing went unread. CR-only line ends read every record.
    writeFile(tmp.file("b.csv"),
              "\xEF\xBB\xBF"
              "CALL,SEND\r\nJA1AA,F\r\n");
    auto bom = open(tmp.path(), "b.csv");
    EXPECT_EQ(bom->FieldName(0), "CALL");
    EXPECT_EQ(bom->ReadNote(), "");
    writeFile(tmp.file("r.txt"), "CALL,SEND\rJA1AA,F\rJA2BB,\r");
    auto cr = open(tmp.path(), "r.txt");
    EXPECT_EQ(walk(*cr), (std::vector<std::vector<std::string>>{{"JA1AA", "F"}, {"JA2BB", ""}}));
    EXPECT_EQ(cr->ReadNote(), "");
}

// Line ends of every kind, blank lines and EOF marks between records, quoted line ends inside values.
TEST(ReadNotes, RecordsAreFoundWhateverTheLineEnds)
{
    struct Case
    {
        const char* label;
        std::string bytes;
        std::vector<std::vector<std::string>> rows;
    };
    const std::vector<Case> cases = {
        {"CR only, LF inside", "A,B\rx,1\ny,2\r\rz,3", {{"x", "1"}, {"y", "2"}, {"z", "3"}}},
        {"LF with a lone CR as data", "A,B\nx\ry,1\n\n\x1A", {{"x\ry", "1"}}},
        {"quoted line ends, last record unended",
         "A,B\r\n\"p\r\nq\",1\r\n\r\n\"r\ns\",\"2\n\"",
         {{"p\r\nq", "1"}, {"r\ns", "2\n"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir tmp;
        writeFile(tmp.file("t.csv"), c.bytes);
        auto table = open(tmp.path(), "t.csv");
        EXPECT_EQ(walk(*table), c.rows);
        EXPECT_EQ(table->CellText(static_cast<long>(c.rows.size()) - 1, 0), c.rows.back()[0]);
    }
}

// Values past the fields the first line names have no field to show them in: the note says so.
TEST(ReadNotes, ValuesBeyondTheNamedFieldsAreNoted)
{
    TempDir tmp;
    writeFile(tmp.file("t.csv"), "CALL,SEND\r\nJA1AA,F\r\nJA2BB,,73,QSL\r\nJA3CC,\r\nJA4DD,F,x\r\n");
    auto table = open(tmp.path(), "t.csv");
    EXPECT_EQ(walk(*table),
              (std::vector<std::vector<std::string>>{{"JA1AA", "F"}, {"JA2BB", ""}, {"JA3CC", ""}, {"JA4DD", "F"}}));
    const std::string note = table->ReadNote();
    EXPECT_NE(note.find("2 件のレコード (最初は 2 件目)"), std::string::npos) << note;
    EXPECT_NE(note.find("名前のない値 3 個"), std::string::npos) << note;

    writeFile(tmp.file("u.csv"), "CALL,SEND\r\nJA1AA,F\r\nJA2BB\r\n");
    EXPECT_EQ(open(tmp.path(), "u.csv")->ReadNote(), "");
}
