#include "convdef/TableDefinition.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

ConvDefTable defsOf(std::initializer_list<std::pair<int, const char*>> entries)
{
    ConvDefTable d = NullConvDefTable();
    for (const auto& [k, e] : entries) {
        d[static_cast<std::size_t>(k)] = e;
    }
    return d;
}

} // namespace

TEST(BindDefinition, EntriesFollowTheirFieldsByName)
{
    const std::vector<std::string> made = {"QSO_DATE", "CALL", "NAME", "QSL_SENT", "QSL_SDATE"};
    const ConvDefTable defs = defsOf({{0, "YYMMDD"}, {1, "CALL"}, {2, "NAME"}, {3, "SEND"}});
    const ConvDefNames names = NamesOfFields(made);
    struct Case
    {
        const char* what;
        std::vector<std::string> table;
        std::string sendField;
        ConvDefTable expected;
        bool mismatch;
    } cases[] = {
        {"the same fields", made, "", defs, false},
        {"a field gained in front, names in another case",
         {"CONTEST_ID", "qso_date", "call", "NAME", "QSL_SENT", "QSL_SDATE"},
         "",
         defsOf({{1, "YYMMDD"}, {2, "CALL"}, {3, "NAME"}, {4, "SEND"}}),
         false},
        {"reordered, NAME lost (its entry is said)",
         {"CALL", "QSL_SENT", "QSO_DATE"},
         "",
         defsOf({{0, "CALL"}, {1, "SEND"}, {2, "YYMMDD"}}),
         true},
        {"another table's fields", {"DATE", "TIME", "CALLSIGN", "SENT"}, "", NullConvDefTable(), true},
        {"the format's own send field wins",
         {"QSO_DATE", "CALL", "NAME", "QSL_SENT", "QSL_SDATE"},
         "QSL_SDATE",
         defsOf({{0, "YYMMDD"}, {1, "CALL"}, {2, "NAME"}, {4, "SEND"}}),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const BoundDefinition b = BindDefinition(defs, names, c.table, c.sendField);
        EXPECT_EQ(b.entries, c.expected);
        EXPECT_EQ(b.mismatch, c.mismatch);
        EXPECT_EQ(b.names, NamesOfFields(c.table));
    }
}

TEST(BindDefinition, DefinitionWithoutNamesKeepsItsPositionsAndTakesTheTablesNames)
{
    const ConvDefTable defs = defsOf({{0, "YYMMDD"}, {2, "CALL"}, {11, "SEND"}, {63, "QTH"}});
    const BoundDefinition b = BindDefinition(defs, ConvDefNames(), {"A", "B", "C"}, "");
    EXPECT_FALSE(b.mismatch);
    EXPECT_EQ(b.entries, defs);
    EXPECT_EQ(b.names[2], "C");
    EXPECT_EQ(BindDefinition(defs, ConvDefNames(), {"A", "B", "C"}, "B").entries,
              defsOf({{0, "YYMMDD"}, {1, "SEND"}, {2, "CALL"}, {63, "QTH"}}));
}

TEST(DefinitionCheck, CallSignAndDateAmongTheTablesFields)
{
    EXPECT_TRUE(DefinesCall(defsOf({{1, "CALL"}}), 2));
    EXPECT_FALSE(DefinesCall(defsOf({{1, "CALL"}}), 1)) << "beyond the fields it converts nothing";
    EXPECT_TRUE(DefinesCall(defsOf({{0, "%C %D"}}), 1)) << "a template may take it";
    EXPECT_TRUE(DefinesDate(defsOf({{0, "YY-MM-DD HHmm"}}), 1));
    EXPECT_FALSE(DefinesDate(defsOf({{0, "HHmm"}, {1, "CALL"}}), 2)) << "a time is no date";
}

TEST(TableDefinitionStore, RemembersEachTablesDefinitionAcrossAWriteAndARead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = TableDefinitionStore::PathIn(dir.path().toStdString() + "/");
    const ConvDefTable home = defsOf({{0, "YY/MM/DD"}, {2, "CALL"}, {11, "SEND"}, {20, ""}});
    const ConvDefTable portable = defsOf({{1, "CALL"}, {13, "SEND"}, {5, "QSL[VIA=X]"}});
    ConvDefNames homeNames;
    homeNames[2] = "CALL";
    {
        TableDefinitionStore store = TableDefinitionStore::Load(path);
        store.Put("/home/op/LOG.DB", home, homeNames);
        store.Put("/media/op/port.adi", portable, NamesOfFields({"QSO_DATE", "call"}));
        store.Put("/home/op/LOG.DB", home, homeNames);
        ASSERT_TRUE(store.Save());
    }
    const TableDefinitionStore store = TableDefinitionStore::Load(path);
    ConvDefTable defs;
    ConvDefNames names;
    ASSERT_TRUE(store.Find("/home/op/LOG.DB", defs, names));
    EXPECT_EQ(defs, home);
    EXPECT_EQ(names, homeNames);
    ASSERT_TRUE(store.Find("/media/op/port.adi", defs, names));
    EXPECT_EQ(defs, portable);
    EXPECT_EQ(names[1], "call");
    EXPECT_FALSE(store.Find("/home/op/OTHER.DB", defs, names));
    EXPECT_EQ(store.Text().find("[TABLE]\r\nPath=/home/op/LOG.DB\r\n"), 0u) << "the newest first, once";
    EXPECT_EQ(store.Text().rfind("Path=/home/op/LOG.DB"), 0u + 9);
}

TEST(TableDefinitionStore, StrayCarriageReturnsNameNoTable)
{
    const std::string damaged = "[TABLE]\r\nPath=\r\r\nFIELD1=CALL\r\n[TABLE]\r\nPath=/x/LOG.DB\r\r\nFIELD2=CALL\r\r\n";
    const TableDefinitionStore store = TableDefinitionStore::Parse(damaged);
    ConvDefTable defs;
    ConvDefNames names;
    ASSERT_TRUE(store.Find("/x/LOG.DB", defs, names));
    EXPECT_EQ(defs[1], "CALL");
    EXPECT_EQ(store.Text().find("Path=\r\n"), std::string::npos) << "a table without a path is not kept";
    EXPECT_EQ(TableDefinitionStore::Parse(store.Text()).Text(), store.Text());
}
