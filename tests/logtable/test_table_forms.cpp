// FieldName / FieldText in the forms the rest of the program reads: text as stored without padding,
// plain shortest decimals, "yyyy/MM/dd", "H:mm:ss", "True"/"False", "" for a blank value.
#include "TableFixtures.h"

#include <gtest/gtest.h>

using namespace fixtures;

namespace {

struct FormCase
{
    const char* field;
    std::vector<std::string> expected; // per record
};

void expectForms(LogTable& table, const std::vector<FormCase>& cases)
{
    const auto rows = walk(table);
    for (std::size_t c = 0; c < cases.size(); ++c) {
        SCOPED_TRACE(cases[c].field);
        ASSERT_EQ(table.FieldName(static_cast<int>(c)), cases[c].field);
        ASSERT_EQ(rows.size(), cases[c].expected.size());
        for (std::size_t r = 0; r < rows.size(); ++r) {
            EXPECT_EQ(rows[r][c], cases[c].expected[r]) << "record " << r;
        }
    }
}

} // namespace

TEST(TableForms, ParadoxValuesOfEveryKind)
{
    TempDir tmp;
    const std::vector<PxField> fields = {
        {"ALPHA", pxfAlpha, 10},   {"NUM", pxfNumber, 8},  {"SHORT", pxfShort, 2},     {"LONG", pxfLong, 4},
        {"DATE", pxfDate, 4},      {"TIME", pxfTime, 4},   {"STAMP", pxfTimestamp, 8}, {"BOOL", pxfLogical, 1},
        {"MONEY", pxfCurrency, 8}, {"MEMO", pxfBytes, 15},
    };
    // The memo's record part: 5 inline bytes, then offset, length and modification number.
    auto memo = [](const std::string& text, std::uint32_t length) {
        std::string m = text;
        m.resize(5, '\0');
        m += std::string(4, '\0');
        for (int i = 0; i < 4; ++i) {
            m.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
        }
        return m + std::string(2, '\0');
    };
    makeParadox(
        tmp.file("forms.db"), fields,
        {
            {pxAlpha(sj("ｱﾏ無線  "), 10), pxDouble(7.05), pxShort(-3), pxLong(14), pxDate(2024, 5, 1), pxLong(45296000),
             pxTimestamp(2024, 5, 1, 45296000), pxLogical(true), pxDouble(-0.5), memo("ab", 2)},
            {pxAlpha("  lead", 10), pxDouble(14), pxShort(0), pxLong(-2147483647), pxDate(1999, 12, 31), pxLong(0),
             pxTimestamp(2024, 5, 1, 0), pxLogical(false), pxDouble(1e15), memo("long memo", 300)},
            {pxBlank(10), pxBlank(8), pxBlank(2), pxBlank(4), pxBlank(4), pxBlank(4), pxBlank(8), pxBlank(1),
             pxBlank(8), pxBlank(15)},
        },
        {{9, pxfMemoBLOb}});
    auto table = open(tmp.path(), "forms.db");
    expectForms(*table,
                {
                    {"ALPHA", {sj("ｱﾏ無線"), "  lead", ""}},
                    {"NUM", {"7.05", "14", ""}},
                    {"SHORT", {"-3", "0", ""}},
                    {"LONG", {"14", "-2147483647", ""}},
                    {"DATE", {"2024/05/01", "1999/12/31", ""}},
                    {"TIME", {"12:34:56", "0:00:00", ""}},
                    {"STAMP", {"2024/05/01 12:34:56", "2024/05/01", ""}},
                    {"BOOL", {"True", "False", ""}},
                    {"MONEY", {"-0.5", "1000000000000000", ""}},
                    {"MEMO", {"ab", "long ", ""}},
                });
}

