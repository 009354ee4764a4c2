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
        // Every memo file is there and sound: nothing is left unread.
        EXPECT_EQ(table->ReadNote(), "");
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
