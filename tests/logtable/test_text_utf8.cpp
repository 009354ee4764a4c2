// Text tables in UTF-8: the encoding is found once for the whole file (a byte order mark, the schema's CHARSET,
// or the bytes), header and records are split by the same rule, texts reach the program as CP932 and the send
// mark goes back in UTF-8.
#include "TableFixtures.h"

#include "common/Cp932.h"
#include "common/KelboError.h"

#include <gtest/gtest.h>

using namespace fixtures;

namespace {

const std::string kBom = "\xEF\xBB\xBF";

} // namespace

TEST(TextUtf8, EncodingIsFoundOnceAndHeaderAndRecordsSplitAlike)
{
    struct Case
    {
        const char* label;
        std::string schema; // NAME.sch beside t.txt, none when empty
        std::string bytes;
        std::vector<std::string> names; // CP932
        std::vector<std::vector<std::string>> rows; // CP932
    };
    const std::vector<Case> cases = {
        // 語 ends in 0x9E, a CP932 lead byte, and '|' is a CP932 trail byte: read as CP932 the separator would
        // vanish into a character.
        {"UTF-8 with a separator that is a CP932 trail byte",
         "[T]\nFILETYPE = VARYING\nCHARSET = UTF-8\nSEPARATOR = |\nDELIMITER = \"\n"
         "Field1 = 国語,CHAR,20,0,0\nField2 = 数学,CHAR,20,0,0\n",
         "国語|数学\n\"英語\"|理科\n",
         {sj("国語"), sj("数学")},
         {{sj("国語"), sj("数学")}, {sj("英語"), sj("理科")}}},
        // − is 0x81 0x7C in CP932: its trail byte is the separator, which must not cut the character in two.
        {"CP932 with a separator that is a CP932 trail byte",
         "[T]\nFILETYPE = VARYING\nSEPARATOR = |\nDELIMITER = \"\n"
         "Field1 = A,CHAR,20,0,0\nField2 = B,CHAR,20,0,0\nField3 = C,CHAR,20,0,0\n",
         sj("1−2|\"x−y\"\"z−\"|3\n\"a\"b−|\"\"|\nonly\n−\"x\ny\"|2\n"),
         {"A", "B", "C"},
         {{sj("1−2"), sj("x−y\"z−"), "3"},
          {sj("ab−"), "", ""},
          {"only", "", ""},
          {sj("−\"x"), "", ""},
          {"y\"", "2", ""}}},
        {"UTF-8 found from the bytes, no byte order mark",
         "",
         "呼出符号,氏名\r\nJA1AA,山田 太郎\r\n",
         {sj("呼出符号"), sj("氏名")},
         {{"JA1AA", sj("山田 太郎")}}},
        {"byte order mark: never part of the first name",
         "",
         kBom + "国語,数学\nA,B\n",
         {sj("国語"), sj("数学")},
         {{"A", "B"}}},
        {"characters CP932 cannot hold become one '?' each",
         "",
         "CALL,NAME\nDL1AB,J\xC3\xBCrgen \xF0\x9F\x98\x80 \xF0\xA0\xAE\xB7\xE7\x94\xB0\n",
         {"CALL", "NAME"},
         {{"DL1AB", "J?rgen ? ?" + sj("田")}}},
        {"CP932 as today",
         "",
         sj("呼出符号,氏名\r\nJA1AA,\"ソ表\"\r\n"),
         {sj("呼出符号"), sj("氏名")},
         {{"JA1AA", sj("ソ表")}}},
        // 0xC2 0x81 is well-formed UTF-8 (a C1 control), but as CP932 it reads ﾂ and an ideographic space.
        {"CP932 that is well-formed UTF-8 by chance",
         "",
         "CALL,NAME\nJA1AA,\xC2\x81\x40X\n",
         {"CALL", "NAME"},
         {{"JA1AA", "\xC2\x81\x40X"}}},
        // Were it UTF-8, a mark appended to the last record would turn the file into CP932.
        {"a file that ends inside a UTF-8 character is CP932",
         "",
         "CALL,SEND\nJA1AA,\xE5\xB1\xB1\xE7\x94",
         {"CALL", "SEND"},
         {{"JA1AA", "\xE5\xB1\xB1\xE7\x94"}}},
        {"CHARSET naming CP932 wins over the bytes",
         "[T]\nCHARSET = SJIS\nField1 = CALL,CHAR,8,0,0\nField2 = NAME,CHAR,8,0,0\n",
         "JA1AA,\xC3\xA9\n",
         {"CALL", "NAME"},
         {{"JA1AA", "\xC3\xA9"}}},
        {"fixed width: offsets in bytes",
         "[T]\nFILETYPE = FIXED\nField1 = CALL,CHAR,6,0,0\nField2 = NAME,CHAR,9,0,6\nField3 = RST,CHAR,3,0,15\n",
         "JA1AA 山田   599\nJA2BB 鈴木一599\n",
         {"CALL", "NAME", "RST"},
         {{"JA1AA", sj("山田"), "599"}, {"JA2BB", sj("鈴木一"), "599"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir tmp;
        if (!c.schema.empty()) {
            writeFile(tmp.file("t.sch"), c.schema);
        }
        writeFile(tmp.file("t.txt"), c.bytes);
        auto table = open(tmp.path(), "t.txt");
        std::vector<std::string> names;
        for (int f = 0; f < table->FieldCount(); ++f) {
            names.push_back(table->FieldName(f));
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(walk(*table), c.rows);
        EXPECT_EQ(table->ReadNote(), "");
    }
}

// Marks go back in UTF-8 and change only the bytes of the SEND field; a byte order mark stays where it was.
TEST(TextUtf8, MarksAreWrittenInUtf8)
{
    TempDir tmp;
    const std::string head = kBom + "呼出符号,氏名,SEND\r\n";
    const std::string r1 = "JA1AA,山田 太郎,", r2 = "JA2BB,\"鈴木, 花子\",", r3 = "JA3CC,𠮷田,";
    writeFile(tmp.file("log.csv"), head + r1 + "\r\n" + r2 + "\r\n" + r3 + "\r\n");
    auto table = open(tmp.path(), "log.csv");
    {
        WriteBatch batch(*table);
        table->MoveFirst();
        table->EditRecord();
        table->SetFieldText(2, sj("済"));
        table->MoveBy(2);
        table->EditRecord();
        table->SetFieldText(2, "F");
        table->MoveFirst();
        batch.end();
    }
    const std::string bytes = readFile(tmp.file("log.csv"));
    EXPECT_EQ(bytes, head + r1 + "\"済\"\r\n" + r2 + "\r\n" + r3 + "\"F\"\r\n");
    EXPECT_TRUE(cp932::isValidUtf8(bytes));
    auto again = open(tmp.path(), "log.csv");
    EXPECT_EQ(walk(*again),
              (std::vector<std::vector<std::string>>{
                  {"JA1AA", sj("山田 太郎"), sj("済")}, {"JA2BB", sj("鈴木, 花子"), ""}, {"JA3CC", sj("?田"), "F"}}));

    // Fixed width: a mark longer than its field is cut at a whole UTF-8 character.
    writeFile(tmp.file("fix.sch"),
              "[FIX]\nFILETYPE = FIXED\nCHARSET = UTF8\nField1 = 名,CHAR,6,0,0\nField2 = SEND,CHAR,4,0,6\n");
    writeFile(tmp.file("fix.txt"), "山田    \n");
    auto fixed = open(tmp.path(), "fix.txt");
    EXPECT_EQ(fixed->FieldName(0), sj("名"));
    fixed->EditRecord();
    fixed->SetFieldText(1, sj("済済"));
    fixed->Post();
    EXPECT_EQ(readFile(tmp.file("fix.txt")), "山田済 \n");
}