TEST(TableForms, DbaseValuesOfEveryKind)
{
    TempDir tmp;
    writeFile(tmp.file("forms.dbf"),
              dbfBytes({{"TEXT", 'C', 8}, {"NUM", 'N', 8}, {"DATE", 'D', 8}, {"FLAG", 'L', 1}, {"MEMO", 'M', 10}},
                       {
                           {sj(" 局 ｺｰﾙ"), "   7.050", "20240501", "T", "        12"},
                           {"x", "     -3.", "19991231", "f", ""},
                           {"", "", "        ", "?", ""},
                       }));
    auto table = open(tmp.path(), "forms.dbf");
    expectForms(*table,
                {
                    {"TEXT", {sj(" 局 ｺｰﾙ"), "x", ""}},
                    {"NUM", {"7.05", "-3", ""}},
                    {"DATE", {"2024/05/01", "1999/12/31", ""}},
                    {"FLAG", {"True", "False", ""}},
                    {"MEMO", {"", "", ""}},
                });
}

namespace {

std::string littleEndian(std::uint64_t bits, int size)
{
    std::string out;
    for (int i = 0; i < size; ++i) {
        out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
    }
    return out;
}

std::string leDouble(double v)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    return littleEndian(bits, 8);
}

} // namespace

// FoxPro's binary fields: currency in ten-thousandths, double, integer, datetime as day number and milliseconds;
// its hidden null-flags field is no field of the table; blanks and asterisks in numbers and odd dates are empty.
TEST(TableForms, DbaseFoxProBinaryFieldsAndEmptyMarkers)
{
    TempDir tmp;
    const std::string day = littleEndian(static_cast<std::uint64_t>(PX_GregorianToSdn(2024, 5, 1)), 4);
    std::string bytes
        = dbfBytes({{"CALL", 'C', 6},
                    {"FEE", 'Y', 8},
                    {"FREQ", 'B', 8},
                    {"QSO", 'I', 4},
                    {"WHEN", 'T', 8},
                    {"_NullFlags", '0', 1},
                    {"NUM", 'N', 6},
                    {"DAY", 'D', 8},
                    {"SEND", 'C', 1}},
                   {
                       {"JA1AA", littleEndian(123456, 8), leDouble(7.05), littleEndian(14, 4),
                        day + littleEndian(30600000, 4), "\x01", "******", "00000000", "F"},
                       {"JA2BB", littleEndian(static_cast<std::uint64_t>(-50000), 8), leDouble(-3),
                        littleEndian(0xFFFFFFFF, 4), day + littleEndian(0, 4), "\0", "      ", "NotADay", ""},
                       {"JA3CC", littleEndian(1, 8), std::string(8, '\0'), std::string(4, '\0'), std::string(8, '\0'),
                        "\0", "  -4.5", "        ", "F"},
                   });
    bytes[0] = 0x30; // Visual FoxPro
    writeFile(tmp.file("fox.dbf"), bytes);
    auto table = open(tmp.path(), "fox.dbf");
    expectForms(*table,
                {
                    {"CALL", {"JA1AA", "JA2BB", "JA3CC"}},
                    {"FEE", {"12.3456", "-5", "0.0001"}},
                    {"FREQ", {"7.05", "-3", "0"}},
                    {"QSO", {"14", "-1", "0"}},
                    {"WHEN", {"2024/05/01 8:30:00", "2024/05/01", ""}},
                    {"NUM", {"", "", "-4.5"}},
                    {"DAY", {"", "", ""}},
                    {"SEND", {"F", "", "F"}},
                });
    EXPECT_EQ(table->FieldCount(), 8);
}

TEST(TableForms, DbaseHidesDeletedRecords)
{
    TempDir tmp;
    writeFile(tmp.file("del.dbf"), dbfBytes({{"CALL", 'C', 6}}, {{"JA1AA"}, {"\x01JA2BB"}, {"JA3CC"}}));
    auto table = open(tmp.path(), "del.dbf");
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(walk(*table), (std::vector<std::vector<std::string>>{{"JA1AA"}, {"JA3CC"}}));
}

