// Tables made by other programs: each opens and reads to its end, or is refused with a clear error.
#include "TableFixtures.h"

#include "common/KelboError.h"

#include <QDirIterator>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace fixtures;

TEST(TableRealFixtures, EveryTableOpensAndReadsOrIsRefusedClearly)
{
    const QString root = QStringLiteral(KELBO_FIXTURES_DIR);
    ASSERT_TRUE(QFileInfo(root).isDir()) << "the real-world tables are missing: " << KELBO_FIXTURES_DIR;
    int opened = 0;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString suffix = info.suffix().toLower();
        if (suffix != "db" && suffix != "dbf" && suffix != "csv") {
            continue;
        }
        SCOPED_TRACE(info.filePath().toStdString());
        auto table = createLogTable();
        try {
            table->OpenTable(info.path().toStdString(), info.fileName().toStdString());
        } catch (const KelboError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(info.fileName().toStdString()), std::string::npos) << message;
            EXPECT_FALSE(table->IsOpen());
            continue;
        }
        ++opened;
        EXPECT_GT(table->FieldCount(), 0);
        long records = 0;
        for (table->MoveFirst(); !table->AtEnd(); table->MoveNext()) {
            for (int f = 0; f < table->FieldCount(); ++f) {
                table->FieldName(f);
                table->FieldText(f);
            }
            ++records;
        }
        EXPECT_EQ(records, table->RecordCount());
        // Every memo file is there and sound: nothing is left unread (dbase_8c's source ships no memo file).
        if (info.fileName() != QStringLiteral("dbase_8c.dbf")) {
            EXPECT_EQ(table->ReadNote(), "");
        }
    }
    EXPECT_GT(opened, 0);
}

namespace {

int fieldNamed(const LogTable& table, const std::string& name)
{
    for (int f = 0; f < table.FieldCount(); ++f) {
        if (table.FieldName(f) == name) {
            return f;
        }
    }
    ADD_FAILURE() << "no field " << name;
    return 0;
}

} // namespace

