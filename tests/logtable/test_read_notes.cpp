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

    // A byte order mark is passed over and named; CR-only line ends read every record.
    writeFile(tmp.file("b.csv"),
              "\xEF\xBB\xBF"
              "CALL,SEND\r\nJA1AA,F\r\n");
    auto bom = open(tmp.path(), "b.csv");
    EXPECT_EQ(bom->FieldName(0), "CALL");
    EXPECT_NE(bom->ReadNote().find("BOM"), std::string::npos);
    writeFile(tmp.file("r.txt"), "CALL,SEND\rJA1AA,F\rJA2BB,\r");
    auto cr = open(tmp.path(), "r.txt");
    EXPECT_EQ(walk(*cr), (std::vector<std::vector<std::string>>{{"JA1AA", "F"}, {"JA2BB", ""}}));
    EXPECT_EQ(cr->ReadNote(), "");
}