TEST(TableForms, TextWithSchemaTypesAndWithoutSchema)
{
    TempDir tmp;
    writeFile(tmp.file("log.sch"),
              "[LOG]\r\nfiletype = varying\r\nDELIMITER = \"\r\nSEPARATOR = ;\r\n"
              "Field1 = CALL,CHAR,6,0,0\r\nField2 = FREQ,FLOAT,8,3,0\r\n"
              "Field3 = DAY,DATE,10,0,0\r\nField4 = OK,BOOL,1,0,0\r\nField5 = NOTE,CHAR,20,0,0\r\n");
    writeFile(tmp.file("log.txt"),
              sj("\"JA1AA\";7.050;20240501;T;\"a;\"\"b\"\" 局\"\r\n"
                 "\"  X \";14;2024/5/1;F;\r\n"
                 "\r\n"
                 "\"JA3CC\"\r\n"));
    auto table = open(tmp.path(), "LOG.TXT");
    expectForms(*table,
                {
                    {"CALL", {"JA1AA", "  X", "JA3CC"}},
                    {"FREQ", {"7.05", "14", ""}},
                    {"DAY", {"2024/05/01", "2024/05/01", ""}},
                    {"OK", {"True", "False", ""}},
                    {"NOTE", {sj("a;\"b\" 局"), "", ""}},
                });

    // Without a schema the first line names the fields; a .txt with tabs and no commas is tab-separated.
    writeFile(tmp.file("tabs.txt"), "CALL\tNAME\nJA1AA\tTaro\n");
    auto tabs = open(tmp.path(), "tabs.txt");
    expectForms(*tabs, {{"CALL", {"JA1AA"}}, {"NAME", {"Taro"}}});
}

TEST(TableForms, TextFixedWidthFile)
{
    TempDir tmp;
    writeFile(tmp.file("fix.sch"), "[FIX]\nFILETYPE = FIXED\nField1 = CALL,CHAR,6,0,0\nField2 = RST,CHAR,3,0,6\n");
    writeFile(tmp.file("fix.txt"), "JA1AA 599\nJH2B  59\n");
    auto table = open(tmp.path(), "fix.txt");
    expectForms(*table, {{"CALL", {"JA1AA", "JH2B"}}, {"RST", {"599", "59"}}});
}

// The bundled sample: every engine shows the same names and the same texts.
TEST(TableForms, SampleLogReadsTheSameInAllThreeFormats)
{
    auto db = open(KELBO_SAMPLE_DIR, "LOG.DB");
    auto dbf = open(KELBO_SAMPLE_DIR, "log.dbf");
    auto txt = open(KELBO_SAMPLE_DIR, "LOG.TXT");
    const std::vector<std::string> names
        = {"DATE", "TIME", "CALL", "HIS", "MY", "FREQ", "MODE", "NAME", "QTH", "QSL", "REM", "SEND", "RECV"};
    for (LogTable* t : {db.get(), dbf.get(), txt.get()}) {
        SCOPED_TRACE(t->FilePath());
        ASSERT_EQ(t->FieldCount(), static_cast<int>(names.size()));
        for (int f = 0; f < t->FieldCount(); ++f) {
            EXPECT_EQ(t->FieldName(f), names[static_cast<std::size_t>(f)]);
        }
    }
    const auto rows = walk(*db);
    EXPECT_EQ(rows.size(), 30u);
    EXPECT_EQ(walk(*dbf), rows);
    EXPECT_EQ(walk(*txt), rows);
    // A few records as the operator typed them.
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{"2024/04/28", "0912J", "JA1ZQX", "59", "59", "7.045", "SSB", sj("山田 太郎"),
                                        sj("東京都世田谷区"), "JARL", sj("初QSO"), "F", "R"}));
    EXPECT_EQ(rows[2][10], sj("ｺﾝﾃｽﾄ ①"));
    int sent = 0;
    int utc = 0;
    for (const auto& r : rows) {
        sent += r[11] == "F";
        utc += r[1].back() == 'U' || r[1].back() == 'Z';
    }
    EXPECT_GT(sent, 5);
    EXPECT_LT(sent, 25);
    EXPECT_GT(utc, 5);
    EXPECT_LT(utc, 25);
}