// Values read by a second reader (python3-dbfread; for dBASE 7, which it cannot read, and for Paradox memo files,
// from the bytes and the format notes), never taken from KELBO's own output. A case with a length checks the
// text's length and its beginning.
TEST(TableRealFixtures, ValuesAgreeWithAnIndependentReading)
{
    const std::string root = KELBO_FIXTURES_DIR;
    struct Known
    {
        const char* dir;
        const char* name;
        long row;
        std::string field;
        std::string text;
        std::size_t length = std::string::npos;
    };
    const Known cases[] = {
        {"/paradox/db", "ORDERS.DB", 0, "Sale Date", "1988/04/03"}, // date
        {"/paradox/db", "ORDERS.DB", 0, "Total Invoice", "7320"}, // currency
        {"/paradox/fields", "bcd.db", 0, "C", "0.123"}, // BCD with 32 decimals
        {"/paradox/fields", "bcd.db", 1, "A", "-1.23"},
        {"/paradox/fields", "long.db", 2, "LONG", ""}, // blank long, not its smallest value
        {"/paradox/fields", "time.db", 0, "Time", "1:00:01"},
        {"/paradox/fields", "timestamp.db", 1, "Timestamp", "2020/02/01 1:00:01"},
        {"/paradox/fields", "logical.db", 1, "BOOL", "False"},
        {"/paradox/fields", "date7.db", 3, "DATE", ""},
        {"/dbase", "roads.dbf", 0, "RTE_NUM1", " 81"}, // leading blanks stay
        {"/dbase", "anno.dbf", 0, "X", "486089.531"},
        {"/dbase", "3dpoints.dbf", 1, "Z", "0"}, // its header's last byte is 0x0A where 0x0D ends the fields

        // Paradox memos: wholly in the record, in a shared block of the .MB, in a block of their own.
        {"/paradox/db", "CUSTOMER.DB", 0, "Comments", "Small comment (less 100 symbols)"},
        {"/paradox/db", "CUSTOMER.DB", 1, "Comments", "\tThe length of the leader may be zero for type B fields.", 518},
        {"/paradox/db", "CUSTOMER.DB", 3, "Comments", " The PARADOX File Structure", 56864},
        {"/paradox/db", "CUSTOMER.DB", 5, "Comments", ""},
        {"/paradox/fields", "memo.db", 0, "MEMO", "0123456789001234567890", 555},
        {"/paradox/fields", "memo.db", 1, "MEMO", "01234567890\n"},
        {"/paradox/db", "HERCULES.DB", 1, "HTML", "<TABLE>\n<TR>\n<TD><IMG SRC=\"IMAGES/MAIL1.GIF\"></TD>", 106},
        // A formatted memo shows its text without the formatting (the text's stored length counts a closing zero).
        {"/paradox/fields", "fmemo.db", 0, "FMEMO", "123"},
        {"/paradox/fields", "fmemo.db", 1, "FMEMO", "01234567890012345678900123456789", 560},

        // dBASE III .dbt (text up to 0x1A), dBASE IV .dbt (length in the block), FoxPro .fpt (block size 1 and 512).
        {"/dbase-memo", "dbase_83.dbf", 0, "DESC", "Our Original assortment...a little taste of heaven for every", 524},
        {"/dbase-memo", "dbase_83.dbf", 66, "DESC", "This tin is filled with a tempting trio of crunchy pleasures",
         449},
        {"/dbase-memo", "dbase_8b.dbf", 0, "MEMO", "First memo\r\n"},
        // The block says 19 bytes with its 8-byte head: dbfread reads 8 bytes past it and keeps "\n".
        {"/dbase-memo", "dbase_8b.dbf", 1, "MEMO", "Second memo"},
        {"/dbase-memo", "vfp9_memo_bs1.dbf", 0, "NOTES", "Some notes here\r\n"},
        {"/dbase-memo", "vfp9_memo_bs1.dbf", 1, "NOTES", ""},
        {"/dbase-memo", "vfp9_memo_bs1.dbf", 2, "NOTES", "sdf gsdf gds fg dsfg sdf gsd fg sdf gsd fg sd g\r\n"},
        {"/dbase-memo", "pr90.dbf", 1, "NOTEMEMO", "He will pay-off the loan next month"},
        {"/dbase-memo", "pr90.dbf", 3, "NOTEMEMO", "Lorem ipsum dolor sit amet, consectetur adipiscing", 445},
        {"/dbase-memo", "pr90.dbf", 1, "NOTE", "0000000000111111111122222222223333333333", 300}, // 300-byte text

        // dBASE 7: 48-byte field descriptors, big-endian integers and doubles with the sign bit flipped, timestamps.
        {"/dbase7", "dBaseVII.dbf", 0, "NAME", "Groot"},
        {"/dbase7", "dBaseVII.dbf", 0, "BIRTHDAY", "1960/11/01"},
        {"/dbase7", "dBaseVII.dbf", 0, "IS_MAN", "False"},
        {"/dbase7", "dBaseVII.dbf", 0, "BIO", "Groot (/?ru?t/) is a fictional character", 1478},
        {"/dbase7", "dBaseVII.dbf", 0, "MONEY", "12.1235"},
        {"/dbase7", "dBaseVII.dbf", 1, "AUTO_INC", "1"},
        {"/dbase7", "dBaseVII.dbf", 1, "INTEGER", "2"},
        {"/dbase7", "dBaseVII.dbf", 0, "DATETIME", "1800/01/01 1:01:01"},
        {"/dbase7", "dBaseVII.dbf", 1, "DATETIME", "1970/01/01"},
        {"/dbase7", "dBaseVII.dbf", 2, "DATETIME", "2020/02/20 20:20:20"},
        {"/dbase7", "dBaseVII.dbf", 0, "BLOB", ""},
        {"/dbase7", "dBaseVII_int.dbf", 1, "INT", "-1"},
        {"/dbase7", "dBaseVII_int.dbf", 3, "INT", "-5000000"},
        {"/dbase7", "dBaseVII_int.dbf", 4, "INT", "2147483647"},
        {"/dbase7", "dBaseVII_int.dbf", 5, "INT", "-2147483647"},
        {"/dbase7", "dBaseVII_double.dbf", 0, "double", "-199.99"},
        {"/dbase7", "dBaseVII_double.dbf", 3, "double", "150.48"},
        {"/dbase7", "dBaseVII_double.dbf", 4, "double", "0"},

        // Empty-value markers.
        {"/dbase-odd", "number-property.dbf", 0, "foo", ""}, // "**********"
        {"/dbase-odd", "number-property.dbf", 2, "foo", "-4"},
        {"/dbase-odd", "test1.dbf", 0, "PAV_DATE", ""}, // "00000000"
        {"/dbase-odd", "invalid_value.dbf", 0, "BIRTHDATE", ""}, // "NotAYear"
        {"/dbase-odd", "invalid_value.dbf", 1, "BIRTHDATE", "1980/11/12"},

        // A UTF-8 CSV with a byte order mark, read with python3's csv module. Texts reach the program in CP932; a
        // character CP932 cannot hold is one '?' (as python3's cp932 codec with errors="replace" gives).
        {"/text", "log-utf8.csv", 0, sj("呼出符号"), "JA1AA"}, // the mark is no part of the first name
        {"/text", "log-utf8.csv", 0, sj("氏名"), sj("山田 太郎")},
        {"/text", "log-utf8.csv", 0, sj("備考"), sj("移動運用, QRP")},
        {"/text", "log-utf8.csv", 1, sj("氏名"), sj("?田 花子")},
        {"/text", "log-utf8.csv", 1, sj("備考"), sj("1行目\n2行目 \"QSL\"")},
        {"/text", "log-utf8.csv", 1, sj("運用地"), sj("名古屋市")},
        {"/text", "log-utf8.csv", 2, sj("氏名"), "J?rgen M?ller"},
        {"/text", "log-utf8.csv", 2, sj("備考"), "Gr??e ? 73"},
        {"/text", "log-utf8.csv", 2, "SEND", "F"},
        {"/text", "log-utf8.csv", 3, sj("氏名"), sj("ｽｽﾞｷ ｲﾁﾛｳ")},
        {"/text", "log-utf8.csv", 3, sj("備考"), sj("QSL via ﾋﾞｭｰﾛｰ")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " row " + std::to_string(c.row) + " " + c.field);
        auto table = open(root + c.dir, c.name);
        const std::string text = table->CellText(c.row, fieldNamed(*table, c.field));
        if (c.length == std::string::npos) {
            EXPECT_EQ(text, c.text);
        } else {
            EXPECT_EQ(text.size(), c.length);
            EXPECT_EQ(text.substr(0, c.text.size()), c.text);
        }
    }
}

// Tables in other code pages than CP932, read by python3-dbfread in the code page each declares (the language
// driver byte, or the .cpg beside it), and the CP932 forms from python3's cp932 codec with errors="replace". A
// card gets CP932; the table shown as it is keeps every character.
TEST(TableRealFixtures, TextsAreDecodedFromTheCodePageTheTableDeclares)
{
    const std::string root = std::string(KELBO_FIXTURES_DIR) + "/dbase-codepage";
    struct Known
    {
        const char* name;
        long row;
        int field;
        std::string utf8;
        std::string cp932;
    };
    const Known cases[] = {
        {"cp1251.dbf", 0, 1, "амбулаторно-поликлиническое", sj("амбулаторно-поликлиническое")}, // byte 0xC9
        {"cp1251.dbf", 3, 1, "образовательное медицинское учреждение", sj("образовательное медицинское учреждение")},
        {"codepage.dbf", 1, 0, "Hněvošický háj", "Hn?vo?ick? h?j"}, // .cpg "ANSI 1250"
        {"codepage.dbf", 0, 0, "??", "??"},
        {"utf.dbf", 0, 0, "\xF0\x9F\x92\xA9", "?"}, // .cpg "UTF-8", a character CP932 cannot hold
        {"utf.dbf", 1, 0, "Hněvošický háj", "Hn?vo?ick? h?j"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " row " + std::to_string(c.row));
        auto table = open(root, c.name);
        EXPECT_EQ(table->ReadNote(), "");
        EXPECT_EQ(table->CellText(c.row, c.field), c.cp932);
        std::vector<std::string> texts;
        table->RecordUtf8(c.row, texts);
        ASSERT_GT(texts.size(), static_cast<std::size_t>(c.field));
        EXPECT_EQ(texts[c.field], c.utf8);
    }
}

// dbase_32.dbf: a FoxPro V field whose length (14) is in its last byte, its _NullFlags bit set; dbase_8c.dbf: dBASE 7
// with a field-properties block, read by a small reader written from the format notes (python3-dbfread and GDAL
// cannot open it).
TEST(TableRealFixtures, VariableLengthFieldsAndLevel7PropertiesRead)
{
    const std::string root = KELBO_FIXTURES_DIR;
    auto foxPro = open(root + "/dbase-odd", "dbase_32.dbf");
    ASSERT_EQ(foxPro->FieldCount(), 1);
    EXPECT_EQ(foxPro->CellText(0, 0), "Bad Meets Evil");

    auto level7 = open(root + "/dbase7", "dbase_8c.dbf");
    ASSERT_EQ(level7->RecordCount(), 10);
    std::vector<std::string> names;
    for (int f = 0; f < level7->FieldCount(); ++f) {
        names.push_back(level7->FieldName(f));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"ID", "Name", "Species", "Length CM", "Description", "OLE Graphic"}));
    const std::vector<std::vector<std::string>> expected = {
        {"1", "Clown Triggerfish", "Ballistoides conspicillum", "100", "", ""},
        {"10", "Bluehead Wrasse", "Thalassoma bifasciatum", "15", "", ""},
    };
    for (const auto& [row, values] : {std::make_pair(0L, expected[0]), std::make_pair(9L, expected[1])}) {
        for (int f = 0; f < 6; ++f) {
            EXPECT_EQ(level7->CellText(row, f), values[f]) << "row " << row << " field " << f;
        }
    }
    // Its memo file is not there: said once, the memos read empty.
    EXPECT_NE(level7->ReadNote().find("dbase_8c.dbt"), std::string::npos);
}

// bad.dbf: its first 16 header bytes written twice, so every field descriptor is read 16 bytes early.
TEST(TableRealFixtures, HeaderThatContradictsItselfIsRefused)
{
    auto table = createLogTable();
    try {
        table->OpenTable(std::string(KELBO_FIXTURES_DIR) + "/dbase-odd", "bad.dbf");
        FAIL() << "bad.dbf opened";
    } catch (const KelboError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("bad.dbf"), std::string::npos) << message;
        EXPECT_NE(message.find("ヘッダーが壊れています (フィールド 1 の型"), std::string::npos) << message;
    }
    EXPECT_FALSE(table->IsOpen());
}

// A mark goes into the table in the table's own code page; one the code page cannot hold writes nothing.
TEST(TableRealFixtures, MarkIsWrittenInTheTablesOwnCodePageOrRefused)
{
    TempDir tmp;
    const std::string original = readFile(std::string(KELBO_FIXTURES_DIR) + "/dbase-codepage/cp1251.dbf");
    writeFile(tmp.file("cp1251.dbf"), original);
    auto table = open(tmp.path(), "cp1251.dbf");

    table->MoveTo(2);
    table->EditRecord();
    table->SetFieldText(1, sj("済")); // no letter of CP1251
    EXPECT_THROW(table->MoveFirst(), KelboError);
    EXPECT_EQ(readFile(tmp.file("cp1251.dbf")), original);

    auto again = open(tmp.path(), "cp1251.dbf");
    again->MoveTo(2);
    again->EditRecord();
    again->SetFieldText(1, sj("Ж"));
    again->MoveFirst();
    const std::string after = readFile(tmp.file("cp1251.dbf"));
    const std::size_t at = after.find("\xC6 ");
    ASSERT_NE(at, std::string::npos) << "Ж is 0xC6 in CP1251";
    EXPECT_EQ(after.substr(0, at), original.substr(0, at));
    EXPECT_EQ(open(tmp.path(), "cp1251.dbf")->CellText(2, 1), sj("Ж"));
}
